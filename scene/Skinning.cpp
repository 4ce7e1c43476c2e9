#include "scene/Skinning.h"

#include <vector>

namespace {

// The blend states a drawing routine changes, kept to be put back.
struct BlendStates {
    DWORD enable;
    DWORD source;
    DWORD destination;
};

BlendStates SaveBlendStates(IDirect3DDevice9* device) {
    BlendStates s = {0, 0, 0};
    device->GetRenderState(D3DRS_ALPHABLENDENABLE, &s.enable);
    device->GetRenderState(D3DRS_SRCBLEND, &s.source);
    device->GetRenderState(D3DRS_DESTBLEND, &s.destination);
    return s;
}

// Blending only for materials that are not fully opaque; the states are set
// only when the kind changes from the previous material's.
void SwitchBlending(IDirect3DDevice9* device, const D3DMATERIAL9& material, DWORD* blendSwitch) {
    if (material.Diffuse.a == 1.0f) {
        if (*blendSwitch != 0) {
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
            *blendSwitch = 0;
        }
    } else if (*blendSwitch != 1) {
        *blendSwitch = 1;
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_DESTCOLOR);
    }
}

void RestoreBlendStates(IDirect3DDevice9* device, const BlendStates& saved, DWORD blendSwitch) {
    if (blendSwitch == saved.enable) return;
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, saved.enable);
    device->SetRenderState(D3DRS_SRCBLEND, saved.source);
    device->SetRenderState(D3DRS_DESTBLEND, saved.destination);
}

IDirect3DBaseTexture9* TextureOf(const MeshContainer* container, DWORD material) {
    return container->ppTextures ? container->ppTextures[material] : NULL;
}

}  // namespace

HRESULT SkinMeshContainer(MeshContainer* container) {
    if (!container || !container->MeshData.pMesh || !container->pSkinnedMesh || !container->pSkinInfo ||
        !container->pBoneMatrices || !container->ppBoneMatrixPtrs)
        return E_FAIL;
    ID3DXSkinInfo* skin = container->pSkinInfo;

    for (DWORD i = 0; i < skin->GetNumBones(); ++i) {
        const D3DXMATRIX* offset = skin->GetBoneOffsetMatrix(i);
        if (offset)
            container->pBoneMatrices[i] = *offset;
        else
            D3DXMatrixIdentity(&container->pBoneMatrices[i]);
        // A bone whose frame was not found keeps its offset alone.
        if (container->ppBoneMatrixPtrs[i])
            D3DXMatrixMultiply(&container->pBoneMatrices[i], &container->pBoneMatrices[i],
                               container->ppBoneMatrixPtrs[i]);
    }

    void* source = NULL;
    void* destination = NULL;
    if (FAILED(container->MeshData.pMesh->LockVertexBuffer(D3DLOCK_READONLY, &source)) || !source)
        return E_FAIL;
    if (FAILED(container->pSkinnedMesh->LockVertexBuffer(0, &destination)) || !destination) {
        container->MeshData.pMesh->UnlockVertexBuffer();
        return E_FAIL;
    }
    skin->UpdateSkinnedMesh(container->pBoneMatrices, NULL, source, destination);
    container->pSkinnedMesh->UnlockVertexBuffer();
    container->MeshData.pMesh->UnlockVertexBuffer();
    return S_OK;
}

HRESULT DrawMeshContainer(MeshContainer* container) {
    if (!container || !container->MeshData.pMesh || container->NumMaterials == 0 || !container->pMaterials)
        return E_FAIL;
    IDirect3DDevice9* device = NULL;
    container->MeshData.pMesh->GetDevice(&device);
    if (!device) return E_FAIL;

    device->SetVertexShader(NULL);
    device->SetVertexDeclaration(NULL);
    const BlendStates saved = SaveBlendStates(device);
    DWORD blendSwitch = saved.enable;

    ID3DXMesh* mesh = container->pSkinnedMesh ? container->pSkinnedMesh : container->MeshData.pMesh;
    for (DWORD i = 0; i < container->NumMaterials; ++i) {
        const D3DMATERIAL9& material = container->pMaterials[i].MatD3D;
        device->SetMaterial(&material);
        device->SetTexture(0, TextureOf(container, i));
        SwitchBlending(device, material, &blendSwitch);
        mesh->DrawSubset(i);
    }

    RestoreBlendStates(device, saved, blendSwitch);
    device->Release();
    return S_OK;
}

HRESULT DrawMeshContainerIndexed(MeshContainer* container, IDirect3DVertexShader9* shader,
                                 IDirect3DVertexDeclaration9* declaration) {
    if (!container || !shader || !declaration || !container->MeshData.pMesh || container->NumMaterials == 0 ||
        !container->pMaterials)
        return E_FAIL;
    ID3DXMesh* mesh = container->MeshData.pMesh;
    IDirect3DDevice9* device = NULL;
    mesh->GetDevice(&device);
    if (!device) return E_FAIL;
    const BlendStates saved = SaveBlendStates(device);
    DWORD blendSwitch = saved.enable;

    IDirect3DVertexBuffer9* vertices = NULL;
    IDirect3DIndexBuffer9* indices = NULL;
    mesh->GetVertexBuffer(&vertices);
    mesh->GetIndexBuffer(&indices);

    DWORD ranges = 0;
    mesh->GetAttributeTable(NULL, &ranges);
    std::vector<D3DXATTRIBUTERANGE> table(ranges);
    if (ranges) mesh->GetAttributeTable(table.data(), &ranges);

    device->SetFVF(0);
    device->SetVertexShader(shader);
    device->SetVertexDeclaration(declaration);
    device->SetStreamSource(0, vertices, 0, D3DXGetFVFVertexSize(mesh->GetFVF()));
    device->SetIndices(indices);

    for (const D3DXATTRIBUTERANGE& range : table) {
        // Attribute ids past the materials name no material or texture.
        if (range.FaceCount == 0 || range.AttribId >= container->NumMaterials) continue;
        device->SetTexture(0, TextureOf(container, range.AttribId));
        SwitchBlending(device, container->pMaterials[range.AttribId].MatD3D, &blendSwitch);
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, range.VertexStart, range.VertexCount,
                                     range.FaceStart * 3, range.FaceCount);
    }

    device->SetStreamSource(0, NULL, 0, 0);
    device->SetIndices(NULL);
    if (vertices) vertices->Release();
    if (indices) indices->Release();

    RestoreBlendStates(device, saved, blendSwitch);
    device->SetVertexShader(NULL);
    device->SetVertexDeclaration(NULL);
    device->Release();
    return S_OK;
}

HRESULT RenderMeshContainer(MeshContainer* container) {
    for (MeshContainer* c = container; c; c = NextMeshContainer(c)) {
        HRESULT hr = DrawMeshContainer(c);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT RenderMeshContainerIndexed(MeshContainer* container, IDirect3DVertexShader9* shader,
                                   IDirect3DVertexDeclaration9* declaration) {
    for (MeshContainer* c = container; c; c = NextMeshContainer(c)) {
        HRESULT hr = DrawMeshContainerIndexed(c, shader, declaration);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}
