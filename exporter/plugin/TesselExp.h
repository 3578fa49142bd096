// The TesselExp scene exporter: the exporter object the host creates for one
// export, its shared state (chosen nodes, frame options, biped root,
// material table), the node classification and the module's functions.
#pragma once

#include <cstdio>

#include "exporter/host/HostDialog.h"
#include "exporter/host/MaxScene.h"
#include "exporter/writer/MaterialTable.h"

class TesselWriter;

constexpr int MAX_EXPORT_OBJECTS = 1000;

class TesselExp : public SceneExport {
public:
    TimeValue staticTime = 0;
    Interface* ip = nullptr;
    std::FILE* file = nullptr;
    MaterialTable materials;
    INode* staticNodes[MAX_EXPORT_OBJECTS];
    INode* animNodes[MAX_EXPORT_OBJECTS];
    INode* bipedRoot = nullptr;
    TimeValue startTime = 0;
    TimeValue endTime = 0;
    int frameStep = 1;
    BOOL centreOnBiped = 1;
    int staticCount = 0;
    int animCount = 0;

    TesselExp();
    ~TesselExp() override;

    int ExtCount() override;
    const char* Ext(int n) override;
    const char* LongDesc() override;
    const char* ShortDesc() override;
    const char* AuthorName() override;
    const char* CopyrightMessage() override;
    const char* OtherMessage1() override;
    const char* OtherMessage2() override;
    unsigned int Version() override;
    void ShowAbout(HWND hWnd) override;
    int DoExport(const char* name, ExpInterface* ei, Interface* i, BOOL suppressPrompts = FALSE,
                 DWORD options = 0) override;
    BOOL SupportsOptions(int ext, DWORD options) override;
    // DoExport's work. DoExport turns an allocation failure anywhere in it
    // into a failed export: a message, result 0, the new file removed and
    // any earlier file as it was.
    int ExportScene(const char* name, Interface* i, BOOL suppressPrompts, DWORD options);

    // Export driver: the scene's materials, and the mesh part of one chosen
    // node, written after the node still passed the test of its list.
    void CollectMaterials(INode* node);
    void ExportStaticNode(INode* node);
    void ExportAnimatedNode(INode* node);
    // The writers of the file being written (set during DoExport).
    TesselWriter* writer = nullptr;

    // Node classification.
    BOOL IsExportCandidate(INode* node);
    BOOL IsAnimatedNode(INode* node);
    BOOL CheckForAnimation(INode* node);
    BOOL EqualPoint3(Point3 a, Point3 b);
    BOOL FindBipedRoot(INode* node);
};

// Module state (one copy per loaded library).
extern HINSTANCE hInstance;
extern BOOL controlsInit;
extern BOOL showPrompts;
extern BOOL exportSelected;
extern TesselExp* theExporter;
extern Interface* theInterface;

// The export dialog (template IDD_EXPORT): its procedure, the list filling,
// and the template as the library's resources hold it.
INT_PTR ExportDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL FillNodeLists(HWND staticList, HWND animList, TesselExp* exporter, INode* node);
const DialogTemplate& ExportDialogTemplate();
// Makes the library's dialog templates known to the host under `instance`.
void RegisterResources(HINSTANCE instance);

// Texts of the export dialog's messages.
extern const char* const kTooManyObjects;     // the 1000-object limit
extern const char* const kNothingToSave;      // save-all found no object
extern const char* const kNothingSelected;    // save-selected found no object
extern const char* const kFrameStepTooSmall;  // a frame step below 1

// Text of string-table entry id in a buffer shared by all calls, or null.
const char* GetString(int id);
// Message box captioned "Export Message", without owner window.
void ExportMessage(const char* text);
// The library's string table: copies entry id into buffer (at most max - 1
// characters and a terminator) and returns its length, 0 when absent.
int LoadStringA(HINSTANCE instance, unsigned int id, char* buffer, int max);
