#include "collision_geometry.h"

#include <algorithm>
#include <cmath>

namespace layer::collision {

Affine AffineFrom(const D3DXMATRIX& m) {
    Affine a;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a.L[i][j] = m.m[i][j];
    a.t = {m._41, m._42, m._43};
    return a;
}

bool Invert(const Affine& a, Affine* out) {
    const auto& L = a.L;
    const double c00 = L[1][1] * L[2][2] - L[1][2] * L[2][1];
    const double c01 = L[1][2] * L[2][0] - L[1][0] * L[2][2];
    const double c02 = L[1][0] * L[2][1] - L[1][1] * L[2][0];
    const double det = L[0][0] * c00 + L[0][1] * c01 + L[0][2] * c02;

    // Against the largest determinant rows of these lengths can have, so that
    // rank-deficient input is refused whatever its scale.
    double bound = 1.0;
    for (const auto& row : L) bound *= std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
    if (!(std::fabs(det) > bound * 1e-12) || !std::isfinite(det) || !std::isfinite(Dot(a.t, a.t))) return false;

    const double k = 1.0 / det;
    Affine r;
    r.L[0][0] = c00 * k;
    r.L[1][0] = c01 * k;
    r.L[2][0] = c02 * k;
    r.L[0][1] = (L[0][2] * L[2][1] - L[0][1] * L[2][2]) * k;
    r.L[1][1] = (L[0][0] * L[2][2] - L[0][2] * L[2][0]) * k;
    r.L[2][1] = (L[0][1] * L[2][0] - L[0][0] * L[2][1]) * k;
    r.L[0][2] = (L[0][1] * L[1][2] - L[0][2] * L[1][1]) * k;
    r.L[1][2] = (L[0][2] * L[1][0] - L[0][0] * L[1][2]) * k;
    r.L[2][2] = (L[0][0] * L[1][1] - L[0][1] * L[1][0]) * k;
    r.t = {0, 0, 0};
    r.t = Apply(r, a.t) * -1.0;
    *out = r;
    return true;
}

Affine Compose(const Affine& first, const Affine& then) {
    Affine r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.L[i][j] = first.L[i][0] * then.L[0][j] + first.L[i][1] * then.L[1][j] + first.L[i][2] * then.L[2][j];
    r.t = Apply(then, first.t);
    return r;
}

Vec3 Apply(const Affine& a, Vec3 p) {
    return {p.x * a.L[0][0] + p.y * a.L[1][0] + p.z * a.L[2][0] + a.t.x,
            p.x * a.L[0][1] + p.y * a.L[1][1] + p.z * a.L[2][1] + a.t.y,
            p.x * a.L[0][2] + p.y * a.L[1][2] + p.z * a.L[2][2] + a.t.z};
}

namespace {

inline double Clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }
inline double Coord(Vec3 v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }

// Squared distance between segments p1q1 and p2q2 (either may be a point).
double SegmentDistance2(Vec3 p1, Vec3 q1, Vec3 p2, Vec3 q2) {
    const Vec3 d1 = q1 - p1, d2 = q2 - p2, r = p1 - p2;
    const double a = Dot(d1, d1), e = Dot(d2, d2), f = Dot(d2, r);
    double s = 0.0, t = 0.0;
    if (a == 0.0 && e != 0.0) {
        t = Clamp01(f / e);
    } else if (a != 0.0) {
        const double c = Dot(d1, r);
        if (e == 0.0) {
            s = Clamp01(-c / a);
        } else {
            const double b = Dot(d1, d2);
            const double denom = a * e - b * b;
            // Nearly parallel: start from s = 0 and let the clamping below find the ends.
            s = denom > 1e-14 * a * e ? Clamp01((b * f - c * e) / denom) : 0.0;
            t = (b * s + f) / e;
            if (t < 0.0) {
                t = 0.0;
                s = Clamp01(-c / a);
            } else if (t > 1.0) {
                t = 1.0;
                s = Clamp01((b - c) / a);
            }
        }
    }
    const Vec3 diff = (p1 + d1 * s) - (p2 + d2 * t);
    return Dot(diff, diff);
}

struct Face {
    Vec3 n;      // winding normal
    double len;  // |n|
    bool valid;
};

Face FaceOf(const Triangle& t) {
    const Vec3 e0 = t[1] - t[0], e1 = t[2] - t[1], e2 = t[0] - t[2];
    const Vec3 n = Cross(e0, t[2] - t[0]);
    const double len = std::sqrt(Dot(n, n));
    const double longest2 = std::max({Dot(e0, e0), Dot(e1, e1), Dot(e2, e2)});
    return {n, len, len > 1e-7 * longest2};
}

// Whether p, known to lie in the triangle's plane, is inside it (boundary included).
bool InsideFace(const Triangle& t, const Face& f, Vec3 p) {
    for (int i = 0; i < 3; ++i) {
        const Vec3& a = t[i];
        const Vec3& b = t[(i + 1) % 3];
        if (Dot(Cross(b - a, p - a), f.n) < 0.0) return false;
    }
    return true;
}

// Tests of the corners and edges of `a` against the face of `b`. `dist` holds the
// signed distances of a's corners to b's plane.
bool CornersOrEdgesMeetFace(const Triangle& a, const Triangle& b, const Face& fb, const double (&dist)[3],
                            double eps) {
    const Vec3 unit = fb.n * (1.0 / fb.len);
    for (int i = 0; i < 3; ++i) {
        // An edge that crosses the plane, through the face.
        const int j = (i + 1) % 3;
        const double si = dist[i], sj = dist[j];
        if ((si < 0.0 && sj > 0.0) || (si > 0.0 && sj < 0.0)) {
            const Vec3 x = a[i] + (a[j] - a[i]) * (si / (si - sj));
            if (InsideFace(b, fb, x)) return true;
        }
        // A corner on or just off the face.
        if (std::fabs(si) <= eps && InsideFace(b, fb, a[i] - unit * si)) return true;
    }
    return false;
}

}  // namespace

bool PlaneOf(const Triangle& t, Vec3* unit_normal) {
    const Face f = FaceOf(t);
    if (f.valid) *unit_normal = f.n * (1.0 / f.len);
    return f.valid;
}

bool TrianglesTouch(const Triangle& a, const Triangle& b) {
    double scale = 0.0;
    for (const Triangle* t : {&a, &b})
        for (const Vec3& v : *t) scale = std::max({scale, std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
    const double eps = kTouchTolerance * scale;

    for (int axis = 0; axis < 3; ++axis) {
        const double a0 = Coord(a[0], axis), a1 = Coord(a[1], axis), a2 = Coord(a[2], axis);
        const double b0 = Coord(b[0], axis), b1 = Coord(b[1], axis), b2 = Coord(b[2], axis);
        if (std::min({a0, a1, a2}) > std::max({b0, b1, b2}) + eps) return false;
        if (std::min({b0, b1, b2}) > std::max({a0, a1, a2}) + eps) return false;
    }

    const Face fa = FaceOf(a), fb = FaceOf(b);
    double da[3] = {}, db[3] = {};
    if (fb.valid) {
        for (int i = 0; i < 3; ++i) da[i] = Dot(fb.n, a[i] - b[0]) / fb.len;
        if ((da[0] > eps && da[1] > eps && da[2] > eps) || (da[0] < -eps && da[1] < -eps && da[2] < -eps))
            return false;
    }
    if (fa.valid) {
        for (int i = 0; i < 3; ++i) db[i] = Dot(fa.n, b[i] - a[0]) / fa.len;
        if ((db[0] > eps && db[1] > eps && db[2] > eps) || (db[0] < -eps && db[1] < -eps && db[2] < -eps))
            return false;
    }

    // Two triangles meet exactly when an edge or corner of one meets the other;
    // the closest points of two that do not are on two edges or a corner and a face.
    if (fb.valid && CornersOrEdgesMeetFace(a, b, fb, da, eps)) return true;
    if (fa.valid && CornersOrEdgesMeetFace(b, a, fa, db, eps)) return true;
    const double eps2 = eps * eps;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (SegmentDistance2(a[i], a[(i + 1) % 3], b[j], b[(j + 1) % 3]) <= eps2) return true;
    return false;
}

}  // namespace layer::collision
