#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "viewer/model/VertexMath.h"

namespace {

D3DMATRIX Affine(float angle, float scale, float tx, float ty, float tz) {
    // Rotation about z by `angle`, uniform scale, then translation (row-vector form).
    D3DMATRIX m{};
    const float c = std::cos(angle) * scale, s = std::sin(angle) * scale;
    m[0] = c;
    m[1] = s;
    m[4] = -s;
    m[5] = c;
    m[10] = scale;
    m[12] = tx;
    m[13] = ty;
    m[14] = tz;
    m[15] = 1.0f;
    return m;
}

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

TEST(VertexMath, ThresholdConstantHasTheExpectedBitPattern) {
    EXPECT_EQ(Bits(kMinimumW), 0x3727C5ACu);
}

TEST(VertexMath, AffinePointIsRotatedScaledAndTranslatedNormalOnlyTurned) {
    const D3DMATRIX m = Affine(static_cast<float>(M_PI / 2), 2.0f, 10.0f, 20.0f, 30.0f);
    const float p[3] = {1.0f, 0.0f, 0.0f};
    float out[3];
    ASSERT_EQ(TransformPoint(out, p, m), S_OK);
    EXPECT_NEAR(out[0], 10.0f, 1e-5f);
    EXPECT_NEAR(out[1], 22.0f, 1e-5f);
    EXPECT_NEAR(out[2], 30.0f, 1e-5f);

    ModelVertex v{1, 0, 0, 1, 0, 0, 0.25f, 0.75f};
    ModelVertex d{};
    d.tu = 9.0f;
    d.tv = 8.0f;
    ASSERT_EQ(TransformVertex(d, v, m), S_OK);
    // The normal goes through the 3x3 part only and comes back to unit length.
    EXPECT_NEAR(d.nx, 0.0f, 1e-6f);
    EXPECT_NEAR(d.ny, 1.0f, 1e-6f);
    EXPECT_NEAR(d.nz, 0.0f, 1e-6f);
    // Texture coordinates of the destination are never written.
    EXPECT_EQ(d.tu, 9.0f);
    EXPECT_EQ(d.tv, 8.0f);
}

TEST(VertexMath, ProjectiveMatrixDividesByW) {
    D3DMATRIX m = IdentityMatrix();
    m[11] = 1.0f;  // w = z + 1
    const float p[3] = {2.0f, 4.0f, 1.0f};
    float out[3];
    ASSERT_EQ(TransformPoint(out, p, m), S_OK);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], 2.0f);
    EXPECT_FLOAT_EQ(out[2], 0.5f);
}

TEST(VertexMath, NearZeroWFailsAndLeavesDestinationUntouched) {
    D3DMATRIX m = IdentityMatrix();
    m[15] = 0.0f;  // column 4 all zero: w = 0
    const float p[3] = {1, 2, 3};
    float out[3] = {7, 7, 7};
    EXPECT_EQ(TransformPoint(out, p, m), E_INVALIDARG);
    EXPECT_EQ(TransformNormal(out, p, m), E_INVALIDARG);
    EXPECT_EQ(out[0], 7.0f);
    EXPECT_EQ(out[1], 7.0f);
    EXPECT_EQ(out[2], 7.0f);

    // TransformVertex stops before touching the normal when the point fails.
    ModelVertex d{5, 5, 5, 0, 0, 3, 1, 1};
    const ModelVertex s{1, 2, 3, 1, 0, 0, 0, 0};
    EXPECT_EQ(TransformVertex(d, s, m), E_INVALIDARG);
    EXPECT_EQ(d.x, 5.0f);
    EXPECT_EQ(d.nz, 3.0f);
}

TEST(VertexMath, WExactlyAtThresholdPassesAndJustBelowFails) {
    D3DMATRIX m = IdentityMatrix();
    const float p[3] = {0, 0, 0};
    float out[3];
    m[15] = kMinimumW;
    EXPECT_EQ(TransformPoint(out, p, m), S_OK);
    m[15] = -kMinimumW;
    EXPECT_EQ(TransformPoint(out, p, m), S_OK);
    m[15] = std::nextafter(kMinimumW, 0.0f);
    EXPECT_EQ(TransformPoint(out, p, m), E_INVALIDARG);
}

TEST(VertexMath, NormalTransformFailureNormalisesTheNormalTheDestinationHeld) {
    // Points pass (w from M[15] = 1) but the normal's w = nx * M[3] + M[15] is 0.
    D3DMATRIX m = IdentityMatrix();
    m[3] = -1.0f;
    const ModelVertex s{0, 0, 0, 1, 0, 0, 0, 0};
    ModelVertex d{0, 0, 0, 0, 3, 4, 0, 0};
    EXPECT_EQ(TransformVertex(d, s, m), E_INVALIDARG);
    EXPECT_FLOAT_EQ(d.ny, 0.6f);
    EXPECT_FLOAT_EQ(d.nz, 0.8f);
}

TEST(VertexMath, ZeroNormalStaysZeroInsteadOfNaN) {
    const D3DMATRIX m = Affine(0.3f, 1.5f, 1, 2, 3);
    const ModelVertex s{1, 1, 1, 0, 0, 0, 0, 0};
    ModelVertex d{};
    EXPECT_EQ(TransformVertex(d, s, m), S_OK);
    EXPECT_EQ(d.nx, 0.0f);
    EXPECT_EQ(d.ny, 0.0f);
    EXPECT_EQ(d.nz, 0.0f);
}

TEST(VertexMath, InPlaceCallsGiveTheSameResults) {
    const D3DMATRIX m = Affine(0.7f, 1.25f, -3, 4, 5);
    const ModelVertex s{1.5f, -2.0f, 0.5f, 0.0f, 0.6f, 0.8f, 0.1f, 0.2f};
    ModelVertex separate = s;
    ASSERT_EQ(TransformVertex(separate, s, m), S_OK);
    ModelVertex inPlace = s;
    ASSERT_EQ(TransformVertex(inPlace, inPlace, m), S_OK);
    EXPECT_EQ(std::memcmp(&separate, &inPlace, sizeof(ModelVertex)), 0);

    float p[3] = {1, 2, 3};
    float q[3];
    TransformPoint(q, p, m);
    TransformPoint(p, p, m);
    EXPECT_EQ(std::memcmp(p, q, sizeof p), 0);
}

TEST(VertexMath, MultiplyMatrixComposesLeftThenRightAndIsSafeInPlace) {
    const D3DMATRIX a = Affine(0.4f, 2.0f, 1, 0, 0);
    const D3DMATRIX b = Affine(-1.1f, 0.5f, 0, 3, -2);
    D3DMATRIX q;
    MultiplyMatrix(q, a, b);

    const float p[3] = {0.3f, -0.7f, 2.0f};
    float viaQ[3], viaA[3], viaAB[3];
    TransformPoint(viaQ, p, q);
    TransformPoint(viaA, p, a);
    TransformPoint(viaAB, viaA, b);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(viaQ[i], viaAB[i], 1e-5f);

    D3DMATRIX intoA = a;
    MultiplyMatrix(intoA, intoA, b);
    D3DMATRIX intoB = b;
    MultiplyMatrix(intoB, a, intoB);
    EXPECT_EQ(std::memcmp(&intoA, &q, sizeof q), 0);
    EXPECT_EQ(std::memcmp(&intoB, &q, sizeof q), 0);

    D3DMATRIX square = a;
    MultiplyMatrix(square, square, square);
    D3DMATRIX expected;
    MultiplyMatrix(expected, a, a);
    EXPECT_EQ(std::memcmp(&square, &expected, sizeof q), 0);
}

TEST(VertexMath, MultiplyMatrixRoundsOnceFromExtendedPrecision) {
    // 1 + 2^-24 is not representable in float; summing in float would lose the
    // small terms one by one, extended precision keeps them until the end.
    D3DMATRIX a{}, b{};
    a[0] = 1.0f;
    a[1] = 1.0f;
    a[2] = 1.0f;
    b[0] = 1.0f;
    b[4] = std::ldexp(1.0f, -24);
    b[8] = std::ldexp(1.0f, -24);
    D3DMATRIX q;
    MultiplyMatrix(q, a, b);
    EXPECT_EQ(q[0], 1.0f + std::ldexp(1.0f, -23));
}

}  // namespace
