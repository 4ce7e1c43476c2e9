#include "scene_fixtures.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tools/xsamples/xsamples.h"

namespace scene_fixtures {

int LiveObjects() {
    return layer::LiveObjects(layer::ObjectFamily::D3DX) + layer::LiveObjects(layer::ObjectFamily::Direct3D) +
           layer::LiveObjects(layer::ObjectFamily::XFile);
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

D3DXMATRIX RotationZ(float a) {
    D3DXMATRIX m;
    D3DXMatrixRotationZ(&m, a);
    return m;
}

void ExpectNear(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i / 4][i % 4], b.m[i / 4][i % 4], 1e-5f) << "element " << i;
}

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

using xwriter::Value;

namespace {

void Floats(Object& o, std::initializer_list<float> values) {
    for (float v : values) o.data.push_back(Value::Float(v));
}
void Int(Object& o, int64_t v) { o.data.push_back(Value::Int(v)); }

void Faces(Object& o, const std::vector<std::vector<int>>& faces) {
    Int(o, static_cast<int64_t>(faces.size()));
    for (const auto& f : faces) {
        Int(o, static_cast<int64_t>(f.size()));
        for (int i : f) Int(o, i);
    }
}

void Vectors(Object& o, const std::vector<D3DXVECTOR3>& vectors) {
    Int(o, static_cast<int64_t>(vectors.size()));
    for (const D3DXVECTOR3& v : vectors) Floats(o, {v.x, v.y, v.z});
}

}  // namespace

Object XObject(const std::string& templateName, const std::string& name, std::vector<Object> children) {
    Object o;
    o.templateName = templateName;
    o.name = name;
    o.children = std::move(children);
    return o;
}

Object XFrame(const std::string& name, std::vector<Object> children) {
    return XObject("Frame", name, std::move(children));
}

Object XMatrix(const D3DXMATRIX& m) {
    Object o = XObject("FrameTransformMatrix", "");
    for (int i = 0; i < 16; ++i) o.data.push_back(Value::Float(m.m[i / 4][i % 4]));
    return o;
}

Object XTranslation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return XMatrix(m);
}

Object XMesh(const std::string& name, const std::vector<D3DXVECTOR3>& positions,
             const std::vector<std::vector<int>>& faces, std::vector<Object> children) {
    Object o = XObject("Mesh", name, std::move(children));
    Vectors(o, positions);
    Faces(o, faces);
    return o;
}

Object XTriangle(const std::string& name, float y, std::vector<Object> children) {
    return XMesh(name, {{0, y, 0}, {0, y + 1, 0}, {1, y, 0}}, {{0, 1, 2}}, std::move(children));
}

Object XNormals(const std::vector<D3DXVECTOR3>& normals, const std::vector<std::vector<int>>& faces) {
    Object o = XObject("MeshNormals", "");
    Vectors(o, normals);
    Faces(o, faces);
    return o;
}

Object XMaterialList(const std::vector<int>& faceMaterials, std::vector<Object> materials) {
    Object o = XObject("MeshMaterialList", "", std::move(materials));
    Int(o, static_cast<int64_t>(o.children.size()));
    Int(o, static_cast<int64_t>(faceMaterials.size()));
    for (int m : faceMaterials) Int(o, m);
    return o;
}

Object XMaterial(float r, float g, float b, float a, const char* texture) {
    Object o = XObject("Material", "");
    Floats(o, {r, g, b, a, 8.0f, 0.25f, 0.25f, 0.25f, 0.0f, 0.0f, 0.0f});
    if (texture) {
        Object t = XObject("TextureFilename", "");
        t.data.push_back(Value::Str(texture));
        o.children.push_back(t);
    }
    return o;
}

Object XSkinHeader(int bones) {
    Object o = XObject("XSkinMeshHeader", "");
    Int(o, 2);
    Int(o, 4);
    Int(o, bones);
    return o;
}

Object XSkinWeights(const std::string& bone, const std::vector<int>& vertices, const std::vector<float>& weights,
                    const D3DXMATRIX& offset) {
    Object o = XObject("SkinWeights", "");
    o.data.push_back(Value::Str(bone));
    Int(o, static_cast<int64_t>(vertices.size()));
    for (int v : vertices) Int(o, v);
    for (float w : weights) o.data.push_back(Value::Float(w));
    for (int i = 0; i < 16; ++i) o.data.push_back(Value::Float(offset.m[i / 4][i % 4]));
    return o;
}

Object XReference(const std::string& name) { return Object::Reference(name); }

xwriter::File XFileOf(std::vector<Object> objects, std::vector<std::string> extraTemplates) {
    xwriter::File f;
    f.templates.push_back(xsamples::kSkinTemplates);
    for (std::string& t : extraTemplates) f.templates.push_back(std::move(t));
    f.objects = std::move(objects);
    return f;
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "scene_test_XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("no temporary folder");
    path_ = std::string(buffer.data()) + "/";
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Write(const std::string& name, const xwriter::File& file, xwriter::Encoding encoding) const {
    return WriteText(name, xwriter::Write(file, encoding));
}

std::string TempFolder::WriteText(const std::string& name, const std::string& bytes) const {
    std::string path = path_ + name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string TempFolder::WriteBitmap(const std::string& name, unsigned char r, unsigned char g,
                                    unsigned char b) const {
    // 2x2 pixels of 3 bytes, each row padded to 8 bytes.
    unsigned char bmp[54 + 16] = {'B', 'M'};
    auto put32 = [&bmp](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    put32(2, sizeof bmp);
    put32(10, 54);
    put32(14, 40);
    put32(18, 2);
    put32(22, 2);
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, 16);
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 2; ++x) {
            unsigned char* p = bmp + 54 + row * 8 + x * 3;
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    return WriteText(name, std::string(reinterpret_cast<char*>(bmp), sizeof bmp));
}

}  // namespace scene_fixtures
