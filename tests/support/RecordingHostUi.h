// Host UI services for tests: records message boxes (with captions),
// progress calls and assertions, and cancels on request.
#pragma once

#include <string>
#include <vector>

#include "HostUi.h"

class RecordingHostUi : public HostUi {
public:
    struct Message {
        std::string text, caption;
    };

    RecordingHostUi() { SetHostUi(this); }
    ~RecordingHostUi() override {
        if (GetHostUi() == this) SetHostUi(nullptr);
    }

    void MessageBox(const std::string& text, const std::string& caption) override { messages.push_back({text, caption}); }
    void ProgressStart(const std::string& title) override {
        progressTitles.push_back(title);
        progressOpen = true;
    }
    void ProgressUpdate(int percent, bool, const std::string*) override {
        progress.push_back(percent);
        if (cancelAfterUpdates > 0 && static_cast<int>(progress.size()) >= cancelAfterUpdates) cancel = true;
    }
    void ProgressEnd() override { progressOpen = false; }
    bool CancelRequested() override { return cancel; }
    void SetCancel(bool c) override { cancel = c; }
    void Assertion(const std::string& file, int line) override { assertions.push_back(file + ":" + std::to_string(line)); }

    std::vector<Message> messages;
    std::vector<std::string> progressTitles;
    std::vector<int> progress;
    std::vector<std::string> assertions;
    bool progressOpen = false;
    bool cancel = false;
    int cancelAfterUpdates = 0;  // cancel once this many updates were reported
};
