// Meshes, containers and frames made by hand for the scene tests, a mesh
// whose locks can be made to fail, the device log filtered to the calls a
// test looks at, and the count of live objects and matrices they compare.
#pragma once

#include <d3dx9.h>

#include <string>
#include <vector>

#include "scene/HierarchyFrame.h"
#include "scene/MeshContainer.h"
#include "tools/xwriter/xwriter.h"

namespace scene_fixtures {

// The objects of the device, the utility library and the X-file reader alive now.
int LiveObjects();

D3DXMATRIX Identity();
D3DXMATRIX Translation(float x, float y, float z);
D3DXMATRIX RotationZ(float a);
// Element by element, within 1e-5.
void ExpectNear(const D3DXMATRIX& a, const D3DXMATRIX& b);

// Position, normal and one texture coordinate: 32 bytes a vertex.
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

// A mesh of the given positions (the other components zero), triangles and
// attribute ids (all 0 when empty). Not sorted: it has no attribute table.
ID3DXMesh* MakeMesh(IDirect3DDevice9* device, const std::vector<D3DXVECTOR3>& positions,
                    const std::vector<WORD>& indices, const std::vector<DWORD>& attributes = {},
                    DWORD fvf = kFvf);

// One quad (two triangles) in the plane z = 0 from (-1,-1) to (1,1).
ID3DXMesh* MakeQuad(IDirect3DDevice9* device);

// A container holding `mesh` (its reference passes to the container) with
// one material per alpha, diffuse (0.5, 0.5, 0.5, alpha), no textures.
MeshContainer* MakeContainer(ID3DXMesh* mesh, const std::vector<float>& alphas);

// A frame as the loader makes it, the given matrix as its loaded matrix.
HierarchyFrame* MakeFrame(const char* name, const D3DXMATRIX& loaded);
HierarchyFrame* MakeFrame(const char* name);

// The log entries of the device that start with any of the prefixes.
std::vector<std::string> CallsStartingWith(const std::vector<std::string>& prefixes);

// Delegates to a real mesh; its locks fail when told to, and it counts them.
class FailingMesh : public ID3DXMesh {
public:
    explicit FailingMesh(ID3DXMesh* inner);  // takes the reference
    virtual ~FailingMesh();

    bool failVertexLock = false;
    bool failIndexLock = false;
    int vertexLocks = 0;
    int vertexUnlocks = 0;
    int indexLocks = 0;
    int indexUnlocks = 0;
    int getDeviceCalls = 0;

    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT DrawSubset(DWORD AttribId) override;
    DWORD GetNumFaces() override;
    DWORD GetNumVertices() override;
    DWORD GetFVF() override;
    DWORD GetNumBytesPerVertex() override;
    DWORD GetOptions() override;
    HRESULT GetDevice(LPDIRECT3DDEVICE9* ppDevice) override;
    HRESULT CloneMeshFVF(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppCloneMesh) override;
    HRESULT GetVertexBuffer(LPDIRECT3DVERTEXBUFFER9* ppVB) override;
    HRESULT GetIndexBuffer(LPDIRECT3DINDEXBUFFER9* ppIB) override;
    HRESULT LockVertexBuffer(DWORD Flags, LPVOID* ppData) override;
    HRESULT UnlockVertexBuffer() override;
    HRESULT LockIndexBuffer(DWORD Flags, LPVOID* ppData) override;
    HRESULT UnlockIndexBuffer() override;
    HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) override;
    HRESULT LockAttributeBuffer(DWORD Flags, DWORD** ppData) override;
    HRESULT UnlockAttributeBuffer() override;
    HRESULT OptimizeInplace(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                            LPD3DXBUFFER* ppVertexRemap) override;

private:
    ID3DXMesh* inner_;
    ULONG refs_ = 1;
};

// --- X files, written with our writer ---

using xwriter::Object;

Object XFrame(const std::string& name, std::vector<Object> children = {});
Object XMatrix(const D3DXMATRIX& m);  // a FrameTransformMatrix
Object XTranslation(float x, float y, float z);
// Faces are lists of vertex indices.
Object XMesh(const std::string& name, const std::vector<D3DXVECTOR3>& positions,
             const std::vector<std::vector<int>>& faces, std::vector<Object> children = {});
// One triangle at height y.
Object XTriangle(const std::string& name, float y = 0, std::vector<Object> children = {});
Object XNormals(const std::vector<D3DXVECTOR3>& normals, const std::vector<std::vector<int>>& faces);
Object XMaterialList(const std::vector<int>& faceMaterials, std::vector<Object> materials);
Object XMaterial(float r, float g, float b, float a, const char* texture = nullptr);
Object XSkinHeader(int bones);
Object XSkinWeights(const std::string& bone, const std::vector<int>& vertices, const std::vector<float>& weights,
                    const D3DXMATRIX& offset);
Object XReference(const std::string& name);
Object XObject(const std::string& templateName, const std::string& name, std::vector<Object> children = {});

// A file of the given top-level objects that declares the skin templates
// (and the extra template definitions given).
xwriter::File XFileOf(std::vector<Object> objects, std::vector<std::string> extraTemplates = {});

// A folder of its own under the temporary folder, removed with everything
// in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with a trailing slash, as a texture folder is given.
    const std::string& Path() const { return path_; }
    std::string Write(const std::string& name, const xwriter::File& file, xwriter::Encoding encoding) const;
    std::string WriteText(const std::string& name, const std::string& bytes) const;
    // A 2x2 24-bit bitmap of one colour.
    std::string WriteBitmap(const std::string& name, unsigned char r, unsigned char g, unsigned char b) const;

private:
    std::string path_;
};

}  // namespace scene_fixtures
