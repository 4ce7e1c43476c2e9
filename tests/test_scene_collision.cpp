// The ray test along the walk against the other object's mesh, the
// building of a collision object from a mesh's triangles, and the collision
// test's flags. On the null device.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "scene/SceneFrame.h"
#include "tests/support/anim_fixtures.h"
#include "tests/support/mesh_fixtures.h"
#include "tests/support/scene_fixtures.h"

namespace pt = platform_testing;
namespace af = anim_fixtures;
using af::CollisionCall;
using namespace scene_fixtures;

namespace {

int LiveObjects() {
    return layer::LiveObjects(layer::ObjectFamily::D3DX) + layer::LiveObjects(layer::ObjectFamily::Direct3D);
}

class CollisionTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetD3D9();
        baseline = LiveObjects();
        g_Device = mesh_fixtures::NullDevice();
        ASSERT_NE(g_Device, nullptr);
        af::RecordCollisions(true);
    }
    void TearDown() override {
        for (SceneFrame& f : frames) {
            delete f.pCollisionObject;
            delete[] f.pCollisionVertices;
        }
        for (MeshContainer* c : containers) delete c;
        g_Device->Release();
        g_Device = nullptr;
        af::RecordCollisions(false);
        EXPECT_EQ(LiveObjects(), baseline) << "an object leaked";
    }
    MeshContainer* Keep(ID3DXMesh* mesh) {
        containers.push_back(MakeContainer(mesh, {1.0f}));
        return containers.back();
    }
    // A scene object whose collision object and vertex copy are freed at the end.
    SceneFrame& Frame() {
        frames.emplace_back();
        return frames.back();
    }

    std::vector<MeshContainer*> containers;
    std::deque<SceneFrame> frames;
    int baseline = 0;
};

struct NoFaces : FailingMesh {
    using FailingMesh::FailingMesh;
    DWORD GetNumFaces() override { return 0; }
};

// A 4 by 4 square facing the point `at - direction * distance`, centred on `at`.
std::vector<D3DXVECTOR3> Wall(const D3DXVECTOR3& at, const D3DXVECTOR3& direction) {
    const D3DXVECTOR3 up(0, 1, 0);
    D3DXVECTOR3 side;
    D3DXVec3Cross(&side, &up, &direction);
    D3DXVec3Normalize(&side, &side);
    return {at - side * 2 - up * 2, at - side * 2 + up * 2, at + side * 2 - up * 2, at + side * 2 + up * 2};
}

// The way the last walking step went, by the heading it set; before the
// first step, and for headings no step sets, along +x.
D3DXVECTOR3 WalkDirection(float heading) {
    if (heading == 360) return {0, 0, 1};   // Down
    if (heading == 180) return {0, 0, -1};  // Up
    if (heading == 90) return {-1, 0, 0};   // Right
    return {1, 0, 0};                       // Left (270), none yet (0), any other
}

TEST_F(CollisionTest, TheRayRunsAlongTheWalkAndHitsWithinTheRadius) {
    // The level's placement in the program, and none.
    D3DXMATRIX levelWorld, turn, lift;
    D3DXMatrixRotationX(&turn, -1.57f);
    D3DXMatrixTranslation(&lift, 0, 1.4f, 0);
    D3DXMatrixMultiply(&levelWorld, &turn, &lift);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);

    struct Case {
        float heading;
        float distance;
        BYTE collided;
    } cases[] = {
        // Headings 90, 180 and 360 count hits nearer than radius - 0.4, all others the radius.
        {180, 0.5f, 1}, {180, 0.7f, 0}, {90, 0.55f, 1}, {90, 0.65f, 0}, {360, 0.3f, 1}, {360, 0.7f, 0},
        {270, 0.7f, 1}, {270, 0.95f, 1}, {270, 1.05f, 0}, {0, 0.99f, 1}, {0, 1.5f, 0},  {45, 0.9f, 1},
        {180.5f, 0.9f, 1},
        // Strictly nearer: a hit exactly at the radius does not count (exact only without a turn).
        {0, 1.0f, 0},
    };
    const D3DXMATRIX* worlds[] = {&identity, &levelWorld};
    for (const D3DXMATRIX* world : worlds) {
        g_Device->SetTransform(D3DTS_WORLD, world);
        D3DXMATRIX toModel;
        D3DXMatrixInverse(&toModel, NULL, world);
        for (const Case& c : cases) {
            if (world != &identity && c.heading == 0 && c.distance == 1.0f) continue;
            SCOPED_TRACE(::testing::Message() << "heading " << c.heading << " at " << c.distance
                                              << (world == &identity ? "" : " under the level's matrix"));
            SceneFrame character;
            character.Radius = 1.0f;
            character.Heading = c.heading;
            character.SetPosition(3, 0, -2);
            // The wall in world terms, then in the level's own space.
            const D3DXVECTOR3 direction = WalkDirection(c.heading);
            std::vector<D3DXVECTOR3> corners = Wall(character.Position + direction * c.distance, direction);
            for (D3DXVECTOR3& p : corners) D3DXVec3TransformCoord(&p, &p, &toModel);
            SceneFrame level;
            level.AddMeshContainer(Keep(MakeMesh(g_Device, corners, {0, 1, 2, 2, 1, 3})));

            character.Collided = 1 - c.collided;
            EXPECT_EQ(character.RayTest(level), c.collided);
            EXPECT_EQ(character.Collided, c.collided);
        }
    }
}

// A wall across the walk is hit; the same wall turned to face any of the
// other three walks is not.
TEST_F(CollisionTest, OnlyTheWallAcrossTheWalkIsHit) {
    const float headings[] = {90, 180, 270, 360};
    for (float walked : headings) {
        for (float placed : headings) {
            SCOPED_TRACE(::testing::Message() << "walked " << walked << ", wall across " << placed);
            SceneFrame character;
            character.Radius = 1.0f;
            character.Heading = walked;
            const D3DXVECTOR3 direction = WalkDirection(placed);
            SceneFrame level;
            level.AddMeshContainer(Keep(MakeMesh(g_Device, Wall(direction * 0.3f, direction), {0, 1, 2, 2, 1, 3})));
            EXPECT_EQ(character.RayTest(level), walked == placed ? 1 : 0);
        }
    }
}

TEST_F(CollisionTest, NoHitClearsTheFlagAndAnObjectWithoutAMeshIsNeverHit) {
    SceneFrame character;
    character.Radius = 1.0f;  // heading 0: the ray runs along +x
    SceneFrame behind, noContainer, noMesh;
    behind.AddMeshContainer(Keep(MakeMesh(g_Device, Wall({-0.5f, 0, 0}, {1, 0, 0}), {0, 1, 2, 2, 1, 3})));
    containers.push_back(MakeContainer(nullptr, {}));
    noMesh.AddMeshContainer(containers.back());
    SceneFrame* others[] = {&behind, &noContainer, &noMesh};
    for (SceneFrame* other : others) {
        character.Collided = 1;
        EXPECT_EQ(character.RayTest(*other), 0);
        EXPECT_EQ(character.Collided, 0);
    }
}

TEST_F(CollisionTest, TheCollisionObjectGetsEveryFaceInOrderThenIsFinalised) {
    // Position, normal and texture coordinate: the positions are the first 12 of 32 bytes.
    ASSERT_EQ(D3DXGetFVFVertexSize(kFvf), 32u);
    const std::vector<D3DXVECTOR3> p = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 2}};
    SceneFrame& frame = Frame();
    MeshContainer* c = Keep(MakeMesh(g_Device, p, {0, 1, 2, 2, 1, 3}));
    EXPECT_EQ(frame.BuildCollisionObject(c), S_OK);
    ASSERT_NE(frame.pCollisionObject, nullptr);
    EXPECT_EQ(frame.pCollisionMesh, c->MeshData.pMesh);
    EXPECT_EQ(frame.VertexCount, 4u);
    EXPECT_EQ(frame.FaceCount, 2u);
    EXPECT_NE(frame.pCollisionVertices, nullptr);

    const std::vector<CollisionCall>& log = af::CollisionLog();
    ASSERT_EQ(log.size(), 3u);
    const int order[2][3] = {{0, 1, 2}, {2, 1, 3}};
    for (int f = 0; f < 2; ++f) {
        EXPECT_EQ(log[f].kind, CollisionCall::AddTriangle);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(log[f].corners[k], p[order[f][k]]) << f << k;
    }
    EXPECT_EQ(log[2].kind, CollisionCall::Finalize);

    // The buffers were given back: they lock again.
    void* data = nullptr;
    EXPECT_EQ(c->MeshData.pMesh->LockVertexBuffer(0, &data), D3D_OK);
    c->MeshData.pMesh->UnlockVertexBuffer();
}

TEST_F(CollisionTest, BuildingCopesWithNoFacesFailedLocksAndIndicesPastTheVertices) {
    {
        SCOPED_TRACE("no faces");
        SceneFrame& frame = Frame();
        EXPECT_EQ(frame.BuildCollisionObject(Keep(new NoFaces(MakeQuad(g_Device)))), S_OK);
        ASSERT_EQ(af::CollisionLog().size(), 1u);
        EXPECT_EQ(af::CollisionLog()[0].kind, CollisionCall::Finalize);
    }
    {
        SCOPED_TRACE("an index past the vertices");
        af::ClearCollisionLog();
        SceneFrame& frame = Frame();
        ID3DXMesh* mesh = MakeMesh(g_Device, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {0, 1, 2, 2, 1, 0});
        WORD* indices = nullptr;
        mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&indices));
        indices[0] = 3;
        mesh->UnlockIndexBuffer();
        EXPECT_EQ(frame.BuildCollisionObject(Keep(mesh)), S_OK);
        ASSERT_EQ(af::CollisionLog().size(), 2u);  // the second face, then Finalize
        EXPECT_EQ(af::CollisionLog()[0].corners[0], D3DXVECTOR3(1, 0, 0));
    }
    struct Case {
        const char* what;
        bool vertexFails, indexFails;
    } cases[] = {{"the vertex lock fails", true, false}, {"the index lock fails", false, true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        af::ClearCollisionLog();
        FailingMesh* mesh = new FailingMesh(MakeQuad(g_Device));
        mesh->failVertexLock = k.vertexFails;
        mesh->failIndexLock = k.indexFails;
        SceneFrame& frame = Frame();
        EXPECT_TRUE(FAILED(frame.BuildCollisionObject(Keep(mesh))));
        EXPECT_NE(frame.pCollisionObject, nullptr);  // made, but without triangles
        EXPECT_TRUE(af::CollisionLog().empty());
        EXPECT_EQ(mesh->vertexUnlocks, mesh->vertexLocks - (k.vertexFails ? 1 : 0));
        EXPECT_EQ(mesh->indexUnlocks, 0);
    }
    {
        SCOPED_TRACE("no container, no mesh");
        SceneFrame& frame = Frame();
        SceneFrame& other = Frame();
        EXPECT_TRUE(FAILED(frame.BuildCollisionObject(nullptr)));
        containers.push_back(MakeContainer(nullptr, {}));
        EXPECT_TRUE(FAILED(other.BuildCollisionObject(containers.back())));
        EXPECT_NE(frame.pCollisionObject, nullptr);
    }
}

TEST_F(CollisionTest, TheCollisionTestSetsBothFlagsOnContactAndClearsNeither) {
    SceneFrame& a = Frame();
    SceneFrame& b = Frame();
    a.BuildCollisionObject(Keep(MakeQuad(g_Device)));
    b.BuildCollisionObject(Keep(MakeQuad(g_Device)));
    struct Case {
        BYTE before;
        int answer;
        BYTE result, after, otherAfter;
    } cases[] = {
        {0, 0, 0, 0, 0},
        {1, 0, 0, 1, 0},  // set by the ray test, kept
        {0, 1, 1, 1, 1},
        {1, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.before) << " " << c.answer);
        a.Collided = c.before;
        b.Collided = 0;
        af::ForceCollisionAnswer(c.answer);
        af::ClearCollisionLog();
        EXPECT_EQ(a.TestCollision(&b, 7), c.result);
        EXPECT_EQ(a.Collided, c.after);
        EXPECT_EQ(b.Collided, c.otherAfter);
        ASSERT_EQ(af::CollisionLog().size(), 1u);
        EXPECT_EQ(af::CollisionLog()[0].object, 0);
        EXPECT_EQ(af::CollisionLog()[0].other, 1);
        EXPECT_EQ(af::CollisionLog()[0].flags, 7);
    }
    // Without collision objects there is nothing to touch.
    SceneFrame bare;
    bare.Collided = 0;
    EXPECT_EQ(bare.TestCollision(&b, 0), 0);
    EXPECT_EQ(a.TestCollision(&bare, 0), 0);
    EXPECT_EQ(a.TestCollision(nullptr, 0), 0);
}

TEST_F(CollisionTest, TheModelsTouchOnlyWhereTheirMatricesPlaceThem) {
    // The library's own answer, through the objects the scene objects build.
    af::RecordCollisions(false);
    SceneFrame& a = Frame();
    SceneFrame& b = Frame();
    a.BuildCollisionObject(Keep(MakeQuad(g_Device)));
    b.BuildCollisionObject(Keep(MakeQuad(g_Device)));
    D3DXMATRIX here, apart, across;
    D3DXMatrixIdentity(&here);
    D3DXMatrixTranslation(&apart, 0, 0, 3);
    D3DXMatrixRotationY(&across, 1.5707963f);  // through the other quad
    a.pCollisionObject->SetTransform(&here);
    b.pCollisionObject->SetTransform(&apart);
    EXPECT_EQ(a.TestCollision(&b, 0), 0);
    b.pCollisionObject->SetTransform(&across);
    EXPECT_EQ(a.TestCollision(&b, 0), 1);
}

}  // namespace
