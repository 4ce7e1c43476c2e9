// Meshes and skin information from X files: how faces, normals, materials and
// weights are built, what a malformed mesh leaves behind (nothing), the face
// sort that keeps vertices in place, drawing subsets, software skinning, the
// whole-file merge and ray picking.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/mesh_fixtures.h"
#include "tools/xwriter/xwriter.h"

using namespace mesh_fixtures;

namespace {

int LiveObjects() {
    return layer::LiveObjects(layer::ObjectFamily::D3DX) + layer::LiveObjects(layer::ObjectFamily::Direct3D);
}

// What D3DXLoadSkinMeshFromXof gave, with sentinels in the outputs so a
// failure can be seen to leave them alone.
struct Loaded {
    HRESULT hr = E_FAIL;
    ID3DXBuffer* adjacency = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD numMaterials = 0;
    ID3DXSkinInfo* skin = nullptr;
    ID3DXMesh* mesh = nullptr;

    ~Loaded() {
        if (FAILED(hr)) return;
        for (IUnknown* p : {static_cast<IUnknown*>(adjacency), static_cast<IUnknown*>(materials),
                            static_cast<IUnknown*>(skin), static_cast<IUnknown*>(mesh)})
            if (p) p->Release();
    }
    const D3DXMATERIAL* Material(DWORD i) const {
        return static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer()) + i;
    }
};

template <class T>
T* Sentinel() {
    return reinterpret_cast<T*>(uintptr_t(0x5e5e5e5e));
}

class MeshTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform_testing::ResetD3D9();
        baseline = LiveObjects();
        device = NullDevice();
        ASSERT_NE(device, nullptr);
    }
    void TearDown() override {
        if (device) device->Release();
        EXPECT_EQ(LiveObjects(), baseline) << "an object leaked";
        platform_testing::ResetD3D9();
    }

    // Loads the first Mesh of a text file made of `body`.
    std::unique_ptr<Loaded> Load(const std::string& body, DWORD options = D3DXMESH_SYSTEMMEM) {
        auto l = std::make_unique<Loaded>();
        l->adjacency = Sentinel<ID3DXBuffer>();
        l->materials = Sentinel<ID3DXBuffer>();
        l->numMaterials = 0x5e5e;
        l->skin = Sentinel<ID3DXSkinInfo>();
        l->mesh = Sentinel<ID3DXMesh>();
        XMeshes x = ReadMeshes(TextFile(body));
        EXPECT_TRUE(SUCCEEDED(x.hr) && !x.meshes.empty()) << "fixture does not parse";
        if (x.meshes.empty()) return l;
        l->hr = D3DXLoadSkinMeshFromXof(x.meshes[0].get(), options, device, &l->adjacency, &l->materials, nullptr,
                                        &l->numMaterials, &l->skin, &l->mesh);
        return l;
    }

    int baseline = 0;
    IDirect3DDevice9* device = nullptr;
};

struct Vertex {  // XYZ | NORMAL | TEX1
    float x, y, z, nx, ny, nz, u, v;
};

std::vector<DWORD> Indices(ID3DXMesh* mesh) {
    void* data = nullptr;
    EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    std::vector<DWORD> out(mesh->GetNumFaces() * 3);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = (mesh->GetOptions() & D3DXMESH_32BIT) ? static_cast<DWORD*>(data)[i] : static_cast<WORD*>(data)[i];
    mesh->UnlockIndexBuffer();
    return out;
}

std::vector<DWORD> Attributes(ID3DXMesh* mesh) {
    DWORD* data = nullptr;
    EXPECT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    std::vector<DWORD> out(data, data + mesh->GetNumFaces());
    mesh->UnlockAttributeBuffer();
    return out;
}

std::vector<unsigned char> VertexBytes(ID3DXMesh* mesh) {
    void* data = nullptr;
    EXPECT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    auto* b = static_cast<unsigned char*>(data);
    std::vector<unsigned char> out(b, b + mesh->GetNumVertices() * mesh->GetNumBytesPerVertex());
    mesh->UnlockVertexBuffer();
    return out;
}

template <class V>
std::vector<V> Vertices(ID3DXMesh* mesh) {
    std::vector<unsigned char> bytes = VertexBytes(mesh);
    EXPECT_EQ(mesh->GetNumBytesPerVertex(), sizeof(V));
    std::vector<V> out(bytes.size() / sizeof(V));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(V));
    return out;
}

const char* const kQuadAndTriangle = R"(
Mesh Shape {
  5;
  0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 2;0;0;;
  3;
  4;0,1,2,3;,
  3;1,4,2;,
  3;0,3,4;;
  MeshMaterialList {
    2; 2; 1, 0;;
    Material Red { 1;0;0;1;; 8; 0.5;0.5;0.5;; 0.25;0;0;; TextureFilename { "red.bmp"; } }
    Material Plain { 0;1;0;0.5;; 0; 0;0;0;; 0;0;0;; }
  }
}
)";

TEST_F(MeshTest, FacesAreFannedAndKeepTheirMaterial) {
    auto l = Load(kQuadAndTriangle);
    ASSERT_EQ(l->hr, D3D_OK);
    EXPECT_EQ(l->mesh->GetFVF(), DWORD(D3DFVF_XYZ));
    EXPECT_EQ(l->mesh->GetNumVertices(), 5u);
    ASSERT_EQ(l->mesh->GetNumFaces(), 4u);
    EXPECT_EQ(Indices(l->mesh), (std::vector<DWORD>{0, 1, 2, 0, 2, 3, 1, 4, 2, 0, 3, 4}));
    // The list is one index short: the last face repeats the last index.
    EXPECT_EQ(Attributes(l->mesh), (std::vector<DWORD>{1, 1, 0, 0}));
    EXPECT_EQ(l->skin, nullptr) << "no skin templates, no skin information";

    ASSERT_EQ(l->adjacency->GetBufferSize(), 4u * 3 * sizeof(DWORD));
    const DWORD* adj = static_cast<const DWORD*>(l->adjacency->GetBufferPointer());
    // The quad's two halves share the edge 0-2; the triangle 1-4-2 borders the quad on 1-2.
    EXPECT_EQ(adj[2], 1u);
    EXPECT_EQ(adj[3], 0u);
    EXPECT_EQ(adj[6 + 2], 0u);
}

TEST_F(MeshTest, LoadingLeavesTheCallersWalkOfTheChildrenAtTheFirst) {
    // The program walks a Mesh's children itself after the load (a MeshNormals
    // inside a frame's Mesh is taken then): the load must not use up its cursor.
    XMeshes x = ReadMeshes(TextFile(kQuadAndTriangle));
    ASSERT_FALSE(x.meshes.empty());
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD numMaterials = 0;
    ASSERT_EQ(D3DXLoadSkinMeshFromXof(x.meshes[0].get(), D3DXMESH_SYSTEMMEM, device, &adjacency, &materials,
                                      nullptr, &numMaterials, nullptr, &mesh),
              D3D_OK);
    IDirectXFileObject* child = nullptr;
    ASSERT_EQ(x.meshes[0]->GetNextObject(&child), DXFILE_OK);
    IDirectXFileData* data = nullptr;
    ASSERT_EQ(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&data)), DXFILE_OK);
    const GUID* type = nullptr;
    ASSERT_EQ(data->GetType(&type), DXFILE_OK);
    EXPECT_TRUE(IsEqualGUID(*type, TID_D3DRMMeshMaterialList));
    data->Release();
    child->Release();
    mesh->Release();
    adjacency->Release();
    materials->Release();
}

TEST_F(MeshTest, FacesOfFewerThanThreeCornersDrawNothingButKeepTheirMaterialSlot) {
    auto l = Load(R"(
Mesh {
  3; 0;0;0;, 0;1;0;, 1;0;0;;
  3; 0;;, 2;0,1;, 3;0,1,2;;
  MeshMaterialList { 2; 3; 1, 1, 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }
}
)");
    ASSERT_EQ(l->hr, D3D_OK);
    ASSERT_EQ(l->mesh->GetNumFaces(), 1u);
    EXPECT_EQ(Attributes(l->mesh), (std::vector<DWORD>{0}));
}

TEST_F(MeshTest, MaterialsAreThePlatformRecordsWithNamesInTheSameBuffer) {
    auto l = Load(kQuadAndTriangle);
    ASSERT_EQ(l->hr, D3D_OK);
    ASSERT_EQ(l->numMaterials, 2u);
    const D3DMATERIAL9& red = l->Material(0)->MatD3D;
    EXPECT_EQ(red.Diffuse.r, 1.0f);
    EXPECT_EQ(red.Diffuse.a, 1.0f);
    EXPECT_EQ(red.Ambient.r + red.Ambient.g + red.Ambient.b + red.Ambient.a, 0.0f);
    EXPECT_EQ(red.Specular.r, 0.5f);
    EXPECT_EQ(red.Specular.a, 1.0f);
    EXPECT_EQ(red.Emissive.r, 0.25f);
    EXPECT_EQ(red.Emissive.a, 1.0f);
    EXPECT_EQ(red.Power, 8.0f);
    ASSERT_NE(l->Material(0)->pTextureFilename, nullptr);
    EXPECT_STREQ(l->Material(0)->pTextureFilename, "red.bmp");
    const char* begin = static_cast<const char*>(l->materials->GetBufferPointer());
    EXPECT_GE(l->Material(0)->pTextureFilename, begin);
    EXPECT_LT(l->Material(0)->pTextureFilename, begin + l->materials->GetBufferSize());
    EXPECT_EQ(l->Material(1)->pTextureFilename, nullptr);
    EXPECT_EQ(l->Material(1)->MatD3D.Diffuse.a, 0.5f);
}

TEST_F(MeshTest, MaterialsMayBeReferencesToTopLevelOnesAndEitherTextureSpelling) {
    auto l = Load(R"(
template TextureFileName { <A42790E1-7810-11CF-8F52-0040333594A3> STRING filename; }
Material Stone { 0.5;0.5;0.5;1;; 1; 0;0;0;; 0;0;0;; TextureFileName { "stone.png"; } }
Mesh Tri {
  3; 0;0;0;, 0;1;0;, 1;0;0;;
  1; 3;0,1,2;;
  MeshMaterialList { 1; 1; 0;; { Stone } }
}
)");
    ASSERT_EQ(l->hr, D3D_OK);
    ASSERT_EQ(l->numMaterials, 1u);
    EXPECT_EQ(l->Material(0)->MatD3D.Diffuse.r, 0.5f);
    EXPECT_STREQ(l->Material(0)->pTextureFilename, "stone.png");
}

TEST_F(MeshTest, WithoutAMaterialListThereAreNoMaterials) {
    auto l = Load("Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }");
    ASSERT_EQ(l->hr, D3D_OK);
    EXPECT_EQ(l->numMaterials, 0u);
    EXPECT_EQ(l->materials, nullptr);
    ASSERT_NE(l->adjacency, nullptr) << "the adjacency comes even for one face";
    const DWORD* adj = static_cast<const DWORD*>(l->adjacency->GetBufferPointer());
    EXPECT_EQ(adj[0] & adj[1] & adj[2], 0xFFFFFFFFu);
}

// Two triangles meet at positions 1 and 2 with different normals: the second
// triangle's corners there become new vertices at the end, which keep the
// texture coordinates and the skin weights of the positions they copy.
const char* const kCrease = R"(
Mesh Crease {
  4; 0;0;0;, 1;0;0;, 1;1;0;, 2;1;0;;
  2; 3;0,1,2;, 3;1,3,2;;
  MeshNormals { 2; 0;0;-1;, 0;1;0;; 2; 3;0,0,0;, 3;1,1,0;; }
  MeshTextureCoords { 4; 0;0;, 0.5;0;, 0.5;0.5;, 1;0.5;; }
  XSkinMeshHeader { 2; 2; 2; }
  SkinWeights { "Upper"; 2; 1, 2; 0.25, 0.75; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
  SkinWeights { "Lower"; 2; 0, 1; 1, 0.75; 1,0,0,0, 0,1,0,0, 0,0,1,0, -1,-2,-3,1;; }
}
)";

TEST_F(MeshTest, NormalsOfTheirOwnSplitVerticesAndCarryTheWeights) {
    auto l = Load(kCrease);
    ASSERT_EQ(l->hr, D3D_OK);
    EXPECT_EQ(l->mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    std::vector<Vertex> v = Vertices<Vertex>(l->mesh);
    // Position 1 keeps normal 0 in place; its pairing with normal 1 in the
    // second face is new vertex 4. Position 2 meets normal 0 in both faces.
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(Indices(l->mesh), (std::vector<DWORD>{0, 1, 2, 4, 3, 2}));
    EXPECT_EQ(v[4].x, 1.0f);
    EXPECT_EQ(v[4].y, 0.0f);
    EXPECT_EQ(v[4].ny, 1.0f);
    EXPECT_EQ(v[1].nz, -1.0f);
    EXPECT_EQ(v[3].ny, 1.0f);
    EXPECT_EQ(v[4].u, 0.5f) << "texture coordinates follow the position";

    ASSERT_NE(l->skin, nullptr);
    EXPECT_EQ(l->skin->GetFVF(), l->mesh->GetFVF());
    // Each bone lists its file weights first, then the copies of split vertices.
    struct Expected {
        const char* name;
        std::vector<DWORD> vertices;
        std::vector<float> weights;
    } const bones[] = {{"Upper", {1, 2, 4}, {0.25f, 0.75f, 0.25f}}, {"Lower", {0, 1, 4}, {1.0f, 0.75f, 0.75f}}};
    ASSERT_EQ(l->skin->GetNumBones(), 2u);
    for (DWORD b = 0; b < 2; ++b) {
        SCOPED_TRACE(bones[b].name);
        EXPECT_STREQ(l->skin->GetBoneName(b), bones[b].name);
        const DWORD n = l->skin->GetNumBoneInfluences(b);
        ASSERT_EQ(n, bones[b].vertices.size());
        std::vector<DWORD> vertices(n);
        std::vector<float> weights(n);
        ASSERT_EQ(l->skin->GetBoneInfluence(b, vertices.data(), weights.data()), D3D_OK);
        EXPECT_EQ(vertices, bones[b].vertices);
        EXPECT_EQ(weights, bones[b].weights);
    }
    const D3DXMATRIX* offset = l->skin->GetBoneOffsetMatrix(1);
    ASSERT_NE(offset, nullptr);
    EXPECT_EQ(offset->_41, -1.0f);
    EXPECT_EQ(offset->_42, -2.0f);
    EXPECT_EQ(offset->_43, -3.0f);
    EXPECT_EQ(l->skin->GetBoneOffsetMatrix(2), nullptr);
    EXPECT_EQ(l->skin->GetBoneName(2), nullptr);
    EXPECT_EQ(l->skin->GetNumBoneInfluences(2), 0u);
    DWORD dv;
    float dw;
    EXPECT_LT(l->skin->GetBoneInfluence(2, &dv, &dw), 0);
}

TEST_F(MeshTest, VertexColoursBecomeTheDiffuseComponent) {
    auto l = Load(R"(
template Unknown { <01234567-0000-0000-0000-000000000001> DWORD n; }
Mesh {
  3; 0;0;0;, 0;1;0;, 1;0;0;;
  1; 3;0,1,2;;
  MeshVertexColors { 2; 0; 1;0;0;1;;, 2; 0;0;1;0.5;;; }
  Unknown { 1; }
}
)");
    ASSERT_EQ(l->hr, D3D_OK) << "an unknown child is passed over";
    EXPECT_EQ(l->mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_DIFFUSE));
    struct V {
        float x, y, z;
        D3DCOLOR c;
    };
    std::vector<V> v = Vertices<V>(l->mesh);
    EXPECT_EQ(v[0].c, 0xFFFF0000u);
    EXPECT_EQ(v[1].c, 0xFFFFFFFFu) << "a vertex without a colour is white";
    EXPECT_EQ(v[2].c, 0x800000FFu);
}

TEST_F(MeshTest, ASkinHeaderWithoutWeightsGivesSkinInformationWithoutBones) {
    auto l = Load("Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; XSkinMeshHeader { 0; 0; 0; } }");
    ASSERT_EQ(l->hr, D3D_OK);
    ASSERT_NE(l->skin, nullptr);
    EXPECT_EQ(l->skin->GetNumBones(), 0u);
}

TEST_F(MeshTest, MalformedMeshesFailWithNothingMadeAndNoOutputTouched) {
    const std::string tri = "3; 0;0;0;, 0;1;0;, 1;0;0;; 1; ";
    struct Case {
        const char* what;
        std::string body;
    } const cases[] = {
        {"face index", "Mesh { " + tri + "3;0,1,3;; }"},
        {"normal index", "Mesh { " + tri + "3;0,1,2;; MeshNormals { 1; 0;0;1;; 1; 3;0,0,1;; } }"},
        {"normal face count", "Mesh { " + tri + "3;0,1,2;; MeshNormals { 1; 0;0;1;; 0; ; } }"},
        {"normal face size", "Mesh { " + tri + "3;0,1,2;; MeshNormals { 1; 0;0;1;; 1; 2;0,0;; } }"},
        {"texture coordinates short", "Mesh { " + tri + "3;0,1,2;; MeshTextureCoords { 2; 0;0;, 1;1;; } }"},
        {"material index", "Mesh { " + tri + "3;0,1,2;; MeshMaterialList { 1; 1; 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }"},
        {"materials missing", "Mesh { " + tri + "3;0,1,2;; MeshMaterialList { 2; 1; 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }"},
        {"skin vertex index", "Mesh { " + tri + "3;0,1,2;; SkinWeights { \"B\"; 1; 3; 1; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }"},
        {"vertex colour index", "Mesh { " + tri + "3;0,1,2;; MeshVertexColors { 1; 5; 1;1;1;1;;; } }"},
        {"no faces", "Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 0; ; }"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = LiveObjects();
        auto l = Load(c.body);
        EXPECT_LT(l->hr, 0);
        EXPECT_EQ(l->mesh, Sentinel<ID3DXMesh>());
        EXPECT_EQ(l->adjacency, Sentinel<ID3DXBuffer>());
        EXPECT_EQ(l->materials, Sentinel<ID3DXBuffer>());
        EXPECT_EQ(l->skin, Sentinel<ID3DXSkinInfo>());
        EXPECT_EQ(l->numMaterials, 0x5e5eu);
        EXPECT_EQ(LiveObjects(), before);
    }
}

TEST_F(MeshTest, SixteenBitMeshesHoldAtMost65535Vertices) {
    // A strip of 65,536 vertices: too many for 16-bit indices, fine with 32.
    xwriter::Object mesh;
    mesh.templateName = "Mesh";
    const int n = 65536;
    mesh.data.push_back(xwriter::Value::Int(n));
    for (int i = 0; i < n; ++i)
        for (double c : {double(i / 2), double(i % 2), 0.0}) mesh.data.push_back(xwriter::Value::Float(c));
    mesh.data.push_back(xwriter::Value::Int(n - 2));
    for (int i = 0; i + 2 < n; ++i)
        for (int c : {3, i, i + 1, i + 2}) mesh.data.push_back(xwriter::Value::Int(c));
    xwriter::File file;
    file.objects.push_back(mesh);
    XMeshes x = ReadMeshes(xwriter::Write(file, xwriter::Encoding::Binary));
    ASSERT_EQ(x.meshes.size(), 1u);
    ID3DXMesh* m = Sentinel<ID3DXMesh>();
    EXPECT_LT(D3DXLoadSkinMeshFromXof(x.meshes[0].get(), D3DXMESH_SYSTEMMEM, device, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, &m),
              0);
    EXPECT_EQ(m, Sentinel<ID3DXMesh>());
    ASSERT_EQ(D3DXLoadSkinMeshFromXof(x.meshes[0].get(), D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, device, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, &m),
              D3D_OK);
    EXPECT_EQ(m->GetNumVertices(), DWORD(n));
    EXPECT_EQ(Indices(m)[3 * (n - 3) + 2], DWORD(n - 1));
    m->Release();
}

TEST_F(MeshTest, MeshObjectsHandOutReferencesTheCallerReleases) {
    auto l = Load(kQuadAndTriangle);
    ASSERT_EQ(l->hr, D3D_OK);
    IDirect3DDevice9* d = nullptr;
    ASSERT_EQ(l->mesh->GetDevice(&d), D3D_OK);
    EXPECT_EQ(d, device);
    d->Release();
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(l->mesh->GetVertexBuffer(&vb), D3D_OK);
    ASSERT_EQ(l->mesh->GetIndexBuffer(&ib), D3D_OK);
    D3DINDEXBUFFER_DESC desc;
    ib->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX16);
    EXPECT_EQ(device->SetStreamSource(0, vb, 0, l->mesh->GetNumBytesPerVertex()), D3D_OK);
    EXPECT_EQ(device->SetIndices(ib), D3D_OK);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    vb->Release();
    ib->Release();
    ID3DXMesh* asMesh = nullptr;
    ASSERT_EQ(l->mesh->QueryInterface(IID_ID3DXBaseMesh, reinterpret_cast<void**>(&asMesh)), S_OK);
    asMesh->Release();
    // Source and copy may be locked at once, as the skinning does.
    void *a = nullptr, *b = nullptr;
    ID3DXMesh* copy = nullptr;
    ASSERT_EQ(l->mesh->CloneMeshFVF(0, l->mesh->GetFVF(), device, &copy), D3D_OK);
    EXPECT_EQ(l->mesh->LockVertexBuffer(D3DLOCK_READONLY, &a), D3D_OK);
    EXPECT_EQ(copy->LockVertexBuffer(0, &b), D3D_OK);
    copy->UnlockVertexBuffer();
    l->mesh->UnlockVertexBuffer();
    copy->Release();
}

TEST_F(MeshTest, LocksCanBeMadeToFail) {
    auto l = Load(kQuadAndTriangle);
    ASSERT_EQ(l->hr, D3D_OK);
    platform_testing::FailD3DXMeshLocks(true);
    void* data = Sentinel<void>();
    EXPECT_LT(l->mesh->LockVertexBuffer(D3DLOCK_READONLY, &data), 0);
    EXPECT_LT(l->mesh->LockIndexBuffer(D3DLOCK_READONLY, &data), 0);
    EXPECT_EQ(data, Sentinel<void>());
    platform_testing::FailD3DXMeshLocks(false);
    ASSERT_EQ(l->mesh->LockVertexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    l->mesh->UnlockVertexBuffer();
}

// Five faces with attribute ids 2, 0, 1, 0, 2 on six vertices.
ID3DXMesh* Unsorted(IDirect3DDevice9* device) {
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXCreateMeshFVF(5, 6, D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_NORMAL, device, &mesh), D3D_OK);
    float* v = nullptr;
    mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    for (int i = 0; i < 36; ++i) v[i] = float(i);
    mesh->UnlockVertexBuffer();
    WORD* idx = nullptr;
    const WORD faces[15] = {0, 1, 2, 1, 2, 3, 2, 3, 4, 3, 4, 5, 5, 0, 1};
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    std::memcpy(idx, faces, sizeof faces);
    mesh->UnlockIndexBuffer();
    DWORD* attr = nullptr;
    mesh->LockAttributeBuffer(0, &attr);
    const DWORD ids[5] = {2, 0, 1, 0, 2};
    std::memcpy(attr, ids, sizeof ids);
    mesh->UnlockAttributeBuffer();
    return mesh;
}

TEST_F(MeshTest, AttributeSortMovesFacesStablyAndNeverVertices) {
    ID3DXMesh* mesh = Unsorted(device);
    const std::vector<unsigned char> before = VertexBytes(mesh);
    ID3DXMesh* copy = nullptr;
    ASSERT_EQ(mesh->CloneMeshFVF(0, mesh->GetFVF(), device, &copy), D3D_OK);
    DWORD n = 99;
    ASSERT_EQ(mesh->GetAttributeTable(nullptr, &n), D3D_OK);
    EXPECT_EQ(n, 0u) << "no table before the sort";

    DWORD remap[5];
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, remap, nullptr), D3D_OK);
    EXPECT_EQ(std::vector<DWORD>(remap, remap + 5), (std::vector<DWORD>{1, 3, 2, 0, 4}));
    EXPECT_EQ(Attributes(mesh), (std::vector<DWORD>{0, 0, 1, 2, 2}));
    EXPECT_EQ(Indices(mesh), (std::vector<DWORD>{1, 2, 3, 3, 4, 5, 2, 3, 4, 0, 1, 2, 5, 0, 1}));
    EXPECT_EQ(VertexBytes(mesh), before);
    ASSERT_EQ(mesh->GetAttributeTable(nullptr, &n), D3D_OK);
    ASSERT_EQ(n, 3u);
    D3DXATTRIBUTERANGE table[3];
    mesh->GetAttributeTable(table, &n);
    const D3DXATTRIBUTERANGE expected[3] = {{0, 0, 2, 1, 5}, {1, 2, 1, 2, 3}, {2, 3, 2, 0, 6}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::memcmp(&table[i], &expected[i], sizeof table[i]), 0)
            << table[i].AttribId << " " << table[i].FaceStart << " " << table[i].FaceCount << " "
            << table[i].VertexStart << " " << table[i].VertexCount;
    }
    // The copy made before the sort keeps the loaded face order and no table.
    EXPECT_EQ(Attributes(copy), (std::vector<DWORD>{2, 0, 1, 0, 2}));
    EXPECT_EQ(copy->GetAttributeTable(nullptr, &n), D3D_OK);
    EXPECT_EQ(n, 0u);
    copy->Release();
    mesh->Release();
}

TEST_F(MeshTest, AdjacencyFollowsTheSortedFaces) {
    ID3DXMesh* mesh = Unsorted(device);
    DWORD adjacency[15], sortedFromInput[15], before[15];
    // Faces 0 and 4 share the edge 0-1, faces 0 and 1 share 1-2, and so on along the strip.
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_COMPACT, nullptr, before, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(before[0], 4u);
    EXPECT_EQ(before[1], 1u);
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, before, sortedFromInput, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, adjacency, nullptr, nullptr), D3D_OK);
    // Old face 0 is now face 3; old face 4 is face 4; old face 1 is face 0.
    EXPECT_EQ(sortedFromInput[9], 4u);
    EXPECT_EQ(sortedFromInput[10], 0u);
    EXPECT_EQ(std::vector<DWORD>(adjacency, adjacency + 15), std::vector<DWORD>(sortedFromInput, sortedFromInput + 15));
    mesh->Release();
}

TEST_F(MeshTest, CloneConvertsTheFormatAndIndexWidth) {
    auto l = Load(kCrease);
    ASSERT_EQ(l->hr, D3D_OK);
    ASSERT_EQ(l->mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ID3DXMesh* clone = nullptr;
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    ASSERT_EQ(l->mesh->CloneMeshFVF(D3DXMESH_32BIT, fvf, device, &clone), D3D_OK);
    EXPECT_EQ(clone->GetFVF(), fvf);
    EXPECT_EQ(clone->GetNumBytesPerVertex(), 24u);
    EXPECT_EQ(Indices(clone), Indices(l->mesh));
    IDirect3DIndexBuffer9* ib = nullptr;
    clone->GetIndexBuffer(&ib);
    D3DINDEXBUFFER_DESC desc;
    ib->GetDesc(&desc);
    ib->Release();
    EXPECT_EQ(desc.Format, D3DFMT_INDEX32);
    struct Out {
        float x, y, z;
        D3DCOLOR diffuse;
        float u, v;
    };
    std::vector<Out> out = Vertices<Out>(clone);
    std::vector<Vertex> in = Vertices<Vertex>(l->mesh);
    ASSERT_EQ(out.size(), in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(out[i].x, in[i].x);
        EXPECT_EQ(out[i].y, in[i].y);
        EXPECT_EQ(out[i].diffuse, 0u) << "a component the source lacks is zero";
        EXPECT_EQ(out[i].u, in[i].u);
        EXPECT_EQ(out[i].v, in[i].v);
    }
    DWORD a = 0, b = 0;
    l->mesh->GetAttributeTable(nullptr, &a);
    clone->GetAttributeTable(nullptr, &b);
    EXPECT_EQ(a, b);
    clone->Release();
}

TEST_F(MeshTest, DrawSubsetBindsTheMeshAndDrawsItsFaces) {
    ID3DXMesh* mesh = Unsorted(device);
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    mesh->GetVertexBuffer(&vb);
    mesh->GetIndexBuffer(&ib);
    const std::string stream = "SetStreamSource(0,#" + std::to_string(platform_testing::D3D9ObjectId(vb)) + ",0,24)";
    const std::string indices = "SetIndices(#" + std::to_string(platform_testing::D3D9ObjectId(ib)) + ")";
    vb->Release();
    ib->Release();
    auto draws = [] {
        std::vector<std::string> out;
        for (const std::string& c : platform_testing::D3D9Calls())
            if (c.rfind("DrawIndexedPrimitive", 0) == 0) out.push_back(c);
        return out;
    };

    // Without a table each run of faces with the id is drawn: faces 0 and 4 for id 2.
    platform_testing::ClearD3D9Calls();
    EXPECT_EQ(mesh->DrawSubset(2), D3D_OK);
    EXPECT_EQ(draws(), (std::vector<std::string>{"DrawIndexedPrimitive(4,0,0,3,0,1)",
                                                 "DrawIndexedPrimitive(4,0,0,6,12,1)"}));
    EXPECT_GE(platform_testing::FindD3D9Call("SetFVF(0x12)"), 0);
    EXPECT_GE(platform_testing::FindD3D9Call(stream), 0);
    EXPECT_GE(platform_testing::FindD3D9Call(indices), 0);

    // A subset with no faces draws nothing and binds nothing.
    platform_testing::ClearD3D9Calls();
    EXPECT_EQ(mesh->DrawSubset(7), D3D_OK);
    EXPECT_TRUE(platform_testing::D3D9Calls().empty());

    // With the table, one draw per range.
    mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr);
    platform_testing::ClearD3D9Calls();
    EXPECT_EQ(mesh->DrawSubset(2), D3D_OK);
    EXPECT_EQ(draws(), (std::vector<std::string>{"DrawIndexedPrimitive(4,0,0,6,9,2)"}));
    platform_testing::ClearD3D9Calls();
    EXPECT_EQ(mesh->DrawSubset(0), D3D_OK);
    EXPECT_EQ(draws(), (std::vector<std::string>{"DrawIndexedPrimitive(4,0,1,5,0,2)"}));
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    mesh->Release();
}

// An unsorted mesh draws from its ids and indices as they are now.
TEST_F(MeshTest, DrawSubsetFollowsChangesOfTheIdsAndIndices) {
    ID3DXMesh* mesh = Unsorted(device);
    auto draws = [&](DWORD id) {
        platform_testing::ClearD3D9Calls();
        EXPECT_EQ(mesh->DrawSubset(id), D3D_OK);
        std::vector<std::string> out;
        for (const std::string& c : platform_testing::D3D9Calls())
            if (c.rfind("DrawIndexedPrimitive", 0) == 0) out.push_back(c);
        return out;
    };
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(draws(2), (std::vector<std::string>{"DrawIndexedPrimitive(4,0,0,3,0,1)",
                                                      "DrawIndexedPrimitive(4,0,0,6,12,1)"}));
    WORD* idx = nullptr;
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    idx[0] = 3, idx[1] = 4, idx[2] = 5;  // face 0 now uses vertices 3 to 5
    mesh->UnlockIndexBuffer();
    EXPECT_EQ(draws(2), (std::vector<std::string>{"DrawIndexedPrimitive(4,0,3,3,0,1)",
                                                  "DrawIndexedPrimitive(4,0,0,6,12,1)"}));
    DWORD* ids = nullptr;
    mesh->LockAttributeBuffer(0, &ids);
    ids[1] = 2;  // faces 0 and 1 make one run
    mesh->UnlockAttributeBuffer();
    EXPECT_EQ(draws(2), (std::vector<std::string>{"DrawIndexedPrimitive(4,0,1,5,0,2)",
                                                  "DrawIndexedPrimitive(4,0,0,6,12,1)"}));
    EXPECT_EQ(draws(0), (std::vector<std::string>{"DrawIndexedPrimitive(4,0,3,3,9,1)"}));
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    mesh->Release();
}

// Positions of an XYZ | NORMAL mesh after skinning.
struct SkinVertex {
    float x, y, z, nx, ny, nz;
};

TEST_F(MeshTest, SkinningWeighsTheBonesOfEachVertex) {
    // Vertex 0 half on each bone, vertex 1 all on bone 1, vertex 2 on no bone.
    auto l = Load(R"(
Mesh {
  3; 1;2;3;, 0;0;0;, 5;5;5;;
  1; 3;0,1,2;;
  MeshNormals { 1; 1;0;0;; 1; 3;0,0,0;; }
  SkinWeights { "A"; 1; 0; 0.5; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
  SkinWeights { "B"; 2; 0, 1; 0.5, 1; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
}
)");
    ASSERT_EQ(l->hr, D3D_OK);
    ASSERT_NE(l->skin, nullptr);
    D3DXMATRIX bones[2];
    D3DXMatrixTranslation(&bones[0], 2, 0, 0);
    // Bone B also turns a quarter about z, so its normals turn with it.
    D3DXMATRIX turn, move;
    D3DXMatrixRotationZ(&turn, D3DX_PI / 2);
    D3DXMatrixTranslation(&move, 0, 2, 0);
    D3DXMatrixMultiply(&bones[1], &turn, &move);

    std::vector<SkinVertex> src = Vertices<SkinVertex>(l->mesh), dst(3);
    ASSERT_EQ(l->skin->UpdateSkinnedMesh(bones, nullptr, src.data(), dst.data()), D3D_OK);
    // 0.5 (1+2, 2, 3) + 0.5 (-2, 1+2, 3)
    EXPECT_NEAR(dst[0].x, 0.5f, 1e-5);
    EXPECT_NEAR(dst[0].y, 2.5f, 1e-5);
    EXPECT_NEAR(dst[0].z, 3.0f, 1e-5);
    // Normal 0.5 (1,0,0) + 0.5 (0,1,0), not renormalised.
    EXPECT_NEAR(dst[0].nx, 0.5f, 1e-5);
    EXPECT_NEAR(dst[0].ny, 0.5f, 1e-5);
    EXPECT_NEAR(dst[1].x, 0.0f, 1e-5);
    EXPECT_NEAR(dst[1].y, 2.0f, 1e-5);
    EXPECT_EQ(std::memcmp(&dst[2], &src[2], sizeof(SkinVertex)), 0) << "an unweighted vertex is copied";

    // Pure translations (2,0,0) and (0,2,0) at half weight each move the vertex by (1,1,0).
    D3DXMatrixTranslation(&bones[1], 0, 2, 0);
    ASSERT_EQ(l->skin->UpdateSkinnedMesh(bones, nullptr, src.data(), dst.data()), D3D_OK);
    EXPECT_NEAR(dst[0].x, 2.0f, 1e-5);
    EXPECT_NEAR(dst[0].y, 3.0f, 1e-5);
    EXPECT_NEAR(dst[0].z, 3.0f, 1e-5);

    const std::vector<SkinVertex> untouched = dst;
    EXPECT_EQ(l->skin->UpdateSkinnedMesh(nullptr, nullptr, src.data(), dst.data()), D3DERR_INVALIDCALL);
    EXPECT_EQ(l->skin->UpdateSkinnedMesh(bones, nullptr, nullptr, dst.data()), D3DERR_INVALIDCALL);
    EXPECT_EQ(l->skin->UpdateSkinnedMesh(bones, nullptr, src.data(), nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(std::memcmp(dst.data(), untouched.data(), sizeof(SkinVertex) * 3), 0);
}

// Colours and texture coordinates ride along; a bone whose matrix has a w
// column other than (0, 0, 0, 1) divides by w, as TransformCoord does; and
// skinning in place gives what skinning into a copy gives.
TEST_F(MeshTest, SkinningKeepsTheRestOfEachVertexAndDividesByW) {
    auto l = Load(R"(
Mesh {
  4; 1;2;3;, -1;0.5;2;, 0;0;0;, 3;-2;1;;
  2; 3;0,1,2;, 3;1,2,3;;
  MeshNormals { 4; 1;0;0;, 0;1;0;, 0;0;1;, 0.6;0.8;0;; 2; 3;0,1,2;, 3;1,2,3;; }
  MeshVertexColors { 4; 0; 1;0;0;1;;, 1; 0;1;0;1;;, 2; 0;0;1;1;;, 3; 1;1;1;0.5;;; }
  MeshTextureCoords { 4; 0.1;0.2;, 0.3;0.4;, 0.5;0.6;, 0.7;0.8;; }
  SkinWeights { "A"; 3; 0, 1, 2; 0.5, 0.25, 1; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
  SkinWeights { "B"; 2; 0, 1; 0.5, 0.75; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
}
)");
    ASSERT_EQ(l->hr, D3D_OK);
    ASSERT_EQ(l->mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1));
    struct V {
        float p[3], n[3];
        DWORD colour;
        float uv[2];
    };
    D3DXMATRIX bones[2], turn;
    D3DXMatrixRotationY(&turn, 0.7f);
    D3DXMatrixTranslation(&bones[0], 0.5f, -1, 2);
    D3DXMatrixMultiply(&bones[0], &turn, &bones[0]);
    bones[1] = D3DXMATRIX(1, 0, 0, 0.1f, 0, 2, 0, 0, 0, 0, 1, -0.05f, 1, 1, 0, 1.5f);
    const std::vector<V> src = Vertices<V>(l->mesh);
    ASSERT_EQ(src.size(), 4u);

    // Each vertex by hand: the weighted sum of (p, 1) x M / w and of n x M.
    const std::vector<std::vector<std::pair<int, float>>> weights = {
        {{0, 0.5f}, {1, 0.5f}}, {{0, 0.25f}, {1, 0.75f}}, {{0, 1.0f}}, {}};
    std::vector<V> expected = src;
    for (size_t v = 0; v < src.size(); ++v) {
        if (weights[v].empty()) continue;
        for (int k = 0; k < 3; ++k) expected[v].p[k] = expected[v].n[k] = 0;
        for (auto [b, w] : weights[v]) {
            const D3DXMATRIX& m = bones[b];
            const float* p = src[v].p;
            const float h = p[0] * m._14 + p[1] * m._24 + p[2] * m._34 + m._44;
            for (int k = 0; k < 3; ++k) {
                expected[v].p[k] += w * (p[0] * m.m[0][k] + p[1] * m.m[1][k] + p[2] * m.m[2][k] + m.m[3][k]) / h;
                expected[v].n[k] += w * (src[v].n[0] * m.m[0][k] + src[v].n[1] * m.m[1][k] + src[v].n[2] * m.m[2][k]);
            }
        }
    }
    std::vector<V> dst(4);
    ASSERT_EQ(l->skin->UpdateSkinnedMesh(bones, nullptr, src.data(), dst.data()), D3D_OK);
    for (size_t v = 0; v < src.size(); ++v) {
        SCOPED_TRACE(v);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(dst[v].p[k], expected[v].p[k], 1e-5);
            EXPECT_NEAR(dst[v].n[k], expected[v].n[k], 1e-5);
        }
        EXPECT_EQ(dst[v].colour, src[v].colour);
        EXPECT_EQ(dst[v].uv[0], src[v].uv[0]);
        EXPECT_EQ(dst[v].uv[1], src[v].uv[1]);
    }
    std::vector<V> inPlace = src;
    ASSERT_EQ(l->skin->UpdateSkinnedMesh(bones, nullptr, inPlace.data(), inPlace.data()), D3D_OK);
    EXPECT_EQ(std::memcmp(inPlace.data(), dst.data(), sizeof(V) * dst.size()), 0);
}

TEST_F(MeshTest, ABentArmMatchesHandComputedVertices) {
    // An arm along x: the upper bone at the origin, the forearm from x = 1.
    // Offsets are the inverses of the bind poses, as exporters write them.
    auto l = Load(R"(
Mesh Arm {
  4; 0.5;0;0;, 1;0;0;, 1.5;0;0;, 2;0;0;;
  2; 3;0,1,2;, 3;1,2,3;;
  SkinWeights { "Upper"; 3; 0, 1, 3; 1, 0.5, 0.25; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
  SkinWeights { "Fore"; 3; 1, 2, 3; 0.5, 1, 0.75; 1,0,0,0, 0,1,0,0, 0,0,1,0, -1,0,0,1;; }
}
)");
    ASSERT_EQ(l->hr, D3D_OK);
    // Bend the elbow a quarter turn about z: forearm combined = RotZ(90) x T(1,0,0).
    D3DXMATRIX upperCombined, foreCombined, turn, elbow;
    D3DXMatrixIdentity(&upperCombined);
    D3DXMatrixRotationZ(&turn, D3DX_PI / 2);
    D3DXMatrixTranslation(&elbow, 1, 0, 0);
    D3DXMatrixMultiply(&foreCombined, &turn, &elbow);
    D3DXMATRIX bones[2];
    D3DXMatrixMultiply(&bones[0], l->skin->GetBoneOffsetMatrix(0), &upperCombined);
    D3DXMatrixMultiply(&bones[1], l->skin->GetBoneOffsetMatrix(1), &foreCombined);

    struct P {
        float x, y, z;
    };
    std::vector<P> src = Vertices<P>(l->mesh), dst(4);
    ASSERT_EQ(l->skin->UpdateSkinnedMesh(bones, nullptr, src.data(), dst.data()), D3D_OK);
    const P expected[4] = {
        {0.5f, 0, 0},      // on the upper arm only
        {1, 0, 0},         // the elbow itself does not move
        {1, 0.5f, 0},      // half a unit up the bent forearm
        {1.25f, 0.75f, 0}  // 0.25 (2,0,0) + 0.75 (1,1,0)
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(dst[i].x, expected[i].x, 1e-5);
        EXPECT_NEAR(dst[i].y, expected[i].y, 1e-5);
        EXPECT_NEAR(dst[i].z, expected[i].z, 1e-5);
    }
}

TEST_F(MeshTest, SkinFormatFollowsAConvertedMesh) {
    auto l = Load(kCrease);
    ASSERT_EQ(l->hr, D3D_OK);
    // Skinning a copy without normals or texture coordinates: 12-byte vertices.
    EXPECT_EQ(l->skin->SetFVF(D3DFVF_XYZ), D3D_OK);
    std::vector<float> src(l->mesh->GetNumVertices() * 3, 1.0f), dst(src.size(), 0.0f);
    D3DXMATRIX bones[2];
    D3DXMatrixIdentity(&bones[0]);
    D3DXMatrixIdentity(&bones[1]);
    ASSERT_EQ(l->skin->UpdateSkinnedMesh(bones, nullptr, src.data(), dst.data()), D3D_OK);
    EXPECT_NEAR(dst[3], 1.0f, 1e-6) << "vertex 1 weighs 0.25 + 0.75";
    EXPECT_EQ(l->skin->SetFVF(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(l->skin->GetFVF(), DWORD(D3DFVF_XYZ));
}

class MergedFile : public MeshTest {
protected:
    void SetUp() override {
        MeshTest::SetUp();
        folder = std::filesystem::temp_directory_path() / ("branto_mesh_" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        std::filesystem::remove_all(folder);
        MeshTest::TearDown();
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return (folder / name).string();
    }
    std::filesystem::path folder;
};

TEST_F(MergedFile, EveryMeshIsPlacedByItsFramesAndMaterialsFollowOneAnother) {
    const std::string path = Write("level.x", TextFile(R"(
Material Shared { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { "blue.bmp"; } }
Frame Outer {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }
  Frame Inner {
    Mesh Plain {
      3; 0;0;0;, 0;1;0;, 1;0;0;;
      1; 3;0,1,2;;
      MeshMaterialList { 2; 1; 1;; { Shared } Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } }
    }
    FrameTransformMatrix { 2,0,0,0, 0,2,0,0, 0,0,2,0, 0,1,0,1;; }
  }
}
Frame Side {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,5,1;; }
  Mesh Lit {
    3; 0;0;0;, 0;1;0;, 1;0;0;;
    1; 3;0,1,2;;
    MeshNormals { 1; 0;0;-1;; 1; 3;0,0,0;; }
    MeshMaterialList { 1; 1; 0;; { Shared } }
    SkinWeights { "Ignored"; 1; 0; 1; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
  }
}
Mesh Loose { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }
)"));
    ID3DXBuffer *adjacency = nullptr, *materials = nullptr;
    DWORD numMaterials = 0;
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXLoadMeshFromXA(path.c_str(), D3DXMESH_SYSTEMMEM, device, &adjacency, &materials, nullptr,
                                 &numMaterials, &mesh),
              D3D_OK);
    EXPECT_EQ(mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL)) << "the union of the formats";
    ASSERT_EQ(mesh->GetNumVertices(), 9u);
    ASSERT_EQ(mesh->GetNumFaces(), 3u);
    std::vector<SkinVertex> v = Vertices<SkinVertex>(mesh);
    // Inner scales by 2 and lifts by 1 inside Outer's shift of 10.
    EXPECT_FLOAT_EQ(v[1].x, 10.0f);
    EXPECT_FLOAT_EQ(v[1].y, 3.0f);
    EXPECT_FLOAT_EQ(v[2].x, 12.0f);
    EXPECT_FLOAT_EQ(v[2].y, 1.0f);
    EXPECT_EQ(v[0].nx + v[0].ny + v[0].nz, 0.0f) << "a mesh without normals gets zero ones";
    EXPECT_FLOAT_EQ(v[5].x, 1.0f);
    EXPECT_FLOAT_EQ(v[5].z, 5.0f);
    EXPECT_FLOAT_EQ(v[3].nz, -1.0f);
    EXPECT_FLOAT_EQ(v[8].x, 1.0f);
    EXPECT_FLOAT_EQ(v[8].z, 0.0f) << "a top-level mesh stays where it is";
    EXPECT_EQ(Indices(mesh), (std::vector<DWORD>{0, 1, 2, 3, 4, 5, 6, 7, 8}));

    // Plain's two materials, then Lit's one (ids moved past them); Loose has none, but the
    // merged mesh has materials, so Loose gets a plain white one of its own.
    ASSERT_EQ(numMaterials, 4u);
    EXPECT_EQ(Attributes(mesh), (std::vector<DWORD>{1, 2, 3}));
    auto* m = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    EXPECT_STREQ(m[0].pTextureFilename, "blue.bmp");
    EXPECT_EQ(m[1].MatD3D.Diffuse.r, 1.0f);
    EXPECT_STREQ(m[2].pTextureFilename, "blue.bmp");
    EXPECT_EQ(m[3].MatD3D.Diffuse.g, 1.0f);
    EXPECT_EQ(m[3].pTextureFilename, nullptr);
    EXPECT_EQ(adjacency->GetBufferSize(), 3u * 3 * sizeof(DWORD));
    adjacency->Release();
    materials->Release();
    mesh->Release();
}

TEST_F(MergedFile, MissingBrokenOrEmptyFilesFailWithTheOutputsUntouched) {
    const std::string broken = Write("broken.x", TextFile("Mesh { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,9;; }"));
    const std::string empty = Write("empty.x", TextFile("Frame Nothing { }"));
    for (const std::string& path : {(folder / "missing.x").string(), broken, empty}) {
        SCOPED_TRACE(path);
        ID3DXBuffer* adjacency = Sentinel<ID3DXBuffer>();
        ID3DXMesh* mesh = Sentinel<ID3DXMesh>();
        DWORD n = 77;
        EXPECT_LT(D3DXLoadMeshFromXA(path.c_str(), 0, device, &adjacency, nullptr, nullptr, &n, &mesh), 0);
        EXPECT_EQ(mesh, Sentinel<ID3DXMesh>());
        EXPECT_EQ(adjacency, Sentinel<ID3DXBuffer>());
        EXPECT_EQ(n, 77u);
    }
}

// Puts the vertices and the indices (at the mesh's index width) into a mesh.
void Fill(ID3DXMesh* mesh, const void* vertices, size_t bytes, const std::vector<DWORD>& indices) {
    void* p = nullptr;
    mesh->LockVertexBuffer(0, &p);
    std::memcpy(p, vertices, bytes);
    mesh->UnlockVertexBuffer();
    mesh->LockIndexBuffer(0, &p);
    for (size_t i = 0; i < indices.size(); ++i) {
        if (mesh->GetOptions() & D3DXMESH_32BIT)
            static_cast<DWORD*>(p)[i] = indices[i];
        else
            static_cast<WORD*>(p)[i] = WORD(indices[i]);
    }
    mesh->UnlockIndexBuffer();
}

// One quad at z = 5 facing the origin, as two triangles, and one at z = 3 over the left half.
ID3DXMesh* Walls(IDirect3DDevice9* device, DWORD options) {
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXCreateMeshFVF(3, 7, options, D3DFVF_XYZ | D3DFVF_TEX1, device, &mesh), D3D_OK);
    struct V {
        float x, y, z, u, v;
    } const vertices[7] = {{-1, -1, 5, 0, 0}, {1, -1, 5, 0, 0},  {1, 1, 5, 0, 0}, {-1, 1, 5, 0, 0},
                           {-1, -1, 3, 0, 0}, {0, -1, 3, 0, 0}, {-1, 1, 3, 0, 0}};
    Fill(mesh, vertices, sizeof vertices, {0, 2, 1, 0, 3, 2, 4, 6, 5});
    return mesh;
}

TEST_F(MeshTest, IntersectFindsTheNearestHitFromEitherSide) {
    const float nan = std::nanf("");
    struct Case {
        const char* what;
        D3DXVECTOR3 origin, dir;
        BOOL hit;
        DWORD face;
        float dist;
    } const cases[] = {
        {"the far wall", {0.25f, 0.5f, 0}, {0, 0, 1}, TRUE, 1, 5},
        {"the nearer of two", {-0.9f, -0.5f, 0}, {0, 0, 1}, TRUE, 2, 3},
        {"distance in units of the direction", {0.25f, 0.5f, 0}, {0, 0, 2}, TRUE, 1, 2.5f},
        {"from behind: faces have two sides", {0.25f, 0.5f, 9}, {0, 0, -1}, TRUE, 1, 4},
        {"pointing away", {0.25f, 0.5f, 0}, {0, 0, -1}, FALSE, 0, 0},
        {"behind the origin", {0.25f, 0.5f, 6}, {0, 0, 1}, FALSE, 0, 0},
        {"beside the walls", {3, 0, 0}, {0, 0, 1}, FALSE, 0, 0},
        {"parallel to them", {0, 0, 5}, {1, 0, 0}, FALSE, 0, 0},
        {"not a number", {nan, 0, 0}, {0, 0, 1}, FALSE, 0, 0},
        {"no direction", {0.25f, 0.5f, 0}, {0, 0, 0}, FALSE, 0, 0},
    };
    for (DWORD options : {DWORD(D3DXMESH_SYSTEMMEM), DWORD(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT)}) {
        ID3DXMesh* mesh = Walls(device, options);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ((options & D3DXMESH_32BIT) ? ", 32-bit" : ", 16-bit"));
            BOOL hit = 7;
            DWORD face = 99, count = 99;
            float u = -1, v = -1, dist = -1;
            ASSERT_EQ(D3DXIntersect(mesh, &c.origin, &c.dir, &hit, &face, &u, &v, &dist, nullptr, &count), D3D_OK);
            EXPECT_EQ(hit, c.hit);
            if (!c.hit) {
                EXPECT_EQ(count, 0u);
                continue;
            }
            EXPECT_EQ(face, c.face);
            EXPECT_NEAR(dist, c.dist, 1e-5);
            EXPECT_GE(u, 0.0f);
            EXPECT_GE(v, 0.0f);
            EXPECT_LE(u + v, 1.0f);
        }
        // u and v weigh vertices 1 and 2: face 1 is (0, 3, 2) = (-1,-1), (-1,1), (1,1).
        D3DXVECTOR3 origin(0.25f, 0.5f, 0), dir(0, 0, 1);
        float u = 0, v = 0;
        BOOL hit = FALSE;
        DWORD count = 0;
        ID3DXBuffer* all = nullptr;
        D3DXIntersect(mesh, &origin, &dir, &hit, nullptr, &u, &v, nullptr, &all, &count);
        EXPECT_NEAR(u, 0.125f, 1e-5);
        EXPECT_NEAR(v, 0.625f, 1e-5);
        EXPECT_EQ(count, 1u);
        ASSERT_NE(all, nullptr);
        EXPECT_EQ(all->GetBufferSize(), sizeof(D3DXINTERSECTINFO));
        all->Release();
        mesh->Release();
    }
    D3DXVECTOR3 o(0, 0, 0), d(0, 0, 1);
    BOOL hit = TRUE;
    EXPECT_LT(D3DXIntersect(nullptr, &o, &d, &hit, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(hit, FALSE) << "the flag is written even for a null mesh";
}

// What D3DXIntersect answers for one ray: the nearest hit and every hit.
struct Answer {
    BOOL hit = FALSE;
    DWORD face = 0, count = 0;
    float u = 0, v = 0, dist = 0;
    std::vector<D3DXINTERSECTINFO> all;
};

Answer Ask(ID3DXMesh* mesh, const D3DXVECTOR3& origin, const D3DXVECTOR3& dir, bool everyHit) {
    Answer a;
    ID3DXBuffer* all = nullptr;
    EXPECT_EQ(D3DXIntersect(mesh, &origin, &dir, &a.hit, &a.face, &a.u, &a.v, &a.dist, everyHit ? &all : nullptr,
                            everyHit ? &a.count : nullptr),
              D3D_OK);
    if (all) {
        auto* p = static_cast<const D3DXINTERSECTINFO*>(all->GetBufferPointer());
        a.all.assign(p, p + all->GetBufferSize() / sizeof(D3DXINTERSECTINFO));
        all->Release();
    }
    return a;
}

// Bit for bit: the search must find what the scan of every face finds.
void ExpectSameAnswer(const Answer& tree, const Answer& scan) {
    EXPECT_EQ(tree.hit, scan.hit);
    if (!scan.hit) return;
    EXPECT_EQ(tree.face, scan.face);
    EXPECT_EQ(std::memcmp(&tree.u, &scan.u, 4), 0) << tree.u << " " << scan.u;
    EXPECT_EQ(std::memcmp(&tree.v, &scan.v, 4), 0) << tree.v << " " << scan.v;
    EXPECT_EQ(std::memcmp(&tree.dist, &scan.dist, 4), 0) << tree.dist << " " << scan.dist;
    EXPECT_EQ(tree.count, scan.count);
    ASSERT_EQ(tree.all.size(), scan.all.size());
    for (size_t i = 0; i < scan.all.size(); ++i)
        EXPECT_EQ(std::memcmp(&tree.all[i], &scan.all[i], sizeof scan.all[i]), 0) << "hit " << i;
}

// A mesh of XYZ positions and the given faces.
ID3DXMesh* MeshOf(IDirect3DDevice9* device, const std::vector<D3DXVECTOR3>& positions,
                  const std::vector<DWORD>& indices, DWORD options) {
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXCreateMeshFVF(DWORD(indices.size() / 3), DWORD(positions.size()), options, D3DFVF_XYZ, device,
                                &mesh),
              D3D_OK);
    if (mesh) Fill(mesh, positions.data(), positions.size() * sizeof(D3DXVECTOR3), indices);
    return mesh;
}

// Random triangles in a box, with what a file may hold among them: corners
// repeated, corners in a line, corners that are not numbers or infinite, and
// indices past the vertices.
ID3DXMesh* Soup(IDirect3DDevice9* device, std::mt19937& random, DWORD options) {
    std::uniform_real_distribution<float> at(-5.0f, 5.0f), size(0.05f, 2.0f);
    std::vector<D3DXVECTOR3> positions;
    std::vector<DWORD> indices;
    for (int t = 0; t < 600; ++t) {
        const D3DXVECTOR3 a(at(random), at(random), at(random));
        const float s = size(random);
        const DWORD first = DWORD(positions.size());
        positions.push_back(a);
        positions.push_back(a + D3DXVECTOR3(at(random), at(random), at(random)) * (s / 5.0f));
        positions.push_back(a + D3DXVECTOR3(at(random), at(random), at(random)) * (s / 5.0f));
        DWORD k[3] = {first, first + 1, first + 2};
        switch (t % 50) {
            case 0: k[2] = k[0]; break;  // a corner twice
            case 1: positions.back() = a + (positions[first + 1] - a) * 2.0f; break;  // in a line
            case 2: positions.back().y = std::nanf(""); break;
            case 3: positions.back().x = INFINITY; break;
            case 4: k[1] = 60000; break;  // no such vertex
        }
        indices.insert(indices.end(), k, k + 3);
    }
    return MeshOf(device, positions, indices, options);
}

// A floor of 12 by 12 unit squares sharing their corners and edges, its faces
// in no order: rays through a corner or along an edge meet several faces at
// one distance, and the lowest of them must answer. Tilted, the same floor
// makes every such meeting a matter of rounding.
ID3DXMesh* Floor(IDirect3DDevice9* device, std::mt19937& random, bool tilted) {
    std::vector<D3DXVECTOR3> positions;
    D3DXMATRIX tilt;
    const D3DXVECTOR3 axis(0.3f, 0.7f, -0.4f);
    D3DXMatrixRotationAxis(&tilt, &axis, 0.9f);
    for (int z = 0; z <= 12; ++z)
        for (int x = 0; x <= 12; ++x) {
            D3DXVECTOR3 p(float(x - 6), 0.0f, float(z - 6));
            if (tilted) D3DXVec3TransformCoord(&p, &p, &tilt);
            positions.push_back(p);
        }
    std::vector<std::array<DWORD, 3>> faces;
    for (DWORD z = 0; z < 12; ++z)
        for (DWORD x = 0; x < 12; ++x) {
            const DWORD i = z * 13 + x;
            faces.push_back({i, i + 13, i + 1});
            faces.push_back({i + 1, i + 13, i + 14});
        }
    std::shuffle(faces.begin(), faces.end(), random);
    std::vector<DWORD> indices;
    for (const auto& f : faces) indices.insert(indices.end(), f.begin(), f.end());
    return MeshOf(device, positions, indices, D3DXMESH_SYSTEMMEM);
}

// Rays from anywhere in or about the mesh: along the axes (as the character's
// ray runs), straight down onto whole coordinates, in any direction, and at
// the mesh's own corners and the middles of its edges.
std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> Rays(ID3DXMesh* mesh, std::mt19937& random, float reach) {
    std::uniform_real_distribution<float> at(-reach, reach), any(-1.0f, 1.0f);
    std::uniform_int_distribution<int> whole(-7, 7);
    const D3DXVECTOR3 axes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    std::vector<D3DXVECTOR3> corners;
    const std::vector<unsigned char> bytes = VertexBytes(mesh);
    for (size_t i = 0; i + 12 <= bytes.size(); i += mesh->GetNumBytesPerVertex()) {
        D3DXVECTOR3 p;
        std::memcpy(&p, bytes.data() + i, 12);
        corners.push_back(p);
    }
    std::uniform_int_distribution<size_t> corner(0, corners.size() - 1);
    std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> rays;
    for (int i = 0; i < 600; ++i) {
        const D3DXVECTOR3 origin(at(random), at(random), at(random));
        rays.emplace_back(origin, axes[i % 6]);
        rays.emplace_back(D3DXVECTOR3(float(whole(random)), 3.0f, float(whole(random)) * 0.5f),
                          D3DXVECTOR3(0, -1, 0));
        rays.emplace_back(origin, D3DXVECTOR3(any(random), any(random), any(random)) * 3.0f);
        const D3DXVECTOR3 a = corners[corner(random)], b = corners[corner(random)];
        rays.emplace_back(origin, a - origin);
        const D3DXVECTOR3 edge = b - a;
        if (D3DXVec3Length(&edge) < 1.5f) rays.emplace_back(origin, (a + b) * 0.5f - origin);
    }
    return rays;
}

TEST_F(MeshTest, IntersectSearchesATreeThatAnswersAsEveryFace) {
    std::mt19937 random(12);
    ID3DXMesh* level = nullptr;
    ASSERT_EQ(D3DXLoadMeshFromXA("..\\Level01\\Level.x", D3DXMESH_SYSTEMMEM, device, nullptr, nullptr, nullptr,
                                 nullptr, &level),
              D3D_OK)
        << "no generated level beside bin/: the build makes it";
    struct Case {
        const char* what;
        ID3DXMesh* mesh;
        float reach;
    } const cases[] = {
        {"soup, 16-bit", Soup(device, random, D3DXMESH_SYSTEMMEM), 7},
        {"soup, 32-bit", Soup(device, random, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT), 7},
        {"floor", Floor(device, random, false), 7},
        {"tilted floor", Floor(device, random, true), 7},
        {"the level", level, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.mesh, nullptr);
        int hits = 0;
        for (const auto& [origin, dir] : Rays(c.mesh, random, c.reach)) {
            for (bool everyHit : {false, true}) {
                platform_testing::ScanD3DXIntersect(true);
                const Answer scan = Ask(c.mesh, origin, dir, everyHit);
                platform_testing::ScanD3DXIntersect(false);
                const Answer tree = Ask(c.mesh, origin, dir, everyHit);
                SCOPED_TRACE(testing::Message() << "from " << origin.x << "," << origin.y << "," << origin.z
                                                << " along " << dir.x << "," << dir.y << "," << dir.z);
                ExpectSameAnswer(tree, scan);
                hits += scan.hit;
            }
        }
        EXPECT_GT(hits, 300) << "the rays must meet the mesh often";
        c.mesh->Release();
    }
    // Faces that all name missing vertices leave nothing to meet, either way.
    ID3DXMesh* none = MeshOf(device, {{-1, -1, 0}, {1, -1, 0}, {0, 1, 0}}, {0, 1, 7, 8, 1, 2}, D3DXMESH_SYSTEMMEM);
    ASSERT_NE(none, nullptr);
    for (int i = 0; i < 3; ++i) {
        const Answer a = Ask(none, D3DXVECTOR3(0, 0, -1), D3DXVECTOR3(0, 0, 1), i == 2);
        EXPECT_EQ(a.hit, FALSE);
        EXPECT_EQ(a.count, 0u);
    }
    none->Release();
}

TEST_F(MeshTest, IntersectBuildsItsTreeOnceAndAgainAfterAChange) {
    ID3DXMesh* mesh = Walls(device, D3DXMESH_SYSTEMMEM);
    const D3DXVECTOR3 origin(0.25f, 0.5f, 0), dir(0, 0, 1);
    auto distance = [&] {
        BOOL hit = FALSE;
        float dist = -1;
        D3DXIntersect(mesh, &origin, &dir, &hit, nullptr, nullptr, nullptr, &dist, nullptr, nullptr);
        return hit ? dist : -1.0f;
    };
    const unsigned before = platform_testing::D3DXRayTreesBuilt();
    // The first query of new contents scans: a mesh rewritten between queries
    // never pays for a tree.
    EXPECT_NEAR(distance(), 5.0f, 1e-6);
    EXPECT_EQ(platform_testing::D3DXRayTreesBuilt(), before);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(distance(), 5.0f, 1e-6);
    EXPECT_EQ(platform_testing::D3DXRayTreesBuilt(), before + 1);

    // The far wall comes nearer: every later answer sees it.
    float* v = nullptr;
    mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    for (int i = 0; i < 4; ++i) v[i * 5 + 2] = 2.0f;
    mesh->UnlockVertexBuffer();
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(distance(), 2.0f, 1e-6);
    EXPECT_EQ(platform_testing::D3DXRayTreesBuilt(), before + 2);

    // A read-only lock changes nothing.
    mesh->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&v));
    mesh->UnlockVertexBuffer();
    EXPECT_NEAR(distance(), 2.0f, 1e-6);
    EXPECT_EQ(platform_testing::D3DXRayTreesBuilt(), before + 2);

    // While the indices are being rewritten, each answer reads them as they
    // are, and no tree is made of half-written contents.
    WORD* idx = nullptr;
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    for (int i = 0; i < 6; ++i) idx[i] = 0;  // the far wall's two faces shrink to a point
    for (int i = 0; i < 3; ++i) EXPECT_EQ(distance(), -1.0f);
    mesh->UnlockIndexBuffer();
    EXPECT_EQ(platform_testing::D3DXRayTreesBuilt(), before + 2);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(distance(), -1.0f);
    EXPECT_EQ(platform_testing::D3DXRayTreesBuilt(), before + 3);
    mesh->Release();
}

// The run tree's own character and level, as the program opens them from bin/.
TEST_F(MeshTest, TheGeneratedCharacterAndLevelLoad) {
    std::ifstream probe("../Data/Ninja.x", std::ios::binary);
    ASSERT_TRUE(probe) << "no generated data beside bin/: the build makes it";
    const std::string bytes((std::istreambuf_iterator<char>(probe)), std::istreambuf_iterator<char>());
    XMeshes x = ReadMeshes(bytes);
    ASSERT_EQ(x.meshes.size(), 1u);
    Loaded l;
    l.hr = D3DXLoadSkinMeshFromXof(x.meshes[0].get(), D3DXMESH_SYSTEMMEM, device, &l.adjacency, &l.materials,
                                   nullptr, &l.numMaterials, &l.skin, &l.mesh);
    ASSERT_EQ(l.hr, D3D_OK);
    EXPECT_EQ(l.mesh->GetFVF(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_GE(l.numMaterials, 1u);
    ASSERT_NE(l.skin, nullptr);
    ASSERT_GE(l.skin->GetNumBones(), 15u);
    std::vector<float> total(l.mesh->GetNumVertices(), 0.0f);
    for (DWORD b = 0; b < l.skin->GetNumBones(); ++b) {
        const DWORD n = l.skin->GetNumBoneInfluences(b);
        std::vector<DWORD> v(n);
        std::vector<float> w(n);
        l.skin->GetBoneInfluence(b, v.data(), w.data());
        for (DWORD i = 0; i < n; ++i) total[v[i]] += w[i];
    }
    for (size_t v = 0; v < total.size(); ++v) ASSERT_NEAR(total[v], 1.0f, 1e-3) << "vertex " << v;

    ID3DXBuffer* materials = nullptr;
    DWORD numMaterials = 0;
    ID3DXMesh* level = nullptr;
    ASSERT_EQ(D3DXLoadMeshFromXA("..\\Level01\\Level.x", D3DXMESH_SYSTEMMEM, device, nullptr, &materials, nullptr,
                                 &numMaterials, &level),
              D3D_OK);
    EXPECT_GT(level->GetNumFaces(), 1000u);
    ASSERT_GE(numMaterials, 1u);
    auto* m = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    for (DWORD i = 0; i < numMaterials; ++i) {
        ASSERT_NE(m[i].pTextureFilename, nullptr);
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(D3DXCreateTextureFromFileA(device, ("..\\Level01\\" + std::string(m[i].pTextureFilename)).c_str(),
                                             &texture),
                  D3D_OK)
            << m[i].pTextureFilename;
        if (texture) texture->Release();
    }
    materials->Release();
    level->Release();
}

TEST(D3DXVertexFormats, SizesAndBoundingBox) {
    struct {
        DWORD fvf;
        UINT size;
    } const sizes[] = {
        {D3DFVF_XYZ, 12},
        {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, 32},
        {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR, 24},
        {D3DFVF_XYZB3 | D3DFVF_NORMAL, 36},
        {D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE, 20},
        {D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE1(0) | D3DFVF_TEXCOORDSIZE4(1), 32},
        {D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0), 24},
    };
    for (const auto& s : sizes) EXPECT_EQ(D3DXGetFVFVertexSize(s.fvf), s.size) << std::hex << s.fvf;

    // Positions 32 bytes apart, as in the program's meshes.
    float vertices[3][8] = {{-1.5f, 2, 0}, {2.7f, -3, 1}, {0, 0, -4}};
    D3DXVECTOR3 lo, hi;
    ASSERT_EQ(D3DXComputeBoundingBox(reinterpret_cast<D3DXVECTOR3*>(vertices[0]), 3, 32, &lo, &hi), D3D_OK);
    EXPECT_EQ(lo, D3DXVECTOR3(-1.5f, -3, -4));
    EXPECT_EQ(hi, D3DXVECTOR3(2.7f, 2, 1));
    EXPECT_EQ(D3DXComputeBoundingBox(nullptr, 3, 32, &lo, &hi), D3DERR_INVALIDCALL);
}

}  // namespace
