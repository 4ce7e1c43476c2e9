// The ninja: a skeleton, a body of closed convex pieces skinned to it, a painted
// texture atlas and the five animation sets the program plays.
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "tools/datagen/datagen.h"
#include "tools/datagen/shapes.h"

namespace datagen {

namespace {

enum Bone {
    Root,
    Hips,
    Spine,
    Chest,
    Neck,
    Head,
    HeadbandTail,
    UpperArm_L,
    LowerArm_L,
    Hand_L,
    UpperArm_R,
    LowerArm_R,
    Hand_R,
    Sword,
    UpperLeg_L,
    LowerLeg_L,
    Foot_L,
    UpperLeg_R,
    LowerLeg_R,
    Foot_R,
    BoneCount
};

const char* const kBoneNames[BoneCount] = {
    "Root",       "Hips",       "Spine",  "Chest",      "Neck",       "Head",   "HeadbandTail",
    "UpperArm_L", "LowerArm_L", "Hand_L", "UpperArm_R", "LowerArm_R", "Hand_R", "Sword",
    "UpperLeg_L", "LowerLeg_L", "Foot_L", "UpperLeg_R", "LowerLeg_R", "Foot_R"};

const int kParents[BoneCount] = {-1,    Root,  Hips,       Spine,      Chest,     Neck,       Head,
                                 Chest, UpperArm_L, LowerArm_L, Chest, UpperArm_R, LowerArm_R, Hand_R,
                                 Hips,  UpperLeg_L, LowerLeg_L, Hips,  UpperLeg_R, LowerLeg_R};

// The character's right side is -x: it faces -z.
const Vec3 kJoints[BoneCount] = {
    {0, 0, 0},                  // Root
    {0, 0.95f, 0},              // Hips
    {0, 1.07f, 0},              // Spine
    {0, 1.24f, 0},              // Chest
    {0, 1.45f, 0},              // Neck
    {0, 1.53f, 0},              // Head
    {0, 1.675f, 0.105f},        // HeadbandTail
    {0.185f, 1.415f, 0.005f},   // UpperArm_L
    {0.225f, 1.135f, 0.015f},   // LowerArm_L
    {0.245f, 0.885f, 0.0f},     // Hand_L
    {-0.185f, 1.415f, 0.005f},  // UpperArm_R
    {-0.225f, 1.135f, 0.015f},  // LowerArm_R
    {-0.245f, 0.905f, -0.085f}, // Hand_R: the sword arm is bent forward
    {-0.249f, 0.864f, -0.104f}, // Sword: the grip in the right fist
    {0.095f, 0.91f, 0},         // UpperLeg_L
    {0.105f, 0.49f, 0.005f},    // LowerLeg_L
    {0.11f, 0.085f, 0.015f},    // Foot_L
    {-0.095f, 0.91f, 0},        // UpperLeg_R
    {-0.105f, 0.49f, 0.005f},   // LowerLeg_R
    {-0.11f, 0.085f, 0.015f},   // Foot_R
};

// The figure is modelled 1.74 tall and stored smaller: the follow camera, 2
// up and 2 behind, sees only up to about 1.3 above the feet.
const float kScale = 0.68f;

Vec3 BindOffset(int bone) { return (kJoints[bone] - kJoints[kParents[bone]]) * kScale; }

const Vec3 kSwordAxis = Normalize({-0.65f, -0.85f, -0.9f});  // low guard: forward, down and out
const float kBladeLength = 0.52f;

Vec3 AnySide(Vec3 axis) {
    Vec3 ref = std::fabs(axis.z) < 0.9f ? Vec3{0, 0, 1} : Vec3{1, 0, 0};
    return Normalize(Cross(axis, ref));
}

// --- Painting -----------------------------------------------------------

struct PaintPoint {
    Vec3 p, n;
    float t = 0, theta = 0;  // along and around the piece's axis
};

using Painter = std::function<Rgb(const PaintPoint&)>;

const Rgb kCloth{0.23f, 0.23f, 0.285f};
const Rgb kClothLight{0.27f, 0.27f, 0.33f};
const Rgb kWrap{0.42f, 0.42f, 0.46f};
const Rgb kRed{0.82f, 0.10f, 0.08f};
const Rgb kSkin{0.86f, 0.67f, 0.52f};

float Grain(Vec3 p, float scale, uint32_t seed) {
    return ValueNoise(p.x * scale + p.z * scale * 0.7f, p.y * scale, 1 << 20, seed);
}

// Light baked into the texture: the program draws with ambient light only.
float Shade(Vec3 n) {
    const Vec3 key = Normalize({0.3f, 0.9f, 0.35f});
    const Vec3 fill = Normalize({-0.5f, 0.2f, -0.8f});
    return 0.5f + 0.62f * std::max(0.0f, Dot(n, key)) + 0.15f * std::max(0.0f, Dot(n, fill));
}

Rgb Cloth(const PaintPoint& q, Rgb base) {
    float g = Grain(q.p, 60, 3);
    return base * (0.9f + 0.2f * g);
}

Rgb PaintTorso(const PaintPoint& q) {
    const Vec3& p = q.p;
    if (p.y > 0.975f && p.y < 1.045f) {  // sash
        Rgb c{0.40f, 0.38f, 0.43f};
        if (std::fabs(p.y - 1.01f) < 0.006f) c = c * 0.7f;
        return c * (0.92f + 0.15f * Grain(p, 120, 8));
    }
    // Crossed lapels of the jacket, front only.
    if (q.n.z < -0.2f && p.y > 1.25f && p.y < 1.46f) {
        float lapel = std::fabs(std::fabs(p.x) - (p.y - 1.254f) * 0.35f);
        if (lapel < 0.012f) return kClothLight * 1.15f;
    }
    return Cloth(q, kCloth);
}

Rgb PaintHead(const PaintPoint& q) {
    const Vec3& p = q.p;
    if (p.y > 1.662f && p.y < 1.700f) {  // headband with its front plate
        if (p.z < -0.06f && std::fabs(p.x) < 0.042f) {
            Rgb metal{0.64f, 0.66f, 0.70f};
            float ring = std::hypot(p.x, (p.y - 1.681f) * 1.6f);
            if (std::fabs(ring - 0.012f) < 0.0025f) metal = metal * 0.55f;
            return metal;
        }
        return kRed * (0.9f + 0.15f * Grain(p, 150, 4));
    }
    if (q.n.z < -0.35f && p.y > 1.600f && p.y < 1.652f && std::fabs(p.x) < 0.072f) {  // eye slit
        float ex = std::fabs(p.x) - 0.034f, ey = p.y - 1.628f;
        if ((ex / 0.018f) * (ex / 0.018f) + (ey / 0.0085f) * (ey / 0.0085f) < 1) {
            float px = std::fabs(p.x) - 0.031f;
            if ((px / 0.0075f) * (px / 0.0075f) + (ey / 0.0078f) * (ey / 0.0078f) < 1) return {0.08f, 0.05f, 0.04f};
            return {0.92f, 0.92f, 0.90f};
        }
        return kSkin;
    }
    return Cloth(q, kCloth);
}

Rgb PaintForearm(const PaintPoint& q, Vec3 wrist) {
    if (Length(q.p - wrist) < 0.13f) {  // wrist wraps, criss-crossed
        float a = std::fmod(q.t * 90.0f + q.theta * 1.2f + 100.0f, 1.0f);
        float b = std::fmod(q.t * 90.0f - q.theta * 1.2f + 100.0f, 1.0f);
        Rgb c = kWrap * (0.9f + 0.15f * Grain(q.p, 100, 5));
        if (a < 0.12f || b < 0.12f) c = c * 0.6f;
        return c;
    }
    return Cloth(q, kCloth);
}

Rgb PaintShin(const PaintPoint& q, Vec3 ankle) {
    if (Length(q.p - ankle) < 0.30f && Length(q.p - ankle) > 0.02f) {  // shin wraps with ties
        Rgb c = Mix(kCloth, kWrap, 0.55f) * (0.9f + 0.15f * Grain(q.p, 100, 6));
        float band = std::fmod(q.t * 28.0f + 100.0f, 1.0f);
        if (band < 0.10f) c = c * 0.55f;
        return c;
    }
    return Cloth(q, kClothLight);
}

Rgb PaintFoot(const PaintPoint& q) {
    if (q.n.y < -0.7f) return {0.10f, 0.10f, 0.10f};  // sole
    Rgb c{0.26f, 0.26f, 0.29f};
    if (q.t > 0.17f && std::fabs(q.theta + 0.5f * kPi) < 0.25f) c = c * 0.6f;  // split toe
    return c * (0.92f + 0.12f * Grain(q.p, 90, 7));
}

Rgb PaintHandle(const PaintPoint& q) {
    // Silk wrap in diamonds over dark ray skin.
    float a = std::fmod(q.t * 60.0f + q.theta / kPi + 100.0f, 1.0f);
    float b = std::fmod(q.t * 60.0f - q.theta / kPi + 100.0f, 1.0f);
    if (std::min(a, b) < 0.22f) return {0.10f, 0.09f, 0.12f};
    return {0.72f, 0.66f, 0.52f};
}

Rgb PaintBlade(const PaintPoint& q, Vec3 width) {
    float w = Dot(q.p - kJoints[Sword], width);  // the edge is on the side away from the hand
    Rgb steel{0.76f, 0.78f, 0.84f};
    if (w < -0.004f) steel = {0.93f, 0.94f, 0.97f};
    if (std::fabs(w + 0.004f) < 0.0015f) steel = steel * 0.8f;  // temper line
    return steel;
}

// --- Building -------------------------------------------------------------

struct PieceBuild {
    Loft loft;
    Painter paint;
};

Loft Capsule(const std::string& name, Vec3 from, Vec3 to, float r0, float r1, int segments,
                 std::vector<BoneSpan> spans, float blend) {
    Loft s;
    s.name = name;
    s.origin = from;
    s.axis = Normalize(to - from);
    s.side = AnySide(s.axis);
    float len = Length(to - from);
    s.rings = CapsuleRings(len, r0, r1, 4, std::max(2, int(len / 0.08f)));
    s.segments = segments;
    s.spans = std::move(spans);
    s.blend = blend;
    return s;
}

// Rings of a piece along an axis with flat, hard-edged ends.
std::vector<Ring> FlatEnded(std::vector<Ring> body) {
    std::vector<Ring> r;
    Ring first = body.front(), last = body.back();
    r.push_back({first.t, 0, 0, first.c1, first.c2});
    r.push_back(first);
    for (const Ring& b : body) r.push_back(b);
    r.push_back(last);
    r.push_back({last.t, 0, 0, last.c1, last.c2});
    return r;
}

std::vector<PieceBuild> Pieces() {
    std::vector<PieceBuild> out;
    const float inf = 1e9f;
    auto add = [&](Loft s, Painter p) { out.push_back({std::move(s), std::move(p)}); };
    auto cloth = [](Rgb base) { return [base](const PaintPoint& q) { return Cloth(q, base); }; };

    {  // Pelvis
        Loft s;
        s.name = "Pelvis";
        s.origin = {0, 0.80f, 0.005f};
        s.rings = EllipsoidRings(0.13f, 0.165f, 0.115f, 8);
        s.segments = 16;
        s.spans = {{Hips}};
        add(s, PaintTorso);
    }
    {  // Torso, from the belly to the base of the neck
        Loft s;
        s.name = "Torso";
        s.origin = {0, 0.97f, 0};
        s.rings = {{0.00f, 0, 0},         {0.01f, 0.12f, 0.085f},  {0.04f, 0.145f, 0.10f},
                   {0.10f, 0.152f, 0.104f}, {0.20f, 0.168f, 0.112f}, {0.30f, 0.182f, 0.118f},
                   {0.38f, 0.190f, 0.118f}, {0.44f, 0.185f, 0.110f}, {0.48f, 0.150f, 0.090f},
                   {0.51f, 0.080f, 0.060f}, {0.52f, 0, 0}};
        s.segments = 16;
        s.spans = {{Hips, -inf, 0.08f}, {Spine, 0.08f, 0.25f}, {Chest, 0.25f, 0.48f}, {Neck, 0.48f, inf}};
        s.blend = 0.07f;
        add(s, PaintTorso);
    }
    add(Capsule("Neck", {0, 1.43f, 0}, {0, 1.55f, 0}, 0.05f, 0.047f, 12,
                {{Chest, -inf, 0.02f}, {Neck, 0.02f, 0.10f}, {Head, 0.10f, inf}}, 0.03f),
        cloth(kCloth));
    {  // Head under the hood
        Loft s;
        s.name = "Head";
        s.origin = {0, 1.51f, -0.005f};
        s.rings = EllipsoidRings(0.112f, 0.094f, 0.104f, 12);
        s.segments = 16;
        s.spans = {{Neck, -inf, 0.02f}, {Head, 0.02f, inf}};
        s.blend = 0.03f;
        add(s, PaintHead);
    }
    {  // Knot of the headband
        Loft s;
        s.name = "Knot";
        s.origin = {0, 1.653f, 0.10f};
        s.rings = EllipsoidRings(0.022f, 0.03f, 0.022f, 6);
        s.segments = 12;
        s.spans = {{Head}};
        add(s, [](const PaintPoint& q) { return kRed * (0.85f + 0.2f * Grain(q.p, 200, 9)); });
    }
    for (int side : {1, -1}) {  // trailing tails of the headband
        Vec3 from{0.012f * float(side), 1.672f, 0.11f}, to{0.055f * float(side), 1.46f, 0.24f};
        Loft s;
        s.name = side > 0 ? "Tail_L" : "Tail_R";
        s.origin = from;
        s.axis = Normalize(to - from);
        Vec3 x{1, 0, 0};
        s.side = Normalize(x - s.axis * Dot(x, s.axis));
        float len = Length(to - from);
        s.rings = FlatEnded({{0, 0.016f, 0.003f}, {len * 0.5f, 0.015f, 0.003f}, {len - 0.012f, 0.012f, 0.0025f}});
        s.rings.pop_back();
        s.rings.pop_back();
        s.rings.push_back({len, 0, 0});  // notched end
        s.segments = 8;
        s.exponent = 4;
        s.spans = {{Head, -inf, 0}, {HeadbandTail, 0, inf}};
        s.blend = 0.03f;
        add(s, [](const PaintPoint& q) { return kRed * (0.8f + 0.2f * Grain(q.p, 200, 10)); });
    }
    for (int side : {0, 1}) {  // arms: left, right
        Bone upper = side == 0 ? UpperArm_L : UpperArm_R, lower = side == 0 ? LowerArm_L : LowerArm_R;
        Bone hand = side == 0 ? Hand_L : Hand_R;
        const char* sfx = side == 0 ? "_L" : "_R";
        Vec3 s = kJoints[upper], e = kJoints[lower], w = kJoints[hand];
        float lu = Length(e - s), lf = Length(w - e);
        add(Capsule(std::string("UpperArm") + sfx, s, e, 0.056f, 0.046f, 12,
                    {{Chest, -inf, 0}, {upper, 0, lu}, {lower, lu, inf}}, 0.05f),
            cloth(kCloth));
        add(Capsule(std::string("Forearm") + sfx, e, w, 0.046f, 0.036f, 12,
                    {{upper, -inf, 0}, {lower, 0, lf}, {hand, lf, inf}}, 0.045f),
            [w](const PaintPoint& q) { return PaintForearm(q, w); });
        Loft h;
        h.name = std::string("Hand") + sfx;
        h.origin = w;
        h.axis = Normalize(w - e);
        h.side = Normalize(Cross(h.axis, {1, 0, 0}));
        h.rings = {{0, 0, 0},          {0.008f, 0.026f, 0.020f}, {0.03f, 0.034f, 0.026f},
                   {0.07f, 0.036f, 0.028f}, {0.09f, 0.028f, 0.022f}, {0.098f, 0, 0}};
        h.segments = 8;
        h.exponent = 3;
        h.spans = {{lower, -inf, 0}, {hand, 0, inf}};
        h.blend = 0.015f;
        add(h, [](const PaintPoint& q) {
            Rgb c{0.15f, 0.14f, 0.14f};
            return c * (0.9f + 0.2f * Grain(q.p, 150, 11));
        });
    }
    for (int side : {0, 1}) {  // legs: left, right
        Bone upper = side == 0 ? UpperLeg_L : UpperLeg_R, lower = side == 0 ? LowerLeg_L : LowerLeg_R;
        Bone foot = side == 0 ? Foot_L : Foot_R;
        const char* sfx = side == 0 ? "_L" : "_R";
        Vec3 h = kJoints[upper], k = kJoints[lower], a = kJoints[foot];
        float lt = Length(k - h), ls = Length(a - k);
        add(Capsule(std::string("Thigh") + sfx, h, k, 0.088f, 0.062f, 12,
                    {{Hips, -inf, 0.02f}, {upper, 0.02f, lt}, {lower, lt, inf}}, 0.06f),
            cloth(kClothLight));
        add(Capsule(std::string("Shin") + sfx, k, a, 0.060f, 0.043f, 12,
                    {{upper, -inf, 0}, {lower, 0, ls - 0.01f}, {foot, ls - 0.01f, inf}}, 0.05f),
            [a](const PaintPoint& q) { return PaintShin(q, a); });
        Loft f;
        f.name = std::string("Foot") + sfx;
        f.origin = {a.x, 0, 0.065f};
        f.axis = {0, 0, -1};
        f.side = {1, 0, 0};  // third axis is -y: c2 = -b puts every sole point on y = 0
        f.rings = {{0, 0, 0, 0, -0.045f},          {0.012f, 0.03f, 0.034f, 0, -0.034f},
                   {0.04f, 0.042f, 0.045f, 0, -0.045f}, {0.12f, 0.046f, 0.036f, 0, -0.036f},
                   {0.19f, 0.044f, 0.026f, 0, -0.026f}, {0.215f, 0.03f, 0.018f, 0, -0.018f},
                   {0.225f, 0, 0, 0, -0.015f}};
        f.segments = 12;
        f.exponent = 3;
        f.spans = {{foot}};
        add(f, PaintFoot);
    }
    {  // the empty scabbard across the back, from the left shoulder to the right hip
        Vec3 from{0.15f, 1.43f, 0.145f}, to{-0.17f, 0.97f, 0.16f};
        Loft s;
        s.name = "Scabbard";
        s.origin = from;
        s.axis = Normalize(to - from);
        Vec3 z{0, 0, 1};
        s.side = Normalize(z - s.axis * Dot(z, s.axis));  // flat against the back
        float len = Length(to - from);
        s.rings = FlatEnded({{0, 0.011f, 0.022f}, {len - 0.03f, 0.011f, 0.020f}});
        s.rings.pop_back();
        s.rings.pop_back();
        s.rings.push_back({len, 0.006f, 0.012f});
        s.rings.push_back({len, 0, 0});
        s.segments = 12;
        s.exponent = 3;
        s.spans = {{Chest, -inf, len * 0.55f}, {Spine, len * 0.55f, inf}};
        s.blend = 0.12f;
        add(s, [](const PaintPoint& q) {
            Rgb lacquer{0.20f, 0.09f, 0.07f};
            if (q.t < 0.05f) lacquer = {0.70f, 0.56f, 0.25f};                       // mouth fitting
            else if (std::fabs(q.t - 0.11f) < 0.012f) lacquer = {0.55f, 0.10f, 0.08f};  // cord
            return lacquer * (0.9f + 0.15f * Grain(q.p, 200, 13));
        });
    }
    {  // the sword, held in the right fist
        const Vec3 grip = kJoints[Sword];
        Loft handle;
        handle.name = "SwordHandle";
        handle.origin = grip - kSwordAxis * 0.07f;
        handle.axis = kSwordAxis;
        handle.side = {1, 0, 0};
        handle.rings = FlatEnded({{0, 0.0135f, 0.0135f}, {0.145f, 0.0135f, 0.0135f}});
        handle.segments = 8;
        handle.material = 1;
        handle.spans = {{Sword}};
        add(handle, PaintHandle);

        Loft guard = handle;
        guard.name = "SwordGuard";
        guard.origin = grip + kSwordAxis * 0.075f;
        guard.rings = FlatEnded({{0, 0.040f, 0.034f}, {0.008f, 0.040f, 0.034f}});
        guard.segments = 16;
        add(guard, [](const PaintPoint& q) {
            Rgb brass{0.74f, 0.58f, 0.24f};
            return brass * (0.85f + 0.2f * Grain(q.p, 300, 12));
        });

        Loft blade = handle;
        blade.name = "SwordBlade";
        blade.origin = grip + kSwordAxis * 0.083f;
        blade.rings = {{0, 0, 0}, {0, 0.0045f, 0.015f}, {kBladeLength - 0.06f, 0.004f, 0.0135f}, {kBladeLength, 0, 0}};
        blade.segments = 4;
        blade.exponent = 1;  // a diamond section: two faces and two edges
        Vec3 width = Cross(blade.axis, blade.side);
        add(blade, [width](const PaintPoint& q) { return PaintBlade(q, width); });
    }
    return out;
}

void PaintAtlas(Image& img, const Mesh& mesh, const std::vector<PieceBuild>& pieces) {
    const int W = img.width, H = img.height;
    std::vector<uint8_t> painted(size_t(W) * size_t(H), 0);
    for (size_t pi = 0; pi < pieces.size(); ++pi) {
        const Piece& piece = mesh.pieces[pi];
        const Loft& loft = pieces[pi].loft;
        Vec3 e1 = loft.side, e2 = Cross(loft.axis, e1);
        for (uint32_t f = piece.firstFace; f < piece.firstFace + piece.faceCount; ++f) {
            const auto& tri = mesh.faces[f];
            Vec2 uv[3];
            for (int k = 0; k < 3; ++k) uv[k] = mesh.uvs[tri[size_t(k)]];
            float minX = std::min({uv[0].u, uv[1].u, uv[2].u}) * float(W);
            float maxX = std::max({uv[0].u, uv[1].u, uv[2].u}) * float(W);
            float minY = std::min({uv[0].v, uv[1].v, uv[2].v}) * float(H);
            float maxY = std::max({uv[0].v, uv[1].v, uv[2].v}) * float(H);
            float area = (uv[1].u - uv[0].u) * (uv[2].v - uv[0].v) - (uv[2].u - uv[0].u) * (uv[1].v - uv[0].v);
            if (std::fabs(area) < 1e-12f) continue;
            for (int y = std::max(0, int(minY)); y <= std::min(H - 1, int(maxY)); ++y)
                for (int x = std::max(0, int(minX)); x <= std::min(W - 1, int(maxX)); ++x) {
                    float u = (float(x) + 0.5f) / float(W), v = (float(y) + 0.5f) / float(H);
                    float b1 = ((u - uv[0].u) * (uv[2].v - uv[0].v) - (uv[2].u - uv[0].u) * (v - uv[0].v)) / area;
                    float b2 = ((uv[1].u - uv[0].u) * (v - uv[0].v) - (u - uv[0].u) * (uv[1].v - uv[0].v)) / area;
                    float b0 = 1 - b1 - b2;
                    if (b0 < -1e-4f || b1 < -1e-4f || b2 < -1e-4f) continue;
                    PaintPoint q;
                    q.p = mesh.positions[tri[0]] * b0 + mesh.positions[tri[1]] * b1 + mesh.positions[tri[2]] * b2;
                    q.n = Normalize(mesh.normals[tri[0]] * b0 + mesh.normals[tri[1]] * b1 + mesh.normals[tri[2]] * b2);
                    Vec3 r = q.p - loft.origin;
                    q.t = Dot(r, loft.axis);
                    q.theta = std::atan2(Dot(r, e2), Dot(r, e1));
                    img.Set(x, y, pieces[pi].paint(q) * Shade(q.n));
                    painted[size_t(y) * size_t(W) + size_t(x)] = 1;
                }
        }
    }
    // Grow each region into its padding so filtering never mixes in a neighbour.
    for (int pass = 0; pass < 6; ++pass) {
        std::vector<uint8_t> next = painted;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                if (painted[size_t(y) * size_t(W) + size_t(x)]) continue;
                int sum[3] = {0, 0, 0}, count = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        int nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= W || ny >= H || !painted[size_t(ny) * size_t(W) + size_t(nx)])
                            continue;
                        const uint8_t* c = img.At(nx, ny);
                        for (int k = 0; k < 3; ++k) sum[k] += c[k];
                        ++count;
                    }
                if (!count) continue;
                uint8_t* c = &img.rgb[(size_t(y) * size_t(W) + size_t(x)) * 3];
                for (int k = 0; k < 3; ++k) c[k] = uint8_t(sum[k] / count);
                next[size_t(y) * size_t(W) + size_t(x)] = 1;
            }
        painted.swap(next);
    }
}

// --- Animation --------------------------------------------------------------

struct BonePose {
    Vec3 rot{0, 0, 0};  // degrees, about x then y then z
    Vec3 move{0, 0, 0};
    Vec3 scale{1, 1, 1};
};
using Pose = std::map<int, BonePose>;

struct Keyed {
    uint32_t time;
    Pose pose;
};

Mat4 LocalOf(const BonePose& b, int bone) {
    Vec3 r{Rad(b.rot.x), Rad(b.rot.y), Rad(b.rot.z)};
    return Scaling(b.scale) * RotationXYZ(r) * Translation(BindOffset(bone) + b.move);
}

// Lifts or lowers the hips so the lowest point of either foot touches y = 0.
void Ground(const Scene& scene, Pose& pose) {
    std::vector<Mat4> locals;
    for (const Frame& f : scene.frames) locals.push_back(f.local);
    for (auto& [bone, b] : pose) locals[size_t(bone)] = LocalOf(b, bone);
    std::vector<Mat4> combined = CombineLocals(scene.frames, locals);
    float lowest = 1e9f;
    for (const Piece& piece : scene.mesh.pieces) {
        if (piece.name != "Foot_L" && piece.name != "Foot_R") continue;
        int bone = piece.name == "Foot_L" ? Foot_L : Foot_R;
        Mat4 m = scene.bones[size_t(bone - 1)].offset * combined[size_t(bone)];
        for (uint32_t v = piece.firstVertex; v < piece.firstVertex + piece.vertexCount; ++v)
            lowest = std::min(lowest, TransformCoord(scene.mesh.positions[v], m).y);
    }
    pose[Hips].move.y -= lowest;
}

// Scale keys go to the bones in withScale, matrix keys replace the other kinds
// for the bones in asMatrix; every other bone gets rotation and position keys.
AnimationSet MakeSet(const Scene& scene, const std::string& name, std::vector<Keyed> keyed,
                     const std::set<int>& withScale = {}, const std::set<int>& asMatrix = {}) {
    std::set<int> bones{Hips};
    for (const Keyed& k : keyed)
        for (const auto& entry : k.pose) bones.insert(entry.first);
    for (Keyed& k : keyed) {
        for (int b : bones) k.pose[b];  // a bone absent from a pose stays at rest
        Ground(scene, k.pose);
    }
    AnimationSet set;
    set.name = name;
    for (int bone : bones) {
        Animation anim;
        anim.frame = kBoneNames[bone];
        if (asMatrix.count(bone)) {
            KeyArray mk{kMatrixKeys, {}};
            for (const Keyed& k : keyed) {
                Mat4 m = LocalOf(k.pose.at(bone), bone);
                TimedKey key{k.time, {}};
                for (int i = 0; i < 16; ++i) key.values.push_back(m.m[i / 4][i % 4]);
                mk.keys.push_back(key);
            }
            anim.keys.push_back(mk);
        } else {
            KeyArray rk{kRotationKeys, {}}, sk{kScaleKeys, {}}, pk{kPositionKeys, {}};
            Quat prev;
            for (const Keyed& k : keyed) {
                const BonePose& b = k.pose.at(bone);
                Quat q = QuaternionFromMatrix(RotationXYZ({Rad(b.rot.x), Rad(b.rot.y), Rad(b.rot.z)}));
                if (q.x * prev.x + q.y * prev.y + q.z * prev.z + q.w * prev.w < 0) q = {-q.x, -q.y, -q.z, -q.w};
                prev = q;
                rk.keys.push_back({k.time, {q.w, q.x, q.y, q.z}});
                sk.keys.push_back({k.time, {b.scale.x, b.scale.y, b.scale.z}});
                Vec3 t = BindOffset(bone) + b.move;
                pk.keys.push_back({k.time, {t.x, t.y, t.z}});
            }
            if (withScale.count(bone)) anim.keys.push_back(sk);
            anim.keys.push_back(rk);
            anim.keys.push_back(pk);
        }
        set.animations.push_back(anim);
    }
    return set;
}

// Samples a cycle at n evenly spaced keys; the last key repeats the first so
// the loop closes.
std::vector<Keyed> Cycle(uint32_t length, int n, const std::function<Pose(float)>& at) {
    std::vector<Keyed> keys;
    for (int i = 0; i <= n; ++i) {
        uint32_t t = uint32_t(std::lround(double(length) * i / n));
        keys.push_back({t, at(i == n ? 0.0f : float(i) / float(n))});
    }
    return keys;
}

BonePose R(float x, float y = 0, float z = 0) {
    BonePose b;
    b.rot = {x, y, z};
    return b;
}

// Walk: 1.2 s a cycle (played at elapsed ms x 2).
AnimationSet Walk(const Scene& scene) {
    return MakeSet(scene, "camminata", Cycle(2399, 12, [](float p) {
        const float w = 2 * kPi * p;
        auto leg = [](float ph) {
            float hip = 24 * std::sin(ph);
            float knee = -(6 + 48 * std::pow(std::max(0.0f, std::cos(ph - 0.35f)), 2.0f));
            return std::make_pair(hip, knee);
        };
        auto [hipL, kneeL] = leg(w);
        auto [hipR, kneeR] = leg(w + kPi);
        Pose pose;
        pose[UpperLeg_L] = R(hipL);
        pose[LowerLeg_L] = R(kneeL);
        pose[Foot_L] = R(-0.6f * (hipL + kneeL) - 4);
        pose[UpperLeg_R] = R(hipR);
        pose[LowerLeg_R] = R(kneeR);
        pose[Foot_R] = R(-0.6f * (hipR + kneeR) - 4);
        pose[Hips] = R(0, 6 * std::sin(w), 2 * std::sin(w));
        pose[Spine] = R(-4, 0, 0);
        pose[Chest] = R(0, -9 * std::sin(w), 0);
        pose[Head] = R(4, 3 * std::sin(w), 0);
        pose[UpperArm_L] = R(-22 * std::sin(w), 0, 6);
        pose[LowerArm_L] = R(14 + 12 * std::max(0.0f, -std::sin(w)));
        pose[UpperArm_R] = R(10 * std::sin(w), 0, -6);
        pose[LowerArm_R] = R(6);
        pose[HeadbandTail] = R(-18 - 8 * std::sin(2 * w));
        return pose;
    }));
}

// Idle: breathing over 2.5 s; the chest breathes by scale keys and the tails
// sway by matrix keys, so every key kind appears in the file.
AnimationSet Idle(const Scene& scene) {
    return MakeSet(scene, "idleTot",
                   Cycle(4999, 10,
                         [](float p) {
                             const float w = 2 * kPi * p;
                             const float b = 0.5f * (1 - std::cos(w));
                             Pose pose;
                             pose[Chest] = R(-2.5f * b);
                             pose[Chest].scale = {1 + 0.025f * b, 1 + 0.012f * b, 1 + 0.035f * b};
                             pose[Neck] = R(1.5f * b);
                             pose[Head] = R(1.5f * b, 2 * std::sin(w), 0);
                             pose[UpperArm_L] = R(0, 0, 3 * b);
                             pose[UpperArm_R] = R(0, 0, -3 * b);
                             pose[LowerArm_R] = R(-4 * b);
                             pose[HeadbandTail] = R(-10 * std::sin(w), 0, 6 * std::sin(w));
                             return pose;
                         }),
                   {Chest}, {HeadbandTail});
}

Pose FightStance() {
    Pose p;
    p[UpperLeg_L] = R(22, 0, 4);
    p[LowerLeg_L] = R(-26);
    p[Foot_L] = R(4);
    p[UpperLeg_R] = R(-8, 0, -6);
    p[LowerLeg_R] = R(-20);
    p[Foot_R] = R(16);
    p[Hips] = R(0, -8, 0);
    p[Spine] = R(-6);
    p[Head] = R(6, 8, 0);
    return p;
}

// Punch with the free left fist: 0.6 s (played at elapsed ms x 3).
AnimationSet Punch(const Scene& scene) {
    Pose guard = FightStance();
    guard[Chest] = R(0, -10, 0);
    guard[UpperArm_L] = R(55, 0, 12);
    guard[LowerArm_L] = R(105);
    guard[Hand_L] = R(-10);
    guard[UpperArm_R] = R(-12, 0, -14);
    guard[LowerArm_R] = R(20);
    Pose hit = FightStance();
    hit[Hips] = R(0, 10, 0);
    hit[Chest] = R(0, 22, 0);
    hit[UpperArm_L] = R(84, -18, 4);
    hit[LowerArm_L] = R(6);
    hit[Hand_L] = R(0);
    hit[UpperArm_R] = R(-20, 0, -18);
    hit[LowerArm_R] = R(34);
    hit[Head] = R(6, -10, 0);
    return MakeSet(scene, "pugno",
                   {{0, guard}, {450, guard}, {700, hit}, {950, hit}, {1350, guard}, {1799, guard}});
}

// Front kick with the right leg: 0.9 s (played at elapsed ms x 2).
AnimationSet Kick(const Scene& scene) {
    Pose stance = FightStance();
    stance[UpperArm_L] = R(45, 0, 10);
    stance[LowerArm_L] = R(95);
    stance[UpperArm_R] = R(18, 0, -22);
    stance[LowerArm_R] = R(40);
    Pose chamber = stance;
    chamber[UpperLeg_R] = R(88, 0, -4);
    chamber[LowerLeg_R] = R(-112);
    chamber[Foot_R] = R(30);
    chamber[UpperLeg_L] = R(4, 0, 4);
    chamber[LowerLeg_L] = R(-14);
    chamber[Foot_L] = R(8);
    chamber[Spine] = R(8);
    Pose kick = chamber;
    kick[UpperLeg_R] = R(92, 0, -4);
    kick[LowerLeg_R] = R(-4);
    kick[Foot_R] = R(-30);
    kick[Spine] = R(16);
    kick[Head] = R(-4, 8, 0);
    kick[UpperArm_L] = R(30, 0, 25);
    kick[UpperArm_R] = R(5, 0, -35);
    return MakeSet(scene, "calcio",
                   {{0, stance}, {350, chamber}, {650, kick}, {950, kick}, {1250, chamber}, {1550, stance}, {1799, stance}});
}

// Sword swing: wind up over the right shoulder, slash down across: 0.9 s
// (played at elapsed ms x 3).
AnimationSet SwordSwing(const Scene& scene) {
    Pose ready = FightStance();
    ready[UpperArm_R] = R(28, 0, -8);
    ready[LowerArm_R] = R(30);
    ready[UpperArm_L] = R(20, 0, 10);
    ready[LowerArm_L] = R(40);
    Pose raised = ready;
    raised[Chest] = R(4, 28, 0);
    raised[UpperArm_R] = R(150, 0, -25);
    raised[LowerArm_R] = R(40);
    raised[Hand_R] = R(-10);  // blade up and back over the shoulder
    raised[Head] = R(0, -10, 0);
    Pose slash = ready;
    slash[Spine] = R(-16);
    slash[Chest] = R(0, -30, 0);
    slash[UpperArm_R] = R(45, 0, 30);
    slash[LowerArm_R] = R(8);
    slash[Hand_R] = R(-20);
    slash[UpperArm_L] = R(-10, 0, 25);
    Pose follow = slash;
    follow[UpperArm_R] = R(20, 0, 38);
    follow[Chest] = R(0, -36, 0);
    return MakeSet(scene, "spada",
                   {{0, ready}, {500, raised}, {950, raised}, {1250, slash}, {1550, follow}, {2150, ready}, {2699, ready}});
}

}  // namespace

GeneratedScene BuildCharacter() {
    GeneratedScene out;
    Scene& scene = out.scene;

    for (int b = 0; b < BoneCount; ++b) {
        Frame f;
        f.name = kBoneNames[b];
        f.parent = kParents[b];
        f.local = b == Root ? Mat4::Identity() : Translation(BindOffset(b));
        scene.frames.push_back(f);
    }
    scene.meshFrame = Root;

    Mesh& mesh = scene.mesh;
    mesh.name = "NinjaBody";
    Material cloth;
    cloth.name = "NinjaCloth";
    cloth.power = 8;
    cloth.specular = {0.1f, 0.1f, 0.1f};
    cloth.texture = "ninja.bmp";
    Material steel = cloth;
    steel.name = "NinjaSteel";
    steel.power = 40;
    steel.specular = {0.8f, 0.8f, 0.8f};
    steel.emissive = {0.12f, 0.12f, 0.12f};
    mesh.materials = {cloth, steel};

    std::vector<PieceBuild> pieces = Pieces();

    // Texels per unit chosen so the pieces fill most of the atlas.
    const int atlasSize = 512, padding = 3;
    float area = 0;
    for (const PieceBuild& p : pieces) area += MeanCircumference(p.loft.rings) * ProfileLength(p.loft.rings);
    float density = std::sqrt(0.75f * float(atlasSize * atlasSize) / area);
    std::vector<UvRect> rects;
    for (;;) {
        std::vector<std::pair<int, int>> sizes;
        for (const PieceBuild& p : pieces)
            sizes.push_back({std::max(8, int(MeanCircumference(p.loft.rings) * density)),
                             std::max(8, int(ProfileLength(p.loft.rings) * density))});
        if (PackAtlas(sizes, atlasSize, padding, &rects)) break;
        density *= 0.95f;
    }

    std::vector<Influences> influences;
    for (size_t i = 0; i < pieces.size(); ++i) {
        pieces[i].loft.uv = rects[i];
        AddLoft(mesh, influences, pieces[i].loft);
    }

    Texture tex;
    tex.fileName = "ninja.bmp";
    tex.image = Image(atlasSize, atlasSize);
    for (int y = 0; y < atlasSize; ++y)
        for (int x = 0; x < atlasSize; ++x) tex.image.Set(x, y, kCloth * 0.7f);
    PaintAtlas(tex.image, mesh, pieces);  // painted at modelling size
    out.textures.push_back(std::move(tex));
    for (Vec3& p : mesh.positions) p = p * kScale;

    std::vector<Mat4> combined = CombinedMatrices(scene.frames);
    for (int b = 1; b < BoneCount; ++b) {
        BoneWeights bw;
        bw.frame = kBoneNames[b];
        Inverse(combined[size_t(b)], &bw.offset);
        scene.bones.push_back(bw);
    }
    for (uint32_t v = 0; v < influences.size(); ++v)
        for (auto& [bone, w] : influences[v]) {
            scene.bones[size_t(bone - 1)].vertices.push_back(v);
            scene.bones[size_t(bone - 1)].weights.push_back(w);
        }

    scene.sets.push_back(Walk(scene));
    scene.sets.push_back(Punch(scene));
    scene.sets.push_back(Kick(scene));
    scene.sets.push_back(SwordSwing(scene));
    scene.sets.push_back(Idle(scene));
    return out;
}

}  // namespace datagen
