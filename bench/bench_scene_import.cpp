// Reading a scene through the importing child process (the host's way)
// beside reading it in this process, on the same file in the same run: the
// cost of surviving the importer's crashes. Files: the largest third-party
// scene (a 1.1 MB 3ds Max ASE export) and a generated glTF mesh of 200,000
// triangles, whose scene crosses the pipe as about 10 MB.
#include <benchmark/benchmark.h>

#include <assimp/Importer.hpp>
#include <filesystem>
#include <string>

#include "exporter/host/HostScene.h"
#include "exporter/host/SceneImport.h"
#include "tests/support/GltfBuilder.h"

namespace {

const std::string kLargest =
    std::string(TEST_SCENES_DIR) + "/assimp/test/models/ASE/MotionCaptureROM.ase";

const std::string& BigMesh() {
    static std::string path;
    if (!path.empty()) return path;
    path = (std::filesystem::temp_directory_path() / "bench_scene_import_200k.glb").string();
    GltfBuilder b;
    GltfBuilder::Primitive grid;
    const int side = 317;  // 316 x 316 squares, 2 triangles each
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            grid.positions.insert(grid.positions.end(),
                                  {float(x), float((x * y) % 7) * 0.1f, float(y)});
            grid.uvs.insert(grid.uvs.end(), {x / float(side), y / float(side)});
        }
    for (int y = 0; y + 1 < side; ++y)
        for (int x = 0; x + 1 < side; ++x) {
            const uint32_t i = uint32_t(y * side + x);
            grid.indices.insert(grid.indices.end(),
                                {i, i + 1, i + side, i + 1, i + side + 1, i + side});
        }
    b.AddNode("Ground", -1, b.AddMesh({grid}));
    b.Write(path);
    return path;
}

void Isolated(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        std::string error;
        std::unique_ptr<HostScene> scene = HostScene::Load(path, error);
        if (!scene) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(scene.get());
    }
}

void InProcess(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        Assimp::Importer importer;
        std::string why, error;
        const aiScene* ai = ReadSceneInProcess(importer, path, why);
        std::unique_ptr<HostScene> scene = ai ? HostScene::FromImported(*ai, path, error) : nullptr;
        if (!scene) state.SkipWithError((why + error).c_str());
        benchmark::DoNotOptimize(scene.get());
    }
}

void BM_Largest_InProcess(benchmark::State& state) {
    InProcess(state, kLargest);
}
void BM_Largest_Isolated(benchmark::State& state) {
    Isolated(state, kLargest);
}
void BM_BigMesh_InProcess(benchmark::State& state) {
    InProcess(state, BigMesh());
}
void BM_BigMesh_Isolated(benchmark::State& state) {
    Isolated(state, BigMesh());
}

BENCHMARK(BM_Largest_InProcess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Largest_Isolated)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BigMesh_InProcess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BigMesh_Isolated)->Unit(benchmark::kMillisecond);

}  // namespace
