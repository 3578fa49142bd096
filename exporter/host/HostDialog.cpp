#include "exporter/host/HostDialog.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "exporter/host/HostUi.h"

namespace {
std::map<std::pair<HINSTANCE, int>, DialogTemplate>& Templates() {
    static std::map<std::pair<HINSTANCE, int>, DialogTemplate> t;
    return t;
}
// Live windows: dialogs and their controls.
std::set<DialogWindow*>& Dialogs() {
    static std::set<DialogWindow*> d;
    return d;
}
std::map<HWND, DialogWindow::Control*>& ControlHandles() {
    static std::map<HWND, DialogWindow::Control*> c;
    return c;
}

DialogWindow* AsDialog(HWND h) {
    auto* d = reinterpret_cast<DialogWindow*>(h);
    return Dialogs().count(d) ? d : nullptr;
}
DialogWindow::Control* AsControl(HWND h) {
    auto it = ControlHandles().find(h);
    return it == ControlHandles().end() ? nullptr : it->second;
}
}  // namespace

void RegisterDialogTemplate(HINSTANCE module, const DialogTemplate& t) {
    Templates()[{module, t.id}] = t;
}

DialogWindow::DialogWindow(const DialogTemplate& t, HWND parent, DLGPROC proc)
    : tmpl(t), parent(parent), proc(proc) {
    for (const DialogItemTemplate& item : tmpl.items) {
        auto c = std::make_unique<Control>();
        c->item = item;
        c->text = item.kind == ControlKind::ListBox ? "" : item.text;
        c->enabled = (item.style & WS_DISABLED) == 0;
        c->dialog = this;
        ControlHandles()[reinterpret_cast<HWND>(c.get())] = c.get();
        controls.push_back(std::move(c));
    }
    Dialogs().insert(this);
}

DialogWindow::~DialogWindow() {
    for (auto& c : controls) ControlHandles().erase(reinterpret_cast<HWND>(c.get()));
    Dialogs().erase(this);
}

DialogWindow::Control* DialogWindow::Find(int id) {
    for (auto& c : controls)
        if (c->item.id == id) return c.get();
    return nullptr;
}

void DialogWindow::SetText(int id, const std::string& text) {
    if (Control* c = Find(id); c && c->enabled && c->item.kind == ControlKind::Edit) c->text = text;
}

void DialogWindow::SetCheck(int id, bool checked) {
    if (Control* c = Find(id); c && c->enabled && c->item.kind == ControlKind::CheckBox)
        c->check = checked ? BST_CHECKED : BST_UNCHECKED;
}

void DialogWindow::SetSelected(int listId, int index, bool selected) {
    Control* c = Find(listId);
    if (c && c->enabled && c->item.kind == ControlKind::ListBox && index >= 0 &&
        index < static_cast<int>(c->list.size()))
        c->list[static_cast<size_t>(index)].selected = selected;
}

void DialogWindow::Click(int id) {
    Control* c = Find(id);
    if (ended || c == nullptr || !c->enabled) return;
    if (c->item.kind == ControlKind::CheckBox)
        c->check = c->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    Send(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(c));
}

void DialogWindow::Close() {
    if (!ended) Send(WM_CLOSE, 0, 0);
}

INT_PTR DialogBoxParamA(HINSTANCE module, int templateId, HWND parent, DLGPROC proc, LPARAM param) {
    auto it = Templates().find({module, templateId});
    if (it == Templates().end() || proc == nullptr) return -1;
    DialogWindow dialog(it->second, parent, proc);
    dialog.Send(WM_INITDIALOG, 0, param);
    if (!dialog.Ended()) {
        if (HostUi* ui = GetHostUi()) ui->RunDialog(dialog);
    }
    // A front end that walked away closes the window.
    if (!dialog.Ended()) dialog.Close();
    return dialog.Ended() ? dialog.Result() : 0;
}

HWND GetDlgItem(HWND dialog, int id) {
    DialogWindow* d = AsDialog(dialog);
    return d ? reinterpret_cast<HWND>(d->Find(id)) : nullptr;
}

HWND GetParent(HWND window) {
    if (DialogWindow* d = AsDialog(window)) return d->Parent();
    if (DialogWindow::Control* c = AsControl(window)) return c->dialog->Handle();
    return nullptr;
}

LRESULT SendMessageA(HWND window, UINT msg, WPARAM w, LPARAM l) {
    if (DialogWindow* d = AsDialog(window)) return d->Send(msg, w, l);
    DialogWindow::Control* c = AsControl(window);
    if (c == nullptr) return 0;
    auto& list = c->list;
    const auto index = static_cast<intptr_t>(w);
    const bool valid = index >= 0 && index < static_cast<intptr_t>(list.size());
    switch (msg) {
        case BM_GETCHECK:
            return static_cast<LRESULT>(c->check);
        case BM_SETCHECK:
            c->check = w == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
            return 0;
        case LB_GETCOUNT:
            return static_cast<LRESULT>(list.size());
        case LB_INSERTSTRING: {
            const char* text = reinterpret_cast<const char*>(l);
            DialogWindow::ListItem item{text ? text : "", 0, false};
            // -1 appends; other indices insert before that item.
            if (index == -1 || index == static_cast<intptr_t>(list.size())) {
                list.push_back(item);
                return static_cast<LRESULT>(list.size() - 1);
            }
            if (!valid) return LB_ERR;
            list.insert(list.begin() + index, item);
            return index;
        }
        case LB_SETITEMDATA:
            if (!valid) return LB_ERR;
            list[static_cast<size_t>(index)].data = l;
            return 0;
        case LB_GETITEMDATA:
            return valid ? list[static_cast<size_t>(index)].data : LB_ERR;
        case LB_GETSEL:
            return valid ? (list[static_cast<size_t>(index)].selected ? 1 : 0) : LB_ERR;
        case LB_SETSEL: {
            // wParam: select or not; lParam: the item, -1 for all.
            if (l == -1) {
                for (auto& item : list) item.selected = w != 0;
                return 0;
            }
            if (l < 0 || l >= static_cast<LPARAM>(list.size())) return LB_ERR;
            list[static_cast<size_t>(l)].selected = w != 0;
            return 0;
        }
        case LB_GETTEXTLEN:
            return valid ? static_cast<LRESULT>(list[static_cast<size_t>(index)].text.size())
                         : LB_ERR;
        case LB_GETTEXT: {
            if (!valid || l == 0) return LB_ERR;
            const std::string& t = list[static_cast<size_t>(index)].text;
            std::memcpy(reinterpret_cast<char*>(l), t.c_str(), t.size() + 1);
            return static_cast<LRESULT>(t.size());
        }
        default:
            return 0;
    }
}

int GetWindowTextA(HWND window, char* buffer, int max) {
    if (buffer == nullptr || max <= 0) return 0;
    buffer[0] = '\0';
    std::string text;
    if (DialogWindow* d = AsDialog(window))
        text = d->Template().caption;
    else if (DialogWindow::Control* c = AsControl(window))
        text = c->text;
    else
        return 0;
    const size_t n = std::min(text.size(), static_cast<size_t>(max - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

BOOL SetWindowTextA(HWND window, const char* text) {
    DialogWindow::Control* c = AsControl(window);
    if (c == nullptr) return FALSE;
    c->text = text ? text : "";
    return TRUE;
}

BOOL EnableWindow(HWND window, BOOL enable) {
    DialogWindow::Control* c = AsControl(window);
    if (c == nullptr) return FALSE;
    const BOOL wasDisabled = c->enabled ? FALSE : TRUE;
    c->enabled = enable != FALSE;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
    DialogWindow::Control* c = AsControl(window);
    return c && c->enabled ? TRUE : FALSE;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    DialogWindow* d = AsDialog(dialog);
    if (d == nullptr) return FALSE;
    d->End(result);
    return TRUE;
}

void CenterWindow(HWND, HWND) {}
