// The main window's commands that need the window system: the control panel
// it opens and owns, the colour dialogs, and the end of the window after a
// failed device re-creation. The rest of the main window is CMainFrame's.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "viewer/render/MainFrame.h"

class CControlDlg;

class ViewerFrame : public CMainFrame {
public:
    // `owner` is the main window the panel and the dialogs belong to (may be
    // null: they are then windows of their own). `run` holds the run flags
    // the control panel switches.
    ViewerFrame(UiServices& ui, Clock& clock, RunState& run, const std::string& textureDirectory,
                ImageLoader* bitmapLoader, QWidget* owner);
    ~ViewerFrame() override;

    // "View Control Box": shows the panel (made on first use) and gives it
    // the keyboard focus.
    void OnViewControlBox() override;
    // "배경색상 변경" and "조명색상 변경": the modal colour dialogs.
    void OnBackgroundColour() override;
    void OnLightColour() override;
    // Called after a failed device re-creation: the window goes.
    void DestroyWindow() override;

    // The panel while it exists.
    CControlDlg* ControlPanel() const;
    // Destroys the panel (its window goes with the main window's).
    void DestroyControlPanel();

    // What the window does when the frame asks it to go away.
    std::function<void()> onDestroyWindow;

private:
    RunState& m_runFlags;
    QPointer<QWidget> m_owner;
};
