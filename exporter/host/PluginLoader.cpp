#include "exporter/host/PluginLoader.h"

#include <dlfcn.h>

#include <cstring>
#include <memory>

#include "exporter/host/HostFiles.h"

PluginLibrary::~PluginLibrary() {
    if (handle) dlclose(handle);
}

bool PluginLibrary::Load(const std::string& path, const std::string& extension,
                         std::string& error) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = "cannot load plug-in '" + path + "': " + (why ? why : "unknown error");
        return false;
    }
    auto sym = [&](const char* name) { return dlsym(handle, name); };
    libDescription = reinterpret_cast<LibDescriptionFn>(sym("LibDescription"));
    auto numberClasses = reinterpret_cast<LibNumberClassesFn>(sym("LibNumberClasses"));
    auto classDesc = reinterpret_cast<LibClassDescFn>(sym("LibClassDesc"));
    auto version = reinterpret_cast<LibVersionFn>(sym("LibVersion"));
    if (!libDescription || !numberClasses || !classDesc || !version) {
        error = "plug-in '" + path +
                "' lacks the library exports (LibDescription, LibNumberClasses, LibClassDesc, "
                "LibVersion)";
        return false;
    }
    if (version() != VERSION_3DSMAX) {
        error = "plug-in '" + path + "' was built for another SDK version";
        return false;
    }
    if (numberClasses() < 1 || (descriptor = classDesc(0)) == nullptr) {
        error = "plug-in '" + path + "' offers no plug-in class";
        return false;
    }
    if (descriptor->SuperClassID() != SCENE_EXPORT_CLASS_ID) {
        error = "plug-in '" + path + "' is not a scene exporter";
        descriptor = nullptr;
        return false;
    }
    std::unique_ptr<SceneExport> probe(CreateExporter());
    if (!probe) {
        error = "plug-in '" + path + "' could not create its exporter";
        descriptor = nullptr;
        return false;
    }
    bool found = false;
    for (int i = 0; i < probe->ExtCount(); ++i) {
        const char* ext = probe->Ext(i);
        if (ext && strcasecmp(ext, extension.c_str()) == 0) found = true;
    }
    if (!found) {
        error = "plug-in '" + path + "' does not export " + extension + " files";
        descriptor = nullptr;
        return false;
    }
    return true;
}

const char* PluginLibrary::Description() const {
    return libDescription ? libDescription() : nullptr;
}

SceneExport* PluginLibrary::CreateExporter() const {
    return descriptor ? static_cast<SceneExport*>(descriptor->Create(FALSE)) : nullptr;
}

std::string DefaultPluginPath() {
    return HostFile("libTesselExp.so");
}
