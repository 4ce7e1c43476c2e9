// Skinning a container on the processor from its bones' frames, what the
// skinning refuses, and the two ways of drawing containers (by subset, and
// by the attribute table with a caller's shader).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "scene/MeshLoader.h"
#include "scene/Skinning.h"
#include "tests/support/mesh_fixtures.h"
#include "tests/support/scene_fixtures.h"

namespace pt = platform_testing;
using namespace scene_fixtures;

namespace {

using scene_fixtures::ExpectNear;

std::vector<D3DXVECTOR3> Positions(ID3DXMesh* mesh) {
    std::vector<D3DXVECTOR3> out;
    void* v = nullptr;
    mesh->LockVertexBuffer(D3DLOCK_READONLY, &v);
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i)
        out.push_back(*reinterpret_cast<D3DXVECTOR3*>(static_cast<char*>(v) + i * mesh->GetNumBytesPerVertex()));
    mesh->UnlockVertexBuffer();
    return out;
}

void ExpectNear(const std::vector<D3DXVECTOR3>& a, const std::vector<D3DXVECTOR3>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i].x, b[i].x, 1e-5f) << "vertex " << i;
        EXPECT_NEAR(a[i].y, b[i].y, 1e-5f) << "vertex " << i;
        EXPECT_NEAR(a[i].z, b[i].z, 1e-5f) << "vertex " << i;
    }
}

class SkinningTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetD3D9();
        baseline = LiveObjects();
        device = mesh_fixtures::NullDevice();
        ASSERT_NE(device, nullptr);
    }
    void TearDown() override {
        delete mesh;
        FreeFrameTree(root);
        for (MeshContainer* c : kept) delete c;
        device->Release();
        EXPECT_EQ(LiveObjects(), baseline) << "an object leaked";
        pt::ResetD3D9();
    }
    // Two bones: "Lower" at the origin, "Upper" one unit up. Vertex 0 is the
    // lower bone's, vertex 1 half each, vertex 2 the upper bone's.
    void LoadTwoBones() {
        D3DXMATRIX lowerOffset, upperOffset;
        D3DXMatrixIdentity(&lowerOffset);
        upperOffset = Translation(0, -1, 0);  // inverse of the bind pose
        const std::string file = folder.Write(
            "bones.x",
            XFileOf({XFrame("Root", {XFrame("Lower"), XFrame("Upper", {XTranslation(0, 1, 0)}),
                                     XTriangle("Skin", 0, {XSkinHeader(2),
                                                           XSkinWeights("Lower", {0, 1}, {1.0f, 0.5f}, lowerOffset),
                                                           XSkinWeights("Upper", {1, 2}, {0.5f, 1.0f},
                                                                        upperOffset)})})}),
            xwriter::Encoding::Binary);
        ASSERT_EQ(LoadSkinnedMeshHierarchy(&mesh, &root, device, file.c_str(), folder.Path().c_str(), 0, 0), S_OK);
        ASSERT_NE(mesh, nullptr);
        ASSERT_NE(mesh->pSkinnedMesh, nullptr);
        ASSERT_NE(mesh->pBoneMatrices, nullptr);
    }
    MeshContainer* Keep(MeshContainer* c) {
        kept.push_back(c);
        return c;
    }

    IDirect3DDevice9* device = nullptr;
    TempFolder folder;
    MeshContainer* mesh = nullptr;
    HierarchyFrame* root = nullptr;
    std::vector<MeshContainer*> kept;
    int baseline = 0;
};

TEST_F(SkinningTest, VerticesFollowTheirBonesFramesByTheirWeights) {
    LoadTwoBones();
    // The bind pose first: the skinned copy is the mesh as loaded.
    root->UpdateMatrices(&root->TransformationMatrix);
    ASSERT_EQ(SkinMeshContainer(mesh), S_OK);
    ExpectNear(Positions(mesh->pSkinnedMesh), Positions(mesh->MeshData.pMesh));

    // Turn the lower bone a quarter about z and lift the upper one to y = 2.
    root->FindFrameByName("Lower")->TransformationMatrix = RotationZ(static_cast<float>(M_PI / 2));
    root->FindFrameByName("Upper")->TransformationMatrix = Translation(0, 2, 0);
    root->UpdateMatrices(&root->TransformationMatrix);
    ASSERT_EQ(SkinMeshContainer(mesh), S_OK);
    ExpectNear(mesh->pBoneMatrices[0], RotationZ(static_cast<float>(M_PI / 2)));
    ExpectNear(mesh->pBoneMatrices[1], Translation(0, 1, 0));  // offset, then the frame
    // (0,1,0): half of (-1,0,0) and half of (0,2,0); (1,0,0) lifted by one.
    ExpectNear(Positions(mesh->pSkinnedMesh), {{0, 0, 0}, {-0.5f, 1, 0}, {1, 1, 0}});
    // The loaded mesh is only read.
    ExpectNear(Positions(mesh->MeshData.pMesh), {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}});

    // A bone without a frame keeps its offset alone.
    mesh->ppBoneMatrixPtrs[1] = nullptr;
    ASSERT_EQ(SkinMeshContainer(mesh), S_OK);
    ExpectNear(mesh->pBoneMatrices[1], Translation(0, -1, 0));
    ExpectNear(Positions(mesh->pSkinnedMesh), {{0, 0, 0}, {-0.5f, 0, 0}, {1, -1, 0}});
}

TEST_F(SkinningTest, AContainerMissingAPieceIsRefusedUnchanged) {
    LoadTwoBones();
    root->FindFrameByName("Upper")->TransformationMatrix = Translation(0, 5, 0);
    root->UpdateMatrices(nullptr);
    const D3DXMATRIX before = mesh->pBoneMatrices[1];
    const std::vector<D3DXVECTOR3> skinned = Positions(mesh->pSkinnedMesh);

    EXPECT_EQ(SkinMeshContainer(nullptr), E_FAIL);
    ID3DXMesh* loaded = mesh->MeshData.pMesh;
    ID3DXMesh* copy = mesh->pSkinnedMesh;
    ID3DXSkinInfo* skin = mesh->pSkinInfo;
    D3DXMATRIX* matrices = mesh->pBoneMatrices;
    D3DXMATRIX** pointers = mesh->ppBoneMatrixPtrs;
    for (int missing = 0; missing < 5; ++missing) {
        mesh->MeshData.pMesh = missing == 0 ? nullptr : loaded;
        mesh->pSkinnedMesh = missing == 1 ? nullptr : copy;
        mesh->pSkinInfo = missing == 2 ? nullptr : skin;
        mesh->pBoneMatrices = missing == 3 ? nullptr : matrices;
        mesh->ppBoneMatrixPtrs = missing == 4 ? nullptr : pointers;
        EXPECT_EQ(SkinMeshContainer(mesh), E_FAIL) << missing;
    }
    mesh->MeshData.pMesh = loaded;
    mesh->pSkinnedMesh = copy;
    mesh->pSkinInfo = skin;
    mesh->pBoneMatrices = matrices;
    mesh->ppBoneMatrixPtrs = pointers;
    ExpectNear(mesh->pBoneMatrices[1], before);
    ExpectNear(Positions(mesh->pSkinnedMesh), skinned);

    // The level's container: no skin at all.
    MeshContainer* level = Keep(MakeContainer(MakeQuad(device), {1.0f}));
    EXPECT_EQ(SkinMeshContainer(level), E_FAIL);
}

TEST_F(SkinningTest, ABufferThatCannotBeLockedSkipsTheUpdateAndUnlocksWhatWasLocked) {
    LoadTwoBones();
    root->FindFrameByName("Upper")->TransformationMatrix = Translation(0, 3, 0);
    root->UpdateMatrices(nullptr);
    const std::vector<D3DXVECTOR3> skinned = Positions(mesh->pSkinnedMesh);
    for (bool failSource : {true, false}) {
        FailingMesh* source = new FailingMesh(mesh->MeshData.pMesh);
        FailingMesh* target = new FailingMesh(mesh->pSkinnedMesh);
        mesh->MeshData.pMesh = source;
        mesh->pSkinnedMesh = target;
        (failSource ? source : target)->failVertexLock = true;
        EXPECT_EQ(SkinMeshContainer(mesh), E_FAIL);
        EXPECT_EQ(source->vertexUnlocks, failSource ? 0 : 1);
        EXPECT_EQ(target->vertexUnlocks, 0);
        (failSource ? source : target)->failVertexLock = false;
        ExpectNear(Positions(target), skinned);  // not written
    }
}

// --- drawing ---

std::vector<std::string> Calls() { return CallsStartingWith({""}); }

TEST_F(SkinningTest, ChainsAreDrawnUntilAContainerHasNothingToDraw) {
    MeshContainer* first = Keep(MakeContainer(MakeQuad(device), {1.0f}));
    MeshContainer* second = MakeContainer(MakeQuad(device), {});
    MeshContainer* third = MakeContainer(MakeQuad(device), {1.0f});
    first->pNextMeshContainer = second;
    second->pNextMeshContainer = third;
    EXPECT_EQ(DrawMeshContainer(nullptr), E_FAIL);
    EXPECT_EQ(DrawMeshContainer(second), E_FAIL);
    pt::ClearD3D9Calls();
    EXPECT_EQ(RenderMeshContainer(first), E_FAIL);
    EXPECT_EQ(CallsStartingWith({"DrawIndexedPrimitive("}).size(), 1u);
    EXPECT_EQ(RenderMeshContainer(nullptr), S_OK);
    second->pNextMeshContainer = nullptr;
    first->pNextMeshContainer = nullptr;
    delete second;
    pt::ClearD3D9Calls();
    EXPECT_EQ(RenderMeshContainer(third), S_OK);
    EXPECT_EQ(CallsStartingWith({"DrawIndexedPrimitive("}).size(), 1u);
    // The last texture and material stay set; no shader is left.
    EXPECT_EQ(CallsStartingWith({"SetVertexShader"}), (std::vector<std::string>{"SetVertexShader(null)"}));
    delete third;
}

struct Shader {
    IDirect3DVertexShader9* shader = nullptr;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    explicit Shader(IDirect3DDevice9* device) {
        const DWORD tokens[] = {0xFFFE0101, 0x0000FFFF};
        device->CreateVertexShader(tokens, &shader);
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
        device->CreateVertexDeclaration(elements, &declaration);
    }
    ~Shader() {
        if (shader) shader->Release();
        if (declaration) declaration->Release();
    }
    std::string ShaderId() const { return "#" + std::to_string(pt::D3D9ObjectId(shader)); }
    std::string DeclarationId() const { return "#" + std::to_string(pt::D3D9ObjectId(declaration)); }
};

TEST_F(SkinningTest, TheIndexedPathDrawsEachRangeWithTheTextureAndAlphaOfItsAttributeId) {
    Shader s(device);
    ASSERT_NE(s.shader, nullptr);
    ASSERT_NE(s.declaration, nullptr);
    // Faces of attribute 2, 0 and 3; only three materials, so 3 names none.
    ID3DXMesh* m = MakeMesh(device, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}},
                            {0, 1, 2, 2, 1, 3, 3, 4, 5}, {2, 0, 3});
    m->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr);
    MeshContainer* c = Keep(MakeContainer(m, {1.0f, 1.0f, 0.5f}));
    for (int i : {0, 2})
        device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &c->ppTextures[i], nullptr);
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    m->GetVertexBuffer(&vb);
    m->GetIndexBuffer(&ib);
    const std::string vbId = "#" + std::to_string(pt::D3D9ObjectId(vb));
    const std::string ibId = "#" + std::to_string(pt::D3D9ObjectId(ib));
    vb->Release();
    ib->Release();
    const std::string t0 = "#" + std::to_string(pt::D3D9ObjectId(c->ppTextures[0]));
    const std::string t2 = "#" + std::to_string(pt::D3D9ObjectId(c->ppTextures[2]));
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);

    pt::ClearD3D9Calls();
    EXPECT_EQ(DrawMeshContainerIndexed(c, s.shader, s.declaration), S_OK);
    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "SetFVF(0x0)", "SetVertexShader(" + s.ShaderId() + ")",
                           "SetVertexDeclaration(" + s.DeclarationId() + ")", "SetStreamSource(0," + vbId + ",0,32)",
                           "SetIndices(" + ibId + ")",
                           // the range of id 0 holds the second face of the file
                           "SetTexture(0," + t0 + ")", "DrawIndexedPrimitive(4,0,1,3,0,1)",
                           "SetTexture(0," + t2 + ")", "SetRenderState(27,1)", "SetRenderState(19,2)",
                           "SetRenderState(20,9)", "DrawIndexedPrimitive(4,0,0,3,3,1)",
                           // no range for id 3: it names no material
                           "SetStreamSource(0,null,0,0)", "SetIndices(null)", "SetRenderState(27,0)",
                           "SetRenderState(19,5)", "SetRenderState(20,6)", "SetVertexShader(null)",
                           "SetVertexDeclaration(null)"}));

    // A mesh never sorted has an empty table: nothing drawn, all set and reset.
    MeshContainer* unsorted = Keep(MakeContainer(MakeQuad(device), {1.0f}));
    pt::ClearD3D9Calls();
    EXPECT_EQ(DrawMeshContainerIndexed(unsorted, s.shader, s.declaration), S_OK);
    std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls[5], "SetStreamSource(0,null,0,0)");
    EXPECT_EQ(calls[8], "SetVertexDeclaration(null)");

    EXPECT_EQ(DrawMeshContainerIndexed(c, nullptr, s.declaration), E_FAIL);
    EXPECT_EQ(DrawMeshContainerIndexed(c, s.shader, nullptr), E_FAIL);
    c->pNextMeshContainer = Keep(MakeContainer(MakeQuad(device), {}));
    pt::ClearD3D9Calls();
    EXPECT_EQ(RenderMeshContainerIndexed(c, s.shader, s.declaration), E_FAIL);
    EXPECT_EQ(CallsStartingWith({"DrawIndexedPrimitive("}).size(), 2u);
    c->pNextMeshContainer = nullptr;
}

}  // namespace
