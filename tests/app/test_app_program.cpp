// The viewer program as a whole, without a display: its command line, its
// texture directory, the file filters of its open dialogs, and the clear
// refusal to open a window where there is no OpenGL or no display.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/support/ProgramRun.h"
#include "tests/support/TempDir.h"
#include "viewer/app/QtUiServices.h"
#include "viewer/app/Snapshot.h"

namespace {

ProgramRun Zintaro(const std::string& environment, const std::string& arguments) {
    return RunCommand(environment + " " + std::string(BIN_DIR) + "/zintaro " + arguments);
}

TEST(ViewerProgram, RefusesAWindowWithoutOpenGLOrWithoutADisplay) {
    // The offscreen platform has no OpenGL: said, not crashed.
    ProgramRun run = Zintaro("env QT_QPA_PLATFORM=offscreen", "");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("offers no OpenGL"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("--snapshot"), std::string::npos) << run.out;
    // No display at all.
    run = Zintaro("env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY", "--play");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("no display"), std::string::npos) << run.out;
    // A display nothing answers on: said instead of Qt's abort.
    run = Zintaro("env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:987", "--play");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("no X server answers on the display ':987' (DISPLAY)"),
              std::string::npos)
        << run.out;
    run = Zintaro("env -u QT_QPA_PLATFORM -u DISPLAY WAYLAND_DISPLAY=/nonexistent/wayland-9",
                  "--play");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("no Wayland compositor answers on '/nonexistent/wayland-9'"),
              std::string::npos)
        << run.out;
    // Options are checked before anything else.
    run = Zintaro("env QT_QPA_PLATFORM=offscreen", "--screenshot");
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_NE(run.out.find("--screenshot"), std::string::npos) << run.out;
}

TEST(ViewerProgram, TexturesAreLookedUpInTextrBesideTheProgram) {
    EXPECT_EQ(TextureDirectoryOf("/opt/zintaro/bin/zintaro"), "/opt/zintaro/bin/textr/");
    EXPECT_EQ(TextureDirectoryOf("/zintaro"), "/textr/");
    EXPECT_EQ(TextureDirectoryOf("zintaro"), "textr/");
    // The running program's own place, wherever it was started from.
    EXPECT_EQ(ProgramTextureDirectory(), std::string(BIN_DIR) + "/textr/");
}

TEST(ViewerProgram, OpenDialogFiltersBecomeQtNameFilters) {
    EXPECT_EQ(QtFileFilter("Biped Files (*.bpd)|*.bpd|All Files (*.*)|*.*||").toStdString(),
              "Biped Files (*.bpd);;All Files (*)");
    EXPECT_EQ(QtFileFilter("Tessel Files (*.tsl)|*.tsl|All Files (*.*)|*.*||").toStdString(),
              "Tessel Files (*.tsl);;All Files (*)");
    // Several patterns, a name without its own parentheses, no closing bars.
    EXPECT_EQ(QtFileFilter("Images|*.bmp;*.tga|Everything|*.*").toStdString(),
              "Images (*.bmp *.tga);;Everything (*)");
    EXPECT_EQ(QtFileFilter("").toStdString(), "");
}

TEST(ViewerProgram, TheQtOpenDialogTakesAnyNameAndAddsTheDefaultExtension) {
    TempDir dir;
    QtUiServices ui;
    std::string filters, suffix;
    bool anyFile = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        filters = dialog->nameFilters().join("|").toStdString();
        suffix = dialog->defaultSuffix().toStdString();
        anyFile = dialog->fileMode() == QFileDialog::AnyFile;
        dialog->setDirectory(QString::fromStdString(dir.Path().string()));
        dialog->selectFile("not-yet-there");  // typed in, no extension, no such file
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        ASSERT_TRUE(buttons);
        buttons->button(QDialogButtonBox::Open)->click();
    });
    std::string path;
    ASSERT_TRUE(
        ui.OpenFileDialog("mrv", "Morvane Files (*.mrv)|*.mrv|All Files (*.*)|*.*||", path));
    EXPECT_EQ(filters, "Morvane Files (*.mrv)|All Files (*)");
    EXPECT_EQ(suffix, "mrv");
    EXPECT_TRUE(anyFile);
    EXPECT_EQ(path, dir.File("not-yet-there.mrv"));

    QTimer::singleShot(0, [] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            qobject_cast<QFileDialog*>(dialog)->reject();
    });
    EXPECT_FALSE(
        ui.OpenFileDialog("tsl", "Tessel Files (*.tsl)|*.tsl|All Files (*.*)|*.*||", path));
}

TEST(ViewerProgram, TheQtMessageBoxHasTheTextAndOnlyAnOkButton) {
    QtUiServices ui;
    std::string title, text;
    int buttons = -1;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        title = box->windowTitle().toStdString();
        text = box->text().toStdString();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    ui.MessageBox("Faces: 1234");
    EXPECT_EQ(title, "Zintaro");
    EXPECT_EQ(text, "Faces: 1234");
    EXPECT_EQ(buttons, 1);
}

}  // namespace
