// Small vector, matrix and quaternion helpers with the conventions the
// program's maths uses: row vectors (p' = p x M), row-major matrices,
// translation in the fourth row, quaternions stored x, y, z, w.
#pragma once

#include <cmath>

namespace datagen {

struct Vec2 {
    float u = 0, v = 0;
};

struct Vec3 {
    float x = 0, y = 0, z = 0;
    Vec3() = default;
    constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(float s, Vec3 a) { return a * s; }
inline Vec3& operator+=(Vec3& a, Vec3 b) { return a = a + b; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalize(Vec3 a) {
    float l = Length(a);
    return l > 0 ? a * (1.0f / l) : Vec3{0, 0, 0};
}
inline Vec3 Lerp(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }

struct Mat4 {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    static Mat4 Identity() { return Mat4{}; }
    Vec3 Row(int r) const { return {m[r][0], m[r][1], m[r][2]}; }
};

Mat4 operator*(const Mat4& a, const Mat4& b);
Mat4 Translation(Vec3 t);
Mat4 Scaling(Vec3 s);
Mat4 RotationX(float a);
Mat4 RotationY(float a);
Mat4 RotationZ(float a);
// Rotation about x, then y, then z (angles in radians).
Mat4 RotationXYZ(Vec3 angles);
Vec3 TransformCoord(Vec3 p, const Mat4& m);
// General inverse; false (and *out untouched) for a singular matrix.
bool Inverse(const Mat4& m, Mat4* out);
float MaxAbsDifference(const Mat4& a, const Mat4& b);

struct Quat {
    float x = 0, y = 0, z = 0, w = 1;
};

// The rotation matrix of a unit quaternion, as the program's maths builds it.
Mat4 RotationQuaternion(const Quat& q);
// The unit quaternion whose RotationQuaternion is the rotation piece of m.
Quat QuaternionFromMatrix(const Mat4& m);
float QuatLength(const Quat& q);

constexpr float kPi = 3.14159265358979f;
inline float Rad(float degrees) { return degrees * kPi / 180.0f; }

}  // namespace datagen
