// A Mesh data object of an X file read into CPU memory, checked and
// triangulated, before it becomes a mesh object.
#pragma once

#include <string>
#include <vector>

#include "com_object.h"
#include "d3dx9mesh.h"
#include "skin_info.h"

namespace d3dx {

using DataPtr = layer::ComPtr<IDirectXFileData>;

bool IsType(IDirectXFileData* object, const GUID& type);

// The data objects among an object's children, in file order; references
// resolved when `followReferences`. Walked on a handle of our own, so the
// caller's walk of the children still starts at the first one.
std::vector<DataPtr> DataChildren(IDirectXFileData* object, bool followReferences);

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
// disagree or any index out of range; the message names the mesh and the fault.
HRESULT ReadMeshGeometry(IDirectXFileData* mesh, MeshGeometry* out);

// "X file: <file>: Mesh '<name>': <what>" on the debugger output.
void ReportMeshProblem(IDirectXFileData* mesh, const std::string& what);

}  // namespace d3dx
