// How the batch host answers the export dialog (template 101): which objects
// to take (all, or those highlighted by name), the texts typed into the
// frame fields, and the centring check box.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exporter/host/HostDialog.h"

struct ExportDialogAnswers {
    enum class Take { None, All, Selected };
    Take take = Take::None;
    std::vector<std::string> names;  // items to highlight for Take::Selected
    std::optional<std::string> startFrame, endFrame, frameStep;
    bool centre = true;
};

// The export dialog's template and control numbers, as the plug-in's
// resources give them.
namespace ExportDialogIds {
constexpr int kTemplate = 101;
constexpr int kStaticList = 1001, kAnimList = 1006;
constexpr int kSaveSelected = 1, kSaveAll = 1003, kCancel = 2;
constexpr int kCentre = 1005, kStartFrame = 1007, kEndFrame = 1008, kFrameStep = 1009;
}  // namespace ExportDialogIds

// Types the frame texts and sets the centring check box of the open export
// dialog (the part of the answers that a window can show before the user
// chooses).
void PresetExportDialog(DialogWindow& dialog, const ExportDialogAnswers& answers);

// Plays the user on the open export dialog: types the frame texts, sets the
// check box, highlights the named items and presses the button. Names found
// in neither list are returned in `missing` and the dialog is cancelled;
// so is a dialog that stays open after the button (nothing to take).
void AnswerExportDialog(DialogWindow& dialog, const ExportDialogAnswers& answers,
                        std::vector<std::string>& missing);
