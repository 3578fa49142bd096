// The main window on Qt: the title "Zintaro", the menu, and the 3D view as
// its client area. Its events go to the main window's handlers (ViewerFrame,
// a CMainFrame); the view is an OpenGL widget that supplies the device's
// context (RenderContext).
#pragma once

#include <QMainWindow>
#include <QOpenGLWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "viewer/app/ViewerFrame.h"
#include "viewer/render/RenderContext.h"

class QAction;
class QMenu;

// The client area: an OpenGL widget whose context and framebuffer the device
// draws into and presents to.
class ViewWidget : public QOpenGLWidget, public RenderContext {
public:
    explicit ViewWidget(QWidget* parent);

    void SetFrame(CMainFrame* frame) { m_pFrame = frame; }
    // Called once, from the event loop, when the widget's context exists.
    std::function<void()> onContextReady;

    bool MakeCurrent() override;
    bool ClientSize(uint32_t& width, uint32_t& height) override;
    uint32_t PresentFramebuffer() override;
    void FramePresented() override;
    std::string Renderer() override;

    // Frames the device has presented into the widget so far.
    int PresentCount() const { return m_presentCount; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CMainFrame* m_pFrame = nullptr;
    bool m_inPaint = false;
    // The framebuffer holds a frame presented since the last paint.
    bool m_freshFrame = false;
    int m_presentCount = 0;
};

class MainFrameWindow : public QMainWindow {
public:
    // The main window with its frame; `onAbout` runs "About Zintaro...".
    MainFrameWindow(UiServices& ui, Clock& clock, RunState& run,
                    const std::string& textureDirectory, ImageLoader* bitmapLoader,
                    std::function<void()> onAbout);
    ~MainFrameWindow() override;

    ViewerFrame& Frame() { return *m_pFrame; }
    ViewWidget* View() const { return m_pView; }
    // The menu command with an id (ID_APP_EXIT, ID_WIREFRAME, ...), or null.
    QAction* Command(int id) const;
    // The popup menus in their order ("&File", "Control", "&Help").
    QList<QMenu*> Menus() const;

    // After the device was made (OnCreate's result: 0, or -1 when there is none).
    std::function<void(int)> onCreated;
    // Sizes the window so that its client area (the view) is w x h.
    void ResizeClient(int w, int h);
    // Puts the check marks of the menu items to the current switches.
    void UpdateCommandUi();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, const char* text, int id, std::function<void()> handler);
    void Create();

    ViewWidget* m_pView;
    std::unique_ptr<ViewerFrame> m_pFrame;
    std::map<int, QAction*> m_commands;
    bool m_closed = false;
};

// Translates a Qt key into the virtual-key code the frame's handlers take
// (0 for keys they do not know).
uint32_t VirtualKey(int qtKey);
// The key flags of a mouse message from Qt's buttons and modifiers.
uint32_t MouseKeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
