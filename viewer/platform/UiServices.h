// The windowing platform's services that model and scene code use: the
// message box (OK button only) and the open-file dialog. The application
// implements them with Qt; tests use a recording fake.
#pragma once

#include <string>

class UiServices {
public:
    virtual ~UiServices() = default;

    // Modal message box with an OK button; returns when it is dismissed.
    virtual void MessageBox(const std::string& text) = 0;

    // Modal open-file dialog. `filter` is in the "Name (*.ext)|*.ext|...||" form.
    // Returns true and the chosen full path when the user pressed OK.
    virtual bool OpenFileDialog(const std::string& defaultExtension, const std::string& filter,
                                std::string& path) = 0;
};
