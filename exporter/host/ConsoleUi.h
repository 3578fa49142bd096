// The batch host's UI services on a terminal: message boxes are printed with
// their caption to standard error, the progress bar is drawn on standard
// error when it is a terminal, and Ctrl-C asks the running export to cancel
// (a second Ctrl-C ends the program). The plug-in's Korean texts are each
// followed by an English gloss. Dialogs are answered by a function the
// program sets.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "exporter/host/HostUi.h"

class ConsoleUi : public HostUi {
public:
    explicit ConsoleUi(std::FILE* out = stderr);
    ~ConsoleUi() override;

    void MessageBox(const std::string& text, const std::string& caption) override;
    void ProgressStart(const std::string& title) override;
    void ProgressUpdate(int percent, bool showPercent, const std::string* title) override;
    void ProgressEnd() override;
    bool CancelRequested() override;
    void SetCancel(bool cancel) override;
    void Assertion(const std::string& file, int line) override;
    void RunDialog(DialogWindow& dialog) override;

    // Plays the user on modal dialogs; without one, dialogs are cancelled.
    std::function<void(DialogWindow&)> dialogAnswers;

    // Installs the Ctrl-C handler (once per process).
    static void CatchInterrupt();

    // The texts of the message boxes shown so far, in order.
    const std::vector<std::string>& Messages() const { return messages; }

private:
    void Draw();
    std::FILE* out;
    bool terminal;
    bool progressOn = false;
    std::string title;
    int percent = 0;
    bool showPercent = true;
    std::vector<std::string> messages;
};
