#include "viewer/app/Snapshot.h"

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "viewer/app/ConsoleUiServices.h"
#include "viewer/platform/QtImageLoader.h"
#include "viewer/render/EglContext.h"
#include "viewer/render/MainFrame.h"
#include "viewer/render/RunState.h"

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "zintaro: %s\n", message.c_str());
    return 1;
}

}  // namespace

void ApplyViewOptions(const ViewerOptions& options, CMainFrame& frame) {
    if (options.hasYaw) frame.m_fYaw = options.yaw;
    if (options.hasPitch) frame.m_fPitch = options.pitch;
    if (options.hasPan) {
        frame.m_fPanX = options.panX;
        frame.m_fPanY = options.panY;
    }
    if (options.hasFov) frame.m_fFov = options.fov;
    frame.m_nLightRed = options.light[0];
    frame.m_nLightGreen = options.light[1];
    frame.m_nLightBlue = options.light[2];
    frame.m_nBackRed = options.background[0];
    frame.m_nBackGreen = options.background[1];
    frame.m_nBackBlue = options.background[2];
    frame.ApplyBackgroundColour();
    frame.m_bWireframe = options.wireframe;
    for (const auto& item : options.show) frame.m_bShow[item.first] = item.second;
}

bool OpenCommandLineFiles(const ViewerOptions& options, CMainFrame& frame) {
    bool allOpened = true;
    if (!options.biped.empty() && frame.OpenBipedFile(options.biped) != OpenResult::Opened)
        allOpened = false;
    for (const auto& item : options.parts) {
        const OpenResult result = frame.OpenPartFile(item.first, item.second, false);
        if (result == OpenResult::Empty)
            frame.Ui().MessageBox(item.second + ": the part holds no faces");
        if (result != OpenResult::Opened) allOpened = false;
    }
    if (!options.tessel.empty() &&
        frame.OpenTesselFile(options.tessel, false) != OpenResult::Opened)
        allOpened = false;
    return allOpened;
}

std::string TextureDirectoryOf(const std::string& programPath) {
    const size_t slash = programPath.find_last_of('/');
    if (slash == std::string::npos) return "textr/";
    return programPath.substr(0, slash) + "/textr/";
}

std::string ProgramTextureDirectory() {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "textr/";
    return TextureDirectoryOf(program.string());
}

int RunSnapshot(const ViewerOptions& options, const std::string& programTextureDirectory) {
    std::string error;
    std::unique_ptr<EglSurfacelessContext> context =
        EglSurfacelessContext::Create(options.width, options.height, error);
    if (!context) return Fail("no OpenGL context for the snapshot: " + error);

    ConsoleUiServices ui;
    SteadyClock clock;
    RunState run;
    QtImageLoader bitmapLoader;
    CMainFrame frame(ui, clock, run, programTextureDirectory, &bitmapLoader);
    frame.SetWindow(context.get());

    // The settings go in before the device is made, so that the scene set-up
    // applies them.
    ApplyViewOptions(options, frame);

    if (frame.OnCreate() != 0) return Fail("the rendering device cannot be created");

    if (!OpenCommandLineFiles(options, frame)) return 1;

    frame.OnSize(SIZE_RESTORED, static_cast<int32_t>(options.width),
                 static_cast<int32_t>(options.height));
    for (int32_t i = 0; i < options.ticks; ++i) frame.AdvanceAnimation();
    if (options.fit) frame.FitView();
    frame.RedrawFrame();

    RgbaImage image;
    if (context->PresentCount() == 0 || !context->ReadPresented(image))
        return Fail("the frame could not be rendered");
    QImage png(image.rgba.data(), static_cast<int>(image.width), static_cast<int>(image.height),
               static_cast<qsizetype>(image.width) * 4, QImage::Format_RGBA8888);
    // The picture on screen is opaque whatever alpha the clear colour left.
    if (!png.convertToFormat(QImage::Format_RGB32)
             .save(QString::fromStdString(options.snapshotPath), "PNG"))
        return Fail(options.snapshotPath + ": the image cannot be written");
    return 0;
}
