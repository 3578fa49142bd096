// Frame rates of the viewer's rendering, headless at 1024 x 768 on the
// machine's OpenGL (Mesa llvmpipe without a GPU), each beside its baseline
// in the same run:
//   BM_PlayingScene          a character (20 bones, five skinned parts of 4,000
//                            triangles) beside a small building, one animation
//                            step per frame, as the play loop runs
//   BM_TesselMillion         a 1,000,000-triangle Tessel model, static geometry
//                            kept on the GL side between frames
//   BM_TesselMillionUpload   the same with every object changed before each
//                            frame: the cost the geometry cache saves
//   BM_SnapshotProcess       `zintaro --snapshot` of the same model: start,
//                            load, render one frame, write the PNG
//   BM_F3dProcess            f3d rendering the same model (as PLY) to a PNG of
//                            the same size: the peer figure
#include <benchmark/benchmark.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "tests/support/ManualClock.h"
#include "tests/support/ModelFileWriter.h"
#include "viewer/platform/UiServices.h"
#include "viewer/render/EglContext.h"
#include "viewer/render/MainFrame.h"
#include "viewer/render/RunState.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kWidth = 1024, kHeight = 768;

class QuietUi : public UiServices {
public:
    void MessageBox(const std::string& text) override { last = text; }
    bool OpenFileDialog(const std::string&, const std::string&, std::string&) override {
        return false;
    }
    std::string last;
};

// A wavy sheet of columns x rows quads in front of the camera, spanning
// x in [x0, x1] and y in [y0, y1], with per-vertex normals of the surface.
TesselObjectSpec Sheet(int columns, int rows, float x0, float x1, float y0, float y1) {
    TesselObjectSpec o;
    std::vector<ModelVertex> vertices;
    vertices.reserve(static_cast<size_t>(columns + 1) * (rows + 1));
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= columns; ++i) {
            const float x = x0 + (x1 - x0) * static_cast<float>(i) / static_cast<float>(columns);
            const float y = y0 + (y1 - y0) * static_cast<float>(j) / static_cast<float>(rows);
            const float z = std::sin(x * 0.7f) * std::cos(y * 0.5f);
            // Normal of z = f(x, y), pointing to the camera (-z).
            const float dx = 0.7f * std::cos(x * 0.7f) * std::cos(y * 0.5f);
            const float dy = -0.5f * std::sin(x * 0.7f) * std::sin(y * 0.5f);
            const float length = std::sqrt(dx * dx + dy * dy + 1.0f);
            vertices.push_back({x, y, z, dx / length, dy / length, -1.0f / length,
                                static_cast<float>(i) / static_cast<float>(columns),
                                static_cast<float>(j) / static_cast<float>(rows)});
        }
    }
    o.frames.push_back(std::move(vertices));
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            const int a = j * (columns + 1) + i, b = a + 1, c = a + columns + 1, d = c + 1;
            // Clockwise as seen from the camera.
            o.indices.insert(o.indices.end(), {a, c, d, a, d, b});
        }
    }
    return o;
}

// 20 strips of 250 x 100 quads: 1,000,000 triangles over the view.
std::vector<TesselObjectSpec> MillionTriangles() {
    std::vector<TesselObjectSpec> objects;
    for (int s = 0; s < 20; ++s) {
        const float y0 = -4.0f + 1.5f * static_cast<float>(s);
        objects.push_back(Sheet(250, 100, -22.0f, 22.0f, y0, y0 + 1.5f));
    }
    return objects;
}

std::string Directory() {
    static const fs::path dir =
        fs::temp_directory_path() / ("zintaro-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir.string();
}

// The million-triangle model as a Tessel file and, for f3d, as binary PLY.
const std::string& MillionTessel() {
    static const std::string path = [] {
        const std::string file = Directory() + "/million.tsl";
        TesselFile(1, MillionTriangles(), {}).SaveAs(file);
        return file;
    }();
    return path;
}

const std::string& MillionPly() {
    static const std::string path = [] {
        const std::string file = Directory() + "/million.ply";
        const std::vector<TesselObjectSpec> objects = MillionTriangles();
        size_t vertexCount = 0, faceCount = 0;
        for (const auto& o : objects) {
            vertexCount += o.frames[0].size();
            faceCount += o.indices.size() / 3;
        }
        std::ofstream out(file, std::ios::binary);
        out << "ply\nformat binary_little_endian 1.0\nelement vertex " << vertexCount
            << "\nproperty float x\nproperty float y\nproperty float z\n"
               "property float nx\nproperty float ny\nproperty float nz\n"
               "element face "
            << faceCount << "\nproperty list uchar int vertex_indices\nend_header\n";
        for (const auto& o : objects)
            for (const ModelVertex& v : o.frames[0])
                out.write(reinterpret_cast<const char*>(&v), 24);
        int32_t base = 0;
        for (const auto& o : objects) {
            for (size_t i = 0; i < o.indices.size(); i += 3) {
                const uint8_t three = 3;
                // PLY faces run counter-clockwise for their front side.
                const int32_t face[3] = {base + o.indices[i], base + o.indices[i + 2],
                                         base + o.indices[i + 1]};
                out.write(reinterpret_cast<const char*>(&three), 1);
                out.write(reinterpret_cast<const char*>(face), sizeof face);
            }
            base += static_cast<int32_t>(o.frames[0].size());
        }
        return file;
    }();
    return path;
}

// The main window's device and scene on a headless context of 1024 x 768.
struct Viewer {
    Viewer() {
        std::string error;
        context = EglSurfacelessContext::Create(kWidth, kHeight, error);
        if (!context) return;
        frame = std::make_unique<CMainFrame>(ui, clock, run, Directory() + "/", nullptr);
        frame->SetWindow(context.get());
        if (frame->OnCreate() != 0) {
            frame.reset();
            return;
        }
        frame->OnSize(SIZE_RESTORED, kWidth, kHeight);
    }
    ~Viewer() { frame.reset(); }

    bool LoadTessel(const ByteWriter& file) {
        auto model = std::make_unique<TesselModel>(*frame->m_pTextures);
        std::string error;
        if (model->LoadFromMemory(file.bytes.data(), file.bytes.size(), frame->m_pDevice.get(), ui,
                                  error) == 0)
            return false;
        frame->m_pTessel = std::move(model);
        return true;
    }

    // Waits until the frame is really drawn.
    void Finish() { glFinish(); }

    QuietUi ui;
    ManualClock clock;
    RunState run;
    std::unique_ptr<EglSurfacelessContext> context;
    std::unique_ptr<CMainFrame> frame;
};

void SetFrameCounters(benchmark::State& state, double triangles) {
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["triangles/s"] = benchmark::Counter(
        triangles * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_PlayingScene(benchmark::State& state) {
    Viewer viewer;
    if (!viewer.frame) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    CMainFrame& frame = *viewer.frame;
    // Skeleton: 20 bones of 12 triangles, 30 frames turning about y.
    constexpr int kBones = 20, kFrames = 30;
    auto biped = std::make_unique<Biped>();
    biped->boneCount = kBones;
    biped->frameCount = kFrames;
    biped->bones.resize(kBones);
    for (int b = 0; b < kBones; ++b) {
        BipedBone& bone = biped->bones[b];
        bone.triangleCount = 12;
        for (int k = 0; k < 36; ++k) {
            const float t = static_cast<float>(k);
            bone.bindVertices.push_back(
                {std::sin(t), std::cos(t * 1.3f), std::sin(t * 0.7f), 0, 0, 0, 0, 0});
        }
        bone.posedVertices = bone.bindVertices;
        for (int f = 0; f < kFrames; ++f) {
            const float a = 0.1f * static_cast<float>(f);
            D3DMATRIX m = IdentityMatrix();
            m[0] = std::cos(a);
            m[2] = -std::sin(a);
            m[8] = std::sin(a);
            m[10] = std::cos(a);
            m[13] = static_cast<float>(b);
            bone.matrices.push_back(m);
        }
    }
    frame.m_pBiped = std::move(biped);
    frame.m_bShow[SLOT_SKELETON] = true;
    // Five parts of 4,000 triangles each, every vertex on one of the bones.
    for (int slot = 0; slot < kPartSlots; ++slot) {
        TesselObjectSpec sheet = Sheet(50, 40, -4.0f + slot, 4.0f + slot, 0.0f, 18.0f);
        PartObjectSpec object;
        object.vertices = sheet.frames[0];
        for (size_t i = 0; i < object.vertices.size(); ++i)
            object.bones.push_back(static_cast<int16_t>((i / 100) % kBones));
        object.indices = sheet.indices;
        ByteWriter file = PartFile({object});
        auto part = std::make_unique<CharacterPart>(*frame.m_pTextures);
        std::string error;
        if (part->LoadFromMemory(file.bytes.data(), file.bytes.size(), frame.m_pDevice.get(),
                                 viewer.ui, error) == 0) {
            state.SkipWithError(error.c_str());
            return;
        }
        frame.m_pParts[slot] = std::move(part);
    }
    // A small building: two sheets of 500 triangles.
    if (!viewer.LoadTessel(
            TesselFile(1, {Sheet(25, 10, -20, -10, -5, 5), Sheet(25, 10, 10, 20, -5, 5)}, {}))) {
        state.SkipWithError("the building does not load");
        return;
    }
    const double triangles = kBones * 12 + kPartSlots * 4000 + 1000;
    for (auto _ : state) {
        viewer.clock.Advance(1.0 / 30.0);  // one animation step per frame
        frame.TickFrame();
        viewer.Finish();
    }
    SetFrameCounters(state, triangles);
}
BENCHMARK(BM_PlayingScene)->Unit(benchmark::kMillisecond)->UseRealTime();

void MillionFrames(benchmark::State& state, bool changeEveryFrame) {
    Viewer viewer;
    if (!viewer.frame) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    if (!viewer.LoadTessel(TesselFile(1, MillionTriangles(), {}))) {
        state.SkipWithError("the model does not load");
        return;
    }
    TesselModel& model = *viewer.frame->m_pTessel;
    float nudge = 1e-4f;
    for (auto _ : state) {
        if (changeEveryFrame) {
            // A change too small to see, but every object differs from the last frame.
            for (StaticObject& o : model.statics) o.vertices[0].z += nudge;
            nudge = -nudge;
        }
        viewer.frame->RedrawFrame();
        viewer.Finish();
    }
    SetFrameCounters(state, 1.0e6);
    state.counters["uploaded MB/frame"] =
        static_cast<double>(viewer.frame->m_pDevice->UploadedGeometryBytes()) / 1e6 /
        static_cast<double>(state.iterations() + 1);
}

void BM_TesselMillion(benchmark::State& state) {
    MillionFrames(state, false);
}
BENCHMARK(BM_TesselMillion)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_TesselMillionUpload(benchmark::State& state) {
    MillionFrames(state, true);
}
BENCHMARK(BM_TesselMillionUpload)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// Runs a command, timing its whole life; false when it fails.
bool Timed(const std::string& command, double& seconds) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0;
}

void BM_SnapshotProcess(benchmark::State& state) {
    const std::string command = std::string(BIN_DIR) + "/zintaro --snapshot " + Directory() +
                                "/zintaro.png --size 1024x768 --tessel " + MillionTessel();
    for (auto _ : state) {
        double seconds = 0;
        if (!Timed(command, seconds)) {
            state.SkipWithError("zintaro --snapshot failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_SnapshotProcess)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_F3dProcess(benchmark::State& state) {
    if (std::system("command -v f3d >/dev/null 2>&1") != 0) {
        state.SkipWithError("f3d is not installed (Debian package f3d)");
        return;
    }
    // f3d needs an X display; without one it gets a virtual one (Mesa as well).
    const bool display = std::getenv("DISPLAY") != nullptr;
    const std::string command = std::string(display ? "" : "xvfb-run -a ") +
                                "f3d --output=" + Directory() +
                                "/f3d.png --resolution=1024,768 --bg-color=0,0,0 " + MillionPly();
    for (auto _ : state) {
        double seconds = 0;
        if (!Timed(command, seconds)) {
            state.SkipWithError("f3d failed to render the model");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_F3dProcess)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // ZINTARO_BENCH_KEEP=1 keeps the model files and the two images to look at.
    if (!std::getenv("ZINTARO_BENCH_KEEP")) {
        std::error_code ec;
        fs::remove_all(Directory(), ec);
    } else {
        std::printf("files kept in %s\n", Directory().c_str());
    }
    return 0;
}
