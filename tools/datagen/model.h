// The scenes the generator builds, as plain data that tests can inspect and the
// exporter turns into X-file objects.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/datagen/vecmath.h"

namespace datagen {

struct Material {
    std::string name;
    float diffuse[4] = {1, 1, 1, 1};
    float power = 0;
    Vec3 specular{0, 0, 0};
    Vec3 emissive{0, 0, 0};
    std::string texture;  // plain file name beside the X file
};

// A closed piece of the mesh (a limb, a wall), kept for checks and painting.
struct Piece {
    std::string name;
    uint32_t firstVertex = 0, vertexCount = 0;
    uint32_t firstFace = 0, faceCount = 0;
};

struct Mesh {
    std::string name;
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;  // one per position
    std::vector<Vec2> uvs;      // one per position
    std::vector<std::array<uint32_t, 3>> faces;
    std::vector<uint32_t> faceMaterials;  // one per face
    std::vector<Material> materials;
    std::vector<Piece> pieces;
};

struct Frame {
    std::string name;
    int parent = -1;  // index into Scene::frames, -1 for the root
    Mat4 local;       // bind-pose local transform
};

struct BoneWeights {
    std::string frame;  // equals a frame name
    std::vector<uint32_t> vertices;
    std::vector<float> weights;
    Mat4 offset;  // inverse of the frame's bind combined matrix
};

enum KeyType : uint32_t { kRotationKeys = 0, kScaleKeys = 1, kPositionKeys = 2, kMatrixKeys = 4 };

struct TimedKey {
    uint32_t time = 0;
    std::vector<float> values;  // 4 (w, x, y, z), 3 or 16
};

struct KeyArray {
    KeyType type = kRotationKeys;
    std::vector<TimedKey> keys;
};

struct Animation {
    std::string frame;
    std::vector<KeyArray> keys;
};

struct AnimationSet {
    std::string name;
    std::vector<Animation> animations;
};

struct Scene {
    std::vector<Frame> frames;  // frames[0] is the one top-level frame
    int meshFrame = 0;          // the frame whose object holds the mesh
    Mesh mesh;
    std::vector<BoneWeights> bones;  // empty: no skin
    std::vector<AnimationSet> sets;
};

// Combined bind matrices: local x parent's combined, from the root down.
std::vector<Mat4> CombinedMatrices(const std::vector<Frame>& frames);
std::vector<Mat4> CombineLocals(const std::vector<Frame>& frames, const std::vector<Mat4>& locals);
int FindFrame(const Scene& scene, const std::string& name);

// Skinned positions: each vertex moved by (offset x combined) of its bones.
std::vector<Vec3> SkinPositions(const Scene& scene, const std::vector<Mat4>& combined);

// The largest key time of a set; it repeats every length + 1.
uint32_t SetLength(const AnimationSet& set);
// Local matrices of every frame at a time of a set, played as the program
// plays it: frames the set drives become S x R x T x K, the rest keep the bind.
std::vector<Mat4> SampleLocals(const Scene& scene, const AnimationSet& set, uint32_t time);

}  // namespace datagen
