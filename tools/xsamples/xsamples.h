// X files made with our writer for the reader's tests, fuzz seeds and
// benchmarks: a skinned, animated character and a large static mesh.
#pragma once

#include "tools/xwriter/xwriter.h"

namespace xsamples {

// XSkinMeshHeader, VertexDuplicationIndices and SkinWeights, as files that
// declare them themselves write them.
extern const char* const kSkinTemplates;

struct CharacterShape {
    int rings = 3;   // vertex rings along the body
    int sides = 4;   // vertices around each ring
    int bones = 3;   // a chain of frames, one SkinWeights each
    int sets = 2;    // animation sets, every key type in each
    int keys = 3;    // keys per AnimationKey
    // False: the file declares no template and relies on the reader knowing
    // DirectX 9's, as real exported characters do; it then also carries their
    // AnimTicksPerSecond and VertexDuplicationIndices.
    bool declareSkinTemplates = true;
};

// A tube skinned to a chain of frames under one root, with a texture-mapped
// material list (one material inline, one referenced before its definition
// at the end of the file), normals, texture coordinates, skin weights and
// animation sets whose animations name their frames by name and by GUID.
xwriter::File Character(const CharacterShape& shape);

// One textured grid mesh of about `triangles` triangles under one frame.
xwriter::File BigMesh(int triangles);

}  // namespace xsamples
