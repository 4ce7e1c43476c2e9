// Geometry inside the collision library, in double precision.
#pragma once

#include <d3dx9math.h>

#include <array>

namespace layer::collision {

struct Vec3 {
    double x, y, z;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

using Triangle = std::array<Vec3, 3>;

// p' = p x L + t, row vectors as the world matrices are.
struct Affine {
    double L[3][3];
    Vec3 t;
};

// The affine part of a world matrix; the fourth column is not used.
Affine AffineFrom(const D3DXMATRIX& m);
// False (and `out` unwritten) when the matrix has no inverse.
bool Invert(const Affine& a, Affine* out);
// `first`, then `then`.
Affine Compose(const Affine& first, const Affine& then);
Vec3 Apply(const Affine& a, Vec3 p);

// Largest distance at which two triangles still touch, as a fraction of the
// largest coordinate involved: room for the rounding of float models and of
// world matrices built by float products.
constexpr double kTouchTolerance = 1e-5;

// The unit normal of a triangle's plane, or false when the triangle is too thin
// for a reliable one: it then lies within rounding of its edges.
bool PlaneOf(const Triangle& t, Vec3* unit_normal);

// Whether two closed triangles share a point, within the tolerance. Touching,
// crossing and coplanar overlap all count; degenerate triangles (segments,
// points) are tested as what they are.
bool TrianglesTouch(const Triangle& a, const Triangle& b);

}  // namespace layer::collision
