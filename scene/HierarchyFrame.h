// A frame of a loaded frame tree: the record the X-file loader builds for each
// Frame data object, with the search by name, the reset of the transformations
// and the combination of the matrices down the tree.
#pragma once

#include <d3dx9.h>

struct MeshContainer;

// A plain record: the first five fields are those of D3DXFRAME.
struct HierarchyFrame {
    LPSTR Name;  // owned heap copy, or null
    D3DXMATRIX TransformationMatrix;
    MeshContainer* pMeshContainer;  // not owned
    HierarchyFrame* pFrameSibling;
    HierarchyFrame* pFrameFirstChild;
    D3DXMATRIX CombinedMatrix;  // written only by UpdateMatrices
    D3DXMATRIX LoadedMatrix;    // the file's matrix, identity when it gives none

    // The first frame in the order self, later siblings with everything below
    // them, own children, whose name equals `name` (case-sensitive); null
    // when none does or `name` is null.
    HierarchyFrame* FindFrameByName(LPCSTR name);
    // Every frame reachable through both links back to its LoadedMatrix.
    void ResetTransforms();
    // CombinedMatrix = TransformationMatrix x parent; siblings share the
    // parent, children take this frame's combined matrix. Null: identity.
    void UpdateMatrices(const D3DXMATRIX* parentMatrix);
};

// Frees a whole tree made by the loader: the frame, its siblings and
// everything below them, with their names. Containers are not touched.
void FreeFrameTree(HierarchyFrame* root);
