// Modal dialogs through the host: templates, the Win32 calls a dialog
// procedure makes, and the batch answers of the export dialog.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "exporter/host/DialogAnswers.h"
#include "tests/support/RecordingHostUi.h"

namespace {

using namespace ExportDialogIds;

HINSTANCE Module() {
    return reinterpret_cast<HINSTANCE>(0x5000);
}

DialogTemplate ExportLikeTemplate() {
    const unsigned long list = LBS_EXTENDEDSEL | WS_TABSTOP;
    DialogTemplate t{kTemplate, "Building Export", 290, 185, {}, WS_POPUP | WS_CAPTION,
                     0,         "MS Sans Serif",   8};
    t.items = {
        {kStaticList, ControlKind::ListBox, "", 7, 20, 86, 158, list},
        {kSaveSelected, ControlKind::PushButton, "save selected", 198, 113, 85, 17, WS_TABSTOP},
        {kSaveAll, ControlKind::PushButton, "save all", 198, 138, 85, 16, WS_TABSTOP},
        {kCancel, ControlKind::PushButton, "cancel", 198, 161, 85, 17, WS_TABSTOP},
        {kCentre, ControlKind::CheckBox, "centre", 196, 20, 87, 39, BS_AUTOCHECKBOX},
        {kStartFrame, ControlKind::Edit, "", 242, 60, 41, 12, WS_TABSTOP},
        {kEndFrame, ControlKind::Edit, "", 242, 76, 41, 12, WS_TABSTOP},
        {kFrameStep, ControlKind::Edit, "", 242, 94, 41, 12, WS_TABSTOP},
        {kAnimList, ControlKind::ListBox, "", 99, 20, 89, 159, list}};
    return t;
}

// What the test dialog procedure saw when a button ended it.
struct Taken {
    std::vector<std::string> names;
    std::string start, end, step;
    LRESULT centre = -1;
    int commands = 0;
};
Taken* g_taken = nullptr;

void Fill(HWND dlg, int listId, const std::vector<std::string>& names) {
    HWND list = GetDlgItem(dlg, listId);
    for (const std::string& n : names) {
        const LRESULT at = SendMessageA(list, LB_GETCOUNT, 0, 0);
        SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(at),
                     reinterpret_cast<LPARAM>(n.c_str()));
        SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(n.size()));
    }
}

void TakeFrom(HWND dlg, int listId, bool all) {
    HWND list = GetDlgItem(dlg, listId);
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (!all && SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(i), 0) == 0) continue;
        char text[64];
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0),
                  static_cast<LRESULT>(std::string(text).size()));
        g_taken->names.push_back(text);
    }
}

INT_PTR TestProc(HWND dlg, UINT msg, WPARAM w, LPARAM) {
    char buf[100];
    switch (msg) {
        case WM_INITDIALOG:
            CenterWindow(dlg, GetParent(dlg));
            Fill(dlg, kStaticList, {"Wall", "Roof", "Gate"});
            Fill(dlg, kAnimList, {"Flag"});
            SetWindowTextA(GetDlgItem(dlg, kStartFrame), "0");
            SetWindowTextA(GetDlgItem(dlg, kEndFrame), "100");
            SetWindowTextA(GetDlgItem(dlg, kFrameStep), "1");
            SendMessageA(GetDlgItem(dlg, kCentre), BM_SETCHECK, BST_CHECKED, 0);
            return TRUE;
        case WM_COMMAND: {
            ++g_taken->commands;
            const int id = LOWORD(w);
            if (id == kSaveAll || id == kSaveSelected) {
                TakeFrom(dlg, kStaticList, id == kSaveAll);
                TakeFrom(dlg, kAnimList, id == kSaveAll);
                if (g_taken->names.empty()) return TRUE;  // stays open
                GetWindowTextA(GetDlgItem(dlg, kStartFrame), buf, 99);
                g_taken->start = buf;
                GetWindowTextA(GetDlgItem(dlg, kEndFrame), buf, 99);
                g_taken->end = buf;
                GetWindowTextA(GetDlgItem(dlg, kFrameStep), buf, 99);
                g_taken->step = buf;
                g_taken->centre = SendMessageA(GetDlgItem(dlg, kCentre), BM_GETCHECK, 0, 0);
                EndDialog(dlg, 1);
            } else if (id == kCancel) {
                EndDialog(dlg, 0);
            }
            return TRUE;
        }
        case WM_CLOSE:
            EndDialog(dlg, 0);
            return TRUE;
    }
    return FALSE;
}

struct DialogRun {
    INT_PTR result;
    Taken taken;
    std::vector<std::string> missing;
};

DialogRun Answer(const ExportDialogAnswers& answers) {
    RegisterDialogTemplate(Module(), ExportLikeTemplate());
    RecordingHostUi ui;
    DialogRun run{};
    g_taken = &run.taken;
    ui.answer = [&](DialogWindow& d) { AnswerExportDialog(d, answers, run.missing); };
    run.result = DialogBoxParamA(Module(), kTemplate, nullptr, TestProc, 0);
    EXPECT_EQ(ui.dialogs, std::vector<std::string>{"Building Export"});
    g_taken = nullptr;
    return run;
}

TEST(HostDialog, SaveAllTakesEveryItemWithTheTypedFrames) {
    ExportDialogAnswers a;
    a.take = ExportDialogAnswers::Take::All;
    a.startFrame = "10";
    a.frameStep = "5";
    DialogRun r = Answer(a);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.taken.names, (std::vector<std::string>{"Wall", "Roof", "Gate", "Flag"}));
    EXPECT_EQ(r.taken.start, "10");
    EXPECT_EQ(r.taken.end, "100");  // left as the dialog showed it
    EXPECT_EQ(r.taken.step, "5");
    EXPECT_EQ(r.taken.centre, static_cast<LRESULT>(BST_CHECKED));
}

TEST(HostDialog, SaveSelectedHighlightsNamedItemsInBothLists) {
    ExportDialogAnswers a;
    a.take = ExportDialogAnswers::Take::Selected;
    a.names = {"Flag", "Gate"};
    a.centre = false;
    DialogRun r = Answer(a);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.taken.names,
              (std::vector<std::string>{"Gate", "Flag"}));  // list order, static first
    EXPECT_EQ(r.taken.centre, static_cast<LRESULT>(BST_UNCHECKED));
    EXPECT_TRUE(r.missing.empty());
}

TEST(HostDialog, UnknownNamesAndUnansweredDialogsCancel) {
    ExportDialogAnswers a;
    a.take = ExportDialogAnswers::Take::Selected;
    a.names = {"Wall", "Tower"};
    DialogRun r = Answer(a);
    EXPECT_EQ(r.result, 0);
    EXPECT_TRUE(r.taken.names.empty());
    EXPECT_EQ(r.missing, std::vector<std::string>{"Tower"});

    DialogRun none = Answer(ExportDialogAnswers{});
    EXPECT_EQ(none.result, 0);
    EXPECT_EQ(none.taken.commands, 1);  // the cancel button
}

INT_PTR EmptyProc(HWND dlg, UINT msg, WPARAM w, LPARAM) {
    if (msg == WM_COMMAND && LOWORD(w) == kCancel) EndDialog(dlg, 0);
    if (msg == WM_CLOSE) EndDialog(dlg, 7);
    return msg == WM_INITDIALOG || msg == WM_COMMAND || msg == WM_CLOSE;
}

TEST(HostDialog, DialogThatStaysOpenIsCancelledAndFrontEndsThatWalkAwayClose) {
    // Save-selected with nothing highlighted leaves the dialog open: the
    // answers cancel it.
    ExportDialogAnswers a;
    a.take = ExportDialogAnswers::Take::Selected;
    RegisterDialogTemplate(Module(), ExportLikeTemplate());
    {
        RecordingHostUi ui;
        std::vector<std::string> missing;
        ui.answer = [&](DialogWindow& d) { AnswerExportDialog(d, a, missing); };
        EXPECT_EQ(DialogBoxParamA(Module(), kTemplate, nullptr, EmptyProc, 0), 0);
    }
    // No answer at all: the window is closed.
    RecordingHostUi ui;
    EXPECT_EQ(DialogBoxParamA(Module(), kTemplate, nullptr, EmptyProc, 0), 7);
    // A template the module never registered.
    EXPECT_EQ(DialogBoxParamA(Module(), 999, nullptr, EmptyProc, 0), -1);
}

TEST(HostDialog, ControlsRefuseBadHandlesAndIndices) {
    HWND bogus = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(SendMessageA(bogus, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(GetDlgItem(bogus, kStaticList), nullptr);
    char buf[8] = "x";
    EXPECT_EQ(GetWindowTextA(bogus, buf, 8), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_FALSE(EndDialog(bogus, 1));
    EXPECT_FALSE(SetWindowTextA(nullptr, "a"));

    DialogTemplate t = ExportLikeTemplate();
    DialogWindow d(t, nullptr, EmptyProc);
    HWND list = GetDlgItem(d.Handle(), kStaticList);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(GetParent(list), d.Handle());
    EXPECT_EQ(SendMessageA(list, LB_GETSEL, 0, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_INSERTSTRING, 5, reinterpret_cast<LPARAM>("far")), LB_ERR);
    EXPECT_EQ(
        SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("a")),
        0);
    EXPECT_EQ(SendMessageA(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("b")), 0);
    EXPECT_EQ(d.Find(kStaticList)->list[0].text, "b");
    // A disabled check box keeps its mark and ignores the user.
    HWND centre = GetDlgItem(d.Handle(), kCentre);
    SendMessageA(centre, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_FALSE(EnableWindow(centre, FALSE));
    EXPECT_FALSE(IsWindowEnabled(centre));
    d.SetCheck(kCentre, false);
    EXPECT_EQ(SendMessageA(centre, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
    // Long texts are cut to the buffer.
    SetWindowTextA(GetDlgItem(d.Handle(), kStartFrame), "123456789");
    EXPECT_EQ(GetWindowTextA(GetDlgItem(d.Handle(), kStartFrame), buf, 4), 3);
    EXPECT_STREQ(buf, "123");
    EXPECT_EQ(GetWindowTextA(d.Handle(), buf, 8), 7);
    EXPECT_STREQ(buf, "Buildin");

    // A control whose template says disabled opens disabled.
    t.items[5].style |= WS_DISABLED;
    DialogWindow d2(t, nullptr, EmptyProc);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d2.Handle(), kStartFrame)));
    d2.SetText(kStartFrame, "7");
    EXPECT_EQ(d2.Find(kStartFrame)->text, "");
}

}  // namespace
