#include "tools/datagen/vecmath.h"

#include <algorithm>

namespace datagen {

Mat4 operator*(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += double(a.m[i][k]) * b.m[k][j];
            r.m[i][j] = float(s);
        }
    return r;
}

Mat4 Translation(Vec3 t) {
    Mat4 r;
    r.m[3][0] = t.x;
    r.m[3][1] = t.y;
    r.m[3][2] = t.z;
    return r;
}

Mat4 Scaling(Vec3 s) {
    Mat4 r;
    r.m[0][0] = s.x;
    r.m[1][1] = s.y;
    r.m[2][2] = s.z;
    return r;
}

Mat4 RotationX(float a) {
    Mat4 r;
    float c = std::cos(a), s = std::sin(a);
    r.m[1][1] = c;
    r.m[1][2] = s;
    r.m[2][1] = -s;
    r.m[2][2] = c;
    return r;
}

Mat4 RotationY(float a) {
    Mat4 r;
    float c = std::cos(a), s = std::sin(a);
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

Mat4 RotationZ(float a) {
    Mat4 r;
    float c = std::cos(a), s = std::sin(a);
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

Mat4 RotationXYZ(Vec3 angles) { return RotationX(angles.x) * RotationY(angles.y) * RotationZ(angles.z); }

Vec3 TransformCoord(Vec3 p, const Mat4& m) {
    double x = p.x * double(m.m[0][0]) + p.y * double(m.m[1][0]) + p.z * double(m.m[2][0]) + m.m[3][0];
    double y = p.x * double(m.m[0][1]) + p.y * double(m.m[1][1]) + p.z * double(m.m[2][1]) + m.m[3][1];
    double z = p.x * double(m.m[0][2]) + p.y * double(m.m[1][2]) + p.z * double(m.m[2][2]) + m.m[3][2];
    double w = p.x * double(m.m[0][3]) + p.y * double(m.m[1][3]) + p.z * double(m.m[2][3]) + m.m[3][3];
    if (w != 0 && w != 1) {
        x /= w;
        y /= w;
        z /= w;
    }
    return {float(x), float(y), float(z)};
}

bool Inverse(const Mat4& src, Mat4* out) {
    // Gauss-Jordan with partial pivoting, in double for exact-looking offsets.
    double a[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            a[i][j] = src.m[i][j];
            a[i][j + 4] = i == j ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (std::fabs(a[pivot][col]) < 1e-12) return false;
        if (pivot != col)
            for (int j = 0; j < 8; ++j) std::swap(a[pivot][j], a[col][j]);
        double inv = 1.0 / a[col][col];
        for (int j = 0; j < 8; ++j) a[col][j] *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0.0) continue;
            double f = a[r][col];
            for (int j = 0; j < 8; ++j) a[r][j] -= f * a[col][j];
        }
    }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out->m[i][j] = float(a[i][j + 4]);
    return true;
}

float MaxAbsDifference(const Mat4& a, const Mat4& b) {
    float d = 0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) d = std::max(d, std::fabs(a.m[i][j] - b.m[i][j]));
    return d;
}

Mat4 RotationQuaternion(const Quat& q) {
    Mat4 r;
    float x = q.x, y = q.y, z = q.z, w = q.w;
    r.m[0][0] = 1 - 2 * (y * y + z * z);
    r.m[0][1] = 2 * (x * y + z * w);
    r.m[0][2] = 2 * (x * z - y * w);
    r.m[1][0] = 2 * (x * y - z * w);
    r.m[1][1] = 1 - 2 * (x * x + z * z);
    r.m[1][2] = 2 * (y * z + x * w);
    r.m[2][0] = 2 * (x * z + y * w);
    r.m[2][1] = 2 * (y * z - x * w);
    r.m[2][2] = 1 - 2 * (x * x + y * y);
    return r;
}

Quat QuaternionFromMatrix(const Mat4& mat) {
    const auto& m = mat.m;
    double x, y, z, w;
    double trace = double(m[0][0]) + m[1][1] + m[2][2];
    if (trace > 0) {
        w = std::sqrt(1.0 + trace) * 0.5;
        double f = 0.25 / w;
        x = (m[1][2] - m[2][1]) * f;
        y = (m[2][0] - m[0][2]) * f;
        z = (m[0][1] - m[1][0]) * f;
    } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
        x = std::sqrt(1.0 + m[0][0] - m[1][1] - m[2][2]) * 0.5;
        double f = 0.25 / x;
        w = (m[1][2] - m[2][1]) * f;
        y = (m[0][1] + m[1][0]) * f;
        z = (m[0][2] + m[2][0]) * f;
    } else if (m[1][1] >= m[2][2]) {
        y = std::sqrt(1.0 - m[0][0] + m[1][1] - m[2][2]) * 0.5;
        double f = 0.25 / y;
        w = (m[2][0] - m[0][2]) * f;
        x = (m[0][1] + m[1][0]) * f;
        z = (m[1][2] + m[2][1]) * f;
    } else {
        z = std::sqrt(1.0 - m[0][0] - m[1][1] + m[2][2]) * 0.5;
        double f = 0.25 / z;
        w = (m[0][1] - m[1][0]) * f;
        x = (m[0][2] + m[2][0]) * f;
        y = (m[1][2] + m[2][1]) * f;
    }
    // One hemisphere for all keys, so neighbouring keys interpolate the short way.
    double len = std::sqrt(x * x + y * y + z * z + w * w);
    if (w < 0) len = -len;
    return {float(x / len), float(y / len), float(z / len), float(w / len)};
}

float QuatLength(const Quat& q) { return std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w); }

}  // namespace datagen
