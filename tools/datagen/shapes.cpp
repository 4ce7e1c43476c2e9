#include "tools/datagen/shapes.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace datagen {

namespace {

float SignedPow(float v, float p) { return v < 0 ? -std::pow(-v, p) : std::pow(v, p); }

float Smooth(float x) {
    x = std::clamp(x, 0.0f, 1.0f);
    return x * x * (3 - 2 * x);
}

Influences SpanWeights(const Loft& loft, float t) {
    Influences w;
    for (const BoneSpan& s : loft.spans) {
        float d = std::max({0.0f, s.t0 - t, t - s.t1});
        float v = loft.blend > 0 ? 1.0f - Smooth(d / loft.blend) : (d == 0 ? 1.0f : 0.0f);
        if (v > 1e-4f) w.push_back({s.bone, v});
    }
    if (w.empty()) {
        // Past every blend zone: the nearest span takes it all.
        float best = 1e30f;
        int bone = loft.spans.empty() ? 0 : loft.spans[0].bone;
        for (const BoneSpan& s : loft.spans) {
            float d = std::max({0.0f, s.t0 - t, t - s.t1});
            if (d < best) best = d, bone = s.bone;
        }
        w.push_back({bone, 1.0f});
    }
    return LimitInfluences(std::move(w));
}

}  // namespace

Influences LimitInfluences(Influences in, size_t maxBones) {
    // Merge duplicates, keep the strongest, renormalise exactly.
    std::map<int, float> merged;
    for (auto& [b, w] : in) merged[b] += w;
    Influences out(merged.begin(), merged.end());
    std::stable_sort(out.begin(), out.end(), [](auto& x, auto& y) { return x.second > y.second; });
    if (out.size() > maxBones) out.resize(maxBones);
    double sum = 0;
    for (auto& p : out) sum += p.second;
    float rest = 1.0f;
    for (size_t i = 0; i + 1 < out.size(); ++i) {
        out[i].second = float(out[i].second / sum);
        rest -= out[i].second;
    }
    if (!out.empty()) out.back().second = rest;
    return out;
}

void AddLoft(Mesh& mesh, std::vector<Influences>& weights, const Loft& loft) {
    const Vec3 e1 = loft.side;
    const Vec3 e2 = Cross(loft.axis, e1);  // e1 x e2 = axis: quads below face outward
    const int n = loft.segments;
    const float p = 2.0f / loft.exponent;

    Piece piece;
    piece.name = loft.name;
    piece.firstVertex = uint32_t(mesh.positions.size());
    piece.firstFace = uint32_t(mesh.faces.size());

    const size_t ringCount = loft.rings.size();
    std::vector<uint32_t> ringStart(ringCount);
    std::vector<bool> pole(ringCount);
    std::vector<int> vertexRing;
    for (size_t r = 0; r < ringCount; ++r) {
        const Ring& ring = loft.rings[r];
        pole[r] = ring.a == 0 && ring.b == 0;
        ringStart[r] = uint32_t(mesh.positions.size());
        float v = loft.uv.v1 + (loft.uv.v0 - loft.uv.v1) * float(r) / float(ringCount - 1);
        Vec3 centre = loft.origin + loft.axis * ring.t + e1 * ring.c1 + e2 * ring.c2;
        Influences w = SpanWeights(loft, ring.t);
        int columns = pole[r] ? n : n + 1;  // a point needs one vertex per cell only
        for (int j = 0; j < columns; ++j) {
            float cell = pole[r] ? float(j) + 0.5f : float(j);
            float theta = 2.0f * kPi * cell / float(n);
            float c = std::cos(theta), s = std::sin(theta);
            if (j == n) c = 1, s = 0;  // seam lands exactly on the first column
            Vec3 pos = centre + e1 * (ring.a * SignedPow(c, p)) + e2 * (ring.b * SignedPow(s, p));
            mesh.positions.push_back(pos);
            mesh.normals.push_back({0, 0, 0});
            mesh.uvs.push_back({loft.uv.u0 + (loft.uv.u1 - loft.uv.u0) * cell / float(n), v});
            weights.push_back(w);
            vertexRing.push_back(int(r));
        }
    }

    auto at = [&](size_t r, int j) { return ringStart[r] + uint32_t(j); };
    auto addFace = [&](uint32_t a, uint32_t b, uint32_t c) {
        Vec3 nrm = Cross(mesh.positions[b] - mesh.positions[a], mesh.positions[c] - mesh.positions[a]);
        if (Length(nrm) < 1e-9f) return;  // zero-height band between a cap and its side
        mesh.faces.push_back({a, b, c});
        mesh.faceMaterials.push_back(loft.material);
        for (uint32_t i : {a, b, c}) mesh.normals[i] += nrm;
    };
    for (size_t r = 0; r + 1 < ringCount; ++r) {
        for (int j = 0; j < n; ++j) {
            if (pole[r] && pole[r + 1]) continue;
            if (pole[r]) {
                addFace(at(r, j), at(r + 1, j + 1), at(r + 1, j));
            } else if (pole[r + 1]) {
                addFace(at(r, j), at(r, j + 1), at(r + 1, j));
            } else {
                addFace(at(r, j), at(r, j + 1), at(r + 1, j));
                addFace(at(r, j + 1), at(r + 1, j + 1), at(r + 1, j));
            }
        }
    }

    // Smooth normals across the seam and the points of each ring, but not
    // between rings that only touch (hard cap edges).
    std::map<std::tuple<int, long, long, long>, Vec3> groups;
    auto key = [&](uint32_t i) {
        const Vec3& q = mesh.positions[i];
        return std::make_tuple(vertexRing[i - piece.firstVertex], std::lround(q.x * 1e5f), std::lround(q.y * 1e5f),
                               std::lround(q.z * 1e5f));
    };
    for (uint32_t i = piece.firstVertex; i < mesh.positions.size(); ++i) groups[key(i)] += mesh.normals[i];
    for (uint32_t i = piece.firstVertex; i < mesh.positions.size(); ++i) {
        Vec3 nrm = Normalize(groups[key(i)]);
        if (Length(nrm) == 0) nrm = Normalize(mesh.positions[i] - loft.origin);
        mesh.normals[i] = nrm;
    }

    piece.vertexCount = uint32_t(mesh.positions.size()) - piece.firstVertex;
    piece.faceCount = uint32_t(mesh.faces.size()) - piece.firstFace;
    mesh.pieces.push_back(piece);
}

std::vector<Ring> EllipsoidRings(float halfLength, float a, float b, int rings) {
    std::vector<Ring> out;
    for (int i = 0; i <= rings; ++i) {
        float phi = kPi * float(i) / float(rings);
        float s = i == 0 || i == rings ? 0.0f : std::sin(phi);
        out.push_back({halfLength * (1 - std::cos(phi)), a * s, b * s});
    }
    return out;
}

std::vector<Ring> CapsuleRings(float length, float r0, float r1, int capRings, int bodyRings) {
    std::vector<Ring> out;
    for (int i = 0; i < capRings; ++i) {
        float phi = 0.5f * kPi * float(i) / float(capRings);
        float s = i == 0 ? 0.0f : std::sin(phi);
        out.push_back({-r0 * std::cos(phi), r0 * s, r0 * s});
    }
    for (int i = 0; i <= bodyRings; ++i) {
        float f = float(i) / float(bodyRings);
        float r = r0 + (r1 - r0) * f;
        out.push_back({length * f, r, r});
    }
    for (int i = 1; i <= capRings; ++i) {
        float phi = 0.5f * kPi * float(i) / float(capRings);
        float c = i == capRings ? 0.0f : std::cos(phi);
        out.push_back({length + r1 * std::sin(phi), r1 * c, r1 * c});
    }
    return out;
}

float ProfileLength(const std::vector<Ring>& rings) {
    float len = 0;
    for (size_t i = 1; i < rings.size(); ++i) {
        float dt = rings[i].t - rings[i - 1].t;
        float dr = 0.5f * ((rings[i].a + rings[i].b) - (rings[i - 1].a + rings[i - 1].b));
        len += std::sqrt(dt * dt + dr * dr);
    }
    return len;
}

float MeanCircumference(const std::vector<Ring>& rings) {
    float best = 0;
    for (const Ring& r : rings) best = std::max(best, kPi * (r.a + r.b));
    return best;
}

bool PackAtlas(const std::vector<std::pair<int, int>>& sizes, int atlasSize, int padding,
               std::vector<UvRect>* rects) {
    // Shelf packing, tallest first.
    std::vector<size_t> order(sizes.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t x, size_t y) { return sizes[x].second > sizes[y].second; });
    rects->assign(sizes.size(), UvRect{});
    int x = 0, y = 0, shelf = 0;
    for (size_t idx : order) {
        int w = sizes[idx].first + 2 * padding, h = sizes[idx].second + 2 * padding;
        if (w > atlasSize) return false;
        if (x + w > atlasSize) {
            x = 0;
            y += shelf;
            shelf = 0;
        }
        if (y + h > atlasSize) return false;
        float s = float(atlasSize);
        (*rects)[idx] = {float(x + padding) / s, float(y + padding) / s, float(x + w - padding) / s,
                         float(y + h - padding) / s};
        x += w;
        shelf = std::max(shelf, h);
    }
    return true;
}

}  // namespace datagen
