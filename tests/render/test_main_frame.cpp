// The main window's device life and scene on a real Mesa context: device
// creation and re-creation, the scene states, camera and light input, the
// frame loop's pacing, and the frames it presents.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>

#include "tests/render/RenderTestKit.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RecordingControlPanel.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "tests/support/TgaWriter.h"
#include "viewer/model/VertexMath.h"
#include "viewer/render/MainFrame.h"
#include "viewer/render/SceneMath.h"

namespace {

constexpr uint32_t kWidth = 64, kHeight = 48;

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        textureDir = dir.Path() / "textr";
        std::filesystem::create_directories(textureDir);
        context = MakeContext(kWidth, kHeight);
        ASSERT_TRUE(context);
        frame = std::make_unique<CMainFrame>(ui, clock, run, textureDir.string() + "/", nullptr);
        frame->SetWindow(context.get());
        frame->m_pControlPanel = &panel;
    }

    // Window creation and its first size message.
    void Open() {
        ASSERT_EQ(frame->OnCreate(), 0);
        frame->OnSize(SIZE_RESTORED, kWidth, kHeight);
        ASSERT_TRUE(frame->m_bActive && frame->m_bDeviceReady);
    }

    RgbaImage Presented() {
        RgbaImage image;
        EXPECT_TRUE(context->ReadPresented(image));
        return image;
    }

    void LoadTessel(const ByteWriter& file) {
        auto model = std::make_unique<TesselModel>(*frame->m_pTextures);
        std::string error;
        ASSERT_GT(model->LoadFromMemory(file.bytes.data(), file.bytes.size(),
                                        frame->m_pDevice.get(), ui, error),
                  0)
            << error;
        frame->m_pTessel = std::move(model);
    }

    void LoadBiped(const ByteWriter& file) {
        auto biped = std::make_unique<Biped>();
        std::string error;
        ASSERT_TRUE(biped->LoadFromMemory(file.bytes.data(), file.bytes.size(), error)) << error;
        frame->m_pBiped = std::move(biped);
    }

    D3DMATRIX Transform(D3DTRANSFORMSTATETYPE type) {
        D3DMATRIX m{};
        EXPECT_EQ(frame->m_pDevice->GetTransform(type, m), S_OK);
        return m;
    }

    TempDir dir;
    std::filesystem::path textureDir;
    RecordingUiServices ui;
    RecordingControlPanel panel;
    ManualClock clock;
    RunState run;
    std::unique_ptr<EglSurfacelessContext> context;
    std::unique_ptr<CMainFrame> frame;
};

// Where a world point lands in an image of the given size with the initial
// camera (view translation (0, -10, 50), field of view 0.6).
void ImagePoint(float x, float y, float z, int& px, int& py, uint32_t width = kWidth,
                uint32_t height = kHeight) {
    const float c = std::cos(0.3f) / std::sin(0.3f);
    const float aspect = static_cast<float>(height) / static_cast<float>(width);
    const float depth = z + 50.0f;
    px = static_cast<int>((aspect * c * x / depth + 1) / 2 * static_cast<float>(width));
    py = static_cast<int>((1 - c * (y - 10) / depth) / 2 * static_cast<float>(height));
}

TEST_F(MainFrameTest, DeviceFollowsTheWindowThroughCreationResizeAndDestruction) {
    const bool software = IsSoftwareRenderer(context->Renderer());
    ASSERT_EQ(frame->OnCreate(), 0);
    EXPECT_TRUE(frame->m_bDeviceReady);
    EXPECT_FALSE(frame->m_bActive);  // until the first size message
    ASSERT_TRUE(frame->m_pDevice);
    EXPECT_EQ(frame->m_pRenderTarget->Width(), kWidth);
    EXPECT_EQ(frame->m_pRenderTarget->Height(), kHeight);
    // A software rasteriser is the software device, announced once.
    ASSERT_EQ(ui.messages.size(), software ? 1u : 0u);
    if (software) {
        EXPECT_EQ(ui.messages[0], kSoftwareRenderingNotice);
    }
    EXPECT_EQ(frame->PresentFrame(), E_FAIL);  // not shown yet

    frame->OnSize(SIZE_RESTORED, kWidth, kHeight);
    EXPECT_TRUE(frame->m_bActive);
    EXPECT_EQ(frame->PresentFrame(), S_OK);

    // A resize makes a target of the new size and sets the scene up again.
    context->SetClientSize(80, 40);
    frame->OnSize(SIZE_RESTORED, 80, 40);
    ASSERT_TRUE(frame->m_bDeviceReady);
    EXPECT_EQ(frame->m_pRenderTarget->Width(), 80u);
    EXPECT_EQ(frame->m_pRenderTarget->Height(), 40u);
    EXPECT_EQ(frame->m_fAspect, 0.5f);
    EXPECT_EQ(ui.messages.size(), software ? 1u : 0u);  // not repeated at every resize
    frame->m_dwClearColour = 0x00FF8000;
    EXPECT_FALSE(frame->RedrawFrame());  // nothing to draw, but cleared and presented
    RgbaImage image = Presented();
    EXPECT_EQ(image.width, 80u);
    EXPECT_PIXEL(image, 79, 39, (Rgb{255, 128, 0}), 0);

    // Minimised: the device stays, nothing is presented.
    const int presents = context->PresentCount();
    frame->OnSize(SIZE_MINIMIZED, 0, 0);
    EXPECT_FALSE(frame->m_bActive);
    EXPECT_TRUE(frame->m_bDeviceReady);
    ASSERT_TRUE(frame->m_pDevice);
    EXPECT_EQ(frame->PresentFrame(), E_FAIL);
    frame->OnPaint();
    EXPECT_EQ(context->PresentCount(), presents);
    frame->OnSize(SIZE_RESTORED, 80, 40);
    EXPECT_TRUE(frame->m_bActive);
    EXPECT_EQ(frame->m_pRenderTarget->Width(), 80u);

    frame->OnDestroy();
    EXPECT_FALSE(frame->m_pDevice);
    EXPECT_FALSE(frame->m_pRenderTarget);
    EXPECT_FALSE(frame->m_bDeviceReady);
    EXPECT_FALSE(frame->RedrawFrame());
}

TEST_F(MainFrameTest, ComingBackAtAnotherSizeRecreatesTheDevice) {
    Open();
    frame->OnSize(SIZE_MINIMIZED, 0, 0);
    context->SetClientSize(100, 50);
    frame->OnSize(SIZE_MAXIMIZED, 100, 50);
    EXPECT_TRUE(frame->m_bActive);
    EXPECT_EQ(frame->m_pRenderTarget->Width(), 100u);
    EXPECT_EQ(frame->m_fAspect, 0.5f);
}

TEST_F(MainFrameTest, FailedRecreationDestroysTheWindow) {
    Open();
    // Larger than any render target OpenGL makes.
    context->SetClientSize(1u << 20, 16);
    frame->OnSize(SIZE_RESTORED, 1 << 20, 16);
    EXPECT_FALSE(frame->m_bDeviceReady);
    EXPECT_FALSE(frame->m_pDevice);
    EXPECT_EQ(frame->Window(), nullptr);
    EXPECT_LE(ui.messages.size(), 1u);
}

TEST_F(MainFrameTest, WindowWithoutClientAreaCannotBeCreated) {
    context->SetClientSize(0, 0);
    EXPECT_EQ(frame->OnCreate(), -1);
    EXPECT_FALSE(frame->m_bDeviceReady);
}

TEST_F(MainFrameTest, SetupSceneAppliesTheSceneToEveryNewDevice) {
    Open();
    frame->m_fYaw = 0.4f;
    frame->m_fPitch = -0.2f;
    frame->m_fFov = 1.0f;
    frame->m_nLightRed = 0;
    frame->OnWireFrame();
    context->SetClientSize(96, 48);
    frame->OnSize(SIZE_RESTORED, 96, 48);
    ASSERT_TRUE(frame->m_pDevice);
    GlRenderDevice& device = *frame->m_pDevice;

    D3DMATRIX projection;
    ASSERT_EQ(SetProjectionMatrix(projection, 1.0f, 0.5f, 10.0f, 300.0f), S_OK);
    const D3DMATRIX actual = Transform(D3DTRANSFORMSTATE_PROJECTION);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(actual[i], projection[i]) << i;
    const D3DMATRIX world = Transform(D3DTRANSFORMSTATE_WORLD);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(world[i], (i % 5 == 0) ? 1.0f : 0.0f);
    float p[3] = {0, 0, 0};
    const float origin[3] = {0, 0, 0};
    TransformPoint(p, origin, Transform(D3DTRANSFORMSTATE_VIEW));
    EXPECT_FLOAT_EQ(p[2], 50.0f);

    D3DLIGHT7 light;
    ASSERT_EQ(device.GetLight(0, light), S_OK);
    EXPECT_EQ(light.dltType, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.dcvDiffuse.r, 0.0f);
    EXPECT_FLOAT_EQ(light.dcvDiffuse.g, 1.0f);
    EXPECT_EQ(light.dvDirection.x, 1000.0f);
    EXPECT_EQ(light.dvDirection.y, -1000.0f);

    EXPECT_EQ(device.GetRenderState(D3DRENDERSTATE_ZENABLE), D3DZB_TRUE);
    EXPECT_EQ(device.GetRenderState(D3DRENDERSTATE_LIGHTING), 1u);
    EXPECT_EQ(device.GetRenderState(D3DRENDERSTATE_AMBIENT), 0x55555555u);
    EXPECT_EQ(device.GetRenderState(D3DRENDERSTATE_ALPHATESTENABLE), 1u);
    EXPECT_EQ(device.GetRenderState(D3DRENDERSTATE_ALPHAREF), 0x40u);
    EXPECT_EQ(device.GetRenderState(D3DRENDERSTATE_ALPHAFUNC), D3DCMP_GREATER);
    // The wire-frame switch outlives the device it was set on.
    EXPECT_EQ(device.GetRenderState(D3DRENDERSTATE_FILLMODE), D3DFILL_WIREFRAME);
}

TEST(SceneMath, ProjectionMatrixFollowsTheFormulaOrRefuses) {
    D3DMATRIX m;
    ASSERT_EQ(SetProjectionMatrix(m, 0.6f, 0.75f, 10.0f, 300.0f), S_OK);
    const double c = std::cos(0.3) / std::sin(0.3), q = 300.0 / 290.0;
    const double expected[16] = {0.75 * c, 0, 0, 0, 0, c, 0, 0, 0, 0, q, 1, 0, 0, -q * 10, 0};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], expected[i], 1e-5) << i;

    D3DMATRIX untouched;
    for (int i = 0; i < 16; ++i) untouched[i] = 7.0f;
    EXPECT_EQ(SetProjectionMatrix(untouched, 0.6f, 0.75f, 10.0f, 10.005f), E_INVALIDARG);
    EXPECT_EQ(SetProjectionMatrix(untouched, 0.01f, 0.75f, 10.0f, 300.0f), E_INVALIDARG);
    EXPECT_EQ(SetProjectionMatrix(untouched, 2 * 3.14159265f, 0.75f, 10.0f, 300.0f), E_INVALIDARG);
    EXPECT_EQ(SetProjectionMatrix(untouched, std::nanf(""), 0.75f, 10.0f, 300.0f), E_INVALIDARG);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(untouched[i], 7.0f);
}

TEST_F(MainFrameTest, ViewTurnsByYawThenPitchThenMovesByThePan) {
    Open();
    frame->m_fYaw = 0.5f;
    frame->m_fPitch = 0.3f;
    frame->m_fPanX = 4.0f;
    frame->m_fPanY = -6.0f;
    frame->UpdateView();
    const D3DMATRIX view = Transform(D3DTRANSFORMSTATE_VIEW);
    const float point[3] = {3.0f, -2.0f, 7.0f};
    // About Y by the yaw, about X by the pitch, then the translation.
    const double cy = std::cos(0.5), sy = std::sin(0.5), cp = std::cos(0.3), sp = std::sin(0.3);
    const double x1 = 3 * cy + 7 * sy, z1 = -3 * sy + 7 * cy, y1 = -2;
    const double y2 = y1 * cp - z1 * sp, z2 = y1 * sp + z1 * cp;
    float out[3];
    ASSERT_EQ(TransformPoint(out, point, view), S_OK);
    EXPECT_NEAR(out[0], x1 + 4, 1e-4);
    EXPECT_NEAR(out[1], y2 - 6, 1e-4);
    EXPECT_NEAR(out[2], z2 + 50, 1e-4);
}

TEST_F(MainFrameTest, RefusedProjectionFallsBackToTheStartingMatrix) {
    Open();
    // Planes that coincide: the fixed starting matrix is used.
    frame->m_fFarPlane = frame->m_fNearPlane;
    EXPECT_EQ(frame->UpdateProjection(), S_OK);
    const D3DMATRIX projection = Transform(D3DTRANSFORMSTATE_PROJECTION);
    const float fallback[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(projection[i], fallback[i]) << i;
}

TEST_F(MainFrameTest, RightDragChangesTheFieldOfViewWithinItsLimits) {
    Open();
    frame->OnRButtonDown({10, 10});
    frame->OnMouseMove(MK_RBUTTON, {10, 11});
    EXPECT_FLOAT_EQ(frame->m_fFov, 0.63f);
    D3DMATRIX expected;
    SetProjectionMatrix(expected, frame->m_fFov, 0.75f, 10.0f, 300.0f);
    EXPECT_FLOAT_EQ(Transform(D3DTRANSFORMSTATE_PROJECTION)[5], expected[5]);
    for (int i = 0; i < 200; ++i) frame->OnMouseMove(MK_RBUTTON, {50, 30});
    EXPECT_EQ(frame->m_fFov, 3.141592f);
    // Level with the press point narrows; the press point is the reference.
    frame->OnMouseMove(MK_RBUTTON, {90, 10});
    EXPECT_FLOAT_EQ(frame->m_fFov, 3.141592f - 0.03f);
    for (int i = 0; i < 200; ++i) frame->OnMouseMove(MK_RBUTTON, {10, 2});
    EXPECT_EQ(frame->m_fFov, 0.03f);
    // Other key combinations leave it alone.
    frame->OnMouseMove(MK_RBUTTON | MK_SHIFT, {10, 50});
    frame->OnMouseMove(MK_RBUTTON | MK_LBUTTON, {10, 50});
    EXPECT_EQ(frame->m_fFov, 0.03f);
}

TEST_F(MainFrameTest, LeftDragTurnsByFixedStepsAndRedrawsEachChange) {
    Open();
    frame->OnLButtonDown({100, 100});
    int presents = context->PresentCount();
    frame->OnMouseMove(MK_LBUTTON, {101, 100});
    EXPECT_EQ(frame->m_fYaw, -0.20943952f);
    EXPECT_EQ(frame->m_fPitch, 0.0f);
    EXPECT_EQ(context->PresentCount(), presents + 1);
    // Diagonal, any distance: both change, two redraws.
    presents = context->PresentCount();
    frame->OnMouseMove(MK_LBUTTON, {40, 30});
    EXPECT_EQ(frame->m_fYaw, 0.0f);
    EXPECT_EQ(frame->m_fPitch, 0.20943952f);
    EXPECT_EQ(context->PresentCount(), presents + 2);
    frame->OnMouseMove(MK_LBUTTON, {40, 31});
    EXPECT_EQ(frame->m_fPitch, 0.0f);
    // No movement, or other keys held: nothing.
    presents = context->PresentCount();
    frame->OnMouseMove(MK_LBUTTON, {40, 31});
    frame->OnMouseMove(MK_LBUTTON | MK_CONTROL, {90, 90});
    frame->OnMouseMove(0, {0, 0});
    EXPECT_EQ(frame->m_fYaw, 0.0f);
    EXPECT_EQ(frame->m_fPitch, 0.0f);
    EXPECT_EQ(context->PresentCount(), presents);
    // The turn reaches the device's view.
    frame->OnMouseMove(MK_LBUTTON, {41, 31});
    const float origin[3] = {10, 0, 0};
    float out[3];
    TransformPoint(out, origin, Transform(D3DTRANSFORMSTATE_VIEW));
    EXPECT_NEAR(out[2], 50 + 10 * std::sin(0.20943952), 1e-4);
}

TEST_F(MainFrameTest, ArrowKeysPanAndSpaceSteps) {
    Open();
    LoadBiped(OneTriangleBiped(std::array<float, 9>{0, 0, 0, 1, 0, 0, 0, 1, 0}.data()));
    frame->OnKeyDown(VK_LEFT);
    frame->OnKeyDown(VK_LEFT);
    frame->OnKeyDown(VK_UP);
    EXPECT_EQ(frame->m_fPanX, -4.0f);
    EXPECT_EQ(frame->m_fPanY, -8.0f);
    frame->OnKeyDown(VK_RIGHT);
    frame->OnKeyDown(VK_DOWN);
    frame->OnKeyDown(VK_DOWN);
    EXPECT_EQ(frame->m_fPanX, -2.0f);
    EXPECT_EQ(frame->m_fPanY, -12.0f);
    const float origin[3] = {0, 0, 0};
    float out[3];
    TransformPoint(out, origin, Transform(D3DTRANSFORMSTATE_VIEW));
    EXPECT_FLOAT_EQ(out[0], -2.0f);
    EXPECT_FLOAT_EQ(out[1], -12.0f);

    frame->OnKeyDown(VK_SPACE);
    ASSERT_EQ(panel.characterFrames.size(), 1u);
    EXPECT_EQ(panel.characterFrames[0], "1/1");
}

TEST_F(MainFrameTest, TickStepsAtMostOnceAnIntervalAndNeverCatchesUp) {
    Open();
    ByteWriter biped;
    biped.Int32(1).Int32(3).Int32(3).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    biped.Int32(1).Int32(0).Int32(1).Int32(2);
    for (int f = 0; f < 3; ++f) biped.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
    LoadBiped(biped);
    frame->m_fLastTickTime = clock.now;
    frame->TickFrame();  // less than 1/30 s since the last step
    EXPECT_TRUE(panel.characterFrames.empty());
    clock.Advance(0.02);
    frame->TickFrame();
    EXPECT_TRUE(panel.characterFrames.empty());
    clock.Advance(0.014);  // 0.034 s in all
    frame->TickFrame();
    ASSERT_EQ(panel.characterFrames.size(), 1u);
    frame->TickFrame();
    EXPECT_EQ(panel.characterFrames.size(), 1u);
    // Ten seconds late: still one step.
    clock.Advance(10.0);
    frame->TickFrame();
    frame->TickFrame();
    ASSERT_EQ(panel.characterFrames.size(), 2u);
    EXPECT_EQ(panel.characterFrames[1], "2/3");
    EXPECT_EQ(frame->m_nFrame, 2);
}

TEST_F(MainFrameTest, PlayStepCountsRenderedFramesPerSecond) {
    Open();
    frame->m_fFpsLastTime = clock.now;
    for (int i = 0; i < 3; ++i) {
        clock.Advance(0.25);
        EXPECT_FALSE(frame->PlayStep());  // nothing loaded: drawn, but nothing drawn
    }
    EXPECT_TRUE(panel.fpsTexts.empty());
    clock.Advance(0.5);
    frame->PlayStep();
    ASSERT_EQ(panel.fpsTexts.size(), 1u);
    EXPECT_EQ(panel.fpsTexts[0], "3.20");  // 4 frames in 1.25 s
    EXPECT_EQ(frame->m_nFpsFrames, 0);
    EXPECT_EQ(frame->m_fFpsLastTime, clock.now);
    // Minimised: not drawn, still counted.
    frame->OnSize(SIZE_MINIMIZED, 0, 0);
    const int presents = context->PresentCount();
    EXPECT_FALSE(frame->PlayStep());
    EXPECT_EQ(frame->m_nFpsFrames, 1);
    EXPECT_EQ(context->PresentCount(), presents);
}

TEST_F(MainFrameTest, LightRotatesAboutYOneStepPerInterval) {
    Open();
    frame->m_fLastLightTime = clock.now;
    EXPECT_TRUE(frame->RotateLightStep());  // not due yet
    EXPECT_EQ(frame->m_vLightDir[0], 1000.0f);
    clock.Advance(0.04);
    frame->RotateLightStep();
    const double c = std::cos(0.05), s = std::sin(0.05);
    EXPECT_NEAR(frame->m_vLightDir[0], 1000 * c + 1000 * s, 1e-2);
    EXPECT_EQ(frame->m_vLightDir[1], -1000.0f);
    EXPECT_NEAR(frame->m_vLightDir[2], -1000 * s + 1000 * c, 1e-2);
    D3DLIGHT7 light;
    frame->m_pDevice->GetLight(0, light);
    EXPECT_EQ(light.dvDirection.x, frame->m_vLightDir[0]);
    EXPECT_EQ(light.dvDirection.z, frame->m_vLightDir[2]);
    // The step matrix is Ry(0.05).
    const D3DMATRIX expected = RotationY(0.05f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(frame->m_matLightStep[i], expected[i]);
    EXPECT_FLOAT_EQ(expected[2], -std::sin(0.05f));
}

TEST_F(MainFrameTest, LightChangesRedrawAtOnceOnlyWhileNotPlaying) {
    Open();
    int presents = context->PresentCount();
    frame->ApplyLight();
    EXPECT_EQ(context->PresentCount(), presents + 1);
    run.m_bPlaying = true;
    presents = context->PresentCount();
    frame->m_nLightGreen = 0;
    EXPECT_FALSE(frame->ApplyLight());
    EXPECT_EQ(context->PresentCount(), presents);
    D3DLIGHT7 light;
    frame->m_pDevice->GetLight(0, light);
    EXPECT_EQ(light.dcvDiffuse.g, 0.0f);  // set, shown with the next frame
}

TEST_F(MainFrameTest, BackgroundColourClearsTheView) {
    Open();
    frame->m_nBackRed = 10;
    frame->m_nBackGreen = 20;
    frame->m_nBackBlue = 200;
    frame->ApplyBackgroundColour();
    EXPECT_EQ(frame->m_dwClearColour, 0x000A14C8u);
    RgbaImage image = Presented();
    EXPECT_EQ(CountNot(image, Rgb{10, 20, 200}, 0), 0);
}

TEST_F(MainFrameTest, ModelsAreLitByTheSceneLight) {
    Open();
    // Left square faces the camera and the light, right square faces away.
    LoadTessel(StaticTessel({Square(-8, 10, 0, 3, -1), Square(8, 10, 0, 3, +1)}));
    EXPECT_TRUE(frame->RedrawFrame());
    int lx, ly, rx, ry;
    ImagePoint(-8, 10, 0, lx, ly);
    ImagePoint(8, 10, 0, rx, ry);
    RgbaImage image = Presented();
    // The light (1, -1, 1) meets the front at cos = 1/sqrt(3): 85/255 + 0.577.
    EXPECT_PIXEL(image, lx, ly, (Rgb{232, 232, 232}), 1);
    // The other square's front faces the camera but not the light: ambient only.
    EXPECT_PIXEL(image, rx, ry, (Rgb{0x55, 0x55, 0x55}), 1);

    frame->m_nLightRed = frame->m_nLightGreen = frame->m_nLightBlue = 0;
    frame->ApplyLight();
    image = Presented();
    EXPECT_PIXEL(image, lx, ly, (Rgb{0x55, 0x55, 0x55}), 1);
    EXPECT_PIXEL(image, rx, ry, (Rgb{0x55, 0x55, 0x55}), 1);

    // Hidden by its switch: nothing drawn.
    frame->m_bShow[SLOT_TESSEL] = false;
    EXPECT_FALSE(frame->RedrawFrame());
    EXPECT_EQ(CountNot(Presented(), Rgb{0, 0, 0}, 0), 0);
}

TEST_F(MainFrameTest, SkeletonIsDrawnAsLinesWithWireFrameOff) {
    Open();
    const float corners[9] = {-12, 0, 0, 0, 24, 0, 12, 0, 0};
    LoadBiped(OneTriangleBiped(corners));
    frame->m_bShow[SLOT_SKELETON] = true;
    frame->m_fLastTickTime = -1;
    EXPECT_TRUE(frame->TickFrame());
    RgbaImage image = Presented();
    int cx, cy;
    ImagePoint(0, 8, 0, cx, cy);
    EXPECT_PIXEL(image, cx, cy, (Rgb{0, 0, 0}), 0);  // the inside stays empty
    // The edges: bone vertices have no normals, so only the ambient grey lights them.
    int grey = 0;
    for (uint32_t i = 0; i < image.width * image.height; ++i)
        if (Near(At(image, i % image.width, i / image.width), Rgb{0x55, 0x55, 0x55}, 1)) ++grey;
    EXPECT_GT(grey, 30);
    EXPECT_EQ(CountNot(image, Rgb{0, 0, 0}, 0), grey);
    EXPECT_EQ(frame->m_pDevice->GetRenderState(D3DRENDERSTATE_FILLMODE), D3DFILL_SOLID);
}

TEST_F(MainFrameTest, WireFrameSwitchDrawsModelsAsEdges) {
    Open();
    LoadTessel(StaticTessel({Square(0, 10, 0, 8, -1)}));
    EXPECT_TRUE(frame->RedrawFrame());
    int cx, cy;
    ImagePoint(0, 10, 0, cx, cy);
    const int solid = CountNot(Presented(), Rgb{0, 0, 0});
    EXPECT_PIXEL(Presented(), cx, cy, (Rgb{232, 232, 232}), 1);
    frame->OnWireFrame();
    EXPECT_TRUE(frame->OnUpdateWireFrame());
    RgbaImage wire = Presented();  // OnWireFrame redrew
    EXPECT_PIXEL(wire, cx + 2, cy + 1, (Rgb{0, 0, 0}), 0);
    EXPECT_GT(CountNot(wire, Rgb{0, 0, 0}), 20);
    EXPECT_LT(CountNot(wire, Rgb{0, 0, 0}), solid / 2);
    frame->OnWireFrame();
    EXPECT_FALSE(frame->OnUpdateWireFrame());
    EXPECT_PIXEL(Presented(), cx, cy, (Rgb{232, 232, 232}), 1);
}

TEST_F(MainFrameTest, TexturesKeepTheirColoursAndSurviveDeviceRecreation) {
    Open();
    // A 24-bit image goes into a 16-bit texture: colours within 5/6-bit steps.
    const std::vector<uint32_t> pixels = {0xC86432FFu, 0x0DFA4DFFu, 0x3366CCFFu, 0xF0F0F0FFu};
    TgaLayout layout;
    ByteWriter tga;
    tga.bytes = EncodeTga(2, 2, pixels, layout);
    tga.SaveAs((textureDir / "Wall.tga").string());
    frame->m_nLightRed = frame->m_nLightGreen = frame->m_nLightBlue = 0;
    frame->ApplyLight();
    frame->m_pDevice->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);  // unlit: the texel itself
    LoadTessel(StaticTessel({Square(0, 10, 0, 8, -1, "wall.TGA")}));
    ASSERT_TRUE(ui.messages.size() <= 1u) << ui.messages.back();
    const TextureEntry* entry = frame->m_pTextures->Entry(0);
    ASSERT_TRUE(entry && entry->surface);
    EXPECT_EQ(entry->surface->Desc().ddpfPixelFormat.dwRGBBitCount, 16u);

    auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        frame->m_pDevice->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
        frame->m_pDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, 1);
        ASSERT_TRUE(frame->RedrawFrame());
        RgbaImage image = Presented();
        int left, top, right, bottom;
        ImagePoint(-4, 14, 0, left, top, image.width, image.height);
        ImagePoint(4, 6, 0, right, bottom, image.width, image.height);
        const Rgb expected[4] = {{200, 100, 50}, {13, 250, 77}, {51, 102, 204}, {240, 240, 240}};
        const int xs[2] = {left, right}, ys[2] = {top, bottom};
        for (int i = 0; i < 4; ++i) EXPECT_PIXEL(image, xs[i % 2], ys[i / 2], expected[i], 8);
    };
    check("first device");
    const size_t messages = ui.messages.size();
    context->SetClientSize(80, 60);
    frame->OnSize(SIZE_RESTORED, 80, 60);
    ASSERT_TRUE(frame->m_pDevice);
    check("after the resize");
    EXPECT_EQ(ui.messages.size(), messages);  // no "GetSurface Error!!"
}

TEST_F(MainFrameTest, DrawingMessagesFollowThePresentedFrameOncePerLoad) {
    Open();
    ui.messages.clear();  // the software-rendering notice
    // Three objects that name no texture, and no texture registered.
    const std::string grid =
        StaticTessel({Square(-8, 10, 0, 3, -1), Square(0, 10, 0, 3, -1), Square(8, 10, 0, 3, -1)})
            .SaveAs(dir.File("grid.tsl"));
    std::vector<int> presentedBefore;
    ui.onMessage = [&](const std::string&) { presentedBefore.push_back(context->PresentCount()); };
    const int presents = context->PresentCount();
    ASSERT_EQ(frame->OpenTesselFile(grid, false), OpenResult::Opened);
    // One box for the three objects, once the frame is on the screen; the
    // frame has every object.
    EXPECT_EQ(ui.messages, std::vector<std::string>{"GetSurface Error!!"});
    EXPECT_EQ(presentedBefore, std::vector<int>{presents + 1});
    EXPECT_GT(CountNot(Presented(), {0, 0, 0}), 3 * 20);
    EXPECT_EQ(frame->m_pDevice->CachedGeometryEntries(), 3u);
    for (int i = 0; i < 3; ++i) frame->RedrawFrame();
    EXPECT_EQ(ui.messages.size(), 1u);

    // The next load may say it again; the buffers of the model that went
    // are released with the first frame of the new one.
    const std::string single =
        StaticTessel({Square(0, 10, 0, 3, -1)}).SaveAs(dir.File("single.tsl"));
    ASSERT_EQ(frame->OpenTesselFile(single, false), OpenResult::Opened);
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(frame->m_pDevice->CachedGeometryEntries(), 1u);
}

}  // namespace
