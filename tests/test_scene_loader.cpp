// The X-file hierarchy loader: the shape of the frame tree, the chain of
// containers and what frames point at, references (which build nothing and
// must not loop), bone binding, the whole-file mesh of the level, refusals,
// characters exported without template declarations, and the generated
// character and level.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "scene/Animation.h"
#include "scene/MeshLoader.h"
#include "tests/support/mesh_fixtures.h"
#include "tests/support/scene_fixtures.h"
#include "tests/support/settled_files.h"
#include "tools/xsamples/xsamples.h"

namespace pt = platform_testing;
using namespace scene_fixtures;
using xwriter::Encoding;

namespace {

MeshContainer* const kNoMesh = reinterpret_cast<MeshContainer*>(uintptr_t(0x5e5e5e5e));
HierarchyFrame* const kNoRoot = reinterpret_cast<HierarchyFrame*>(uintptr_t(0x5e5e5e5e));

std::vector<MeshContainer*> Chain(MeshContainer* head) {
    std::vector<MeshContainer*> out;
    for (MeshContainer* c = head; c; c = NextMeshContainer(c)) out.push_back(c);
    return out;
}

std::vector<std::string> Names(const std::vector<MeshContainer*>& chain) {
    std::vector<std::string> out;
    for (MeshContainer* c : chain) out.push_back(c->Name ? c->Name : "(none)");
    return out;
}

std::vector<std::string> SiblingNames(HierarchyFrame* first) {
    std::vector<std::string> out;
    for (HierarchyFrame* f = first; f; f = f->pFrameSibling) out.push_back(f->Name ? f->Name : "(none)");
    return out;
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetWin32();
        pt::ResetD3D9();
        pt::XFileQuietReports(true);
        baseline = LiveObjects();
        device = mesh_fixtures::NullDevice();
        ASSERT_NE(device, nullptr);
    }
    void TearDown() override {
        Free();
        device->Release();
        EXPECT_EQ(LiveObjects(), baseline) << "an object leaked";
        pt::XFileQuietReports(false);
        pt::ResetD3D9();
    }
    void Free() {
        delete mesh;
        FreeFrameTree(root);
        ReleaseFirstPassContainers();
        mesh = nullptr;
        root = nullptr;
    }
    std::string Write(std::vector<Object> objects, Encoding encoding = Encoding::Text,
                      std::vector<std::string> templates = {}) {
        return folder.Write("scene.x", XFileOf(std::move(objects), std::move(templates)), encoding);
    }
    HRESULT Skinned(const std::string& file, bool wantMesh = true, bool wantRoot = true) {
        Free();
        return LoadSkinnedMeshHierarchy(wantMesh ? &mesh : nullptr, wantRoot ? &root : nullptr, device,
                                        file.c_str(), folder.Path().c_str(), 0, D3DXMESH_SYSTEMMEM);
    }
    HRESULT Whole(const std::string& file, bool wantRoot = true) {
        Free();
        return LoadMeshHierarchy(&mesh, wantRoot ? &root : nullptr, device, file.c_str(), folder.Path().c_str(), 0,
                                 D3DXMESH_SYSTEMMEM);
    }
    HierarchyFrame* Find(const char* name) { return root ? root->FindFrameByName(name) : nullptr; }

    IDirect3DDevice9* device = nullptr;
    TempFolder folder;
    MeshContainer* mesh = nullptr;
    HierarchyFrame* root = nullptr;
    int baseline = 0;
};

void ExpectMatrix(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    for (int i = 0; i < 16; ++i) EXPECT_EQ(a.m[i / 4][i % 4], b.m[i / 4][i % 4]) << "element " << i;
}

TEST_F(LoaderTest, FramesStandInReverseFileOrderAndTakeTheirOwnMatricesOnly) {
    for (Encoding encoding : {Encoding::Text, Encoding::Binary}) {
        SCOPED_TRACE(encoding == Encoding::Text ? "text" : "binary");
        const std::string file = Write({XFrame("A", {XTranslation(5, 0, 0), XFrame("B"), XFrame("C")}),
                                        XFrame("D"), XTranslation(7, 7, 7),  // at the top: no frame takes it
                                        XFrame("E", {XReference("A")})},
                                       encoding);
        ASSERT_EQ(Skinned(file), S_OK);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(SiblingNames(root), (std::vector<std::string>{"E", "D", "A"}));
        HierarchyFrame* a = Find("A");
        EXPECT_EQ(SiblingNames(a->pFrameFirstChild), (std::vector<std::string>{"C", "B"}));
        ExpectMatrix(a->TransformationMatrix, Translation(5, 0, 0));
        ExpectMatrix(a->LoadedMatrix, Translation(5, 0, 0));
        ExpectMatrix(a->CombinedMatrix, Identity());
        // Walked through the reference, A's matrix and frames go nowhere.
        HierarchyFrame* e = Find("E");
        ExpectMatrix(e->TransformationMatrix, Identity());
        EXPECT_EQ(e->pFrameFirstChild, nullptr);
        ExpectMatrix(Find("D")->LoadedMatrix, Identity());
        EXPECT_EQ(mesh, nullptr);  // no meshes in the file
    }
}

TEST_F(LoaderTest, MeshesChainNewestFirstAndFramesPointAtTheirsOrAtTheNamedOne) {
    for (Encoding encoding : {Encoding::Text, Encoding::Binary}) {
        SCOPED_TRACE(encoding == Encoding::Text ? "text" : "binary");
        const std::string file = Write({XFrame("F", {XTriangle("M1"), XTriangle("M2")}),
                                        XFrame("F2", {XTriangle("M1", 5)}),
                                        XFrame("G", {XReference("M1")}),
                                        // Its own mesh, then a name no loaded container has yet.
                                        XFrame("H", {XTriangle("Own"), XReference("Later")}),
                                        XFrame("K", {XReference("Nowhere")}),
                                        XTriangle("T"), XTriangle("Later")},
                                       encoding);
        ASSERT_EQ(Skinned(file), S_OK);
        std::vector<MeshContainer*> chain = Chain(mesh);
        EXPECT_EQ(Names(chain), (std::vector<std::string>{"Later", "T", "Own", "M1", "M2", "M1"}));
        ASSERT_EQ(chain.size(), 6u);
        EXPECT_EQ(Find("F")->pMeshContainer, chain[4]);  // the second of its two
        EXPECT_EQ(Find("F2")->pMeshContainer, chain[3]);
        EXPECT_EQ(Find("G")->pMeshContainer, chain[3]);  // of two M1, the one loaded later
        EXPECT_EQ(Find("H")->pMeshContainer, nullptr);
        EXPECT_EQ(Find("K")->pMeshContainer, nullptr);
        for (HierarchyFrame* f : {Find("F"), Find("F2"), Find("G"), Find("H"), Find("K")})
            for (MeshContainer* top : {chain[0], chain[1]}) EXPECT_NE(f->pMeshContainer, top);
    }
}

// A triangle skinned to the bones "Arm" and "arm", under a frame "Arm".
std::vector<Object> ArmFile() {
    return {XFrame("Root", {XFrame("Arm", {XTranslation(0, 1, 0)}),
                            XTriangle("Body", 0, {XSkinHeader(2), XSkinWeights("Arm", {0, 1}, {1, 1}, Identity()),
                                                  XSkinWeights("arm", {2}, {1}, Identity())})})};
}

TEST_F(LoaderTest, BonesBindToTheCombinedMatrixOfTheFrameOfExactlyTheirName) {
    const std::string file = Write(ArmFile());
    ASSERT_EQ(Skinned(file), S_OK);
    ASSERT_NE(mesh, nullptr);
    ASSERT_NE(mesh->pSkinInfo, nullptr);
    ASSERT_NE(mesh->ppBoneMatrixPtrs, nullptr);
    ASSERT_NE(mesh->pBoneMatrices, nullptr);
    EXPECT_EQ(mesh->ppBoneMatrixPtrs[0], &Find("Arm")->CombinedMatrix);
    EXPECT_EQ(mesh->ppBoneMatrixPtrs[1], nullptr);
    EXPECT_EQ(Find("Root")->pMeshContainer, mesh);

    // Without the root output: no frames, so nothing to bind.
    ASSERT_EQ(Skinned(file, true, false), S_OK);
    ASSERT_NE(mesh, nullptr);
    EXPECT_NE(mesh->pSkinInfo, nullptr);
    EXPECT_EQ(mesh->ppBoneMatrixPtrs, nullptr);
    EXPECT_EQ(mesh->pBoneMatrices, nullptr);
    // Without the container output: frames, and no containers.
    ASSERT_EQ(Skinned(file, false, true), S_OK);
    EXPECT_EQ(mesh, nullptr);
    ASSERT_NE(Find("Arm"), nullptr);
    EXPECT_EQ(Find("Root")->pMeshContainer, nullptr);
}

TEST_F(LoaderTest, WalksThroughReferencesBuildNothing) {
    const Object f = XFrame("F", {XTranslation(1, 2, 3), XTriangle("M1")});
    Object animation = XObject("Animation", "Walk", {XReference("F")});
    const std::string file = Write({f, XObject("AnimationSet", "Sets", {animation})});
    ASSERT_EQ(Skinned(file), S_OK);
    EXPECT_EQ(Chain(mesh).size(), 1u);
    EXPECT_EQ(SiblingNames(root), (std::vector<std::string>{"F"}));
    EXPECT_EQ(root->pFrameFirstChild, nullptr);
    EXPECT_EQ(root->pMeshContainer, mesh);
    ExpectMatrix(root->LoadedMatrix, Translation(1, 2, 3));
}

TEST_F(LoaderTest, ReferencesThatLeadBackOrMultiplyEndTheWalk) {
    // A frame naming itself, two naming each other, and a ladder of frames
    // each naming the next one twice (2^40 ways down, without a loop).
    std::vector<Object> objects = {XFrame("A", {XReference("A")}), XFrame("B", {XReference("C")}),
                                   XFrame("C", {XReference("B"), XTriangle("InC")})};
    const int rungs = 40;
    for (int i = 0; i < rungs; ++i) {
        const std::string next = "L" + std::to_string(i + 1);
        objects.push_back(XFrame("L" + std::to_string(i), {XReference(next), XReference(next)}));
    }
    objects.push_back(XFrame("L" + std::to_string(rungs)));
    // And a chain of frames each naming the next, deeper than the stack would take.
    const int links = 20000;
    for (int i = 0; i < links; ++i)
        objects.push_back(XFrame("C" + std::to_string(i), {XReference("C" + std::to_string(i + 1))}));
    const std::string file = Write(objects);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Skinned(file), S_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(SiblingNames(root).size(), 3u + rungs + 1 + links);
    EXPECT_EQ(Names(Chain(mesh)), (std::vector<std::string>{"InC"}));
    // B's walk through C came before C's mesh was loaded.
    EXPECT_EQ(Find("B")->pMeshContainer, nullptr);
    EXPECT_EQ(Find("C")->pMeshContainer, mesh);
}

TEST_F(LoaderTest, MissingBadOrRefusedFilesLeaveTheOutputsNullOrUntouched) {
    const std::string missing = folder.Path() + "none.x";
    const std::string broken = folder.WriteText("broken.x", "xof 0303txt 0032\nFrame A { Mesh {");
    for (const std::string& file : {missing, broken}) {
        mesh = kNoMesh;
        root = kNoRoot;
        EXPECT_EQ(LoadSkinnedMeshHierarchy(&mesh, &root, device, file.c_str(), "", 0, 0), S_OK);
        EXPECT_EQ(mesh, nullptr);
        EXPECT_EQ(root, nullptr);
        mesh = kNoMesh;
        root = kNoRoot;
        EXPECT_LT(LoadMeshHierarchy(&mesh, &root, device, file.c_str(), "", 0, 0), 0);
        EXPECT_EQ(mesh, nullptr);
        EXPECT_EQ(root, nullptr);
        mesh = kNoMesh;
        EXPECT_LT(LoadMeshFromXAlt(&mesh, device, file.c_str(), "", 0, 0), 0);
        EXPECT_EQ(mesh, kNoMesh);
    }
    const std::string good = Write(ArmFile());
    const char* f = good.c_str();
    mesh = kNoMesh;
    root = kNoRoot;
    EXPECT_EQ(LoadSkinnedMeshHierarchy(&mesh, &root, nullptr, f, "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadSkinnedMeshHierarchy(&mesh, &root, device, nullptr, "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadSkinnedMeshHierarchy(&mesh, &root, device, f, nullptr, 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshHierarchyAlt(&mesh, &root, nullptr, nullptr, f, "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshHierarchy(nullptr, &root, device, f, "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshHierarchy(&mesh, &root, nullptr, f, "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshFromXAlt(nullptr, device, f, "", 0, 0), E_FAIL);
    EXPECT_EQ(LoadMeshFromXAlt(&mesh, device, f, nullptr, 0, 0), E_FAIL);
    EXPECT_EQ(mesh, kNoMesh);
    EXPECT_EQ(root, kNoRoot);
    mesh = nullptr;
    root = nullptr;
}

TEST_F(LoaderTest, AShortMatrixIsNotReadPastItsEnd) {
    // Files may redefine a standard template: this one leaves the matrix one word.
    const std::string file = folder.WriteText(
        "short.x", mesh_fixtures::TextFile("template FrameTransformMatrix {\n"
                                           " <F6F23F41-7686-11CF-8F52-0040333594A3>\n"
                                           " DWORD word;\n"
                                           "}\n"
                                           "Frame R { FrameTransformMatrix { 3; }\n"
                                           " Mesh M { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; } }\n"));
    ASSERT_EQ(Skinned(file), S_OK);
    ASSERT_NE(root, nullptr);
    ExpectMatrix(root->TransformationMatrix, Identity());
    ExpectMatrix(root->LoadedMatrix, Identity());
    EXPECT_EQ(root->pMeshContainer, mesh);
}

DWORD Bits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

TEST_F(LoaderTest, TheLastNormalsInAFrameGiveTheHeadContainerItsNormalsHeader) {
    const Object full = XNormals({{0.5f, 0.25f, 1}, {0, 0, 1}}, {});
    const Object empty = XNormals({}, {});  // eight bytes: two counts
    const Object topLevel = XNormals({{9, 9, 9}}, {});
    struct Case {
        std::vector<Object> objects;
        std::vector<DWORD> expected;
    } cases[] = {
        {{XFrame("R", {full, XTriangle("M")})}, {2, Bits(0.5f), Bits(0.25f), Bits(1)}},
        {{XFrame("R", {full, XTriangle("M"), empty})}, {0, 0, 0, 0}},
        // Outside every frame a normals object is not taken.
        {{XFrame("R", {full, XTriangle("M")}), topLevel}, {2, Bits(0.5f), Bits(0.25f), Bits(1)}},
    };
    for (Case& c : cases) {
        ASSERT_EQ(Skinned(Write(c.objects)), S_OK);
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(std::vector<DWORD>(mesh->NormalsHeader, mesh->NormalsHeader + 4), c.expected);
    }
    // The whole-file load stores no header.
    ASSERT_EQ(Whole(Write(cases[0].objects)), S_OK);
    EXPECT_EQ(std::vector<DWORD>(mesh->NormalsHeader, mesh->NormalsHeader + 4), (std::vector<DWORD>{0, 0, 0, 0}));
}

TEST_F(LoaderTest, TheLevelIsOneMeshOfTheWholeFileWhileTheFramesKeepTheFirstPass) {
    folder.WriteBitmap("stone.bmp", 90, 90, 90);
    const std::string file = Write(
        {XFrame("A", {XTranslation(10, 0, 0),
                      XMesh("MA", {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}, {2, 1, 3}},
                            {XMaterialList({1, 0}, {XMaterial(1, 0, 0, 1, "stone.bmp"), XMaterial(0, 1, 0, 1)})})}),
         XFrame("B", {XTranslation(0, 0, 5), XTriangle("MB", 0, {XMaterialList({0}, {XMaterial(0, 0, 1, 1)})})})});
    const int before = LiveObjects();
    ASSERT_EQ(Whole(file), S_OK);
    ASSERT_NE(mesh, nullptr);
    EXPECT_STREQ(mesh->Name, file.c_str());
    EXPECT_EQ(mesh->pNextMeshContainer, nullptr);
    EXPECT_EQ(mesh->pSkinInfo, nullptr);
    EXPECT_EQ(mesh->pSkinnedMesh, nullptr);
    ID3DXMesh* m = mesh->MeshData.pMesh;
    ASSERT_EQ(m->GetNumVertices(), 7u);
    ASSERT_EQ(m->GetNumFaces(), 3u);
    ASSERT_EQ(mesh->NumMaterials, 3u);
    EXPECT_EQ(mesh->pMaterials[2].MatD3D.Diffuse.b, 1.0f);
    EXPECT_EQ(mesh->pMaterials[2].MatD3D.Ambient.b, 1.0f);
    EXPECT_NE(mesh->ppTextures[0], nullptr);
    EXPECT_EQ(mesh->ppTextures[1], nullptr);

    // Each mesh placed by its frame, materials one after the other.
    std::vector<D3DXVECTOR3> positions;
    void* v = nullptr;
    m->LockVertexBuffer(D3DLOCK_READONLY, &v);
    for (DWORD i = 0; i < 7; ++i) positions.push_back(*reinterpret_cast<D3DXVECTOR3*>(
                                      static_cast<char*>(v) + i * m->GetNumBytesPerVertex()));
    m->UnlockVertexBuffer();
    EXPECT_EQ(positions[0], D3DXVECTOR3(10, 0, 0));
    EXPECT_EQ(positions[3], D3DXVECTOR3(11, 1, 0));
    EXPECT_EQ(positions[4], D3DXVECTOR3(0, 0, 5));
    DWORD ranges = 0;
    m->GetAttributeTable(nullptr, &ranges);
    std::vector<D3DXATTRIBUTERANGE> table(ranges);
    m->GetAttributeTable(table.data(), &ranges);
    ASSERT_EQ(ranges, 3u);
    EXPECT_EQ(table[2].AttribId, 2u);
    EXPECT_EQ(table[2].VertexStart, 4u);

    // The frames still point at the first pass's containers, which nobody
    // else hands out; they go with ReleaseFirstPassContainers.
    ASSERT_NE(Find("A")->pMeshContainer, nullptr);
    EXPECT_STREQ(Find("A")->pMeshContainer->Name, "MA");
    EXPECT_STREQ(Find("B")->pMeshContainer->Name, "MB");
    EXPECT_EQ(Find("A")->pMeshContainer->MeshData.pMesh->GetNumVertices(), 4u);
    ExpectMatrix(mesh->FirstBoneMatrix, D3DXMATRIX());  // no bone: never set
    Free();
    EXPECT_EQ(LiveObjects(), before);

    // Without the root output no frame keeps the first pass either.
    ASSERT_EQ(Whole(file, false), S_OK);
    EXPECT_EQ(root, nullptr);
    Free();
    EXPECT_EQ(LiveObjects(), before);
}

TEST_F(LoaderTest, TheLevelsContainerKeepsTheFirstBoundBonesMatrix) {
    ASSERT_EQ(Whole(Write(ArmFile())), S_OK);
    ASSERT_NE(mesh, nullptr);
    // Combined matrices are still the identity when the bones are bound.
    ExpectMatrix(mesh->FirstBoneMatrix, Identity());
    EXPECT_EQ(mesh->pSkinInfo, nullptr);  // the whole-file mesh has no skin
}

TEST_F(LoaderTest, TheAlternativeLoaderHangsTheTreeAfterTheGivenFrame) {
    HierarchyFrame* anchor = MakeFrame("Anchor");
    Free();
    ASSERT_EQ(LoadMeshHierarchyAlt(&mesh, &root, anchor, device, Write(ArmFile()).c_str(), folder.Path().c_str(), 0,
                                   D3DXMESH_SYSTEMMEM),
              S_OK);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(anchor->pFrameSibling, root);
    EXPECT_EQ(mesh->ppBoneMatrixPtrs[0], &Find("Arm")->CombinedMatrix);
    EXPECT_EQ(std::vector<DWORD>(mesh->NormalsHeader, mesh->NormalsHeader + 4), (std::vector<DWORD>{0, 0, 0, 0}));
    anchor->pFrameSibling = nullptr;
    FreeFrameTree(anchor);

    MeshContainer* single = nullptr;
    ASSERT_EQ(LoadMeshFromXAlt(&single, device, Write(ArmFile()).c_str(), folder.Path().c_str(), 0, 0), S_OK);
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->MeshData.pMesh->GetNumFaces(), 1u);
    delete single;
}

// Each file read once more within the start-up (the level by its two passes,
// the character by its animation sets, the character's texture by both its
// materials) is parsed or decoded once.
TEST_F(LoaderTest, TheGeneratedCharacterAndLevelLoadAsTheProgramLoadsThem) {
    ASSERT_TRUE(settled_files::WaitUntilSettled({"..\\Data\\Ninja.x", "..\\Data\\ninja.bmp",
                                                 "..\\Level01\\Level.x", "..\\Level01\\brick.bmp",
                                                 "..\\Level01\\pillar.bmp", "..\\Level01\\stone.bmp"}));
    const unsigned parsed = pt::XFileFilesParsed(), decoded = pt::D3DXPicturesDecoded();
    ASSERT_EQ(LoadSkinnedMeshHierarchy(&mesh, &root, device, "..\\Data\\Ninja.x", "..\\Data\\", 0, 0x110), S_OK);
    AnimationCollection animations;
    EXPECT_EQ(animations.Load("..\\Data\\Ninja.x"), 1);
    EXPECT_GE(animations.setCount, 5u);
    animations.Clear();
    EXPECT_EQ(pt::XFileFilesParsed(), parsed + 1);
    EXPECT_EQ(pt::D3DXPicturesDecoded(), decoded + 1);
    ASSERT_NE(mesh, nullptr);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->pFrameSibling, nullptr);  // one top-level frame
    ExpectMatrix(root->LoadedMatrix, Identity());
    EXPECT_EQ(mesh->pNextMeshContainer, nullptr);  // one mesh
    ASSERT_NE(mesh->pSkinInfo, nullptr);
    ASSERT_NE(mesh->pSkinnedMesh, nullptr);
    for (DWORD i = 0; i < mesh->pSkinInfo->GetNumBones(); ++i)
        EXPECT_NE(mesh->ppBoneMatrixPtrs[i], nullptr) << mesh->pSkinInfo->GetBoneName(i);
    for (DWORD i = 0; i < mesh->NumMaterials; ++i) EXPECT_NE(mesh->ppTextures[i], nullptr) << i;
    Free();

    ASSERT_EQ(LoadMeshHierarchy(&mesh, &root, device, "..\\Level01\\Level.x", "..\\Level01\\", 0, 0x110), S_OK);
    ASSERT_NE(mesh, nullptr);
    ASSERT_NE(root, nullptr);
    EXPECT_GT(mesh->MeshData.pMesh->GetNumFaces(), 1000u);
    EXPECT_EQ(mesh->pSkinInfo, nullptr);
    for (DWORD i = 0; i < mesh->NumMaterials; ++i) EXPECT_NE(mesh->ppTextures[i], nullptr) << i;
    EXPECT_EQ(pt::XFileFilesParsed(), parsed + 2);
    EXPECT_EQ(pt::D3DXPicturesDecoded(), decoded + 4);
}

// Characters exported for DirectX 9 use its skin templates without declaring
// them. The hierarchy loader and the animation parser read them in every
// encoding, as they read a file that declares the templates: the bone chain,
// the skinned body bound to it, and every animation bound to its bone; the
// whole-file load of the level reads them too.
TEST_F(LoaderTest, ExportedCharactersLoadWithTheirFramesBonesAndAnimations) {
    struct Case {
        const char* what;
        bool declared;
        Encoding encoding;
    } const cases[] = {
        {"text", false, Encoding::Text},
        {"binary", false, Encoding::Binary},
        {"compressed text", false, Encoding::TextZip},
        {"compressed binary", false, Encoding::BinaryZip},
        {"declared, binary", true, Encoding::Binary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        xsamples::CharacterShape shape;
        shape.declareSkinTemplates = c.declared;
        const std::string file = folder.Write("exported.x", xsamples::Character(shape), c.encoding);
        ASSERT_EQ(Skinned(file), S_OK);
        ASSERT_NE(root, nullptr);
        ASSERT_NE(mesh, nullptr);

        // Root, then one bone under the other.
        EXPECT_EQ(SiblingNames(root), std::vector<std::string>{"Root"});
        HierarchyFrame* bone = root;
        for (int b = 0; b < 3; ++b) {
            bone = bone->pFrameFirstChild;
            ASSERT_NE(bone, nullptr) << b;
            EXPECT_STREQ(bone->Name, ("Bone" + std::to_string(b)).c_str());
            EXPECT_EQ(bone->pFrameSibling, nullptr);
            EXPECT_NEAR(bone->LoadedMatrix._42, b == 0 ? 0.0f : 0.33203125f, 1e-6f);
        }
        EXPECT_EQ(bone->pFrameFirstChild, nullptr);

        // The body, skinned to the three bones by name.
        EXPECT_EQ(Names(Chain(mesh)), std::vector<std::string>{"Body"});
        EXPECT_EQ(root->pMeshContainer, mesh);
        ASSERT_NE(mesh->pSkinInfo, nullptr);
        ASSERT_EQ(mesh->pSkinInfo->GetNumBones(), 3u);
        for (DWORD i = 0; i < 3; ++i) {
            const std::string name = "Bone" + std::to_string(i);
            EXPECT_STREQ(mesh->pSkinInfo->GetBoneName(i), name.c_str());
            ASSERT_NE(Find(name.c_str()), nullptr);
            EXPECT_EQ(mesh->ppBoneMatrixPtrs[i], &Find(name.c_str())->CombinedMatrix) << name;
        }
        EXPECT_GT(mesh->MeshData.pMesh->GetNumFaces(), 0u);

        // Two sets of three animations, each bound to its bone, with three
        // keys of every kind up to time 80.
        AnimationCollection sets;
        ASSERT_EQ(sets.Load(file.c_str()), 1);
        sets.BindToFrames(root);
        EXPECT_EQ(sets.setCount, 2u);
        std::vector<std::string> names;
        for (AnimationSet* set = sets.firstSet; set; set = set->next) {
            names.push_back(set->name ? set->name : "(none)");
            EXPECT_EQ(set->animationCount, 3u);
            EXPECT_EQ(set->length, 80u);
            int animations = 0;
            for (Animation* a = set->firstAnimation; a; a = a->next, ++animations) {
                ASSERT_NE(a->frameName, nullptr);
                EXPECT_EQ(a->frame, Find(a->frameName)) << a->frameName;
                EXPECT_NE(a->frame, nullptr) << a->frameName;
                EXPECT_EQ(a->positionKeyCount, 3u);
                EXPECT_EQ(a->scaleKeyCount, 3u);
                EXPECT_EQ(a->rotationKeyCount, 3u);
                EXPECT_EQ(a->matrixKeyCount, 3u);
            }
            EXPECT_EQ(animations, 3);
        }
        EXPECT_EQ(names, (std::vector<std::string>{"Set1", "Set0"}));
        sets.Clear();  // before the frames it is bound to go

        // As the level is loaded: the whole file as one mesh, too.
        ASSERT_EQ(Whole(file), S_OK);
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->MeshData.pMesh->GetNumVertices(), 12u);
        Free();
    }
}

}  // namespace
