#include "viewer/app/ViewerFrame.h"

#include <QGuiApplication>
#include <QScreen>

#include "viewer/app/ColorDlg.h"
#include "viewer/app/ControlDlg.h"

namespace {

// The panel's first place: to the right of the main window, kept on its screen.
void PlaceBeside(QWidget* panel, const QWidget* owner) {
    if (!owner) return;
    const QRect main = owner->frameGeometry();
    QPoint at(main.right() + 8, main.top());
    if (const QScreen* screen = owner->screen()) {
        const QRect area = screen->availableGeometry();
        const QSize size = panel->frameGeometry().size();
        if (at.x() + size.width() > area.right()) at.setX(area.right() - size.width());
        if (at.y() + size.height() > area.bottom()) at.setY(area.bottom() - size.height());
        at.setX(std::max(at.x(), area.left()));
        at.setY(std::max(at.y(), area.top()));
    }
    panel->move(at);
}

}  // namespace

ViewerFrame::ViewerFrame(UiServices& ui, Clock& clock, RunState& run,
                         const std::string& textureDirectory, ImageLoader* bitmapLoader,
                         QWidget* owner)
    : CMainFrame(ui, clock, run, textureDirectory, bitmapLoader), m_runFlags(run), m_owner(owner) {}

ViewerFrame::~ViewerFrame() {
    DestroyControlPanel();
}

CControlDlg* ViewerFrame::ControlPanel() const {
    return dynamic_cast<CControlDlg*>(m_pControlPanel);
}

void ViewerFrame::DestroyControlPanel() {
    // The panel's destructor clears m_pControlPanel.
    delete ControlPanel();
}

void ViewerFrame::OnViewControlBox() {
    if (CControlDlg* panel = ControlPanel()) {
        panel->show();
        panel->raise();
        panel->activateWindow();
        panel->setFocus();
        return;
    }
    auto* panel = new CControlDlg(m_runFlags);
    m_pControlPanel = panel;
    panel->Create(this, m_owner);
    panel->LoadSwitches();
    PlaceBeside(panel, m_owner);
    panel->show();
}

void ViewerFrame::OnBackgroundColour() {
    CBackColorDlg dialog(this, m_owner);
    dialog.exec();
}

void ViewerFrame::OnLightColour() {
    CLightColorDlg dialog(this, m_owner);
    dialog.exec();
}

void ViewerFrame::DestroyWindow() {
    DestroyControlPanel();
    OnDestroy();
    if (onDestroyWindow) onDestroyWindow();
}
