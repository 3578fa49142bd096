// The viewer's main window on a real window system with OpenGL: start-up
// with the view, the menu and the control panel beside it; the idle loop
// quiet when stopped and continuous when playing; the wire-frame check mark;
// camera input; colour dialogs from the menu; the about box; resizing and
// minimising; shut-down; and the program's screenshot mode.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

#include "tests/app/AppTestKit.h"
#include "tests/support/WaitFor.h"
#include "viewer/app/AboutDlg.h"
#include "viewer/app/ColorDlg.h"
#include "viewer/app/DialogTemplate.h"
#include "viewer/app/MainFrameWindow.h"
#include "viewer/app/Resource.h"
#include "viewer/app/ViewerApp.h"

namespace {

int CountNotBlack(const QImage& image, int x0 = 0, int x1 = -1) {
    if (x1 < 0) x1 = image.width();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = x0; x < x1; ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0) ++n;
    return n;
}

class WindowTest : public ::testing::Test {
protected:
    // The viewer as the program starts it, with a Tessel model (a square at
    // the centre of the view) and a body part (a square on the left) given
    // on the command line.
    void Start(bool withFiles = true) {
        ViewerOptions options;
        if (withFiles) {
            options.tessel = SquareTessel(0, 10, 5).SaveAs(dir.File("house.tsl"));
            options.parts[SLOT_BODY] = SquarePart(-12, 10, 3).SaveAs(dir.File("body.mrv"));
        }
        app = std::make_unique<CViewerApp>();
        std::string error;
        ASSERT_TRUE(app->InitInstance(options, std::string(BIN_DIR) + "/zintaro", error, &ui))
            << error;
        window = app->MainWindow();
        ASSERT_TRUE(window);
        ASSERT_TRUE(WaitFor([&] {
            return Frame().m_bDeviceReady && Frame().m_bActive && Panel() &&
                   window->View()->PresentCount() > 0;
        }));
        Settle();
    }

    void TearDown() override { app.reset(); }

    // Lets whatever the last events started run out.
    void Settle() { QTest::qWait(150); }

    ViewerFrame& Frame() { return window->Frame(); }
    CControlDlg* Panel() { return Frame().ControlPanel(); }
    QImage View() { return window->View()->grabFramebuffer(); }

    TempDir dir;
    RecordingUiServices ui;
    std::unique_ptr<CViewerApp> app;
    MainFrameWindow* window = nullptr;
};

TEST_F(WindowTest, StartsWithTheViewTheMenuAndThePanelBesideIt) {
    Start();
    EXPECT_EQ(window->windowTitle().toStdString(), "Zintaro");
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->minimumSize(), QSize(100, 100));
    EXPECT_EQ(app->m_strTextureDir, std::string(BIN_DIR) + "/textr/");
    EXPECT_EQ(Frame().m_pTextures->SearchPath(), app->m_strTextureDir);

    // The menu: popups, items and their command ids.
    const QList<QMenu*> menus = window->Menus();
    ASSERT_EQ(menus.size(), 3);
    const std::vector<std::pair<const char*, std::vector<std::pair<const char*, int>>>> expected = {
        {"&File", {{"E&xit", ID_APP_EXIT}}},
        {"Control",
         {{"View Control Box", ID_VIEW_CONTROLBOX},
          {"배경색상 변경", ID_BACKGROUND_COLOUR},
          {"조명색상 변경", ID_LIGHT_COLOUR},
          {"Wire Frame으로 보기", ID_WIREFRAME}}},
        {"&Help", {{"&About Zintaro...", ID_APP_ABOUT}}}};
    for (size_t m = 0; m < expected.size(); ++m) {
        EXPECT_EQ(menus[m]->title().toStdString(), expected[m].first);
        const QList<QAction*> items = menus[m]->actions();
        ASSERT_EQ(static_cast<size_t>(items.size()), expected[m].second.size());
        for (size_t i = 0; i < expected[m].second.size(); ++i) {
            EXPECT_EQ(items[i]->text().toStdString(), expected[m].second[i].first);
            EXPECT_EQ(items[i]->data().toInt(), expected[m].second[i].second);
        }
    }

    // The panel floats to the right of the main window, files in its fields.
    ASSERT_TRUE(Panel()->isVisible());
    EXPECT_GE(Panel()->frameGeometry().left(), window->frameGeometry().right());
    EXPECT_EQ(Panel()->Item(IDC_TESSEL_FILE)->property("text").toString(), "house.tsl");
    EXPECT_EQ(Panel()->Item(IDC_BODY_FILE)->property("text").toString(), "body.mrv");
    // "View Control Box" shows the hidden panel again, the same one.
    CControlDlg* panel = Panel();
    QTest::mouseClick(panel->Item(IDOK), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !panel->isVisible(); }));
    window->Command(ID_VIEW_CONTROLBOX)->trigger();
    ASSERT_TRUE(WaitFor([&] { return panel->isVisible(); }));
    EXPECT_EQ(Panel(), panel);
    // Files of the command line are opened without face-count boxes.
    for (const std::string& message : ui.messages)
        EXPECT_EQ(message.find("Faces"), std::string::npos) << message;

    // The device draws into the view at the view's size.
    ASSERT_TRUE(Frame().m_pRenderTarget);
    EXPECT_EQ(static_cast<int>(Frame().m_pRenderTarget->Width()),
              std::lround(window->View()->width() * window->View()->devicePixelRatioF()));
    const QImage image = View();
    const int w = image.width();
    EXPECT_GT(CountNotBlack(image, w / 2 - 5, w / 2 + 5), 50);  // the Tessel model
    EXPECT_GT(CountNotBlack(image, 0, w / 4), 50);              // the body part
}

TEST_F(WindowTest, TheIdleLoopIsQuietWhenStoppedAndContinuousWhenPlaying) {
    Start();
    const int presents = window->View()->PresentCount();
    const long passes = app->IdlePasses();
    QTest::qWait(500);
    EXPECT_EQ(window->View()->PresentCount(), presents);
    EXPECT_EQ(app->IdlePasses(), passes);

    QTest::mouseClick(Panel()->Item(IDC_PLAY), Qt::LeftButton);
    // Frame after frame, however busy the machine is.
    EXPECT_TRUE(WaitFor([&] { return window->View()->PresentCount() - presents > 10; }, 5000));
    EXPECT_NE(Panel()->Item(IDC_TESSEL_FRAME)->property("text").toString(), "");

    QTest::mouseClick(Panel()->Item(IDC_PLAY), Qt::LeftButton);
    Settle();
    const int stopped = window->View()->PresentCount();
    QTest::qWait(500);
    EXPECT_EQ(window->View()->PresentCount(), stopped);
}

TEST_F(WindowTest, PlayingWithNothingLoadedDoesNotSpin) {
    Start(false);
    QTest::mouseClick(Panel()->Item(IDC_PLAY), Qt::LeftButton);
    Settle();
    // The frame that pass presented makes the view paint; that must not
    // start the loop again.
    const long passes = app->IdlePasses();
    QTest::qWait(500);
    EXPECT_EQ(app->IdlePasses(), passes);
}

TEST_F(WindowTest, TheWireFrameCheckMarkFollowsTheSwitch) {
    Start();
    QAction* wireFrame = window->Command(ID_WIREFRAME);
    ASSERT_TRUE(wireFrame);
    EXPECT_FALSE(wireFrame->isChecked());
    const int solid = CountNotBlack(View());

    wireFrame->trigger();
    EXPECT_TRUE(Frame().m_bWireframe);
    EXPECT_TRUE(wireFrame->isChecked());
    const int wire = CountNotBlack(View());
    EXPECT_LT(wire, solid / 2);
    EXPECT_GT(wire, 0);

    wireFrame->trigger();
    EXPECT_FALSE(Frame().m_bWireframe);
    EXPECT_FALSE(wireFrame->isChecked());
    EXPECT_EQ(CountNotBlack(View()), solid);

    // The mark is taken from the switch whenever the menu opens.
    Frame().OnWireFrame();
    QMenu* control = window->Menus().at(1);
    control->popup(window->mapToGlobal(QPoint(20, 20)));
    EXPECT_TRUE(wireFrame->isChecked());
    control->hide();
}

TEST_F(WindowTest, KeysAndTheMouseOnTheViewMoveTheCamera) {
    Start();
    ViewWidget* view = window->View();
    const QImage before = View();
    QTest::keyClick(view, Qt::Key_Left);
    EXPECT_EQ(Frame().m_fPanX, -2.0f);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(Frame().m_fPanY, -8.0f);
    EXPECT_NE(View(), before);  // redrawn at once

    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QTest::mouseMove(view, QPoint(110, 100));
    EXPECT_FLOAT_EQ(Frame().m_fYaw, -0.20943952f);
    EXPECT_EQ(Frame().m_fPitch, 0.0f);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(110, 100));

    QTest::mousePress(view, Qt::RightButton, Qt::NoModifier, QPoint(100, 100));
    QTest::mouseMove(view, QPoint(100, 120));
    EXPECT_FLOAT_EQ(Frame().m_fFov, 0.63f);
    QTest::mouseRelease(view, Qt::RightButton, Qt::NoModifier, QPoint(100, 120));

    // Space steps the animation once (a step is due after 1/30 s; an earlier
    // step may already have run while the window came up).
    QTest::qWait(50);
    const double lastStep = Frame().m_fLastTickTime;
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_GT(Frame().m_fLastTickTime, lastStep);
    EXPECT_EQ(Panel()->Item(IDC_TESSEL_FRAME)->property("text").toString(), "1/1");
}

TEST_F(WindowTest, TheBackgroundDialogFromTheMenuRecoloursTheView) {
    Start();
    bool seen = false;
    QTimer::singleShot(100, [&] {
        auto* dialog = dynamic_cast<CBackColorDlg*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        seen = true;
        TrackBar* blue = dialog->m_sliderBlue;
        const QPoint from = blue->ThumbRect().center();
        const QPoint to(blue->width() - 1, from.y());
        QTest::mousePress(blue, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(blue, to);
        QTest::mouseRelease(blue, Qt::LeftButton, Qt::NoModifier, to);
        QTest::mouseClick(dialog->Item(IDOK), Qt::LeftButton);
    });
    window->Command(ID_BACKGROUND_COLOUR)->trigger();
    EXPECT_TRUE(seen);
    EXPECT_EQ(Frame().m_nBackBlue, 255);
    EXPECT_EQ(View().pixel(2, 2) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(WindowTest, TheAboutBoxShowsTheVersion) {
    Start();
    std::string title, texts;
    QTimer::singleShot(100, [&] {
        auto* about = dynamic_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_TRUE(about);
        title = about->windowTitle().toStdString();
        for (QLabel* label : about->findChildren<QLabel*>())
            texts += label->text().toStdString() + "|";
        QTest::mouseClick(about->Item(IDOK), Qt::LeftButton);
    });
    window->Command(ID_APP_ABOUT)->trigger();
    EXPECT_EQ(title, "About Zintaro");
    EXPECT_NE(texts.find("Zintaro Version 1.0|"), std::string::npos) << texts;
    EXPECT_NE(texts.find(kRightsNotice), std::string::npos) << texts;
}

TEST_F(WindowTest, ResizingMakesTheDeviceAnewAtTheNewSize) {
    Start();
    window->resize(window->width() - 200, window->height() - 100);
    ASSERT_TRUE(WaitFor([&] {
        return Frame().m_pRenderTarget &&
               static_cast<int>(Frame().m_pRenderTarget->Width()) == window->View()->width();
    }));
    EXPECT_TRUE(Frame().m_bDeviceReady);
    EXPECT_EQ(static_cast<int>(Frame().m_pRenderTarget->Height()), window->View()->height());
    const QImage image = View();
    EXPECT_GT(CountNotBlack(image, image.width() / 2 - 5, image.width() / 2 + 5), 50);
}

TEST_F(WindowTest, AMinimisedWindowDrawsNothingUntilItIsRestored) {
    Start();
    QTest::mouseClick(Panel()->Item(IDC_PLAY), Qt::LeftButton);
    window->showMinimized();
    ASSERT_TRUE(WaitFor([&] { return !Frame().m_bActive; }));
    Settle();
    const int presents = window->View()->PresentCount();
    const long passes = app->IdlePasses();
    QTest::qWait(300);
    // Playing, but nothing is drawn: the loop waits for events.
    EXPECT_EQ(window->View()->PresentCount(), presents);
    EXPECT_LE(app->IdlePasses() - passes, 1);
    window->showNormal();
    ASSERT_TRUE(WaitFor([&] { return Frame().m_bActive; }));
    QTest::qWait(300);
    EXPECT_GT(window->View()->PresentCount(), presents + 5);
}

TEST_F(WindowTest, ExitClosesThePanelAndReleasesTheDevice) {
    Start();
    QPointer<CControlDlg> panel = Panel();
    window->Command(ID_APP_EXIT)->trigger();
    ASSERT_TRUE(WaitFor([&] { return !window->isVisible(); }));
    EXPECT_TRUE(panel.isNull());
    EXPECT_EQ(Frame().m_pControlPanel, nullptr);
    EXPECT_FALSE(Frame().m_pDevice);
    EXPECT_FALSE(Frame().m_bDeviceReady);
    // The models stay until the frame itself goes.
    EXPECT_TRUE(Frame().m_pTessel);
}

TEST(ViewerWindowProgram, TheScreenshotModeShowsTheWindowAndThePanel) {
    TempDir dir;
    const std::string tessel = SquareTessel(0, 10, 6).SaveAs(dir.File("house.tsl"));
    const std::string shot = dir.File("shot.png");
    const std::string log = dir.File("out.log");
    // The program's own leak check is left to the tests above: in a separate
    // process Mesa unloads its driver before the check could see into it.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    const std::string environment =
        "ASAN_OPTIONS='" + std::string(sanitizer ? sanitizer : "") + ":detect_leaks=0' ";
    const std::string command = environment + BIN_DIR +
                                "/zintaro --size 320x240 --background 0,0,128 --tessel '" + tessel +
                                "' --play --screenshot '" + shot + "' >'" + log + "' 2>&1";
    const int raw = std::system(command.c_str());
    std::ifstream in(log);
    std::stringstream output;
    output << in.rdbuf();
    ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << output.str();
    EXPECT_NE(output.str().find(shot), std::string::npos) << output.str();
    QImage image(QString::fromStdString(shot));
    ASSERT_FALSE(image.isNull());
    // The view (320 wide) and the panel to its right.
    ASSERT_GT(image.width(), 320 + 100);
    int blue = 0, panelGrey = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < 320; ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == 0x000080) ++blue;
        for (int x = 330; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.red() == c.green() && c.green() == c.blue()) ++panelGrey;
        }
    }
    EXPECT_GT(blue, 320 * 100);       // the background colour of the command line
    EXPECT_GT(panelGrey, 100 * 100);  // the panel's face

    // A file that is refused fails the run though the picture is taken; --fit
    // brings a small model far from the described camera into the view.
    const std::string tiny = SquareTessel(60, -40, 0.5f).SaveAs(dir.File("tiny.tsl"));
    const std::string refused = environment + BIN_DIR +
                                "/zintaro --size 320x240 --light 255,0,0 --fit '" + tiny +
                                "' --part 0='" + dir.File("missing.mrv") + "' --screenshot '" +
                                shot + "' >'" + log + "' 2>&1";
    const int status = std::system(refused.c_str());
    std::ifstream again(log);
    std::stringstream said;
    said << again.rdbuf();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << said.str();
    EXPECT_NE(said.str().find("missing.mrv"), std::string::npos) << said.str();
    const QImage fitted(QString::fromStdString(shot));
    int red = 0;
    for (int y = 0; y < fitted.height(); ++y)
        for (int x = 0; x < 320; ++x) {
            const QColor c = fitted.pixelColor(x, y);
            red += c.red() > 150 && c.green() < 120;
        }
    EXPECT_GT(red, 320 * 240 / 5);
}

}  // namespace
