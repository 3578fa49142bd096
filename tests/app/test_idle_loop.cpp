// The application's idle loop on the Qt event loop (the main-window tests
// check it with the real view): a pass that draws nothing waits for the next
// event, the rotating light keeps it going, and modal dialogs pause it.
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>

#include "tests/app/AppTestKit.h"
#include "viewer/app/Resource.h"
#include "viewer/app/ViewerApp.h"

namespace {

class IdleLoopTest : public FrameTest {
protected:
    // Runs the event loop for a while; returns the idle passes made.
    long Passes(int milliseconds) {
        const long before = app.IdlePasses();
        QTest::qWait(milliseconds);
        return app.IdlePasses() - before;
    }
};

TEST_F(IdleLoopTest, APassThatDrawsNothingWaitsForTheNextEvent) {
    Open();
    const int presents = context->PresentCount();
    Click(IDC_PLAY);  // nothing loaded
    EXPECT_TRUE(run.m_bPlaying);
    Passes(100);
    EXPECT_GT(context->PresentCount(), presents);
    EXPECT_EQ(Passes(300), 0);
    // The view was cleared to the background colour by that pass.
    EXPECT_EQ(CountNot(Presented(), Background()), 0);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(Panel(), &key);
    EXPECT_EQ(Passes(200), 1);
    // Once something is drawn the loop keeps going.
    frame->OpenTesselFile(SquareTessel(0, 10, 5).SaveAs(dir.File("house.tsl")), false);
    app.WakeIdle();
    EXPECT_GT(Passes(200), 10);
    // So does the rotating light without the animation.
    Click(IDC_PLAY);
    Click(IDC_LIGHT_ROTATION);
    EXPECT_GT(Passes(200), 10);
    Click(IDC_LIGHT_ROTATION);
    Passes(50);
    EXPECT_EQ(Passes(200), 0);
}

TEST_F(IdleLoopTest, AModalDialogPausesTheLoop) {
    Open();
    Answer(SquareTessel(0, 10, 5), "house.tsl");
    Click(IDC_OPEN_TESSEL);
    Click(IDC_PLAY);
    long duringDialog = -1;
    QTimer::singleShot(50, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        const long before = app.IdlePasses();
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 200) QApplication::processEvents(QEventLoop::AllEvents, 20);
        duringDialog = app.IdlePasses() - before;
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    Click(IDC_BACKGROUND_COLOUR);
    EXPECT_EQ(duringDialog, 0);
    // After the dialog the animation goes on.
    EXPECT_GT(Passes(200), 10);
}

}  // namespace
