// The export dialog: lists the scene's export candidates, static objects on
// the left and animated ones on the right, and stores the chosen objects,
// the frame range, the frame step and the centring option in the exporter.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "exporter/host/HostUi.h"
#include "exporter/plugin/TesselExp.h"
#include "exporter/plugin/resource.h"

const char* const kTooManyObjects =
    "오브젝트의 최대 갯수를 초과했습니다.\r\n일부 오브젝트는 Export에서 제외됩니다.";
const char* const kNothingToSave = "저장할 Object가 없습니다.";
const char* const kNothingSelected = "저장할 Object가 선택되어 있지 않습니다.";
const char* const kFrameStepTooSmall = "Frame Step은 1 이상이어야 합니다.";

namespace {

// A whole number at the start of the text, as atoi reads it (leading blanks,
// a sign, digits; anything else reads as 0), held to the int range.
long long ReadNumber(HWND edit) {
    char text[100];
    GetWindowTextA(edit, text, 99);
    const long long v = std::strtoll(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return v;
}

TimeValue ToTicks(long long ticks) {
    if (ticks > INT32_MAX) return INT32_MAX;
    if (ticks < INT32_MIN) return INT32_MIN;
    return static_cast<TimeValue>(ticks);
}

void SetNumber(HWND edit, long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld", value);
    SetWindowTextA(edit, text);
}

// The open dialog's controls and the exporter it fills.
class ExportDialog {
public:
    explicit ExportDialog(HWND dialog)
        : dialog(dialog),
          staticList(GetDlgItem(dialog, IDC_STATIC_OBJECTS)),
          animList(GetDlgItem(dialog, IDC_ANIM_OBJECTS)),
          startEdit(GetDlgItem(dialog, IDC_START_FRAME)),
          endEdit(GetDlgItem(dialog, IDC_END_FRAME)),
          stepEdit(GetDlgItem(dialog, IDC_FRAME_STEP)),
          centreCheck(GetDlgItem(dialog, IDC_CENTRE_ON_BIPED)) {}

    void Open(TesselExp* exporter);
    // The save buttons: every item (save-all) or the highlighted ones.
    void Save(bool all);

private:
    // Items of one list to take, at most up to the limit after `count`
    // already taken.
    std::vector<INode*> ItemsToTake(HWND list, bool all, int count);

    HWND dialog, staticList, animList, startEdit, endEdit, stepEdit, centreCheck;
};

void ExportDialog::Open(TesselExp* exporter) {
    CenterWindow(dialog, GetParent(dialog));
    theExporter = exporter;
    theInterface = exporter ? exporter->ip : nullptr;
    if (exporter == nullptr || theInterface == nullptr) return;

    const Interval range = theInterface->GetAnimRange();
    exporter->startTime = range.Start();
    exporter->endTime = range.End();
    const int frame = GetTicksPerFrame();
    SetNumber(startEdit, exporter->startTime / frame);
    SetNumber(endEdit, exporter->endTime / frame);
    SetNumber(stepEdit, exporter->frameStep);

    INode* root = theInterface->GetRootNode();
    for (int k = 0; root != nullptr && k < root->NumberOfChildren(); ++k)
        FillNodeLists(staticList, animList, exporter, root->GetChildNode(k));

    SendMessageA(centreCheck, BM_SETCHECK, exporter->centreOnBiped ? BST_CHECKED : BST_UNCHECKED,
                 0);
    // Without a biped there is nothing to centre on; the box keeps its mark.
    if (exporter->bipedRoot == nullptr) EnableWindow(centreCheck, FALSE);
}

std::vector<INode*> ExportDialog::ItemsToTake(HWND list, bool all, int count) {
    std::vector<INode*> taken;
    const LRESULT items = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < items; ++i) {
        if (!all && SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) continue;
        if (count + static_cast<int>(taken.size()) >= MAX_EXPORT_OBJECTS) {
            ExportMessage(kTooManyObjects);
            break;
        }
        auto* node =
            reinterpret_cast<INode*>(SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
        if (node != nullptr && reinterpret_cast<LRESULT>(node) != LB_ERR) taken.push_back(node);
    }
    return taken;
}

void ExportDialog::Save(bool all) {
    TesselExp* exp = theExporter;
    if (exp == nullptr || theInterface == nullptr) {
        EndDialog(dialog, 0);
        return;
    }
    const std::vector<INode*> statics = ItemsToTake(staticList, all, exp->staticCount);
    const std::vector<INode*> anims = ItemsToTake(animList, all, exp->animCount);
    const size_t taken =
        static_cast<size_t>(exp->staticCount + exp->animCount) + statics.size() + anims.size();
    if (taken == 0) {
        if (all) {
            ExportMessage(kNothingToSave);
            EndDialog(dialog, 0);
        } else {
            ExportMessage(kNothingSelected);
        }
        return;
    }
    // The file's frame count and the sampling of animated objects need a
    // step of at least one frame: anything else is refused and the dialog
    // stays open with nothing taken.
    const long long step = ReadNumber(stepEdit);
    if (step < 1) {
        ExportMessage(kFrameStepTooSmall);
        return;
    }

    for (INode* n : statics) exp->staticNodes[exp->staticCount++] = n;
    for (INode* n : anims) exp->animNodes[exp->animCount++] = n;

    const long long frame = GetTicksPerFrame();
    TimeValue start = ToTicks(ReadNumber(startEdit) * frame);
    TimeValue end = ToTicks(ReadNumber(endEdit) * frame);
    const Interval range = theInterface->GetAnimRange();
    if (start < range.Start()) start = range.Start();
    if (end > range.End()) end = range.End();
    if (start > end) end = start;
    exp->startTime = start;
    exp->endTime = end;
    exp->frameStep = static_cast<int>(step);
    exp->centreOnBiped =
        SendMessageA(centreCheck, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED) ? TRUE
                                                                                          : FALSE;
    EndDialog(dialog, 1);
}

}  // namespace

BOOL FillNodeLists(HWND staticList, HWND animList, TesselExp* exporter, INode* node) {
    if (exporter == nullptr || node == nullptr) return TRUE;
    if (exporter->IsExportCandidate(node)) {
        HWND list = exporter->IsAnimatedNode(node) ? animList : staticList;
        const LRESULT at = SendMessageA(list, LB_GETCOUNT, 0, 0);
        SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(at),
                     reinterpret_cast<LPARAM>(node->GetName()));
        SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(node));
    }
    for (int k = 0; k < node->NumberOfChildren(); ++k)
        FillNodeLists(staticList, animList, exporter, node->GetChildNode(k));
    return TRUE;
}

INT_PTR ExportDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            ExportDialog(hWnd).Open(reinterpret_cast<TesselExp*>(lParam));
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_SAVE_ALL:
                    ExportDialog(hWnd).Save(true);
                    break;
                case IDOK:
                    ExportDialog(hWnd).Save(false);
                    break;
                case IDCANCEL:
                    EndDialog(hWnd, 0);
                    break;
                default:
                    break;
            }
            return TRUE;
        case WM_CLOSE:
            EndDialog(hWnd, 0);
            return TRUE;
        default:
            return FALSE;
    }
}
