#include "geom.h"

#include <algorithm>
#include <cmath>

Point3 Normalize(const Point3& p)
{
    float l = p.Length();
    return l == 0.0f ? p : p / l;
}

Matrix3::Matrix3() { IdentityMatrix(); }

void Matrix3::IdentityMatrix()
{
    Zero();
    m[0][0] = m[1][1] = m[2][2] = 1.0f;
}

void Matrix3::Zero()
{
    for (auto& row : m)
        row[0] = row[1] = row[2] = 0.0f;
}

Matrix3 Matrix3::operator*(const Matrix3& b) const
{
    Matrix3 r(0);
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 3; j++)
            r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j];
    }
    for (int j = 0; j < 3; j++)
        r.m[3][j] += b.m[3][j];
    return r;
}

bool Matrix3::operator==(const Matrix3& b) const { return Equals(b, 0.0f); }

bool Matrix3::Equals(const Matrix3& b, float epsilon) const
{
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++)
            if (std::fabs(m[i][j] - b.m[i][j]) > epsilon)
                return false;
    return true;
}

float Matrix3::Determinant() const
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Point3 operator*(const Point3& p, const Matrix3& A)
{
    return Point3(p.x * A[0][0] + p.y * A[1][0] + p.z * A[2][0] + A[3][0],
                  p.x * A[0][1] + p.y * A[1][1] + p.z * A[2][1] + A[3][1],
                  p.x * A[0][2] + p.y * A[1][2] + p.z * A[2][2] + A[3][2]);
}

Point3 operator*(const Matrix3& A, const Point3& p) { return p * A; }

Point3 VectorTransform(const Matrix3& A, const Point3& p)
{
    return Point3(p.x * A[0][0] + p.y * A[1][0] + p.z * A[2][0], p.x * A[0][1] + p.y * A[1][1] + p.z * A[2][1],
                  p.x * A[0][2] + p.y * A[1][2] + p.z * A[2][2]);
}

Matrix3 Inverse(const Matrix3& M)
{
    double a[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            a[i][j] = M[i][j];
    double c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    double c01 = a[1][2] * a[2][0] - a[1][0] * a[2][2];
    double c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    double det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
    if (det == 0.0 || !std::isfinite(det))
        return Matrix3();
    double inv[3][3] = {
        {c00 / det, (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det, (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det},
        {c01 / det, (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det, (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det},
        {c02 / det, (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det, (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det},
    };
    Matrix3 r(0);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            r[i][j] = float(inv[i][j]);
    for (int j = 0; j < 3; j++)
        r[3][j] = float(-(M[3][0] * inv[0][j] + M[3][1] * inv[1][j] + M[3][2] * inv[2][j]));
    return r;
}

Matrix3 TransMatrix(const Point3& p)
{
    Matrix3 m;
    m.SetTrans(p);
    return m;
}

Matrix3 ScaleMatrix(const Point3& s)
{
    Matrix3 m;
    m[0][0] = s.x;
    m[1][1] = s.y;
    m[2][2] = s.z;
    return m;
}

Matrix3 RotateXMatrix(float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    return Matrix3(Point3(1.0f, 0.0f, 0.0f), Point3(0.0f, c, s), Point3(0.0f, -s, c), Point3());
}

Matrix3 RotateYMatrix(float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    return Matrix3(Point3(c, 0.0f, -s), Point3(0.0f, 1.0f, 0.0f), Point3(s, 0.0f, c), Point3());
}

Matrix3 RotateZMatrix(float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    return Matrix3(Point3(c, s, 0.0f), Point3(-s, c, 0.0f), Point3(0.0f, 0.0f, 1.0f), Point3());
}

// ---- quaternions ----

Quat::Quat(const AngAxis& aa)
{
    Point3 a = ::Normalize(aa.axis);
    double s = std::sin(aa.angle * 0.5), c = std::cos(aa.angle * 0.5);
    x = float(a.x * s);
    y = float(a.y * s);
    z = float(a.z * s);
    w = float(c);
}

Quat::Quat(const Matrix3& m)
{
    // Inverse of MakeMatrix, whose rows are the right-handed column-vector rotation
    // matrix of the quaternion; the largest diagonal term keeps it well conditioned.
    double tr = double(m[0][0]) + m[1][1] + m[2][2];
    double X, Y, Z, W;
    if (tr > 0.0) {
        double s = std::sqrt(tr + 1.0) * 2.0;
        W = 0.25 * s;
        X = (m[2][1] - m[1][2]) / s;
        Y = (m[0][2] - m[2][0]) / s;
        Z = (m[1][0] - m[0][1]) / s;
    } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
        double s = std::sqrt(1.0 + m[0][0] - m[1][1] - m[2][2]) * 2.0;
        W = (m[2][1] - m[1][2]) / s;
        X = 0.25 * s;
        Y = (m[0][1] + m[1][0]) / s;
        Z = (m[0][2] + m[2][0]) / s;
    } else if (m[1][1] > m[2][2]) {
        double s = std::sqrt(1.0 + m[1][1] - m[0][0] - m[2][2]) * 2.0;
        W = (m[0][2] - m[2][0]) / s;
        X = (m[0][1] + m[1][0]) / s;
        Y = 0.25 * s;
        Z = (m[1][2] + m[2][1]) / s;
    } else {
        double s = std::sqrt(1.0 + m[2][2] - m[0][0] - m[1][1]) * 2.0;
        W = (m[1][0] - m[0][1]) / s;
        X = (m[0][2] + m[2][0]) / s;
        Y = (m[1][2] + m[2][1]) / s;
        Z = 0.25 * s;
    }
    if (W < 0.0) {
        X = -X;
        Y = -Y;
        Z = -Z;
        W = -W;
    }
    x = float(X);
    y = float(Y);
    z = float(Z);
    w = float(W);
}

AngAxis::AngAxis(const Quat& q) { AngAxisFromQ(q, &angle, axis); }

Quat Quat::operator*(const Quat& q) const
{
    return Quat(w * q.x + x * q.w + y * q.z - z * q.y, w * q.y + y * q.w + z * q.x - x * q.z,
                w * q.z + z * q.w + x * q.y - y * q.x, w * q.w - x * q.x - y * q.y - z * q.z);
}

Quat Quat::Inverse() const
{
    float n = x * x + y * y + z * z + w * w;
    if (n == 0.0f)
        return Quat();
    return Quat(-x / n, -y / n, -z / n, w / n);
}

void Quat::Normalize()
{
    float l = std::sqrt(x * x + y * y + z * z + w * w);
    if (l == 0.0f) {
        Identity();
        return;
    }
    x /= l;
    y /= l;
    z /= l;
    w /= l;
}

void Quat::MakeMatrix(Matrix3& mat) const
{
    float xx = x * x, yy = y * y, zz = z * z, xy = x * y, xz = x * z, yz = y * z, wx = w * x, wy = w * y, wz = w * z;
    mat.SetRow(0, Point3(1.0f - 2.0f * (yy + zz), 2.0f * (xy - wz), 2.0f * (xz + wy)));
    mat.SetRow(1, Point3(2.0f * (xy + wz), 1.0f - 2.0f * (xx + zz), 2.0f * (yz - wx)));
    mat.SetRow(2, Point3(2.0f * (xz - wy), 2.0f * (yz + wx), 1.0f - 2.0f * (xx + yy)));
    mat.NoTrans();
}

Quat Slerp(const Quat& p, const Quat& q0, float u)
{
    Quat q = q0;
    double cosom = double(p.x) * q.x + double(p.y) * q.y + double(p.z) * q.z + double(p.w) * q.w;
    if (cosom < 0.0) {
        cosom = -cosom;
        q = Quat(-q.x, -q.y, -q.z, -q.w);
    }
    double s0 = 1.0 - u, s1 = u;
    if (cosom < 0.9999) {
        double om = std::acos(cosom), sinom = std::sin(om);
        s0 = std::sin((1.0 - u) * om) / sinom;
        s1 = std::sin(u * om) / sinom;
    }
    Quat r(s0 * p.x + s1 * q.x, s0 * p.y + s1 * q.y, s0 * p.z + s1 * q.z, s0 * p.w + s1 * q.w);
    r.Normalize();
    return r;
}

void AngAxisFromQ(const Quat& q0, float* ang, Point3& axis)
{
    Quat q = q0;
    q.Normalize();
    double w = std::clamp(double(q.w), -1.0, 1.0);
    double s = std::sqrt(std::max(0.0, 1.0 - w * w));
    if (s < 1e-7) {
        *ang = 0.0f;
        axis = Point3(0.0f, 0.0f, 1.0f);
        return;
    }
    *ang = float(2.0 * std::acos(w));
    axis = Point3(q.x / s, q.y / s, q.z / s);
}

Quat QFromAngAxis(float ang, const Point3& axis) { return Quat(AngAxis(axis, ang)); }

void QuatToEuler(const Quat& q, float* ang)
{
    // MakeMatrix(q) = RotateXMatrix(a) * RotateYMatrix(b) * RotateZMatrix(c) makes q,
    // up to its sign and length, the product qx(-a) qy(-b) qz(-c) of the quaternions
    // of the three turns. With A, B, C = -a, -b, -c and half-angle cosines and sines:
    //   w + y = (cB + sB) cos((A+C)/2)    x + z = (cB + sB) sin((A+C)/2)
    //   w - y = (cB - sB) cos((A-C)/2)    x - z = (cB - sB) sin((A-C)/2)
    // so each angle comes from an atan2 of components, with no cancellation, and B
    // from the ratio of the two lengths. Near B = +/-90 degrees one length vanishes
    // and only the other sum or difference of A and C is defined; the one that is
    // left keeps its full precision, so the rotation rebuilt from the three angles
    // stays exact to the precision of q.
    const double w = q.w, x = q.x, y = q.y, z = q.z;
    const double half = std::atan2(x + z, w + y), halfDiff = std::atan2(x - z, w - y);
    const double plus = std::hypot(w + y, x + z), minus = std::hypot(w - y, x - z);
    double A, B, C;
    // Within a few millionths of a radian of the pole the vanishing length is no more
    // than the rounding of q's components: its angle would be noise. The whole turn
    // goes into A, as a single rotation about the locked axis.
    constexpr double LOCKED = 1e-6;
    if (minus <= LOCKED * std::hypot(plus, minus)) {
        B = M_PI / 2;
        A = 2 * half;
        C = 0;
    } else if (plus <= LOCKED * std::hypot(plus, minus)) {
        B = -M_PI / 2;
        A = 2 * halfDiff;
        C = 0;
    } else {
        B = M_PI / 2 - 2 * std::atan2(minus, plus);
        A = half + halfDiff;
        C = half - halfDiff;
    }
    // Into [-pi, pi]; adding 0 turns -0 into +0.
    const double angles[3] = {-A, -B, -C};
    for (int k = 0; k < 3; k++)
        ang[k] = float(std::remainder(angles[k], 2 * M_PI)) + 0.0f;
}

void EulerToQuat(const float* ang, Quat& q)
{
    q = Quat(RotateXMatrix(ang[0]) * RotateYMatrix(ang[1]) * RotateZMatrix(ang[2]));
}

// ---- polar decomposition ----

namespace {

struct M3 {
    double a[3][3];
};

M3 Mul(const M3& x, const M3& y)
{
    M3 r{};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            r.a[i][j] = x.a[i][0] * y.a[0][j] + x.a[i][1] * y.a[1][j] + x.a[i][2] * y.a[2][j];
    return r;
}

M3 Transpose(const M3& x)
{
    M3 r{};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            r.a[i][j] = x.a[j][i];
    return r;
}

double Det(const M3& m)
{
    return m.a[0][0] * (m.a[1][1] * m.a[2][2] - m.a[1][2] * m.a[2][1]) -
           m.a[0][1] * (m.a[1][0] * m.a[2][2] - m.a[1][2] * m.a[2][0]) +
           m.a[0][2] * (m.a[1][0] * m.a[2][1] - m.a[1][1] * m.a[2][0]);
}

// Transpose of the inverse (the adjugate divided by the determinant).
bool InverseTranspose(const M3& m, M3& r)
{
    double d = Det(m);
    if (d == 0.0 || !std::isfinite(d))
        return false;
    for (int i = 0; i < 3; i++) {
        int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
        for (int j = 0; j < 3; j++) {
            int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            r.a[i][j] = (m.a[i1][j1] * m.a[i2][j2] - m.a[i1][j2] * m.a[i2][j1]) / d;
        }
    }
    return true;
}

double Norm(const M3& m)
{
    double s = 0.0;
    for (auto& row : m.a)
        for (double v : row)
            s += v * v;
    return std::sqrt(s);
}

// Orthonormal rows by Gram-Schmidt, with substitutes for vanishing rows.
M3 Orthonormalise(M3 m)
{
    double* r[3] = {m.a[0], m.a[1], m.a[2]};
    auto len = [](const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); };
    for (int i = 0; i < 3; i++) {
        for (int k = 0; k < i; k++) {
            double d = r[i][0] * r[k][0] + r[i][1] * r[k][1] + r[i][2] * r[k][2];
            for (int j = 0; j < 3; j++)
                r[i][j] -= d * r[k][j];
        }
        double l = len(r[i]);
        if (l < 1e-12) {
            // Pick the unit axis least aligned with the rows found so far.
            for (int axis = 0; axis < 3; axis++) {
                double c[3] = {0, 0, 0};
                c[axis] = 1.0;
                for (int k = 0; k < i; k++) {
                    double d = c[0] * r[k][0] + c[1] * r[k][1] + c[2] * r[k][2];
                    for (int j = 0; j < 3; j++)
                        c[j] -= d * r[k][j];
                }
                if (len(c) > 0.5) {
                    for (int j = 0; j < 3; j++)
                        r[i][j] = c[j];
                    break;
                }
            }
            l = len(r[i]);
        }
        for (int j = 0; j < 3; j++)
            r[i][j] /= l;
    }
    if (Det(m) < 0.0)
        for (int j = 0; j < 3; j++)
            m.a[2][j] = -m.a[2][j];
    return m;
}

// Orthogonal factor of the polar decomposition (Higham's scaled Newton iteration).
M3 PolarRotation(const M3& b)
{
    M3 x = b;
    for (int iter = 0; iter < 60; iter++) {
        M3 it;
        if (!InverseTranspose(x, it))
            return Orthonormalise(x);
        double g = std::sqrt(Norm(it) / Norm(x));
        M3 n{};
        double diff = 0.0;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) {
                n.a[i][j] = 0.5 * (g * x.a[i][j] + it.a[i][j] / g);
                diff += std::fabs(n.a[i][j] - x.a[i][j]);
            }
        x = n;
        if (diff < 1e-13)
            break;
    }
    return x;
}

// Jacobi eigen decomposition of a symmetric matrix: s = e * diag(d) * transpose(e).
void SymmetricEigen(M3 s, double d[3], M3& e)
{
    e = M3{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (int sweep = 0; sweep < 50; sweep++) {
        double off = std::fabs(s.a[0][1]) + std::fabs(s.a[0][2]) + std::fabs(s.a[1][2]);
        if (off < 1e-15)
            break;
        for (int p = 0; p < 2; p++) {
            for (int q = p + 1; q < 3; q++) {
                if (s.a[p][q] == 0.0)
                    continue;
                double theta = (s.a[q][q] - s.a[p][p]) / (2.0 * s.a[p][q]);
                double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                double c = 1.0 / std::sqrt(t * t + 1.0), sn = t * c;
                M3 j{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
                j.a[p][p] = c;
                j.a[q][q] = c;
                j.a[p][q] = sn;
                j.a[q][p] = -sn;
                s = Mul(Transpose(j), Mul(s, j));
                e = Mul(e, j);
            }
        }
    }
    for (int i = 0; i < 3; i++)
        d[i] = s.a[i][i];
}

Matrix3 ToMatrix3(const M3& m)
{
    Matrix3 r;
    for (int i = 0; i < 3; i++)
        r.SetRow(i, Point3(m.a[i][0], m.a[i][1], m.a[i][2]));
    return r;
}

} // namespace

void decomp_affine(Matrix3 A, AffineParts* parts)
{
    parts->t = A.GetTrans();
    M3 b{};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            b.a[i][j] = A[i][j];
    double det = Det(b);
    parts->f = det < 0.0 ? -1.0f : 1.0f;
    if (det < 0.0)
        for (auto& row : b.a)
            for (double& v : row)
                v = -v;

    // Row vectors: b = s * q, the stretch applied before the rotation.
    M3 q = PolarRotation(b);
    M3 s = Mul(b, Transpose(q));
    for (int i = 0; i < 3; i++)
        for (int j = i + 1; j < 3; j++)
            s.a[i][j] = s.a[j][i] = 0.5 * (s.a[i][j] + s.a[j][i]);
    parts->q = Quat(ToMatrix3(q));

    double k[3];
    M3 e;
    SymmetricEigen(s, k, e);
    M3 u = Transpose(e); // s = transpose(u) * diag(k) * u
    if (Det(u) < 0.0)
        for (int j = 0; j < 3; j++)
            u.a[2][j] = -u.a[2][j];
    parts->u = Quat(ToMatrix3(u));
    parts->k = Point3(k[0], k[1], k[2]);
}
