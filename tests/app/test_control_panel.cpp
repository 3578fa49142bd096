// The control panel on real widgets: its template, the show switches with
// what they hide in the rendered image, Play/Stop and Step with the frame
// and rate displays, the light rotation, the colour buttons, and hiding and
// showing the panel again.
#include <QCheckBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "tests/app/AppTestKit.h"
#include "viewer/app/ColorDlg.h"
#include "viewer/app/DialogTemplate.h"
#include "viewer/app/Resource.h"
#include "viewer/app/ViewerApp.h"

namespace {

using PanelTest = FrameTest;

TEST_F(PanelTest, TheTemplateHasEveryControlInItsPlaceWithItsText) {
    Open();
    CControlDlg* panel = Panel();
    EXPECT_EQ(panel->windowTitle().toStdString(), "Control Dialog");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(panel->isModal());

    const std::pair<int, const char*> buttons[] = {{IDC_OPEN_BIPED, "Biped 열기"},
                                                   {IDC_OPEN_BODY, "몸통 열기"},
                                                   {IDC_OPEN_HELMET, "헬멧 열기"},
                                                   {IDC_OPEN_ARMOUR, "갑옷 열기"},
                                                   {IDC_OPEN_WEAPON, "무기 열기"},
                                                   {IDC_OPEN_SHOES, "신발 열기"},
                                                   {IDC_OPEN_TESSEL, "테셀 열기"},
                                                   {IDC_PLAY, "Play"},
                                                   {IDC_STEP, "Step"},
                                                   {IDC_BACKGROUND_COLOUR, "배경색 변경"},
                                                   {IDC_LIGHT_COLOUR, "조명색 변경"},
                                                   {IDC_LIGHT_ROTATION, "조명회전 시작"},
                                                   {IDOK, "숨기기"}};
    for (const auto& b : buttons) {
        auto* button = qobject_cast<QPushButton*>(Item(b.first));
        ASSERT_TRUE(button) << b.first;
        EXPECT_EQ(button->text().toStdString(), b.second) << b.first;
        EXPECT_EQ(button->isDefault(), b.first == IDOK) << b.first;
        // The caption fits its button in the panel's font.
        EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()), button->width())
            << b.second;
    }
    // Check boxes without text; read-only name and display fields.
    EXPECT_TRUE(qobject_cast<QCheckBox*>(Item(IDC_SHOW_TESSEL))->text().isEmpty());
    for (int id : {IDC_TESSEL_FILE, IDC_CHARACTER_FRAME, IDC_FPS})
        EXPECT_TRUE(qobject_cast<QLineEdit*>(Item(id))->isReadOnly()) << id;

    // Dialog units become pixels: every control lies inside the panel, rows
    // keep their order and no two controls overlap.
    const QList<QWidget*> controls = panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* a : controls) {
        EXPECT_TRUE(panel->rect().contains(a->geometry())) << a->objectName().toStdString();
        for (QWidget* b : controls) {
            if (a == b) continue;
            EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                << a->objectName().toStdString() << " / " << b->objectName().toStdString();
        }
    }
    EXPECT_LT(Item(IDC_BIPED_FILE)->y(), Item(IDC_BODY_FILE)->y());
    EXPECT_LT(Item(IDC_TESSEL_FILE)->y(), Item(IDC_PLAY)->y());
    EXPECT_LT(Item(IDC_PLAY)->y(), Item(IDOK)->y());
    // Korean captions have glyphs in the panel's font.
    EXPECT_TRUE(QFontMetrics(panel->font()).inFontUcs4(U'몸'));
}

TEST_F(PanelTest, ShowBoxesStartFromTheSwitchesAndUntickingHidesWhatTheyShow) {
    Open();
    const std::pair<int, bool> start[] = {{IDC_SHOW_BODY, true},   {IDC_SHOW_HELMET, true},
                                          {IDC_SHOW_ARMOUR, true}, {IDC_SHOW_WEAPON, true},
                                          {IDC_SHOW_SHOES, true},  {IDC_SHOW_BIPED, false},
                                          {IDC_SHOW_TESSEL, true}};
    for (const auto& s : start)
        EXPECT_EQ(qobject_cast<QCheckBox*>(Item(s.first))->isChecked(), s.second) << s.first;

    // A skeleton alone, then a part on the left and a Tessel model on the right.
    Answer(MovingBiped(2, 0, kBoneTriangle), "walk.bpd");
    Click(IDC_OPEN_BIPED);
    const Rgb black = Background();
    EXPECT_EQ(CountNot(Presented(), black), 0);  // bones hidden at start

    Click(IDC_SHOW_BIPED);
    EXPECT_TRUE(frame->m_bShow[SLOT_SKELETON]);
    clock.Advance(0.05);
    Click(IDC_STEP);  // poses the shown bones
    const int bones = CountNot(Presented(), black);
    EXPECT_GT(bones, 5);
    // Wire frames: far fewer pixels than the filled triangle would cover.
    EXPECT_LT(bones, 150);

    Click(IDC_SHOW_BIPED);  // redraws at once, while stopped
    EXPECT_FALSE(frame->m_bShow[SLOT_SKELETON]);
    EXPECT_EQ(CountNot(Presented(), black), 0);

    Answer(SquarePart(-10, 10, 4), "body.mrv");
    Click(IDC_OPEN_BODY);
    Answer(SquareTessel(10, 10, 4), "house.tsl");
    Click(IDC_OPEN_TESSEL);
    const uint32_t half = kWidth / 2;
    RgbaImage both = Presented();
    EXPECT_GT(CountNot(both, black, 0, half), 50);
    EXPECT_GT(CountNot(both, black, half, kWidth), 50);

    Click(IDC_SHOW_BODY);  // the part only
    RgbaImage tesselOnly = Presented();
    EXPECT_EQ(CountNot(tesselOnly, black, 0, half), 0);
    EXPECT_EQ(CountNot(tesselOnly, black, half, kWidth), CountNot(both, black, half, kWidth));
    Click(IDC_SHOW_TESSEL);
    EXPECT_EQ(CountNot(Presented(), black), 0);
    Click(IDC_SHOW_BODY);
    EXPECT_EQ(CountNot(Presented(), black, 0, half), CountNot(both, black, 0, half));
}

TEST_F(PanelTest, PlayAdvancesFramesInTheIdleLoopAndStopKeepsTheDisplays) {
    Open();
    Answer(MovingBiped(3, 1, kBoneTriangle), "walk.bpd");
    Click(IDC_OPEN_BIPED);
    Answer(SquareTessel(10, 10, 3), "house.tsl");
    Click(IDC_OPEN_TESSEL);

    Click(IDC_PLAY);
    EXPECT_EQ(Text(IDC_PLAY), "Stop");
    EXPECT_TRUE(run.m_bPlaying);
    EXPECT_EQ(frame->m_fFpsLastTime, clock.now);

    std::vector<std::string> frames;
    for (int i = 0; i < 4; ++i) {
        clock.Advance(0.25);
        EXPECT_TRUE(app.OnIdle(i));
        frames.push_back(Text(IDC_CHARACTER_FRAME));
    }
    // (Opening the biped drew its first frame.)
    EXPECT_EQ(frames, (std::vector<std::string>{"2/3", "3/3", "1/3", "2/3"}));
    EXPECT_EQ(Text(IDC_TESSEL_FRAME), "1/1");
    // Four frames in one second.
    EXPECT_EQ(Text(IDC_FPS), "4.00");

    Click(IDC_PLAY);
    EXPECT_EQ(Text(IDC_PLAY), "Play");
    EXPECT_FALSE(run.m_bPlaying);
    EXPECT_EQ(frame->m_fLastTickTime, clock.now);
    clock.Advance(2.0);
    EXPECT_FALSE(app.OnIdle(0));
    EXPECT_EQ(Text(IDC_CHARACTER_FRAME), "2/3");
    EXPECT_EQ(Text(IDC_FPS), "4.00");
}

TEST_F(PanelTest, TwoStepsWithinATickIntervalDrawTheSameFrame) {
    Open();
    // The part follows the bone, which moves 3 units a frame.
    Answer(MovingBiped(4, 3, kBoneTriangle), "walk.bpd");
    Click(IDC_OPEN_BIPED);
    Answer(SquarePart(-8, 10, 3), "body.mrv");
    Click(IDC_OPEN_BODY);

    clock.Advance(0.05);
    Click(IDC_STEP);
    const RgbaImage first = Presented();
    const int presents = context->PresentCount();
    clock.Advance(0.02);  // less than 1/30 s
    Click(IDC_STEP);
    EXPECT_EQ(context->PresentCount(), presents + 1);  // drawn again ...
    EXPECT_EQ(Presented().rgba, first.rgba);           // ... the same frame
    EXPECT_EQ(Text(IDC_CHARACTER_FRAME), "1/4");

    clock.Advance(0.02);  // 1/30 s since the first step has now passed
    Click(IDC_STEP);
    EXPECT_EQ(Text(IDC_CHARACTER_FRAME), "2/4");
    EXPECT_NE(Presented().rgba, first.rgba);

    // Step while playing is an ordinary tick.
    Click(IDC_PLAY);
    clock.Advance(0.05);
    Click(IDC_STEP);
    EXPECT_EQ(Text(IDC_CHARACTER_FRAME), "3/4");
}

TEST_F(PanelTest, TheLightRotationButtonSwitchesItsFlagAndCaption) {
    Open();
    Answer(SquareTessel(0, 10, 8), "house.tsl");
    Click(IDC_OPEN_TESSEL);
    const float x0 = frame->m_vLightDir[0];

    Click(IDC_LIGHT_ROTATION);
    EXPECT_TRUE(run.m_bRotatingLight);
    EXPECT_EQ(Text(IDC_LIGHT_ROTATION), "조명회전 멈춤");
    EXPECT_EQ(frame->m_fLastLightTime, clock.now);
    EXPECT_TRUE(app.OnIdle(0));  // no step due yet: come back at once
    EXPECT_EQ(frame->m_vLightDir[0], x0);
    const RgbaImage before = Presented();
    for (int i = 0; i < 10; ++i) {
        clock.Advance(0.04);
        app.OnIdle(i);
    }
    EXPECT_NE(frame->m_vLightDir[0], x0);
    EXPECT_NE(Presented().rgba, before.rgba);  // the lit square changed

    Click(IDC_LIGHT_ROTATION);
    EXPECT_FALSE(run.m_bRotatingLight);
    EXPECT_EQ(Text(IDC_LIGHT_ROTATION), "조명회전 시작");
    const float stopped = frame->m_vLightDir[0];
    clock.Advance(1.0);
    EXPECT_FALSE(app.OnIdle(0));
    EXPECT_EQ(frame->m_vLightDir[0], stopped);
}

TEST_F(PanelTest, AColourButtonOpensItsModalDialogWithTheCurrentColour) {
    Open();
    frame->m_nLightBlue = 100;
    std::string title;
    int blue = -1;
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<CColorDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;
        title = dialog->windowTitle().toStdString();
        blue = dialog->m_sliderBlue->value();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    Click(IDC_LIGHT_COLOUR);
    EXPECT_EQ(title, "Light 색상 지정");
    EXPECT_EQ(blue, 100);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(PanelTest, HidingAndShowingThePanelAgainKeepsItsState) {
    Open();
    Answer(SquarePart(-8, 10, 3), "plate.mrv");
    Click(IDC_OPEN_ARMOUR);
    Click(IDC_SHOW_HELMET);
    Click(IDC_PLAY);
    CControlDlg* panel = Panel();

    Click(IDOK);  // "숨기기"
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(Panel(), panel);  // hidden, not destroyed

    frame->OnViewControlBox();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(Panel(), panel);
    EXPECT_EQ(Text(IDC_ARMOUR_FILE), "plate.mrv");
    EXPECT_FALSE(qobject_cast<QCheckBox*>(Item(IDC_SHOW_HELMET))->isChecked());
    EXPECT_EQ(Text(IDC_PLAY), "Stop");

    QTest::keyClick(panel, Qt::Key_Escape);
    EXPECT_FALSE(panel->isVisible());
    panel->close();  // the close box hides it as well
    EXPECT_EQ(Panel(), panel);
    frame->OnViewControlBox();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(Text(IDC_ARMOUR_FILE), "plate.mrv");

    // The displays are written while the panel is hidden, too.
    Click(IDOK);
    frame->OpenPartFile(SLOT_WEAPON, SquarePart(8, 10, 2).SaveAs(dir.File("axe.mrv")), false);
    frame->OnViewControlBox();
    EXPECT_EQ(Text(IDC_WEAPON_FILE), "axe.mrv");

    // When its window goes, the main window forgets it.
    frame->DestroyControlPanel();
    EXPECT_EQ(frame->m_pControlPanel, nullptr);
    frame->OnViewControlBox();  // a new one, from the switches and the run flags
    ASSERT_NE(Panel(), nullptr);
    EXPECT_FALSE(qobject_cast<QCheckBox*>(Item(IDC_SHOW_HELMET))->isChecked());
    EXPECT_EQ(Text(IDC_PLAY), "Stop");
}

}  // namespace
