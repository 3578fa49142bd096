// The exporter object: construction and the SceneExport operations.
#include "exporter/plugin/TesselExp.h"

#include "exporter/host/HostUi.h"

namespace {
const char emptyText[] = "";
}

TesselExp::TesselExp() {
    for (int i = 0; i < MAX_EXPORT_OBJECTS; ++i) staticNodes[i] = animNodes[i] = nullptr;
}

TesselExp::~TesselExp() = default;  // the material table frees its own storage

int TesselExp::ExtCount() {
    return 1;
}

const char* TesselExp::Ext(int n) {
    return n == 0 ? "TSL" : emptyText;
}

const char* TesselExp::LongDesc() {
    return "Vantor Tessel Exporter";
}

const char* TesselExp::ShortDesc() {
    return "Tessel Exporter";
}

const char* TesselExp::AuthorName() {
    return "Orlen";
}

const char* TesselExp::CopyrightMessage() {
    return "Copyright (c) Vantor. All rights reserved.";
}

const char* TesselExp::OtherMessage1() {
    return emptyText;
}

const char* TesselExp::OtherMessage2() {
    return emptyText;
}

unsigned int TesselExp::Version() {
    return 100;
}

void TesselExp::ShowAbout(HWND) {}

BOOL TesselExp::SupportsOptions(int ext, DWORD options) {
    if (ext != 0) assert1(__LINE__, __FILE__);
    const DWORD supported = SCENE_EXPORT_SELECTED | SCENE_EXPORT_SPLIT_LARGE;
    return options != 0 && (options & ~supported) == 0 ? TRUE : FALSE;
}
