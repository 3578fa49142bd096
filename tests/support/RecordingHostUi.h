// Host UI services for tests: records message boxes (with captions),
// progress calls, assertions and dialogs, cancels on request and answers
// dialogs with a function the test gives. A Korean text the terminal has no
// English gloss for fails the test that showed it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "exporter/host/HostDialog.h"
#include "exporter/host/HostUi.h"
#include "exporter/host/MessageGlosses.h"

class RecordingHostUi : public HostUi {
public:
    struct Message {
        std::string text, caption;
    };

    RecordingHostUi() { SetHostUi(this); }
    ~RecordingHostUi() override {
        if (GetHostUi() == this) SetHostUi(nullptr);
    }

    void MessageBox(const std::string& text, const std::string& caption) override {
        ExpectGloss(text);
        ExpectGloss(caption);
        messages.push_back({text, caption});
    }
    void ProgressStart(const std::string& title) override {
        ExpectGloss(title);
        progressTitles.push_back(title);
        progressOpen = true;
    }
    void ProgressUpdate(int percent, bool, const std::string*) override {
        progress.push_back(percent);
        if (cancelAfterUpdates > 0 && static_cast<int>(progress.size()) >= cancelAfterUpdates)
            cancel = true;
    }
    void ProgressEnd() override { progressOpen = false; }
    bool CancelRequested() override { return cancel; }
    void SetCancel(bool c) override { cancel = c; }
    void Assertion(const std::string& file, int line) override {
        assertions.push_back(file + ":" + std::to_string(line));
    }
    void RunDialog(DialogWindow& dialog) override {
        dialogs.push_back(dialog.Template().caption);
        if (answer) answer(dialog);
    }

    std::vector<Message> messages;
    std::vector<std::string> progressTitles;
    std::vector<int> progress;
    std::vector<std::string> assertions;
    bool progressOpen = false;
    bool cancel = false;
    int cancelAfterUpdates = 0;                 // cancel once this many updates were reported
    std::vector<std::string> dialogs;           // captions of the dialogs shown
    std::function<void(DialogWindow&)> answer;  // the user's part; none closes the dialog

private:
    static void ExpectGloss(const std::string& text) {
        const bool ascii = std::all_of(text.begin(), text.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        EXPECT_TRUE(ascii || !EnglishGloss(text).empty()) << "no English gloss for: " << text;
    }
};
