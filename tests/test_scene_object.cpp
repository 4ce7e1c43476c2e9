// The scene object: its transform, hierarchy and drawing on the null device
// (read through the call log), its bounding box and nearness tests, and its
// copy of the collision mesh's vertices.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "scene/SceneFrame.h"
#include "tests/support/mesh_fixtures.h"
#include "tests/support/scene_fixtures.h"

namespace pt = platform_testing;
using namespace scene_fixtures;

namespace {

int LiveObjects() {
    return layer::LiveObjects(layer::ObjectFamily::D3DX) + layer::LiveObjects(layer::ObjectFamily::Direct3D);
}

class SceneObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetWin32();
        pt::ResetD3D9();
        baseline = LiveObjects();
        g_Device = mesh_fixtures::NullDevice();
        ASSERT_NE(g_Device, nullptr);
        pt::ClearD3D9Calls();
    }
    void TearDown() override {
        for (MeshContainer* c : containers) delete c;
        g_Device->Release();
        g_Device = nullptr;
        EXPECT_EQ(LiveObjects(), baseline) << "an object leaked";
        pt::ResetD3D9();
    }
    MeshContainer* Keep(MeshContainer* c) {
        containers.push_back(c);
        return c;
    }
    // Three triangles with the attribute ids 0, 1 and 2.
    ID3DXMesh* ThreeSubsets() {
        return MakeMesh(g_Device, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}},
                        {0, 1, 2, 2, 1, 3, 2, 3, 4}, {0, 1, 2});
    }
    D3DXMATRIX DeviceWorld() {
        D3DXMATRIX m;
        g_Device->GetTransform(D3DTS_WORLD, &m);
        return m;
    }
    unsigned VertexBufferId(ID3DXMesh* mesh) {
        IDirect3DVertexBuffer9* vb = nullptr;
        mesh->GetVertexBuffer(&vb);
        unsigned id = pt::D3D9ObjectId(vb);
        vb->Release();
        return id;
    }

    std::vector<MeshContainer*> containers;
    int baseline = 0;
};

void ExpectNear(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i / 4][i % 4], b.m[i / 4][i % 4], 1e-5f) << "element " << i;
}

TEST_F(SceneObjectTest, ANewObjectSetsTheIdentityWorldAndDrawsNothing) {
    SceneFrame frame;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    ExpectNear(frame.WorldMatrix, identity);
    EXPECT_EQ(frame.Position, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(frame.Velocity, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(frame.CollisionCopyPending, 1);
    EXPECT_EQ(frame.Collided, 0);
    EXPECT_EQ(frame.HasCollided(), 0);
    EXPECT_EQ(frame.pMeshContainers, nullptr);

    EXPECT_EQ(frame.Render(), S_OK);
    EXPECT_EQ(CallsStartingWith({""}),
              (std::vector<std::string>{"SetTransform(256,{1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1})"}));
}

TEST_F(SceneObjectTest, TheWorldMatrixTurnsAboutZThenXThenYThenTranslates) {
    struct Pose {
        float rx, ry, rz;
        D3DXVECTOR3 p;
    } poses[] = {{0, 0, 0, {1, 2, 3}}, {0.7f, 0, 0, {0, 0, 0}}, {0, -1.2f, 0, {0, 0, -4}},
                 {0, 0, 2.0f, {5, 0, 0}}, {0.3f, -0.8f, 1.1f, {-2, 0.5f, 7}}};
    for (const Pose& pose : poses) {
        SceneFrame frame;
        frame.RotationX = pose.rx;
        frame.RotationY = pose.ry;
        frame.RotationZ = pose.rz;
        frame.SetPosition(pose.p.x, pose.p.y, pose.p.z);
        frame.UpdateTransform();
        D3DXMATRIX x, y, z, t, expected;
        D3DXMatrixRotationX(&x, pose.rx);
        D3DXMatrixRotationY(&y, pose.ry);
        D3DXMatrixRotationZ(&z, pose.rz);
        D3DXMatrixTranslation(&t, pose.p.x, pose.p.y, pose.p.z);
        expected = z * x * y * t;
        ExpectNear(frame.WorldMatrix, expected);
        ExpectNear(frame.LocalMatrix, expected);
        ExpectNear(DeviceWorld(), expected);
    }

    // The level's pose: its model's y axis turns onto the world's -z axis,
    // and everything is lifted by 1.4.
    SceneFrame level;
    level.SetPosition(0, 1.4f, 0);
    level.RotationX = -1.57f;
    level.UpdateTransform();
    D3DXVECTOR3 up(0, 1, 0), forward(0, 0, 1), a, b;
    D3DXVec3TransformCoord(&a, &up, &level.WorldMatrix);
    D3DXVec3TransformCoord(&b, &forward, &level.WorldMatrix);
    EXPECT_NEAR(a.x, 0, 1e-3f);
    EXPECT_NEAR(a.y, 1.4f, 1e-3f);
    EXPECT_NEAR(a.z, -1, 1e-3f);
    EXPECT_NEAR(b.x, 0, 1e-3f);
    EXPECT_NEAR(b.y, 2.4f, 1e-3f);
    EXPECT_NEAR(b.z, 0, 1e-3f);
}

TEST_F(SceneObjectTest, VelocityIsAddedOnEveryUpdateAlsoThroughAChildsUpdate) {
    SceneFrame parent, child;
    parent.SetVelocity(1, 0, 0);
    parent.UpdateTransform();
    parent.UpdateTransform();
    float x, y, z;
    parent.GetPosition(&x, &y, &z);
    EXPECT_EQ(x, 2.0f);
    ASSERT_EQ(parent.AddChild(&child), S_OK);
    // The child's update asks for the parent's combined matrix, which updates
    // the parent once more.
    parent.Render();
    parent.GetPosition(&x, &y, &z);
    EXPECT_EQ(x, 4.0f);
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, 4, 0, 0);
    ExpectNear(child.WorldMatrix, t);

    float vx, vy, vz;
    parent.GetVelocity(&vx, &vy, &vz);
    EXPECT_EQ(D3DXVECTOR3(vx, vy, vz), D3DXVECTOR3(1, 0, 0));
    parent.SetAuxVector(7, 8, 9);
    parent.GetAuxVector(&vx, &vy, &vz);
    EXPECT_EQ(D3DXVECTOR3(vx, vy, vz), D3DXVECTOR3(7, 8, 9));
}

void Callback(SceneFrame* frame, DWORD data) { frame->Position.y += static_cast<float>(data); }

TEST_F(SceneObjectTest, TheUpdateCallbackRunsFirstWithItsData) {
    SceneFrame frame;
    frame.CallbackData = 3;
    EXPECT_EQ(frame.SetUpdateCallback(Callback), S_OK);
    EXPECT_EQ(frame.HasUpdateCallback, 1);
    frame.UpdateTransform();
    EXPECT_EQ(frame.WorldMatrix.m[3][1], 3.0f);
    EXPECT_EQ(frame.SetUpdateCallback(nullptr), E_FAIL);
    EXPECT_EQ(frame.HasUpdateCallback, 0);
    EXPECT_EQ(frame.UpdateCallback, nullptr);
    frame.UpdateTransform();
    EXPECT_EQ(frame.Position.y, 3.0f);
}

TEST_F(SceneObjectTest, ChildrenAreDrawnInTheOrderAddedAndBeforeTheFramesOwnContainers) {
    SceneFrame parent, first, second;
    ID3DXMesh* meshes[3] = {MakeQuad(g_Device), MakeQuad(g_Device), MakeQuad(g_Device)};
    parent.AddMeshContainer(Keep(MakeContainer(meshes[0], {1.0f})));
    first.AddMeshContainer(Keep(MakeContainer(meshes[1], {1.0f})));
    second.AddMeshContainer(Keep(MakeContainer(meshes[2], {1.0f})));
    ASSERT_EQ(parent.AddChild(&first), S_OK);
    ASSERT_EQ(parent.AddChild(&second), S_OK);
    EXPECT_EQ(first.pParent, &parent);
    EXPECT_EQ(first.pNextSibling, &second);

    pt::ClearD3D9Calls();
    EXPECT_EQ(parent.Render(), S_OK);
    std::vector<std::string> streams = CallsStartingWith({"SetStreamSource(0,#"});
    ASSERT_EQ(streams.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const std::string id = "#" + std::to_string(VertexBufferId(meshes[(i + 1) % 3])) + ",";
        EXPECT_NE(streams[i].find(id), std::string::npos) << streams[i];
    }
    // The parent's world transform is set again before its own container.
    int last = pt::FindD3D9Call("SetStreamSource", pt::FindD3D9Call("SetStreamSource", pt::FindD3D9Call("SetStreamSource") + 1) + 1);
    int world = -1;
    for (int i = 0; i < last; ++i)
        if (pt::D3D9Calls()[i].compare(0, 16, "SetTransform(256") == 0) world = i;
    ASSERT_GE(world, 0);
    EXPECT_EQ(pt::D3D9Calls()[world], "SetTransform(256,{1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1})");
}

TEST_F(SceneObjectTest, InvalidChildrenAreRefusedWithAReport) {
    SceneFrame parent, child, grandchild;
    EXPECT_EQ(parent.AddChild(nullptr), E_FAIL);
    EXPECT_EQ(pt::DebugOutputText(), "ERROR: Failed in attempt to add an invalid child frame\n");
    ASSERT_EQ(parent.AddChild(&child), S_OK);
    ASSERT_EQ(child.AddChild(&grandchild), S_OK);
    // Each of these would close the hierarchy into a loop.
    pt::ClearDebugOutput();
    EXPECT_EQ(parent.AddChild(&child), E_FAIL);
    EXPECT_EQ(parent.AddChild(&parent), E_FAIL);
    EXPECT_EQ(grandchild.AddChild(&parent), E_FAIL);
    EXPECT_EQ(pt::DebugOutput().size(), 9u);  // three reports of three writes
    EXPECT_EQ(child.pNextSibling, nullptr);
    EXPECT_EQ(parent.pParent, nullptr);
    parent.Render();  // finishes
}

TEST_F(SceneObjectTest, ContainersGoToTheEndOfTheListOnce) {
    SceneFrame frame;
    MeshContainer* a = Keep(MakeContainer(MakeQuad(g_Device), {1.0f}));
    MeshContainer* b = Keep(MakeContainer(MakeQuad(g_Device), {1.0f}));
    EXPECT_EQ(frame.AddMeshContainer(nullptr), E_FAIL);
    EXPECT_EQ(pt::DebugOutputText(), "");
    EXPECT_EQ(frame.AddMeshContainer(a), S_OK);
    EXPECT_EQ(frame.AddMeshContainer(b), S_OK);
    EXPECT_EQ(frame.pMeshContainers, a);
    EXPECT_EQ(a->pNextInOwner, b);
    EXPECT_EQ(a->pOwner, &frame);
    EXPECT_EQ(b->pOwner, &frame);
    EXPECT_EQ(frame.AddMeshContainer(a), E_FAIL);
    EXPECT_EQ(frame.AddMeshContainer(b), E_FAIL);
    EXPECT_EQ(b->pNextInOwner, nullptr);
}

// The blend states and draws of one Render, as the log has them.
std::vector<std::string> BlendAndDraws() {
    std::vector<std::string> out;
    for (std::string c : CallsStartingWith({"SetRenderState(27,", "SetRenderState(19,", "SetRenderState(20,",
                                            "DrawIndexedPrimitive("}))
        out.push_back(c.compare(0, 4, "Draw") == 0 ? "draw" : c);
    return out;
}

TEST_F(SceneObjectTest, BlendingFollowsEachMaterialsAlphaAndIsPutBackOnlyWhenItChanged) {
    const std::string on1 = "SetRenderState(27,1)", off = "SetRenderState(27,0)";
    const std::string one = "SetRenderState(19,2)", destColor = "SetRenderState(20,9)";
    // Kept factors, distinct from the ones the switch sets.
    const std::string keptSrc = "SetRenderState(19,5)", keptDest = "SetRenderState(20,6)";
    struct Case {
        bool blendingBefore;
        std::vector<float> alphas;
        std::vector<std::string> expected;
    } cases[] = {
        {false, {0.5f, 1.0f}, {on1, one, destColor, "draw", off, "draw"}},
        {false, {1.0f, 0.5f}, {"draw", on1, one, destColor, "draw", off, keptSrc, keptDest}},
        {false, {1.0f, 0.5f, 1.0f}, {"draw", on1, one, destColor, "draw", off, "draw"}},
        {false, {0.999f}, {on1, one, destColor, "draw", off, keptSrc, keptDest}},
        // Already on: a translucent material keeps the factors in force.
        {true, {0.5f}, {"draw"}},
        {true, {1.0f}, {off, "draw", on1, keptSrc, keptDest}},
    };
    for (const Case& c : cases) {
        SceneFrame frame;
        MeshContainer* container = MakeContainer(ThreeSubsets(), c.alphas);
        frame.AddMeshContainer(container);
        g_Device->SetRenderState(D3DRS_ALPHABLENDENABLE, c.blendingBefore ? TRUE : FALSE);
        g_Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        g_Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        pt::ClearD3D9Calls();
        EXPECT_EQ(frame.Render(), S_OK);
        EXPECT_EQ(BlendAndDraws(), c.expected) << "alphas " << c.alphas.size() << " blending " << c.blendingBefore;
        delete container;
    }
}

TEST_F(SceneObjectTest, EachMaterialIsSetWithItsTextureAndTheSkinnedCopyIsDrawn) {
    SceneFrame frame;
    MeshContainer* c = Keep(MakeContainer(ThreeSubsets(), {1.0f, 1.0f}));
    ASSERT_EQ(g_Device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &c->ppTextures[0], nullptr),
              S_OK);
    c->pMaterials[1].MatD3D.Diffuse.g = 0.25f;
    c->MeshData.pMesh->CloneMeshFVF(0, kFvf, g_Device, &c->pSkinnedMesh);
    frame.AddMeshContainer(c);
    pt::ClearD3D9Calls();
    frame.Render();

    const unsigned texture = pt::D3D9ObjectId(c->ppTextures[0]);
    const std::string skinned = "SetStreamSource(0,#" + std::to_string(VertexBufferId(c->pSkinnedMesh)) + ",";
    std::vector<std::string> calls = CallsStartingWith({"SetVertexShader", "SetVertexDeclaration", "SetMaterial",
                                                        "SetTexture", "SetStreamSource"});
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[0], "SetVertexShader(null)");
    EXPECT_EQ(calls[1], "SetVertexDeclaration(null)");
    EXPECT_EQ(calls[2].compare(0, 12, "SetMaterial("), 0);
    EXPECT_EQ(calls[3], "SetTexture(0,#" + std::to_string(texture) + ")");
    EXPECT_EQ(calls[4].compare(0, skinned.size(), skinned), 0) << calls[4];
    EXPECT_NE(calls[5].find("0.25"), std::string::npos) << calls[5];
    EXPECT_EQ(calls[6], "SetTexture(0,null)");
    EXPECT_EQ(calls[7].compare(0, skinned.size(), skinned), 0) << calls[7];
}

TEST_F(SceneObjectTest, ContainersWithoutMaterialsOrMeshArePassedOver) {
    SceneFrame frame;
    FailingMesh* watched = new FailingMesh(MakeQuad(g_Device));
    MeshContainer* none = Keep(MakeContainer(watched, {}));
    MeshContainer* noMesh = Keep(MakeContainer(nullptr, {1.0f}));
    MeshContainer* drawn = Keep(MakeContainer(MakeQuad(g_Device), {1.0f}));
    frame.AddMeshContainer(none);
    frame.AddMeshContainer(noMesh);
    frame.AddMeshContainer(drawn);
    pt::ClearD3D9Calls();
    EXPECT_EQ(frame.Render(), S_OK);
    EXPECT_EQ(watched->getDeviceCalls, 0);
    EXPECT_EQ(CallsStartingWith({"SetVertexShader(null)"}).size(), 1u);
    EXPECT_EQ(CallsStartingWith({"DrawIndexedPrimitive("}).size(), 1u);
}

TEST_F(SceneObjectTest, BoundingBoxReadsPositionsAtTheVertexStrideAndTruncatesTheExtents) {
    SceneFrame frame;
    MeshContainer* c = Keep(MakeContainer(
        MakeMesh(g_Device, {{-1.5f, 0, 0.25f}, {2.7f, -3.9f, 1}, {0, 1.2f, -6.5f}}, {0, 1, 2}), {1.0f}));
    frame.ComputeBoundingBox(c);
    EXPECT_EQ(frame.BoxMin, D3DXVECTOR3(-1.5f, -3.9f, -6.5f));
    EXPECT_EQ(frame.BoxMax, D3DXVECTOR3(2.7f, 1.2f, 1));
    // Whole numbers: |trunc| of each end, the larger end's less the smaller's.
    EXPECT_EQ(frame.BoxExtents, D3DXVECTOR3(1, -2, -5));

    // A buffer that cannot be locked leaves the box as it was.
    FailingMesh* failing = new FailingMesh(MakeQuad(g_Device));
    failing->failVertexLock = true;
    MeshContainer* f = Keep(MakeContainer(failing, {1.0f}));
    frame.ComputeBoundingBox(f);
    EXPECT_EQ(frame.BoxMin, D3DXVECTOR3(-1.5f, -3.9f, -6.5f));
    EXPECT_EQ(failing->vertexUnlocks, 0);
    frame.ComputeBoundingBox(nullptr);
}

TEST_F(SceneObjectTest, NearnessHeightAndBoxCorners) {
    struct Near {
        float dx, dy, dz;
        BYTE nearby;
    } nears[] = {{2, 0, 0, 0}, {1.9f, 0, 0, 1}, {0, 0, -2, 0}, {1.2f, 0, 1.2f, 1}, {1.5f, 0, 1.5f, 0},
                 {0, 100, 0, 1}};
    for (const Near& n : nears) {
        SceneFrame a, b;
        a.Radius = b.Radius = 1.0f;
        a.SetPosition(0.5f, 0, -1);
        b.SetPosition(0.5f + n.dx, n.dy, -1 + n.dz);
        EXPECT_EQ(a.IsNear(b), n.nearby) << n.dx << " " << n.dy << " " << n.dz;
    }
    struct Height {
        float y;
        BYTE same;
    } heights[] = {{0, 1}, {1.0f, 1}, {-1.0f, 1}, {1.01f, 0}, {-1.01f, 0}};
    for (const Height& h : heights) {
        SceneFrame a, b;
        b.SetPosition(3, h.y, 3);
        EXPECT_EQ(a.IsAtSameHeight(b), h.same) << h.y;
    }

    SceneFrame box;
    box.BoxExtents = D3DXVECTOR3(2, 4, 6);
    box.SetBoxCorners(0, 0, 0);
    const D3DXVECTOR3 corners[8] = {{1, 2, 3},   {1, 2, -3},   {1, -2, 3},   {1, -2, -3},
                                    {-1, 2, 3},  {-1, 2, -3},  {-1, -2, 3},  {-1, -2, -3}};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(box.BoxCorners[i], corners[i]) << i;
    box.SetBoxCorners(10, 0, -1);
    EXPECT_EQ(box.BoxCorners[0], D3DXVECTOR3(11, 2, 2));
}

TEST_F(SceneObjectTest, TheCollisionCopyHoldsEachUsedVertexAtItsOwnIndex) {
    SceneFrame frame;
    // Vertex 3 is used by no face; the second face names vertex 9, which the
    // mesh does not have.
    MeshContainer* c = Keep(MakeContainer(
        MakeMesh(g_Device, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {-1, -1, -1}}, {2, 1, 0, 0, 9, 1}), {1.0f}));
    EXPECT_EQ(frame.CopyCollisionVertices(), E_FAIL);  // nothing prepared yet
    EXPECT_EQ(frame.CollisionCopyPending, 1);
    ASSERT_EQ(frame.PrepareCollisionMesh(c), S_OK);
    EXPECT_EQ(frame.pCollisionMesh, c->MeshData.pMesh);
    EXPECT_EQ(frame.VertexCount, 4u);
    EXPECT_EQ(frame.FaceCount, 2u);
    ASSERT_NE(frame.pCollisionVertices, nullptr);
    EXPECT_EQ(frame.CopyCollisionVertices(), S_OK);
    EXPECT_EQ(frame.CollisionCopyPending, 0);
    EXPECT_EQ(frame.pCollisionVertices[0], D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(frame.pCollisionVertices[1], D3DXVECTOR3(4, 5, 6));
    EXPECT_EQ(frame.pCollisionVertices[2], D3DXVECTOR3(7, 8, 9));
    EXPECT_EQ(frame.pCollisionVertices[3], D3DXVECTOR3(0, 0, 0));
    delete[] frame.pCollisionVertices;  // the program never frees it
}

TEST_F(SceneObjectTest, TheCollisionCopyStopsWhenABufferCannotBeLocked) {
    for (bool failIndex : {false, true}) {
        SceneFrame frame;
        FailingMesh* mesh = new FailingMesh(MakeQuad(g_Device));
        MeshContainer* c = MakeContainer(mesh, {1.0f});
        frame.PrepareCollisionMesh(c);
        mesh->failVertexLock = !failIndex;
        mesh->failIndexLock = failIndex;
        EXPECT_LT(frame.CopyCollisionVertices(), 0);
        EXPECT_EQ(frame.CollisionCopyPending, 1);
        EXPECT_EQ(mesh->vertexUnlocks, failIndex ? 1 : 0);
        EXPECT_EQ(mesh->indexUnlocks, 0);
        EXPECT_EQ(frame.pCollisionVertices[0], D3DXVECTOR3(0, 0, 0));
        delete[] frame.pCollisionVertices;
        delete c;
    }
}

}  // namespace
