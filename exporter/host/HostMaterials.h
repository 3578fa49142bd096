// Materials and texture maps of the host scene.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "exporter/host/MaxScene.h"

class HostBitmapTex : public BitmapTex {
public:
    explicit HostBitmapTex(std::string path) : path(std::move(path)) {}
    CStr GetName() override { return CStr("Bitmap"); }
    int NumSubTexmaps() override { return 0; }
    Texmap* GetSubTexmap(int) override { return nullptr; }
    // The map's path, or the one the host's names give for it (asked once).
    const char* GetMapName() override {
        if (names == nullptr) return path.c_str();
        if (!named) {
            reported = (*names)(path);
            named = true;
        }
        return reported.c_str();
    }
    const std::string& Path() const { return path; }
    void SetNames(const std::function<std::string(const std::string&)>* n) {
        names = n;
        named = false;
    }

private:
    std::string path, reported;
    const std::function<std::string(const std::string&)>* names = nullptr;
    bool named = false;
};

// A map that is not a bitmap (procedural), with optional sub-maps.
class HostProceduralTex : public Texmap {
public:
    explicit HostProceduralTex(Class_ID cls = Class_ID(CHECKER_CLASS_ID, 0)) : cls(cls) {}
    Class_ID ClassID() override { return cls; }
    CStr GetName() override { return CStr("Map"); }
    int NumSubTexmaps() override { return static_cast<int>(subMaps.size()); }
    Texmap* GetSubTexmap(int i) override {
        return i >= 0 && i < NumSubTexmaps() ? subMaps[static_cast<size_t>(i)] : nullptr;
    }
    std::vector<Texmap*> subMaps;

private:
    Class_ID cls;
};

class HostStdMat : public StdMat {
public:
    explicit HostStdMat(std::string name) : name(std::move(name)) {
        maps.fill(nullptr);
        enabled.fill(TRUE);
    }
    CStr GetName() override { return CStr(name); }
    int NumSubTexmaps() override { return STD_NUM_MAPS; }
    Texmap* GetSubTexmap(int i) override {
        return i >= 0 && i < STD_NUM_MAPS ? maps[static_cast<size_t>(i)] : nullptr;
    }
    int NumSubMtls() override { return 0; }
    Mtl* GetSubMtl(int) override { return nullptr; }
    BOOL MapEnabled(int id) override {
        return id >= 0 && id < STD_NUM_MAPS ? enabled[static_cast<size_t>(id)] : FALSE;
    }

    std::string name;
    std::array<Texmap*, STD_NUM_MAPS> maps;
    std::array<BOOL, STD_NUM_MAPS> enabled;
};

// Several materials on one object, addressed by the faces' material IDs.
class HostMultiMtl : public Mtl {
public:
    explicit HostMultiMtl(std::string name) : name(std::move(name)) {}
    Class_ID ClassID() override { return Class_ID(MULTI_CLASS_ID, 0); }
    CStr GetName() override { return CStr(name); }
    int NumSubTexmaps() override { return 0; }
    Texmap* GetSubTexmap(int) override { return nullptr; }
    int NumSubMtls() override { return static_cast<int>(subs.size()); }
    Mtl* GetSubMtl(int i) override {
        return i >= 0 && i < NumSubMtls() ? subs[static_cast<size_t>(i)] : nullptr;
    }

    std::string name;
    std::vector<Mtl*> subs;
};
