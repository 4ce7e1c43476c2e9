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

// What the build needs of each triangle: its box and its centre.
struct RayTree::Extent {
    float lo[3], hi[3], centre[3];
};

RayTree::RayTree(const unsigned char* vertices, DWORD stride, DWORD numVertices, const void* indices, bool wide,
                 DWORD numFaces) {
    std::vector<Extent> extents;
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
        Extent e;
        for (int a = 0; a < 3; ++a) {
            const float c[3] = {Coordinate(p[0], a), Coordinate(p[1], a), Coordinate(p[2], a)};
            e.lo[a] = std::min({c[0], c[1], c[2]});
            e.hi[a] = std::max({c[0], c[1], c[2]});
            e.centre[a] = (c[0] + c[1] + c[2]) / 3.0f;
            largest = std::max({largest, std::fabs(e.lo[a]), std::fabs(e.hi[a])});
        }
        triangles_.push_back(t);
        extents.push_back(e);
    }
    if (triangles_.empty()) return;
    std::vector<uint32_t> order(triangles_.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    nodes_.reserve(2 * triangles_.size() / kLeafTriangles + 1);
    Build(order.data(), 0, static_cast<uint32_t>(order.size()), extents, largest * 1e-5f + 1e-30f);
    // The leaves name runs of `order`: the triangles follow it.
    std::vector<RayTriangle> sorted(triangles_.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = triangles_[order[i]];
    triangles_.swap(sorted);
}

uint32_t RayTree::Build(uint32_t* order, uint32_t first, uint32_t count, const std::vector<Extent>& extents,
                        float pad) {
    const uint32_t at = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back(Node{});
    Node box{};
    float lo[3], hi[3];  // of the centres
    for (int a = 0; a < 3; ++a) {
        box.lo[a] = lo[a] = std::numeric_limits<float>::max();
        box.hi[a] = hi[a] = -std::numeric_limits<float>::max();
    }
    for (uint32_t i = first; i < first + count; ++i) {
        const Extent& e = extents[order[i]];
        for (int a = 0; a < 3; ++a) {
            box.lo[a] = std::min(box.lo[a], e.lo[a]);
            box.hi[a] = std::max(box.hi[a], e.hi[a]);
            lo[a] = std::min(lo[a], e.centre[a]);
            hi[a] = std::max(hi[a], e.centre[a]);
        }
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
    // Halves by the middle triangle along the longest side of the centres' box.
    int axis = 0;
    for (int a = 1; a < 3; ++a)
        if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
    const uint32_t half = count / 2;
    std::nth_element(order + first, order + first + half, order + first + count,
                     [&](uint32_t x, uint32_t y) { return extents[x].centre[axis] < extents[y].centre[axis]; });
    Build(order, first, half, extents, pad);
    box.first = Build(order, first + half, count - half, extents, pad);
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
