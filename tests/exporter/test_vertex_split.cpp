// Vertex splitting: the hashed split gives exactly the output of a scan
// through the output vertices made so far, on random meshes with repeated,
// signed-zero and NaN values, with and without further sampled frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "exporter/writer/VertexSplit.h"

namespace {

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// The split as a first-occurrence scan: corner k joins the first output
// vertex whose position equals its own in every frame and whose texture
// pair equals its own, by float ==.
SplitLayout ScanSplit(const std::vector<std::vector<Point3>>& frames,
                      const std::vector<int32_t>& cornerVertex,
                      const std::vector<int32_t>& cornerTexture,
                      const std::vector<TexturePair>& table) {
    SplitLayout out;
    for (size_t k = 0; k < cornerVertex.size(); ++k) {
        const int32_t p = cornerVertex[k];
        const TexturePair t = table[static_cast<size_t>(cornerTexture[k])];
        int32_t found = -1;
        for (size_t j = 0; j < out.positionIndex.size() && found < 0; ++j) {
            bool same = out.texture[j].u == t.u && out.texture[j].v == t.v;
            for (const auto& P : frames) {
                const Point3& a = P[static_cast<size_t>(out.positionIndex[j])];
                const Point3& b = P[static_cast<size_t>(p)];
                same = same && a.x == b.x && a.y == b.y && a.z == b.z;
            }
            if (same) found = static_cast<int32_t>(j);
        }
        if (found < 0) {
            found = static_cast<int32_t>(out.positionIndex.size());
            out.positionIndex.push_back(p);
            out.texture.push_back(t);
        }
        out.cornerIndex.push_back(found);
    }
    return out;
}

SplitLayout HashSplit(const std::vector<std::vector<Point3>>& frames,
                      const std::vector<int32_t>& cornerVertex,
                      const std::vector<int32_t>& cornerTexture,
                      const std::vector<TexturePair>& table) {
    std::vector<int32_t> classes;
    PositionClasses(frames[0].data(), frames[0].size(), classes);
    for (size_t f = 1; f < frames.size(); ++f)
        RefineClasses(frames[f].data(), frames[f].size(), classes);
    SplitLayout out;
    SplitVertices(cornerVertex.data(), cornerTexture.data(), cornerVertex.size(), classes, table,
                  out);
    return out;
}

void ExpectSame(const SplitLayout& scan, const SplitLayout& hash) {
    ASSERT_EQ(hash.positionIndex, scan.positionIndex);
    ASSERT_EQ(hash.cornerIndex, scan.cornerIndex);
    ASSERT_EQ(hash.texture.size(), scan.texture.size());
    for (size_t j = 0; j < scan.texture.size(); ++j) {
        EXPECT_EQ(Bits(hash.texture[j].u), Bits(scan.texture[j].u)) << j;
        EXPECT_EQ(Bits(hash.texture[j].v), Bits(scan.texture[j].v)) << j;
    }
}

// Values that collide often: small integers, both zeros, and now and then NaN.
float Value(std::mt19937& rng, bool withNaN) {
    const int r = static_cast<int>(rng() % 40);
    if (withNaN && r == 0) return std::nanf("");
    if (r < 6) return r % 2 ? 0.0f : -0.0f;
    return static_cast<float>(r % 4);
}

TEST(VertexSplit, MatchesTheScanOnRandomMeshes) {
    std::mt19937 rng(20240611);
    for (int trial = 0; trial < 300; ++trial) {
        const bool withNaN = trial % 3 == 0;
        const int verts = 1 + static_cast<int>(rng() % 40);
        const int faces = static_cast<int>(rng() % 60);
        const int frameCount = 1 + static_cast<int>(rng() % 4);
        const int texCount = 1 + static_cast<int>(rng() % 12);
        std::vector<std::vector<Point3>> frames(static_cast<size_t>(frameCount));
        for (auto& P : frames)
            for (int i = 0; i < verts; ++i)
                P.emplace_back(Value(rng, withNaN), Value(rng, withNaN), Value(rng, withNaN));
        // Later frames mostly repeat the first, so that some merges survive.
        for (size_t f = 1; f < frames.size(); ++f)
            for (int i = 0; i < verts; ++i)
                if (rng() % 4)
                    frames[f][static_cast<size_t>(i)] = frames[0][static_cast<size_t>(i)];
        std::vector<TexturePair> table;
        for (int i = 0; i < texCount; ++i)
            table.push_back({Value(rng, withNaN), Value(rng, withNaN)});
        std::vector<int32_t> cv, ct;
        for (int k = 0; k < 3 * faces; ++k) {
            cv.push_back(static_cast<int32_t>(rng() % static_cast<unsigned>(verts)));
            ct.push_back(static_cast<int32_t>(rng() % static_cast<unsigned>(texCount)));
        }
        SCOPED_TRACE("trial " + std::to_string(trial));
        ExpectSame(ScanSplit(frames, cv, ct, table), HashSplit(frames, cv, ct, table));
    }
}

TEST(VertexSplit, LargeMeshKeepsFirstOccurrenceOrder) {
    // Enough keys to make the table grow several times.
    std::mt19937 rng(7);
    const int verts = 3000;
    std::vector<std::vector<Point3>> frames(1);
    for (int i = 0; i < verts; ++i)
        frames[0].emplace_back(static_cast<float>(rng() % 50), static_cast<float>(rng() % 50),
                               0.0f);
    std::vector<TexturePair> table;
    for (int i = 0; i < 64; ++i)
        table.push_back({static_cast<float>(i % 8), static_cast<float>(i / 8)});
    std::vector<int32_t> cv, ct;
    for (int k = 0; k < 9000; ++k) {
        cv.push_back(static_cast<int32_t>(rng() % verts));
        ct.push_back(static_cast<int32_t>(rng() % 4));
    }
    const SplitLayout scan = ScanSplit(frames, cv, ct, table);
    ExpectSame(scan, HashSplit(frames, cv, ct, table));
    EXPECT_GT(scan.Count(), 1000u);
    EXPECT_LT(scan.Count(), 9000u);

    // A fan: one position shared by corners of many texture pairs, some
    // repeated after the class has made many output vertices.
    std::vector<int32_t> fanVertex, fanTexture;
    for (int k = 0; k < 600; ++k) {
        fanVertex.push_back(k % 3 == 0 ? 7 : static_cast<int32_t>(rng() % verts));
        fanTexture.push_back(static_cast<int32_t>(rng() % 64));
    }
    ExpectSame(ScanSplit(frames, fanVertex, fanTexture, table),
               HashSplit(frames, fanVertex, fanTexture, table));
}

TEST(VertexSplit, ZerosMatchAndNaNMatchesNothing) {
    const std::vector<std::vector<Point3>> frames{
        {Point3(0.0f, 1.0f, 2.0f), Point3(-0.0f, 1.0f, 2.0f), Point3(std::nanf(""), 0.0f, 0.0f)}};
    const std::vector<TexturePair> table{{0.0f, 0.5f}, {-0.0f, 0.5f}};
    // Two vertices at +0 and -0 with texture pairs at +0 and -0: one output vertex.
    SplitLayout a = HashSplit(frames, {0, 1, 1}, {0, 1, 0}, table);
    EXPECT_EQ(a.Count(), 1u);
    EXPECT_EQ(a.cornerIndex, (std::vector<int32_t>{0, 0, 0}));
    // A NaN position: each of its corners makes its own vertex, even for the same mesh vertex.
    SplitLayout b = HashSplit(frames, {2, 2, 0}, {0, 0, 0}, table);
    EXPECT_EQ(b.cornerIndex, (std::vector<int32_t>{0, 1, 2}));
}

}  // namespace
