// Closed convex pieces made by lofting a ring profile along a straight axis,
// with their skin weights and their place in a texture atlas.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/datagen/model.h"

namespace datagen {

// One cross-section: at distance t along the axis, half-extents a (along side)
// and b (along the third axis), centred c1, c2 away from the axis. a = b = 0
// closes the piece in a point.
struct Ring {
    float t = 0, a = 0, b = 0;
    float c1 = 0, c2 = 0;
};

// A bone's stretch of the axis; vertices blend between neighbouring stretches.
struct BoneSpan {
    int bone = -1;
    float t0 = -1e9f, t1 = 1e9f;
};

struct UvRect {
    float u0 = 0, v0 = 0, u1 = 1, v1 = 1;
};

struct Loft {
    std::string name;
    Vec3 origin;
    Vec3 axis{0, 1, 0};  // unit
    Vec3 side{1, 0, 0};  // unit, perpendicular to axis
    std::vector<Ring> rings;
    int segments = 12;      // around the axis; a multiple of 4 keeps the extremes exact
    float exponent = 2.0f;  // cross-section superellipse: 1 diamond, 2 ellipse, large box
    uint32_t material = 0;
    UvRect uv;
    std::vector<BoneSpan> spans;
    float blend = 0.05f;  // distance over which neighbouring bones blend
};

using Influences = std::vector<std::pair<int, float>>;  // (bone, weight)

// Appends the piece to mesh (a Piece is recorded) and one influence list per
// new vertex to weights. Front faces wind clockwise seen from outside.
void AddLoft(Mesh& mesh, std::vector<Influences>& weights, const Loft& loft);

// Ring profiles.
std::vector<Ring> EllipsoidRings(float halfLength, float a, float b, int rings);
std::vector<Ring> CapsuleRings(float length, float r0, float r1, int capRings, int bodyRings);
// Outline length of a profile and its mean circumference, for atlas sizing.
float ProfileLength(const std::vector<Ring>& rings);
float MeanCircumference(const std::vector<Ring>& rings);

// A weight list limited to the four strongest bones, summing to 1.
Influences LimitInfluences(Influences in, size_t maxBones = 4);

// Packs rectangles of the given texel sizes into a square atlas; false when
// they do not fit.
bool PackAtlas(const std::vector<std::pair<int, int>>& sizes, int atlasSize, int padding,
               std::vector<UvRect>* rects);

}  // namespace datagen
