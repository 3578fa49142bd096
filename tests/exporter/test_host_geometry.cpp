// Geometry of the SDK stand-in and the key evaluation behind node transforms.
#include <gtest/gtest.h>

#include <cmath>

#include "exporter/host/MaxTypes.h"
#include "exporter/host/SceneAnimation.h"
#include "tests/support/RecordingHostUi.h"

namespace {

Matrix3 Rotation(const Point3& axis, float degrees) {
    const double h = degrees * M_PI / 360.0;
    const Point3 a = axis.Normalize();
    Quat q(float(a.x * std::sin(h)), float(a.y * std::sin(h)), float(a.z * std::sin(h)),
           float(std::cos(h)));
    Matrix3 m;
    q.MakeMatrix(m);
    return m;
}

Matrix3 Scaling(float x, float y, float z) {
    return Matrix3(Point3(x, 0.0f, 0.0f), Point3(0.0f, y, 0.0f), Point3(0.0f, 0.0f, z),
                   Point3(0.0f, 0.0f, 0.0f));
}

void ExpectMatrixNear(const Matrix3& a, const Matrix3& b, float tol) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a.GetRow(r)[c], b.GetRow(r)[c], tol) << "row " << r << " col " << c;
}

TEST(HostGeometry, RowVectorProductsApplyLeftOperandFirst) {
    Matrix3 move(1);
    move.SetTrans(Point3(10.0f, 0.0f, 0.0f));
    const Matrix3 turn = Rotation(Point3(0.0f, 0.0f, 1.0f), 90.0f);
    // Move, then turn a quarter about z: (1,0,0) -> (11,0,0) -> (0,11,0).
    const Point3 p = Point3(1.0f, 0.0f, 0.0f) * (move * turn);
    EXPECT_NEAR(p.x, 0.0f, 1e-5f);
    EXPECT_NEAR(p.y, 11.0f, 1e-5f);
    EXPECT_EQ(Point3(1.0f, 2.0f, 3.0f) * move, move * Point3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(VectorTransform(move, Point3(1.0f, 2.0f, 3.0f)), Point3(1.0f, 2.0f, 3.0f));
}

TEST(HostGeometry, InverseUndoesAffineTransforms) {
    Matrix3 m = Scaling(2.0f, 0.5f, 3.0f) * Rotation(Point3(1.0f, 2.0f, 0.5f), 37.0f);
    m.SetTrans(Point3(4.0f, -7.0f, 2.5f));
    ExpectMatrixNear(m * Inverse(m), Matrix3(1), 1e-5f);
    ExpectMatrixNear(Inverse(m) * m, Matrix3(1), 1e-5f);
    EXPECT_TRUE(IsInvertible(m));

    // No inverse: a defined identity instead of infinities.
    Matrix3 flat = Scaling(1.0f, 0.0f, 1.0f);
    flat.SetTrans(Point3(1.0f, 2.0f, 3.0f));
    EXPECT_FALSE(IsInvertible(flat));
    EXPECT_EQ(Inverse(flat), Matrix3(1));
    Matrix3 nan(1);
    nan.SetRow(0, Point3(NAN, 0.0f, 0.0f));
    EXPECT_EQ(Inverse(nan), Matrix3(1));
}

TEST(HostGeometry, QuaternionAndMatrixRoundTrip) {
    const Matrix3 r = Rotation(Point3(0.3f, -1.0f, 0.2f), 123.0f);
    Quat q(r);
    Matrix3 back;
    q.MakeMatrix(back);
    ExpectMatrixNear(back, r, 1e-5f);
    EXPECT_GE(q.w, 0.0f);
    // A quarter turn about z takes x to y.
    const Point3 p = Point3(1.0f, 0.0f, 0.0f) * Rotation(Point3(0.0f, 0.0f, 1.0f), 90.0f);
    ExpectMatrixNear(Matrix3(p, p, p, p),
                     Matrix3(Point3(0.0f, 1.0f, 0.0f), Point3(0.0f, 1.0f, 0.0f),
                             Point3(0.0f, 1.0f, 0.0f), Point3(0.0f, 1.0f, 0.0f)),
                     1e-6f);
}

TEST(HostGeometry, DecompAffineRecoversTranslationRotationAndScale) {
    Matrix3 m = Scaling(2.0f, 3.0f, 4.0f) * Rotation(Point3(0.0f, 1.0f, 1.0f), 40.0f);
    m.SetTrans(Point3(1.0f, 2.0f, 3.0f));
    AffineParts ap;
    decomp_affine(m, &ap);
    EXPECT_EQ(ap.t, Point3(1.0f, 2.0f, 3.0f));
    EXPECT_NEAR(ap.k.x, 2.0f, 1e-4f);
    EXPECT_NEAR(ap.k.y, 3.0f, 1e-4f);
    EXPECT_NEAR(ap.k.z, 4.0f, 1e-4f);
    EXPECT_EQ(ap.f, 1.0f);
    float angle;
    Point3 axis;
    AngAxisFromQ(ap.q, &angle, axis);
    EXPECT_NEAR(angle, 40.0f * M_PI / 180.0, 1e-4);
    EXPECT_NEAR(std::fabs(axis.y), std::sqrt(0.5f), 1e-4f);

    // A mirror shows in the sign, the factors stay positive.
    decomp_affine(Scaling(-1.0f, 1.0f, 1.0f), &ap);
    EXPECT_EQ(ap.f, -1.0f);
    EXPECT_GT(ap.k.x, 0.0f);
}

TEST(HostGeometry, DecompAffineOfDegenerateMatricesIsFinite) {
    AffineParts ap;
    decomp_affine(Scaling(0.0f, 2.0f, 2.0f) * Rotation(Point3(0.0f, 0.0f, 1.0f), 30.0f), &ap);
    for (float v : {ap.q.x, ap.q.y, ap.q.z, ap.q.w, ap.k.x, ap.k.y, ap.k.z})
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_NEAR(ap.k.x, 0.0f, 1e-5f);
    decomp_affine(Matrix3(0), &ap);
    float angle;
    Point3 axis;
    AngAxisFromQ(ap.q, &angle, axis);
    EXPECT_TRUE(std::isfinite(angle));
}

TEST(HostGeometry, AngleIgnoresQuaternionSignAndAxisOfIdentity) {
    float a1, a2;
    Point3 axis;
    AngAxisFromQ(Quat(0.0f, 0.0f, std::sin(0.25f), std::cos(0.25f)), &a1, axis);
    AngAxisFromQ(Quat(0.0f, 0.0f, -std::sin(0.25f), -std::cos(0.25f)), &a2, axis);
    EXPECT_NEAR(a1, 0.5f, 1e-6f);
    EXPECT_NEAR(a2, 0.5f, 1e-6f);
    AngAxisFromQ(Quat(), &a1, axis);
    EXPECT_EQ(a1, 0.0f);
    EXPECT_EQ(axis.Length(), 1.0f);
}

TEST(HostGeometry, NormalizeAndCrossProduct) {
    EXPECT_EQ(CrossProd(Point3(1.0f, 0.0f, 0.0f), Point3(0.0f, 1.0f, 0.0f)),
              Point3(0.0f, 0.0f, 1.0f));
    EXPECT_NEAR(Point3(3.0f, 4.0f, 0.0f).Normalize().x, 0.6f, 1e-6f);
    EXPECT_EQ(Point3(0.0f, 0.0f, 0.0f).Normalize(), Point3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(Normalize(Point3(NAN, 1.0f, 0.0f)), Point3(0.0f, 0.0f, 0.0f));
}

TEST(HostGeometry, IntervalsAndTables) {
    EXPECT_TRUE(FOREVER.InInterval(TIME_NegInfinity));
    EXPECT_TRUE(FOREVER.InInterval(TIME_PosInfinity));
    EXPECT_FALSE(NEVER.InInterval(0));
    Interval i(10, 20);
    EXPECT_TRUE(i.InInterval(10) && i.InInterval(20));
    EXPECT_FALSE(i.InInterval(9) || i.InInterval(21));

    RecordingHostUi ui;
    Tab<int> t;
    const int v[3] = {4, 5, 6};
    EXPECT_EQ(t.Append(2, v, 25), 0);
    EXPECT_GE(t.Capacity(), 27);
    EXPECT_EQ(t.Append(1, v + 2), 2);
    EXPECT_EQ(t.Count(), 3);
    EXPECT_EQ(t[2], 6);
    EXPECT_TRUE(ui.assertions.empty());
    EXPECT_EQ(t[3], 0);  // reported, and a cleared entry instead of memory past the end
    ASSERT_EQ(ui.assertions.size(), 1u);
    EXPECT_EQ(ui.assertions[0].rfind("MaxTypes.h:", 0), 0u);
}

TEST(KeyEvaluation, LinearStepAndJumps) {
    const std::vector<VecKey> keys = {{0, Point3(0.0f, 0.0f, 0.0f)},
                                      {100, Point3(10.0f, 0.0f, 0.0f)},
                                      {100, Point3(50.0f, 0.0f, 0.0f)},
                                      {200, Point3(70.0f, 0.0f, 0.0f)}};
    EXPECT_EQ(SampleVec(keys, -5, KeyInterpolation::Linear).x, 0.0f);
    EXPECT_FLOAT_EQ(SampleVec(keys, 25, KeyInterpolation::Linear).x, 2.5f);
    EXPECT_FLOAT_EQ(SampleVec(keys, 99, KeyInterpolation::Linear).x, 9.9f);
    EXPECT_EQ(SampleVec(keys, 100, KeyInterpolation::Linear).x, 50.0f);  // the later key of a jump
    EXPECT_FLOAT_EQ(SampleVec(keys, 150, KeyInterpolation::Linear).x, 60.0f);
    EXPECT_EQ(SampleVec(keys, 500, KeyInterpolation::Linear).x, 70.0f);
    EXPECT_EQ(SampleVec(keys, 99, KeyInterpolation::Step).x, 0.0f);
    EXPECT_EQ(SampleVec(keys, 199, KeyInterpolation::Step).x, 50.0f);
}

TEST(KeyEvaluation, RotationsTakeTheShorterArc) {
    const Quat a(0.0f, 0.0f, 0.0f, 1.0f);
    const Quat b(0.0f, 0.0f, std::sin(float(M_PI) / 4),
                 std::cos(float(M_PI) / 4));  // 90 degrees about z
    const Quat negB(-b.x, -b.y, -b.z, -b.w);
    const std::vector<RotKey> keys = {{0, a}, {10, negB}};
    float angle;
    Point3 axis;
    AngAxisFromQ(SampleRot(keys, 5, KeyInterpolation::Linear), &angle, axis);
    EXPECT_NEAR(angle, M_PI / 4, 1e-5);
    EXPECT_NEAR(std::fabs(axis.z), 1.0f, 1e-5f);
}

TEST(KeyEvaluation, MorphWeightsPerTarget) {
    const std::vector<MorphKey> keys = {{0, {{0, 0.0f}}}, {10, {{0, 1.0f}, {1, 0.5f}}}};
    const std::vector<float> w = SampleMorph(keys, 5, 3, KeyInterpolation::Linear);
    ASSERT_EQ(w.size(), 3u);
    EXPECT_FLOAT_EQ(w[0], 0.5f);
    EXPECT_FLOAT_EQ(w[1], 0.25f);
    EXPECT_EQ(w[2], 0.0f);
    EXPECT_EQ(SampleMorph(keys, 5, 2, KeyInterpolation::Step)[0], 0.0f);
}

TEST(HostGeometry, ComposeScalesThenRotatesThenTranslates) {
    const Quat quarterZ(0.0f, 0.0f, std::sin(float(M_PI) / 4), std::cos(float(M_PI) / 4));
    const Matrix3 m =
        ComposeTransform(Point3(5.0f, 0.0f, 0.0f), quarterZ, Point3(2.0f, 1.0f, 1.0f));
    const Point3 p = Point3(1.0f, 0.0f, 0.0f) * m;  // (2,0,0) -> (0,2,0) -> (5,2,0)
    EXPECT_NEAR(p.x, 5.0f, 1e-5f);
    EXPECT_NEAR(p.y, 2.0f, 1e-5f);
}

}  // namespace
