// The background and light colour dialogs on real widgets: they open with
// the current colour, apply a component when the mouse lets go of its
// trackbar (the rendered view changes at once), ignore keyboard moves, and
// keep what was applied when closed.
#include <QLineEdit>
#include <QPushButton>

#include "tests/app/AppTestKit.h"
#include "viewer/app/ColorDlg.h"
#include "viewer/app/DialogTemplate.h"
#include "viewer/app/Resource.h"

namespace {

using ColourTest = FrameTest;

std::string FieldText(const CColorDlg& dialog, int id) {
    return static_cast<QLineEdit*>(dialog.Item(id))->text().toStdString();
}

// Drags the thumb of a trackbar to its right end; the release is optional.
void DragToEnd(TrackBar* bar, bool release = true) {
    const QPoint from = bar->ThumbRect().center();
    const QPoint to(bar->width() - 1, from.y());
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(bar, QPoint((from.x() + to.x()) / 2, from.y()));
    QTest::mouseMove(bar, to);
    if (release) QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, to);
}

TEST_F(ColourTest, DialogsOpenWithTheCurrentColourAndTheirOwnTexts) {
    Open();
    CBackColorDlg background(frame.get(), nullptr);
    EXPECT_EQ(background.windowTitle().toStdString(), "배경색상 지정");
    EXPECT_TRUE(background.isModal());
    auto* ok = qobject_cast<QPushButton*>(background.Item(IDOK));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->text().toStdString(), "확   인");
    EXPECT_TRUE(ok->isDefault());
    for (TrackBar* bar :
         {background.m_sliderRed, background.m_sliderGreen, background.m_sliderBlue}) {
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 255);
        EXPECT_EQ(bar->pageStep(), 20);
        EXPECT_EQ(bar->value(), 0);
        EXPECT_EQ(bar->orientation(), Qt::Horizontal);
    }
    for (int id : {IDC_RED_TEXT, IDC_GREEN_TEXT, IDC_BLUE_TEXT})
        EXPECT_EQ(FieldText(background, id), "0");

    frame->m_nLightGreen = 128;
    CLightColorDlg light(frame.get(), nullptr);
    EXPECT_EQ(light.windowTitle().toStdString(), "Light 색상 지정");
    EXPECT_EQ(qobject_cast<QPushButton*>(light.Item(IDOK))->text().toStdString(), "OK");
    EXPECT_EQ(light.m_sliderRed->value(), 255);
    EXPECT_EQ(light.m_sliderGreen->value(), 128);
    EXPECT_EQ(FieldText(light, IDC_GREEN_TEXT), "128");
    EXPECT_EQ(FieldText(light, IDC_BLUE_TEXT), "255");
    // The light dialog is a little taller, for its OK button further down.
    EXPECT_GT(light.height(), background.height());
    EXPECT_GT(light.Item(IDOK)->y(), background.Item(IDOK)->y());
}

TEST_F(ColourTest, ReleasingATrackbarAppliesItsComponentToTheView) {
    Open();
    frame->RedrawFrame();
    EXPECT_PRED2(Close, At(Presented(), 5, 5), (Rgb{0, 0, 0}));

    CBackColorDlg dialog(frame.get(), nullptr);
    dialog.show();
    DragToEnd(dialog.m_sliderRed, false);
    // Dragging alone changes nothing.
    EXPECT_EQ(dialog.m_sliderRed->value(), 255);
    EXPECT_EQ(frame->m_nBackRed, 0);
    EXPECT_EQ(FieldText(dialog, IDC_RED_TEXT), "0");
    EXPECT_PRED2(Close, At(Presented(), 5, 5), (Rgb{0, 0, 0}));

    QTest::mouseRelease(
        dialog.m_sliderRed, Qt::LeftButton, Qt::NoModifier,
        QPoint(dialog.m_sliderRed->width() - 1, dialog.m_sliderRed->ThumbRect().center().y()));
    EXPECT_EQ(frame->m_nBackRed, 255);
    EXPECT_EQ(FieldText(dialog, IDC_RED_TEXT), "255");
    EXPECT_EQ(frame->m_dwClearColour, 0x00FF0000u);
    EXPECT_PRED2(Close, At(Presented(), 5, 5), (Rgb{255, 0, 0}));

    // A click beside the thumb moves it by itself and applies on release too.
    TrackBar* blue = dialog.m_sliderBlue;
    const QPoint beside(blue->width() - 3, blue->ThumbRect().center().y());
    QTest::mouseClick(blue, Qt::LeftButton, Qt::NoModifier, beside);
    EXPECT_GT(blue->value(), 0);
    EXPECT_EQ(frame->m_nBackBlue, blue->value());
    EXPECT_EQ(FieldText(dialog, IDC_BLUE_TEXT), std::to_string(blue->value()));
    EXPECT_PRED2(Close, At(Presented(), 5, 5), (Rgb{255, 0, blue->value()}));
    EXPECT_EQ(frame->m_nBackGreen, 0);

    // Closing keeps what was applied.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(frame->m_nBackRed, 255);
}

TEST_F(ColourTest, KeyboardMovesChangeTheTrackbarButNotTheColour) {
    Open();
    CBackColorDlg dialog(frame.get(), nullptr);
    dialog.show();
    TrackBar* green = dialog.m_sliderGreen;
    green->setFocus();
    QTest::keyClick(green, Qt::Key_PageUp);
    EXPECT_EQ(green->value(), 20);  // one page
    QTest::keyClick(green, Qt::Key_Right);
    EXPECT_EQ(green->value(), 21);  // one line
    EXPECT_EQ(frame->m_nBackGreen, 0);
    EXPECT_EQ(FieldText(dialog, IDC_GREEN_TEXT), "0");
    EXPECT_EQ(frame->m_dwClearColour, 0u);
    // A later release on that trackbar applies its position.
    QTest::mouseClick(green, Qt::LeftButton, Qt::NoModifier, green->ThumbRect().center());
    EXPECT_EQ(frame->m_nBackGreen, 21);
}

TEST_F(ColourTest, TheLightDialogRelightsTheViewUnlessTheAnimationIsPlaying) {
    Open();
    Answer(SquareTessel(0, 10, 8), "house.tsl");
    Click(IDC_OPEN_TESSEL);
    const Rgb white = At(Presented(), kWidth / 2, kHeight / 2);
    EXPECT_GT(white.r, 150);

    CLightColorDlg dialog(frame.get(), nullptr);
    dialog.show();
    // Red all the way down by a drag to the left end.
    TrackBar* red = dialog.m_sliderRed;
    const QPoint from = red->ThumbRect().center();
    QTest::mousePress(red, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(red, QPoint(from.x() / 2, from.y()));
    QTest::mouseMove(red, QPoint(0, from.y()));
    QTest::mouseRelease(red, Qt::LeftButton, Qt::NoModifier, QPoint(0, from.y()));
    EXPECT_EQ(frame->m_nLightRed, 0);
    const Rgb cyan = At(Presented(), kWidth / 2, kHeight / 2);
    // Only the grey ambient light (85 of 255) is left in red.
    EXPECT_NEAR(cyan.r, 85, 3);
    EXPECT_GT(cyan.g, 150);

    // While playing the change waits for the next frame of the idle loop.
    run.m_bPlaying = true;
    const int presents = context->PresentCount();
    DragToEnd(red);
    EXPECT_EQ(frame->m_nLightRed, 255);
    EXPECT_EQ(context->PresentCount(), presents);
    frame->PlayStep();
    EXPECT_GT(At(Presented(), kWidth / 2, kHeight / 2).r, 150);
}

}  // namespace
