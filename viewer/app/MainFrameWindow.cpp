#include "viewer/app/MainFrameWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTimer>
#include <QWindowStateChangeEvent>
#include <cmath>

#include "viewer/app/DialogTemplate.h"
#include "viewer/app/Resource.h"
#include "viewer/render/WindowTypes.h"

namespace {
// The client area the window opens with.
constexpr int kInitialClientWidth = 800;
constexpr int kInitialClientHeight = 600;
// The smallest window the user can drag it to.
constexpr int kMinimumTrackSize = 100;
}  // namespace

uint32_t VirtualKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Space:
            return VK_SPACE;
        case Qt::Key_Left:
            return VK_LEFT;
        case Qt::Key_Right:
            return VK_RIGHT;
        case Qt::Key_Up:
            return VK_UP;
        case Qt::Key_Down:
            return VK_DOWN;
        default:
            return 0;
    }
}

uint32_t MouseKeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    uint32_t flags = 0;
    if (buttons & Qt::LeftButton) flags |= MK_LBUTTON;
    if (buttons & Qt::RightButton) flags |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton) flags |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier) flags |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier) flags |= MK_CONTROL;
    return flags;
}

// ---- ViewWidget --------------------------------------------------------------

ViewWidget::ViewWidget(QWidget* parent) : QOpenGLWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    // Frames are drawn into the framebuffer between paints: it must keep them.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
}

bool ViewWidget::MakeCurrent() {
    if (!isValid()) return false;
    // Qt's makeCurrent also binds the widget's framebuffer: called while the
    // device draws into its own target, it would send the rest of the frame
    // elsewhere.
    if (QOpenGLContext::currentContext() == context()) return true;
    makeCurrent();
    return QOpenGLContext::currentContext() == context();
}

bool ViewWidget::ClientSize(uint32_t& width, uint32_t& height) {
    const qreal ratio = devicePixelRatioF();
    const int w = static_cast<int>(std::lround(this->width() * ratio));
    const int h = static_cast<int>(std::lround(this->height() * ratio));
    if (w <= 0 || h <= 0) return false;
    width = static_cast<uint32_t>(w);
    height = static_cast<uint32_t>(h);
    return true;
}

uint32_t ViewWidget::PresentFramebuffer() {
    return defaultFramebufferObject();
}

void ViewWidget::FramePresented() {
    ++m_presentCount;
    if (m_inPaint) return;  // the paint under way shows it
    m_freshFrame = true;
    update();
}

std::string ViewWidget::Renderer() {
    if (!MakeCurrent()) return std::string();
    const auto* text =
        reinterpret_cast<const char*>(context()->functions()->glGetString(GL_RENDERER));
    return text ? text : "";
}

void ViewWidget::initializeGL() {
    // The device is made from the event loop, not inside the widget's own
    // set-up: its creation may show a message box.
    QTimer::singleShot(0, this, [this] {
        std::function<void()> ready = std::move(onContextReady);
        onContextReady = nullptr;
        if (ready) ready();
    });
}

void ViewWidget::resizeGL(int, int) {
    m_freshFrame = false;  // the framebuffer was made anew
    uint32_t w = 0, h = 0;
    if (m_pFrame && ClientSize(w, h))
        m_pFrame->OnSize(SIZE_RESTORED, static_cast<int32_t>(w), static_cast<int32_t>(h));
}

void ViewWidget::paintGL() {
    if (m_freshFrame) {
        m_freshFrame = false;
        return;
    }
    const int presented = m_presentCount;
    m_inPaint = true;
    if (m_pFrame) m_pFrame->OnPaint();
    m_inPaint = false;
    if (m_presentCount == presented) {
        // Nothing to show yet: an empty view rather than an undefined one.
        QOpenGLFunctions* gl = context()->functions();
        gl->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
    }
}

void ViewWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const POINT point{at.x(), at.y()};
    if (m_pFrame) {
        if (event->button() == Qt::LeftButton) m_pFrame->OnLButtonDown(point);
        if (event->button() == Qt::RightButton) m_pFrame->OnRButtonDown(point);
    }
    QOpenGLWidget::mousePressEvent(event);
}

void ViewWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (m_pFrame)
        m_pFrame->OnMouseMove(MouseKeyFlags(event->buttons(), event->modifiers()),
                              POINT{at.x(), at.y()});
    QOpenGLWidget::mouseMoveEvent(event);
}

void ViewWidget::keyPressEvent(QKeyEvent* event) {
    const uint32_t key = VirtualKey(event->key());
    if (key != 0 && m_pFrame) {
        m_pFrame->OnKeyDown(key);
        event->accept();
        return;
    }
    QOpenGLWidget::keyPressEvent(event);
}

// ---- MainFrameWindow ---------------------------------------------------------

MainFrameWindow::MainFrameWindow(UiServices& ui, Clock& clock, RunState& run,
                                 const std::string& textureDirectory, ImageLoader* bitmapLoader,
                                 std::function<void()> onAbout)
    : m_pView(new ViewWidget(this)),
      m_pFrame(
          std::make_unique<ViewerFrame>(ui, clock, run, textureDirectory, bitmapLoader, this)) {
    setWindowTitle("Zintaro");
    setWindowIcon(ZintaroIcon());
    setMinimumSize(kMinimumTrackSize, kMinimumTrackSize);
    setCentralWidget(m_pView);

    QMenu* file = menuBar()->addMenu("&File");
    AddCommand(file, "E&xit", ID_APP_EXIT, [this] { close(); });
    QMenu* control = menuBar()->addMenu("Control");
    AddCommand(control, "View Control Box", ID_VIEW_CONTROLBOX,
               [this] { m_pFrame->OnViewControlBox(); });
    AddCommand(control, "배경색상 변경", ID_BACKGROUND_COLOUR,
               [this] { m_pFrame->OnBackgroundColour(); });
    AddCommand(control, "조명색상 변경", ID_LIGHT_COLOUR, [this] { m_pFrame->OnLightColour(); });
    QAction* wireFrame = AddCommand(control, "Wire Frame으로 보기", ID_WIREFRAME, [this] {
        m_pFrame->OnWireFrame();
        UpdateCommandUi();
    });
    wireFrame->setCheckable(true);
    connect(control, &QMenu::aboutToShow, this, [this] { UpdateCommandUi(); });
    QMenu* help = menuBar()->addMenu("&Help");
    AddCommand(help, "&About Zintaro...", ID_APP_ABOUT, std::move(onAbout));
    UpdateCommandUi();

    ResizeClient(kInitialClientWidth, kInitialClientHeight);
    Create();
}

void MainFrameWindow::ResizeClient(int w, int h) {
    // The view fills all of the window below the menu bar.
    resize(w, h + menuBar()->sizeHint().height());
}

MainFrameWindow::~MainFrameWindow() {
    // The frame (with the panel and the device) goes while the view's
    // context still exists.
    m_pView->SetFrame(nullptr);
    m_pFrame.reset();
}

void MainFrameWindow::Create() {
    m_pFrame->SetWindow(m_pView);
    m_pFrame->onDestroyWindow = [this] { close(); };
    m_pView->SetFrame(m_pFrame.get());
    m_pView->onContextReady = [this] {
        if (m_closed) return;  // closed before the device could be made
        const int result = m_pFrame->OnCreate();
        if (onCreated) onCreated(result);
    };
}

QAction* MainFrameWindow::AddCommand(QMenu* menu, const char* text, int id,
                                     std::function<void()> handler) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setData(id);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] {
        if (handler) handler();
    });
    m_commands[id] = action;
    return action;
}

QAction* MainFrameWindow::Command(int id) const {
    const auto it = m_commands.find(id);
    return it == m_commands.end() ? nullptr : it->second;
}

QList<QMenu*> MainFrameWindow::Menus() const {
    QList<QMenu*> menus;
    for (QAction* action : menuBar()->actions())
        if (action->menu()) menus << action->menu();
    return menus;
}

void MainFrameWindow::UpdateCommandUi() {
    if (QAction* wireFrame = Command(ID_WIREFRAME))
        wireFrame->setChecked(m_pFrame->OnUpdateWireFrame());
}

void MainFrameWindow::closeEvent(QCloseEvent* event) {
    if (!m_closed) {
        // The panel goes with the main window, then the device.
        m_closed = true;
        m_pFrame->DestroyControlPanel();
        m_pFrame->OnDestroy();
    }
    QMainWindow::closeEvent(event);
}

void MainFrameWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        uint32_t w = 0, h = 0;
        if (isMinimized()) {
            m_pFrame->OnSize(SIZE_MINIMIZED, 0, 0);
        } else if ((change->oldState() & Qt::WindowMinimized) && m_pView->ClientSize(w, h)) {
            m_pFrame->OnSize(SIZE_RESTORED, static_cast<int32_t>(w), static_cast<int32_t>(h));
        }
    }
    QMainWindow::changeEvent(event);
}

void MainFrameWindow::moveEvent(QMoveEvent* event) {
    const QPoint client = m_pView->mapToGlobal(QPoint(0, 0));
    m_pFrame->OnMove(client.x(), client.y());
    QMainWindow::moveEvent(event);
}

void MainFrameWindow::keyPressEvent(QKeyEvent* event) {
    // Keys typed while the menu bar or the frame itself has the focus.
    const uint32_t key = VirtualKey(event->key());
    if (key != 0) {
        m_pFrame->OnKeyDown(key);
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}
