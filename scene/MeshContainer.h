// A mesh read from a Mesh data object of an X file, with its materials, one
// texture per material, adjacency, skin information and, when skinned, the
// working copy that the skinning rewrites every frame.
#pragma once

#include <d3dx9.h>
#include <dxfile.h>

class SceneFrame;

struct MeshContainer : public D3DXMESHCONTAINER {
    LPDIRECT3DTEXTURE9* ppTextures;  // one owned reference (or null) per material
    LPD3DXMESH pSkinnedMesh;         // drawn instead of pMesh; null when unskinned
    D3DXMATRIX** ppBoneMatrixPtrs;   // per bone: its frame's CombinedMatrix, or null
    D3DXMATRIX* pBoneMatrices;       // per bone: the skinning matrix of the frame
    D3DXMATRIX FirstBoneMatrix;      // stored by LoadMeshHierarchy, never read
    DWORD NormalsHeader[4];          // stored by LoadSkinnedMeshHierarchy, never read
    SceneFrame* pOwner;              // not owned
    MeshContainer* pNextInOwner;     // not owned

    // Releases and frees everything it holds, the rest of its chain included;
    // `delete` on the head of a chain destroys the whole chain.
    ~MeshContainer();

    // This container or a later one of the chain whose Name equals `name`
    // (case-sensitive); null when none does.
    MeshContainer* FindByName(LPCSTR name);
};

// The chain link with its real type.
inline MeshContainer* NextMeshContainer(const MeshContainer* c) {
    return static_cast<MeshContainer*>(c->pNextMeshContainer);
}

// Builds a container from a Mesh data object; *out is written only when one
// is made (result 0). fvf 0 keeps the file's vertex format.
HRESULT LoadMeshContainer(MeshContainer** out, IDirect3DDevice9* device, IDirectXFileData* meshData,
                          LPCSTR textureFolder, DWORD fvf, DWORD options);

// For the loaders: the container's materials from a buffer of `count`
// D3DXMATERIAL entries (one white material when there are none), each
// ambient colour set to its diffuse colour, textures made from
// folder + file name. False when the arrays cannot be allocated.
bool SetContainerMaterials(MeshContainer* container, IDirect3DDevice9* device, ID3DXBuffer* materials,
                           DWORD count, LPCSTR textureFolder);
// A copy of the adjacency buffer's contents (none for an empty buffer).
void SetContainerAdjacency(MeshContainer* container, ID3DXBuffer* adjacency);
