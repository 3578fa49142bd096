#include "viewer/model/SceneState.h"

#include <cstdio>

SceneState::~SceneState() = default;

void SceneState::AdvanceAnimation() {
    if (m_bShow[SLOT_SKELETON] && m_pBiped) m_pBiped->PoseBones(m_nFrame, m_ui);

    if (m_pBiped) {
        char text[32];
        std::snprintf(text, sizeof text, "%d/%d", m_nFrame + 1, m_pBiped->frameCount);
        if (m_pControlPanel) m_pControlPanel->SetCharacterFrameText(text);

        for (int slot = 0; slot < kPartSlots; ++slot) {
            if (m_pParts[slot] && m_bShow[slot]) m_pParts[slot]->Skin(*m_pBiped, m_nFrame);
        }

        m_nFrame += 1;
        if (m_nFrame >= m_pBiped->frameCount) m_nFrame = 0;
    }

    if (m_pTessel && m_bShow[SLOT_TESSEL]) {
        m_pTessel->StepFrame();
        if (m_pControlPanel) m_pControlPanel->SetTesselFrameText(m_pTessel->FrameText());
    }
}
