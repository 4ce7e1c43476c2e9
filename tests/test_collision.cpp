// The collision library: the exact triangle test on hand-made cases and against an
// independent separating-axis test, and whole models against an all-pairs reference.
#include <collision.h>
#include <collision_geometry.h>
#include <com_object.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

using layer::collision::Affine;
using layer::collision::Triangle;
using layer::collision::TrianglesTouch;
using layer::collision::Vec3;

namespace {

constexpr double kPi = 3.14159265358979323846;

using Mesh = std::vector<std::array<D3DXVECTOR3, 3>>;
using Model = std::unique_ptr<CCollisionObject>;

Model MakeModel(const Mesh& mesh, bool finalize = true) {
    Model m(newCollisionObject());
    for (const auto& t : mesh) m->AddTriangle(t[0], t[1], t[2]);
    if (finalize) m->Finalize();
    return m;
}

bool Touch(CCollisionObject& a, const D3DXMATRIX& wa, CCollisionObject& b, const D3DXMATRIX& wb) {
    a.SetTransform(&wa);
    b.SetTransform(&wb);
    return a.Collision(&b, 0);
}

D3DXMATRIX Identity() { D3DXMATRIX m; return *D3DXMatrixIdentity(&m); }
D3DXMATRIX Trans(float x, float y, float z) { D3DXMATRIX m; return *D3DXMatrixTranslation(&m, x, y, z); }
D3DXMATRIX Scale(float x, float y, float z) { D3DXMATRIX m; return *D3DXMatrixScaling(&m, x, y, z); }
D3DXMATRIX RotY(float a) { D3DXMATRIX m; return *D3DXMatrixRotationY(&m, a); }

// Axis-aligned box, 12 triangles.
Mesh Box(D3DXVECTOR3 lo, D3DXVECTOR3 hi) {
    auto corner = [&](int i) { return D3DXVECTOR3(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z); };
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    Mesh mesh;
    for (const auto& f : faces) {
        mesh.push_back({corner(f[0]), corner(f[1]), corner(f[2])});
        mesh.push_back({corner(f[0]), corner(f[2]), corner(f[3])});
    }
    return mesh;
}

Mesh Cube(float half) { return Box({-half, -half, -half}, {half, half, half}); }

// Square in the plane z = 0, two triangles.
Mesh Square(float x0, float y0, float x1, float y1) {
    return {{D3DXVECTOR3(x0, y0, 0), D3DXVECTOR3(x1, y0, 0), D3DXVECTOR3(x1, y1, 0)},
            {D3DXVECTOR3(x0, y0, 0), D3DXVECTOR3(x1, y1, 0), D3DXVECTOR3(x0, y1, 0)}};
}

// Closed ellipsoid surface.
Mesh Ellipsoid(D3DXVECTOR3 radii, int rings, int segments) {
    auto point = [&](int r, int s) {
        const double th = kPi * r / rings, ph = 2 * kPi * s / segments;
        return D3DXVECTOR3(float(radii.x * std::sin(th) * std::cos(ph)), float(radii.y * std::cos(th)),
                           float(radii.z * std::sin(th) * std::sin(ph)));
    };
    Mesh mesh;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            if (r > 0) mesh.push_back({point(r, s), point(r, s + 1), point(r + 1, s)});
            if (r < rings - 1) mesh.push_back({point(r, s + 1), point(r + 1, s + 1), point(r + 1, s)});
        }
    return mesh;
}

// What the library must answer, by testing every pair of triangles.
bool AllPairs(const Mesh& a, const D3DXMATRIX& wa, const Mesh& b, const D3DXMATRIX& wb) {
    using namespace layer::collision;
    Affine inverse, unused;
    if (a.empty() || b.empty() || !Invert(AffineFrom(wa), &inverse) || !Invert(AffineFrom(wb), &unused)) return false;
    const Affine carry = Compose(AffineFrom(wb), inverse);
    auto v = [](const D3DXVECTOR3& p) { return Vec3{p.x, p.y, p.z}; };
    for (const auto& tb : b) {
        const Triangle carried = {Apply(carry, v(tb[0])), Apply(carry, v(tb[1])), Apply(carry, v(tb[2]))};
        for (const auto& ta : a)
            if (TrianglesTouch({v(ta[0]), v(ta[1]), v(ta[2])}, carried)) return true;
    }
    return false;
}

Triangle Tri(Vec3 a, Vec3 b, Vec3 c) { return {a, b, c}; }

Triangle Moved(const Triangle& t, const Affine& m) {
    return {layer::collision::Apply(m, t[0]), layer::collision::Apply(m, t[1]), layer::collision::Apply(m, t[2])};
}

// A rotation, a uniform scale and a translation.
Affine RandomMotion(std::mt19937& rng) {
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f), offset(-3, 3), scale(0.5f, 2);
    D3DXMATRIX r;
    const D3DXVECTOR3 axis(angle(rng), angle(rng), angle(rng));
    D3DXMatrixRotationAxis(&r, &axis, angle(rng));
    const float s = scale(rng);
    return layer::collision::AffineFrom(r * Scale(s, s, s) * Trans(offset(rng), offset(rng), offset(rng)));
}

// Any invertible affine map: scales, shears, rotations, a translation.
D3DXMATRIX RandomWorld(std::mt19937& rng, float spread) {
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f), scale(0.4f, 2.5f), shear(-0.5f, 0.5f),
        offset(-spread, spread);
    D3DXMATRIX s = Scale(scale(rng), scale(rng), scale(rng));
    s._12 = shear(rng);
    s._31 = shear(rng);
    D3DXMATRIX r;
    const D3DXVECTOR3 axis(angle(rng), angle(rng), angle(rng));
    D3DXMatrixRotationAxis(&r, &axis, angle(rng));
    return s * r * Trans(offset(rng), offset(rng), offset(rng));
}

}  // namespace

TEST(TriangleTest, HandMadeCases) {
    const Triangle t0 = Tri({0, 0, 0}, {2, 0, 0}, {0, 2, 0});
    struct Case {
        const char* name;
        Triangle other;
        bool touch;
    };
    const Case cases[] = {
        {"crossing through the face", Tri({0.5, 0.5, -1}, {0.5, 0.5, 1}, {1.5, 1.5, 0}), true},
        {"corner on the face", Tri({0.5, 0.5, 0}, {0.5, 0.5, 1}, {1, 0.5, 1}), true},
        {"corner just within tolerance", Tri({0.5, 0.5, 1e-8}, {0.5, 0.5, 1}, {1, 0.5, 1}), true},
        {"corner just above the face", Tri({0.5, 0.5, 1e-3}, {0.5, 0.5, 1}, {1, 0.5, 1}), false},
        {"corner on an edge", Tri({1, 1, 0}, {2, 2, 1}, {2, 2, -1}), true},
        {"edge across an edge", Tri({1, 1, -1}, {1, 1, 1}, {3, 3, 0}), true},
        {"edge just past an edge", Tri({1.001, 1.001, -1}, {1.001, 1.001, 1}, {3, 3, 0}), false},
        {"shared edge", Tri({2, 0, 0}, {0, 2, 0}, {2, 2, 1}), true},
        {"shared corner", Tri({0, 0, 0}, {-1, -1, 1}, {-1, 0, -1}), true},
        {"parallel plane", Tri({0, 0, 0.01}, {2, 0, 0.01}, {0, 2, 0.01}), false},
        {"outside the face, crossing its plane", Tri({3, 3, -1}, {3, 3, 1}, {4, 1, 0}), false},
        {"coplanar, overlapping", Tri({0.5, 0.5, 0}, {3, 0.5, 0}, {0.5, 3, 0}), true},
        {"coplanar, inside", Tri({0.2, 0.2, 0}, {0.5, 0.2, 0}, {0.2, 0.5, 0}), true},
        {"coplanar, around", Tri({-5, -5, 0}, {10, -5, 0}, {-5, 10, 0}), true},
        {"coplanar, corner on the edge", Tri({1, 1, 0}, {3, 1, 0}, {1, 3, 0}), true},
        {"coplanar, apart", Tri({1.5, 1.5, 0}, {3, 1.5, 0}, {1.5, 3, 0}), false},
        {"segment through the face", Tri({0.5, 0.5, -1}, {0.5, 0.5, 1}, {0.5, 0.5, 0.3}), true},
        {"segment beside the face", Tri({3, 3, -1}, {3, 3, 1}, {3, 3, 0}), false},
        {"segment in the plane, across", Tri({-1, 1, 0}, {3, 1, 0}, {1, 1, 0}), true},
        {"point on the face", Tri({0.5, 0.5, 0}, {0.5, 0.5, 0}, {0.5, 0.5, 0}), true},
        {"point above the face", Tri({0.5, 0.5, 0.1}, {0.5, 0.5, 0.1}, {0.5, 0.5, 0.1}), false},
        {"sliver through the face", Tri({0.5, 0.5, -1}, {0.5, 0.5, 1}, {0.5 + 1e-9, 0.5, 0}), true},
        // So thin that, once moved, rounding decides which way its normal points.
        {"needle through the face", Tri({0.5, 0.5, -1}, {0.5, 0.5, 1}, {0.5 + 1e-15, 0.5, 0}), true},
    };
    std::mt19937 rng(3);
    for (const Case& c : cases) {
        EXPECT_EQ(TrianglesTouch(t0, c.other), c.touch) << c.name;
        EXPECT_EQ(TrianglesTouch(c.other, t0), c.touch) << c.name << " (swapped)";
        for (int k = 0; k < 50; ++k) {
            const Affine m = RandomMotion(rng);
            EXPECT_EQ(TrianglesTouch(Moved(t0, m), Moved(c.other, m)), c.touch) << c.name << " (moved)";
        }
    }
}

TEST(TriangleTest, DegenerateAgainstDegenerate) {
    struct Case {
        const char* name;
        Triangle a, b;
        bool touch;
    };
    const Case cases[] = {
        {"crossing segments", Tri({0, 0, 0}, {1, 1, 0}, {0.5, 0.5, 0}), Tri({1, 0, 0}, {0, 1, 0}, {0.25, 0.75, 0}), true},
        {"skew segments", Tri({0, 0, 0}, {1, 1, 0}, {0.5, 0.5, 0}), Tri({1, 0, 0.1}, {0, 1, 0.1}, {0.25, 0.75, 0.1}),
         false},
        {"parallel segments", Tri({0, 0, 0}, {1, 0, 0}, {0.5, 0, 0}), Tri({0, 0.1, 0}, {1, 0.1, 0}, {0.5, 0.1, 0}),
         false},
        {"collinear, overlapping", Tri({0, 0, 0}, {1, 0, 0}, {0.5, 0, 0}), Tri({0.5, 0, 0}, {2, 0, 0}, {1, 0, 0}),
         true},
        {"collinear, apart", Tri({0, 0, 0}, {1, 0, 0}, {0.5, 0, 0}), Tri({1.5, 0, 0}, {2, 0, 0}, {1.7, 0, 0}), false},
        {"point on a segment", Tri({0, 0, 0}, {1, 0, 0}, {0.5, 0, 0}), Tri({0.3, 0, 0}, {0.3, 0, 0}, {0.3, 0, 0}), true},
        {"equal points", Tri({1, 2, 3}, {1, 2, 3}, {1, 2, 3}), Tri({1, 2, 3}, {1, 2, 3}, {1, 2, 3}), true},
        {"points apart", Tri({1, 2, 3}, {1, 2, 3}, {1, 2, 3}), Tri({1, 2, 3.01}, {1, 2, 3.01}, {1, 2, 3.01}), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrianglesTouch(c.a, c.b), c.touch) << c.name;
        EXPECT_EQ(TrianglesTouch(c.b, c.a), c.touch) << c.name << " (swapped)";
    }
}

// An independent test for triangles in general position: they are apart exactly
// when one of the 17 candidate axes separates them.
static double SeparatingGap(const Triangle& a, const Triangle& b) {
    using layer::collision::Cross;
    using layer::collision::Dot;
    std::vector<Vec3> axes;
    const Vec3 na = Cross(a[1] - a[0], a[2] - a[0]), nb = Cross(b[1] - b[0], b[2] - b[0]);
    axes.push_back(na);
    axes.push_back(nb);
    for (int i = 0; i < 3; ++i) {
        const Vec3 ea = a[(i + 1) % 3] - a[i], eb = b[(i + 1) % 3] - b[i];
        axes.push_back(Cross(na, ea));
        axes.push_back(Cross(nb, eb));
        for (int j = 0; j < 3; ++j) axes.push_back(Cross(ea, b[(j + 1) % 3] - b[j]));
    }
    double gap = -std::numeric_limits<double>::infinity();
    for (const Vec3& axis : axes) {
        const double len = std::sqrt(Dot(axis, axis));
        if (len < 1e-9) continue;
        constexpr double inf = std::numeric_limits<double>::infinity();
        double alo = inf, ahi = -inf, blo = inf, bhi = -inf;
        for (int i = 0; i < 3; ++i) {
            alo = std::min(alo, Dot(axis, a[i]) / len);
            ahi = std::max(ahi, Dot(axis, a[i]) / len);
            blo = std::min(blo, Dot(axis, b[i]) / len);
            bhi = std::max(bhi, Dot(axis, b[i]) / len);
        }
        gap = std::max({gap, blo - ahi, alo - bhi});
    }
    return gap;
}

TEST(TriangleTest, AgreesWithSeparatingAxesOnRandomPairs) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    int touching = 0, apart = 0;
    for (int i = 0; i < 200000; ++i) {
        auto p = [&] { return Vec3{u(rng), u(rng), u(rng)}; };
        const Triangle a = {p(), p(), p()}, b = {p(), p(), p()};
        const double gap = SeparatingGap(a, b);
        if (std::fabs(gap) < 1e-4) continue;  // too close to call for either test
        const bool touch = TrianglesTouch(a, b);
        ASSERT_EQ(touch, gap < 0) << "pair " << i << " gap " << gap;
        ++(touch ? touching : apart);
    }
    EXPECT_GT(touching, 20000);
    EXPECT_GT(apart, 20000);
}

TEST(Collision, PlacementsOfTwoCubes) {
    const float corner = 0.5f + 0.70710678f;  // a cube turned 45 degrees about y, its edge on the face x = 0.5
    struct Case {
        const char* name;
        Mesh other;
        D3DXMATRIX placement;
        bool touch;
    };
    const Case cases[] = {
        {"overlapping", Cube(0.5f), Trans(0.5f, 0.2f, 0), true},
        {"faces touching", Cube(0.5f), Trans(1, 0, 0), true},
        {"a hair apart", Cube(0.5f), Trans(1.01f, 0, 0), false},
        {"edges touching", Cube(0.5f), Trans(1, 1, 0), true},
        {"corners touching", Cube(0.5f), Trans(1, 1, 1), true},
        {"far apart", Cube(0.5f), Trans(10, -3, 4), false},
        {"nested inside", Cube(0.2f), Trans(0.1f, 0, -0.1f), false},
        {"around it", Cube(2), Identity(), false},
        {"turned, edge on the face", Cube(0.5f), RotY(D3DX_PI / 4) * Trans(corner, 0, 0), true},
        {"turned, just apart", Cube(0.5f), RotY(D3DX_PI / 4) * Trans(corner + 0.001f, 0, 0), false},
        {"stretched to touch", Cube(0.5f), Scale(2, 1, 1) * Trans(1.5f, 0.3f, 0), true},
        {"stretched, apart", Cube(0.5f), Scale(2, 1, 1) * Trans(1.51f, 0.3f, 0), false},
        {"sheared into it", Cube(0.5f), D3DXMATRIX(1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0.8f, 0, 1), true},
        {"squares sharing an edge", Square(0.5f, -0.5f, 1.5f, 0.5f), Trans(0, 0, 0.5f), true},
        {"square on a face, inside it", Square(-0.2f, -0.2f, 0.2f, 0.2f), Trans(0, 0, 0.5f), true},
        {"square across the cube", Square(-1, -1, 1, 1), Identity(), true},
        {"square inside the cube", Square(-0.4f, -0.4f, 0.4f, 0.4f), Identity(), false},
    };
    const Model cube = MakeModel(Cube(0.5f));
    std::mt19937 rng(5);
    for (const Case& c : cases) {
        const Model other = MakeModel(c.other);
        EXPECT_EQ(Touch(*cube, Identity(), *other, c.placement), c.touch) << c.name;
        EXPECT_EQ(Touch(*other, c.placement, *cube, Identity()), c.touch) << c.name << " (asked the other way)";
        // One matrix shared by both leaves the answer as it was.
        for (int k = 0; k < 4; ++k) {
            const D3DXMATRIX shared = RandomWorld(rng, 3);
            EXPECT_EQ(Touch(*cube, shared, *other, c.placement * shared), c.touch) << c.name << " (shared matrix)";
        }
    }
}

TEST(Collision, CoplanarSquares) {
    struct Case {
        const char* name;
        Mesh a, b;
        bool touch;
    };
    const Case cases[] = {
        {"overlapping", Square(0, 0, 1, 1), Square(0.5f, 0.5f, 1.5f, 1.5f), true},
        {"one inside the other", Square(0, 0, 1, 1), Square(0.2f, 0.2f, 0.4f, 0.4f), true},
        {"sharing an edge", Square(0, 0, 1, 1), Square(1, 0, 2, 1), true},
        {"sharing a corner", Square(0, 0, 1, 1), Square(1, 1, 2, 2), true},
        {"apart", Square(0, 0, 1, 1), Square(1.2f, 0, 2, 1), false},
        {"apart along the diagonal", Square(0, 0, 1, 1), Square(1.01f, 1.01f, 2, 2), false},
    };
    for (const Case& c : cases) {
        const Model a = MakeModel(c.a), b = MakeModel(c.b);
        EXPECT_EQ(Touch(*a, Identity(), *b, Identity()), c.touch) << c.name;
        EXPECT_EQ(Touch(*b, Identity(), *a, Identity()), c.touch) << c.name;
    }
}

TEST(Collision, LifecycleAndBadInput) {
    const Model a = MakeModel(Cube(0.5f));
    const Model b = MakeModel(Cube(0.5f));
    const D3DXMATRIX apart = Trans(5, 0, 0), touching = Trans(1, 0, 0);

    // The same pair moved by its matrices; a null matrix keeps the last one.
    EXPECT_TRUE(Touch(*a, Identity(), *b, touching));
    b->SetTransform(&apart);
    EXPECT_FALSE(a->Collision(b.get(), 0));
    b->SetTransform(nullptr);
    EXPECT_FALSE(a->Collision(b.get(), 0));
    b->SetTransform(&touching);
    EXPECT_TRUE(a->Collision(b.get(), 0));
    EXPECT_TRUE(a->Collision(a.get(), 0));  // a model meets itself

    // Never finalised, finalised empty, no other object.
    const Model unfinished = MakeModel(Cube(0.5f), false);
    unfinished->SetTransform(&touching);  // allowed before Finalize
    EXPECT_FALSE(a->Collision(unfinished.get(), 0));
    EXPECT_FALSE(unfinished->Collision(a.get(), 0));
    const Model empty = MakeModel({});
    EXPECT_FALSE(a->Collision(empty.get(), 0));
    EXPECT_FALSE(empty->Collision(a.get(), 0));
    EXPECT_FALSE(a->Collision(nullptr, 0));

    // A singular matrix on either side.
    const D3DXMATRIX flat = Scale(1, 0, 1);
    EXPECT_FALSE(Touch(*a, flat, *b, Identity()));
    EXPECT_FALSE(Touch(*a, Identity(), *b, flat));

    // Triangles added after Finalize join the model at the next Finalize.
    const Model late = MakeModel(Cube(0.1f));
    const Mesh far = Box({0.4f, -0.1f, -0.1f}, {0.6f, 0.1f, 0.1f});
    for (const auto& t : far) late->AddTriangle(t[0], t[1], t[2]);
    EXPECT_FALSE(Touch(*a, Identity(), *late, Identity()));
    late->Finalize();
    EXPECT_TRUE(a->Collision(late.get(), 0));

    // Corners that are not numbers are left out of the model.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const Model odd(newCollisionObject());
    odd->AddTriangle({nan, 0, 0}, {1, 0, 0}, {0, 1, 0});
    odd->AddTriangle({0, 0, 0}, {inf, 0, 0}, {0, 1, 0});
    odd->Finalize();
    EXPECT_FALSE(Touch(*a, Identity(), *odd, Identity()));
    odd->AddTriangle({-1, -1, 0}, {1, -1, 0}, {0, 1, 0});
    odd->Finalize();
    EXPECT_TRUE(a->Collision(odd.get(), 0));

    // Non-finite matrices count as singular.
    const D3DXMATRIX broken = Trans(nan, 0, 0);
    EXPECT_FALSE(Touch(*a, broken, *b, Identity()));
    EXPECT_FALSE(Touch(*a, Identity(), *b, broken));
}

TEST(Collision, FactoryCountsItsObjects) {
    const int before = layer::LiveObjects(layer::ObjectFamily::Collision);
    {
        const Model a(newCollisionObject()), b(newCollisionObject());
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Collision), before + 2);
    }
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Collision), before);
}

// Random triangle soups under random affine maps, continuous coordinates.
TEST(Collision, AgreesWithAllPairsOnRandomSoups) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> count(1, 60);
    std::uniform_real_distribution<float> centre(-1, 1), size(0.05f, 0.8f), unit(-1, 1);
    auto soup = [&] {
        Mesh mesh(count(rng));
        for (auto& t : mesh) {
            const D3DXVECTOR3 c(centre(rng), centre(rng), centre(rng));
            const float s = size(rng);
            for (auto& v : t) v = c + D3DXVECTOR3(unit(rng), unit(rng), unit(rng)) * s;
        }
        return mesh;
    };
    int touching = 0;
    const int cases = 3000;
    for (int i = 0; i < cases; ++i) {
        const Mesh a = soup(), b = soup();
        const D3DXMATRIX wa = RandomWorld(rng, 1.5f), wb = RandomWorld(rng, 1.5f);
        const bool expected = AllPairs(a, wa, b, wb);
        const Model ma = MakeModel(a), mb = MakeModel(b);
        ASSERT_EQ(Touch(*ma, wa, *mb, wb), expected) << "case " << i;
        touching += expected;
    }
    EXPECT_GT(touching, cases / 5);
    EXPECT_LT(touching, cases * 4 / 5);
}

// Small integer coordinates and exact maps (signed axis permutations, doubling,
// whole translations): shared corners, shared edges and coplanar faces abound, and
// every one of them lies exactly on the tolerance's edge of the tree's culling.
TEST(Collision, AgreesWithAllPairsOnLatticeMeshes) {
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> coord(0, 3), count(1, 40), shift(-3, 3), pick(0, 5), coin(0, 1);
    auto mesh = [&] {
        Mesh m(count(rng));
        for (auto& t : m)
            for (auto& v : t) v = D3DXVECTOR3(float(coord(rng)), float(coord(rng)), float(coord(rng)));
        return m;
    };
    auto world = [&] {
        static const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
        const int* p = perms[pick(rng)];
        const float scale = coin(rng) ? 2.0f : 1.0f;
        D3DXMATRIX w;
        for (int r = 0; r < 3; ++r) w(r, p[r]) = (coin(rng) ? -scale : scale);
        w._41 = float(shift(rng));
        w._42 = float(shift(rng));
        w._43 = float(shift(rng));
        w._44 = 1;
        return w;
    };
    int touching = 0;
    const int cases = 3000;
    for (int i = 0; i < cases; ++i) {
        const Mesh a = mesh(), b = mesh();
        const D3DXMATRIX wa = world(), wb = world();
        const bool expected = AllPairs(a, wa, b, wb);
        const Model ma = MakeModel(a), mb = MakeModel(b);
        ASSERT_EQ(Touch(*ma, wa, *mb, wb), expected) << "case " << i;
        ASSERT_EQ(Touch(*mb, wb, *ma, wa), expected) << "case " << i << " asked the other way";
        touching += expected;
    }
    EXPECT_GT(touching, cases / 5);
    EXPECT_LT(touching, cases * 4 / 5);
}

// Closed surfaces big enough for deep trees, placed near contact and nested.
TEST(Collision, AgreesWithAllPairsOnSurfacesNearContact) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> radius(0.3f, 1.2f), mix(-0.2f, 1.2f), unit(-1, 1);
    int touching = 0;
    const int cases = 120;
    for (int i = 0; i < cases; ++i) {
        const D3DXVECTOR3 ra(radius(rng), radius(rng), radius(rng)), rb(radius(rng), radius(rng), radius(rng));
        const Mesh a = Ellipsoid(ra, 12, 16), b = Ellipsoid(rb, 10, 14);
        D3DXMATRIX wb;
        if (i % 4 == 0) {
            wb = Scale(0.2f, 0.2f, 0.2f);  // nested well inside
        } else {
            // Along a random direction, about where the two surfaces meet.
            D3DXVECTOR3 dir(unit(rng), unit(rng), unit(rng));
            D3DXVec3Normalize(&dir, &dir);
            // The contact distance lies between the sums of the radii along dir and
            // of the supporting distances in dir.
            auto radial = [&](const D3DXVECTOR3& r) {
                return 1 / std::sqrt(dir.x * dir.x / (r.x * r.x) + dir.y * dir.y / (r.y * r.y) +
                                     dir.z * dir.z / (r.z * r.z));
            };
            auto support = [&](const D3DXVECTOR3& r) {
                return std::sqrt(r.x * r.x * dir.x * dir.x + r.y * r.y * dir.y * dir.y + r.z * r.z * dir.z * dir.z);
            };
            const float low = radial(ra) + radial(rb), high = support(ra) + support(rb);
            const D3DXVECTOR3 at = dir * (low + (high - low) * mix(rng));
            wb = Trans(at.x, at.y, at.z);
        }
        const D3DXMATRIX shared = RandomWorld(rng, 3);
        const D3DXMATRIX wa = shared;
        wb = wb * shared;
        const bool expected = AllPairs(a, wa, b, wb);
        const Model ma = MakeModel(a), mb = MakeModel(b);
        ASSERT_EQ(Touch(*ma, wa, *mb, wb), expected) << "case " << i;
        if (i % 4 == 0) {
            EXPECT_FALSE(expected) << "nested case " << i;
        }
        touching += expected;
    }
    EXPECT_GT(touching, cases / 5);
    EXPECT_LT(touching, cases * 4 / 5);
}
