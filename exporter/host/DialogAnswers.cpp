#include "exporter/host/DialogAnswers.h"

using namespace ExportDialogIds;

void PresetExportDialog(DialogWindow& dialog, const ExportDialogAnswers& answers) {
    if (dialog.Template().id != kTemplate) return;
    if (answers.startFrame) dialog.SetText(kStartFrame, *answers.startFrame);
    if (answers.endFrame) dialog.SetText(kEndFrame, *answers.endFrame);
    if (answers.frameStep) dialog.SetText(kFrameStep, *answers.frameStep);
    if (DialogWindow::Control* centre = dialog.Find(kCentre);
        centre && !answers.centre && centre->check == BST_CHECKED)
        dialog.Click(kCentre);
}

void AnswerExportDialog(DialogWindow& dialog, const ExportDialogAnswers& answers,
                        std::vector<std::string>& missing) {
    missing.clear();
    if (dialog.Template().id != kTemplate || answers.take == ExportDialogAnswers::Take::None) {
        dialog.Click(kCancel);
        return;
    }
    PresetExportDialog(dialog, answers);

    if (answers.take == ExportDialogAnswers::Take::All) {
        dialog.Click(kSaveAll);
    } else {
        for (const std::string& name : answers.names) {
            bool found = false;
            for (int listId : {kStaticList, kAnimList}) {
                DialogWindow::Control* list = dialog.Find(listId);
                if (list == nullptr) continue;
                for (size_t i = 0; i < list->list.size(); ++i)
                    if (list->list[i].text == name) {
                        dialog.SetSelected(listId, static_cast<int>(i), true);
                        found = true;
                    }
            }
            if (!found) missing.push_back(name);
        }
        if (!missing.empty()) {
            dialog.Click(kCancel);
            return;
        }
        dialog.Click(kSaveSelected);
    }
    if (!dialog.Ended()) dialog.Click(kCancel);
}
