// Meshes, skin information, frame records and the X-file mesh loaders of the
// utility library. Meshes keep their vertices, indices and attributes in CPU
// memory whatever pool the options ask for; the device uploads them when drawn.
#pragma once

#include <d3d9.h>
#include <dxfile.h>

#include "d3dx9core.h"
#include "d3dx9math.h"

struct ID3DXBaseMesh;
struct ID3DXMesh;
struct ID3DXSkinInfo;
typedef ID3DXBaseMesh* LPD3DXBASEMESH;
typedef ID3DXMesh* LPD3DXMESH;
typedef ID3DXSkinInfo* LPD3DXSKININFO;
typedef D3DXMATRIX* LPD3DXMATRIX;

extern const IID IID_ID3DXBaseMesh;
extern const IID IID_ID3DXMesh;
extern const IID IID_ID3DXSkinInfo;

// Mesh creation options.
#define D3DXMESH_32BIT 0x001
#define D3DXMESH_DONOTCLIP 0x002
#define D3DXMESH_POINTS 0x004
#define D3DXMESH_RTPATCHES 0x008
#define D3DXMESH_NPATCHES 0x4000
#define D3DXMESH_VB_SYSTEMMEM 0x010
#define D3DXMESH_VB_MANAGED 0x020
#define D3DXMESH_VB_WRITEONLY 0x040
#define D3DXMESH_VB_DYNAMIC 0x080
#define D3DXMESH_VB_SOFTWAREPROCESSING 0x8000
#define D3DXMESH_IB_SYSTEMMEM 0x100
#define D3DXMESH_IB_MANAGED 0x200
#define D3DXMESH_IB_WRITEONLY 0x400
#define D3DXMESH_IB_DYNAMIC 0x800
#define D3DXMESH_IB_SOFTWAREPROCESSING 0x10000
#define D3DXMESH_VB_SHARE 0x1000
#define D3DXMESH_USEHWONLY 0x2000
#define D3DXMESH_SYSTEMMEM 0x110
#define D3DXMESH_MANAGED 0x220
#define D3DXMESH_WRITEONLY 0x440
#define D3DXMESH_DYNAMIC 0x880
#define D3DXMESH_SOFTWAREPROCESSING 0x18000

// OptimizeInplace flags. Here every sort reorders faces only: vertices keep
// their places, so skin information and copies of the mesh stay valid.
#define D3DXMESHOPT_DEVICEINDEPENDENT 0x00400000
#define D3DXMESHOPT_COMPACT 0x01000000
#define D3DXMESHOPT_ATTRSORT 0x02000000
#define D3DXMESHOPT_VERTEXCACHE 0x04000000
#define D3DXMESHOPT_STRIPREORDER 0x08000000
#define D3DXMESHOPT_IGNOREVERTS 0x10000000
#define D3DXMESHOPT_DONOTSPLIT 0x20000000

#ifndef _FACDD
#define _FACDD 0x876
#endif
#ifndef MAKE_DDHRESULT
#define MAKE_DDHRESULT(code) MAKE_HRESULT(1, _FACDD, code)
#endif
#define D3DXERR_CANNOTMODIFYINDEXBUFFER MAKE_DDHRESULT(2900)
#define D3DXERR_INVALIDMESH MAKE_DDHRESULT(2901)
#define D3DXERR_CANNOTATTRSORT MAKE_DDHRESULT(2902)
#define D3DXERR_SKINNINGNOTSUPPORTED MAKE_DDHRESULT(2903)
#define D3DXERR_TOOMANYINFLUENCES MAKE_DDHRESULT(2904)
#define D3DXERR_INVALIDDATA MAKE_DDHRESULT(2905)
#define D3DXERR_LOADEDMESHASNODATA MAKE_DDHRESULT(2906)
#define D3DXERR_DUPLICATENAMEDFRAGMENT MAKE_DDHRESULT(2907)

typedef enum _D3DXMESHDATATYPE {
    D3DXMESHTYPE_MESH = 0x001,
    D3DXMESHTYPE_PMESH = 0x002,
    D3DXMESHTYPE_PATCHMESH = 0x003,
    D3DXMESHTYPE_FORCE_DWORD = 0x7fffffff
} D3DXMESHDATATYPE;

typedef struct _D3DXATTRIBUTERANGE {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
} D3DXATTRIBUTERANGE, *LPD3DXATTRIBUTERANGE;

typedef struct _D3DXMATERIAL {
    D3DMATERIAL9 MatD3D;
    LPSTR pTextureFilename;
} D3DXMATERIAL, *LPD3DXMATERIAL;

typedef enum _D3DXEFFECTDEFAULTTYPE {
    D3DXEDT_STRING = 0x1,
    D3DXEDT_FLOATS = 0x2,
    D3DXEDT_DWORD = 0x3,
    D3DXEDT_FORCEDWORD = 0x7fffffff
} D3DXEFFECTDEFAULTTYPE;

typedef struct _D3DXEFFECTDEFAULT {
    LPSTR pParamName;
    D3DXEFFECTDEFAULTTYPE Type;
    DWORD NumBytes;
    LPVOID pValue;
} D3DXEFFECTDEFAULT, *LPD3DXEFFECTDEFAULT;

// The loaders never make effect instances; the type is here for the records.
typedef struct _D3DXEFFECTINSTANCE {
    LPSTR pEffectFilename;
    DWORD NumDefaults;
    LPD3DXEFFECTDEFAULT pDefaults;
} D3DXEFFECTINSTANCE, *LPD3DXEFFECTINSTANCE;

typedef struct _D3DXMESHDATA {
    D3DXMESHDATATYPE Type;
    LPD3DXMESH pMesh;
} D3DXMESHDATA, *LPD3DXMESHDATA;

typedef struct _D3DXMESHCONTAINER {
    LPSTR Name;
    D3DXMESHDATA MeshData;
    LPD3DXMATERIAL pMaterials;
    LPD3DXEFFECTINSTANCE pEffects;
    DWORD NumMaterials;
    DWORD* pAdjacency;
    LPD3DXSKININFO pSkinInfo;
    struct _D3DXMESHCONTAINER* pNextMeshContainer;
} D3DXMESHCONTAINER, *LPD3DXMESHCONTAINER;

typedef struct _D3DXFRAME {
    LPSTR Name;
    D3DXMATRIX TransformationMatrix;
    LPD3DXMESHCONTAINER pMeshContainer;
    struct _D3DXFRAME* pFrameSibling;
    struct _D3DXFRAME* pFrameFirstChild;
} D3DXFRAME, *LPD3DXFRAME;

// One hit of D3DXIntersect's list of all hits.
typedef struct _D3DXINTERSECTINFO {
    DWORD FaceIndex;
    FLOAT U;
    FLOAT V;
    FLOAT Dist;
} D3DXINTERSECTINFO, *LPD3DXINTERSECTINFO;

struct ID3DXBaseMesh : public IUnknown {
    // Draws the faces whose attribute id is AttribId, with the device's current
    // transforms, material, textures and states. The mesh binds its own vertex
    // format, stream 0 and indices.
    virtual HRESULT DrawSubset(DWORD AttribId) = 0;
    virtual DWORD GetNumFaces() = 0;
    virtual DWORD GetNumVertices() = 0;
    virtual DWORD GetFVF() = 0;
    virtual DWORD GetNumBytesPerVertex() = 0;
    virtual DWORD GetOptions() = 0;
    virtual HRESULT GetDevice(LPDIRECT3DDEVICE9* ppDevice) = 0;
    // Components present in both formats are copied, the others zeroed.
    virtual HRESULT CloneMeshFVF(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice,
                                 LPD3DXMESH* ppCloneMesh) = 0;
    virtual HRESULT GetVertexBuffer(LPDIRECT3DVERTEXBUFFER9* ppVB) = 0;
    virtual HRESULT GetIndexBuffer(LPDIRECT3DINDEXBUFFER9* ppIB) = 0;
    virtual HRESULT LockVertexBuffer(DWORD Flags, LPVOID* ppData) = 0;
    virtual HRESULT UnlockVertexBuffer() = 0;
    virtual HRESULT LockIndexBuffer(DWORD Flags, LPVOID* ppData) = 0;
    virtual HRESULT UnlockIndexBuffer() = 0;
    // pAttribTable null: only the number of entries.
    virtual HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) = 0;
};

struct ID3DXMesh : public ID3DXBaseMesh {
    virtual HRESULT LockAttributeBuffer(DWORD Flags, DWORD** ppData) = 0;
    virtual HRESULT UnlockAttributeBuffer() = 0;
    virtual HRESULT OptimizeInplace(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut,
                                    DWORD* pFaceRemap, LPD3DXBUFFER* ppVertexRemap) = 0;
};

struct ID3DXSkinInfo : public IUnknown {
    virtual DWORD GetNumBones() = 0;
    // Null when Bone is not below the bone count.
    virtual LPCSTR GetBoneName(DWORD Bone) = 0;
    virtual LPD3DXMATRIX GetBoneOffsetMatrix(DWORD Bone) = 0;
    virtual DWORD GetNumBoneInfluences(DWORD Bone) = 0;
    virtual HRESULT GetBoneInfluence(DWORD Bone, DWORD* pVertices, FLOAT* pWeights) = 0;
    // The vertex format the skinning reads and writes (its stride).
    virtual DWORD GetFVF() = 0;
    virtual HRESULT SetFVF(DWORD FVF) = 0;
    // Skins on the processor: each vertex is copied, then its position and
    // normal become the weighted sums over its bones. Inverse-transpose
    // matrices may be null (the bone matrices then serve for normals).
    virtual HRESULT UpdateSkinnedMesh(const D3DXMATRIX* pBoneTransforms,
                                      const D3DXMATRIX* pBoneInvTransposeTransforms, LPCVOID pVerticesSrc,
                                      LPVOID pVerticesDst) = 0;
};

HRESULT WINAPI D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF,
                                 LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppMesh);

// One Mesh data object of an X file. On failure no output is written.
HRESULT WINAPI D3DXLoadSkinMeshFromXof(LPDIRECTXFILEDATA pxofMesh, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                                       LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                                       LPD3DXBUFFER* ppEffectInstances, DWORD* pMatOut,
                                       LPD3DXSKININFO* ppSkinInfo, LPD3DXMESH* ppMesh);

// The whole file as one mesh: every Mesh in the file, each placed by the
// frames above it. Skin data is ignored.
HRESULT WINAPI D3DXLoadMeshFromXA(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                                  LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                                  LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials, LPD3DXMESH* ppMesh);
#define D3DXLoadMeshFromX D3DXLoadMeshFromXA

HRESULT WINAPI D3DXComputeBoundingBox(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                      D3DXVECTOR3* pMin, D3DXVECTOR3* pMax);

UINT WINAPI D3DXGetFVFVertexSize(DWORD FVF);

// Every face counts from both sides. *pHit is always written; the other
// outputs (each may be null) only on a hit.
HRESULT WINAPI D3DXIntersect(LPD3DXBASEMESH pMesh, const D3DXVECTOR3* pRayPos, const D3DXVECTOR3* pRayDir,
                             BOOL* pHit, DWORD* pFaceIndex, FLOAT* pU, FLOAT* pV, FLOAT* pDist,
                             LPD3DXBUFFER* ppAllHits, DWORD* pCountOfHits);
