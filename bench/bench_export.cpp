// Export speed, each beside `assimp export` of the same input in the same run:
//   a static scene of 1,000,000 triangles (16 grid objects of 62,500, each
//   within the file's 65,536 vertices per object) to OBJ, and
//   a skinned character (12,000 vertices, 24 bones) over 300 frames to glTF;
// both as whole programs (scene read included, as `assimp export` reads it)
// and the plug-in's export alone on a scene already read. The vertex split
// stage alone is measured in corners per second, beside meshoptimizer's
// vertex remap on the same corners when that library is installed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "ConsoleUi.h"
#include "DialogAnswers.h"
#include "GltfBuilder.h"
#include "HostScene.h"
#include "TesselExp.h"
#include "VertexSplit.h"

#if defined(HAVE_MESHOPTIMIZER)
#include <meshoptimizer.h>
#endif

namespace {

namespace fs = std::filesystem;

fs::path WorkDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("bench_export_" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// 16 grids of 125 x 250 quads with texture coordinates.
const std::string& StaticScene() {
    static std::string path;
    if (!path.empty()) return path;
    path = (WorkDir() / "static_1m.glb").string();
    GltfBuilder b;
    const int mat = b.AddMaterial("Ground", "ground.bmp");
    const int nx = 125, ny = 250;
    for (int g = 0; g < 16; ++g) {
        GltfBuilder::Primitive p;
        p.material = mat;
        for (int y = 0; y <= ny; ++y)
            for (int x = 0; x <= nx; ++x) {
                const float h = 0.3f * std::sin(0.2f * x + g) * std::cos(0.15f * y);
                p.positions.insert(p.positions.end(), {float(x + (g % 4) * nx), h, float(y + (g / 4) * ny)});
                p.uvs.insert(p.uvs.end(), {float(x) / nx, float(y) / ny});
            }
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                const uint32_t i = static_cast<uint32_t>(y * (nx + 1) + x), w = nx + 1;
                p.indices.insert(p.indices.end(), {i, i + w, i + 1, i + 1, i + w, i + w + 1});
            }
        b.AddNode("Ground" + std::to_string(g), -1, b.AddMesh({p}));
    }
    b.Write(path);
    return path;
}

// A tube of 12,000 vertices around a chain of 24 bones that sway over 10 s.
const std::string& SkinnedScene() {
    static std::string path;
    if (!path.empty()) return path;
    path = (WorkDir() / "skinned_300.glb").string();
    GltfBuilder b;
    const int bones = 24, rings = 240, around = 50;
    const float length = 24.0f;
    std::vector<int> joints;
    for (int j = 0; j < bones; ++j) {
        const int n = b.AddNode("Bone" + std::to_string(j), j == 0 ? -1 : joints.back());
        b.NodeAt(n).translation = {0.0f, j == 0 ? 0.0f : length / bones, 0.0f};
        joints.push_back(n);
    }
    std::vector<float> ibm;
    for (int j = 0; j < bones; ++j) {
        const float y = -j * length / bones;
        ibm.insert(ibm.end(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, y, 0, 1});
    }
    GltfBuilder::Primitive p;
    for (int r = 0; r < rings; ++r) {
        const float y = r * length / (rings - 1);
        const float at = y / length * (bones - 1);
        const int j0 = std::min(bones - 2, static_cast<int>(at));
        const float w1 = at - j0;
        for (int a = 0; a < around; ++a) {
            const float t = 2.0f * float(M_PI) * a / around;
            p.positions.insert(p.positions.end(), {std::cos(t), y, std::sin(t)});
            p.uvs.insert(p.uvs.end(), {float(a) / around, float(r) / rings});
            p.joints.insert(p.joints.end(), {uint16_t(j0), uint16_t(j0 + 1), 0, 0});
            p.weights.insert(p.weights.end(), {1.0f - w1, w1, 0.0f, 0.0f});
        }
    }
    for (int r = 0; r + 1 < rings; ++r)
        for (int a = 0; a < around; ++a) {
            const uint32_t i = static_cast<uint32_t>(r * around + a), n = static_cast<uint32_t>(r * around + (a + 1) % around);
            p.indices.insert(p.indices.end(), {i, i + around, n, n, i + around, n + around});
        }
    const int body = b.AddNode("Body", -1, b.AddMesh({p}));
    b.NodeAt(body).skin = b.AddSkin(joints, ibm);
    std::vector<float> times, values;
    for (int k = 0; k <= 10; ++k) times.push_back(k * 0.999f);
    for (int j = 0; j < bones; ++j) {
        values.clear();
        for (int k = 0; k <= 10; ++k) {
            const double half = 0.5 * 0.15 * std::sin(k + j * 0.5);
            values.insert(values.end(), {0.0f, 0.0f, float(std::sin(half)), float(std::cos(half))});
        }
        b.Animate(joints[static_cast<size_t>(j)], "rotation", times, values);
    }
    b.Write(path);
    return path;
}

bool Run(const std::string& cmd) {
    if (std::system((cmd + " > /dev/null 2>&1").c_str()) == 0) return true;
    std::fprintf(stderr, "failed: %s\n", cmd.c_str());
    return false;
}

void ProgramExport(benchmark::State& state, const std::string& scene) {
    const std::string out = (WorkDir() / "out.tsl").string();
    const std::string cmd = std::string(BIN_DIR) + "/tessel-export '" + scene + "' '" + out + "' --all";
    for (auto _ : state)
        if (!Run(cmd)) state.SkipWithError("tessel-export failed");
    state.counters["bytes"] = static_cast<double>(fs::file_size(out));
}

void AssimpExport(benchmark::State& state, const std::string& scene, const std::string& ext) {
    const std::string out = (WorkDir() / ("peer." + ext)).string();
    const std::string cmd = "assimp export '" + scene + "' '" + out + "'";
    for (auto _ : state)
        if (!Run(cmd)) state.SkipWithError("assimp export failed");
    state.counters["bytes"] = static_cast<double>(fs::file_size(out));
}

// The plug-in's export alone, on a scene already read.
void PluginExport(benchmark::State& state, const std::string& path) {
    std::string error;
    std::unique_ptr<HostScene> scene = HostScene::Load(path, error);
    if (!scene) {
        state.SkipWithError(error.c_str());
        return;
    }
    SetTicksPerFrame(scene->TicksPerFrame());
    std::FILE* quiet = std::fopen("/dev/null", "w");
    ConsoleUi ui(quiet);
    ExportDialogAnswers all;
    all.take = ExportDialogAnswers::Take::All;
    std::vector<std::string> missing;
    ui.dialogAnswers = [&](DialogWindow& d) { AnswerExportDialog(d, all, missing); };
    SetHostUi(&ui);
    HostInterface ip(*scene, ui);
    const std::string out = (WorkDir() / "plugin.tsl").string();
    for (auto _ : state) {
        TesselExp exp;
        if (exp.DoExport(out.c_str(), nullptr, &ip, FALSE, 0) != 1) state.SkipWithError("export failed");
    }
    SetHostUi(nullptr);
    std::fclose(quiet);
    state.counters["bytes"] = static_cast<double>(fs::file_size(out));
}

void BM_Static1M_TesselExport(benchmark::State& s) { ProgramExport(s, StaticScene()); }
void BM_Static1M_AssimpExportObj(benchmark::State& s) { AssimpExport(s, StaticScene(), "obj"); }
void BM_Static1M_PluginOnly(benchmark::State& s) { PluginExport(s, StaticScene()); }
void BM_Skinned300_TesselExport(benchmark::State& s) { ProgramExport(s, SkinnedScene()); }
void BM_Skinned300_AssimpExportGltf(benchmark::State& s) { AssimpExport(s, SkinnedScene(), "gltf"); }
void BM_Skinned300_PluginOnly(benchmark::State& s) { PluginExport(s, SkinnedScene()); }

BENCHMARK(BM_Static1M_TesselExport)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Static1M_AssimpExportObj)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Static1M_PluginOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Skinned300_TesselExport)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Skinned300_AssimpExportGltf)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Skinned300_PluginOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

// The split stage alone: 3,000,000 corners of a welded grid mesh of 707 x 707
// quads with texture seams every 8 quads.
struct SplitInput {
    std::vector<Point3> positions;
    std::vector<TexturePair> table;
    std::vector<int32_t> cornerVertex, cornerTexture;
};

const SplitInput& GridCorners() {
    static SplitInput in;
    if (!in.cornerVertex.empty()) return in;
    const int n = 707;  // quads per side
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) {
            in.positions.emplace_back(float(x), float(y), 0.0f);
            in.table.push_back({float(x % 9) / 8, float(y % 9) / 8});
        }
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int32_t i = y * (n + 1) + x, w = n + 1;
            for (int32_t c : {i, i + w, i + 1, i + 1, i + w, i + w + 1}) {
                in.cornerVertex.push_back(c);
                in.cornerTexture.push_back(c);
            }
        }
    return in;
}

void BM_VertexSplit(benchmark::State& state) {
    const SplitInput& in = GridCorners();
    std::vector<int32_t> classes;
    SplitLayout layout;
    for (auto _ : state) {
        PositionClasses(in.positions.data(), in.positions.size(), classes);
        SplitVertices(in.cornerVertex.data(), in.cornerTexture.data(), in.cornerVertex.size(), classes, in.table,
                      layout);
        benchmark::DoNotOptimize(layout.Count());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.cornerVertex.size()));
    state.counters["vertices"] = static_cast<double>(layout.Count());
}
BENCHMARK(BM_VertexSplit)->Unit(benchmark::kMillisecond);

#if defined(HAVE_MESHOPTIMIZER)
// meshoptimizer's vertex remap on the same corners, each corner written out
// as its position and texture pair (20 bytes) as that function takes them.
// Goal: the split above at least as fast.
void BM_MeshoptVertexRemap(benchmark::State& state) {
    const SplitInput& in = GridCorners();
    struct Corner {
        float x, y, z, u, v;
    };
    std::vector<Corner> stream;
    for (size_t k = 0; k < in.cornerVertex.size(); ++k) {
        const Point3& p = in.positions[static_cast<size_t>(in.cornerVertex[k])];
        const TexturePair& t = in.table[static_cast<size_t>(in.cornerTexture[k])];
        stream.push_back({p.x, p.y, p.z, t.u, t.v});
    }
    std::vector<unsigned int> remap(stream.size());
    size_t unique = 0;
    for (auto _ : state) {
        unique = meshopt_generateVertexRemap(remap.data(), nullptr, stream.size(), stream.data(), stream.size(),
                                             sizeof(Corner));
        benchmark::DoNotOptimize(remap.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
    state.counters["vertices"] = static_cast<double>(unique);
}
BENCHMARK(BM_MeshoptVertexRemap)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(WorkDir(), ignored);
    return 0;
}
