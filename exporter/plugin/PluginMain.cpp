// The plug-in library's entry point, its exports and its class descriptor.
#include <dlfcn.h>

#include <new>

#include "exporter/plugin/TesselExp.h"
#include "exporter/plugin/resource.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1

class TesselExpClassDesc : public ClassDesc {
public:
    int IsPublic() override { return 1; }
    void* Create(BOOL) override { return new (std::nothrow) TesselExp(); }
    const char* ClassName() override { return "TesselExp"; }
    SClass_ID SuperClassID() override { return SCENE_EXPORT_CLASS_ID; }
    Class_ID ClassID() override { return Class_ID(0x7ACA39C2, 0x6B1457DA); }
    const char* Category() override { return GetString(IDS_CATEGORY); }
};

static TesselExpClassDesc TesselExpDesc;

#define PLUGIN_EXPORT __attribute__((visibility("default")))

extern "C" {

PLUGIN_EXPORT int DllMain(HINSTANCE hinstDLL, DWORD /*reason*/, void* /*reserved*/) {
    hInstance = hinstDLL;
    if (!controlsInit) {
        controlsInit = TRUE;
        InitCustomControls(hInstance);
        InitCommonControls();
    }
    return TRUE;
}

PLUGIN_EXPORT const char* LibDescription() {
    return GetString(IDS_LIBDESCRIPTION);
}

PLUGIN_EXPORT int LibNumberClasses() {
    return 1;
}

PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) {
    return i == 0 ? &TesselExpDesc : nullptr;
}

PLUGIN_EXPORT ULONG LibVersion() {
    return VERSION_3DSMAX;
}

PLUGIN_EXPORT ULONG CanAutoDefer() {
    return 1;
}

}  // extern "C"

namespace {
// The library's handle: its load address.
HINSTANCE ModuleHandle() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LibClassDesc), &info) && info.dli_fbase)
        return static_cast<HINSTANCE>(info.dli_fbase);
    return reinterpret_cast<HINSTANCE>(&TesselExpDesc);
}

__attribute__((constructor)) void OnLibraryLoad() {
    DllMain(ModuleHandle(), DLL_PROCESS_ATTACH, nullptr);
}
__attribute__((destructor)) void OnLibraryUnload() {
    DllMain(ModuleHandle(), DLL_PROCESS_DETACH, nullptr);
}
}  // namespace
