// Control-panel displays for tests: keeps every text written to them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "viewer/model/ControlPanelView.h"

class RecordingControlPanel : public ControlPanelView {
public:
    void SetSlotName(int slot, const std::string& name) override { slotNames[slot] = name; }
    void SetCharacterFrameText(const std::string& text) override {
        characterFrames.push_back(text);
    }
    void SetTesselFrameText(const std::string& text) override { tesselFrames.push_back(text); }
    void SetFpsText(const std::string& text) override { fpsTexts.push_back(text); }

    std::map<int, std::string> slotNames;
    std::vector<std::string> characterFrames;
    std::vector<std::string> tesselFrames;
    std::vector<std::string> fpsTexts;
};
