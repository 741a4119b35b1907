// Host maths: points, quaternions, the 4×3 row-vector matrix, IGame's 4×4 matrix and the
// affine decomposition.
//
// Points are row vectors: p' = p × M. In a product A × B the transform A applies first.
#pragma once

#include <cmath>

#include "platform/win/WinTypes.h"

class Point2 {
  public:
    float x = 0, y = 0;
    Point2() = default;
    Point2(float X, float Y) : x(X), y(Y) {}
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
    friend bool operator==(const Point2&, const Point2&) = default;
};

class Point3 {
  public:
    float x = 0, y = 0, z = 0;
    Point3() = default;
    Point3(float X, float Y, float Z) : x(X), y(Y), z(Z) {}
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
    Point3 operator+(const Point3& p) const { return {x + p.x, y + p.y, z + p.z}; }
    Point3 operator-(const Point3& p) const { return {x - p.x, y - p.y, z - p.z}; }
    Point3 operator-() const { return {-x, -y, -z}; }
    Point3 operator*(float f) const { return {x * f, y * f, z * f}; }
    Point3 operator/(float f) const { return {x / f, y / f, z / f}; }
    Point3& operator+=(const Point3& p) { return *this = *this + p; }
    Point3& operator-=(const Point3& p) { return *this = *this - p; }
    Point3& operator*=(float f) { return *this = *this * f; }
    float Length() const { return std::sqrt(x * x + y * y + z * z); }
    float LengthSquared() const { return x * x + y * y + z * z; }
    // The unit vector; a zero vector stays zero.
    Point3 Normalize() const;
    friend bool operator==(const Point3&, const Point3&) = default;
};
inline Point3 operator*(float f, const Point3& p) {
    return p * f;
}
float DotProd(const Point3& a, const Point3& b);
Point3 CrossProd(const Point3& a, const Point3& b);
inline Point3 Normalize(const Point3& p) {
    return p.Normalize();
}

class Point4 {
  public:
    float x = 0, y = 0, z = 0, w = 0;
    Point4() = default;
    Point4(float X, float Y, float Z, float W) : x(X), y(Y), z(Z), w(W) {}
    Point4(const Point3& p, float W) : x(p.x), y(p.y), z(p.z), w(W) {}
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
    friend bool operator==(const Point4&, const Point4&) = default;
};

// Colours: r, g, b in 0..1 (AColor adds alpha).
class Color {
  public:
    float r = 0, g = 0, b = 0;
    Color() = default;
    Color(float R, float G, float B) : r(R), g(G), b(B) {}
    explicit Color(const Point3& p) : r(p.x), g(p.y), b(p.z) {}
    float& operator[](int i) { return (&r)[i]; }
    float operator[](int i) const { return (&r)[i]; }
    friend bool operator==(const Color&, const Color&) = default;
};

class AColor {
  public:
    float r = 0, g = 0, b = 0, a = 1;
    AColor() = default;
    AColor(float R, float G, float B, float A = 1.0f) : r(R), g(G), b(B), a(A) {}
    float& operator[](int i) { return (&r)[i]; }
    float operator[](int i) const { return (&r)[i]; }
    friend bool operator==(const AColor&, const AColor&) = default;
};

class Matrix3;

// A unit quaternion (x, y, z, w). MakeMatrix gives the matrix that the host associates with
// it; decomp_affine hands out quaternions under the same rule.
class Quat {
  public:
    float x = 0, y = 0, z = 0, w = 1;
    Quat() = default;
    Quat(float X, float Y, float Z, float W) : x(X), y(Y), z(Z), w(W) {}
    explicit Quat(const Matrix3& m);  // the rotation part of an orthonormal matrix
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
    // Fills the rotation rows of mat. With flag false the translation row becomes zero;
    // with flag true it is kept.
    void MakeMatrix(Matrix3& mat, bool flag = false) const;
    Quat Normalize() const;
    Quat Conjugate() const { return {-x, -y, -z, w}; }
    void Identity() { x = y = z = 0, w = 1; }
    bool IsIdentity() const { return x == 0 && y == 0 && z == 0 && (w == 1 || w == -1); }
    friend bool operator==(const Quat&, const Quat&) = default;
};

// Spherical interpolation from p (t = 0) to q (t = 1) along the shorter arc.
Quat Slerp(const Quat& p, const Quat& q, float t);

// A quaternion whose MakeMatrix turns row vectors by angleRadians about axis, counter-clockwise
// when looking from the axis tip towards the origin (the right-hand rule).
Quat QuatFromAxisAngle(const Point3& axis, float angleRadians);

// Four rows of three floats: rows 0 to 2 are the images of the x, y and z axes, row 3 the
// translation. The twelve floats are the whole object, so two matrices can be compared
// byte for byte.
class Matrix3 {
  public:
    float m[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};

    Matrix3() = default;
    // Matrix3(1) or Matrix3(TRUE) is the identity, Matrix3(0) all zeros.
    explicit Matrix3(int init);
    Matrix3(const Point3& r0, const Point3& r1, const Point3& r2, const Point3& r3);

    Point3& operator[](int i) { return *reinterpret_cast<Point3*>(m[i]); }
    const Point3& operator[](int i) const { return *reinterpret_cast<const Point3*>(m[i]); }
    Point3 GetRow(int i) const { return {m[i][0], m[i][1], m[i][2]}; }
    void SetRow(int i, const Point3& p) { m[i][0] = p.x, m[i][1] = p.y, m[i][2] = p.z; }
    Point3 GetTrans() const { return GetRow(3); }
    void SetTrans(const Point3& p) { SetRow(3, p); }
    void NoTrans() { SetRow(3, Point3()); }
    void IdentityMatrix();
    void Zero();
    bool IsIdentity() const;
    // Point transform (with translation) and vector transform (without).
    Point3 PointTransform(const Point3& p) const;
    Point3 VectorTransform(const Point3& p) const;

    Matrix3 operator*(const Matrix3& b) const;
    Matrix3& operator*=(const Matrix3& b) { return *this = *this * b; }
    friend bool operator==(const Matrix3&, const Matrix3&);
};
static_assert(sizeof(Matrix3) == 48, "Matrix3 is its twelve floats");

inline Point3 operator*(const Point3& p, const Matrix3& m) {
    return m.PointTransform(p);
}
Point3 VectorTransform(const Matrix3& m, const Point3& p);

Matrix3 Inverse(const Matrix3& m);
Matrix3 ScaleMatrix(const Point3& s);
Matrix3 TransMatrix(const Point3& t);
Matrix3 RotateMatrix(const Quat& q);
// The determinant of the 3×3 part.
float DeterminantOf3x3(const Matrix3& m);

// The parts of an affine matrix: translation t, essential rotation q, stretch rotation u,
// stretch factors k and the determinant's sign f. With the matrices T, Q, U, K and F built
// from them, Inverse(U) × K × U × Q × F × T is the matrix again.
struct AffineParts {
    Point3 t;
    Quat q;
    Quat u;
    Point3 k;
    float f = 1.0f;
};

// Polar decomposition after Shoemake: M = S × R (stretch first), R = Q × F with Q a proper
// rotation, and the stretch S = Inverse(U) × K × U from its eigen-decomposition. A stretch
// that is already axis-aligned keeps u the identity. A singular 3×3 part (a zero scale)
// cannot be split into rotation and stretch; it gives q the identity, u the identity and
// k the row lengths.
void decomp_affine(const Matrix3& m, AffineParts* parts);

// IGame's 4×4 matrix: rows of Point4, the fourth column (0, 0, 0, 1) for affine matrices.
class GMatrix {
  public:
    GMatrix();
    explicit GMatrix(const Matrix3& m);
    Point4& operator[](int i) { return m_rows[i]; }
    const Point4& operator[](int i) const { return m_rows[i]; }
    Point4 GetRow(int i) const { return m_rows[i]; }
    void SetRow(int i, const Point4& p) { m_rows[i] = p; }
    Matrix3 ExtractMatrix3() const;
    GMatrix& operator=(const Matrix3& m) { return *this = GMatrix(m); }
    GMatrix operator*(const GMatrix& b) const;

  private:
    Point4 m_rows[4];
};
