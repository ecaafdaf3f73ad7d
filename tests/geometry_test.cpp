// The host geometry library: matrix products and inverses, Euler angles and the
// polar decomposition, checked against their defining properties.
#include "scene_test_util.h"

#include <gtest/gtest.h>

#include <array>

#include <cmath>
#include <random>

namespace vek::test {
namespace {

const float PI = 3.14159265f;

Quat RandomRotation(std::mt19937& rng)
{
    std::normal_distribution<float> n(0.0f, 1.0f);
    Quat q(n(rng), n(rng), n(rng), n(rng));
    q.Normalize();
    return q;
}

Matrix3 MatrixOf(const Quat& q)
{
    Matrix3 m;
    q.MakeMatrix(m);
    return m;
}

TEST(GeometryMatrices, RowVectorsAndProductOrder)
{
    // A * B applies A first: scale then move.
    Matrix3 m = ScaleMatrix(Point3(2.0f, 2.0f, 2.0f)) * TransMatrix(Point3(1.0f, 0.0f, 0.0f));
    ExpectNear(Point3(1.0f, 1.0f, 1.0f) * m, Point3(3.0f, 2.0f, 2.0f));
    // A right-handed quarter turn about Z takes x to y.
    ExpectNear(Point3(1.0f, 0.0f, 0.0f) * RotateZMatrix(PI / 2), Point3(0.0f, 1.0f, 0.0f));
    ExpectNear(Point3(0.0f, 1.0f, 0.0f) * RotateXMatrix(PI / 2), Point3(0.0f, 0.0f, 1.0f));
    ExpectNear(Point3(0.0f, 0.0f, 1.0f) * RotateYMatrix(PI / 2), Point3(1.0f, 0.0f, 0.0f));
    ExpectNear(VectorTransform(m, Point3(1.0f, 0.0f, 0.0f)), Point3(2.0f, 0.0f, 0.0f));
}

TEST(GeometryMatrices, InverseUndoesTheTransform)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-3.0f, 3.0f);
    for (int k = 0; k < 200; k++) {
        Matrix3 m;
        for (int i = 0; i < 4; i++)
            m.SetRow(i, Point3(u(rng), u(rng), u(rng)));
        if (std::fabs(m.Determinant()) < 0.1f)
            continue;
        ExpectNear(m * Inverse(m), Matrix3(), 1e-3f);
        ExpectNear(Inverse(m) * m, Matrix3(), 1e-3f);
    }
    Matrix3 singular = ScaleMatrix(Point3(1.0f, 0.0f, 1.0f));
    EXPECT_EQ(Inverse(singular), Matrix3()) << "a singular matrix has the identity as inverse";
}

TEST(GeometryRotations, QuaternionConventions)
{
    // The host's quaternions turn the other way from their axis and angle.
    Quat q = QFromAngAxis(PI / 2, Point3(0.0f, 0.0f, 1.0f));
    ExpectNear(Point3(1.0f, 0.0f, 0.0f) * MatrixOf(q), Point3(0.0f, -1.0f, 0.0f));
    ExpectSameRotation(Quat(RotateZMatrix(PI / 2)), Quat(0.0f, 0.0f, -0.70710678f, 0.70710678f));
    // The product is the left rotation followed by the right one, as for matrices.
    std::mt19937 rng(2);
    for (int k = 0; k < 100; k++) {
        Quat a = RandomRotation(rng), b = RandomRotation(rng);
        ExpectNear(MatrixOf(a * b), MatrixOf(a) * MatrixOf(b), 1e-4f);
        ExpectSameRotation(Quat(MatrixOf(a)), a);
        float angle;
        Point3 axis;
        AngAxisFromQ(a, &angle, axis);
        ExpectSameRotation(QFromAngAxis(angle, axis), a);
    }
}

// Euler angles are about X, then Y, then Z, and rebuild the rotation they came from.
TEST(GeometryRotations, EulerAnglesRebuildTheRotation)
{
    float ang[3];
    QuatToEuler(Quat(RotateXMatrix(0.1f) * RotateYMatrix(0.2f) * RotateZMatrix(0.3f)), ang);
    EXPECT_NEAR(ang[0], 0.1f, 1e-5f);
    EXPECT_NEAR(ang[1], 0.2f, 1e-5f);
    EXPECT_NEAR(ang[2], 0.3f, 1e-5f);

    std::mt19937 rng(3);
    for (int k = 0; k < 1000; k++) {
        Quat q = RandomRotation(rng);
        QuatToEuler(q, ang);
        EXPECT_LE(std::fabs(ang[0]), PI + 1e-5f);
        EXPECT_LE(std::fabs(ang[1]), PI / 2 + 1e-5f);
        EXPECT_LE(std::fabs(ang[2]), PI + 1e-5f);
        Quat back;
        EulerToQuat(ang, back);
        ExpectSameRotation(back, q, 1e-4f);
        ExpectNear(RotateXMatrix(ang[0]) * RotateYMatrix(ang[1]) * RotateZMatrix(ang[2]), MatrixOf(q), 1e-4f);
    }
    // At the poles only one combination of the outer angles is defined; close to
    // them the rotation still comes back to the precision of its quaternion.
    for (float y : {PI / 2, -PI / 2})
        for (float off : {0.0f, 1e-7f, 1e-6f, 1e-5f, 1e-4f, 1e-3f, 1e-2f}) {
            Quat q;
            EulerToQuat(std::array<float, 3>{0.4f, y - std::copysign(off, y), -0.7f}.data(), q);
            QuatToEuler(q, ang);
            ExpectNear(RotateXMatrix(ang[0]) * RotateYMatrix(ang[1]) * RotateZMatrix(ang[2]), MatrixOf(q), 1e-5f);
        }
}

Matrix3 Recompose(const AffineParts& p)
{
    Matrix3 u = MatrixOf(p.u), q = MatrixOf(p.q);
    return Inverse(u) * ScaleMatrix(p.k) * u * q * ScaleMatrix(Point3(p.f, p.f, p.f)) * TransMatrix(p.t);
}

// The parts put back together give the matrix; the essential rotation is a proper
// rotation and f carries the sign of the determinant.
TEST(GeometryDecomposition, PartsRecomposeTheMatrix)
{
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> scale(0.2f, 4.0f), pos(-100.0f, 100.0f);
    for (int k = 0; k < 500; k++) {
        Quat stretchRotation = RandomRotation(rng), rotation = RandomRotation(rng);
        Point3 stretch(scale(rng), scale(rng), scale(rng));
        float sign = (k % 3 == 0) ? -1.0f : 1.0f;
        Matrix3 su = MatrixOf(stretchRotation);
        Matrix3 m = Inverse(su) * ScaleMatrix(stretch) * su * MatrixOf(rotation) *
                    ScaleMatrix(Point3(sign, sign, sign)) * TransMatrix(Point3(pos(rng), pos(rng), pos(rng)));
        AffineParts parts;
        decomp_affine(m, &parts);
        ExpectNear(Recompose(parts), m, 2e-3f);
        EXPECT_EQ(parts.f, sign);
        EXPECT_NEAR(MatrixOf(parts.q).Determinant(), 1.0f, 1e-4f);
        ExpectSameRotation(parts.q, rotation, 1e-3f);
        ExpectNear(parts.t, m.GetTrans(), 0.0f);
    }
}

TEST(GeometryDecomposition, PlainTransforms)
{
    AffineParts parts;
    decomp_affine(Matrix3(), &parts);
    ExpectSameRotation(parts.q, Quat());
    ExpectNear(parts.k, Point3(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(parts.f, 1.0f);

    Matrix3 m = RotateZMatrix(0.5f) * TransMatrix(Point3(1.0f, 2.0f, 3.0f));
    decomp_affine(m, &parts);
    ExpectSameRotation(parts.q, Quat(RotateZMatrix(0.5f)));
    ExpectNear(parts.k, Point3(1.0f, 1.0f, 1.0f));
    ExpectNear(parts.t, Point3(1.0f, 2.0f, 3.0f));

    // A mirror: the rotation stays proper and the reflection goes to f.
    decomp_affine(ScaleMatrix(Point3(-1.0f, 1.0f, 1.0f)), &parts);
    EXPECT_EQ(parts.f, -1.0f);
    ExpectNear(Recompose(parts), ScaleMatrix(Point3(-1.0f, 1.0f, 1.0f)), 1e-4f);

    // A flat matrix must not hang or give NaN.
    decomp_affine(ScaleMatrix(Point3(1.0f, 0.0f, 2.0f)), &parts);
    for (int i = 0; i < 4; i++)
        EXPECT_TRUE(std::isfinite(parts.q[i]));
    ExpectNear(Recompose(parts), ScaleMatrix(Point3(1.0f, 0.0f, 2.0f)), 1e-3f);
}

} // namespace
} // namespace vek::test
