// The utility library's maths against hand-computed values.
#include <d3dx9math.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr float kHalfPi = 1.5707963f;

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXMATRIX RotX(float a) { D3DXMATRIX m; return *D3DXMatrixRotationX(&m, a); }
D3DXMATRIX RotY(float a) { D3DXMATRIX m; return *D3DXMatrixRotationY(&m, a); }
D3DXMATRIX RotZ(float a) { D3DXMATRIX m; return *D3DXMatrixRotationZ(&m, a); }
D3DXMATRIX Trans(float x, float y, float z) { D3DXMATRIX m; return *D3DXMatrixTranslation(&m, x, y, z); }
D3DXMATRIX Scale(float x, float y, float z) { D3DXMATRIX m; return *D3DXMatrixScaling(&m, x, y, z); }

D3DXVECTOR3 Coord(D3DXVECTOR3 v, const D3DXMATRIX& m) { return *D3DXVec3TransformCoord(&v, &v, &m); }

::testing::AssertionResult Near(const D3DXMATRIX& a, const D3DXMATRIX& b, float tol) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!(std::fabs(a(i, j) - b(i, j)) <= tol))
                return ::testing::AssertionFailure() << "element (" << i << "," << j << "): " << a(i, j) << " vs "
                                                     << b(i, j);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Near(const float* a, const float* b, int n, float tol) {
    for (int i = 0; i < n; ++i)
        if (!(std::fabs(a[i] - b[i]) <= tol))
            return ::testing::AssertionFailure() << "component " << i << ": " << a[i] << " vs " << b[i];
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Near(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float tol) { return Near(a, b, 3, tol); }

D3DXMATRIX RandomMatrix(std::mt19937& rng) {
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    D3DXMATRIX m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m(i, j) = u(rng);
    return m;
}

}  // namespace

TEST(D3dxMath, PerspectiveFovMatchesTheProgramsProjection) {
    D3DXMATRIX p;
    ASSERT_EQ(D3DXMatrixPerspectiveFovLH(&p, D3DX_PI / 4, 1024.0f / 768.0f, 1.0f, 10000.0f), &p);
    const D3DXMATRIX expected(1.8106601f, 0, 0, 0,
                              0, 2.4142136f, 0, 0,
                              0, 0, 1.00010001f, 1,
                              0, 0, -1.00010001f, 0);
    EXPECT_TRUE(Near(p, expected, 1e-5f));

    // The near and far planes land on depth 0 and 1 once divided by w.
    EXPECT_TRUE(Near(Coord({0, 0, 1}, p), {0, 0, 0}, 1e-6f));
    EXPECT_TRUE(Near(Coord({0, 0, 10000}, p), {0, 0, 1}, 1e-6f));
    EXPECT_TRUE(Near(Coord({1, 1, 1}, p), {1.8106601f, 2.4142136f, 0}, 1e-5f));
}

TEST(D3dxMath, TransformsOfVectors) {
    // w != 1 after the product: the coordinate is divided, the normal ignores row 4,
    // and the 4-vector forms keep w.
    const D3DXMATRIX m(2, 0, 0, 0,
                       0, 3, 0, 1,
                       0, 0, 4, 0,
                       10, 20, 30, 2);
    const D3DXVECTOR3 v(1, 2, 3);
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);  // (12, 26, 42, 4)
    EXPECT_EQ(out, D3DXVECTOR3(3, 6.5f, 10.5f));
    D3DXVec3TransformNormal(&out, &v, &m);
    EXPECT_EQ(out, D3DXVECTOR3(2, 6, 12));
    D3DXVECTOR4 out4;
    EXPECT_EQ(D3DXVec3Transform(&out4, &v, &m), &out4);
    EXPECT_EQ(out4, D3DXVECTOR4(12, 26, 42, 4));
    const D3DXVECTOR4 v4(1, 2, 3, 0.5f);
    D3DXVec4Transform(&out4, &v4, &m);
    EXPECT_EQ(out4, D3DXVECTOR4(7, 16, 27, 3));
}

TEST(D3dxMath, MultiplyIsRowVectorOrder) {
    // T then S: the origin moves to (1,2,3), then doubles.
    EXPECT_EQ(Coord({0, 0, 0}, Trans(1, 2, 3) * Scale(2, 2, 2)), D3DXVECTOR3(2, 4, 6));
    EXPECT_EQ(Coord({0, 0, 0}, Scale(2, 2, 2) * Trans(1, 2, 3)), D3DXVECTOR3(1, 2, 3));

    const D3DXMATRIX a(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    const D3DXMATRIX b(1, 0, 2, 0, 0, 1, 0, 3, 1, 1, 0, 0, 0, 0, 1, 1);
    const D3DXMATRIX ab(4, 5, 6, 10, 12, 13, 18, 26, 20, 21, 30, 42, 28, 29, 42, 58);
    D3DXMATRIX r;
    EXPECT_EQ(D3DXMatrixMultiply(&r, &a, &b), &r);
    EXPECT_EQ(r, ab);
    EXPECT_EQ(a * b, ab);
    r = a;
    r *= b;
    EXPECT_EQ(r, ab);
    EXPECT_EQ(a * Identity(), a);
}

TEST(D3dxMath, AxisRotationsMapTheAxes) {
    struct Case {
        const char* name;
        D3DXMATRIX m;
        D3DXVECTOR3 in, out;
    };
    const float c30 = 0.8660254f, s30 = 0.5f;
    const Case cases[] = {
        {"X 90: y to z", RotX(kHalfPi), {0, 1, 0}, {0, 0, 1}},
        {"X 90: z to -y", RotX(kHalfPi), {0, 0, 1}, {0, -1, 0}},
        {"Y 90: x to -z", RotY(kHalfPi), {1, 0, 0}, {0, 0, -1}},
        {"Y 90: z to x", RotY(kHalfPi), {0, 0, 1}, {1, 0, 0}},
        {"Z 90: x to y", RotZ(kHalfPi), {1, 0, 0}, {0, 1, 0}},
        {"Z 90: y to -x", RotZ(kHalfPi), {0, 1, 0}, {-1, 0, 0}},
        {"X 30", RotX(D3DX_PI / 6), {0, 2, 0}, {0, 2 * c30, 2 * s30}},
        {"Y 30", RotY(D3DX_PI / 6), {2, 0, 0}, {2 * c30, 0, -2 * s30}},
        {"Z -30", RotZ(-D3DX_PI / 6), {2, 0, 0}, {2 * c30, -2 * s30, 0}},
    };
    for (const Case& c : cases) EXPECT_TRUE(Near(Coord(c.in, c.m), c.out, 1e-6f)) << c.name;
}

TEST(D3dxMath, RotationsAgreeAcrossForms) {
    const D3DXVECTOR3 y(0, 1, 0), longY(0, 5, 0), x(1, 0, 0), z(0, 0, -0.5f);
    for (float theta : {0.0f, 0.3f, 1.0f, kHalfPi, 2.5f, D3DX_PI, -1.2f, 5.0f}) {
        SCOPED_TRACE(theta);
        const D3DXQUATERNION q(0, std::sin(theta / 2), 0, std::cos(theta / 2));
        D3DXMATRIX fromQ, axis;
        D3DXMatrixRotationQuaternion(&fromQ, &q);
        EXPECT_TRUE(Near(fromQ, RotY(theta), 1e-6f));

        EXPECT_TRUE(Near(*D3DXMatrixRotationAxis(&axis, &y, theta), RotY(theta), 1e-6f));
        EXPECT_TRUE(Near(*D3DXMatrixRotationAxis(&axis, &longY, theta), RotY(theta), 1e-6f));  // axis normalised
        EXPECT_TRUE(Near(*D3DXMatrixRotationAxis(&axis, &x, theta), RotX(theta), 1e-6f));
        EXPECT_TRUE(Near(*D3DXMatrixRotationAxis(&axis, &z, theta), RotZ(-theta), 1e-6f));

        D3DXQUATERNION qa;
        EXPECT_EQ(D3DXQuaternionRotationAxis(&qa, &longY, theta), &qa);
        EXPECT_TRUE(Near(qa, q, 4, 1e-6f));
    }

    // About (1,1,1) by 120 degrees the axes cycle x -> y -> z.
    const D3DXVECTOR3 diag(1, 1, 1);
    D3DXMATRIX m;
    D3DXMatrixRotationAxis(&m, &diag, 2 * D3DX_PI / 3);
    EXPECT_TRUE(Near(Coord({1, 0, 0}, m), {0, 1, 0}, 1e-6f));
    EXPECT_TRUE(Near(Coord({0, 1, 0}, m), {0, 0, 1}, 1e-6f));
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, &diag, 2 * D3DX_PI / 3);
    D3DXMATRIX fromQ;
    EXPECT_TRUE(Near(*D3DXMatrixRotationQuaternion(&fromQ, &q), m, 1e-6f));
}

TEST(D3dxMath, QuaternionFromMatrixRoundTrips) {
    // Random rotations, plus half turns about each axis (the branches without a positive trace).
    std::mt19937 rng(7);
    std::normal_distribution<float> n(0.0f, 1.0f);
    std::vector<D3DXQUATERNION> qs = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0.6f, 0, 0.8f, 0}};
    for (int i = 0; i < 200; ++i) {
        D3DXQUATERNION q(n(rng), n(rng), n(rng), n(rng));
        qs.push_back(*D3DXQuaternionNormalize(&q, &q));
    }
    for (const D3DXQUATERNION& q : qs) {
        D3DXMATRIX m, back;
        D3DXMatrixRotationQuaternion(&m, &q);
        D3DXQUATERNION r;
        EXPECT_EQ(D3DXQuaternionRotationMatrix(&r, &m), &r);
        EXPECT_TRUE(Near(*D3DXMatrixRotationQuaternion(&back, &r), m, 2e-6f));
        const float dot = q.x * r.x + q.y * r.y + q.z * r.z + q.w * r.w;
        EXPECT_NEAR(std::fabs(dot), 1.0f, 1e-5f);  // q or -q
    }
}

TEST(D3dxMath, LevelPoseMapsModelZUpToWorldYUp) {
    const D3DXMATRIX pose = RotX(-1.57f) * Trans(0, 1.4f, 0);
    const D3DXVECTOR3 points[] = {{0, 0, 0}, {1, 2, 3}, {-5, 4, -1.45f}, {10, -10, 2}};
    for (const D3DXVECTOR3& p : points) {
        const float tol = 1e-3f * (1 + std::fabs(p.y) + std::fabs(p.z));
        EXPECT_TRUE(Near(Coord(p, pose), {p.x, p.z + 1.4f, -p.y}, tol));
    }
}

TEST(D3dxMath, InverseOfInvertibleMatrices) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> u(-3.0f, 3.0f), pos(0.2f, 4.0f);
    int tested = 0;
    for (int i = 0; i < 500; ++i) {
        // Half of them scene-like (scale, rotations, translation), half dense.
        D3DXMATRIX m = (i % 2) ? Scale(pos(rng), pos(rng), pos(rng)) * RotX(u(rng)) * RotY(u(rng)) *
                                     Trans(u(rng), u(rng), u(rng))
                               : RandomMatrix(rng);
        D3DXMATRIX inv;
        float det = 0;
        ASSERT_EQ(D3DXMatrixInverse(&inv, &det, &m), &inv);
        if (std::fabs(det) < 0.05f) continue;  // badly conditioned: products lose digits
        ++tested;
        EXPECT_TRUE(Near(m * inv, Identity(), 5e-5f)) << i;
        EXPECT_TRUE(Near(inv * m, Identity(), 5e-5f)) << i;
    }
    EXPECT_GT(tested, 400);

    D3DXMATRIX inv;
    float det = 0;
    const D3DXMATRIX d = Scale(2, 3, 4) * Trans(1, 1, 1);
    D3DXMatrixInverse(&inv, &det, &d);
    EXPECT_FLOAT_EQ(det, 24.0f);
    EXPECT_TRUE(Near(inv, Trans(-1, -1, -1) * Scale(0.5f, 1.0f / 3, 0.25f), 1e-6f));
    EXPECT_EQ(D3DXMatrixInverse(&inv, nullptr, &d), &inv);  // no determinant asked for
}

TEST(D3dxMath, SingularInverseReturnsNullAndLeavesOutUntouched) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        D3DXMATRIX m;
    };
    const Case cases[] = {
        {"zero", D3DXMATRIX()},
        {"flattened", Scale(1, 0, 1)},
        {"flattened and moved", Scale(2, 2, 0) * RotY(0.7f) * Trans(1, 2, 3)},
        {"dependent rows", D3DXMATRIX(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 0, 0, 0, 0, 1)},
        // Rounding leaves this one a determinant of about 2e-16 instead of 0.
        {"repeated row", D3DXMATRIX(-1.11202729f, -1.77927947f, 1.48292923f, 1.32531142f,
                                    -1.17312336f, -0.545052409f, 1.67444372f, 1.91777992f,
                                    -1.11202729f, -1.77927947f, 1.48292923f, 1.32531142f,
                                    1.06363153f, -0.583447814f, 0.0736720562f, -0.0534479618f)},
        {"nan", D3DXMATRIX(nan, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)},
    };
    for (const Case& c : cases) {
        D3DXMATRIX out(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
        const D3DXMATRIX before = out;
        EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &c.m), nullptr) << c.name;
        EXPECT_EQ(std::memcmp(&out, &before, sizeof out), 0) << c.name;
    }
    float det = 99;
    D3DXMATRIX out;
    const D3DXMATRIX flat = Scale(1, 0, 1);
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &flat), nullptr);
    EXPECT_EQ(det, 0.0f);
}

TEST(D3dxMath, OutMayAliasAnInput) {
    // Each operation run once into a separate result and once in place, on every
    // input it may share with the output.
    std::mt19937 rng(99);
    const D3DXMATRIX a = RandomMatrix(rng), b = RandomMatrix(rng);
    const D3DXVECTOR3 v(1.5f, -2, 0.25f), w(-0.5f, 3, 2);
    const D3DXQUATERNION q1(0.1f, 0.7f, -0.1f, 0.7f), q2(-0.6f, 0.2f, 0.3f, -0.7f);

    struct MatCase {
        const char* name;
        std::function<void(D3DXMATRIX*, const D3DXMATRIX*, const D3DXMATRIX*)> f;
    };
    const MatCase mats[] = {
        {"multiply", [](D3DXMATRIX* o, const D3DXMATRIX* x, const D3DXMATRIX* y) { D3DXMatrixMultiply(o, x, y); }},
        {"transpose", [](D3DXMATRIX* o, const D3DXMATRIX* x, const D3DXMATRIX*) { D3DXMatrixTranspose(o, x); }},
        {"inverse", [](D3DXMATRIX* o, const D3DXMATRIX* x, const D3DXMATRIX*) { D3DXMatrixInverse(o, nullptr, x); }},
    };
    for (const MatCase& c : mats) {
        D3DXMATRIX expected;
        c.f(&expected, &a, &b);
        D3DXMATRIX first = a, second = b, both = a;
        c.f(&first, &first, &b);
        c.f(&second, &a, &second);
        EXPECT_EQ(first, expected) << c.name;
        if (std::string(c.name) == "multiply") {
            EXPECT_EQ(second, expected) << c.name;
            D3DXMATRIX square;
            D3DXMatrixMultiply(&square, &a, &a);
            c.f(&both, &both, &both);
            EXPECT_EQ(both, square) << c.name;
        }
    }

    struct VecCase {
        const char* name;
        std::function<void(D3DXVECTOR3*, const D3DXVECTOR3*, const D3DXVECTOR3*)> f;
    };
    const VecCase vecs[] = {
        {"coord", [&](D3DXVECTOR3* o, const D3DXVECTOR3* x, const D3DXVECTOR3*) { D3DXVec3TransformCoord(o, x, &a); }},
        {"normal", [&](D3DXVECTOR3* o, const D3DXVECTOR3* x, const D3DXVECTOR3*) { D3DXVec3TransformNormal(o, x, &a); }},
        {"normalize", [](D3DXVECTOR3* o, const D3DXVECTOR3* x, const D3DXVECTOR3*) { D3DXVec3Normalize(o, x); }},
        {"cross", [](D3DXVECTOR3* o, const D3DXVECTOR3* x, const D3DXVECTOR3* y) { D3DXVec3Cross(o, x, y); }},
        {"lerp", [](D3DXVECTOR3* o, const D3DXVECTOR3* x, const D3DXVECTOR3* y) { D3DXVec3Lerp(o, x, y, 0.3f); }},
    };
    for (const VecCase& c : vecs) {
        D3DXVECTOR3 expected, first = v, second = w;
        c.f(&expected, &v, &w);
        c.f(&first, &first, &w);
        c.f(&second, &v, &second);
        EXPECT_EQ(first, expected) << c.name;
        EXPECT_EQ(second, expected) << c.name;
    }

    D3DXVECTOR4 v4(1, 2, 3, 4), expected4;
    D3DXVec4Transform(&expected4, &v4, &a);
    D3DXVec4Transform(&v4, &v4, &a);
    EXPECT_EQ(v4, expected4);
    D3DXVec4Normalize(&expected4, &v4);
    D3DXVec4Normalize(&v4, &v4);
    EXPECT_EQ(v4, expected4);

    D3DXQUATERNION expected, first = q1, second = q2;
    D3DXQuaternionSlerp(&expected, &q1, &q2, 0.4f);
    D3DXQuaternionSlerp(&first, &first, &q2, 0.4f);
    D3DXQuaternionSlerp(&second, &q1, &second, 0.4f);
    EXPECT_EQ(first, expected);
    EXPECT_EQ(second, expected);
}

TEST(D3dxMath, SlerpWeightsAndShortArc) {
    const float s45 = 0.70710678f;
    const D3DXQUATERNION id(0, 0, 0, 1), y90(0, s45, 0, s45), y90neg(0, -s45, 0, -s45);
    struct Case {
        const char* name;
        D3DXQUATERNION a, b;
        float t;
        D3DXQUATERNION expected;
    };
    const Case cases[] = {
        {"start", id, y90, 0.0f, id},
        {"end", id, y90, 1.0f, y90},
        {"half way is 45 degrees", id, y90, 0.5f, {0, 0.38268343f, 0, 0.92387953f}},
        {"a quarter is 22.5 degrees", id, y90, 0.25f, {0, 0.19509032f, 0, 0.98078528f}},
        {"shorter arc: -q is q", id, y90neg, 0.5f, {0, 0.38268343f, 0, 0.92387953f}},
        {"shorter arc: end is negated", id, y90neg, 1.0f, y90},
        {"q against -q", y90, y90neg, 0.3f, y90},
        // A dot of 1 or more takes the plain weights 1-t and t, unnormalised.
        {"dot exactly 1", id, {0, 0.5f, 0, 1}, 0.25f, {0, 0.125f, 0, 1}},
        {"dot above 1", id, {0, 0, 0, 2}, 0.5f, {0, 0, 0, 1.5f}},
        {"dot 1 - 2^-23", id, {0.6f, 0, 0, 1.0f - 1.0f / 8388608.0f}, 0.5f, {0.3f, 0, 0, 1.0f - 0.5f / 8388608.0f}},
    };
    for (const Case& c : cases) {
        D3DXQUATERNION out;
        EXPECT_EQ(D3DXQuaternionSlerp(&out, &c.a, &c.b, c.t), &out);
        EXPECT_TRUE(Near(out, c.expected, 4, 1e-6f)) << c.name;
    }

    // Just outside the plain-weight band the arc weights stay finite and near linear.
    const D3DXQUATERNION nearly(0, 0.00069f, 0, 0.99999976f);
    D3DXQUATERNION out;
    D3DXQuaternionSlerp(&out, &id, &nearly, 0.5f);
    EXPECT_TRUE(Near(out, D3DXQUATERNION(0, 0.000345f, 0, 0.99999988f), 4, 1e-6f));
}

TEST(D3dxMath, VectorHelpers) {
    const D3DXVECTOR3 a(1, 2, 3), b(4, 5, 6);
    D3DXVECTOR3 out;
    EXPECT_EQ(*D3DXVec3Cross(&out, &a, &b), D3DXVECTOR3(-3, 6, -3));
    const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
    EXPECT_EQ(*D3DXVec3Cross(&out, &x, &y), D3DXVECTOR3(0, 0, 1));
    EXPECT_EQ(D3DXVec3Dot(&a, &b), 32.0f);
    const D3DXVECTOR3 len7(2, 3, 6);
    EXPECT_EQ(D3DXVec3Length(&len7), 7.0f);

    struct Lerp {
        float t;
        D3DXVECTOR3 expected;
    };
    for (const Lerp& l : {Lerp{0, a}, Lerp{1, b}, Lerp{0.5f, {2.5f, 3.5f, 4.5f}}, Lerp{2, {7, 8, 9}}}) {
        EXPECT_EQ(*D3DXVec3Lerp(&out, &a, &b, l.t), l.expected) << l.t;
    }

    D3DXMATRIX m = Identity();
    EXPECT_TRUE(D3DXMatrixIsIdentity(&m));
    m(3, 0) = 1e-7f;
    EXPECT_FALSE(D3DXMatrixIsIdentity(&m));
    D3DXMATRIX t;
    EXPECT_EQ(*D3DXMatrixTranspose(&t, &m), Trans(0, 0, 0) + D3DXMATRIX(0, 0, 0, 1e-7f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));

    // A camera 5 back from the origin looking at it.
    const D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    EXPECT_TRUE(Near(Coord(eye, view), {0, 0, 0}, 1e-6f));
    EXPECT_TRUE(Near(Coord({1, 2, 0}, view), {1, 2, 5}, 1e-6f));
    const D3DXVECTOR3 side(5, 0, 0);
    D3DXMatrixLookAtLH(&view, &side, &at, &up);  // looking along -x: +z is to the right
    EXPECT_TRUE(Near(Coord({0, 0, 1}, view), {1, 0, 5}, 1e-6f));
}

TEST(D3dxMath, NormalisingZeroGivesZero) {
    D3DXVECTOR3 v(0, 0, 0);
    EXPECT_EQ(*D3DXVec3Normalize(&v, &v), D3DXVECTOR3(0, 0, 0));
    D3DXVECTOR4 v4(0, 0, 0, 0);
    EXPECT_EQ(*D3DXVec4Normalize(&v4, &v4), D3DXVECTOR4(0, 0, 0, 0));
    D3DXQUATERNION q(0, 0, 0, 0);
    EXPECT_EQ(*D3DXQuaternionNormalize(&q, &q), D3DXQUATERNION(0, 0, 0, 0));
    // A zero axis leaves no NaN in the rotation either.
    D3DXMATRIX m;
    D3DXMatrixRotationAxis(&m, &v, 1.0f);
    for (int i = 0; i < 16; ++i) EXPECT_FALSE(std::isnan(static_cast<const float*>(m)[i]));

    struct Case {
        D3DXVECTOR3 in, out;
    };
    const Case cases[] = {{{3, 4, 0}, {0.6f, 0.8f, 0}},
                          {{0, 0, -2}, {0, 0, -1}},
                          {{1e-30f, 0, 0}, {1, 0, 0}},  // squares underflow in float
                          {{1e30f, 1e30f, 0}, {0.70710678f, 0.70710678f, 0}}};
    for (const Case& c : cases) {
        D3DXVECTOR3 out;
        EXPECT_TRUE(Near(*D3DXVec3Normalize(&out, &c.in), c.out, 1e-6f)) << c.in.x;
    }
    const D3DXVECTOR4 in4(1, 1, 1, 1);
    EXPECT_TRUE(Near(*D3DXVec4Normalize(&v4, &in4), D3DXVECTOR4(0.5f, 0.5f, 0.5f, 0.5f), 4, 1e-7f));
    D3DXQUATERNION qi;
    EXPECT_EQ(*D3DXQuaternionIdentity(&qi), D3DXQUATERNION(0, 0, 0, 1));
}

TEST(D3dxMath, ColourPacking) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        D3DXCOLOR c;
        DWORD packed;
    };
    const Case cases[] = {
        {{1, 1, 1, 1}, 0xFFFFFFFFu},
        {{255, 255, 255, 255}, 0xFFFFFFFFu},  // what callers pass for full channels
        {{0, 0, 0, 0}, 0x00000000u},
        {{-1, -0.5f, 0, 1}, 0xFF000000u},
        {{0.5f, 0, 0, 1}, 0xFF800000u},
        {{0.2f, 0.4f, 0.6f, 0.8f}, 0xCC336699u},
        {{nan, 1, nan, nan}, 0x0000FF00u},
        {{1.0f / 255, 0.999f, 0.002f, 0.0019f}, 0x0001FF01u},
    };
    for (const Case& c : cases) EXPECT_EQ(static_cast<DWORD>(c.c), c.packed) << std::hex << c.packed;

    const D3DXCOLOR unpacked(0x80FF4000u);
    EXPECT_EQ(unpacked, D3DXCOLOR(1.0f, 64.0f / 255, 0.0f, 128.0f / 255));
    for (DWORD v = 0; v < 256; ++v) {
        const DWORD argb = v << 24 | (255 - v) << 16 | v << 8 | (v ^ 0x5A);
        EXPECT_EQ(static_cast<DWORD>(D3DXCOLOR(argb)), argb);
    }
    // A D3DXCOLOR is a D3DCOLORVALUE.
    const D3DCOLORVALUE& value = unpacked;
    EXPECT_EQ(value.r, 1.0f);
}

TEST(D3dxMath, ValueTypeOperators) {
    D3DXVECTOR3 v(1, 2, 3);
    EXPECT_EQ(v + D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(2, 3, 4));
    EXPECT_EQ(v - D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(0, 1, 2));
    EXPECT_EQ(-v, D3DXVECTOR3(-1, -2, -3));
    EXPECT_EQ(v * 2.0f, 2.0f * v);
    EXPECT_EQ(v / 2.0f, D3DXVECTOR3(0.5f, 1, 1.5f));
    v += D3DXVECTOR3(1, 1, 1);
    v -= D3DXVECTOR3(0, 0, 1);
    v *= 3.0f;
    v /= 2.0f;
    EXPECT_EQ(v, D3DXVECTOR3(3, 4.5f, 4.5f));
    EXPECT_NE(v, D3DXVECTOR3(3, 4.5f, 4.6f));
    const float* f = v;
    EXPECT_EQ(f[1], 4.5f);
    EXPECT_EQ(D3DXVECTOR3(), D3DXVECTOR3(0, 0, 0));
    const D3DVECTOR plain = {7, 8, 9};
    EXPECT_EQ(D3DXVECTOR3(plain), D3DXVECTOR3(7, 8, 9));

    D3DXVECTOR2 v2(1, 2);
    v2 += D3DXVECTOR2(1, 1);
    EXPECT_EQ(v2 * 2.0f - D3DXVECTOR2(1, 1), D3DXVECTOR2(3, 5));
    D3DXVECTOR4 v4(1, 2, 3, 4);
    EXPECT_EQ(-(v4 + v4) / 2.0f, D3DXVECTOR4(-1, -2, -3, -4));
    D3DXQUATERNION q(1, 2, 3, 4);
    EXPECT_EQ(0.5f * (q - q * 3.0f), D3DXQUATERNION(-1, -2, -3, -4));
    D3DXCOLOR c(0.25f, 0.5f, 0.75f, 1);
    EXPECT_EQ(c * 2.0f + -c, c);

    D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    EXPECT_EQ(m(1, 2), 7.0f);
    EXPECT_EQ(m._43, 15.0f);
    EXPECT_EQ(static_cast<const float*>(m)[6], 7.0f);
    m(1, 2) = 70;
    EXPECT_EQ(m._23, 70.0f);
    const D3DXMATRIX twice = m + m;
    EXPECT_EQ(twice - m, m);
    EXPECT_EQ(twice / 2.0f, m);
    EXPECT_EQ(-m * 2.0f, -twice);
    EXPECT_EQ(2.0f * m, twice);
    EXPECT_EQ(D3DXMATRIX(static_cast<const float*>(m)), m);
    EXPECT_EQ(D3DXMATRIX(), D3DXMATRIX(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
}
