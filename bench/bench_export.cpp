// Export speed, each beside `assimp export` of the same input in the same run:
//   a static scene of 1,000,000 triangles (16 grid objects of 62,500, each
//   within the file's 65,536 vertices per object) to OBJ, and
//   a skinned object (12,100 vertices, 24 bones) over 301 frames to glTF;
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

#include "bench/BenchScenes.h"
#include "exporter/host/ConsoleUi.h"
#include "exporter/host/DialogAnswers.h"
#include "exporter/host/HostScene.h"
#include "exporter/plugin/TesselExp.h"
#include "exporter/writer/VertexSplit.h"

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

const std::string& StaticScene() {
    static const std::string path = [] {
        const std::string p = (WorkDir() / "static_1m.glb").string();
        if (!WriteStaticMillionScene(p)) std::fprintf(stderr, "cannot write %s\n", p.c_str());
        return p;
    }();
    return path;
}

const std::string& SkinnedScene() {
    static const std::string path = [] {
        const std::string p = (WorkDir() / "moving_12100.glb").string();
        if (!WriteMovingObjectScene(p)) std::fprintf(stderr, "cannot write %s\n", p.c_str());
        return p;
    }();
    return path;
}

bool Run(const std::string& cmd) {
    if (std::system((cmd + " > /dev/null 2>&1").c_str()) == 0) return true;
    std::fprintf(stderr, "failed: %s\n", cmd.c_str());
    return false;
}

void ProgramExport(benchmark::State& state, const std::string& scene) {
    const std::string out = (WorkDir() / "out.tsl").string();
    const std::string cmd =
        std::string(BIN_DIR) + "/tessel-export '" + scene + "' '" + out + "' --all";
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
        if (exp.DoExport(out.c_str(), nullptr, &ip, FALSE, 0) != 1)
            state.SkipWithError("export failed");
    }
    SetHostUi(nullptr);
    std::fclose(quiet);
    state.counters["bytes"] = static_cast<double>(fs::file_size(out));
}

void BM_Static1M_TesselExport(benchmark::State& s) {
    ProgramExport(s, StaticScene());
}
void BM_Static1M_AssimpExportObj(benchmark::State& s) {
    AssimpExport(s, StaticScene(), "obj");
}
void BM_Static1M_PluginOnly(benchmark::State& s) {
    PluginExport(s, StaticScene());
}
void BM_Skinned300_TesselExport(benchmark::State& s) {
    ProgramExport(s, SkinnedScene());
}
void BM_Skinned300_AssimpExportGltf(benchmark::State& s) {
    AssimpExport(s, SkinnedScene(), "gltf");
}
void BM_Skinned300_PluginOnly(benchmark::State& s) {
    PluginExport(s, SkinnedScene());
}

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
        SplitVertices(in.cornerVertex.data(), in.cornerTexture.data(), in.cornerVertex.size(),
                      classes, in.table, layout);
        benchmark::DoNotOptimize(layout.Count());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(in.cornerVertex.size()));
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
        unique = meshopt_generateVertexRemap(remap.data(), nullptr, stream.size(), stream.data(),
                                             stream.size(), sizeof(Corner));
        benchmark::DoNotOptimize(remap.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(stream.size()));
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
