// What the application tests share: model files written to disk, the main
// window's frame on a real OpenGL context (EGL surfaceless, no display) with
// the recording UI services, and pixel checks on what it presents.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/BipedWriter.h"
#include "tests/support/ManualClock.h"
#include "tests/support/ModelFileWriter.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "viewer/app/ControlDlg.h"
#include "viewer/app/ViewerApp.h"
#include "viewer/app/ViewerFrame.h"
#include "viewer/render/EglContext.h"

// ---- Model files -----------------------------------------------------------

// A square of half-size h around (cx, cy) in the plane z = 0, facing the
// camera, as the vertices and indices of a mesh.
inline std::vector<ModelVertex> SquareVertices(float cx, float cy, float h) {
    return {Vertex(cx - h, cy - h, 0, 0, 0, -1, 0, 1), Vertex(cx - h, cy + h, 0, 0, 0, -1, 0, 0),
            Vertex(cx + h, cy + h, 0, 0, 0, -1, 1, 0), Vertex(cx + h, cy - h, 0, 0, 0, -1, 1, 1)};
}
inline const std::vector<int32_t> kSquareIndices = {0, 1, 2, 0, 2, 3};

// A part of one square bound to bone 0, optionally textured.
inline ByteWriter SquarePart(float cx, float cy, float h, const std::string& texture = "") {
    return PartFile({{texture, SquareVertices(cx, cy, h), {0, 0, 0, 0}, kSquareIndices}});
}

// A Tessel model of one static square.
inline ByteWriter SquareTessel(float cx, float cy, float h) {
    return TesselFile(1, {{"", {SquareVertices(cx, cy, h)}, kSquareIndices}}, {});
}

// A bone's triangle above the centre of the view, clockwise as the camera
// sees it (the other way round it would be culled).
inline const std::vector<float> kBoneTriangle = {-3, 14, 0, 0, 19, 0, 3, 14, 0};

// A biped of one bone with one triangle over `corners`; frame k moves the
// bone by k * dx along x.
inline ByteWriter MovingBiped(int frames, float dx, const std::vector<float>& corners) {
    return OneBoneBiped(frames, corners, dx);
}

// ---- Pixels ------------------------------------------------------------------

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

inline Rgb At(const RgbaImage& image, uint32_t x, uint32_t y) {
    const uint8_t* p = image.Pixel(x, y);
    return {p[0], p[1], p[2]};
}

inline bool Near(const Rgb& a, const Rgb& b, int tolerance = 2) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

// Equal but for rounding.
inline bool Close(const Rgb& a, const Rgb& b) {
    return Near(a, b, 2);
}

// Pixels of the columns [x0, x1) that differ from `background`.
inline int CountNot(const RgbaImage& image, const Rgb& background, uint32_t x0 = 0,
                    uint32_t x1 = 0) {
    if (x1 == 0) x1 = image.width;
    int n = 0;
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = x0; x < x1; ++x)
            if (!Near(At(image, x, y), background)) ++n;
    return n;
}

// The recording UI services with a look at the moment each message box is shown.
using WatchingUi = RecordingUiServices;

// ---- The frame on a real context -------------------------------------------

// The main window's frame (with its Qt control panel and colour dialogs) on
// an EGL surfaceless context of 96 x 72 pixels. The scene's camera puts the
// world point (0, 10, 0) at the centre; x from about -20 to 20 is in view.
class FrameTest : public ::testing::Test {
protected:
    static constexpr uint32_t kWidth = 96, kHeight = 72;

    void SetUp() override {
        std::filesystem::create_directories(dir.Path() / "programtextr");
        std::string error;
        context = EglSurfacelessContext::Create(kWidth, kHeight, error);
        ASSERT_TRUE(context) << error;
        frame = std::make_unique<ViewerFrame>(
            ui, clock, run, (dir.Path() / "programtextr").string() + "/", nullptr, nullptr);
        frame->SetWindow(context.get());
        app.SetFrame(frame.get());
    }

    void TearDown() override {
        app.SetFrame(nullptr);
        frame.reset();
    }

    // Window creation (device, control panel) and the first size message.
    void Open() {
        ASSERT_EQ(frame->OnCreate(), 0);
        frame->OnSize(0, kWidth, kHeight);
        ASSERT_TRUE(frame->m_bActive && frame->m_bDeviceReady);
        ASSERT_NE(Panel(), nullptr);
        // The software-rendering notice, if any, is not what the tests look at.
        ui.messages.clear();
    }

    CControlDlg* Panel() const { return frame->ControlPanel(); }
    QWidget* Item(int id) const { return Panel()->Item(id); }
    std::string Text(int id) const;
    void Click(int id) { QTest::mouseClick(Item(id), Qt::LeftButton); }

    // Writes a file into the test directory and queues it as the next
    // answer of the open-file dialog.
    std::string Answer(const ByteWriter& file, const std::string& name) {
        const std::string path = file.SaveAs(dir.File(name));
        ui.answers.push_back(path);
        return path;
    }

    RgbaImage Presented() {
        RgbaImage image;
        EXPECT_TRUE(context->ReadPresented(image));
        return image;
    }

    Rgb Background() const { return {frame->m_nBackRed, frame->m_nBackGreen, frame->m_nBackBlue}; }

    TempDir dir;
    WatchingUi ui;
    ManualClock clock;
    // The application object: its run flags and its idle loop drive the frame.
    CViewerApp app;
    RunState& run = app;
    std::unique_ptr<EglSurfacelessContext> context;
    std::unique_ptr<ViewerFrame> frame;
};
