// The exporter object: construction, the SceneExport operations and the
// export driver.
#include "TesselExp.h"

#include "HostUi.h"

namespace {
const char emptyText[] = "";
}

TesselExp::TesselExp() {
    for (int i = 0; i < MAX_EXPORT_OBJECTS; ++i) staticNodes[i] = animNodes[i] = nullptr;
}

TesselExp::~TesselExp() = default;  // the material table frees its own storage

int TesselExp::ExtCount() { return 1; }

const char* TesselExp::Ext(int n) { return n == 0 ? "TSL" : emptyText; }

const char* TesselExp::LongDesc() { return "Vantor Tessel Exporter"; }

const char* TesselExp::ShortDesc() { return "Tessel Exporter"; }

const char* TesselExp::AuthorName() { return "Orlen"; }

const char* TesselExp::CopyrightMessage() { return "Copyright (c) Vantor. All rights reserved."; }

const char* TesselExp::OtherMessage1() { return emptyText; }

const char* TesselExp::OtherMessage2() { return emptyText; }

unsigned int TesselExp::Version() { return 100; }

void TesselExp::ShowAbout(HWND) {}

BOOL TesselExp::SupportsOptions(int ext, DWORD options) {
    if (ext != 0) assert1(__LINE__, __FILE__);
    return options == SCENE_EXPORT_SELECTED ? TRUE : FALSE;
}

int TesselExp::DoExport(const char* /*name*/, ExpInterface* /*ei*/, Interface* i, BOOL suppressPrompts,
                        DWORD options) {
    showPrompts = suppressPrompts ? FALSE : TRUE;
    exportSelected = (options & SCENE_EXPORT_SELECTED) ? TRUE : FALSE;
    ip = i;

    // The biped's top node, searched over the whole scene.
    INode* root = ip->GetRootNode();
    for (int k = 0; root != nullptr && k < root->NumberOfChildren(); ++k) {
        if (ip->GetCancel()) break;
        FindBipedRoot(root->GetChildNode(k));
    }

    if (!showPrompts) return 0;

    // Choosing the objects in the export dialog and writing the file follow
    // here; without them the export ends as a cancelled one, with no file.
    return 1;
}
