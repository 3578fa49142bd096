// Skinning throughput: one tick of a 100,000-vertex character part (two
// objects of 50,000 vertices over 20 bones), beside a plain copy of the
// same vertex arrays (CPU times in one run). Goals: skinning within 2x of
// the copy with rotating bones, within 2.5x with scaled bones.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "tests/support/ModelFileWriter.h"
#include "tests/support/RecordingUiServices.h"
#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/TextureManager.h"

namespace {

constexpr int kBones = 20;
constexpr int kFrames = 30;
constexpr int kVerticesPerObject = 50000;
constexpr int kObjects = 2;

// Bone matrices: a turn about y and a move; `scale` 1 gives pure rotations
// (normals keep their length), any other scale makes skinning renormalise.
Biped MakeBiped(float scale) {
    Biped biped;
    biped.boneCount = kBones;
    biped.frameCount = kFrames;
    biped.bones.resize(kBones);
    for (int b = 0; b < kBones; ++b) {
        for (int f = 0; f < kFrames; ++f) {
            const float a = 0.05f * static_cast<float>(f) + 0.1f * static_cast<float>(b);
            D3DMATRIX m = IdentityMatrix();
            m[0] = scale * std::cos(a);
            m[2] = -scale * std::sin(a);
            m[5] = scale;
            m[8] = scale * std::sin(a);
            m[10] = scale * std::cos(a);
            m[12] = static_cast<float>(b);
            m[13] = static_cast<float>(f) * 0.1f;
            biped.bones[b].matrices.push_back(m);
        }
    }
    return biped;
}

struct Fixture {
    Fixture() : textures(1), part(textures) {
        std::vector<PartObjectSpec> objects(kObjects);
        for (int o = 0; o < kObjects; ++o) {
            for (int j = 0; j < kVerticesPerObject; ++j) {
                const float t = static_cast<float>(j) * 0.001f;
                // Unit normals, as exporters write them.
                objects[o].vertices.push_back(Vertex(std::sin(t), t, std::cos(t), std::sin(t), 0.0f,
                                                     std::cos(t), t, 1.0f - t));
                objects[o].bones.push_back(static_cast<int16_t>((j / 97) % kBones));
            }
            for (int j = 0; j + 2 < kVerticesPerObject; j += 3) {
                objects[o].indices.insert(objects[o].indices.end(), {j, j + 1, j + 2});
            }
        }
        const ByteWriter file = PartFile(objects);
        std::string error;
        if (part.LoadFromMemory(file.bytes.data(), file.bytes.size(), nullptr, ui, error) == 0) {
            std::fprintf(stderr, "bench: part rejected: %s\n", error.c_str());
            std::abort();
        }
    }
    RecordingUiServices ui;
    TextureManager textures;
    CharacterPart part;
    Biped biped = MakeBiped(1.0f);
    Biped scaledBiped = MakeBiped(1.1f);
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void BM_SkinPart100k(benchmark::State& state) {
    Fixture& f = Shared();
    int32_t tick = 0;
    for (auto _ : state) {
        f.part.Skin(f.biped, tick++);
        benchmark::DoNotOptimize(f.part.objects[0].skinnedVertices.data());
        benchmark::ClobberMemory();
    }
    const int64_t vertices = int64_t{kObjects} * kVerticesPerObject;
    state.SetItemsProcessed(state.iterations() * vertices);
    state.SetBytesProcessed(state.iterations() * vertices * int64_t{sizeof(ModelVertex)});
}
BENCHMARK(BM_SkinPart100k)->Unit(benchmark::kMicrosecond);

// The same part on bones that also scale, so every normal is renormalised.
void BM_SkinPart100kScaledBones(benchmark::State& state) {
    Fixture& f = Shared();
    int32_t tick = 0;
    for (auto _ : state) {
        f.part.Skin(f.scaledBiped, tick++);
        benchmark::DoNotOptimize(f.part.objects[0].skinnedVertices.data());
        benchmark::ClobberMemory();
    }
    const int64_t vertices = int64_t{kObjects} * kVerticesPerObject;
    state.SetItemsProcessed(state.iterations() * vertices);
    state.SetBytesProcessed(state.iterations() * vertices * int64_t{sizeof(ModelVertex)});
}
BENCHMARK(BM_SkinPart100kScaledBones)->Unit(benchmark::kMicrosecond);

void BM_CopyPartVertices100k(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        for (PartObject& o : f.part.objects) {
            std::memcpy(o.skinnedVertices.data(), o.sourceVertices.data(),
                        o.sourceVertices.size() * sizeof(ModelVertex));
        }
        benchmark::DoNotOptimize(f.part.objects[0].skinnedVertices.data());
        benchmark::ClobberMemory();
    }
    const int64_t vertices = int64_t{kObjects} * kVerticesPerObject;
    state.SetItemsProcessed(state.iterations() * vertices);
    state.SetBytesProcessed(state.iterations() * vertices * int64_t{sizeof(ModelVertex)});
}
BENCHMARK(BM_CopyPartVertices100k)->Unit(benchmark::kMicrosecond);

}  // namespace
