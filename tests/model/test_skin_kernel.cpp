// The skinning inner loop against TransformVertex, one vertex at a time, on
// every loop this processor can run: every matrix kind, run lengths around
// the four- and eight-vertex groups, and normals the fast paths must hand to
// the exact one.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "viewer/model/SkinKernel.h"
#include "viewer/model/VertexMath.h"

namespace {

D3DMATRIX Turn(float angle, float scale, float tx, float ty, float tz) {
    // About the axis (1, 2, 2) / 3, then scaled, then moved.
    const float c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    const float x = 1.0f / 3, y = 2.0f / 3, z = 2.0f / 3;
    D3DMATRIX m = IdentityMatrix();
    const float r[9] = {t * x * x + c,     t * x * y + s * z, t * x * z - s * y,
                        t * x * y - s * z, t * y * y + c,     t * y * z + s * x,
                        t * x * z + s * y, t * y * z - s * x, t * z * z + c};
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k) m[4 * i + k] = r[3 * i + k] * scale;
    }
    m[12] = tx;
    m[13] = ty;
    m[14] = tz;
    return m;
}

std::vector<ModelVertex> Vertices(size_t n) {
    std::vector<ModelVertex> v(n);
    for (size_t j = 0; j < n; ++j) {
        const float a = 0.37f * static_cast<float>(j);
        const float nx = std::cos(a), ny = std::sin(a) * 0.6f, nz = std::sin(a) * 0.8f;
        v[j] = {static_cast<float>(j) * 0.5f - 3.0f,
                std::sin(a) * 4.0f,
                std::cos(a) * 2.0f,
                nx,
                ny,
                nz,
                0.01f * static_cast<float>(j),
                1.0f - 0.02f * static_cast<float>(j)};
    }
    return v;
}

size_t Skin(const D3DMATRIX& m, const std::vector<ModelVertex>& source,
            std::vector<ModelVertex>& skinned, size_t first = 0) {
    SkinFields fields;
    fields.Assign(source);
    return SkinVertices(m, fields, source.data(), skinned.data(), first, source.size() - first);
}

// Runs `check` once with each skinning loop the processor can run (the
// one-vertex loop always), then goes back to the loop chosen at start.
template <typename Check>
void OnEverySkinPath(Check check) {
    const SkinPath chosen = ActiveSkinPath();
    int ran = 0;
    for (SkinPath path : {SkinPath::Single, SkinPath::Four, SkinPath::Eight}) {
        if (!UseSkinPath(path)) continue;
        SCOPED_TRACE(testing::Message() << "loop " << static_cast<int>(path));
        check();
        ++ran;
    }
    ASSERT_TRUE(UseSkinPath(chosen));
    EXPECT_GE(ran, 1);
}

// The kernel's result for each vertex of a run from `first` on equals
// TransformVertex's: positions and texture coordinates exactly, normals
// within two millionths; vertices before the run are not touched.
void ExpectLikeTransformVertex(const D3DMATRIX& m, const std::vector<ModelVertex>& source,
                               size_t first) {
    const ModelVertex untouched{-1, -1, -1, -1, -1, -1, -1, -1};
    std::vector<ModelVertex> skinned(source.size(), untouched);
    ASSERT_EQ(Skin(m, source, skinned, first), source.size() - first);
    for (size_t j = 0; j < first; ++j) EXPECT_EQ(skinned[j].x, -1.0f);
    for (size_t j = first; j < source.size(); ++j) {
        SCOPED_TRACE(j);
        ModelVertex expected = source[j];
        ASSERT_EQ(TransformVertex(expected, source[j], m), S_OK);
        EXPECT_EQ(skinned[j].x, expected.x);
        EXPECT_EQ(skinned[j].y, expected.y);
        EXPECT_EQ(skinned[j].z, expected.z);
        EXPECT_NEAR(skinned[j].nx, expected.nx, 2e-6f);
        EXPECT_NEAR(skinned[j].ny, expected.ny, 2e-6f);
        EXPECT_NEAR(skinned[j].nz, expected.nz, 2e-6f);
        EXPECT_EQ(skinned[j].tu, source[j].tu);
        EXPECT_EQ(skinned[j].tv, source[j].tv);
    }
}

TEST(SkinKernel, MatchesTransformVertexForEveryMatrixKindAndRunLength) {
    D3DMATRIX projective = Turn(0.4f, 1.0f, 1, 2, 3);
    projective[3] = 0.01f;  // w depends on the point
    projective[15] = 2.0f;
    const D3DMATRIX matrices[] = {IdentityMatrix(), Turn(0.7f, 1.0f, 5, -2, 1),
                                  Turn(-2.1f, 1.5f, 0, 0, 0), Turn(1.0f, 0.25f, -9, 3, 7),
                                  projective};
    OnEverySkinPath([&] {
        for (size_t k = 0; k < std::size(matrices); ++k) {
            for (size_t n : {0, 1, 3, 4, 5, 7, 8, 9, 17, 33}) {
                for (size_t first : {0, 3}) {
                    if (first > n) continue;
                    SCOPED_TRACE(testing::Message()
                                 << "matrix " << k << ", " << n << " vertices from " << first);
                    ExpectLikeTransformVertex(matrices[k], Vertices(n), first);
                }
            }
        }
    });
}

TEST(SkinKernel, NormalsOutsideTheFastPathsComeOutAsTransformVertexMakesThem) {
    std::vector<ModelVertex> source = Vertices(12);
    source[1].nx = source[1].ny = source[1].nz = 0.0f;  // bone-mesh style zero normal
    source[5].nx = 1e-20f;                              // squared length a denormal
    source[5].ny = source[5].nz = 0.0f;
    source[6].nx = 3.0f;   // not unit length
    source[9].ny = 1e30f;  // squared length overflows
    source[10].nz = std::numeric_limits<float>::quiet_NaN();
    OnEverySkinPath([&] {
        for (const D3DMATRIX& m : {Turn(0.3f, 1.0f, 1, 1, 1), Turn(0.3f, 2.0f, 1, 1, 1)}) {
            std::vector<ModelVertex> skinned(source.size());
            ASSERT_EQ(Skin(m, source, skinned), source.size());
            for (size_t j = 0; j < source.size(); ++j) {
                SCOPED_TRACE(j);
                ModelVertex expected = source[j];
                TransformVertex(expected, source[j], m);
                EXPECT_NEAR(skinned[j].nx, expected.nx, 2e-6f);
                EXPECT_NEAR(skinned[j].ny, expected.ny, 2e-6f);
                EXPECT_NEAR(skinned[j].nz, expected.nz, 2e-6f);
            }
            EXPECT_EQ(skinned[1].nx, 0.0f);
            EXPECT_NEAR(skinned[5].nx * skinned[5].nx + skinned[5].ny * skinned[5].ny +
                            skinned[5].nz * skinned[5].nz,
                        1.0f, 1e-5f);
            EXPECT_NEAR(std::hypot(skinned[6].nx, skinned[6].ny, skinned[6].nz), 1.0f, 1e-5f);
            EXPECT_EQ(skinned[10].nx, 0.0f);  // NaN length: zero normal, never NaN
        }
    });
}

TEST(SkinKernel, StopsAtTheFirstVertexWhoseTransformFails) {
    D3DMATRIX m = IdentityMatrix();
    m[3] = 1.0f;  // w = x + 1: zero for x = -1
    m[15] = 1.0f;
    std::vector<ModelVertex> source = Vertices(8);
    for (ModelVertex& v : source) v.x = 2.0f;
    source[6].x = -1.0f;
    std::vector<ModelVertex> skinned(8, ModelVertex{7, 7, 7, 7, 7, 7, 7, 7});
    EXPECT_EQ(Skin(m, source, skinned), 6u);
    EXPECT_NEAR(skinned[5].x, 2.0f / 3.0f, 1e-6f);
    EXPECT_EQ(skinned[7].x, 7.0f);
}

}  // namespace
