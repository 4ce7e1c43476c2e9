// A Mesh data object of an X file read into CPU memory, checked and
// triangulated, before it becomes a mesh object.
#pragma once

#include <string>
#include <vector>

#include "d3dx9mesh.h"
#include "skin_info.h"

namespace d3dx {

struct MaterialRecord {
    D3DMATERIAL9 material = {};
    bool hasTexture = false;
    std::string texture;
};

struct MeshGeometry {
    bool hasNormals = false;
    bool hasTexCoords = false;
    bool hasColors = false;
    std::vector<D3DXVECTOR3> positions;  // one per output vertex
    std::vector<D3DXVECTOR3> normals;
    std::vector<D3DXVECTOR2> texCoords;
    std::vector<D3DCOLOR> colors;
    std::vector<DWORD> indices;     // three per triangle
    std::vector<DWORD> attributes;  // one per triangle
    bool hasMaterialList = false;
    std::vector<MaterialRecord> materials;
    bool skinned = false;  // skin templates present, even with no bones
    std::vector<Bone> bones;

    DWORD Fvf() const;
    DWORD NumFaces() const { return static_cast<DWORD>(attributes.size()); }
    DWORD NumVertices() const { return static_cast<DWORD>(positions.size()); }
};

// Reads a Mesh object and its children (normals, texture coordinates, vertex
// colours, materials, skin weights). Negative for malformed data: counts that
// disagree or any index out of range.
HRESULT ReadMeshGeometry(IDirectXFileData* mesh, MeshGeometry* out);

}  // namespace d3dx
