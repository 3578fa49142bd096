// The control panel: a modeless tool window beside the main window with the
// seven model slots (show check box, file name, open button), Play/Stop and
// Step, the frame and frame-rate displays, the light rotation, the colour
// dialogs and the Hide button. It keeps no model state: its actions go to the
// main window and the application's run flags, and the main window writes
// its displays.
#pragma once

#include <QDialog>
#include <string>

#include "viewer/model/ControlPanelView.h"

class CMainFrame;
class QPushButton;
struct RunState;

class CControlDlg : public QDialog, public ControlPanelView {
public:
    // `run` holds the application's run flags that Play/Stop and the light
    // rotation switch.
    explicit CControlDlg(RunState& run);
    ~CControlDlg() override;

    // Builds the panel as a tool window owned by `owner` (may be null) for
    // the main window `frame`; not shown yet.
    bool Create(CMainFrame* frame, QWidget* owner);
    // The main window's seven show switches into the check boxes.
    void LoadSwitches();

    // Displays written by the main window.
    void SetSlotName(int slot, const std::string& name) override;
    void SetFpsText(const std::string& text) override;
    void SetCharacterFrameText(const std::string& text) override;
    void SetTesselFrameText(const std::string& text) override;

    // Moves the members into the controls (false) or reads the controls into
    // the members (true), all of them at once.
    void UpdateData(bool saveAndValidate);

    // The control with a template id, or null.
    QWidget* Item(int id) const;

    // Handlers of the panel's controls.
    void OnPlay();
    void OnStep();
    void OnShowSwitch(int controlId);
    void OnLightRotation();

    CMainFrame* m_pFrame = nullptr;
    QPushButton* m_btnLightRotation = nullptr;
    QPushButton* m_btnPlay = nullptr;
    int m_bShowArmour = 0;
    int m_bShowBiped = 0;
    int m_bShowBody = 0;
    int m_bShowHelmet = 0;
    int m_bShowWeapon = 0;
    std::string m_strArmourFile;
    std::string m_strBipedFile;
    std::string m_strBodyFile;
    std::string m_strHelmetFile;
    std::string m_strWeaponFile;
    std::string m_strFps;
    std::string m_strCharacterFrame;
    std::string m_strTesselFrame;
    int m_bShowTessel = 0;
    std::string m_strTesselFile;
    int m_bShowShoes = 0;
    std::string m_strShoesFile;

protected:
    // "숨기기" reads the controls and hides the panel; Escape and the close
    // box hide it without reading. The panel and its state stay.
    void accept() override;
    void reject() override;
    // Enter presses the button that has the focus; "숨기기" only when no
    // other button has it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    RunState& m_run;
    // The check value and the name of each slot, in slot order.
    int CControlDlg::*m_pShow[kShowSlots];
    std::string CControlDlg::*m_pName[kShowSlots];
};

// The panel's caption texts that change with the run flags.
extern const char* const kPlayCaption;           // "Play"
extern const char* const kStopCaption;           // "Stop"
extern const char* const kStartRotationCaption;  // "조명회전 시작"
extern const char* const kStopRotationCaption;   // "조명회전 멈춤"
