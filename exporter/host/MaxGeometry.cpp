// Geometry of the SDK stand-in: vector and matrix operations, the inverse of
// an affine transform, quaternions and the affine decomposition.
#include <algorithm>
#include <cmath>

#include "exporter/host/MaxTypes.h"

namespace {
using Mat3d = double[3][3];

bool Finite(float v) {
    return std::isfinite(v);
}

double Det3(const Mat3d a) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// Inverse of a 3x3 matrix; false when it is singular or not finite.
bool Invert3(const Mat3d a, Mat3d out) {
    const double det = Det3(a);
    if (!std::isfinite(det) || std::fabs(det) < 1e-30) return false;
    const double inv = 1.0 / det;
    out[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) * inv;
    out[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) * inv;
    out[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) * inv;
    out[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) * inv;
    out[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) * inv;
    out[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) * inv;
    out[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) * inv;
    out[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) * inv;
    out[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) * inv;
    return true;
}

void ToMat3d(const Matrix3& m, Mat3d a) {
    for (int r = 0; r < 3; ++r) {
        const Point3 row = m.GetRow(r);
        for (int c = 0; c < 3; ++c) a[r][c] = row[c];
    }
}

// Quaternion of a rotation given as a row-vector matrix (rows are the images
// of the axes); the result has w >= 0.
Quat QuatFromRows(const Mat3d m) {
    // r[i][j] of the column-vector form is m[j][i].
    auto r = [&](int i, int j) { return m[j][i]; };
    double x, y, z, w;
    const double trace = r(0, 0) + r(1, 1) + r(2, 2);
    if (trace > 0.0) {
        const double s = 0.5 / std::sqrt(trace + 1.0);
        w = 0.25 / s;
        x = (r(2, 1) - r(1, 2)) * s;
        y = (r(0, 2) - r(2, 0)) * s;
        z = (r(1, 0) - r(0, 1)) * s;
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
        const double s = 2.0 * std::sqrt(std::max(0.0, 1.0 + r(0, 0) - r(1, 1) - r(2, 2)));
        w = s > 0 ? (r(2, 1) - r(1, 2)) / s : 0;
        x = 0.25 * s;
        y = s > 0 ? (r(0, 1) + r(1, 0)) / s : 0;
        z = s > 0 ? (r(0, 2) + r(2, 0)) / s : 0;
    } else if (r(1, 1) > r(2, 2)) {
        const double s = 2.0 * std::sqrt(std::max(0.0, 1.0 + r(1, 1) - r(0, 0) - r(2, 2)));
        w = s > 0 ? (r(0, 2) - r(2, 0)) / s : 0;
        x = s > 0 ? (r(0, 1) + r(1, 0)) / s : 0;
        y = 0.25 * s;
        z = s > 0 ? (r(1, 2) + r(2, 1)) / s : 0;
    } else {
        const double s = 2.0 * std::sqrt(std::max(0.0, 1.0 + r(2, 2) - r(0, 0) - r(1, 1)));
        w = s > 0 ? (r(1, 0) - r(0, 1)) / s : 0;
        x = s > 0 ? (r(0, 2) + r(2, 0)) / s : 0;
        y = s > 0 ? (r(1, 2) + r(2, 1)) / s : 0;
        z = 0.25 * s;
    }
    if (w < 0) {
        x = -x;
        y = -y;
        z = -z;
        w = -w;
    }
    Quat q(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z),
           static_cast<float>(w));
    q.Normalize();
    return q;
}

// Orthonormal right-handed rows close to arbitrary (possibly degenerate)
// rows: the longest row keeps its direction, the next longest loses its part
// along it, and the third follows from the other two.
void Orthonormalise(const Mat3d in, Mat3d out) {
    double rows[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) rows[r][c] = std::isfinite(in[r][c]) ? in[r][c] : 0.0;
    auto len = [](const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); };
    auto cross = [](const double* a, const double* b, double* o) {
        o[0] = a[1] * b[2] - a[2] * b[1];
        o[1] = a[2] * b[0] - a[0] * b[2];
        o[2] = a[0] * b[1] - a[1] * b[0];
    };
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int a, int b) { return len(rows[a]) > len(rows[b]); });
    const int i0 = order[0], i1 = order[1];
    const double axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    double e0[3], e1[3];
    double l = len(rows[i0]);
    for (int c = 0; c < 3; ++c) e0[c] = l > 1e-12 ? rows[i0][c] / l : axes[i0][c];
    double d = e0[0] * rows[i1][0] + e0[1] * rows[i1][1] + e0[2] * rows[i1][2];
    for (int c = 0; c < 3; ++c) e1[c] = rows[i1][c] - d * e0[c];
    l = len(e1);
    if (l < 1e-12) {
        // Any direction across e0: the axis least parallel to it.
        int best = 0;
        for (int a = 1; a < 3; ++a)
            if (std::fabs(e0[a]) < std::fabs(e0[best])) best = a;
        d = e0[best];
        for (int c = 0; c < 3; ++c) e1[c] = axes[best][c] - d * e0[c];
        l = len(e1);
    }
    for (int c = 0; c < 3; ++c) e1[c] /= l;
    for (int c = 0; c < 3; ++c) {
        out[i0][c] = e0[c];
        out[i1][c] = e1[c];
    }
    // Right-handed: row k = row (k+1) x row (k+2).
    const int i2 = 3 - i0 - i1;
    cross(out[(i2 + 1) % 3], out[(i2 + 2) % 3], out[i2]);
}

// Eigen decomposition of a symmetric 3x3 matrix by Jacobi rotations:
// s = v * diag(k) * v^T, eigenvectors in the columns of v.
void JacobiEigen(Mat3d s, double k[3], Mat3d v) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) v[r][c] = r == c ? 1.0 : 0.0;
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = std::fabs(s[0][1]) + std::fabs(s[0][2]) + std::fabs(s[1][2]);
        if (!(off > 1e-15)) break;
        for (int p = 0; p < 2; ++p) {
            for (int q = p + 1; q < 3; ++q) {
                if (std::fabs(s[p][q]) < 1e-300) continue;
                const double theta = (s[q][q] - s[p][p]) / (2.0 * s[p][q]);
                const double t =
                    (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double sn = t * c;
                for (int r = 0; r < 3; ++r) {  // s = s * J
                    const double a = s[r][p], b = s[r][q];
                    s[r][p] = c * a - sn * b;
                    s[r][q] = sn * a + c * b;
                }
                for (int r = 0; r < 3; ++r) {  // s = J^T * s
                    const double a = s[p][r], b = s[q][r];
                    s[p][r] = c * a - sn * b;
                    s[q][r] = sn * a + c * b;
                }
                for (int r = 0; r < 3; ++r) {  // v = v * J
                    const double a = v[r][p], b = v[r][q];
                    v[r][p] = c * a - sn * b;
                    v[r][q] = sn * a + c * b;
                }
            }
        }
    }
    for (int i = 0; i < 3; ++i) k[i] = s[i][i];
}
}  // namespace

// ------------------------------------------------------------------- Point3
float Point3::Length() const {
    return std::sqrt(LengthSquared());
}

Point3 Point3::Normalize() const {
    const float l = Length();
    if (!(l > 0.0f) || !std::isfinite(l)) return Point3(0.0f, 0.0f, 0.0f);
    return Point3(x / l, y / l, z / l);
}

Point3 Normalize(const Point3& p) {
    return p.Normalize();
}

Point3 CrossProd(const Point3& a, const Point3& b) {
    return Point3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

float DotProd(const Point3& a, const Point3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// --------------------------------------------------------------------- Quat
Quat::Quat(const Matrix3& m) {
    Mat3d a;
    ToMat3d(m, a);
    *this = QuatFromRows(a);
}

void Quat::Normalize() {
    const float l = std::sqrt(x * x + y * y + z * z + w * w);
    if (!(l > 0.0f) || !std::isfinite(l)) {
        x = y = z = 0.0f;
        w = 1.0f;
        return;
    }
    x /= l;
    y /= l;
    z /= l;
    w /= l;
}

void Quat::MakeMatrix(Matrix3& m) const {
    const float xx = x * x, yy = y * y, zz = z * z;
    const float xy = x * y, xz = x * z, yz = y * z, xw = x * w, yw = y * w, zw = z * w;
    // Rows are the images of the axes (the transposed column-vector form).
    m.SetRow(0, Point3(1 - 2 * (yy + zz), 2 * (xy + zw), 2 * (xz - yw)));
    m.SetRow(1, Point3(2 * (xy - zw), 1 - 2 * (xx + zz), 2 * (yz + xw)));
    m.SetRow(2, Point3(2 * (xz + yw), 2 * (yz - xw), 1 - 2 * (xx + yy)));
    m.NoTrans();
}

// ------------------------------------------------------------------ Matrix3
void Matrix3::IdentityMatrix() {
    m[0] = Point3(1.0f, 0.0f, 0.0f);
    m[1] = Point3(0.0f, 1.0f, 0.0f);
    m[2] = Point3(0.0f, 0.0f, 1.0f);
    m[3] = Point3(0.0f, 0.0f, 0.0f);
}

void Matrix3::Zero() {
    for (Point3& r : m) r = Point3(0.0f, 0.0f, 0.0f);
}

Matrix3 Matrix3::operator*(const Matrix3& b) const {
    Matrix3 out(0);
    for (int r = 0; r < 3; ++r) {
        double acc[3];
        for (int c = 0; c < 3; ++c)
            acc[c] = double(m[r][0]) * b.m[0][c] + double(m[r][1]) * b.m[1][c] +
                     double(m[r][2]) * b.m[2][c];
        out.m[r] = Point3(acc[0], acc[1], acc[2]);
    }
    double t[3];
    for (int c = 0; c < 3; ++c)
        t[c] = double(m[3][0]) * b.m[0][c] + double(m[3][1]) * b.m[1][c] +
               double(m[3][2]) * b.m[2][c] + b.m[3][c];
    out.m[3] = Point3(t[0], t[1], t[2]);
    return out;
}

bool Matrix3::operator==(const Matrix3& b) const {
    for (int r = 0; r < 4; ++r)
        if (m[r] != b.m[r]) return false;
    return true;
}

float Matrix3::Determinant() const {
    Mat3d a;
    ToMat3d(*this, a);
    return static_cast<float>(Det3(a));
}

Point3 operator*(const Point3& p, const Matrix3& m) {
    const Point3 r0 = m.GetRow(0), r1 = m.GetRow(1), r2 = m.GetRow(2), r3 = m.GetRow(3);
    return Point3(double(p.x) * r0.x + double(p.y) * r1.x + double(p.z) * r2.x + r3.x,
                  double(p.x) * r0.y + double(p.y) * r1.y + double(p.z) * r2.y + r3.y,
                  double(p.x) * r0.z + double(p.y) * r1.z + double(p.z) * r2.z + r3.z);
}

Point3 operator*(const Matrix3& m, const Point3& p) {
    return p * m;
}

Point3 VectorTransform(const Matrix3& m, const Point3& p) {
    const Point3 r0 = m.GetRow(0), r1 = m.GetRow(1), r2 = m.GetRow(2);
    return Point3(double(p.x) * r0.x + double(p.y) * r1.x + double(p.z) * r2.x,
                  double(p.x) * r0.y + double(p.y) * r1.y + double(p.z) * r2.y,
                  double(p.x) * r0.z + double(p.y) * r1.z + double(p.z) * r2.z);
}

bool IsInvertible(const Matrix3& m) {
    Mat3d a, inv;
    ToMat3d(m, a);
    const Point3 t = m.GetTrans();
    return Invert3(a, inv) && Finite(t.x) && Finite(t.y) && Finite(t.z);
}

Matrix3 Inverse(const Matrix3& m) {
    Mat3d a, inv;
    ToMat3d(m, a);
    const Point3 t = m.GetTrans();
    if (!Invert3(a, inv) || !Finite(t.x) || !Finite(t.y) || !Finite(t.z)) return Matrix3(1);
    Matrix3 out(1);
    for (int r = 0; r < 3; ++r) out.SetRow(r, Point3(inv[r][0], inv[r][1], inv[r][2]));
    double nt[3];
    for (int c = 0; c < 3; ++c)
        nt[c] = -(double(t.x) * inv[0][c] + double(t.y) * inv[1][c] + double(t.z) * inv[2][c]);
    out.SetTrans(Point3(nt[0], nt[1], nt[2]));
    return out;
}

// --------------------------------------------------------- decomp_affine
void decomp_affine(const Matrix3& A, AffineParts* parts) {
    if (parts == nullptr) return;
    parts->t = A.GetTrans();
    Mat3d a;
    ToMat3d(A, a);
    double det = Det3(a);
    parts->f = det < 0 ? -1.0f : 1.0f;
    if (det < 0)
        for (auto& row : a)
            for (double& v : row) v = -v;

    // Orthogonal factor q of the polar decomposition a = s * q (stretch
    // first, then rotation, in row-vector terms).
    Mat3d q;
    Mat3d inv;
    if (std::isfinite(det) && std::fabs(det) > 1e-12 && Invert3(a, inv)) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) q[r][c] = a[r][c];
        for (int iter = 0; iter < 64; ++iter) {
            Mat3d qi;
            if (!Invert3(q, qi)) break;
            double change = 0;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) {
                    const double next = 0.5 * (q[r][c] + qi[c][r]);  // (q + q^-T) / 2
                    change += std::fabs(next - q[r][c]);
                    q[r][c] = next;
                }
            if (change < 1e-12) break;
        }
    } else {
        Orthonormalise(a, q);
    }
    parts->q = QuatFromRows(q);

    // Stretch s = a * q^T, symmetric; its eigenvectors give u, its
    // eigenvalues the scale factors k.
    Mat3d s;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            s[r][c] = a[r][0] * q[c][0] + a[r][1] * q[c][1] + a[r][2] * q[c][2];
    for (int r = 0; r < 3; ++r)
        for (int c = r + 1; c < 3; ++c) s[r][c] = s[c][r] = 0.5 * (s[r][c] + s[c][r]);
    double k[3];
    Mat3d v;
    JacobiEigen(s, k, v);
    if (Det3(v) < 0)
        for (int r = 0; r < 3; ++r) v[r][2] = -v[r][2];
    // v's columns are the stretch axes; as rows of a rotation they are v^T.
    Mat3d vt;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) vt[r][c] = v[c][r];
    parts->u = QuatFromRows(vt);
    parts->k = Point3(k[0], k[1], k[2]);
}

void AngAxisFromQ(const Quat& q, float* ang, Point3& axis) {
    Quat n = q;
    n.Normalize();
    if (n.w < 0) {
        n.x = -n.x;
        n.y = -n.y;
        n.z = -n.z;
        n.w = -n.w;
    }
    const double w = std::min(1.0, std::max(-1.0, double(n.w)));
    if (ang) *ang = static_cast<float>(2.0 * std::acos(w));
    const double s = std::sqrt(std::max(0.0, 1.0 - w * w));
    if (s < 1e-7)
        axis = Point3(1.0f, 0.0f, 0.0f);
    else
        axis = Point3(n.x / s, n.y / s, n.z / s);
}
