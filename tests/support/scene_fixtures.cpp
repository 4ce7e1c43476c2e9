#include "scene_fixtures.h"

#include <cstring>

#include "platform/testing.h"

namespace scene_fixtures {

ID3DXMesh* MakeMesh(IDirect3DDevice9* device, const std::vector<D3DXVECTOR3>& positions,
                    const std::vector<WORD>& indices, const std::vector<DWORD>& attributes, DWORD fvf) {
    ID3DXMesh* mesh = nullptr;
    const DWORD faces = static_cast<DWORD>(indices.size() / 3);
    if (FAILED(D3DXCreateMeshFVF(faces, static_cast<DWORD>(positions.size()), D3DXMESH_SYSTEMMEM, fvf, device,
                                 &mesh)))
        return nullptr;
    const UINT stride = D3DXGetFVFVertexSize(fvf);
    void* data = nullptr;
    mesh->LockVertexBuffer(0, &data);
    std::memset(data, 0, positions.size() * stride);
    for (size_t i = 0; i < positions.size(); ++i)
        std::memcpy(static_cast<char*>(data) + i * stride, &positions[i], sizeof(D3DXVECTOR3));
    mesh->UnlockVertexBuffer();
    mesh->LockIndexBuffer(0, &data);
    std::memcpy(data, indices.data(), indices.size() * sizeof(WORD));
    mesh->UnlockIndexBuffer();
    DWORD* ids = nullptr;
    mesh->LockAttributeBuffer(0, &ids);
    for (DWORD f = 0; f < faces; ++f) ids[f] = f < attributes.size() ? attributes[f] : 0;
    mesh->UnlockAttributeBuffer();
    return mesh;
}

ID3DXMesh* MakeQuad(IDirect3DDevice9* device) {
    return MakeMesh(device, {{-1, -1, 0}, {-1, 1, 0}, {1, -1, 0}, {1, 1, 0}}, {0, 1, 2, 2, 1, 3});
}

MeshContainer* MakeContainer(ID3DXMesh* mesh, const std::vector<float>& alphas) {
    MeshContainer* c = new MeshContainer();
    c->MeshData.Type = D3DXMESHTYPE_MESH;
    c->MeshData.pMesh = mesh;
    c->NumMaterials = static_cast<DWORD>(alphas.size());
    if (!alphas.empty()) {
        c->pMaterials = new D3DXMATERIAL[alphas.size()]();
        c->ppTextures = new LPDIRECT3DTEXTURE9[alphas.size()]();
        for (size_t i = 0; i < alphas.size(); ++i) {
            D3DMATERIAL9& m = c->pMaterials[i].MatD3D;
            m.Diffuse.r = m.Diffuse.g = m.Diffuse.b = 0.5f;
            m.Diffuse.a = alphas[i];
            m.Ambient = m.Diffuse;
        }
    }
    return c;
}

HierarchyFrame* MakeFrame(const char* name, const D3DXMATRIX& loaded) {
    HierarchyFrame* f = new HierarchyFrame();
    if (name) {
        f->Name = new char[std::strlen(name) + 1];
        std::strcpy(f->Name, name);
    }
    f->TransformationMatrix = loaded;
    f->LoadedMatrix = loaded;
    D3DXMatrixIdentity(&f->CombinedMatrix);
    return f;
}

HierarchyFrame* MakeFrame(const char* name) {
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    return MakeFrame(name, identity);
}

std::vector<std::string> CallsStartingWith(const std::vector<std::string>& prefixes) {
    std::vector<std::string> out;
    for (const std::string& call : platform_testing::D3D9Calls())
        for (const std::string& p : prefixes)
            if (call.compare(0, p.size(), p) == 0) {
                out.push_back(call);
                break;
            }
    return out;
}

FailingMesh::FailingMesh(ID3DXMesh* inner) : inner_(inner) {}
FailingMesh::~FailingMesh() { inner_->Release(); }

HRESULT FailingMesh::QueryInterface(REFIID riid, void** out) { return inner_->QueryInterface(riid, out); }
ULONG FailingMesh::AddRef() { return ++refs_; }
ULONG FailingMesh::Release() {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}
HRESULT FailingMesh::DrawSubset(DWORD AttribId) { return inner_->DrawSubset(AttribId); }
DWORD FailingMesh::GetNumFaces() { return inner_->GetNumFaces(); }
DWORD FailingMesh::GetNumVertices() { return inner_->GetNumVertices(); }
DWORD FailingMesh::GetFVF() { return inner_->GetFVF(); }
DWORD FailingMesh::GetNumBytesPerVertex() { return inner_->GetNumBytesPerVertex(); }
DWORD FailingMesh::GetOptions() { return inner_->GetOptions(); }
HRESULT FailingMesh::GetDevice(LPDIRECT3DDEVICE9* ppDevice) {
    ++getDeviceCalls;
    return inner_->GetDevice(ppDevice);
}
HRESULT FailingMesh::CloneMeshFVF(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppCloneMesh) {
    return inner_->CloneMeshFVF(Options, FVF, pD3DDevice, ppCloneMesh);
}
HRESULT FailingMesh::GetVertexBuffer(LPDIRECT3DVERTEXBUFFER9* ppVB) { return inner_->GetVertexBuffer(ppVB); }
HRESULT FailingMesh::GetIndexBuffer(LPDIRECT3DINDEXBUFFER9* ppIB) { return inner_->GetIndexBuffer(ppIB); }
HRESULT FailingMesh::LockVertexBuffer(DWORD Flags, LPVOID* ppData) {
    ++vertexLocks;
    if (failVertexLock) return D3DERR_INVALIDCALL;
    return inner_->LockVertexBuffer(Flags, ppData);
}
HRESULT FailingMesh::UnlockVertexBuffer() {
    ++vertexUnlocks;
    return inner_->UnlockVertexBuffer();
}
HRESULT FailingMesh::LockIndexBuffer(DWORD Flags, LPVOID* ppData) {
    ++indexLocks;
    if (failIndexLock) return D3DERR_INVALIDCALL;
    return inner_->LockIndexBuffer(Flags, ppData);
}
HRESULT FailingMesh::UnlockIndexBuffer() {
    ++indexUnlocks;
    return inner_->UnlockIndexBuffer();
}
HRESULT FailingMesh::GetAttributeTable(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) {
    return inner_->GetAttributeTable(pAttribTable, pAttribTableSize);
}
HRESULT FailingMesh::LockAttributeBuffer(DWORD Flags, DWORD** ppData) {
    return inner_->LockAttributeBuffer(Flags, ppData);
}
HRESULT FailingMesh::UnlockAttributeBuffer() { return inner_->UnlockAttributeBuffer(); }
HRESULT FailingMesh::OptimizeInplace(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut,
                                     DWORD* pFaceRemap, LPD3DXBUFFER* ppVertexRemap) {
    return inner_->OptimizeInplace(Flags, pAdjacencyIn, pAdjacencyOut, pFaceRemap, ppVertexRemap);
}

}  // namespace scene_fixtures
