// Software skinning of a mesh container and the drawing of containers with
// their materials and textures.
#pragma once

#include <d3dx9.h>

#include "scene/MeshContainer.h"

// Bone matrices from the offsets and the frames' combined matrices, then the
// working copy's vertices from the loaded mesh. E_FAIL when the container
// cannot be skinned (no skin, working copy or bone arrays) or a buffer
// cannot be locked.
HRESULT SkinMeshContainer(MeshContainer* container);

// Subset by subset with the materials and textures; blending switched by each
// material's diffuse alpha. E_FAIL when there is nothing to draw.
HRESULT DrawMeshContainer(MeshContainer* container);

// From the vertex and index buffers, range by range of the attribute table,
// with the given shader and declaration.
HRESULT DrawMeshContainerIndexed(MeshContainer* container, IDirect3DVertexShader9* shader,
                                 IDirect3DVertexDeclaration9* declaration);

// A whole chain; stops at the first failure and returns it.
HRESULT RenderMeshContainer(MeshContainer* container);
HRESULT RenderMeshContainerIndexed(MeshContainer* container, IDirect3DVertexShader9* shader,
                                   IDirect3DVertexDeclaration9* declaration);
