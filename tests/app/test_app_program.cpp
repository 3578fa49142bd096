// The viewer program as a whole, without a display: its command line, its
// texture directory, the file filters of its open dialogs, and the clear
// refusal to open a window where there is no OpenGL or no display.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "CommandLine.h"
#include "QtUiServices.h"
#include "Snapshot.h"
#include "TempDir.h"

namespace {

struct ProgramRun {
    int status = -1;
    std::string output;
};

ProgramRun Zintaro(const std::string& environment, const std::string& arguments) {
    TempDir dir;
    const std::string log = dir.File("out.log");
    const std::string command =
        environment + " " + std::string(BIN_DIR) + "/zintaro " + arguments + " >'" + log + "' 2>&1";
    const int raw = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    run.output = text.str();
    return run;
}

TEST(ViewerProgram, RefusesAWindowWithoutOpenGLOrWithoutADisplay) {
    // The offscreen platform has no OpenGL: said, not crashed.
    ProgramRun run = Zintaro("env QT_QPA_PLATFORM=offscreen", "");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("offers no OpenGL"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("--snapshot"), std::string::npos) << run.output;
    // No display at all.
    run = Zintaro("env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY", "--play");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("no display"), std::string::npos) << run.output;
    // Options are checked before anything else.
    run = Zintaro("env QT_QPA_PLATFORM=offscreen", "--screenshot");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("--screenshot"), std::string::npos) << run.output;
}

TEST(ViewerProgram, WindowOptionsAreReadWithTheOthers) {
    const char* argv[] = {"zintaro", "--play",  "--screenshot", "shot.png",
                          "--size",  "640x480", "--tessel",     "v.tsl"};
    ViewerOptions options;
    std::string error;
    ASSERT_TRUE(ParseViewerOptions(8, argv, options, error)) << error;
    EXPECT_TRUE(options.play);
    EXPECT_TRUE(options.screenshot);
    EXPECT_EQ(options.screenshotPath, "shot.png");
    EXPECT_TRUE(options.hasSize);
    EXPECT_EQ(options.width, 640u);
    EXPECT_FALSE(options.snapshot);
    const char* noSize[] = {"zintaro"};
    ViewerOptions defaults;
    ASSERT_TRUE(ParseViewerOptions(1, noSize, defaults, error));
    EXPECT_FALSE(defaults.hasSize);
    EXPECT_FALSE(defaults.play);
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

}  // namespace
