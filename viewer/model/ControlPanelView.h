// The control panel's displays as the scene writes to them: the file-name
// field of each slot, the two frame counters and the frame rate.
#pragma once

#include <string>

// Slot numbers shared by the scene, the open commands and the control panel.
enum Slot : int {
    SLOT_BODY = 0,
    SLOT_HELMET = 1,
    SLOT_ARMOUR = 2,
    SLOT_WEAPON = 3,
    SLOT_SHOES = 4,
    SLOT_SKELETON = 5,
    SLOT_TESSEL = 6,
};
constexpr int kPartSlots = 5;
constexpr int kShowSlots = 7;

class ControlPanelView {
public:
    virtual ~ControlPanelView() = default;
    virtual void SetSlotName(int slot, const std::string& name) = 0;
    // The "캐릭터" field of the Frame row.
    virtual void SetCharacterFrameText(const std::string& text) = 0;
    // The "NPC 건물" field of the Frame row.
    virtual void SetTesselFrameText(const std::string& text) = 0;
    virtual void SetFpsText(const std::string& text) = 0;
};
