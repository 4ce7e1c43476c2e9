// Mesh containers from Mesh data objects: materials and textures, skin
// information and the working copy, vertex formats, refusals, and the
// destruction of a chain.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/testing.h"
#include "scene/MeshContainer.h"
#include "tests/support/mesh_fixtures.h"
#include "tests/support/scene_fixtures.h"

namespace pt = platform_testing;
using namespace scene_fixtures;
using mesh_fixtures::Ptr;

namespace {

MeshContainer* const kUntouched = reinterpret_cast<MeshContainer*>(uintptr_t(0x5e5e5e5e));

class ContainerTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetD3D9();
        baseline = LiveObjects();
        device = mesh_fixtures::NullDevice();
        ASSERT_NE(device, nullptr);
    }
    void TearDown() override {
        meshes.clear();
        device->Release();
        EXPECT_EQ(LiveObjects(), baseline) << "an object leaked";
        pt::ResetD3D9();
    }
    // The Mesh data objects of a text file made of `objects`.
    std::vector<Ptr<IDirectXFileData>>& Meshes(std::vector<Object> objects) {
        mesh_fixtures::XMeshes x = mesh_fixtures::ReadMeshes(xwriter::Write(XFileOf(std::move(objects)),
                                                                            xwriter::Encoding::Text));
        EXPECT_TRUE(SUCCEEDED(x.hr));
        meshes = std::move(x.meshes);
        return meshes;
    }
    HRESULT Load(IDirectXFileData* mesh, MeshContainer** out, DWORD fvf = 0, DWORD options = D3DXMESH_SYSTEMMEM) {
        *out = kUntouched;
        HRESULT hr = LoadMeshContainer(out, device, mesh, folder.Path().c_str(), fvf, options);
        if (*out == kUntouched) *out = nullptr;
        return hr;
    }
    std::vector<WORD> Indices(ID3DXMesh* mesh) {
        void* data = nullptr;
        mesh->LockIndexBuffer(D3DLOCK_READONLY, &data);
        std::vector<WORD> out(static_cast<WORD*>(data), static_cast<WORD*>(data) + mesh->GetNumFaces() * 3);
        mesh->UnlockIndexBuffer();
        return out;
    }

    IDirect3DDevice9* device = nullptr;
    TempFolder folder;
    std::vector<Ptr<IDirectXFileData>> meshes;
    int baseline = 0;
};

// Three triangles over five vertices.
Object ThreeFaces(const std::string& name, std::vector<Object> children) {
    return XMesh(name, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}}, {{0, 1, 2}, {2, 1, 3}, {2, 3, 4}},
                 std::move(children));
}

TEST_F(ContainerTest, MaterialsTakeTheirDiffuseAsAmbientAndEachItsOwnTexture) {
    folder.WriteBitmap("wall.bmp", 200, 10, 10);
    auto& m = Meshes({ThreeFaces("Body", {XMaterialList({2, 0, 1}, {XMaterial(0.2f, 0.4f, 0.6f, 1, "wall.bmp"),
                                                                    XMaterial(1, 0, 0, 1, "missing.bmp"),
                                                                    XMaterial(0, 1, 0, 0.5f, "wall.bmp")})})});
    MeshContainer* c = nullptr;
    ASSERT_EQ(Load(m[0].get(), &c), S_OK);
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->Name, "Body");
    EXPECT_EQ(c->MeshData.Type, D3DXMESHTYPE_MESH);
    ASSERT_EQ(c->NumMaterials, 3u);
    const float diffuse[3][4] = {{0.2f, 0.4f, 0.6f, 1}, {1, 0, 0, 1}, {0, 1, 0, 0.5f}};
    for (int i = 0; i < 3; ++i) {
        const D3DMATERIAL9& mat = c->pMaterials[i].MatD3D;
        EXPECT_FLOAT_EQ(mat.Diffuse.r, diffuse[i][0]);
        EXPECT_FLOAT_EQ(mat.Diffuse.a, diffuse[i][3]);
        EXPECT_EQ(mat.Ambient.r, mat.Diffuse.r);
        EXPECT_EQ(mat.Ambient.g, mat.Diffuse.g);
        EXPECT_EQ(mat.Ambient.b, mat.Diffuse.b);
        EXPECT_EQ(mat.Ambient.a, mat.Diffuse.a);
        EXPECT_EQ(c->pMaterials[i].pTextureFilename, nullptr);
    }
    ASSERT_NE(c->ppTextures, nullptr);
    EXPECT_NE(c->ppTextures[0], nullptr);
    EXPECT_EQ(c->ppTextures[1], nullptr);  // no such file
    EXPECT_NE(c->ppTextures[2], nullptr);
    EXPECT_NE(c->ppTextures[2], c->ppTextures[0]);  // one texture per material
    EXPECT_EQ(c->pEffects, nullptr);
    EXPECT_EQ(c->pSkinInfo, nullptr);
    EXPECT_EQ(c->pSkinnedMesh, nullptr);
    EXPECT_NE(c->pAdjacency, nullptr);
    EXPECT_EQ(c->pNextMeshContainer, nullptr);

    // Sorted by attribute: one range per material, in order.
    DWORD ranges = 0;
    c->MeshData.pMesh->GetAttributeTable(nullptr, &ranges);
    std::vector<D3DXATTRIBUTERANGE> table(ranges);
    c->MeshData.pMesh->GetAttributeTable(table.data(), &ranges);
    ASSERT_EQ(ranges, 3u);
    for (DWORD i = 0; i < 3; ++i) {
        EXPECT_EQ(table[i].AttribId, i);
        EXPECT_EQ(table[i].FaceStart, i);
    }
    delete c;
}

TEST_F(ContainerTest, AMeshWithoutMaterialsGetsOneWhiteMaterialAndAnUnnamedOneNoName) {
    auto& m = Meshes({ThreeFaces("", {})});
    MeshContainer* c = nullptr;
    ASSERT_EQ(Load(m[0].get(), &c), S_OK);
    EXPECT_EQ(c->Name, nullptr);
    ASSERT_EQ(c->NumMaterials, 1u);
    const D3DMATERIAL9& mat = c->pMaterials[0].MatD3D;
    for (const D3DCOLORVALUE& white : {mat.Diffuse, mat.Ambient, mat.Specular}) {
        EXPECT_EQ(white.r, 1.0f);
        EXPECT_EQ(white.g, 1.0f);
        EXPECT_EQ(white.b, 1.0f);
        EXPECT_EQ(white.a, 1.0f);
    }
    EXPECT_EQ(mat.Emissive.r + mat.Emissive.g + mat.Emissive.b + mat.Emissive.a, 0.0f);
    EXPECT_EQ(mat.Power, 0.0f);
    EXPECT_EQ(c->ppTextures[0], nullptr);
    EXPECT_EQ(c->FindByName(nullptr), nullptr);
    delete c;
}

TEST_F(ContainerTest, ASkinWithBonesGetsAWorkingCopyInTheLoadedFaceOrder) {
    auto& m = Meshes({
        ThreeFaces("NoBones", {XSkinHeader(0)}),
        ThreeFaces("Skinned", {XMaterialList({1, 0, 1}, {XMaterial(1, 1, 1, 1), XMaterial(1, 1, 1, 1)}),
                               XSkinHeader(2), XSkinWeights("Lower", {0, 2, 4}, {1, 1, 1}, Identity()),
                               XSkinWeights("Upper", {1, 3}, {1, 1}, Identity())}),
    });
    MeshContainer* none = nullptr;
    ASSERT_EQ(Load(m[0].get(), &none), S_OK);
    EXPECT_EQ(none->pSkinInfo, nullptr);
    EXPECT_EQ(none->pSkinnedMesh, nullptr);
    delete none;

    MeshContainer* c = nullptr;
    ASSERT_EQ(Load(m[1].get(), &c), S_OK);
    ASSERT_NE(c->pSkinInfo, nullptr);
    EXPECT_EQ(c->pSkinInfo->GetNumBones(), 2u);
    ASSERT_NE(c->pSkinnedMesh, nullptr);
    EXPECT_EQ(c->pSkinnedMesh->GetFVF(), c->MeshData.pMesh->GetFVF());
    EXPECT_EQ(c->pSkinnedMesh->GetNumVertices(), c->MeshData.pMesh->GetNumVertices());
    // The bone arrays are the loader's to fill.
    EXPECT_EQ(c->ppBoneMatrixPtrs, nullptr);
    EXPECT_EQ(c->pBoneMatrices, nullptr);
    // The sort moved the material-0 face first in the mesh, not in the copy.
    EXPECT_EQ(Indices(c->pSkinnedMesh), (std::vector<WORD>{0, 1, 2, 2, 1, 3, 2, 3, 4}));
    EXPECT_EQ(Indices(c->MeshData.pMesh), (std::vector<WORD>{2, 1, 3, 0, 1, 2, 2, 3, 4}));
    delete c;
}

TEST_F(ContainerTest, AVertexFormatCopiesTheMeshWithTheCallersOptionsAndTheSkinFollows) {
    // Twice: a handle gives its children once, to the mesh load.
    const Object skinned = ThreeFaces("Skinned", {XSkinHeader(1), XSkinWeights("Only", {0, 1, 2, 3, 4},
                                                                               {1, 1, 1, 1, 1}, Identity())});
    auto& m = Meshes({skinned, skinned});
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    MeshContainer* c = nullptr;
    ASSERT_EQ(Load(m[0].get(), &c, fvf, D3DXMESH_MANAGED), S_OK);
    EXPECT_EQ(c->MeshData.pMesh->GetFVF(), fvf);
    EXPECT_EQ(c->MeshData.pMesh->GetOptions(), static_cast<DWORD>(D3DXMESH_MANAGED));
    EXPECT_EQ(c->pSkinnedMesh->GetFVF(), fvf);
    // The skinning must walk the copy's vertices at the copy's stride.
    ASSERT_NE(c->pSkinInfo, nullptr);
    EXPECT_EQ(c->pSkinInfo->GetFVF(), fvf);
    delete c;

    // Without a format the options go to the load itself.
    ASSERT_EQ(Load(m[1].get(), &c, 0, D3DXMESH_MANAGED), S_OK);
    EXPECT_EQ(c->MeshData.pMesh->GetOptions(), static_cast<DWORD>(D3DXMESH_MANAGED));
    EXPECT_EQ(c->pSkinInfo->GetFVF(), c->MeshData.pMesh->GetFVF());
    delete c;
}

TEST_F(ContainerTest, RefusalsWriteNothingAndLeaveNothingBehind) {
    auto& m = Meshes({ThreeFaces("Good", {}),
                      XMesh("BadIndex", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 7}}),
                      ThreeFaces("BadMaterial", {XMaterialList({0, 0, 3}, {XMaterial(1, 1, 1, 1)})})});
    MeshContainer* out = kUntouched;
    const char* f = folder.Path().c_str();
    EXPECT_EQ(LoadMeshContainer(nullptr, device, m[0].get(), f, 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshContainer(&out, nullptr, m[0].get(), f, 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshContainer(&out, device, nullptr, f, 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshContainer(&out, device, m[0].get(), nullptr, 0, 0), E_FAIL);
    EXPECT_EQ(out, kUntouched);
    for (int i : {1, 2}) {
        EXPECT_LT(LoadMeshContainer(&out, device, m[i].get(), f, 0, D3DXMESH_SYSTEMMEM), 0) << i;
        EXPECT_EQ(out, kUntouched) << i;
    }
}

TEST_F(ContainerTest, TexturePathsThatDoNotFitAreSkippedNotCut) {
    // A folder whose path and a file name make exactly 259 characters, and
    // a second name one character longer.
    std::string sub = folder.Path() + std::string(240 - folder.Path().size(), 'd');
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    const std::string longFolder = sub + "/";
    const size_t room = 259 - longFolder.size();
    const std::string fits = std::string(room - 4, 'f') + ".bmp";
    const std::string tooLong = std::string(room - 3, 'g') + ".bmp";
    folder.WriteBitmap(sub.substr(folder.Path().size()) + "/" + fits, 1, 2, 3);
    folder.WriteBitmap(sub.substr(folder.Path().size()) + "/" + tooLong, 1, 2, 3);
    // What a cut path would name, were it cut to 259 characters.
    folder.WriteBitmap(sub.substr(folder.Path().size()) + "/" + tooLong.substr(0, tooLong.size() - 1), 1, 2, 3);

    auto& m = Meshes({ThreeFaces("T", {XMaterialList({0, 1, 1}, {XMaterial(1, 1, 1, 1, fits.c_str()),
                                                                 XMaterial(1, 1, 1, 1, tooLong.c_str())})})});
    MeshContainer* c = nullptr;
    ASSERT_EQ(LoadMeshContainer(&c, device, m[0].get(), longFolder.c_str(), 0, D3DXMESH_SYSTEMMEM), S_OK);
    EXPECT_NE(c->ppTextures[0], nullptr);
    EXPECT_EQ(c->ppTextures[1], nullptr);
    delete c;
}

TEST_F(ContainerTest, DestroyingTheHeadReleasesTheWholeChain) {
    folder.WriteBitmap("t.bmp", 9, 9, 9);
    auto& m = Meshes({ThreeFaces("Leg", {XMaterialList({0, 0, 0}, {XMaterial(1, 1, 1, 1, "t.bmp")})}),
                      ThreeFaces("Arm", {XSkinHeader(1), XSkinWeights("B", {0, 1, 2, 3, 4}, {1, 1, 1, 1, 1},
                                                                      Identity())}),
                      ThreeFaces("Arm", {})});
    MeshContainer* chain = nullptr;
    std::vector<MeshContainer*> made;
    for (auto& mesh : m) {
        MeshContainer* c = nullptr;
        ASSERT_EQ(Load(mesh.get(), &c), S_OK);
        c->pNextMeshContainer = chain;  // the loader's head insertion
        chain = c;
        made.push_back(c);
    }
    // Case matters; of two of the same name the one nearer the head wins.
    EXPECT_EQ(chain->FindByName("Arm"), made[2]);
    EXPECT_EQ(chain->FindByName("Leg"), made[0]);
    EXPECT_EQ(chain->FindByName("arm"), nullptr);
    EXPECT_EQ(chain->FindByName("Le"), nullptr);
    EXPECT_EQ(made[1]->FindByName("Arm"), made[1]);
    EXPECT_GT(LiveObjects(), baseline + 1);
    delete chain;
    meshes.clear();
    device->Release();
    device = nullptr;
    EXPECT_EQ(LiveObjects(), baseline);
    device = mesh_fixtures::NullDevice();
}

}  // namespace
