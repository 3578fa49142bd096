// Modal dialogs as plug-ins meet them: dialog templates registered by the
// module that owns them, DialogBoxParamA with a dialog procedure, and the
// Win32 calls a dialog procedure makes on its controls (list boxes, edits,
// check boxes, buttons). The open dialog is a DialogWindow: the host's front
// end (terminal answers, a Qt window, or a test) plays the user on it
// through HostUi::RunDialog.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exporter/host/MaxTypes.h"

using UINT = unsigned int;
using WORD = unsigned short;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using INT_PTR = intptr_t;
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT LB_INSERTSTRING = 0x0181;
constexpr UINT LB_SETSEL = 0x0185;
constexpr UINT LB_GETSEL = 0x0187;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_GETITEMDATA = 0x0199;
constexpr UINT LB_SETITEMDATA = 0x019A;
constexpr LRESULT LB_ERR = -1;
constexpr WPARAM BST_UNCHECKED = 0;
constexpr WPARAM BST_CHECKED = 1;
constexpr WORD BN_CLICKED = 0;

inline WORD LOWORD(uintptr_t v) {
    return static_cast<WORD>(v & 0xFFFF);
}
inline WORD HIWORD(uintptr_t v) {
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
inline WPARAM MAKEWPARAM(WORD lo, WORD hi) {
    return static_cast<WPARAM>(lo) | (static_cast<WPARAM>(hi) << 16);
}

// Window, dialog and control styles of the templates (Win32 values); the
// front ends honour those that change what the user sees or does.
constexpr unsigned long WS_POPUP = 0x80000000ul, WS_VISIBLE = 0x10000000ul,
                        WS_CAPTION = 0x00C00000ul;
constexpr unsigned long WS_BORDER = 0x00800000ul, WS_VSCROLL = 0x00200000ul,
                        WS_SYSMENU = 0x00080000ul;
constexpr unsigned long WS_GROUP = 0x00020000ul, WS_TABSTOP = 0x00010000ul,
                        WS_DISABLED = 0x08000000ul;
constexpr unsigned long DS_MODALFRAME = 0x0080ul, WS_EX_TOOLWINDOW = 0x0080ul;
constexpr unsigned long LBS_NOTIFY = 0x0001ul, LBS_SORT = 0x0002ul, LBS_NOINTEGRALHEIGHT = 0x0100ul;
constexpr unsigned long LBS_EXTENDEDSEL = 0x0800ul;
constexpr unsigned long BS_DEFPUSHBUTTON = 0x0001ul, BS_AUTOCHECKBOX = 0x0003ul,
                        BS_MULTILINE = 0x2000ul;
constexpr unsigned long ES_AUTOHSCROLL = 0x0080ul;
constexpr unsigned long SS_LEFT = 0x0000ul, SS_CENTER = 0x0001ul;

enum class ControlKind { ListBox, PushButton, CheckBox, Edit, Static };

// One control of a dialog template; positions in dialog units.
struct DialogItemTemplate {
    int id;
    ControlKind kind;
    std::string text;
    int x, y, cx, cy;
    unsigned long style;
};

struct DialogTemplate {
    int id;
    std::string caption;
    int cx, cy;
    std::vector<DialogItemTemplate> items;  // in tab order
    unsigned long style;
    unsigned long exStyle;
    std::string fontName;  // dialog units follow this font's size
    int pointSize;
};

// Makes a module's dialog template available to DialogBoxParamA.
void RegisterDialogTemplate(HINSTANCE module, const DialogTemplate& dialogTemplate);

// An open modal dialog.
class DialogWindow {
public:
    struct ListItem {
        std::string text;
        LPARAM data = 0;
        bool selected = false;
    };
    struct Control {
        DialogItemTemplate item;
        std::string text;
        bool enabled = true;
        WPARAM check = BST_UNCHECKED;
        std::vector<ListItem> list;
        DialogWindow* dialog = nullptr;
    };

    DialogWindow(const DialogTemplate& t, HWND parent, DLGPROC proc);
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    const DialogTemplate& Template() const { return tmpl; }
    HWND Handle() { return reinterpret_cast<HWND>(this); }
    HWND Parent() const { return parent; }
    Control* Find(int id);
    std::vector<std::unique_ptr<Control>>& Controls() { return controls; }

    // What the user does: each change goes through the control as it would
    // on screen; clicks and closing are sent to the dialog procedure.
    void SetText(int id, const std::string& text);
    void SetCheck(int id, bool checked);
    void SetSelected(int listId, int index, bool selected);
    void Click(int id);
    void Close();

    INT_PTR Send(UINT msg, WPARAM w, LPARAM l) { return proc(Handle(), msg, w, l); }
    bool Ended() const { return ended; }
    INT_PTR Result() const { return result; }
    void End(INT_PTR r) {
        ended = true;
        result = r;
    }

private:
    DialogTemplate tmpl;
    HWND parent;
    DLGPROC proc;
    std::vector<std::unique_ptr<Control>> controls;
    bool ended = false;
    INT_PTR result = 0;
};

// The Win32 dialog calls, over DialogWindow. Handles that are not windows of
// an open dialog are refused (0, LB_ERR or an empty text).
INT_PTR DialogBoxParamA(HINSTANCE module, int templateId, HWND parent, DLGPROC proc, LPARAM param);
HWND GetDlgItem(HWND dialog, int id);
HWND GetParent(HWND window);
LRESULT SendMessageA(HWND window, UINT msg, WPARAM w, LPARAM l);
int GetWindowTextA(HWND window, char* buffer, int max);
BOOL SetWindowTextA(HWND window, const char* text);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL EndDialog(HWND dialog, INT_PTR result);
// The SDK's helper that centres a window on another; windows of the host
// have no screen position, so it only checks its arguments.
void CenterWindow(HWND window, HWND parent);
