// The loaded models of the main window with their show switches and the
// character frame counter, and the per-tick animation step that poses the
// skeleton, skins the character parts and steps the Tessel model.
#pragma once

#include <cstdint>
#include <memory>

#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/ControlPanelView.h"
#include "viewer/model/TesselModel.h"

class UiServices;

class SceneState {
public:
    explicit SceneState(UiServices& ui) : m_ui(ui) {}
    virtual ~SceneState();

    SceneState(const SceneState&) = delete;
    SceneState& operator=(const SceneState&) = delete;

    // One animation tick: pose the shown skeleton at m_nFrame, show the
    // character frame text, skin the shown parts at m_nFrame, advance
    // m_nFrame with wrap-around; then step the shown Tessel model's own
    // frame counter and show its text.
    void AdvanceAnimation();

    UiServices& Ui() { return m_ui; }

    std::unique_ptr<Biped> m_pBiped;
    // Character part slots 0 body, 1 helmet, 2 armour, 3 weapon, 4 shoes.
    std::unique_ptr<CharacterPart> m_pParts[kPartSlots];
    std::unique_ptr<TesselModel> m_pTessel;
    // Slots 0-4 character parts (initially shown), 5 skeleton (initially
    // hidden), 6 Tessel model (initially shown).
    bool m_bShow[kShowSlots] = {true, true, true, true, true, false, true};
    // The biped frame to be posed next.
    int32_t m_nFrame = 0;
    // The control panel, when it exists.
    ControlPanelView* m_pControlPanel = nullptr;

protected:
    UiServices& m_ui;
};
