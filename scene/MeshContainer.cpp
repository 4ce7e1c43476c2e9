#include "scene/MeshContainer.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "scene/XFileWalk.h"

namespace {

template <class T>
void ReleaseAndClear(T** p) {
    if (*p) {
        (*p)->Release();
        *p = NULL;
    }
}

}  // namespace

MeshContainer::~MeshContainer() {
    if (ppTextures && NumMaterials != 0) {
        for (DWORD i = 0; i < NumMaterials; ++i) ReleaseAndClear(&ppTextures[i]);
    }
    delete[] ppTextures;
    ppTextures = NULL;
    NumMaterials = 0;

    delete[] Name;
    Name = NULL;
    delete[] pMaterials;
    pMaterials = NULL;
    delete[] pEffects;
    pEffects = NULL;
    delete[] pAdjacency;
    pAdjacency = NULL;
    delete[] ppBoneMatrixPtrs;
    ppBoneMatrixPtrs = NULL;
    delete[] pBoneMatrices;
    pBoneMatrices = NULL;

    ReleaseAndClear(&MeshData.pMesh);
    ReleaseAndClear(&pSkinInfo);
    ReleaseAndClear(&pSkinnedMesh);

    // The rest of the chain, one container after the other: a chain may be
    // as long as a file has meshes.
    MeshContainer* next = NextMeshContainer(this);
    pNextMeshContainer = NULL;
    while (next) {
        MeshContainer* after = NextMeshContainer(next);
        next->pNextMeshContainer = NULL;
        delete next;
        next = after;
    }
}

MeshContainer* MeshContainer::FindByName(LPCSTR name) {
    if (!name) return NULL;
    for (MeshContainer* c = this; c; c = NextMeshContainer(c))
        if (c->Name && std::strcmp(c->Name, name) == 0) return c;
    return NULL;
}

namespace {

// Everything the load delivered, released when it is not handed on.
struct LoadedMesh {
    ID3DXBuffer* adjacency = NULL;
    ID3DXBuffer* materials = NULL;
    DWORD numMaterials = 0;
    ID3DXSkinInfo* skin = NULL;
    ID3DXMesh* mesh = NULL;

    // After a failed load: nothing was made, so nothing is released.
    void Forget() {
        adjacency = NULL;
        materials = NULL;
        skin = NULL;
        mesh = NULL;
    }

    ~LoadedMesh() {
        ReleaseAndClear(&adjacency);
        ReleaseAndClear(&materials);
        ReleaseAndClear(&skin);
        ReleaseAndClear(&mesh);
    }
};

}  // namespace

HRESULT LoadMeshContainer(MeshContainer** out, IDirect3DDevice9* device, IDirectXFileData* meshData,
                          LPCSTR textureFolder, DWORD fvf, DWORD options) {
    if (!out || !device || !meshData || !textureFolder) return E_FAIL;
    const DWORD loadOptions = fvf != 0 ? D3DXMESH_SYSTEMMEM : options;

    LoadedMesh loaded;
    HRESULT hr = D3DXLoadSkinMeshFromXof(meshData, loadOptions, device, &loaded.adjacency, &loaded.materials,
                                         NULL, &loaded.numMaterials, &loaded.skin, &loaded.mesh);
    if (FAILED(hr)) {
        loaded.Forget();
        return hr;
    }
    if (!loaded.mesh) return E_FAIL;
    if (loaded.skin && loaded.skin->GetNumBones() == 0) ReleaseAndClear(&loaded.skin);

    if (fvf != 0) {
        ID3DXMesh* copy = NULL;
        hr = loaded.mesh->CloneMeshFVF(options, fvf, device, &copy);
        if (FAILED(hr)) return hr;
        if (!copy) return E_FAIL;
        loaded.mesh->Release();
        loaded.mesh = copy;
        // The skinning walks vertices by the skin's own format: it must be the copy's.
        if (loaded.skin && FAILED(loaded.skin->SetFVF(fvf))) ReleaseAndClear(&loaded.skin);
    }

    MeshContainer* c = new (std::nothrow) MeshContainer();
    if (!c) return E_OUTOFMEMORY;

    c->Name = CopyXFileObjectName(meshData);
    c->MeshData.Type = D3DXMESHTYPE_MESH;
    c->MeshData.pMesh = loaded.mesh;
    loaded.mesh = NULL;
    c->pSkinInfo = loaded.skin;
    loaded.skin = NULL;

    if (loaded.adjacency) {
        SetContainerAdjacency(c, loaded.adjacency);
        ReleaseAndClear(&loaded.adjacency);
    }

    // The working copy keeps the face order of the mesh as loaded (it is made
    // before the sort below).
    if (c->pSkinInfo)
        c->MeshData.pMesh->CloneMeshFVF(0, c->MeshData.pMesh->GetFVF(), device, &c->pSkinnedMesh);

    if (!SetContainerMaterials(c, device, loaded.materials, loaded.numMaterials, textureFolder)) {
        delete c;
        return E_OUTOFMEMORY;
    }
    ReleaseAndClear(&loaded.materials);

    c->MeshData.pMesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, NULL, NULL, NULL, NULL);
    *out = c;
    return S_OK;
}

void SetContainerAdjacency(MeshContainer* container, ID3DXBuffer* adjacency) {
    const DWORD bytes = adjacency->GetBufferSize();
    if (bytes == 0 || !adjacency->GetBufferPointer()) return;
    container->pAdjacency = new (std::nothrow) DWORD[(bytes + 3) / 4]();
    if (container->pAdjacency) std::memcpy(container->pAdjacency, adjacency->GetBufferPointer(), bytes);
}

bool SetContainerMaterials(MeshContainer* container, IDirect3DDevice9* device, ID3DXBuffer* materials,
                           DWORD count, LPCSTR textureFolder) {
    const D3DXMATERIAL* source = NULL;
    if (count != 0 && materials && materials->GetBufferSize() / sizeof(D3DXMATERIAL) >= count)
        source = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    const DWORD n = source ? count : 0;

    const DWORD entries = n != 0 ? n : 1;
    container->pMaterials = new (std::nothrow) D3DXMATERIAL[entries]();
    container->ppTextures = new (std::nothrow) LPDIRECT3DTEXTURE9[entries]();
    if (!container->pMaterials || !container->ppTextures) return false;
    container->NumMaterials = entries;

    if (n == 0) {
        // One white material without a texture.
        D3DMATERIAL9& m = container->pMaterials[0].MatD3D;
        m.Diffuse.r = m.Diffuse.g = m.Diffuse.b = m.Diffuse.a = 1.0f;
        m.Ambient = m.Diffuse;
        m.Specular = m.Diffuse;
        return true;
    }
    for (DWORD i = 0; i < n; ++i) {
        D3DMATERIAL9& m = container->pMaterials[i].MatD3D;
        m = source[i].MatD3D;
        m.Ambient = m.Diffuse;
        container->ppTextures[i] = NULL;
        if (!source[i].pTextureFilename) continue;
        // A path that does not fit is not cut short: the material goes untextured.
        char path[MAX_PATH];
        const int length = std::snprintf(path, sizeof path, "%s%s", textureFolder, source[i].pTextureFilename);
        if (length < 0 || length >= static_cast<int>(sizeof path)) continue;
        D3DXCreateTextureFromFileA(device, path, &container->ppTextures[i]);
    }
    return true;
}
