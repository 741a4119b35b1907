#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "platform/max/MaxMath.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

void ExpectNear(const Matrix3& a, const Matrix3& b, float tolerance) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(a.m[i][j], b.m[i][j], tolerance) << "row " << i << " column " << j;
}

void ExpectNear(const Point3& a, const Point3& b, float tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// The same rotation may come as q or -q.
void ExpectSameRotation(const Quat& a, const Quat& b, float tolerance) {
    float dot = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    EXPECT_NEAR(std::abs(dot), 1.0f, tolerance) << "quaternions differ";
}

Matrix3 Rebuild(const AffineParts& p) {
    Matrix3 u = RotateMatrix(p.u);
    return Inverse(u) * ScaleMatrix(p.k) * u * RotateMatrix(p.q) *
           ScaleMatrix(Point3(p.f, p.f, p.f)) * TransMatrix(p.t);
}

Quat RandomRotation(std::mt19937& rng) {
    std::normal_distribution<float> n(0.0f, 1.0f);
    return Quat(n(rng), n(rng), n(rng), n(rng)).Normalize();
}

}  // namespace

TEST(Matrix3, ProductAppliesTheLeftMatrixFirst) {
    Matrix3 scale = ScaleMatrix(Point3(2, 2, 2));
    Matrix3 move = TransMatrix(Point3(1, 0, 0));
    // Scale then move: (1,0,0) -> (2,0,0) -> (3,0,0). Move then scale: -> (4,0,0).
    ExpectNear(Point3(1, 0, 0) * (scale * move), Point3(3, 0, 0), 0.0f);
    ExpectNear(Point3(1, 0, 0) * (move * scale), Point3(4, 0, 0), 0.0f);
}

TEST(Matrix3, InverseUndoesTheMatrixAndSingularGivesZero) {
    Matrix3 m = ScaleMatrix(Point3(2, 3, -4)) *
                RotateMatrix(QuatFromAxisAngle(Point3(1, 2, 3), 0.7f)) *
                TransMatrix(Point3(5, -6, 7));
    ExpectNear(m * Inverse(m), Matrix3(), 1e-5f);
    ExpectNear(Inverse(ScaleMatrix(Point3(1, 0, 1))), Matrix3(0), 0.0f);
}

TEST(Matrix3, IdentityIsExactAndTwelveFloatsLong) {
    Matrix3 m;
    m.Zero();
    m.IdentityMatrix();
    EXPECT_TRUE(m.IsIdentity());
    EXPECT_EQ(sizeof(Matrix3), 12 * sizeof(float));
    EXPECT_FALSE(Matrix3(0).IsIdentity());
}

TEST(Quat, AxisAngleTurnsByTheRightHandRule) {
    // 90 degrees about z takes x to y.
    Matrix3 r = RotateMatrix(QuatFromAxisAngle(Point3(0, 0, 1), kPi / 2));
    ExpectNear(Point3(1, 0, 0) * r, Point3(0, 1, 0), 1e-6f);
    ExpectNear(Point3(0, 1, 0) * r, Point3(-1, 0, 0), 1e-6f);
}

TEST(Quat, MatrixConversionRoundTripsOnEveryBranch) {
    std::mt19937 rng(7);
    for (int i = 0; i < 500; ++i) {
        Quat q = RandomRotation(rng);
        Quat back(RotateMatrix(q));
        ExpectSameRotation(q, back, 1e-5f);
    }
    // Half turns exercise the branches without a positive trace.
    for (Point3 axis : {Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1)})
        ExpectSameRotation(QuatFromAxisAngle(axis, kPi),
                           Quat(RotateMatrix(QuatFromAxisAngle(axis, kPi))), 1e-6f);
}

TEST(Quat, MakeMatrixFlagKeepsOrClearsTheTranslation) {
    Matrix3 m = TransMatrix(Point3(1, 2, 3));
    Quat().MakeMatrix(m, true);
    ExpectNear(m.GetTrans(), Point3(1, 2, 3), 0.0f);
    Quat().MakeMatrix(m, false);
    ExpectNear(m.GetTrans(), Point3(0, 0, 0), 0.0f);
}

TEST(Quat, SlerpFollowsTheShorterArcAtConstantSpeed) {
    Quat a;
    Quat b = QuatFromAxisAngle(Point3(0, 0, 1), kPi / 2);
    ExpectSameRotation(Slerp(a, b, 0.5f), QuatFromAxisAngle(Point3(0, 0, 1), kPi / 4), 1e-6f);
    ExpectSameRotation(Slerp(a, b, 0.25f), QuatFromAxisAngle(Point3(0, 0, 1), kPi / 8), 1e-6f);
    // -b is the same rotation; the path must not go the long way round.
    Quat negB(-b.x, -b.y, -b.z, -b.w);
    ExpectSameRotation(Slerp(a, negB, 0.5f), QuatFromAxisAngle(Point3(0, 0, 1), kPi / 4), 1e-6f);
}

TEST(DecompAffine, RebuildsRandomAffineMatrices) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> scale(0.2f, 3.0f), shift(-50.0f, 50.0f),
        shear(-0.8f, 0.8f);
    std::bernoulli_distribution mirror(0.5);
    for (int i = 0; i < 2000; ++i) {
        Matrix3 shearing;
        shearing.m[0][1] = shear(rng), shearing.m[1][2] = shear(rng), shearing.m[2][0] = shear(rng);
        Point3 k(scale(rng), scale(rng), scale(rng));
        if (mirror(rng)) k.y = -k.y;
        Matrix3 m = shearing * ScaleMatrix(k) * RotateMatrix(RandomRotation(rng)) *
                    RotateMatrix(RandomRotation(rng)) *
                    TransMatrix(Point3(shift(rng), shift(rng), shift(rng)));
        AffineParts parts;
        decomp_affine(m, &parts);
        SCOPED_TRACE(i);
        ExpectNear(Rebuild(parts), m, 1e-4f);
        EXPECT_EQ(parts.f, DeterminantOf3x3(m) < 0 ? -1.0f : 1.0f);
        EXPECT_GT(parts.k.x, 0.0f);
        EXPECT_GT(parts.k.y, 0.0f);
        EXPECT_GT(parts.k.z, 0.0f);
        if (HasFailure()) break;
    }
}

TEST(DecompAffine, GivesKnownPartsForKnownMatrices) {
    AffineParts p;
    decomp_affine(TransMatrix(Point3(1, 2, 3)), &p);
    ExpectNear(p.t, Point3(1, 2, 3), 0.0f);
    ExpectSameRotation(p.q, Quat(), 1e-7f);
    ExpectSameRotation(p.u, Quat(), 1e-7f);
    ExpectNear(p.k, Point3(1, 1, 1), 1e-6f);
    EXPECT_EQ(p.f, 1.0f);

    // Scale along the axes first, then rotate, then move: u stays the identity.
    Quat q = QuatFromAxisAngle(Point3(0, 0, 1), kPi / 2);
    decomp_affine(ScaleMatrix(Point3(2, 3, 4)) * RotateMatrix(q) * TransMatrix(Point3(5, 6, 7)),
                  &p);
    ExpectNear(p.t, Point3(5, 6, 7), 0.0f);
    ExpectSameRotation(p.q, q, 1e-6f);
    ExpectSameRotation(p.u, Quat(), 1e-6f);
    ExpectNear(p.k, Point3(2, 3, 4), 1e-5f);
    EXPECT_EQ(p.f, 1.0f);

    // A mirror: f is -1 and the rest is a plain positive scale.
    decomp_affine(ScaleMatrix(Point3(-1, -1, -1)), &p);
    EXPECT_EQ(p.f, -1.0f);
    ExpectNear(p.k, Point3(1, 1, 1), 1e-6f);
    ExpectSameRotation(p.q, Quat(), 1e-6f);

    // A mirrored, turned and stretched matrix keeps its turn in q and its stretch in k.
    Quat turn = QuatFromAxisAngle(Point3(1, 2, 3), 0.8f);
    decomp_affine(ScaleMatrix(Point3(-2, -0.5f, -3)) * RotateMatrix(turn), &p);
    EXPECT_EQ(p.f, -1.0f);
    ExpectSameRotation(p.q, turn, 1e-6f);
    ExpectNear(p.k, Point3(2, 0.5f, 3), 1e-5f);
    ExpectSameRotation(p.u, Quat(), 1e-6f);
}

TEST(DecompAffine, SingularMatrixKeepsTranslationAndRowLengths) {
    AffineParts p;
    decomp_affine(ScaleMatrix(Point3(2, 0, 3)) * TransMatrix(Point3(1, 1, 1)), &p);
    ExpectNear(p.t, Point3(1, 1, 1), 0.0f);
    ExpectNear(p.k, Point3(2, 0, 3), 0.0f);
    ExpectSameRotation(p.q, Quat(), 0.0f);
}

TEST(GMatrix, HoldsAMatrix3WithAnAffineFourthColumn) {
    Matrix3 m =
        RotateMatrix(QuatFromAxisAngle(Point3(1, 1, 0), 0.3f)) * TransMatrix(Point3(4, 5, 6));
    GMatrix g(m);
    EXPECT_EQ(g.ExtractMatrix3(), m);
    EXPECT_EQ(g[3].w, 1.0f);
    EXPECT_EQ(g[0].w, 0.0f);
    ExpectNear((g * GMatrix(Inverse(m))).ExtractMatrix3(), Matrix3(), 1e-5f);
}
