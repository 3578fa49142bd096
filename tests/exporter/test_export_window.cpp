// The export dialog in its window (Qt Widgets on the offscreen platform):
// the template's texts and layout, extended selection in both lists, the
// refused frame step in a message box, and the export that follows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "exporter/host/QtHostUi.h"
#include "exporter/plugin/resource.h"
#include "tests/exporter/ExportFixtures.h"

namespace {

// Runs fn once a modal window of type T is up (checked on every pass of the
// event loop that is running then).
template <class T>
void WhenShown(std::function<void(T*)> fn, int triesLeft = 2000) {
    QTimer::singleShot(1, [fn, triesLeft] {
        if (auto* w = dynamic_cast<T*>(QApplication::activeModalWidget())) {
            fn(w);
        } else if (triesLeft > 0) {
            WhenShown<T>(fn, triesLeft - 1);
        } else {
            ADD_FAILURE() << "no window of the expected kind was shown";
        }
    });
}

GltfBuilder Square(bool biped) {
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box(1.0f, false)});
    b.AddNode("House", -1, box);
    b.AddNode("Well", -1, box);
    const int mill = b.AddNode("Mill", -1, box);
    b.Animate(mill, "translation", {0.0f, 1.0f}, {0, 0, 0, 0, 0, 4});
    const int cart = b.AddNode("Cart", -1, box);
    b.Animate(cart, "translation", {0.0f, 1.0f}, {0, 0, 0, 4, 0, 0});
    if (biped) b.AddNode("Bip01");
    return b;
}

class ExportWindow : public ::testing::Test {
protected:
    TempDir dir;
    std::string out = dir.File("square.tsl");
};

TEST_F(ExportWindow, ShowsTheTemplateAndExportsWhatIsChosen) {
    auto scene = LoadBuilt(Square(true), dir);
    ASSERT_TRUE(scene);
    QtHostUi ui;
    SetHostUi(&ui);
    HostInterface ip(*scene, ui);
    TesselExp exp;
    QStringList messages;
    bool stayedOpen = false;

    WhenShown<TemplateDialog>([&](TemplateDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromUtf8("Building Export"));
        EXPECT_EQ(d->width(), d->PixelsX(290));
        EXPECT_EQ(d->height(), d->PixelsY(185));
        auto* statics = qobject_cast<QListWidget*>(d->Control(IDC_STATIC_OBJECTS));
        auto* anims = qobject_cast<QListWidget*>(d->Control(IDC_ANIM_OBJECTS));
        ASSERT_TRUE(statics && anims);
        EXPECT_EQ(statics->selectionMode(), QAbstractItemView::ExtendedSelection);
        ASSERT_EQ(statics->count(), 2);
        EXPECT_EQ(statics->item(0)->text(), "House");
        ASSERT_EQ(anims->count(), 2);
        EXPECT_EQ(anims->item(1)->text(), "Cart");
        auto* save = qobject_cast<QPushButton*>(d->Control(IDOK));
        ASSERT_TRUE(save);
        EXPECT_EQ(save->text(), QString::fromUtf8("선택한 오브젝트 저장"));
        EXPECT_FALSE(save->isDefault());
        EXPECT_EQ(qobject_cast<QPushButton*>(d->Control(IDCANCEL))->text(),
                  QString::fromUtf8("취   소"));
        auto* centre = qobject_cast<QCheckBox*>(d->Control(IDC_CENTRE_ON_BIPED));
        ASSERT_TRUE(centre);
        EXPECT_TRUE(centre->isChecked());
        EXPECT_TRUE(centre->isEnabled());
        auto* step = qobject_cast<QLineEdit*>(d->Control(IDC_FRAME_STEP));
        EXPECT_EQ(qobject_cast<QLineEdit*>(d->Control(IDC_END_FRAME))->text(), "30");
        EXPECT_EQ(step->text(), "1");
        // Every text fits its place.
        for (QLabel* label : d->findChildren<QLabel*>())
            EXPECT_LE(label->heightForWidth(label->width()), label->height())
                << label->text().toStdString();
        for (QPushButton* b : d->findChildren<QPushButton*>())
            EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()), b->width())
                << b->text().toStdString();
        if (const char* grab = std::getenv("TESSEL_DIALOG_GRAB"))
            d->grab().save(QString::fromUtf8(grab));

        // Two items in each list; the step is refused first.
        statics->item(1)->setSelected(true);
        anims->item(0)->setSelected(true);
        anims->item(1)->setSelected(true);
        // The check box's text is a label beside it; clicking it clears the centring.
        auto* text = centre->parentWidget()->findChild<QLabel*>();
        ASSERT_TRUE(text);
        EXPECT_TRUE(text->text().startsWith(QString::fromUtf8("바이패드의")));
        QTest::mouseClick(text, Qt::LeftButton);
        EXPECT_FALSE(centre->isChecked());
        step->setText("0");
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            messages << box->windowTitle() + "|" + box->text();
            box->accept();
        });
        save->click();
        stayedOpen = d->isVisible();
        step->setText("10");
        save->click();
    });
    const int result = exp.DoExport(out.c_str(), nullptr, &ip, FALSE, 0);
    SetHostUi(nullptr);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(messages,
              QStringList{QString::fromUtf8("Export Message|Frame Step은 1 이상이어야 합니다.")});
    EXPECT_EQ(exp.centreOnBiped, FALSE);
    EXPECT_EQ(exp.frameStep, 10);
    const TesselFileData data = ReadTessel(out);
    EXPECT_EQ(data.frameCount, 4);  // frames 0, 10, 20, 30
    EXPECT_EQ(data.statics.size(), 1u);
    EXPECT_EQ(data.animateds.size(), 2u);
}

TEST_F(ExportWindow, PresetTextsWithoutABipedAndClosingCancels) {
    auto scene = LoadBuilt(Square(false), dir);
    ASSERT_TRUE(scene);
    QtHostUi ui;
    SetHostUi(&ui);
    ExportDialogAnswers preset;
    preset.startFrame = "5";
    preset.centre = false;
    ui.prepareDialog = [&](DialogWindow& d) { PresetExportDialog(d, preset); };
    HostInterface ip(*scene, ui);
    TesselExp exp;
    WhenShown<TemplateDialog>([&](TemplateDialog* d) {
        EXPECT_EQ(qobject_cast<QLineEdit*>(d->Control(IDC_START_FRAME))->text(), "5");
        auto* centre = qobject_cast<QCheckBox*>(d->Control(IDC_CENTRE_ON_BIPED));
        ASSERT_TRUE(centre);
        EXPECT_FALSE(centre->isEnabled());
        EXPECT_TRUE(centre->isChecked());  // no biped: the box cannot be cleared
        d->reject();                       // Esc or the close box
    });
    EXPECT_EQ(exp.DoExport(out.c_str(), nullptr, &ip, FALSE, 0), 1);
    SetHostUi(nullptr);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(ExportWindow, ProgressDialogCancelsTheExport) {
    auto scene = LoadBuilt(Square(false), dir);
    ASSERT_TRUE(scene);
    QtHostUi ui;
    SetHostUi(&ui);
    HostInterface ip(*scene, ui);
    TesselExp exp;
    ASSERT_TRUE(WriteBytes(out, "old"));
    WhenShown<TemplateDialog>([&](TemplateDialog* d) {
        // The progress dialog is up before the first object is written.
        WhenShown<QProgressDialog>([](QProgressDialog* p) { p->cancel(); });
        qobject_cast<QPushButton*>(d->Control(IDC_SAVE_ALL))->click();
    });
    EXPECT_EQ(exp.DoExport(out.c_str(), nullptr, &ip, FALSE, 0), 1);
    EXPECT_TRUE(ui.CancelRequested());
    SetHostUi(nullptr);
    EXPECT_EQ(ReadBytes(out), std::vector<uint8_t>({'o', 'l', 'd'}));
}

}  // namespace

// Real widgets on the offscreen platform (no display); the application lives
// for the whole run and goes before the program ends.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
