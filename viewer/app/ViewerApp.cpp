#include "viewer/app/ViewerApp.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <vector>

#include "viewer/app/AboutDlg.h"
#include "viewer/app/ConsoleUiServices.h"
#include "viewer/app/ControlDlg.h"
#include "viewer/app/MainFrameWindow.h"
#include "viewer/app/QtUiServices.h"
#include "viewer/app/Snapshot.h"

QSurfaceFormat ViewerSurfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setSwapInterval(0);
    return format;
}

bool PlatformHasOpenGL(std::string& why) {
    const std::string platform = QGuiApplication::platformName().toStdString();
    const std::string advice =
        "; the viewer's window needs OpenGL 3.3 (run it on an X11 or Wayland display, or "
        "render without a window with --snapshot OUT.png)";
    QOpenGLContext probe;
    probe.setFormat(ViewerSurfaceFormat());
    if (!probe.create()) {
        why = "the window system '" + platform + "' offers no OpenGL" + advice;
        return false;
    }
    QOffscreenSurface surface;
    surface.setFormat(probe.format());
    surface.create();
    if (!surface.isValid() || !probe.makeCurrent(&surface)) {
        why = "an OpenGL context of the window system '" + platform + "' cannot be used" + advice;
        return false;
    }
    const QPair<int, int> version = probe.format().version();
    probe.doneCurrent();
    if (version < qMakePair(3, 3)) {
        why = "the window system '" + platform + "' offers OpenGL " +
              std::to_string(version.first) + "." + std::to_string(version.second) + " only" +
              advice;
        return false;
    }
    return true;
}

bool IsWakingEvent(int eventType) {
    switch (static_cast<QEvent::Type>(eventType)) {
        // Drawing and Qt's own bookkeeping: a presented frame schedules a
        // paint, and a paint must not start the loop again.
        case QEvent::Timer:
        case QEvent::Paint:
        case QEvent::UpdateRequest:
        case QEvent::UpdateLater:
        case QEvent::Expose:
        case QEvent::MetaCall:
        case QEvent::DeferredDelete:
        case QEvent::LayoutRequest:
        case QEvent::Polish:
        case QEvent::PolishRequest:
        case QEvent::ChildAdded:
        case QEvent::ChildPolished:
        case QEvent::ChildRemoved:
        case QEvent::DynamicPropertyChange:
        case QEvent::PlatformSurface:
        case QEvent::SockAct:
        case QEvent::SockClose:
        case QEvent::ThreadChange:
            return false;
        default:
            return true;
    }
}

CViewerApp::CViewerApp() {
    m_idleTimer.setInterval(0);
    m_idleTimer.setSingleShot(true);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] { IdlePass(); });
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

CViewerApp::~CViewerApp() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
    m_pFrame = nullptr;
    m_pMainWnd.reset();
}

bool CViewerApp::InitInstance(const ViewerOptions& options, const std::string& programPath,
                              std::string& error, UiServices* ui) {
    m_strTextureDir = TextureDirectoryOf(programPath);
    if (!PlatformHasOpenGL(error)) return false;

    if (ui) {
        m_pUi = ui;
    } else if (options.screenshot) {
        // Unattended: messages go to standard error instead of waiting in boxes.
        m_pOwnUi = std::make_unique<ConsoleUiServices>();
        m_pUi = m_pOwnUi.get();
    } else {
        auto qtUi = std::make_unique<QtUiServices>();
        m_pQtUi = qtUi.get();
        m_pOwnUi = std::move(qtUi);
        m_pUi = m_pOwnUi.get();
    }
    m_pMainWnd = std::make_unique<MainFrameWindow>(*m_pUi, m_clock, *this, m_strTextureDir,
                                                   &m_bitmapLoader, [this] { OnAppAbout(); });
    if (m_pQtUi) m_pQtUi->SetParent(m_pMainWnd.get());
    m_pFrame = &m_pMainWnd->Frame();
    // The command line's view settings go in before the device is made.
    ApplyViewOptions(options, *m_pFrame);
    if (options.hasSize)
        m_pMainWnd->ResizeClient(static_cast<int>(options.width), static_cast<int>(options.height));
    m_pMainWnd->onCreated = [this, options](int result) { AfterCreate(result, options); };
    m_pMainWnd->show();
    return true;
}

void CViewerApp::AfterCreate(int result, const ViewerOptions& options) {
    if (result != 0) {
        std::fprintf(stderr, "zintaro: the rendering device cannot be created\n");
        m_pMainWnd->close();
        QCoreApplication::exit(1);
        return;
    }
    const bool anyFile =
        !options.biped.empty() || !options.parts.empty() || !options.tessel.empty();
    if (anyFile) {
        // The files go in without a frame each; then one tick poses them all
        // at frame 0 and fills the frame fields, as the snapshot does.
        const bool ready = m_pFrame->m_bDeviceReady;
        m_pFrame->m_bDeviceReady = false;
        m_bFilesRefused = !OpenCommandLineFiles(options, *m_pFrame);
        m_pFrame->m_bDeviceReady = ready;
        m_pFrame->AdvanceAnimation();
        m_pFrame->m_fLastTickTime = m_pFrame->NowSeconds();
        if (options.fit) m_pFrame->FitView();
        m_pFrame->OnPaint();
    }
    if (options.play) {
        if (CControlDlg* panel = m_pMainWnd->Frame().ControlPanel()) panel->OnPlay();
    }
    m_pMainWnd->UpdateCommandUi();
    WakeIdle();
    if (options.screenshot) {
        const std::string path = options.screenshotPath;
        QTimer::singleShot(kScreenshotDelayMs, this, [this, path] { TakeScreenshot(path); });
    }
}

void CViewerApp::TakeScreenshot(const std::string& path) {
    // What the screen shows of the main window and the panel, each from its
    // own place; the rest of their bounding box stays transparent.
    std::vector<QRect> windows = {m_pMainWnd->frameGeometry()};
    if (CControlDlg* panel = m_pMainWnd->Frame().ControlPanel())
        if (panel->isVisible()) windows.push_back(panel->frameGeometry());
    QRect area;
    for (const QRect& r : windows) area = area.united(r);
    bool saved = false;
    if (QScreen* screen = m_pMainWnd->screen()) {
        const QRect desktop = screen->geometry();
        QImage picture(area.size(), QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        for (const QRect& r : windows) {
            const QRect shown = r.intersected(desktop);
            const QRect local = shown.translated(-desktop.topLeft());
            painter.drawPixmap(
                shown.topLeft() - area.topLeft(),
                screen->grabWindow(0, local.x(), local.y(), local.width(), local.height()));
        }
        painter.end();
        saved = picture.save(QString::fromStdString(path), "PNG");
    }
    if (saved)
        std::printf("zintaro: screenshot written to %s\n", path.c_str());
    else
        std::fprintf(stderr, "zintaro: %s: the screenshot cannot be written\n", path.c_str());
    if (m_bFilesRefused)
        std::fprintf(stderr, "zintaro: not every file of the command line was opened\n");
    std::fflush(stdout);
    m_pMainWnd->close();
    QCoreApplication::exit(saved && !m_bFilesRefused ? 0 : 1);
}

bool CViewerApp::OnIdle(int) {
    bool more = false;
    if (!m_pFrame) return false;
    if (m_bPlaying && m_pFrame->PlayStep()) more = true;
    if (m_bRotatingLight && m_pFrame->RotateLightStep()) more = true;
    return more;
}

void CViewerApp::OnAppAbout() {
    CAboutDlg dialog(m_pMainWnd.get());
    dialog.exec();
}

void CViewerApp::WakeIdle() {
    if (m_idleTimer.isActive()) return;
    m_nIdleCount = 0;
    m_idleTimer.start();
}

bool CViewerApp::eventFilter(QObject* watched, QEvent* event) {
    if (IsWakingEvent(event->type())) WakeIdle();
    return QObject::eventFilter(watched, event);
}

void CViewerApp::IdlePass() {
    // A modal dialog's loop does no idle work; the event that ends the
    // dialog starts the loop again.
    if (QApplication::activeModalWidget()) return;
    ++m_nIdlePasses;
    if (OnIdle(m_nIdleCount++)) m_idleTimer.start();
}
