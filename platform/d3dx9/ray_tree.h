// Rays against a mesh's triangles: the triangle test, and the triangles held
// in a bounding volume hierarchy so that a query visits only those near the ray.
// Both ways run the same test on the same numbers, so they answer alike.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "d3dx9mesh.h"

namespace d3dx {

namespace ray {

inline float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
// In double, as D3DXVec3Length: squares of small floats would underflow.
inline float Length(const D3DXVECTOR3& v) {
    const double x = v.x, y = v.y, z = v.z;
    return static_cast<float>(std::sqrt(x * x + y * y + z * z));
}

inline bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

inline D3DXVECTOR3 PositionAt(const unsigned char* vertices, DWORD stride, DWORD index) {
    D3DXVECTOR3 p;
    std::memcpy(&p.x, vertices + size_t(index) * stride, 12);
    return p;
}

}  // namespace ray

struct Ray {
    Ray(const D3DXVECTOR3& o, const D3DXVECTOR3& d) : origin(o), dir(d), dirLength(ray::Length(d)) {}
    D3DXVECTOR3 origin, dir;
    float dirLength;
};

// A triangle as the test takes it: a corner, the edges from it to the other
// two, and the product of the edges' lengths.
struct RayTriangle {
    RayTriangle() = default;
    RayTriangle(const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2, DWORD f)
        : a(p0), e1(p1 - p0), e2(p2 - p0), edgeLengths(ray::Length(e1) * ray::Length(e2)), face(f) {}
    D3DXVECTOR3 a, e1, e2;
    float edgeLengths = 0.0f;
    DWORD face = 0;
};

struct RayHit {
    DWORD face;
    float u, v, dist;
};

// Both sides of the triangle count. False for a parallel ray, a miss or a hit
// behind the origin. The parallel test, which needs the lengths, comes last:
// most triangles are missed before it.
inline bool HitTriangle(const Ray& r, const RayTriangle& t, RayHit* hit) {
    const D3DXVECTOR3 p = ray::Cross(r.dir, t.e2);
    const float det = ray::Dot(t.e1, p);
    if (det == 0.0f) return false;
    const float inv = 1.0f / det;
    const D3DXVECTOR3 s = r.origin - t.a;
    const float bu = ray::Dot(s, p) * inv;
    if (!(bu >= 0.0f && bu <= 1.0f)) return false;
    const D3DXVECTOR3 q = ray::Cross(s, t.e1);
    const float bv = ray::Dot(r.dir, q) * inv;
    if (!(bv >= 0.0f && bu + bv <= 1.0f)) return false;
    const float dist = ray::Dot(t.e2, q) * inv;
    if (!(dist >= 0.0f)) return false;
    // Parallel when the determinant is negligible next to the lengths that make it.
    if (!(std::fabs(det) > 1e-7f * (t.edgeLengths * r.dirLength))) return false;
    *hit = RayHit{t.face, bu, bv, dist};
    return true;
}

// Of two hits, the nearer; at the same distance, the lower face.
inline bool Nearer(const RayHit& a, const RayHit& b) { return a.dist < b.dist || (a.dist == b.dist && a.face < b.face); }

class RayTree {
public:
    // Faces with an index past the vertices are left out.
    RayTree(const unsigned char* vertices, DWORD stride, DWORD numVertices, const void* indices, bool wide,
            DWORD numFaces);

    // The nearest hit; false when there is none.
    bool Nearest(const Ray& r, RayHit* hit) const;
    // Every hit, in face order.
    void All(const Ray& r, std::vector<RayHit>* hits) const;

private:
    struct Node {
        float lo[3], hi[3];
        uint32_t first;  // a leaf's first triangle, or the second child (the first follows the node)
        uint32_t count;  // triangles of a leaf; 0 for an inner node
    };
    struct Slabs;
    struct Extent;

    uint32_t Build(uint32_t* order, uint32_t first, uint32_t count, const std::vector<Extent>& extents, float pad);
    template <class Visit>
    void Walk(const Ray& r, float* limit, Visit visit) const;

    std::vector<RayTriangle> triangles_;
    std::vector<Node> nodes_;
    // Triangles with a coordinate or edge that is not finite: no box holds
    // them, so every query tests them.
    std::vector<RayTriangle> loose_;
};

}  // namespace d3dx
