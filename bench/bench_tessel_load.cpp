// Tessel load throughput: reading and checking a 50 MB Tessel file into a
// TesselModel, beside reading the same file into memory. Goal: loading
// within 2x of the raw read.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/ModelFileWriter.h"
#include "tests/support/RecordingUiServices.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureManager.h"

namespace {

constexpr int kStaticObjects = 30;
constexpr int kStaticVertices = 30000;
constexpr int kAnimatedObjects = 4;
constexpr int kFrames = 30;
constexpr int kAnimatedVertices = 3000;

// Writes the benchmark file once per run; removed at exit.
class BenchFile {
public:
    BenchFile() {
        char pattern[] = "/tmp/bench-tessel-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd < 0) std::abort();
        close(fd);
        path = pattern;
        std::vector<TesselObjectSpec> statics(kStaticObjects), animateds(kAnimatedObjects);
        for (int o = 0; o < kStaticObjects; ++o) {
            std::vector<ModelVertex> set;
            for (int j = 0; j < kStaticVertices; ++j) {
                const float t = static_cast<float>(j);
                set.push_back(Vertex(t, static_cast<float>(o), -t, 0, 1, 0, t * 0.01f, 0.5f));
            }
            statics[o].frames.push_back(std::move(set));
            for (int j = 0; j + 2 < kStaticVertices; ++j) {
                statics[o].indices.insert(statics[o].indices.end(), {j, j + 1, j + 2});
            }
        }
        for (int o = 0; o < kAnimatedObjects; ++o) {
            for (int k = 0; k < kFrames; ++k) {
                std::vector<ModelVertex> set;
                for (int j = 0; j < kAnimatedVertices; ++j) {
                    set.push_back(Vertex(static_cast<float>(j), static_cast<float>(k), 0));
                }
                animateds[o].frames.push_back(std::move(set));
            }
            for (int j = 0; j + 2 < kAnimatedVertices; ++j) {
                animateds[o].indices.insert(animateds[o].indices.end(), {j, j + 1, j + 2});
            }
        }
        const ByteWriter w = TesselFile(kFrames, statics, animateds);
        w.SaveAs(path);
        size = w.bytes.size();
    }
    ~BenchFile() { std::remove(path.c_str()); }

    std::string path;
    size_t size = 0;
};

BenchFile& File() {
    static BenchFile file;
    return file;
}

void BM_TesselLoad50MB(benchmark::State& state) {
    BenchFile& file = File();
    RecordingUiServices ui;
    for (auto _ : state) {
        TextureManager textures(1000);
        TesselModel model(textures);
        std::FILE* f = std::fopen(file.path.c_str(), "rb");
        std::string error;
        const int32_t faces = model.Load(f, nullptr, ui, error);
        std::fclose(f);
        if (faces == 0) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(faces);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size));
    state.counters["file_MB"] = static_cast<double>(file.size) / 1e6;
}
BENCHMARK(BM_TesselLoad50MB)->Unit(benchmark::kMillisecond);

void BM_ReadFileIntoMemory50MB(benchmark::State& state) {
    BenchFile& file = File();
    for (auto _ : state) {
        std::FILE* f = std::fopen(file.path.c_str(), "rb");
        std::vector<uint8_t> bytes(file.size);
        const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        benchmark::DoNotOptimize(bytes.data());
        if (got != file.size) {
            state.SkipWithError("short read");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size));
}
BENCHMARK(BM_ReadFileIntoMemory50MB)->Unit(benchmark::kMillisecond);

}  // namespace
