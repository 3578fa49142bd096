// Sessions in the viewer's window as a user has them: the real message boxes
// and the real open dialog, answered once they are on the screen, and the
// view as the screen shows it compared with the program's own snapshot of the
// same files and state: an untextured model with its box answered; textured
// parts at start, stopped; a second textured model opened through the
// panel's button and the open dialog; a colour change; a resize; hiding and
// showing the panel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <deque>
#include <filesystem>
#include <functional>

#include "tests/app/AppTestKit.h"
#include "tests/support/ImageDifference.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TgaWriter.h"
#include "tests/support/WaitFor.h"
#include "viewer/app/ColorDlg.h"
#include "viewer/app/DialogTemplate.h"
#include "viewer/app/MainFrameWindow.h"
#include "viewer/app/Resource.h"

namespace {

// Answers the viewer's modal dialogs as a user does, once they are shown on
// the screen: a message box with its OK button (its text is kept), the open
// dialog with the next path typed into its file name field and Enter; other
// dialogs go to `other`.
class DialogAnswerer {
public:
    DialogAnswerer() {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start();
    }

    std::vector<std::string> messages;
    std::deque<std::string> paths;
    std::function<void(QWidget*)> other;

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (m_busy || !modal || !modal->isVisible() || !modal->windowHandle() ||
            !modal->windowHandle()->isExposed())
            return;
        m_busy = true;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(box->text().toStdString());
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (paths.empty() || !name) {
                dialog->reject();
            } else {
                QTest::keyClicks(name, QString::fromStdString(paths.front()));
                paths.pop_front();
                QTest::keyClick(name, Qt::Key_Return);
            }
        } else if (other) {
            other(modal);
        }
        m_busy = false;
    }

    QTimer m_timer;
    bool m_busy = false;
};

class WindowSession : public ::testing::Test {
protected:
    static constexpr int kWidth = 320, kHeight = 240;

    static void SetUpTestSuite() {
        demo = new TempDir;
        const std::string make = std::string(BIN_DIR) + "/make-demo-content '" +
                                 demo->File("demo") + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(make.c_str()), 0);
    }
    static void TearDownTestSuite() {
        delete demo;
        demo = nullptr;
    }
    static std::string Demo(const std::string& name) { return demo->File("demo/" + name); }

    void TearDown() override {
        app.reset();
        QTest::qWait(20);
    }

    // The viewer as the program starts it, with the files of `arguments`
    // (as given to the program) and its real message boxes and dialogs.
    void Start(const ViewerOptions& files, const std::string& arguments) {
        startArguments = arguments;
        ViewerOptions options = files;
        options.hasSize = true;
        options.width = kWidth;
        options.height = kHeight;
        app = std::make_unique<CViewerApp>();
        std::string error;
        ASSERT_TRUE(app->InitInstance(options, std::string(BIN_DIR) + "/zintaro", error)) << error;
        window = app->MainWindow();
        ASSERT_TRUE(window);
        ASSERT_TRUE(WaitFor([&] {
            return Frame().m_bDeviceReady && Frame().m_bActive && Panel() && Panel()->isVisible() &&
                   !QApplication::activeModalWidget();
        }));
        // The size asked for is the view's.
        EXPECT_EQ(window->View()->size(), QSize(kWidth, kHeight));
    }

    ViewerFrame& Frame() { return window->Frame(); }
    CControlDlg* Panel() { return Frame().ControlPanel(); }

    // What the screen shows of the view.
    QImage OnScreen() {
        QWidget* view = window->View();
        const QPoint at = view->mapToGlobal(QPoint(0, 0));
        return view->screen()
            ->grabWindow(0, at.x(), at.y(), view->width(), view->height())
            .toImage();
    }

    // The program's snapshot of the start-up files with more arguments.
    QImage Snapshot(const std::string& more, int width = kWidth, int height = kHeight) {
        const std::string out = dir.File("snapshot.png");
        std::filesystem::remove(out);
        const ProgramRun run =
            RunCommand("ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" " + std::string(BIN_DIR) +
                       "/zintaro --snapshot " + Q(out) + " --size " + std::to_string(width) + "x" +
                       std::to_string(height) + " " + startArguments + " " + more);
        EXPECT_EQ(run.status, 0) << run.out;
        return QImage(QString::fromStdString(out));
    }

    // The view comes to show what the snapshot shows, without any input.
    void ExpectSnapshot(const std::string& more, const char* step, int width = kWidth,
                        int height = kHeight) {
        SCOPED_TRACE(step);
        const QImage expected = Snapshot(more, width, height);
        ASSERT_FALSE(expected.isNull());
        ImageDifference difference;
        const bool same = WaitFor(
            [&] {
                difference = CompareImages(OnScreen(), expected);
                return difference.Small();
            },
            3000);
        EXPECT_TRUE(same) << difference;
    }

    std::string PanelText(int id) {
        return Panel()->Item(id)->property("text").toString().toStdString();
    }

    static TempDir* demo;
    TempDir dir;
    DialogAnswerer answerer;
    std::unique_ptr<CViewerApp> app;
    MainFrameWindow* window = nullptr;
    std::string startArguments;
};

TempDir* WindowSession::demo = nullptr;

// Messages other than the notice that the view is drawn in software.
std::vector<std::string> ModelMessages(const std::vector<std::string>& messages) {
    std::vector<std::string> kept;
    for (const std::string& m : messages)
        if (m != kSoftwareRenderingNotice) kept.push_back(m);
    return kept;
}

TEST_F(WindowSession, AnUntexturedModelIsDrawnOnceItsBoxIsAnswered) {
    // Three objects that name no texture: one box for all of them.
    const std::string grid = TesselFile(1,
                                        {{"", {SquareVertices(-10, 10, 3)}, kSquareIndices},
                                         {"", {SquareVertices(0, 10, 3)}, kSquareIndices},
                                         {"", {SquareVertices(10, 10, 3)}, kSquareIndices}},
                                        {})
                                 .SaveAs(dir.File("grid.tsl"));
    ViewerOptions files;
    files.tessel = grid;
    Start(files, "--tessel '" + grid + "'");
    ExpectSnapshot("", "after the box");
    EXPECT_EQ(ModelMessages(answerer.messages), std::vector<std::string>{"GetSurface Error!!"});
}

TEST_F(WindowSession, TexturedPartsAtStartThenASecondModelThroughThePanel) {
    ViewerOptions files;
    files.biped = Demo("demo.bpd");
    files.parts[SLOT_BODY] = Demo("body.mrv");
    files.parts[SLOT_HELMET] = Demo("helmet.mrv");
    Start(files, "--biped '" + files.biped + "' --part 0='" + files.parts[SLOT_BODY] +
                     "' --part 1='" + files.parts[SLOT_HELMET] + "'");
    // Stopped: the first frame is posed at frame 0 with the frame fields filled.
    ExpectSnapshot("", "at start");
    EXPECT_EQ(PanelText(IDC_CHARACTER_FRAME).rfind("1/", 0), 0u) << PanelText(IDC_CHARACTER_FRAME);

    // A textured Tessel model of its own folder, through the panel's button.
    std::filesystem::create_directories(dir.Path() / "wall" / "textr");
    std::vector<uint32_t> checker(64);
    for (size_t i = 0; i < checker.size(); ++i)
        checker[i] = ((i / 8 + i % 8) % 2) ? 0xE0C040FFu : 0x4060E0FFu;
    ByteWriter image;
    image.bytes = EncodeTga(8, 8, checker, TgaLayout{});
    image.SaveAs(dir.File("wall/textr/wall.tga"));
    const std::string wall =
        TesselFile(1, {{"wall.tga", {SquareVertices(-14, 8, 4)}, kSquareIndices}}, {})
            .SaveAs(dir.File("wall/wall.tsl"));
    answerer.paths.push_back(wall);
    answerer.messages.clear();
    QTest::mouseClick(Panel()->Item(IDC_OPEN_TESSEL), Qt::LeftButton);
    ASSERT_TRUE(
        WaitFor([&] { return !answerer.messages.empty() && !QApplication::activeModalWidget(); }));
    EXPECT_EQ(answerer.messages, std::vector<std::string>{"Faces: 2"});
    EXPECT_EQ(PanelText(IDC_TESSEL_FILE), "wall.tsl");
    // Opening ticks once, as Step does.
    ExpectSnapshot("--tessel '" + wall + "' --ticks 2", "after the open dialog");
}

TEST_F(WindowSession, ColourResizeAndThePanelKeepTheViewAsTheSnapshot) {
    ViewerOptions files;
    files.biped = Demo("demo.bpd");
    files.parts[SLOT_BODY] = Demo("body.mrv");
    files.tessel = Demo("village.tsl");
    Start(files, "--biped '" + files.biped + "' --part 0='" + files.parts[SLOT_BODY] +
                     "' --tessel '" + files.tessel + "'");

    // The background dialog from the panel: blue to its end.
    answerer.other = [](QWidget* modal) {
        auto* dialog = dynamic_cast<CBackColorDlg*>(modal);
        if (!dialog) return;
        TrackBar* blue = dialog->m_sliderBlue;
        const QPoint from = blue->ThumbRect().center();
        const QPoint to(blue->width() - 1, from.y());
        QTest::mousePress(blue, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(blue, to);
        QTest::mouseRelease(blue, Qt::LeftButton, Qt::NoModifier, to);
        QTest::mouseClick(dialog->Item(IDOK), Qt::LeftButton);
    };
    QTest::mouseClick(Panel()->Item(IDC_BACKGROUND_COLOUR), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !QApplication::activeModalWidget(); }));
    ASSERT_EQ(Frame().m_nBackBlue, 255);
    ExpectSnapshot("--background 0,0,255", "background");

    // Smaller: the panel beside the window stays off the view.
    window->ResizeClient(256, 200);
    ExpectSnapshot("--background 0,0,255", "resized", 256, 200);

    // Hidden and shown again.
    CControlDlg* panel = Panel();
    QTest::mouseClick(panel->Item(IDOK), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !panel->isVisible(); }));
    ExpectSnapshot("--background 0,0,255", "panel hidden", 256, 200);
    window->Command(ID_VIEW_CONTROLBOX)->trigger();
    ASSERT_TRUE(WaitFor([&] { return panel->isVisible(); }));

    // Enter on the focused Step button steps; the panel stays.
    panel->activateWindow();
    Panel()->Item(IDC_STEP)->setFocus();
    ASSERT_TRUE(WaitFor([&] { return Panel()->Item(IDC_STEP)->hasFocus(); }));
    QTest::keyClick(Panel()->Item(IDC_STEP), Qt::Key_Return);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(PanelText(IDC_CHARACTER_FRAME).rfind("2/", 0), 0u) << PanelText(IDC_CHARACTER_FRAME);
    ExpectSnapshot("--background 0,0,255 --ticks 2", "stepped with Enter", 256, 200);
}

}  // namespace
