// The main window under faults while it plays, on a real Mesa context:
// texture files that vanish or break between model loads, models replaced
// (also by damaged files) in the middle of the animation, a client area of
// zero size and a minimised window. Nothing crashes, the animation goes on
// with what is loaded, and each problem is shown once, not on every frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "tests/render/RenderTestKit.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RecordingControlPanel.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "tests/support/TgaWriter.h"
#include "viewer/render/MainFrame.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kWidth = 64, kHeight = 48;

// A Tessel file with one animated square that moves right by one unit a frame.
ByteWriter AnimatedTessel(int frames, const std::string& texture = "") {
    ByteWriter w;
    w.Int32(frames).Int32(0).Int32(1);
    w.Int32(static_cast<int32_t>(texture.size())).Text(texture);
    const TesselObject square = Square(0, 10, 0, 6, -1);
    w.Int32(static_cast<int32_t>(square.vertices.size()));
    for (int f = 0; f < frames; ++f)
        for (ModelVertex v : square.vertices) {
            v.x += static_cast<float>(f);
            WriteVertex(w, v);
        }
    w.Int32(static_cast<int32_t>(square.indices.size() / 3));
    for (int i : square.indices) w.Int32(i);
    return w;
}

// A biped of `bones` bones, each a small triangle, over `frames` frames.
ByteWriter Skeleton(int bones, int frames) {
    ByteWriter w;
    w.Int32(bones).Int32(frames);
    for (int b = 0; b < bones; ++b) {
        w.Int32(3).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
        w.Int32(1).Int32(0).Int32(1).Int32(2);
        for (int f = 0; f < frames; ++f)
            w.Floats(
                {1, 0, 0, 0, 1, 0, 0, 0, 1, static_cast<float>(f), static_cast<float>(5 * b), 0});
    }
    return w;
}

// A character part: one triangle per bone index given.
ByteWriter Part(const std::vector<int16_t>& bones, const std::string& texture = "") {
    ByteWriter w;
    w.Int32(static_cast<int32_t>(bones.size()));
    for (int16_t bone : bones) {
        w.Int32(static_cast<int32_t>(texture.size())).Text(texture);
        w.Int32(3);
        for (const ModelVertex& v : {Vertex(0, 0, 0), Vertex(2, 0, 0), Vertex(0, 2, 0)}) {
            WriteVertex(w, v);
            w.Int16(bone);
        }
        w.Int32(1).Int32(0).Int32(1).Int32(2);
    }
    return w;
}

// Each message text with the number of times it was shown.
std::map<std::string, int> Counted(const std::vector<std::string>& messages) {
    std::map<std::string, int> counts;
    for (const std::string& m : messages) ++counts[m];
    return counts;
}

class FrameFaults : public ::testing::Test {
protected:
    void SetUp() override {
        textureDir = dir.Path() / "textr";
        fs::create_directories(textureDir);
        context = MakeContext(kWidth, kHeight);
        ASSERT_TRUE(context);
        frame = std::make_unique<CMainFrame>(ui, clock, run, textureDir.string() + "/", nullptr);
        frame->SetWindow(context.get());
        frame->m_pControlPanel = &panel;
        ASSERT_EQ(frame->OnCreate(), 0);
        frame->OnSize(SIZE_RESTORED, kWidth, kHeight);
        ASSERT_TRUE(frame->m_bActive && frame->m_bDeviceReady);
        ui.messages.clear();  // the software-device notice, on llvmpipe
        // Unlit, so that a texel shows as it is.
        frame->m_pDevice->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    }
    void TearDown() override {
        if (frame) frame->OnDestroy();
    }

    std::string Save(const std::string& name, const ByteWriter& file) {
        const std::string path = (dir.Path() / name).string();
        file.SaveAs(path);
        return path;
    }
    void SaveTexture(const std::string& name, uint32_t rgba) {
        ByteWriter tga;
        tga.bytes = EncodeTga(2, 2, {rgba, rgba, rgba, rgba}, TgaLayout{});
        tga.SaveAs((textureDir / name).string());
    }
    // `ticks` idle passes of a playing animation, each a little over 1/30 s after the last.
    void Play(int ticks) {
        run.m_bPlaying = true;
        for (int i = 0; i < ticks; ++i) {
            clock.Advance(0.034);  // a little over the tick interval
            frame->PlayStep();
        }
    }
    Rgb CentreOfTheSquare() {
        frame->m_pDevice->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
        EXPECT_TRUE(frame->RedrawFrame());
        RgbaImage image;
        EXPECT_TRUE(context->ReadPresented(image));
        return At(image, image.width / 2, image.height / 2);
    }

    TempDir dir;
    fs::path textureDir;
    RecordingUiServices ui;
    RecordingControlPanel panel;
    ManualClock clock;
    RunState run;
    std::unique_ptr<EglSurfacelessContext> context;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(FrameFaults, TextureFilesThatVanishOrBreakBetweenLoads) {
    SaveTexture("wall.tga", 0xC83232FFu);
    const std::string first =
        Save("first.tsl", StaticTessel({Square(0, 10, 0, 8, -1, "wall.tga")}));
    ASSERT_EQ(frame->OpenTesselFile(first, false), OpenResult::Opened);
    EXPECT_TRUE(ui.messages.empty());
    const Rgb wall = CentreOfTheSquare();
    EXPECT_PRED3(Near, wall, (Rgb{200, 50, 50}), 8);

    // The image file goes away: a model naming it again draws it from the
    // image loaded before, also on the device made after a resize.
    fs::remove(textureDir / "wall.tga");
    const std::string second =
        Save("second.tsl", StaticTessel({Square(0, 10, 0, 9, -1, "WALL.TGA")}));
    ASSERT_EQ(frame->OpenTesselFile(second, false), OpenResult::Opened);
    Play(10);
    context->SetClientSize(80, 60);
    frame->OnSize(SIZE_RESTORED, 80, 60);
    Play(10);
    EXPECT_PRED3(Near, CentreOfTheSquare(), wall, 2);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();

    // A damaged image: the model opens, the object draws untextured, and
    // the problem is shown once with the file's name, not on every frame.
    std::ofstream(textureDir / "roof.tga", std::ios::binary) << "TGA? no";
    const std::string third =
        Save("third.tsl", StaticTessel({Square(0, 10, 0, 8, -1, "roof.tga")}));
    ASSERT_EQ(frame->OpenTesselFile(third, false), OpenResult::Opened);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("Create Texture Error!!: 'roof.tga'\n", 0), 0u)
        << ui.messages[0];
    EXPECT_NE(ui.messages[0].find((textureDir / "roof.tga").string()), std::string::npos)
        << ui.messages[0];
    Play(40);
    context->SetClientSize(64, 48);
    frame->OnSize(SIZE_RESTORED, 64, 48);
    Play(40);
    EXPECT_EQ(ui.messages.size(), 1u);

    // Mended, the image is read at the next load that names it.
    SaveTexture("roof.tga", 0x3264C8FFu);
    ASSERT_EQ(frame->OpenTesselFile(third, false), OpenResult::Opened);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_PRED3(Near, CentreOfTheSquare(), (Rgb{50, 100, 200}), 8);
}

TEST_F(FrameFaults, ModelsReplacedWhilePlaying) {
    const std::string biped = Save("walk.bpd", Skeleton(2, 10));
    const std::string part = Save("body.mrv", Part({0, 1}));
    const std::string mill = Save("mill.tsl", AnimatedTessel(8));
    ASSERT_EQ(frame->OpenBipedFile(biped), OpenResult::Opened);
    ASSERT_EQ(frame->OpenPartFile(0, part, false), OpenResult::Opened);
    ASSERT_EQ(frame->OpenTesselFile(mill, false), OpenResult::Opened);
    Play(25);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(frame->m_nFrame, 25 % 10);
    EXPECT_EQ(frame->m_pTessel->currentFrame, 24 % 8);

    // Shorter models in the middle of the animation: every counter stays
    // within the frames of what is loaded now.
    ASSERT_EQ(frame->OpenTesselFile(Save("flag.tsl", AnimatedTessel(3)), false),
              OpenResult::Opened);
    ASSERT_EQ(frame->OpenBipedFile(Save("short.bpd", Skeleton(2, 4))), OpenResult::Opened);
    for (int i = 0; i < 12; ++i) {
        Play(1);
        ASSERT_GE(frame->m_nFrame, 0);
        ASSERT_LT(frame->m_nFrame, 4);
        ASSERT_GE(frame->m_pTessel->currentFrame, 0);
        ASSERT_LT(frame->m_pTessel->currentFrame, 3);
    }
    EXPECT_TRUE(ui.messages.empty());

    // A skeleton with fewer bones than the part uses: the part's vertex on
    // the missing bone keeps its place; the mismatch is said once, when the
    // skeleton is opened, and not on any frame.
    ASSERT_EQ(frame->OpenBipedFile(Save("one-bone.bpd", Skeleton(1, 6))), OpenResult::Opened);
    frame->m_bShow[SLOT_SKELETON] = true;
    Play(30);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("body.mrv: made for another skeleton"), std::string::npos)
        << ui.messages[0];
    ui.messages.clear();

    // Damaged files while playing: each is shown once; a damaged skeleton
    // leaves the one that plays, a damaged part or model empties its slot.
    const Biped* playing = frame->m_pBiped.get();
    ByteWriter cut = Skeleton(2, 10);
    cut.bytes.resize(cut.bytes.size() / 2);
    EXPECT_EQ(frame->OpenBipedFile(Save("cut.bpd", cut)), OpenResult::Damaged);
    EXPECT_EQ(frame->m_pBiped.get(), playing);
    ByteWriter badPart = Part({0});
    badPart.bytes.resize(badPart.bytes.size() - 6);
    EXPECT_EQ(frame->OpenPartFile(0, Save("cut.mrv", badPart), false), OpenResult::Damaged);
    EXPECT_FALSE(frame->m_pParts[0]);
    ByteWriter badModel = AnimatedTessel(5);
    badModel.bytes.resize(40);
    EXPECT_EQ(frame->OpenTesselFile(Save("cut.tsl", badModel), false), OpenResult::Damaged);
    Play(30);
    ASSERT_EQ(ui.messages.size(), 3u);
    for (const auto& [text, times] : Counted(ui.messages)) EXPECT_EQ(times, 1) << text;
    EXPECT_NE(ui.messages[0].find("cut.bpd"), std::string::npos) << ui.messages[0];
    EXPECT_NE(ui.messages[1].find("cut.mrv"), std::string::npos) << ui.messages[1];
    EXPECT_NE(ui.messages[2].find("cut.tsl"), std::string::npos) << ui.messages[2];

    // A file that goes away between the dialog and the reading.
    EXPECT_EQ(frame->OpenTesselFile((dir.Path() / "gone.tsl").string(), false),
              OpenResult::Unreadable);
    Play(5);
    EXPECT_EQ(ui.messages.size(), 4u);
}

TEST_F(FrameFaults, ClientAreaOfZeroSizeAndMinimisedWindowWhilePlaying) {
    ASSERT_EQ(frame->OpenTesselFile(Save("mill.tsl", AnimatedTessel(8)), false),
              OpenResult::Opened);
    ASSERT_EQ(frame->OpenBipedFile(Save("walk.bpd", Skeleton(2, 10))), OpenResult::Opened);
    Play(5);

    // A client area of no size (or a negative one from a confused window
    // system): the device stays as it is, playing goes on without a crash.
    for (int32_t size : {0, -7}) {
        SCOPED_TRACE(size);
        context->SetClientSize(0, 0);
        frame->OnSize(SIZE_RESTORED, size, size);
        ASSERT_TRUE(frame->m_bDeviceReady);
        ASSERT_TRUE(frame->m_pDevice);
        EXPECT_EQ(frame->m_pRenderTarget->Width(), kWidth);
        Play(10);
        frame->OnPaint();
    }
    context->SetClientSize(kWidth, kHeight);
    frame->OnSize(SIZE_RESTORED, kWidth, kHeight);
    const int presents = context->PresentCount();
    Play(3);
    EXPECT_EQ(context->PresentCount(), presents + 3);

    // Minimised: nothing is drawn or presented and the animation waits.
    frame->OnSize(SIZE_MINIMIZED, 0, 0);
    const int32_t waitingAt = frame->m_nFrame;
    const int presentsBefore = context->PresentCount();
    Play(20);
    frame->OnPaint();
    EXPECT_EQ(context->PresentCount(), presentsBefore);
    EXPECT_EQ(frame->m_nFrame, waitingAt);
    // Restored at another size: a new device, and the animation goes on.
    context->SetClientSize(100, 30);
    frame->OnSize(SIZE_RESTORED, 100, 30);
    ASSERT_TRUE(frame->m_bDeviceReady);
    EXPECT_EQ(frame->m_pRenderTarget->Width(), 100u);
    Play(4);
    EXPECT_EQ(frame->m_nFrame, (waitingAt + 4) % 10);
    EXPECT_EQ(context->PresentCount(), presentsBefore + 4);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
}

}  // namespace
