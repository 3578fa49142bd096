// UI services without a window: message boxes are printed to standard error,
// file dialogs are never answered.
#pragma once

#include <cstdio>
#include <string>

#include "viewer/platform/UiServices.h"

class ConsoleUiServices : public UiServices {
public:
    void MessageBox(const std::string& text) override {
        std::fprintf(stderr, "zintaro: %s\n", text.c_str());
    }
    bool OpenFileDialog(const std::string&, const std::string&, std::string&) override {
        return false;
    }
};
