// Collision models: the triangles in model space under an AABB tree. A query
// carries the other model into this model's space and walks both trees together.
// Where one side is down to a leaf, its few triangles go on alone through the
// other tree, each with its own box and plane: a leaf of long triangles has a
// fat box, and would otherwise meet every leaf of the other model inside it.
#include "collision.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

#include "collision_geometry.h"
#include "testing_collision.h"
#include "com_object.h"

namespace layer::collision {
namespace {

constexpr uint32_t kLeafSize = 4;

struct Box {
    double lo[3], hi[3];
};

struct Node {
    float lo[3], hi[3];
    uint32_t first;  // leaf: first triangle; inner: right child (the left one follows the node)
    uint32_t count;  // triangles of a leaf, 0 for an inner node
};

struct StoredTriangle {
    float v[3][3];
};

Box BoxOf(const Node& n) { return {{n.lo[0], n.lo[1], n.lo[2]}, {n.hi[0], n.hi[1], n.hi[2]}}; }

// The box of `n` under `m`, as a box in the target space (conservative).
Box Carry(const Affine& m, const Node& n) {
    const Vec3 c = {0.5 * (double(n.lo[0]) + n.hi[0]), 0.5 * (double(n.lo[1]) + n.hi[1]),
                    0.5 * (double(n.lo[2]) + n.hi[2])};
    const double e[3] = {0.5 * (double(n.hi[0]) - n.lo[0]), 0.5 * (double(n.hi[1]) - n.lo[1]),
                         0.5 * (double(n.hi[2]) - n.lo[2])};
    const Vec3 mc = Apply(m, c);
    const double centre[3] = {mc.x, mc.y, mc.z};
    Box b;
    for (int j = 0; j < 3; ++j) {
        double ext = std::fabs(m.L[0][j]) * e[0] + std::fabs(m.L[1][j]) * e[1] + std::fabs(m.L[2][j]) * e[2];
        ext += 1e-12 * (std::fabs(centre[j]) + ext);  // room for rounding
        b.lo[j] = centre[j] - ext;
        b.hi[j] = centre[j] + ext;
    }
    return b;
}

double Reach(const Box& b) {
    double r = 0.0;
    for (int j = 0; j < 3; ++j) r = std::max({r, std::fabs(b.lo[j]), std::fabs(b.hi[j])});
    return r;
}

// Twice the touching tolerance of any pair of triangles inside the two boxes.
double Slack(const Box& a, const Box& b) { return 2.0 * kTouchTolerance * std::max(Reach(a), Reach(b)); }

bool Overlap(const Box& a, const Box& b) {
    const double eps = Slack(a, b);
    for (int j = 0; j < 3; ++j)
        if (a.lo[j] > b.hi[j] + eps || b.lo[j] > a.hi[j] + eps) return false;
    return true;
}

double Size(const Box& b) { return b.hi[0] - b.lo[0] + b.hi[1] - b.lo[1] + b.hi[2] - b.lo[2]; }

// A triangle in this model's space, with what culls the nodes it cannot touch.
struct Candidate {
    Triangle t;
    Box box;
    Vec3 unit;      // of its plane, when it has a reliable one
    double offset;  // unit . t[0]
    bool plane;
};

Candidate MakeCandidate(const Triangle& t) {
    Candidate c;
    c.t = t;
    c.box = {{t[0].x, t[0].y, t[0].z}, {t[0].x, t[0].y, t[0].z}};
    for (int i = 1; i < 3; ++i) {
        const double v[3] = {t[i].x, t[i].y, t[i].z};
        for (int j = 0; j < 3; ++j) {
            c.box.lo[j] = std::min(c.box.lo[j], v[j]);
            c.box.hi[j] = std::max(c.box.hi[j], v[j]);
        }
    }
    c.plane = PlaneOf(t, &c.unit);
    c.offset = c.plane ? Dot(c.unit, t[0]) : 0.0;
    return c;
}

bool MayTouch(const Candidate& c, const Box& b) {
    if (!Overlap(c.box, b)) return false;
    if (!c.plane) return true;
    const Vec3 centre = {0.5 * (b.lo[0] + b.hi[0]), 0.5 * (b.lo[1] + b.hi[1]), 0.5 * (b.lo[2] + b.hi[2])};
    const double r = 0.5 * ((b.hi[0] - b.lo[0]) * std::fabs(c.unit.x) + (b.hi[1] - b.lo[1]) * std::fabs(c.unit.y) +
                            (b.hi[2] - b.lo[2]) * std::fabs(c.unit.z));
    return std::fabs(Dot(c.unit, centre) - c.offset) <= r + Slack(c.box, b);
}

class Model final : public CCollisionObject {
public:
    Model() {
        D3DXMatrixIdentity(&world_);
        detail::CountObject(ObjectFamily::Collision, +1);
    }
    ~Model() override { detail::CountObject(ObjectFamily::Collision, -1); }
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    void AddTriangle(D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c) override {
        // A corner that is not a number has no place in space: such a triangle cannot touch anything.
        for (const D3DXVECTOR3* v : {&a, &b, &c})
            if (!std::isfinite(v->x) || !std::isfinite(v->y) || !std::isfinite(v->z)) return;
        triangles_.push_back({{{a.x, a.y, a.z}, {b.x, b.y, b.z}, {c.x, c.y, c.z}}});
    }

    void Finalize() override {
        nodes_.clear();
        if (triangles_.empty()) return;
        std::vector<uint32_t> order(triangles_.size());
        std::iota(order.begin(), order.end(), 0u);
        centroids_.resize(triangles_.size());
        for (size_t i = 0; i < triangles_.size(); ++i)
            for (int j = 0; j < 3; ++j)
                centroids_[i][j] = (triangles_[i].v[0][j] + triangles_[i].v[1][j] + triangles_[i].v[2][j]) / 3.0f;
        nodes_.reserve(2 * triangles_.size() / kLeafSize + 1);
        Build(order, 0, static_cast<uint32_t>(order.size()));
        std::vector<StoredTriangle> sorted(triangles_.size());
        for (size_t i = 0; i < order.size(); ++i) sorted[i] = triangles_[order[i]];
        triangles_ = std::move(sorted);
        centroids_ = {};
    }

    void SetTransform(const D3DXMATRIX* world) override {
        if (world) world_ = *world;
    }

    bool Collision(CCollisionObject* other_object, int /*flags*/) override {
        const auto* other = dynamic_cast<const Model*>(other_object);
        if (!other || nodes_.empty() || other->nodes_.empty()) return false;
        Affine inverse, unused;
        if (!Invert(AffineFrom(world_), &inverse) || !Invert(AffineFrom(other->world_), &unused)) return false;
        // other's model space -> world -> this model's space
        const Affine carry = Compose(AffineFrom(other->world_), inverse);

        pairs_.clear();
        pairs_.push_back({0, 0});
        while (!pairs_.empty()) {
            const Pair p = pairs_.back();
            pairs_.pop_back();
            const Node& mine = nodes_[p.mine];
            const Node& theirs = other->nodes_[p.theirs];
            const Box my_box = BoxOf(mine), their_box = Carry(carry, theirs);
            if (!Overlap(my_box, their_box)) continue;

            Candidate set[kLeafSize];
            uint32_t count = 0;
            if (theirs.count) {
                for (uint32_t k = 0; k < theirs.count; ++k) {
                    set[count] = MakeCandidate(other->Carried(theirs.first + k, carry));
                    if (MayTouch(set[count], my_box)) ++count;
                }
                if (count && SetTouches(*this, nullptr, p.mine, set, count, false)) return true;
            } else if (mine.count) {
                for (uint32_t k = 0; k < mine.count; ++k) {
                    set[count] = MakeCandidate(Own(mine.first + k));
                    if (MayTouch(set[count], their_box)) ++count;
                }
                if (count && SetTouches(*other, &carry, p.theirs, set, count, true)) return true;
            } else if (Size(my_box) >= Size(their_box)) {
                pairs_.push_back({p.mine + 1, p.theirs});
                pairs_.push_back({mine.first, p.theirs});
            } else {
                pairs_.push_back({p.mine, p.theirs + 1});
                pairs_.push_back({p.mine, theirs.first});
            }
        }
        return false;
    }

private:
    struct Pair {
        uint32_t mine, theirs;
    };
    struct Visit {
        uint32_t node;
        uint32_t live;  // bit k: set[k] may still touch something below the node
    };

    Triangle Own(uint32_t i) const {
        const StoredTriangle& t = triangles_[i];
        return {Vec3{t.v[0][0], t.v[0][1], t.v[0][2]}, Vec3{t.v[1][0], t.v[1][1], t.v[1][2]},
                Vec3{t.v[2][0], t.v[2][1], t.v[2][2]}};
    }
    Triangle Carried(uint32_t i, const Affine& carry) const {
        const Triangle t = Own(i);
        return {Apply(carry, t[0]), Apply(carry, t[1]), Apply(carry, t[2])};
    }

    // Whether any of `set` (triangles in this model's space) touches a triangle
    // under `root` of `tree`, whose space `carry` takes to this one (null: it is
    // this model). `set_is_mine` keeps the arguments of the exact test in one order.
    bool SetTouches(const Model& tree, const Affine* carry, uint32_t root, const Candidate* set, uint32_t count,
                    bool set_is_mine) {
        visits_.clear();
        visits_.push_back({root, (1u << count) - 1});
        while (!visits_.empty()) {
            const Visit v = visits_.back();
            visits_.pop_back();
            const Node& n = tree.nodes_[v.node];
            const Box box = carry ? Carry(*carry, n) : BoxOf(n);
            uint32_t live = 0;
            for (uint32_t k = 0; k < count; ++k)
                if ((v.live >> k & 1u) && MayTouch(set[k], box)) live |= 1u << k;
            if (!live) continue;
            if (!n.count) {
                visits_.push_back({v.node + 1, live});
                visits_.push_back({n.first, live});
                continue;
            }
            for (uint32_t i = n.first; i < n.first + n.count; ++i) {
                const Triangle t = carry ? tree.Carried(i, *carry) : tree.Own(i);
                for (uint32_t k = 0; k < count; ++k)
                    if ((live >> k & 1u) && (set_is_mine ? TrianglesTouch(set[k].t, t) : TrianglesTouch(t, set[k].t)))
                        return true;
            }
        }
        return false;
    }

    // Median split along the longest side of the centroids' box; returns the node's index.
    uint32_t Build(std::vector<uint32_t>& order, uint32_t begin, uint32_t end) {
        const uint32_t index = static_cast<uint32_t>(nodes_.size());
        nodes_.push_back({});
        constexpr float inf = std::numeric_limits<float>::infinity();
        Node node{{inf, inf, inf}, {-inf, -inf, -inf}, 0, 0};
        float clo[3] = {inf, inf, inf}, chi[3] = {-inf, -inf, -inf};
        for (uint32_t i = begin; i < end; ++i) {
            const StoredTriangle& t = triangles_[order[i]];
            for (int j = 0; j < 3; ++j) {
                node.lo[j] = std::min({node.lo[j], t.v[0][j], t.v[1][j], t.v[2][j]});
                node.hi[j] = std::max({node.hi[j], t.v[0][j], t.v[1][j], t.v[2][j]});
                clo[j] = std::min(clo[j], centroids_[order[i]][j]);
                chi[j] = std::max(chi[j], centroids_[order[i]][j]);
            }
        }
        if (end - begin <= kLeafSize) {
            node.first = begin;
            node.count = end - begin;
            nodes_[index] = node;
            return index;
        }
        int axis = 0;
        for (int j = 1; j < 3; ++j)
            if (chi[j] - clo[j] > chi[axis] - clo[axis]) axis = j;
        const uint32_t mid = begin + (end - begin) / 2;
        std::nth_element(order.begin() + begin, order.begin() + mid, order.begin() + end,
                         [&](uint32_t x, uint32_t y) { return centroids_[x][axis] < centroids_[y][axis]; });
        Build(order, begin, mid);
        node.first = Build(order, mid, end);
        node.count = 0;
        nodes_[index] = node;
        return index;
    }

    std::vector<StoredTriangle> triangles_;  // in tree order once finalised
    std::vector<std::array<float, 3>> centroids_;
    std::vector<Node> nodes_;
    D3DXMATRIX world_;
    // Work lists of a query, kept to spare allocations.
    std::vector<Pair> pairs_;
    std::vector<Visit> visits_;
};

}  // namespace
}  // namespace layer::collision

namespace {
CCollisionObject* (*g_factory)() = nullptr;
}  // namespace

CCollisionObject* newCollisionObject() { return g_factory ? g_factory() : new layer::collision::Model(); }

namespace platform_testing {
void SetCollisionObjectFactory(CCollisionObject* (*factory)()) { g_factory = factory; }
}  // namespace platform_testing
