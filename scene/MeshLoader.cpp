#include "scene/MeshLoader.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

bool IsTemplate(const GUID* type, const GUID& wanted) { return type && IsEqualGUID(*type, wanted); }

// The chains LoadMeshHierarchy no longer hands out. Immortal: released by the
// clean-up, and safe to touch during static destruction.
std::vector<MeshContainer*>& FirstPassChains() {
    static std::vector<MeshContainer*>* chains = new std::vector<MeshContainer*>;
    return *chains;
}

// Binds the bones of every skinned container of the chain to the frames of
// the same names. *found/*first: the combined matrix of the first bone bound.
void BindBones(MeshContainer* chain, HierarchyFrame* root, bool* found, D3DXMATRIX* first) {
    for (MeshContainer* c = chain; c; c = NextMeshContainer(c)) {
        if (!c->pSkinInfo) continue;
        const DWORD bones = c->pSkinInfo->GetNumBones();
        c->ppBoneMatrixPtrs = new (std::nothrow) D3DXMATRIX*[bones]();
        c->pBoneMatrices = new (std::nothrow) D3DXMATRIX[bones];
        if (!c->ppBoneMatrixPtrs || !c->pBoneMatrices) {
            // Without both arrays the skinning refuses the container.
            delete[] c->ppBoneMatrixPtrs;
            delete[] c->pBoneMatrices;
            c->ppBoneMatrixPtrs = NULL;
            c->pBoneMatrices = NULL;
            continue;
        }
        for (DWORD i = 0; i < bones; ++i) {
            HierarchyFrame* frame = root->FindFrameByName(c->pSkinInfo->GetBoneName(i));
            c->ppBoneMatrixPtrs[i] = frame ? &frame->CombinedMatrix : NULL;
            if (frame && found && !*found) {
                *found = true;
                *first = frame->CombinedMatrix;
            }
        }
    }
}

HRESULT LoadSingleMesh(MeshContainer** out, IDirect3DDevice9* device, LPCSTR fileName, LPCSTR textureFolder,
                       DWORD fvf, DWORD options) {
    if (!out || !device || !fileName || !textureFolder) return E_FAIL;
    const DWORD loadOptions = fvf != 0 ? D3DXMESH_SYSTEMMEM : options;

    ID3DXBuffer* adjacency = NULL;
    ID3DXBuffer* materials = NULL;
    DWORD numMaterials = 0;
    ID3DXMesh* mesh = NULL;
    HRESULT hr = D3DXLoadMeshFromXA(fileName, loadOptions, device, &adjacency, &materials, NULL, &numMaterials,
                                    &mesh);
    if (FAILED(hr)) return hr;
    auto releaseBuffers = [&]() {
        if (adjacency) adjacency->Release();
        if (materials) materials->Release();
        adjacency = materials = NULL;
    };
    if (!mesh) {
        releaseBuffers();
        return E_FAIL;
    }
    if (fvf != 0) {
        ID3DXMesh* copy = NULL;
        hr = mesh->CloneMeshFVF(options, fvf, device, &copy);
        if (FAILED(hr) || !copy) {
            releaseBuffers();
            mesh->Release();
            return FAILED(hr) ? hr : E_FAIL;
        }
        mesh->Release();
        mesh = copy;
    }

    MeshContainer* c = new (std::nothrow) MeshContainer();
    const size_t nameLength = std::strlen(fileName) + 1;
    if (c) c->Name = new (std::nothrow) char[nameLength];
    if (!c || !c->Name) {
        delete c;
        releaseBuffers();
        mesh->Release();
        return E_OUTOFMEMORY;
    }
    std::memcpy(c->Name, fileName, nameLength);
    c->MeshData.Type = D3DXMESHTYPE_MESH;
    c->MeshData.pMesh = mesh;
    if (adjacency) SetContainerAdjacency(c, adjacency);
    const bool made = SetContainerMaterials(c, device, materials, numMaterials, textureFolder);
    releaseBuffers();
    if (!made) {
        delete c;
        return E_OUTOFMEMORY;
    }
    c->MeshData.pMesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, NULL, NULL, NULL, NULL);
    *out = c;
    return S_OK;
}

}  // namespace

MeshLoader::MeshLoader()
    : pDevice(NULL),
      TextureFolder(NULL),
      Fvf(0),
      MeshOptions(0),
      WantFlags(0),
      pContainerList(NULL),
      pFrameRoot(NULL),
      NormalsHeader{0, 0, 0, 0} {}

MeshLoader::~MeshLoader() {
    delete pContainerList;
    pContainerList = NULL;
    FreeFrameTree(pFrameRoot);
    pFrameRoot = NULL;
}

int MeshLoader::LoadFile(LPCSTR fileName, HierarchyFrame** frameSlot) {
    if (!fileName) return 0;
    IDirectXFile* file = NULL;
    if (FAILED(DirectXFileCreate(&file)) || !file) return 0;
    if (FAILED(RegisterXFileTemplates(file))) {
        file->Release();
        return 0;
    }
    IDirectXFileEnumObject* objects = NULL;
    if (FAILED(file->CreateEnumObject((LPVOID)fileName, DXFILELOAD_FROMFILE, &objects)) || !objects) {
        file->Release();
        return 0;
    }
    IDirectXFileData* object = NULL;
    while (SUCCEEDED(objects->GetNextDataObject(&object)) && object) {
        const int result = LoadFrame(object, NULL, 0, frameSlot, 0);
        object->Release();
        object = NULL;
        if (result == 0) break;
    }
    objects->Release();
    file->Release();
    return 1;
}

int MeshLoader::LoadFrame(IDirectXFileData* object, IDirectXFileData* /*parent*/, DWORD depth,
                          HierarchyFrame** frameSlot, int isReference) {
    walkGuard_.Enter(object, isReference != 0);
    const GUID* type = GetObjectType(object);
    HierarchyFrame* current = frameSlot ? *frameSlot : NULL;

    if (IsTemplate(type, TID_D3DRMFrame)) {
        if (!isReference && (WantFlags & WantFrames)) {
            HierarchyFrame* frame = new (std::nothrow) HierarchyFrame();
            if (frame) {
                frame->Name = GetObjectName(object);
                SetIdentityMatrix(&frame->TransformationMatrix);
                SetIdentityMatrix(&frame->CombinedMatrix);
                SetIdentityMatrix(&frame->LoadedMatrix);
                frame->pMeshContainer = NULL;
                frame->pFrameFirstChild = NULL;
                if (!current) {
                    frame->pFrameSibling = pFrameRoot;
                    pFrameRoot = frame;
                    frameSlot = &pFrameRoot;
                } else {
                    frame->pFrameSibling = current->pFrameFirstChild;
                    current->pFrameFirstChild = frame;
                    frameSlot = &current->pFrameFirstChild;
                }
            }
        }
    } else if (IsTemplate(type, TID_D3DRMFrameTransformMatrix)) {
        if (!isReference && (WantFlags & WantFrames) && current) {
            DWORD size = 0;
            const void* data = GetObjectData(object, &size);
            // Short data is not a matrix: the frame keeps what it has.
            if (data && size >= sizeof(D3DXMATRIX)) {
                std::memcpy(&current->TransformationMatrix.m[0][0], data, sizeof(D3DXMATRIX));
                std::memcpy(&current->LoadedMatrix.m[0][0], data, sizeof(D3DXMATRIX));
            }
        }
    } else if (IsTemplate(type, TID_D3DRMMesh)) {
        if (WantFlags & WantMeshes) {
            if (!isReference) {
                MeshContainer* container = NULL;
                LoadMeshContainer(&container, pDevice, object, TextureFolder, Fvf, MeshOptions);
                if (container) {
                    container->pNextMeshContainer = pContainerList;
                    pContainerList = container;
                    if ((WantFlags & WantFrames) && current) current->pMeshContainer = container;
                }
            } else if ((WantFlags & WantFrames) && current && pContainerList) {
                if (LPSTR name = GetObjectName(object)) {
                    current->pMeshContainer = pContainerList->FindByName(name);
                    delete[] name;
                }
            }
        }
    } else if (IsTemplate(type, TID_D3DRMMeshNormals)) {
        if (!isReference && (WantFlags & WantFrames) && frameSlot) {
            DWORD size = 0;
            const void* data = GetObjectData(object, &size);
            // As many words as the data has, the rest zero.
            DWORD words = data ? size / 4 : 0;
            if (words > 4) words = 4;
            std::memset(NormalsHeader, 0, sizeof NormalsHeader);
            if (words) std::memcpy(NormalsHeader, data, words * 4);
        }
    }

    const int result = LoadChildObjects(object, depth, frameSlot, isReference);
    walkGuard_.Leave();
    return result;
}

int MeshLoader::LoadChildObjects(IDirectXFileData* object, DWORD depth, HierarchyFrame** frameSlot,
                                 int isReference) {
    IDirectXFileObject* child = NULL;
    if (FAILED(object->GetNextObject(&child)) || !child) return 1;
    while (child) {
        int result = 1;
        IDirectXFileDataReference* reference = NULL;
        IDirectXFileData* data = NULL;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(&reference))) &&
            reference) {
            IDirectXFileData* target = NULL;
            if (SUCCEEDED(reference->Resolve(&target)) && target) {
                if (walkGuard_.MayFollow(target, depth + 1)) result = LoadFrame(target, object, depth + 1, frameSlot, 1);
                target->Release();
            }
            reference->Release();
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&data))) && data) {
            result = LoadFrame(data, object, depth + 1, frameSlot, isReference);
            data->Release();
        }
        child->Release();
        if (result == 0) return 0;
        child = NULL;
        if (FAILED(object->GetNextObject(&child))) child = NULL;
    }
    return 1;
}

const GUID* MeshLoader::GetObjectType(IDirectXFileData* object) {
    if (!object) return NULL;
    const GUID* type = NULL;
    if (FAILED(object->GetType(&type))) return NULL;
    return type;
}

LPSTR MeshLoader::GetObjectName(IDirectXFileData* object) { return CopyXFileObjectName(object); }

void* MeshLoader::GetObjectData(IDirectXFileData* object, DWORD* size) {
    if (!object) return NULL;
    DWORD bytes = 0;
    void* data = NULL;
    object->GetData(NULL, &bytes, &data);
    if (size) *size = bytes;
    return data;
}

namespace {

void SetUp(MeshLoader& loader, IDirect3DDevice9* device, LPCSTR textureFolder, DWORD fvf, DWORD options,
           DWORD wantFlags) {
    loader.pDevice = device;
    loader.TextureFolder = textureFolder;
    loader.Fvf = fvf;
    loader.MeshOptions = options;
    loader.WantFlags = wantFlags;
    loader.pContainerList = NULL;
    loader.pFrameRoot = NULL;
}

// Hands the chain and the root over to the outputs, or destroys them.
void HandOver(MeshLoader& loader, MeshContainer** meshOut, HierarchyFrame** rootOut) {
    if (meshOut)
        *meshOut = loader.pContainerList;
    else
        delete loader.pContainerList;
    if (rootOut)
        *rootOut = loader.pFrameRoot;
    else
        FreeFrameTree(loader.pFrameRoot);
    loader.pContainerList = NULL;
    loader.pFrameRoot = NULL;
}

}  // namespace

HRESULT LoadSkinnedMeshHierarchy(MeshContainer** meshOut, HierarchyFrame** rootOut, IDirect3DDevice9* device,
                                 LPCSTR fileName, LPCSTR textureFolder, DWORD fvf, DWORD options) {
    if (!device || !fileName || !textureFolder) return E_FAIL;
    MeshLoader loader;
    SetUp(loader, device, textureFolder, fvf, options,
          (meshOut ? MeshLoader::WantMeshes : 0) | (rootOut ? MeshLoader::WantFrames : 0));
    loader.LoadFile(fileName, NULL);
    if (meshOut && rootOut && loader.pContainerList && loader.pFrameRoot) {
        std::memcpy(loader.pContainerList->NormalsHeader, loader.NormalsHeader, sizeof loader.NormalsHeader);
        BindBones(loader.pContainerList, loader.pFrameRoot, NULL, NULL);
    }
    HandOver(loader, meshOut, rootOut);
    return S_OK;
}

HRESULT LoadMeshHierarchyAlt(MeshContainer** meshOut, HierarchyFrame** rootOut, HierarchyFrame* after,
                             IDirect3DDevice9* device, LPCSTR fileName, LPCSTR textureFolder, DWORD fvf,
                             DWORD options) {
    if (!device || !fileName || !textureFolder) return E_FAIL;
    MeshLoader loader;
    SetUp(loader, device, textureFolder, fvf, options,
          (meshOut ? MeshLoader::WantMeshes : 0) | (rootOut ? MeshLoader::WantFrames : 0));
    loader.LoadFile(fileName, NULL);
    if (meshOut && rootOut && loader.pContainerList && loader.pFrameRoot) {
        if (after) after->pFrameSibling = loader.pFrameRoot;
        BindBones(loader.pContainerList, loader.pFrameRoot, NULL, NULL);
    }
    HandOver(loader, meshOut, rootOut);
    return S_OK;
}

HRESULT LoadMeshHierarchy(MeshContainer** meshOut, HierarchyFrame** rootOut, IDirect3DDevice9* device,
                          LPCSTR fileName, LPCSTR textureFolder, DWORD fvf, DWORD options) {
    if (!meshOut || !device || !fileName || !textureFolder) return E_FAIL;
    MeshLoader loader;
    SetUp(loader, device, textureFolder, fvf, options,
          MeshLoader::WantMeshes | (rootOut ? MeshLoader::WantFrames : 0));
    loader.LoadFile(fileName, NULL);
    bool boneFound = false;
    D3DXMATRIX firstBone;
    if (rootOut && loader.pContainerList && loader.pFrameRoot)
        BindBones(loader.pContainerList, loader.pFrameRoot, &boneFound, &firstBone);
    HandOver(loader, meshOut, rootOut);

    MeshContainer* single = NULL;
    HRESULT hr = LoadSingleMesh(&single, device, fileName, textureFolder, fvf, options);
    if (FAILED(hr)) return hr;
    // The first pass's containers stay reachable only from the frames that
    // name them; they are kept here so that the clean-up can release them.
    if (*meshOut) FirstPassChains().push_back(*meshOut);
    *meshOut = single;
    if (boneFound) single->FirstBoneMatrix = firstBone;
    return S_OK;
}

HRESULT LoadMeshFromXAlt(MeshContainer** meshOut, IDirect3DDevice9* device, LPCSTR fileName,
                         LPCSTR textureFolder, DWORD fvf, DWORD options) {
    return LoadSingleMesh(meshOut, device, fileName, textureFolder, fvf, options);
}

void ReleaseFirstPassContainers() {
    std::vector<MeshContainer*>& chains = FirstPassChains();
    for (MeshContainer* chain : chains) delete chain;
    chains.clear();
}

void SetIdentityMatrix(D3DXMATRIX* matrix) {
    if (!matrix) return;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) matrix->m[r][c] = r == c ? 1.0f : 0.0f;
}
