#include "ray_tree.h"

#include <algorithm>
#include <limits>

#include "mesh.h"

namespace d3dx {

using ray::Finite;
using ray::PositionAt;

namespace {

constexpr uint32_t kLeafTriangles = 4;

float Coordinate(const D3DXVECTOR3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

}  // namespace

// The ray prepared for box tests, in double so that a tiny direction
// component still gives finite distances.
struct RayTree::Slabs {
    explicit Slabs(const Ray& r) {
        const float o[3] = {r.origin.x, r.origin.y, r.origin.z}, d[3] = {r.dir.x, r.dir.y, r.dir.z};
        for (int a = 0; a < 3; ++a) {
            origin[a] = o[a];
            flat[a] = d[a] == 0.0f;
            inv[a] = flat[a] ? 0.0 : 1.0 / d[a];
        }
    }
    // Where the ray enters the box, when it meets it at or beyond the
    // origin and no farther than `limit`.
    bool Enter(const Node& n, double limit, double* entry) const {
        double near = 0.0, far = limit;
        for (int a = 0; a < 3; ++a) {
            if (flat[a]) {
                if (origin[a] < n.lo[a] || origin[a] > n.hi[a]) return false;
                continue;
            }
            double t0 = (n.lo[a] - origin[a]) * inv[a], t1 = (n.hi[a] - origin[a]) * inv[a];
            if (t0 > t1) std::swap(t0, t1);
            near = std::max(near, t0);
            far = std::min(far, t1);
            if (near > far) return false;
        }
        *entry = near;
        return true;
    }
    double origin[3], inv[3];
    bool flat[3];
};

RayTree::RayTree(const unsigned char* vertices, DWORD stride, DWORD numVertices, const void* indices, bool wide,
                 DWORD numFaces) {
    std::vector<D3DXVECTOR3> centres;
    // Boxes grow by a little more than the rounding of a hit point, so that a
    // hit the test finds on a triangle's edge lies inside its box.
    float largest = 0.0f;
    for (DWORD f = 0; f < numFaces; ++f) {
        DWORD idx[3];
        for (int k = 0; k < 3; ++k) idx[k] = ReadIndex(indices, wide, size_t(f) * 3 + k);
        if (idx[0] >= numVertices || idx[1] >= numVertices || idx[2] >= numVertices) continue;
        const D3DXVECTOR3 p[3] = {PositionAt(vertices, stride, idx[0]), PositionAt(vertices, stride, idx[1]),
                                  PositionAt(vertices, stride, idx[2])};
        const RayTriangle t(p[0], p[1], p[2], f);
        if (!Finite(p[0]) || !Finite(p[1]) || !Finite(p[2]) || !Finite(t.e1) || !Finite(t.e2) ||
            !std::isfinite(t.edgeLengths)) {
            loose_.push_back(t);
            continue;
        }
        for (const D3DXVECTOR3& q : p)
            largest = std::max({largest, std::fabs(q.x), std::fabs(q.y), std::fabs(q.z)});
        triangles_.push_back(t);
        centres.push_back((p[0] + p[1] + p[2]) / 3.0f);
    }
    if (triangles_.empty()) return;
    nodes_.reserve(2 * triangles_.size() / kLeafTriangles + 1);
    Build(0, static_cast<uint32_t>(triangles_.size()), centres, largest * 1e-5f + 1e-30f);
}

uint32_t RayTree::Build(uint32_t first, uint32_t count, std::vector<D3DXVECTOR3>& centres, float pad) {
    const uint32_t at = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back(Node{});
    Node box{};
    std::fill(box.lo, box.lo + 3, std::numeric_limits<float>::max());
    std::fill(box.hi, box.hi + 3, -std::numeric_limits<float>::max());
    D3DXVECTOR3 lo = centres[first], hi = centres[first];
    for (uint32_t i = first; i < first + count; ++i) {
        const RayTriangle& t = triangles_[i];
        const D3DXVECTOR3 corners[3] = {t.a, t.a + t.e1, t.a + t.e2};
        for (const D3DXVECTOR3& c : corners)
            for (int a = 0; a < 3; ++a) {
                box.lo[a] = std::min(box.lo[a], Coordinate(c, a));
                box.hi[a] = std::max(box.hi[a], Coordinate(c, a));
            }
        const D3DXVECTOR3& m = centres[i];
        lo = D3DXVECTOR3(std::min(lo.x, m.x), std::min(lo.y, m.y), std::min(lo.z, m.z));
        hi = D3DXVECTOR3(std::max(hi.x, m.x), std::max(hi.y, m.y), std::max(hi.z, m.z));
    }
    for (int a = 0; a < 3; ++a) {
        box.lo[a] -= pad;
        box.hi[a] += pad;
    }
    if (count <= kLeafTriangles) {
        box.first = first;
        box.count = count;
        nodes_[at] = box;
        return at;
    }
    // Halves by the middle triangle along the box's longest side.
    const D3DXVECTOR3 extent = hi - lo;
    const int axis = extent.x >= extent.y && extent.x >= extent.z ? 0 : extent.y >= extent.z ? 1 : 2;
    std::vector<uint32_t> order(count);
    for (uint32_t i = 0; i < count; ++i) order[i] = first + i;
    const uint32_t half = count / 2;
    std::nth_element(order.begin(), order.begin() + half, order.end(), [&](uint32_t x, uint32_t y) {
        return Coordinate(centres[x], axis) < Coordinate(centres[y], axis);
    });
    std::vector<RayTriangle> triangles(count);
    std::vector<D3DXVECTOR3> middles(count);
    for (uint32_t i = 0; i < count; ++i) {
        triangles[i] = triangles_[order[i]];
        middles[i] = centres[order[i]];
    }
    std::copy(triangles.begin(), triangles.end(), triangles_.begin() + first);
    std::copy(middles.begin(), middles.end(), centres.begin() + first);

    Build(first, half, centres, pad);
    box.first = Build(first + half, count - half, centres, pad);
    box.count = 0;
    nodes_[at] = box;
    return at;
}

// Visits the leaves the ray meets no farther than *limit, nearer boxes first;
// `visit` may lower *limit.
template <class Visit>
void RayTree::Walk(const Ray& r, float* limit, Visit visit) const {
    if (nodes_.empty()) return;
    const Slabs slabs(r);
    double entry;
    if (!slabs.Enter(nodes_[0], *limit, &entry)) return;
    uint32_t stack[64];
    int depth = 0;
    stack[depth++] = 0;
    while (depth > 0) {
        const Node& n = nodes_[stack[--depth]];
        // The limit may have come nearer since this box was put aside.
        if (!slabs.Enter(n, *limit, &entry)) continue;
        if (n.count > 0) {
            for (uint32_t i = n.first; i < n.first + n.count; ++i) visit(triangles_[i]);
            continue;
        }
        const uint32_t a = static_cast<uint32_t>(&n - nodes_.data()) + 1, b = n.first;
        double ea, eb;
        const bool hitA = slabs.Enter(nodes_[a], *limit, &ea), hitB = slabs.Enter(nodes_[b], *limit, &eb);
        // The nearer goes on top, to be taken first.
        if (hitA && hitB) {
            stack[depth++] = ea <= eb ? b : a;
            stack[depth++] = ea <= eb ? a : b;
        } else if (hitA) {
            stack[depth++] = a;
        } else if (hitB) {
            stack[depth++] = b;
        }
    }
}

bool RayTree::Nearest(const Ray& r, RayHit* hit) const {
    bool any = false;
    RayHit best{};
    auto consider = [&](const RayTriangle& t) {
        RayHit h;
        if (HitTriangle(r, t, &h) && (!any || Nearer(h, best))) {
            best = h;
            any = true;
        }
    };
    for (const RayTriangle& t : loose_) consider(t);
    float limit = std::numeric_limits<float>::infinity();
    Walk(r, &limit, [&](const RayTriangle& t) {
        consider(t);
        // A box entered exactly at the nearest distance may still hold a lower face.
        if (any) limit = best.dist;
    });
    if (any) *hit = best;
    return any;
}

void RayTree::All(const Ray& r, std::vector<RayHit>* hits) const {
    hits->clear();
    auto consider = [&](const RayTriangle& t) {
        RayHit h;
        if (HitTriangle(r, t, &h)) hits->push_back(h);
    };
    for (const RayTriangle& t : loose_) consider(t);
    float limit = std::numeric_limits<float>::infinity();
    Walk(r, &limit, consider);
    std::sort(hits->begin(), hits->end(), [](const RayHit& a, const RayHit& b) { return a.face < b.face; });
}

}  // namespace d3dx
