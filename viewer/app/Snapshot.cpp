#include "Snapshot.h"

#include <QImage>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "ConsoleUiServices.h"
#include "EglContext.h"
#include "MainFrame.h"
#include "QtImageLoader.h"
#include "RunState.h"

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "zintaro: %s\n", message.c_str());
    return 1;
}

// Textures of a model are looked up in the "textr" folder beside the model
// file when there is one, else in the program's texture directory.
void UseTexturesBeside(CMainFrame& frame, const std::string& modelPath,
                       const std::string& programDirectory) {
    std::error_code ec;
    const fs::path beside = fs::path(modelPath).parent_path() / "textr";
    frame.m_pTextures->SetSearchPath(fs::is_directory(beside, ec) ? beside.string() + "/"
                                                                  : programDirectory);
}

std::FILE* OpenModel(const std::string& path, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = path + ": is a directory";
        return nullptr;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) error = path + ": cannot be opened";
    return file;
}

bool LoadBiped(CMainFrame& frame, const std::string& path, std::string& error) {
    std::FILE* file = OpenModel(path, error);
    if (!file) return false;
    auto biped = std::make_unique<Biped>();
    std::string problem;
    const bool ok = biped->Load(file, problem);
    std::fclose(file);
    if (!ok) {
        error = path + ": " + problem;
        return false;
    }
    frame.m_pBiped = std::move(biped);
    frame.m_nFrame = 0;
    return true;
}

bool LoadPart(CMainFrame& frame, int slot, const std::string& path, std::string& error) {
    std::FILE* file = OpenModel(path, error);
    if (!file) return false;
    auto part = std::make_unique<CharacterPart>(*frame.m_pTextures);
    std::string problem;
    const int32_t faces = part->Load(file, frame.m_pDevice.get(), frame.Ui(), problem);
    std::fclose(file);
    if (faces == 0) {
        error = path + ": " + (problem.empty() ? std::string("the part has no faces") : problem);
        return false;
    }
    frame.m_pParts[slot] = std::move(part);
    frame.m_nFrame = 0;
    return true;
}

bool LoadTessel(CMainFrame& frame, const std::string& path, std::string& error) {
    std::FILE* file = OpenModel(path, error);
    if (!file) return false;
    auto model = std::make_unique<TesselModel>(*frame.m_pTextures);
    std::string problem;
    const int32_t faces = model->Load(file, frame.m_pDevice.get(), frame.Ui(), problem);
    std::fclose(file);
    if (faces == 0 && !problem.empty()) {
        error = path + ": " + problem;
        return false;
    }
    frame.m_pTessel = std::move(model);
    return true;
}

}  // namespace

std::string ProgramTextureDirectory() {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "textr/";
    return (program.parent_path() / "textr").string() + "/";
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

    if (frame.OnCreate() != 0) return Fail("the rendering device cannot be created");

    if (!options.biped.empty() && !LoadBiped(frame, options.biped, error)) return Fail(error);
    for (const auto& item : options.parts) {
        UseTexturesBeside(frame, item.second, programTextureDirectory);
        if (!LoadPart(frame, item.first, item.second, error)) return Fail(error);
    }
    if (!options.tessel.empty()) {
        UseTexturesBeside(frame, options.tessel, programTextureDirectory);
        if (!LoadTessel(frame, options.tessel, error)) return Fail(error);
    }
    frame.m_pTextures->SetSearchPath(programTextureDirectory);

    frame.OnSize(SIZE_RESTORED, static_cast<int32_t>(options.width),
                 static_cast<int32_t>(options.height));
    for (int32_t i = 0; i < options.ticks; ++i) frame.AdvanceAnimation();
    frame.RedrawFrame();

    RgbaImage image;
    if (context->PresentCount() == 0 || !context->ReadPresented(image))
        return Fail("the frame could not be rendered");
    QImage png(image.rgba.data(), static_cast<int>(image.width), static_cast<int>(image.height),
               static_cast<qsizetype>(image.width) * 4, QImage::Format_RGBA8888);
    // The picture on screen is opaque whatever alpha the clear colour left.
    if (!png.convertToFormat(QImage::Format_RGB32).save(QString::fromStdString(options.snapshotPath),
                                                        "PNG"))
        return Fail(options.snapshotPath + ": the image cannot be written");
    return 0;
}
