// The headless snapshot, run as the program itself: model files on disk in,
// a PNG image out, errors on standard error with a non-zero exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/render/RenderTestKit.h"
#include "tests/support/ImageDifference.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TempDir.h"
#include "tests/support/TgaWriter.h"
#include "viewer/app/CommandLine.h"

namespace fs = std::filesystem;

namespace {

ProgramRun Zintaro(const std::string& arguments) {
    return RunProgram("zintaro", arguments);
}

Rgb PixelOf(const QImage& image, int x, int y) {
    const QRgb p = image.pixel(x, y);
    return {qRed(p), qGreen(p), qBlue(p)};
}

class SnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A Tessel model whose textures sit in "textr" beside it: two squares
        // facing the camera and the light, a green one left of centre and a
        // white one right of centre.
        fs::create_directories(dir.Path() / "models" / "textr");
        ByteWriter tga;
        tga.bytes = EncodeTga(1, 1, {0x20C020FFu}, TgaLayout{});
        tga.SaveAs((dir.Path() / "models" / "textr" / "grass.tga").string());
        tga.bytes = EncodeTga(1, 1, {0xFFFFFFFFu}, TgaLayout{});
        tga.SaveAs((dir.Path() / "models" / "textr" / "white.tga").string());
        tessel = StaticTessel(
                     {Square(-8, 10, 0, 4, -1, "grass.tga"), Square(8, 10, 0, 4, -1, "white.tga")})
                     .SaveAs((dir.Path() / "models" / "field.tsl").string());
        output = dir.File("out.png");
    }

    QImage Image() {
        QImage image(QString::fromStdString(output));
        EXPECT_FALSE(image.isNull()) << output;
        return image;
    }

    TempDir dir;
    std::string tessel, output;
};

TEST_F(SnapshotTest, WritesTheSceneAsSeenInTheWindow) {
    ProgramRun run = Zintaro("--snapshot '" + output +
                             "' --size 64x48 --background 0,0,90 --tessel '" + tessel + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    QImage image = Image();
    ASSERT_EQ(image.width(), 64);
    ASSERT_EQ(image.height(), 48);
    EXPECT_PRED3(Near, PixelOf(image, 0, 0), (Rgb{0, 0, 90}), 0);
    // 85/255 + cos to the light (1/sqrt 3) = 0.911: the white square and the
    // texel (32, 192, 32) modulated by it.
    EXPECT_PRED3(Near, PixelOf(image, 44, 24), (Rgb{232, 232, 232}), 1);
    EXPECT_PRED3(Near, PixelOf(image, 19, 24), (Rgb{29, 175, 29}), 4);
}

TEST_F(SnapshotTest, ViewLightAndSwitchOptionsChangeThePicture) {
    // Light off: ambient grey only.
    ProgramRun run =
        Zintaro("--snapshot '" + output + "' --size 64x48 --light 0,0,0 --tessel '" + tessel + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_PRED3(Near, PixelOf(Image(), 44, 24), (Rgb{0x55, 0x55, 0x55}), 1);

    // Turned round: the squares show their backs and are culled.
    run =
        Zintaro("--snapshot '" + output + "' --size 64x48 --yaw 3.14159 --tessel '" + tessel + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    QImage turned = Image();
    int lit = 0;
    for (int y = 0; y < turned.height(); ++y)
        for (int x = 0; x < turned.width(); ++x) lit += qGray(turned.pixel(x, y)) > 0;
    EXPECT_EQ(lit, 0);

    // Hidden Tessel model.
    run = Zintaro("--snapshot '" + output +
                  "' --size 64x48 --show 6=0 --background 9,9,9 "
                  "--tessel '" +
                  tessel + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_PRED3(Near, PixelOf(Image(), 44, 24), (Rgb{9, 9, 9}), 0);

    // Moved to the right and narrowed: the right square now covers the middle.
    run = Zintaro("--snapshot '" + output +
                  "' --size 64x48 --pan -8,-10 --fov 0.3 "
                  "--tessel '" +
                  tessel + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_PRED3(Near, PixelOf(Image(), 32, 24), (Rgb{232, 232, 232}), 1);
}

TEST_F(SnapshotTest, FitFramesASmallFarModelAndAHugeOne) {
    const Rgb background{0, 0, 90};
    struct Case {
        float cx, cy, z, h;
    } cases[] = {{60, -40, 0, 0.5f}, {0, 0, 0, 400}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.h);
        const std::string file =
            StaticTessel({Square(c.cx, c.cy, c.z, c.h, -1)}).SaveAs(dir.File("one.tsl"));
        for (bool fit : {false, true}) {
            const ProgramRun run =
                Zintaro("--snapshot '" + output + "' --size 64x48 --background 0,0,90 " +
                        (fit ? "--fit " : "") + "--tessel '" + file + "'");
            ASSERT_EQ(run.status, 0) << run.out;
            const QImage image = Image();
            int covered = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    covered += !Near(PixelOf(image, x, y), background, 2);
            const bool corners = !Near(PixelOf(image, 0, 0), background, 2) ||
                                 !Near(PixelOf(image, 63, 47), background, 2);
            if (fit) {
                // In the middle, a good part of the picture, with room round it.
                EXPECT_FALSE(Near(PixelOf(image, 32, 24), background, 2));
                EXPECT_GT(covered, 64 * 48 / 5);
                EXPECT_FALSE(corners);
            } else {
                // The described camera: the small one is out of view, the huge one fills it all.
                EXPECT_EQ(covered, c.h < 1 ? 0 : 64 * 48);
            }
        }
    }
}

TEST_F(SnapshotTest, SkeletonIsPosedByTheTicks) {
    // One bone, two frames: at frame 0 the triangle is left of centre, at
    // frame 1 it is moved 16 units to the right.
    ByteWriter biped;
    biped.Int32(1).Int32(2).Int32(3).Floats({-12, 4, 0, -8, 16, 0, -4, 4, 0});
    biped.Int32(1).Int32(0).Int32(1).Int32(2);
    biped.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
    biped.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 16, 0, 0});
    const std::string file = biped.SaveAs(dir.File("walk.bpd"));
    auto greyLeftAndRight = [&](int& left, int& right) {
        QImage image = Image();
        left = right = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) > 0) (x < image.width() / 2 ? left : right) += 1;
    };
    ProgramRun run = Zintaro("--snapshot '" + output +
                             "' --size 64x48 --show 5=1 --ticks 1 "
                             "--biped '" +
                             file + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    int left, right;
    greyLeftAndRight(left, right);
    EXPECT_GT(left, 10);
    EXPECT_EQ(right, 0);
    run = Zintaro("--snapshot '" + output +
                  "' --size 64x48 --show 5=1 --ticks 2 "
                  "--biped '" +
                  file + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    greyLeftAndRight(left, right);
    EXPECT_EQ(left, 0);
    EXPECT_GT(right, 10);
}

TEST_F(SnapshotTest, BadInputIsReportedAndNothingIsWritten) {
    // A FIFO without a writer: refused at once, not waited on.
    ASSERT_EQ(::mkfifo(dir.File("pipe.mrv").c_str(), 0600), 0);
    struct Case {
        std::string arguments;
        int status;
        std::string says;
    } cases[] = {
        {"--snapshot '" + output + "' --size 0x10", 2, "--size"},
        {"--snapshot '" + output + "' --fov 4", 2, "--fov"},
        {"--snapshot '" + output + "' --show 7=1", 2, "--show"},
        {"--snapshot '" + output + "' --background 1,2", 2, "--background"},
        {"--snapshot '" + output + "' --ticks -1", 2, "--ticks"},
        {"--snapshot '" + output + "' --yaw abc", 2, "--yaw"},
        {"--snapshot '" + output + "' --frobnicate", 2, "--frobnicate"},
        {"--snapshot '" + output + "' --tessel", 2, "--tessel"},
        {"--snapshot '" + output + "' --tessel '" + dir.File("missing.tsl") + "'", 1,
         "missing.tsl"},
        {"--snapshot '" + output + "' --part 2='" + dir.File("none.mrv") + "'", 1, "none.mrv"},
        {"--snapshot '" + output + "' --biped '" + dir.Path().string() + "'", 1, "directory"},
        {"--snapshot '" + output + "' --part 1='" + dir.File("pipe.mrv") + "'", 1,
         "pipe.mrv: is a FIFO"},
    };
    for (const Case& c : cases) {
        ProgramRun run = Zintaro(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.out;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << c.arguments << "\n" << run.out;
        EXPECT_FALSE(fs::exists(output)) << c.arguments;
    }
    // A damaged model file: named, with its problem.
    ByteWriter damaged = StaticTessel({Square(0, 0, 0, 1, -1)});
    damaged.bytes.resize(damaged.bytes.size() - 5);
    const std::string file = damaged.SaveAs(dir.File("cut.tsl"));
    ProgramRun run = Zintaro("--snapshot '" + output + "' --tessel '" + file + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("cut.tsl"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(output));
    // An image that cannot be written.
    run = Zintaro("--snapshot '" + dir.File("no/such/dir/out.png") + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("out.png"), std::string::npos) << run.out;
}

TEST(ViewerCommandLine, HelpAndFileOptions) {
    TempDir dir;
    ProgramRun help = Zintaro("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--snapshot OUT.png"), std::string::npos);

    const char* argv[] = {"zintaro", "--part",   "3=sword.mrv", "--part", "0=body.mrv",
                          "--biped", "walk.bpd", "--pan",       "-2.5,4", "--show",
                          "5=1",     "--light",  "1,2,3"};
    ViewerOptions options;
    std::string error;
    ASSERT_TRUE(ParseViewerOptions(13, argv, options, error)) << error;
    EXPECT_FALSE(options.snapshot);
    EXPECT_EQ(options.parts.at(3), "sword.mrv");
    EXPECT_EQ(options.parts.at(0), "body.mrv");
    EXPECT_EQ(options.biped, "walk.bpd");
    EXPECT_EQ(options.panX, -2.5f);
    EXPECT_EQ(options.panY, 4.0f);
    EXPECT_TRUE(options.show.at(5));
    EXPECT_EQ(options.light[2], 3);
    const char* badSlot[] = {"zintaro", "--part", "5=x.mrv"};
    EXPECT_FALSE(ParseViewerOptions(3, badSlot, options, error));
    EXPECT_NE(error.find("--part"), std::string::npos);

    // Files without options go by their extension, parts into the free slots.
    const char* byName[] = {"zintaro",  "helmet.mrv", "--part",        "0=body.mrv",
                            "walk.BPD", "shoes.mrv",  "v/village.tsl", "--fit"};
    ViewerOptions named;
    ASSERT_TRUE(ParseViewerOptions(8, byName, named, error)) << error;
    EXPECT_EQ(named.parts,
              (std::map<int, std::string>{{0, "body.mrv"}, {1, "helmet.mrv"}, {2, "shoes.mrv"}}));
    EXPECT_EQ(named.biped, "walk.BPD");
    EXPECT_EQ(named.tessel, "v/village.tsl");
    EXPECT_TRUE(named.fit);
    const struct {
        std::vector<const char*> argv;
        const char* says;
    } refused[] = {
        {{"zintaro", "scene.gltf"}, "'scene.gltf': not a viewer file or option"},
        {{"zintaro", "v.tsl", "w.tsl"}, "'w.tsl': a second Tessel model file"},
        {{"zintaro", "a.mrv", "b.mrv", "c.mrv", "d.mrv", "e.mrv", "f.mrv"},
         "'f.mrv': no free part slot"},
    };
    for (const auto& r : refused) {
        ViewerOptions o;
        EXPECT_FALSE(ParseViewerOptions(static_cast<int>(r.argv.size()), r.argv.data(), o, error));
        EXPECT_EQ(error.find(r.says), 0u) << error;
    }
}

}  // namespace

namespace {

// The demo content as the README's main job shows it, compared with a stored
// reference picture. The statistics allow for rounding differences between
// rasteriser builds, not for a changed scene (a moved figure, a lost texture).
TEST(DemoSnapshot, MatchesTheReferencePicture) {
    TempDir dir;
    const std::string demo = dir.File("demo");
    const std::string make =
        std::string(BIN_DIR) + "/make-demo-content '" + demo + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const std::string out = dir.File("demo.png");
    ProgramRun run = Zintaro(
        "--snapshot '" + out + "' --size 320x240 --ticks 12 --show 5=1 --biped '" + demo +
        "/demo.bpd' --part 0='" + demo + "/body.mrv' --part 1='" + demo +
        "/helmet.mrv' --part 2='" + demo + "/armour.mrv' --part 3='" + demo +
        "/weapon.mrv' --part 4='" + demo + "/shoes.mrv' --tessel '" + demo + "/village.tsl'");
    ASSERT_EQ(run.status, 0) << run.out;

    const QImage image = QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
    const QImage reference = QImage(QString(TEST_DATA_DIR) + "/reference/demo-snapshot.png")
                                 .convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(reference.isNull());
    ASSERT_EQ(image.size(), reference.size());

    const ImageDifference difference = CompareImages(image, reference);
    EXPECT_TRUE(difference.Small()) << difference;
    std::printf("demo snapshot: mean difference %.3f, %.4f%% of pixels off by more than 48\n",
                difference.mean, 100.0 * difference.farShare);
}

}  // namespace
