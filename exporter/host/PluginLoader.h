// Loads an export plug-in library as the host does: opens it, checks its
// SDK version, its class count and its first class descriptor (a scene
// exporter that offers the TSL extension), and keeps it loaded.
#pragma once

#include <string>

#include "exporter/host/MaxScene.h"

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // False with a message naming the library and the problem.
    bool Load(const std::string& path, const std::string& extension, std::string& error);

    ClassDesc* Descriptor() const { return descriptor; }
    const char* Description() const;
    // A new exporter from the descriptor, or null.
    SceneExport* CreateExporter() const;

private:
    void* handle = nullptr;
    ClassDesc* descriptor = nullptr;
    LibDescriptionFn libDescription = nullptr;
};

// The plug-in library beside the running program, or in the installed
// plug-in folder relative to it.
std::string DefaultPluginPath();
