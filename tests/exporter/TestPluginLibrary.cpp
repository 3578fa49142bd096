// A plug-in library with every library export but no exporter class, built
// twice: once reporting the SDK version of this host, once an older one
// (PLUGIN_SDK_VERSION). The host must refuse the older one for its version.
#include "exporter/host/MaxScene.h"

#define PLUGIN_EXPORT __attribute__((visibility("default")))

extern "C" {

PLUGIN_EXPORT const char* LibDescription() {
    return "Tessel exporter for another SDK";
}

PLUGIN_EXPORT int LibNumberClasses() {
    return 0;
}

PLUGIN_EXPORT ClassDesc* LibClassDesc(int) {
    return nullptr;
}

PLUGIN_EXPORT ULONG LibVersion() {
    return PLUGIN_SDK_VERSION;
}

PLUGIN_EXPORT ULONG CanAutoDefer() {
    return 1;
}

}  // extern "C"
