// The generated character, level and bitmaps, checked against what the program
// needs of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>
#include <tuple>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "tools/datagen/datagen.h"
#include "tools/datagen/shapes.h"

using namespace datagen;

namespace {

const GeneratedScene& Ninja() {
    static const GeneratedScene* g = new GeneratedScene(BuildCharacter());
    return *g;
}

const GeneratedScene& Arena() {
    static const GeneratedScene* g = new GeneratedScene(BuildLevel());
    return *g;
}

Vec3 FaceNormal(const Mesh& m, uint32_t f) {
    const auto& t = m.faces[f];
    return Cross(m.positions[t[1]] - m.positions[t[0]], m.positions[t[2]] - m.positions[t[0]]);
}

Vec3 Centroid(const Mesh& m, const Piece& p) {
    Vec3 c{0, 0, 0};
    for (uint32_t v = p.firstVertex; v < p.firstVertex + p.vertexCount; ++v) c += m.positions[v];
    return c * (1.0f / float(p.vertexCount));
}

const Piece* FindPart(const Mesh& m, const std::string& name) {
    for (const Piece& p : m.pieces)
        if (p.name == name) return &p;
    return nullptr;
}

// Directed edges keyed by position; a closed, consistently wound surface has
// every edge matched by its reverse exactly once.
std::string OpenEdges(const Mesh& m, const Piece& p) {
    using Key = std::tuple<long, long, long>;
    auto key = [&](uint32_t v) {
        const Vec3& q = m.positions[v];
        return Key{std::lround(q.x * 1e4f), std::lround(q.y * 1e4f), std::lround(q.z * 1e4f)};
    };
    std::map<std::pair<Key, Key>, int> edges;
    for (uint32_t f = p.firstFace; f < p.firstFace + p.faceCount; ++f)
        for (int k = 0; k < 3; ++k) {
            Key a = key(m.faces[f][size_t(k)]), b = key(m.faces[f][size_t((k + 1) % 3)]);
            if (a != b) ++edges[{a, b}];
        }
    for (const auto& [e, n] : edges) {
        auto back = edges.find({e.second, e.first});
        if (n != 1 || back == edges.end() || back->second != 1) return p.name + " has an unmatched edge";
    }
    return {};
}

bool IsLowerPlainName(const std::string& s) {
    if (s.empty() || s.find_first_of("/\\") != std::string::npos) return false;
    return std::none_of(s.begin(), s.end(), [](unsigned char c) { return std::isupper(c); });
}

Mat4 KeyMatrix(const KeyArray& k, size_t i) {
    Mat4 m;
    for (int j = 0; j < 16; ++j) m.m[j / 4][j % 4] = k.keys[i].values[size_t(j)];
    return m;
}

const AnimationSet& Set(const std::string& name) {
    for (const AnimationSet& s : Ninja().scene.sets)
        if (s.name == name) return s;
    ADD_FAILURE() << "no set " << name;
    return Ninja().scene.sets.front();
}

std::vector<Vec3> PosedAt(const AnimationSet& set, uint32_t t) {
    const Scene& s = Ninja().scene;
    return SkinPositions(s, CombineLocals(s.frames, SampleLocals(s, set, t)));
}

Vec3 PartCentre(const std::vector<Vec3>& pos, const std::string& piece) {
    const Piece* p = FindPart(Ninja().scene.mesh, piece);
    Vec3 c{0, 0, 0};
    for (uint32_t v = p->firstVertex; v < p->firstVertex + p->vertexCount; ++v) c += pos[v];
    return c * (1.0f / float(p->vertexCount));
}

float MinY(const std::vector<Vec3>& pos, const std::string& piece) {
    const Piece* p = FindPart(Ninja().scene.mesh, piece);
    float y = 1e9f;
    for (uint32_t v = p->firstVertex; v < p->firstVertex + p->vertexCount; ++v) y = std::min(y, pos[v].y);
    return y;
}

// Nearest hit of a ray with any triangle, both sides; -1 for none.
float Cast(const std::vector<Vec3>& pos, const Mesh& m, Vec3 o, Vec3 d) {
    float best = -1;
    for (const auto& t : m.faces) {
        Vec3 e1 = pos[t[1]] - pos[t[0]], e2 = pos[t[2]] - pos[t[0]];
        Vec3 p = Cross(d, e2);
        float det = Dot(e1, p);
        if (std::fabs(det) < 1e-9f) continue;
        Vec3 s = o - pos[t[0]];
        float u = Dot(s, p) / det;
        if (u < 0 || u > 1) continue;
        Vec3 q = Cross(s, e1);
        float v = Dot(d, q) / det;
        if (v < 0 || u + v > 1) continue;
        float dist = Dot(e2, q) / det;
        if (dist >= 0 && (best < 0 || dist < best)) best = dist;
    }
    return best;
}

std::vector<Vec3> LevelInWorld() {
    std::vector<Vec3> w;
    for (const Vec3& p : Arena().scene.mesh.positions) w.push_back(LevelToWorld(p));
    return w;
}

}  // namespace

// ---------------------------------------------------------------- maths

TEST(DatagenMath, QuaternionsReproduceTheirRotations) {
    // Includes half turns, where the matrix trace is negative.
    const Vec3 angles[] = {{0, 0, 0},     {90, 0, 0},   {0, 90, 0},    {0, 0, 90},      {180, 0, 0},
                           {0, 180, 0},   {0, 0, 180},  {170, 20, -40}, {-120, 75, 160}, {30, -150, 95}};
    for (const Vec3& a : angles) {
        Mat4 m = RotationXYZ({Rad(a.x), Rad(a.y), Rad(a.z)});
        Quat q = QuaternionFromMatrix(m);
        EXPECT_NEAR(QuatLength(q), 1.0f, 1e-6f);
        EXPECT_GE(q.w, 0.0f);
        EXPECT_LT(MaxAbsDifference(RotationQuaternion(q), m), 1e-5f) << a.x << " " << a.y << " " << a.z;
    }
    // The stored convention: (0, sin a/2, 0, cos a/2) turns like RotationY(a).
    float a = 0.7f;
    EXPECT_LT(MaxAbsDifference(RotationQuaternion({0, std::sin(a / 2), 0, std::cos(a / 2)}), RotationY(a)), 1e-6f);
}

TEST(DatagenMath, InverseUndoesAChainAndRefusesSingular) {
    Mat4 m = Scaling({2, 1, 0.5f}) * RotationXYZ({0.3f, -1.2f, 2.0f}) * Translation({1, -2, 3});
    Mat4 inv;
    ASSERT_TRUE(Inverse(m, &inv));
    EXPECT_LT(MaxAbsDifference(m * inv, Mat4::Identity()), 1e-5f);
    Mat4 flat = Scaling({1, 0, 1}), untouched = Translation({9, 9, 9});
    EXPECT_FALSE(Inverse(flat, &untouched));
    EXPECT_EQ(untouched.m[3][0], 9.0f);
}

TEST(DatagenShapes, InfluencesKeepTheStrongestFourAndSumToOne) {
    Influences w = LimitInfluences({{1, 0.5f}, {2, 0.1f}, {3, 0.3f}, {1, 0.2f}, {4, 0.05f}, {5, 0.2f}});
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0].first, 1);  // duplicates merged first: 0.7
    float sum = 0;
    for (auto& p : w) sum += p.second;
    EXPECT_FLOAT_EQ(sum, 1.0f);
    for (auto& p : w) EXPECT_NE(p.first, 4);
}

// ---------------------------------------------------------------- character

TEST(DatagenCharacter, SkeletonHasOneIdentityRootAndNamedBones) {
    const Scene& s = Ninja().scene;
    ASSERT_FALSE(s.frames.empty());
    EXPECT_EQ(s.frames[0].parent, -1);
    EXPECT_EQ(MaxAbsDifference(s.frames[0].local, Mat4::Identity()), 0.0f);
    std::set<std::string> names;
    for (size_t i = 0; i < s.frames.size(); ++i) {
        EXPECT_TRUE(names.insert(s.frames[i].name).second) << "duplicate frame " << s.frames[i].name;
        if (i > 0) {
            EXPECT_GE(s.frames[i].parent, 0);
            EXPECT_LT(s.frames[i].parent, int(i)) << "parents come first";
        }
    }
    EXPECT_GE(s.bones.size(), 15u);
    EXPECT_LE(s.bones.size(), 25u);
    EXPECT_EQ(names.count(s.mesh.name), 0u) << "a mesh named like a frame would shadow references";
    for (const BoneWeights& b : s.bones) {
        EXPECT_TRUE(names.count(b.frame)) << b.frame;
        EXPECT_NE(b.frame, s.frames[0].name) << "the root is never a bone";
        EXPECT_FALSE(b.vertices.empty()) << b.frame;
    }
}

TEST(DatagenCharacter, EveryVertexHasUpToFourWeightsSummingToOne) {
    const Scene& s = Ninja().scene;
    std::vector<float> sum(s.mesh.positions.size(), 0);
    std::vector<int> count(s.mesh.positions.size(), 0);
    for (const BoneWeights& b : s.bones) {
        ASSERT_EQ(b.vertices.size(), b.weights.size());
        for (size_t k = 0; k < b.vertices.size(); ++k) {
            ASSERT_LT(b.vertices[k], sum.size());
            EXPECT_GT(b.weights[k], 0.0f);
            sum[b.vertices[k]] += b.weights[k];
            ++count[b.vertices[k]];
        }
    }
    int blended = 0;
    for (size_t v = 0; v < sum.size(); ++v) {
        ASSERT_GE(count[v], 1) << "vertex " << v << " is not weighted";
        EXPECT_LE(count[v], 4) << "vertex " << v;
        EXPECT_NEAR(sum[v], 1.0f, 1e-5f) << "vertex " << v;
        blended += count[v] > 1;
    }
    EXPECT_GT(blended, int(sum.size() / 10)) << "joints should bend smoothly";
}

TEST(DatagenCharacter, OffsetsInvertTheBindCombinedMatrices) {
    const Scene& s = Ninja().scene;
    std::vector<Mat4> combined = CombinedMatrices(s.frames);
    for (const BoneWeights& b : s.bones) {
        int f = FindFrame(s, b.frame);
        ASSERT_GE(f, 0);
        EXPECT_LT(MaxAbsDifference(b.offset * combined[size_t(f)], Mat4::Identity()), 1e-5f) << b.frame;
    }
    // So the bind pose skins to the mesh as stored.
    std::vector<Vec3> bind = SkinPositions(s, combined);
    for (size_t v = 0; v < bind.size(); ++v) ASSERT_LT(Length(bind[v] - s.mesh.positions[v]), 1e-5f) << v;
}

TEST(DatagenCharacter, SizeStandingAndFacing) {
    const Mesh& m = Ninja().scene.mesh;
    EXPECT_GE(m.faces.size(), 300u);
    EXPECT_LE(m.faces.size(), 5000u);
    EXPECT_LE(m.positions.size(), 65535u);
    EXPECT_EQ(m.normals.size(), m.positions.size());
    EXPECT_EQ(m.uvs.size(), m.positions.size());
    EXPECT_EQ(m.faceMaterials.size(), m.faces.size());
    float lo = 1e9f, hi = -1e9f;
    for (const Vec3& p : m.positions) lo = std::min(lo, p.y), hi = std::max(hi, p.y);
    EXPECT_NEAR(lo, 0.0f, 1e-6f) << "feet on the ground";
    EXPECT_GE(hi, 1.0f);
    EXPECT_LE(hi, 1.8f);
    for (const Vec2& t : m.uvs) {
        EXPECT_GE(t.u, 0.0f);
        EXPECT_LE(t.u, 1.0f);
        EXPECT_GE(t.v, 0.0f);
        EXPECT_LE(t.v, 1.0f);
    }
    // Facing -z: the toes and the sword point that way; the sword is in the
    // right hand, which is on -x when facing -z.
    const Piece* foot = FindPart(m, "Foot_L");
    const Piece* blade = FindPart(m, "SwordBlade");
    ASSERT_TRUE(foot && blade);
    float toe = 1e9f, heel = -1e9f;
    for (uint32_t v = foot->firstVertex; v < foot->firstVertex + foot->vertexCount; ++v)
        toe = std::min(toe, m.positions[v].z), heel = std::max(heel, m.positions[v].z);
    EXPECT_LT(toe, -2 * heel);
    Vec3 sword = Centroid(m, *blade);
    EXPECT_LT(sword.z, -0.1f);
    EXPECT_LT(sword.x, -0.1f);
    EXPECT_LT(Centroid(m, *FindPart(m, "Hand_R")).x, 0.0f);
}

TEST(DatagenCharacter, FrontFacesWindClockwiseSeenFromOutside) {
    // With Direct3D's conventions a front face's (b - a) x (c - a) points to
    // the viewer: out of the body, along the stored normals.
    const Mesh& m = Ninja().scene.mesh;
    ASSERT_FALSE(m.pieces.empty());
    for (const Piece& p : m.pieces) {
        Vec3 centre = Centroid(m, p);
        int inward = 0, againstNormals = 0;
        for (uint32_t f = p.firstFace; f < p.firstFace + p.faceCount; ++f) {
            const auto& t = m.faces[f];
            Vec3 n = FaceNormal(m, f);
            Vec3 mid = (m.positions[t[0]] + m.positions[t[1]] + m.positions[t[2]]) * (1.0f / 3);
            inward += Dot(n, mid - centre) <= 0;
            againstNormals += Dot(n, m.normals[t[0]] + m.normals[t[1]] + m.normals[t[2]]) <= 0;
        }
        EXPECT_EQ(inward, 0) << p.name;
        EXPECT_EQ(againstNormals, 0) << p.name;
        EXPECT_EQ(OpenEdges(m, p), "");
    }
}

TEST(DatagenCharacter, MaterialsAreOpaqueAndNameTheirTextures) {
    const GeneratedScene& g = Ninja();
    ASSERT_FALSE(g.scene.mesh.materials.empty());
    for (const Material& mat : g.scene.mesh.materials) {
        EXPECT_EQ(mat.diffuse[3], 1.0f) << mat.name;  // anything else switches blending on
        EXPECT_TRUE(IsLowerPlainName(mat.texture)) << mat.texture;
        EXPECT_TRUE(std::any_of(g.textures.begin(), g.textures.end(),
                                [&](const Texture& t) { return t.fileName == mat.texture; }));
    }
    for (uint32_t m : g.scene.mesh.faceMaterials) EXPECT_LT(m, g.scene.mesh.materials.size());
}

TEST(DatagenCharacter, FiveSetsWithSoundKeys) {
    const Scene& s = Ninja().scene;
    std::set<std::string> names;
    std::set<uint32_t> types;
    for (const AnimationSet& set : s.sets) {
        names.insert(set.name);
        ASSERT_FALSE(set.animations.empty()) << set.name;
        std::set<std::string> frames;
        for (const Animation& a : set.animations) {
            int f = FindFrame(s, a.frame);
            ASSERT_GT(f, 0) << set.name << ": " << a.frame << " must be a bone, never the root";
            EXPECT_TRUE(frames.insert(a.frame).second) << set.name << " drives " << a.frame << " twice";
            std::set<uint32_t> here;
            for (const KeyArray& k : a.keys) {
                here.insert(k.type);
                types.insert(k.type);
                ASSERT_FALSE(k.keys.empty());
                EXPECT_EQ(k.keys.front().time, 0u) << set.name << "/" << a.frame;
                size_t want = k.type == kRotationKeys ? 4 : k.type == kMatrixKeys ? 16 : 3;
                for (size_t i = 0; i < k.keys.size(); ++i) {
                    ASSERT_EQ(k.keys[i].values.size(), want);
                    if (i) {
                        EXPECT_GT(k.keys[i].time, k.keys[i - 1].time);
                    }
                    if (k.type == kRotationKeys) {
                        const auto& q = k.keys[i].values;
                        EXPECT_NEAR(std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]), 1.0f, 1e-5f);
                    }
                }
                for (size_t j = 0; j < want; ++j)  // loops close
                    EXPECT_NEAR(k.keys.back().values[j], k.keys.front().values[j], 1e-5f) << set.name << "/" << a.frame;
                EXPECT_EQ(k.keys.back().time, SetLength(set)) << set.name << "/" << a.frame;
            }
            // Play replaces the frame's matrix: every driven frame needs a
            // whole transform, not a rotation alone.
            bool whole = here.count(kMatrixKeys) || (here.count(kRotationKeys) && here.count(kPositionKeys));
            EXPECT_TRUE(whole) << set.name << "/" << a.frame;
        }
    }
    EXPECT_EQ(names, (std::set<std::string>{"camminata", "pugno", "calcio", "spada", "idleTot"}));
    EXPECT_EQ(types, (std::set<uint32_t>{kRotationKeys, kScaleKeys, kPositionKeys, kMatrixKeys}));
}

TEST(DatagenCharacter, KeysCarryTheBindOffsets) {
    // The idle starts in the bind pose exactly; in every set the position
    // keys hold the bone's own offset from its parent (the hips may bob).
    const Scene& s = Ninja().scene;
    for (const Animation& a : Set("idleTot").animations) {
        std::vector<Mat4> at0 = SampleLocals(s, Set("idleTot"), 0);
        int f = FindFrame(s, a.frame);
        EXPECT_LT(MaxAbsDifference(at0[size_t(f)], s.frames[size_t(f)].local), 1e-5f) << a.frame;
    }
    for (const AnimationSet& set : s.sets)
        for (const Animation& a : set.animations) {
            const Frame& f = s.frames[size_t(FindFrame(s, a.frame))];
            Vec3 bind = f.local.Row(3);
            for (const KeyArray& k : a.keys) {
                for (size_t i = 0; i < k.keys.size(); ++i) {
                    Vec3 t;
                    if (k.type == kPositionKeys) {
                        t = {k.keys[i].values[0], k.keys[i].values[1], k.keys[i].values[2]};
                    } else if (k.type == kMatrixKeys) {
                        t = KeyMatrix(k, i).Row(3);
                    } else {
                        continue;
                    }
                    float tolerance = a.frame == "Hips" ? 0.1f : 1e-5f;
                    EXPECT_LT(Length(t - bind), tolerance) << set.name << "/" << a.frame << " key " << i;
                }
            }
        }
}

TEST(DatagenCharacter, SetsLastAsLongAsThePlayerExpects) {
    // Play gets elapsed ms x 3 for the punch and the sword, x 2 otherwise.
    struct Case {
        const char* name;
        int scale;
        float minSeconds, maxSeconds;
    } cases[] = {{"camminata", 2, 0.8f, 1.6f}, {"pugno", 3, 0.4f, 1.0f}, {"calcio", 2, 0.6f, 1.4f},
                 {"spada", 3, 0.6f, 1.4f},     {"idleTot", 2, 1.5f, 4.0f}};
    for (const Case& c : cases) {
        float seconds = float(SetLength(Set(c.name)) + 1) / float(c.scale) / 1000.0f;
        EXPECT_GE(seconds, c.minSeconds) << c.name;
        EXPECT_LE(seconds, c.maxSeconds) << c.name;
    }
}

TEST(DatagenCharacter, PlayedSetsReadAsTheirActions) {
    // Sampled as the program plays them: a wrong quaternion convention or key
    // order bends the limbs the wrong way and these fail.
    const Scene& s = Ninja().scene;
    std::vector<Vec3> bind = SkinPositions(s, CombinedMatrices(s.frames));
    const float height = 1.18f;

    const AnimationSet& walk = Set("camminata");
    float stride = 0;
    for (uint32_t t = 0; t <= SetLength(walk); t += 100) {
        std::vector<Vec3> p = PosedAt(walk, t);
        float lowest = std::min(MinY(p, "Foot_L"), MinY(p, "Foot_R"));
        EXPECT_NEAR(lowest, 0.0f, 0.02f) << "walk t=" << t << ": a foot stays on the ground";
        stride = std::max(stride, std::fabs(PartCentre(p, "Foot_L").z - PartCentre(p, "Foot_R").z));
    }
    EXPECT_GT(stride, 0.15f * height) << "the feet pass each other";

    // The punch drives the left fist forward (-z) at shoulder height.
    std::vector<Vec3> punch = PosedAt(Set("pugno"), 800);
    Vec3 fist = PartCentre(punch, "Hand_L");
    EXPECT_LT(fist.z, PartCentre(bind, "Hand_L").z - 0.25f * height);
    EXPECT_GT(fist.y, 0.65f * height);

    // The kick lifts the right foot forward, above the standing knee.
    std::vector<Vec3> kick = PosedAt(Set("calcio"), 800);
    Vec3 foot = PartCentre(kick, "Foot_R");
    EXPECT_GT(foot.y, 0.4f * height);
    EXPECT_LT(foot.z, -0.3f * height);
    EXPECT_NEAR(MinY(kick, "Foot_L"), 0.0f, 0.02f);

    // The swing raises the blade above the head, then brings it down in front.
    float headTop = 0;
    for (const Vec3& v : bind) headTop = std::max(headTop, v.y);
    std::vector<Vec3> raised = PosedAt(Set("spada"), 700);
    float bladeTop = -1;
    const Piece* blade = FindPart(s.mesh, "SwordBlade");
    for (uint32_t v = blade->firstVertex; v < blade->firstVertex + blade->vertexCount; ++v)
        bladeTop = std::max(bladeTop, raised[v].y);
    EXPECT_GT(bladeTop, headTop);
    Vec3 cut = PartCentre(PosedAt(Set("spada"), 1400), "SwordBlade");
    EXPECT_LT(cut.y, 0.6f * height);
    EXPECT_LT(cut.z, 0.0f);

    // Idle breathes: small motion only.
    std::vector<Vec3> breath = PosedAt(Set("idleTot"), SetLength(Set("idleTot")) / 2);
    float most = 0;
    for (size_t v = 0; v < bind.size(); ++v) most = std::max(most, Length(breath[v] - bind[v]));
    EXPECT_GT(most, 0.002f);
    EXPECT_LT(most, 0.1f);
}

// ---------------------------------------------------------------- file model

namespace {

void CountMeshes(const xwriter::Object& o, bool insideFrame, int* meshes, int* meshesInFrames) {
    if (o.templateName == "Mesh") {
        ++*meshes;
        *meshesInFrames += insideFrame;
    }
    for (const xwriter::Object& c : o.children)
        CountMeshes(c, insideFrame || o.templateName == "Frame", meshes, meshesInFrames);
}

}  // namespace

TEST(DatagenFiles, CharacterFileHasOneFrameTreeThenTheSets) {
    xwriter::File f = CharacterFile(Ninja().scene);
    ASSERT_EQ(f.templates.size(), 2u);
    EXPECT_NE(f.templates[0].find("XSkinMeshHeader"), std::string::npos);
    EXPECT_NE(f.templates[1].find("6F0D123B-BAD2-4167-A0D0-80224F25FABB"), std::string::npos);
    ASSERT_EQ(f.objects.size(), 6u);
    EXPECT_EQ(f.objects[0].templateName, "Frame");
    int meshes = 0, inFrames = 0;
    for (const xwriter::Object& o : f.objects) CountMeshes(o, false, &meshes, &inFrames);
    EXPECT_EQ(meshes, 1);
    EXPECT_EQ(inFrames, 1);
    for (size_t i = 1; i < f.objects.size(); ++i) {
        const xwriter::Object& set = f.objects[i];
        EXPECT_EQ(set.templateName, "AnimationSet");
        for (const xwriter::Object& anim : set.children) {
            // One frame reference, directly under the Animation, names it;
            // an inline frame there would become the root.
            ASSERT_EQ(anim.templateName, "Animation");
            int refs = 0;
            for (const xwriter::Object& c : anim.children) {
                refs += c.IsReference();
                EXPECT_NE(c.templateName, "Frame");
            }
            EXPECT_EQ(refs, 1);
        }
    }
    std::string bytes = xwriter::Write(f, xwriter::Encoding::Binary);
    EXPECT_EQ(bytes.substr(0, 16), "xof 0303bin 0032");
}

TEST(DatagenFiles, LevelFileIsTextWithOneFrameAndNoSkin) {
    xwriter::File f = LevelFile(Arena().scene);
    EXPECT_TRUE(f.templates.empty());
    ASSERT_EQ(f.objects.size(), 1u);
    EXPECT_EQ(f.objects[0].templateName, "Frame");
    std::string text = xwriter::Write(f, xwriter::Encoding::Text);
    EXPECT_EQ(text.substr(0, 16), "xof 0303txt 0032");
    EXPECT_EQ(text.find("SkinWeights"), std::string::npos);
}

TEST(DatagenFiles, GenerationIsRepeatable) {
    // The build regenerates the data; identical inputs must give identical files.
    GeneratedScene again = BuildCharacter();
    EXPECT_EQ(xwriter::Write(CharacterFile(again.scene), xwriter::Encoding::Binary),
              xwriter::Write(CharacterFile(Ninja().scene), xwriter::Encoding::Binary));
    EXPECT_EQ(again.textures[0].image.rgb, Ninja().textures[0].image.rgb);
}

// ---------------------------------------------------------------- level

TEST(DatagenLevel, FloorLiesJustBelowTheFeet) {
    const Mesh& m = Arena().scene.mesh;
    const Piece* floor = FindPart(m, "Floor");
    ASSERT_TRUE(floor);
    float top = -1e9f;
    for (uint32_t v = floor->firstVertex; v < floor->firstVertex + floor->vertexCount; ++v)
        top = std::max(top, m.positions[v].z);
    EXPECT_LE(top, -1.45f) << "model z is world height - 1.4";
    std::vector<Vec3> world = LevelInWorld();
    for (uint32_t v = floor->firstVertex; v < floor->firstVertex + floor->vertexCount; ++v)
        EXPECT_LT(world[v].y, -0.04f);
    // Authored Z up: a point one unit up in the world is one unit up in z.
    Vec3 up = LevelToWorld(WorldToLevel({0.5f, 1.0f, -2.0f}));
    EXPECT_NEAR(up.x, 0.5f, 1e-3f);
    EXPECT_NEAR(up.y, 1.0f, 3e-3f);
    EXPECT_NEAR(up.z, -2.0f, 3e-3f);
}

TEST(DatagenLevel, WallsAndObstaclesStandAcrossTheCharactersHeight) {
    const Mesh& m = Arena().scene.mesh;
    std::vector<Vec3> world = LevelInWorld();
    int walls = 0;
    for (const Piece& p : m.pieces) {
        if (p.name == "Floor") continue;
        float lo = 1e9f, hi = -1e9f, nearest = 1e9f;
        for (uint32_t v = p.firstVertex; v < p.firstVertex + p.vertexCount; ++v) {
            lo = std::min(lo, world[v].y);
            hi = std::max(hi, world[v].y);
            nearest = std::min(nearest, std::hypot(world[v].x, world[v].z));
        }
        EXPECT_LT(lo, 0.0f) << p.name;
        EXPECT_GT(hi, p.name == "LowWall" ? 0.8f : 1.8f) << p.name;
        EXPECT_GT(nearest, 1.5f) << p.name << " crowds the start";
        walls += p.name.rfind("Wall", 0) == 0;
    }
    EXPECT_EQ(walls, 4);
}

TEST(DatagenLevel, EveryWayOutOfTheStartMeetsAWall) {
    const Mesh& m = Arena().scene.mesh;
    std::vector<Vec3> world = LevelInWorld();
    // Walking along the axes, at knee height.
    for (Vec3 d : {Vec3{1, 0, 0}, Vec3{-1, 0, 0}, Vec3{0, 0, 1}, Vec3{0, 0, -1}}) {
        float hit = Cast(world, m, {0, 0.3f, 0}, d);
        EXPECT_GT(hit, 1.0f);
        EXPECT_LT(hit, 8.0f);
    }
    // The ray test runs along each walk at the feet, where the program casts
    // it: something stands a short walk away on all four.
    for (Vec3 d : {Vec3{1, 0, 0}, Vec3{-1, 0, 0}, Vec3{0, 0, 1}, Vec3{0, 0, -1}}) {
        float hit = Cast(world, m, {0, 0, 0}, d);
        EXPECT_GT(hit, 1.5f) << d.x << " " << d.z;
        EXPECT_LT(hit, 3.5f) << d.x << " " << d.z;
    }
    // Straight down meets the floor top just under the feet.
    EXPECT_NEAR(Cast(world, m, {0, 0, 0}, {0, -1, 0}), 0.06f, 0.01f);
}

TEST(DatagenLevel, BoxesAreClosedAndFaceOutward) {
    const Mesh& m = Arena().scene.mesh;
    EXPECT_GE(m.faces.size(), 2000u);
    EXPECT_LE(m.faces.size(), 20000u);
    EXPECT_LE(m.positions.size(), 65535u);
    for (const Piece& p : m.pieces) {
        EXPECT_EQ(OpenEdges(m, p), "");
        if (p.name.rfind("Pillar", 0) == 0) continue;  // not convex: plinth and capital
        Vec3 c = Centroid(m, p);
        for (uint32_t f = p.firstFace; f < p.firstFace + p.faceCount; ++f) {
            const auto& t = m.faces[f];
            Vec3 mid = (m.positions[t[0]] + m.positions[t[1]] + m.positions[t[2]]) * (1.0f / 3);
            ASSERT_GT(Dot(FaceNormal(m, f), mid - c), 0.0f) << p.name;
            ASSERT_GT(Dot(FaceNormal(m, f), m.normals[t[0]]), 0.0f) << p.name;
        }
    }
}

TEST(DatagenLevel, OneIdentityFrameOpaqueTexturedMaterials) {
    const GeneratedScene& g = Arena();
    ASSERT_EQ(g.scene.frames.size(), 1u);
    EXPECT_EQ(MaxAbsDifference(g.scene.frames[0].local, Mat4::Identity()), 0.0f);
    EXPECT_TRUE(g.scene.bones.empty());
    EXPECT_TRUE(g.scene.sets.empty());
    for (const Material& mat : g.scene.mesh.materials) {
        EXPECT_EQ(mat.diffuse[3], 1.0f);
        EXPECT_TRUE(IsLowerPlainName(mat.texture)) << mat.texture;
    }
    EXPECT_EQ(g.textures.size(), g.scene.mesh.materials.size());
}

// ---------------------------------------------------------------- bitmaps

TEST(DatagenBitmaps, BmpDecodesToTheSamePixels) {
    // An odd width needs row padding; every pixel distinct to catch row order.
    Image img(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) img.Set(x, y, {float(x) / 4, float(y) / 2, 0.5f});
    std::vector<uint8_t> bytes = EncodeBmp(img);
    EXPECT_EQ(bytes.size(), 54u + 16u * 3u);
    int w = 0, h = 0, n = 0;
    unsigned char* px = stbi_load_from_memory(bytes.data(), int(bytes.size()), &w, &h, &n, 3);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(std::vector<uint8_t>(px, px + 45), img.rgb);
    stbi_image_free(px);
}

TEST(DatagenBitmaps, PuffsAreSoftRoundOnPureBlack) {
    for (const Image& img : {SmokePuff(64), SparePuff(64)}) {
        ASSERT_EQ(img.width, 64);
        ASSERT_EQ(img.height, 64);
        auto brightness = [&](int x, int y) {
            const uint8_t* p = img.At(x, y);
            return p[0] + p[1] + p[2];
        };
        for (int i = 0; i < 64; ++i) {  // the border is the colour key
            EXPECT_EQ(brightness(i, 0), 0);
            EXPECT_EQ(brightness(0, i), 0);
            EXPECT_EQ(brightness(i, 63), 0);
            EXPECT_EQ(brightness(63, i), 0);
        }
        EXPECT_GT(brightness(32, 32), 400);
        // Soft: brightness falls off gradually from the centre.
        EXPECT_GT(brightness(32, 32), brightness(32, 44));
        EXPECT_GT(brightness(32, 44), brightness(32, 54));
        EXPECT_GT(brightness(32, 44), 0);
    }
}

TEST(DatagenBitmaps, LevelTexturesTileSeamlessly) {
    for (const Texture& t : Arena().textures) {
        const Image& img = t.image;
        EXPECT_EQ(img.width & (img.width - 1), 0) << t.fileName;
        // Opposite edges continue each other about as much as neighbours do.
        auto diff = [&](int x0, int y0, int x1, int y1) {
            const uint8_t *a = img.At(x0, y0), *b = img.At(x1, y1);
            return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
        };
        long seam = 0, inner = 0;
        for (int i = 0; i < img.height; ++i) {
            seam += diff(img.width - 1, i, 0, i) + diff(i, img.height - 1, i, 0);
            inner += diff(img.width / 2 - 1, i, img.width / 2, i) + diff(i, img.height / 2 - 1, i, img.height / 2);
        }
        EXPECT_LT(seam, 2 * inner + 1000) << t.fileName;
    }
}

// ---------------------------------------------------------------- overlays

TEST(DatagenOverlays, AlphabetCellsHoldLightGlyphsOnBlack) {
    Image sheet;
    std::string error;
    ASSERT_TRUE(AlphabetSheet(16, 32, &sheet, &error)) << error;
    ASSERT_EQ(sheet.width, 512);
    ASSERT_EQ(sheet.height, 96);
    std::set<std::vector<uint8_t>> distinct;
    for (int cell = 0; cell < 96; ++cell) {
        const int cx = (cell % 32) * 16, cy = (cell / 32) * 32;
        int lit = 0, light = 0;
        std::vector<uint8_t> pixels;
        for (int y = cy; y < cy + 32; ++y)
            for (int x = cx; x < cx + 16; ++x) {
                const uint8_t* p = sheet.At(x, y);
                pixels.insert(pixels.end(), p, p + 3);
                if (p[0] + p[1] + p[2] > 0) ++lit;
                if (p[0] > 200 && p[1] > 200 && p[2] > 180) ++light;
                // Neutral ink: every lit pixel is a shade of one light colour.
                EXPECT_GE(p[0], p[2]) << cell;
            }
        const char code = char(32 + cell);
        if (cell == 0 || cell == 95) {
            EXPECT_EQ(lit, 0) << "the space and DEL are empty";
            continue;
        }
        EXPECT_GT(light, 3) << "'" << code << "' has solid strokes";
        EXPECT_LT(lit, 16 * 32 / 2) << "'" << code << "' stands on black";
        distinct.insert(pixels);
    }
    EXPECT_EQ(distinct.size(), 94u) << "every printable character its own glyph";
}

TEST(DatagenOverlays, ConsoleBackgroundIsDark) {
    const Image bg = ConsoleBackground(256, 96);
    ASSERT_EQ(bg.width, 256);
    ASSERT_EQ(bg.height, 96);
    for (int y = 0; y < 94; ++y)
        for (int x = 0; x < 256; ++x) ASSERT_LT(bg.At(x, y)[0] + bg.At(x, y)[1] + bg.At(x, y)[2], 3 * 90) << x << "," << y;
}

TEST(DatagenOverlays, MiniMapIsTheLevelSeenFromAbove) {
    // The marker of an object standing where the level stands: minimap at
    // (81, 61), marker at ((251 + 81) x 20 / 33, (154 + 61) x 20 / 31).
    EXPECT_NEAR(kMiniMapOriginX, 332.0f * 0.6060606f - 81, 0.01f);
    EXPECT_NEAR(kMiniMapOriginY, 215.0f * 0.6451613f - 61, 0.01f);

    const Image map = MiniMap(Arena());
    ASSERT_EQ(map.width, 256);
    ASSERT_EQ(map.height, 159);
    auto world = [&](float x, float z) {
        const uint8_t* p = map.At(int(kMiniMapOriginX + x * kMiniMapScale), int(kMiniMapOriginY - z * kMiniMapScale));
        return std::make_tuple(int(p[0]), int(p[1]), int(p[2]));
    };
    auto isFloor = [](std::tuple<int, int, int> c) {
        return std::abs(std::get<0>(c) - std::get<2>(c)) < 40 && std::get<0>(c) > 60;
    };
    auto isWall = [](std::tuple<int, int, int> c) { return std::get<0>(c) > std::get<2>(c) + 60; };
    auto isDark = [](std::tuple<int, int, int> c) { return std::get<0>(c) + std::get<1>(c) + std::get<2>(c) < 150; };
    EXPECT_TRUE(isFloor(world(0, 0))) << "the start";
    EXPECT_TRUE(isFloor(world(-2, 5)));
    for (const auto& at : {std::make_pair(0.0f, 7.25f), std::make_pair(0.0f, -7.25f), std::make_pair(7.25f, 0.0f),
                           std::make_pair(-7.25f, 0.0f), std::make_pair(0.0f, -3.35f)})
        EXPECT_TRUE(isWall(world(at.first, at.second))) << "walls round the arena and the low wall ahead, at "
                                                         << at.first << "," << at.second;
    EXPECT_FALSE(isFloor(world(3.1f, -0.4f))) << "the block";
    EXPECT_FALSE(isWall(world(3.1f, -0.4f)));
    EXPECT_TRUE(isDark(world(-10, 0))) << "outside the arena";
}
