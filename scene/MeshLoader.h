// The X-file hierarchy loader: a tree of frames and a chain of mesh
// containers from one file, read through the X-file reader service.
#pragma once

#include <d3dx9.h>
#include <dxfile.h>

#include "scene/HierarchyFrame.h"
#include "scene/MeshContainer.h"
#include "scene/XFileWalk.h"

// The working context of one load call.
class MeshLoader {
public:
    enum { WantMeshes = 1, WantFrames = 2 };

    MeshLoader();
    ~MeshLoader();
    MeshLoader(const MeshLoader&) = delete;
    MeshLoader& operator=(const MeshLoader&) = delete;

    // 1 when the file could be opened and walked, 0 when not.
    int LoadFile(LPCSTR fileName, HierarchyFrame** frameSlot);
    // One data object and everything below it.
    int LoadFrame(IDirectXFileData* object, IDirectXFileData* parent, DWORD depth, HierarchyFrame** frameSlot,
                  int isReference);
    // 1, or 0 when the handling of a child gave 0.
    int LoadChildObjects(IDirectXFileData* object, DWORD depth, HierarchyFrame** frameSlot, int isReference);

    const GUID* GetObjectType(IDirectXFileData* object);
    // A new heap copy (delete[]) of the object's name, or null.
    LPSTR GetObjectName(IDirectXFileData* object);
    // The object's whole data, valid while the object lives; null for a null object.
    void* GetObjectData(IDirectXFileData* object, DWORD* size);

    IDirect3DDevice9* pDevice;  // not owned
    LPCSTR TextureFolder;       // not owned
    DWORD Fvf;
    DWORD MeshOptions;
    DWORD WantFlags;
    MeshContainer* pContainerList;  // owned, newest first
    HierarchyFrame* pFrameRoot;     // owned, newest first
    DWORD NormalsHeader[4];

private:
    XFileWalkGuard walkGuard_;
};

// Frames and mesh containers of a file, the bones of every skinned container
// bound to the frames of the same names. Either output may be null; the
// result is 0 also when the file cannot be read.
HRESULT LoadSkinnedMeshHierarchy(MeshContainer** meshOut, HierarchyFrame** rootOut, IDirect3DDevice9* device,
                                 LPCSTR fileName, LPCSTR textureFolder, DWORD fvf, DWORD options);

// LoadSkinnedMeshHierarchy, with the loaded tree hung after `after` (as its sibling).
HRESULT LoadMeshHierarchyAlt(MeshContainer** meshOut, HierarchyFrame** rootOut, HierarchyFrame* after,
                             IDirect3DDevice9* device, LPCSTR fileName, LPCSTR textureFolder, DWORD fvf,
                             DWORD options);

// The frames of the file, and the whole file as one mesh in one container.
HRESULT LoadMeshHierarchy(MeshContainer** meshOut, HierarchyFrame** rootOut, IDirect3DDevice9* device,
                          LPCSTR fileName, LPCSTR textureFolder, DWORD fvf, DWORD options);

// The whole file as one mesh in one container.
HRESULT LoadMeshFromXAlt(MeshContainer** meshOut, IDirect3DDevice9* device, LPCSTR fileName,
                         LPCSTR textureFolder, DWORD fvf, DWORD options);

// The containers of LoadMeshHierarchy's first pass are handed out by nobody
// but the frames that name them; they are kept here until released.
void ReleaseFirstPassContainers();

void SetIdentityMatrix(D3DXMATRIX* matrix);
