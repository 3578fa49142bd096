// The host's user-interface services as a plug-in meets them: message boxes
// with a caption, the progress bar, the cancel request and the SDK's
// assertion report. The host program installs one implementation (terminal
// or Qt); tests install a recording one.
#pragma once

#include <string>

#include "exporter/host/MaxTypes.h"

class DialogWindow;

class HostUi {
public:
    virtual ~HostUi() = default;
    // Modal message box with an OK button; returns when it is dismissed.
    virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
    virtual void ProgressStart(const std::string& title) = 0;
    // percent 0-100; title, when given, replaces the bar's title.
    virtual void ProgressUpdate(int percent, bool showPercent, const std::string* title) = 0;
    virtual void ProgressEnd() = 0;
    // True once the user asked to cancel.
    virtual bool CancelRequested() = 0;
    virtual void SetCancel(bool cancel) = 0;
    // A failed SDK assertion in `file` at `line`.
    virtual void Assertion(const std::string& file, int line) = 0;
    // The user's turn on an open modal dialog: act on it (type, tick,
    // highlight, click) until it has ended. A dialog still open on return is
    // closed.
    virtual void RunDialog(DialogWindow& dialog) = 0;
};

// The services every host call reports through. Without one installed,
// messages and assertions go to standard error.
void SetHostUi(HostUi* ui);
HostUi* GetHostUi();

// The Win32 message box as plug-ins call it; shown through the host's services.
constexpr unsigned int MB_OK = 0;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned int type);
