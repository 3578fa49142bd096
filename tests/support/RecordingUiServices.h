// UI services for tests: records every message box and answers file
// dialogs from a queue of prepared answers.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "viewer/platform/UiServices.h"

class RecordingUiServices : public UiServices {
public:
    struct DialogCall {
        std::string defaultExtension;
        std::string filter;
    };

    void MessageBox(const std::string& text) override {
        messages.push_back(text);
        if (onMessage) onMessage(text);
    }

    bool OpenFileDialog(const std::string& defaultExtension, const std::string& filter,
                        std::string& path) override {
        dialogs.push_back({defaultExtension, filter});
        if (answers.empty()) return false;
        std::string answer = answers.front();
        answers.pop_front();
        if (answer.empty()) return false;  // an empty answer is a cancelled dialog
        path = answer;
        return true;
    }

    std::vector<std::string> messages;
    std::vector<DialogCall> dialogs;
    // Paths the next dialogs return; "" cancels.
    std::deque<std::string> answers;
    // A look at the moment each message box is shown.
    std::function<void(const std::string&)> onMessage;
};
