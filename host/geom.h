// The host's geometry library.
//
// Conventions (those of the host, which every caller relies on):
// - Points are row vectors: a point p is transformed by a matrix M as p' = p * M,
//   and A * B applies A first, then B. A Matrix3 is four rows of three numbers:
//   the 3 x 3 linear part, then the translation row.
// - Euler angles are right-handed rotations about X, then Y, then Z, in radians:
//   the matrix of (x, y, z) is RotateXMatrix(x) * RotateYMatrix(y) * RotateZMatrix(z).
// - The host's quaternions are left-handed: the quaternion (x, y, z, w) and the
//   AngAxis (axis, angle) with (x, y, z) = axis * sin(angle / 2), w = cos(angle / 2)
//   turn points by -angle about the axis in the right-hand sense. A right-handed
//   rotation of 90 degrees about Z is therefore the quaternion (0, 0, -0.7071, 0.7071).
//   The product q1 * q2 is the rotation q1 followed by q2, like matrices.
#pragma once

#include "maxtypes.h"

#include <cmath>

class Point3 {
public:
    float x, y, z;
    Point3() : x(0), y(0), z(0) {}
    Point3(float X, float Y, float Z) : x(X), y(Y), z(Z) {}
    Point3(double X, double Y, double Z) : x(float(X)), y(float(Y)), z(float(Z)) {}
    Point3(int X, int Y, int Z) : x(float(X)), y(float(Y)), z(float(Z)) {}
    float& operator[](int i) { return (&x)[i]; }
    const float& operator[](int i) const { return (&x)[i]; }
    Point3 operator-() const { return Point3(-x, -y, -z); }
    Point3 operator+(const Point3& p) const { return Point3(x + p.x, y + p.y, z + p.z); }
    Point3 operator-(const Point3& p) const { return Point3(x - p.x, y - p.y, z - p.z); }
    Point3 operator*(float f) const { return Point3(x * f, y * f, z * f); }
    Point3 operator/(float f) const { return Point3(x / f, y / f, z / f); }
    Point3& operator+=(const Point3& p)
    {
        x += p.x;
        y += p.y;
        z += p.z;
        return *this;
    }
    Point3& operator-=(const Point3& p)
    {
        x -= p.x;
        y -= p.y;
        z -= p.z;
        return *this;
    }
    Point3& operator*=(float f)
    {
        x *= f;
        y *= f;
        z *= f;
        return *this;
    }
    bool operator==(const Point3& p) const { return x == p.x && y == p.y && z == p.z; }
    bool operator!=(const Point3& p) const { return !(*this == p); }
    float Length() const { return std::sqrt(x * x + y * y + z * z); }
    float LengthSquared() const { return x * x + y * y + z * z; }
    // Cross product.
    Point3 operator^(const Point3& p) const { return Point3(y * p.z - z * p.y, z * p.x - x * p.z, x * p.y - y * p.x); }
    // Dot product.
    float operator%(const Point3& p) const { return x * p.x + y * p.y + z * p.z; }
};
inline Point3 operator*(float f, const Point3& p) { return p * f; }
HOSTAPI Point3 Normalize(const Point3& p);
inline float DotProd(const Point3& a, const Point3& b) { return a % b; }
inline Point3 CrossProd(const Point3& a, const Point3& b) { return a ^ b; }

typedef Point3 UVVert;

class Quat;

class Matrix3 {
    float m[4][3];

public:
    // Identity.
    Matrix3();
    explicit Matrix3(int init)
    {
        if (init)
            IdentityMatrix();
        else
            Zero();
    }
    Matrix3(const Point3& r0, const Point3& r1, const Point3& r2, const Point3& t)
    {
        SetRow(0, r0);
        SetRow(1, r1);
        SetRow(2, r2);
        SetRow(3, t);
    }
    void IdentityMatrix();
    void Zero();
    Point3 GetRow(int i) const { return Point3(m[i][0], m[i][1], m[i][2]); }
    void SetRow(int i, const Point3& p)
    {
        m[i][0] = p.x;
        m[i][1] = p.y;
        m[i][2] = p.z;
    }
    Point3 GetTrans() const { return GetRow(3); }
    void SetTrans(const Point3& p) { SetRow(3, p); }
    void NoTrans() { SetRow(3, Point3()); }
    float* operator[](int i) { return m[i]; }
    const float* operator[](int i) const { return m[i]; }
    // Row-vector product: the result applies this matrix, then b.
    Matrix3 operator*(const Matrix3& b) const;
    Matrix3& operator*=(const Matrix3& b) { return *this = *this * b; }
    bool operator==(const Matrix3& b) const;
    bool Equals(const Matrix3& b, float epsilon = 1e-6f) const;
    // Determinant of the 3 x 3 part.
    float Determinant() const;
};

// Transforms the point p by A (row vector): p * A. Both spellings are the host's.
HOSTAPI Point3 operator*(const Matrix3& A, const Point3& p);
HOSTAPI Point3 operator*(const Point3& p, const Matrix3& A);
// Transforms a direction: the translation row is ignored.
HOSTAPI Point3 VectorTransform(const Matrix3& M, const Point3& v);
// Inverse of an affine transform; a singular matrix gives the identity.
HOSTAPI Matrix3 Inverse(const Matrix3& M);
HOSTAPI Matrix3 TransMatrix(const Point3& p);
HOSTAPI Matrix3 ScaleMatrix(const Point3& s);
HOSTAPI Matrix3 RotateXMatrix(float angle);
HOSTAPI Matrix3 RotateYMatrix(float angle);
HOSTAPI Matrix3 RotateZMatrix(float angle);

class AngAxis {
public:
    Point3 axis;
    float angle;
    AngAxis() : axis(0.0f, 0.0f, 1.0f), angle(0.0f) {}
    AngAxis(const Point3& ax, float ang) : axis(ax), angle(ang) {}
    explicit AngAxis(const Quat& q);
};

class Quat {
public:
    float x, y, z, w;
    Quat() : x(0), y(0), z(0), w(1) {}
    Quat(float X, float Y, float Z, float W) : x(X), y(Y), z(Z), w(W) {}
    Quat(double X, double Y, double Z, double W) : x(float(X)), y(float(Y)), z(float(Z)), w(float(W)) {}
    // (axis * sin(angle / 2), cos(angle / 2)); the axis is normalised first.
    explicit Quat(const AngAxis& aa);
    // The rotation part of an orthonormal matrix.
    explicit Quat(const Matrix3& m);
    void Identity()
    {
        x = y = z = 0.0f;
        w = 1.0f;
    }
    bool IsIdentity() const { return x == 0.0f && y == 0.0f && z == 0.0f && w == 1.0f; }
    float& operator[](int i) { return (&x)[i]; }
    const float& operator[](int i) const { return (&x)[i]; }
    // Hamilton product: the rotation of this quaternion followed by that of q.
    Quat operator*(const Quat& q) const;
    Quat Conjugate() const { return Quat(-x, -y, -z, w); }
    Quat Inverse() const;
    void Normalize();
    bool operator==(const Quat& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
    // The 3 x 3 rotation matrix with no translation.
    void MakeMatrix(Matrix3& mat) const;
};

// Spherical interpolation from p (u = 0) to q (u = 1) along the shorter arc.
HOSTAPI Quat Slerp(const Quat& p, const Quat& q, float u);
// The angle (in [0, 2 pi)) and unit axis of q; the identity gives angle 0 about Z.
HOSTAPI void AngAxisFromQ(const Quat& q, float* ang, Point3& axis);
HOSTAPI Quat QFromAngAxis(float ang, const Point3& axis);
// Euler angles (x, y, z) of q, in radians, in the convention at the top of this file:
// x and z in [-pi, pi], y in [-pi/2, pi/2].
HOSTAPI void QuatToEuler(const Quat& q, float* ang);
HOSTAPI void EulerToQuat(const float* ang, Quat& q);

// Result of the polar decomposition of an affine transform:
//   M = Inverse(U) * ScaleMatrix(k) * U * Q * ScaleMatrix(f, f, f) * TransMatrix(t)
// where Q and U are the matrices of q and u.
struct AffineParts {
    Point3 t; // translation
    Quat q;   // essential rotation
    Quat u;   // stretch rotation
    Point3 k; // stretch factors
    float f;  // sign of the determinant, 1 or -1
};

// Shoemake's polar decomposition of an affine transform.
HOSTAPI void decomp_affine(Matrix3 A, AffineParts* parts);
