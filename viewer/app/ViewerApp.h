// The application object: start-up (texture directory, main window, device,
// control panel), the idle-time frame loop and its two run flags, and the
// about box.
#pragma once

#include <QObject>
#include <QSurfaceFormat>
#include <QTimer>
#include <memory>
#include <string>

#include "viewer/app/CommandLine.h"
#include "viewer/platform/Clock.h"
#include "viewer/platform/QtImageLoader.h"
#include "viewer/render/RunState.h"

class CMainFrame;
class MainFrameWindow;
class QtUiServices;
class UiServices;

class CViewerApp : public QObject, public RunState {
public:
    CViewerApp();
    ~CViewerApp() override;
    CViewerApp(const CViewerApp&) = delete;
    CViewerApp& operator=(const CViewerApp&) = delete;

    // Derives the texture directory from the program's path, makes the main
    // window with its menu and shows it; the device and the control panel
    // follow as soon as the window's OpenGL context exists, then the files of
    // the command line are opened. False (with the reason) when the window
    // cannot come up: no OpenGL on this window system. `ui` replaces the
    // message boxes and file dialogs when given (it must outlive the window).
    bool InitInstance(const ViewerOptions& options, const std::string& programPath,
                      std::string& error, UiServices* ui = nullptr);

    // One idle pass: a frame while playing, a light step while the light
    // rotates. True when the loop should come back at once.
    bool OnIdle(int count);
    // "About Zintaro...".
    void OnAppAbout();

    // The frame the idle loop drives: the main window's, or one set here.
    CMainFrame* Frame() const { return m_pFrame; }
    void SetFrame(CMainFrame* frame) { m_pFrame = frame; }
    MainFrameWindow* MainWindow() const { return m_pMainWnd.get(); }

    // Starts the idle loop, as any event does.
    void WakeIdle();
    // Idle passes run so far.
    long IdlePasses() const { return m_nIdlePasses; }

    // Where textures are looked up first: "textr/" beside the program.
    std::string m_strTextureDir;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void IdlePass();
    void AfterCreate(int result, const ViewerOptions& options);
    // Writes the picture and quits: status 1 when it cannot be written or a
    // file of the command line was refused.
    void TakeScreenshot(const std::string& path);

    SteadyClock m_clock;
    QtImageLoader m_bitmapLoader;
    std::unique_ptr<UiServices> m_pOwnUi;
    UiServices* m_pUi = nullptr;
    QtUiServices* m_pQtUi = nullptr;
    std::unique_ptr<MainFrameWindow> m_pMainWnd;
    CMainFrame* m_pFrame = nullptr;
    QTimer m_idleTimer;
    int m_nIdleCount = 0;
    long m_nIdlePasses = 0;
    bool m_bFilesRefused = false;  // a command-line file was not opened
};

// The OpenGL the view asks for: 3.3 core profile, no wait for the display's
// refresh (the frame loop has no frame cap).
QSurfaceFormat ViewerSurfaceFormat();
// True when the window system can give the view such a context; otherwise
// false with a message saying so (the offscreen and minimal platforms have
// no OpenGL).
bool PlatformHasOpenGL(std::string& why);
// True for events after which the idle loop runs again: everything but the
// paints, timers and internal calls that drawing itself causes.
bool IsWakingEvent(int eventType);

// How long the screenshot mode lets the viewer run before it takes its picture.
constexpr int kScreenshotDelayMs = 2000;
