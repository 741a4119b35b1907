#include "platform/max/MaxMath.h"

#include <algorithm>
#include <array>
#include <cstring>

Point3 Point3::Normalize() const {
    float len = Length();
    return len > 0.0f ? *this / len : Point3();
}

float DotProd(const Point3& a, const Point3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Point3 CrossProd(const Point3& a, const Point3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// ---- Quat ----

Quat Quat::Normalize() const {
    float len = std::sqrt(x * x + y * y + z * z + w * w);
    return len > 0.0f ? Quat(x / len, y / len, z / len, w / len) : Quat();
}

void Quat::MakeMatrix(Matrix3& mat, bool flag) const {
    const float xx = x * x, yy = y * y, zz = z * z;
    const float xy = x * y, xz = x * z, yz = y * z;
    const float wx = w * x, wy = w * y, wz = w * z;
    mat.SetRow(0, {1 - 2 * (yy + zz), 2 * (xy - wz), 2 * (xz + wy)});
    mat.SetRow(1, {2 * (xy + wz), 1 - 2 * (xx + zz), 2 * (yz - wx)});
    mat.SetRow(2, {2 * (xz - wy), 2 * (yz + wx), 1 - 2 * (xx + yy)});
    if (!flag) mat.NoTrans();
}

// Inverts MakeMatrix for an orthonormal matrix with determinant +1, choosing the branch
// with the largest divisor for accuracy.
Quat::Quat(const Matrix3& m) {
    const float m00 = m.m[0][0], m11 = m.m[1][1], m22 = m.m[2][2];
    const float trace = m00 + m11 + m22;
    if (trace > 0.0f) {
        float s = 0.5f / std::sqrt(trace + 1.0f);
        w = 0.25f / s;
        x = (m.m[2][1] - m.m[1][2]) * s;
        y = (m.m[0][2] - m.m[2][0]) * s;
        z = (m.m[1][0] - m.m[0][1]) * s;
    } else if (m00 > m11 && m00 > m22) {
        float s = 2.0f * std::sqrt(1.0f + m00 - m11 - m22);
        w = (m.m[2][1] - m.m[1][2]) / s;
        x = 0.25f * s;
        y = (m.m[0][1] + m.m[1][0]) / s;
        z = (m.m[0][2] + m.m[2][0]) / s;
    } else if (m11 > m22) {
        float s = 2.0f * std::sqrt(1.0f + m11 - m00 - m22);
        w = (m.m[0][2] - m.m[2][0]) / s;
        x = (m.m[0][1] + m.m[1][0]) / s;
        y = 0.25f * s;
        z = (m.m[1][2] + m.m[2][1]) / s;
    } else {
        float s = 2.0f * std::sqrt(1.0f + m22 - m00 - m11);
        w = (m.m[1][0] - m.m[0][1]) / s;
        x = (m.m[0][2] + m.m[2][0]) / s;
        y = (m.m[1][2] + m.m[2][1]) / s;
        z = 0.25f * s;
    }
    // One sign for the same rotation keeps keys comparable.
    if (w < 0.0f) x = -x, y = -y, z = -z, w = -w;
    *this = Normalize();
}

Quat Slerp(const Quat& p, const Quat& q, float t) {
    double cosom = double(p.x) * q.x + double(p.y) * q.y + double(p.z) * q.z + double(p.w) * q.w;
    Quat target = q;
    if (cosom < 0.0) cosom = -cosom, target = Quat(-q.x, -q.y, -q.z, -q.w);
    double a = 1.0 - t, b = t;
    if (cosom < 0.9999) {
        double omega = std::acos(cosom), sinom = std::sin(omega);
        a = std::sin((1.0 - t) * omega) / sinom;
        b = std::sin(t * omega) / sinom;
    }
    auto mix = [&](float u, float v) { return static_cast<float>(a * u + b * v); };
    return Quat(mix(p.x, target.x), mix(p.y, target.y), mix(p.z, target.z), mix(p.w, target.w))
        .Normalize();
}

// MakeMatrix of (v, w) turns row vectors by the angle −2·acos(w) about v, so the
// counter-clockwise turn needs the conjugate.
Quat QuatFromAxisAngle(const Point3& axis, float angleRadians) {
    Point3 a = axis.Normalize();
    float s = std::sin(angleRadians / 2.0f);
    return Quat(-a.x * s, -a.y * s, -a.z * s, std::cos(angleRadians / 2.0f));
}

// ---- Matrix3 ----

Matrix3::Matrix3(int init) {
    if (!init) Zero();
}

Matrix3::Matrix3(const Point3& r0, const Point3& r1, const Point3& r2, const Point3& r3) {
    SetRow(0, r0), SetRow(1, r1), SetRow(2, r2), SetRow(3, r3);
}

void Matrix3::IdentityMatrix() {
    *this = Matrix3();
}

void Matrix3::Zero() {
    std::memset(m, 0, sizeof m);
}

bool Matrix3::IsIdentity() const {
    return *this == Matrix3();
}

Point3 Matrix3::PointTransform(const Point3& p) const {
    return VectorTransform(p) + GetRow(3);
}

Point3 Matrix3::VectorTransform(const Point3& p) const {
    return {p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0],
            p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1],
            p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2]};
}

Point3 VectorTransform(const Matrix3& m, const Point3& p) {
    return m.VectorTransform(p);
}

Matrix3 Matrix3::operator*(const Matrix3& b) const {
    Matrix3 r(0);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j] +
                        (i == 3 ? b.m[3][j] : 0.0f);
    return r;
}

bool operator==(const Matrix3& a, const Matrix3& b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            if (a.m[i][j] != b.m[i][j]) return false;
    return true;
}

float DeterminantOf3x3(const Matrix3& m) {
    return DotProd(m.GetRow(0), CrossProd(m.GetRow(1), m.GetRow(2)));
}

// The inverse of the 3×3 part is the adjugate over the determinant; the translation is
// then undone in the inverse's space. A singular matrix gives the zero matrix.
Matrix3 Inverse(const Matrix3& m) {
    const Point3 r0 = m.GetRow(0), r1 = m.GetRow(1), r2 = m.GetRow(2);
    const Point3 c0 = CrossProd(r1, r2), c1 = CrossProd(r2, r0), c2 = CrossProd(r0, r1);
    const double det = DotProd(r0, c0);
    Matrix3 inv(0);
    if (det == 0.0) return inv;
    const float s = static_cast<float>(1.0 / det);
    for (int i = 0; i < 3; ++i) {
        inv.m[i][0] = c0[i] * s;
        inv.m[i][1] = c1[i] * s;
        inv.m[i][2] = c2[i] * s;
    }
    inv.SetTrans(-inv.VectorTransform(m.GetTrans()));
    return inv;
}

Matrix3 ScaleMatrix(const Point3& s) {
    Matrix3 r;
    r.m[0][0] = s.x, r.m[1][1] = s.y, r.m[2][2] = s.z;
    return r;
}

Matrix3 TransMatrix(const Point3& t) {
    Matrix3 r;
    r.SetTrans(t);
    return r;
}

Matrix3 RotateMatrix(const Quat& q) {
    Matrix3 r;
    q.MakeMatrix(r);
    return r;
}

// ---- decomp_affine ----

namespace {

using Mat3d = std::array<std::array<double, 3>, 3>;

Mat3d Upper3x3(const Matrix3& m) {
    Mat3d a{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a[i][j] = m.m[i][j];
    return a;
}

Matrix3 ToMatrix3(const Mat3d& a) {
    Matrix3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<float>(a[i][j]);
    return r;
}

Mat3d Multiply(const Mat3d& a, const Mat3d& b) {
    Mat3d r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
    return r;
}

Mat3d Transpose(const Mat3d& a) {
    Mat3d r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[i][j] = a[j][i];
    return r;
}

double Determinant(const Mat3d& a) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// Transpose of the inverse: the cofactor matrix over the determinant.
Mat3d InverseTranspose(const Mat3d& a, double det) {
    Mat3d r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            r[i][j] = (a[i1][j1] * a[i2][j2] - a[i1][j2] * a[i2][j1]) / det;
        }
    return r;
}

// The orthogonal polar factor by Higham's averaging iteration, R ← (R + R⁻ᵀ) / 2, which
// converges quadratically for any invertible matrix.
Mat3d OrthogonalFactor(const Mat3d& a) {
    Mat3d r = a;
    for (int iteration = 0; iteration < 100; ++iteration) {
        Mat3d next = InverseTranspose(r, Determinant(r));
        double change = 0.0;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                double v = 0.5 * (r[i][j] + next[i][j]);
                change = std::max(change, std::abs(v - r[i][j]));
                next[i][j] = v;
            }
        r = next;
        if (change < 1e-15) break;
    }
    return r;
}

// Jacobi eigen-decomposition of a symmetric matrix: s = V × diag(d) × Vᵀ, eigenvectors in
// the columns of V. A diagonal s needs no rotation, so V stays the identity.
void SymmetricEigen(Mat3d s, Mat3d& v, std::array<double, 3>& d) {
    v = Mat3d{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (int sweep = 0; sweep < 50; ++sweep) {
        double off = std::abs(s[0][1]) + std::abs(s[0][2]) + std::abs(s[1][2]);
        if (off < 1e-300) break;
        for (int p = 0; p < 2; ++p)
            for (int q = p + 1; q < 3; ++q) {
                if (s[p][q] == 0.0) continue;
                double theta = (s[q][q] - s[p][p]) / (2.0 * s[p][q]);
                double t =
                    (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1.0));
                double c = 1.0 / std::sqrt(t * t + 1.0), sn = t * c;
                for (int k = 0; k < 3; ++k) {  // s ← Jᵀ s J, v ← v J
                    double skp = s[k][p], skq = s[k][q];
                    s[k][p] = c * skp - sn * skq;
                    s[k][q] = sn * skp + c * skq;
                }
                for (int k = 0; k < 3; ++k) {
                    double spk = s[p][k], sqk = s[q][k];
                    s[p][k] = c * spk - sn * sqk;
                    s[q][k] = sn * spk + c * sqk;
                }
                for (int k = 0; k < 3; ++k) {
                    double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - sn * vkq;
                    v[k][q] = sn * vkp + c * vkq;
                }
            }
    }
    d = {s[0][0], s[1][1], s[2][2]};
}

void DecomposeSingular(const Matrix3& m, AffineParts* parts) {
    parts->q = Quat();
    parts->u = Quat();
    parts->f = 1.0f;
    parts->k = Point3(m.GetRow(0).Length(), m.GetRow(1).Length(), m.GetRow(2).Length());
}

}  // namespace

void decomp_affine(const Matrix3& m, AffineParts* parts) {
    parts->t = m.GetTrans();
    const Mat3d a = Upper3x3(m);
    const double det = Determinant(a);
    if (std::abs(det) < 1e-30) return DecomposeSingular(m, parts);

    // a = S × R with R orthogonal; R = Q × F, F = f·I.
    Mat3d r = OrthogonalFactor(a);
    const double f = Determinant(r) < 0.0 ? -1.0 : 1.0;
    Mat3d rotation = r;
    for (auto& row : rotation)
        for (double& x : row) x *= f;
    const Mat3d stretch = Multiply(a, Transpose(r));

    // S = Vᵀᵀ × K × Vᵀ with U = Vᵀ, so Inverse(U) × K × U gives S back.
    Mat3d v;
    std::array<double, 3> d;
    SymmetricEigen(stretch, v, d);
    if (Determinant(v) < 0.0)
        for (int k = 0; k < 3; ++k) v[k][2] = -v[k][2];

    parts->f = static_cast<float>(f);
    parts->q = Quat(ToMatrix3(rotation));
    parts->u = Quat(ToMatrix3(Transpose(v)));
    parts->k = Point3(static_cast<float>(d[0]), static_cast<float>(d[1]), static_cast<float>(d[2]));
}

// ---- GMatrix ----

GMatrix::GMatrix() : GMatrix(Matrix3()) {}

GMatrix::GMatrix(const Matrix3& m) {
    for (int i = 0; i < 4; ++i) m_rows[i] = Point4(m.GetRow(i), i == 3 ? 1.0f : 0.0f);
}

Matrix3 GMatrix::ExtractMatrix3() const {
    Matrix3 r;
    for (int i = 0; i < 4; ++i) r.SetRow(i, {m_rows[i].x, m_rows[i].y, m_rows[i].z});
    return r;
}

GMatrix GMatrix::operator*(const GMatrix& b) const {
    GMatrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += m_rows[i][k] * b.m_rows[k][j];
            r.m_rows[i][j] = sum;
        }
    return r;
}
