// Walking the character with keys injected into the keyboard, the push-back
// after a collision, the facing routines, lowering an object to the floor and
// picking under the program's cursor.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "input/DirectInput.h"
#include "platform/testing.h"
#include "scene/Facing.h"
#include "scene/HierarchyFrame.h"
#include "scene/Movement.h"
#include "scene/Picking.h"
#include "tests/support/anim_fixtures.h"
#include "tests/support/mesh_fixtures.h"
#include "tests/support/scene_fixtures.h"

namespace pt = platform_testing;
namespace af = anim_fixtures;

namespace {

const int kArrows[4] = {DIK_UP, DIK_DOWN, DIK_LEFT, DIK_RIGHT};

// The keyboard ready, the movement's state at its start values, and a walk
// set whose every play moves a frame of its own by 1 along x, so the frame
// counts the plays.
class MovementTest : public ::testing::Test {
protected:
    void SetUp() override {
        af::ReadyKeyboard();
        walkCounter = scene_fixtures::MakeFrame("Counter");
        AnimationSet* set = new AnimationSet();
        set->name = new char[10];
        std::strcpy(set->name, "camminata");
        set->firstAnimation = new Animation();
        set->firstAnimation->frame = walkCounter;
        set->firstAnimation->positionKeys = new PositionKey[1];
        set->firstAnimation->positionKeys[0] = {0, D3DXVECTOR3(1, 0, 0)};
        set->firstAnimation->positionKeyCount = 1;
        g_Animations.firstSet = set;
        Restart();
    }
    void TearDown() override {
        g_Animations.Clear();
        FreeFrameTree(walkCounter);
        af::ReleaseKeyboard();
    }
    void Restart() {
        g_CharacterX = g_CharacterZ = 0.0f;
        g_CameraOffset = D3DXVECTOR3(0, 2.0f, 2.0f);
        g_CameraTarget = D3DXVECTOR3(0.5f, 0, -1.5f);
        g_CharacterPos = g_CameraTarget;
        g_Character.Heading = 0.0f;
        g_Character.EasedYaw = 0.0f;
        g_CollisionFlag = 0;
        g_ElapsedMs = 100;
        walkCounter->TransformationMatrix = walkCounter->LoadedMatrix;
        for (int key : kArrows) pt::SetKeyByte(key, 0);
    }
    static void Hold(std::initializer_list<int> keys) {
        for (int key : kArrows) pt::SetKeyByte(key, 0);
        for (int key : keys) pt::SetKeyByte(key, 0x80);
    }
    int WalkPlays() const { return int(std::lround(walkCounter->TransformationMatrix._41)); }
    static D3DXVECTOR3 FollowCamera() {
        D3DXVECTOR3 p;
        g_FollowCamera.GetPosition(&p.x, &p.y, &p.z);
        return p;
    }

    HierarchyFrame* walkCounter = nullptr;
};

TEST_F(MovementTest, HoldingDownWalksTowardPlusZAndSwingsTheCameraBehind) {
    Hold({DIK_DOWN});
    int offsetDoneAt = 0, heightDoneAt = 0, yawRestsAt = 0;
    float lastHeight = 2.0f;
    for (int call = 1; call <= 1000; ++call) {
        MoveCharacter();
        if (!offsetDoneAt && g_CameraOffset.z <= -2.0f) offsetDoneAt = call;
        if (!yawRestsAt && g_Character.EasedYaw >= 3.13f) yawRestsAt = call;
        if (call < 801) {
            EXPECT_EQ(g_CameraOffset.y, 2.0f) << call;  // above the top 1.994: kept
        }
        if (call > 801 && !heightDoneAt && g_CameraOffset.y == lastHeight) heightDoneAt = call;
        lastHeight = g_CameraOffset.y;
        const D3DXVECTOR3 camera = FollowCamera();
        ASSERT_EQ(camera, g_CameraTarget + g_CameraOffset) << call;
    }
    EXPECT_NEAR(g_CharacterZ, 5.0f, 1e-3f);
    EXPECT_EQ(g_CharacterX, 0.0f);
    EXPECT_EQ(g_Character.Heading, 360.0f);
    EXPECT_EQ(offsetDoneAt, 801);
    EXPECT_NEAR(g_CameraOffset.z, -2.005f, 1e-3f);
    EXPECT_EQ(g_CameraOffset.x, 0.0f);
    EXPECT_NEAR(g_CameraOffset.y, 1.300f, 2e-3f);
    EXPECT_GT(heightDoneAt, 801);
    EXPECT_LT(heightDoneAt, 1000);
    EXPECT_NEAR(yawRestsAt, 157, 1);
    EXPECT_NEAR(g_Character.EasedYaw, 3.14f, 0.011f);
    EXPECT_EQ(WalkPlays(), 1000);
}

TEST_F(MovementTest, HoldingUpSinksTheCameraAtOnce) {
    Hold({DIK_UP});
    MoveCharacter();
    EXPECT_NEAR(g_CameraOffset.y, 1.996f, 1e-6f);
    for (int call = 2; call <= 400; ++call) MoveCharacter();
    EXPECT_EQ(g_CameraOffset.z, 2.0f);  // already at its goal
    EXPECT_NEAR(g_CameraOffset.y, 1.296f, 2e-3f);
    EXPECT_NEAR(g_CharacterZ, -2.0f, 1e-3f);
    EXPECT_EQ(g_Character.Heading, 180.0f);
}

TEST_F(MovementTest, OnlyASingleArrowTakesAStep) {
    struct Case {
        const char* what;
        std::vector<int> keys;
        float x, z, heading;
        int plays;
    } cases[] = {
        {"none", {}, 0, 0, 0, 0},
        {"Down", {DIK_DOWN}, 0, 0.005f, 360, 1},
        {"Up", {DIK_UP}, 0, -0.005f, 180, 1},
        {"Left", {DIK_LEFT}, 0.003f, 0, 270, 1},
        {"Right", {DIK_RIGHT}, -0.003f, 0, 90, 1},
        {"Up and Left", {DIK_UP, DIK_LEFT}, 0, 0, 0, 0},
        {"Down and Right", {DIK_DOWN, DIK_RIGHT}, 0, 0, 0, 0},
        {"all four", {DIK_UP, DIK_DOWN, DIK_LEFT, DIK_RIGHT}, 0, 0, 0, 0},
        {"Down with other keys", {DIK_DOWN, DIK_S, DIK_A}, 0, 0.005f, 360, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        for (int key : {DIK_S, DIK_A}) pt::SetKeyByte(key, 0);
        for (int key : c.keys) pt::SetKeyByte(key, 0x80);
        const D3DXVECTOR3 offset = g_CameraOffset;
        MoveCharacter();
        EXPECT_EQ(g_CharacterX, c.x);
        EXPECT_EQ(g_CharacterZ, c.z);
        EXPECT_EQ(g_Character.Heading, c.heading);
        EXPECT_EQ(WalkPlays(), c.plays);
        if (c.plays == 0) {
            EXPECT_EQ(g_CameraOffset, offset);
        }
        // The camera is placed in every call.
        EXPECT_EQ(FollowCamera(), g_CameraTarget + g_CameraOffset);
    }
}

TEST_F(MovementTest, TheYawEasesTowardEachArrowsRest) {
    struct Case {
        int key;
        float start;
        float rest;
        float tolerance;
    } cases[] = {
        {DIK_DOWN, 0.0f, 3.15f, 0.021f},
        {DIK_DOWN, -1.0f, -3.15f, 0.021f},
        {DIK_UP, 2.0f, 0.0f, 0.021f},
        {DIK_UP, 3.16f, 0.0f, 1e-6f},  // climbs to the reset window, then rests at 0
        {DIK_UP, -3.3f, 0.0f, 1e-6f},
        {DIK_LEFT, 0.0f, -1.6f, 0.021f},
        {DIK_LEFT, -5.0f, -1.6f, 0.021f},
        {DIK_LEFT, 5.0f, 5.0f, 0.0f},  // in no window
        {DIK_RIGHT, 0.0f, 1.5f, 0.021f},
        {DIK_RIGHT, 3.0f, 1.5f, 0.021f},
        {DIK_RIGHT, -2.0f, -4.75f, 0.021f},
        {DIK_RIGHT, 4.75f, 4.75f, 0.0f},  // beyond both windows: stays
        {DIK_RIGHT, 5.5f, 5.5f, 0.0f},
        {DIK_RIGHT, -4.75f, -4.75f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "key " << c.key << " from " << c.start);
        Restart();
        Hold({c.key});
        g_Character.EasedYaw = c.start;
        bool reset = false;
        for (int call = 0; call < 600; ++call) {
            MoveCharacter();
            reset = reset || (g_Character.EasedYaw == 0.0f && c.start > 3.15f);
        }
        EXPECT_NEAR(g_Character.EasedYaw, c.rest, c.tolerance);
        if (c.start == 3.16f) {
            EXPECT_TRUE(reset);
        }
    }
}

TEST_F(MovementTest, TheOffsetAcrossTheWalkFallsToZero) {
    struct Case {
        float start;
        std::vector<float> then;
    } cases[] = {
        {0.012f, {0.007f, 0.0f, 0.0f}},
        {-0.01f, {0.0f}},
        {0.01f, {0.0f}},
        {-0.02f, {-0.015f, -0.01f, 0.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        Restart();
        Hold({DIK_DOWN});
        g_CameraOffset.x = c.start;
        for (float expected : c.then) {
            MoveCharacter();
            EXPECT_NEAR(g_CameraOffset.x, expected, 1e-6f);
            if (expected == 0.0f) {
                EXPECT_EQ(g_CameraOffset.x, 0.0f);
            }
        }
    }
}

TEST_F(MovementTest, AFullTurnOfTheYawFoldsBackToZeroWithOrWithoutKeys) {
    const float cases[][2] = {{6.1f, 0}, {6.3f, 0}, {6.2f, 0}, {6.05f, 6.05f}, {-6.2f, 0}, {-6.5f, 0}, {-6.6f, -6.6f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        Restart();
        g_Character.EasedYaw = c[0];
        MoveCharacter();
        EXPECT_EQ(g_Character.EasedYaw, c[1]);
        EXPECT_EQ(WalkPlays(), 0);
    }
}

TEST_F(MovementTest, ThePushBackTakesBackOneStepOfTheHeading) {
    struct Case {
        float heading;
        std::vector<int> keys;
        BYTE flag;
        float dx, dz, after;
        int plays;
    } cases[] = {
        {360, {}, 1, 0, -0.005f, 360, 2},
        {180, {}, 1, 0, 0.005f, 360, 1},
        {90, {}, 1, 0.003f, 0, 90, 2},
        {270, {}, 1, -0.003f, 0, 90, 1},
        {0, {}, 1, 0, 0, 0, 0},
        {45, {}, 1, 0, 0, 45, 0},
        // The replays wait for their arrows to be up and for the flag.
        {360, {}, 0, 0, -0.005f, 360, 0},
        {360, {DIK_UP}, 1, 0, -0.005f, 360, 1},
        {360, {DIK_DOWN}, 1, 0, -0.005f, 360, 1},
        {90, {DIK_LEFT}, 1, 0.003f, 0, 90, 1},
        {90, {DIK_RIGHT}, 1, 0.003f, 0, 90, 1},
        {270, {DIK_RIGHT}, 1, -0.003f, 0, 90, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "heading " << c.heading << " flag " << int(c.flag));
        Restart();
        g_CharacterX = 1.0f;
        g_CharacterZ = 1.0f;
        for (int key : c.keys) pt::SetKeyByte(key, 0x80);
        g_Character.Heading = c.heading;
        g_CollisionFlag = c.flag;
        PushBackAfterCollision();
        EXPECT_NEAR(g_CharacterX - 1.0f, c.dx, 1e-6f);
        EXPECT_NEAR(g_CharacterZ - 1.0f, c.dz, 1e-6f);
        EXPECT_EQ(g_Character.Heading, c.after);
        EXPECT_EQ(WalkPlays(), c.plays);
    }
}

// --- facing ---

TEST(Facing, EachOfTheEightAnglesGivesItsDirectionAndStride) {
    struct Case {
        float angle;
        D3DXVECTOR3 direction;
        float dx, dz;
    } cases[] = {
        {0.0f, {0, 0, -1}, 0, 10},   {-3.0f, {0, 0, 1}, 0, -10},   {1.5f, {-1, 0, 0}, 4, 0},
        {-1.5f, {1, 0, 0}, -4, 0},   {0.75f, {-1, 0, -1}, 4, 10},  {-0.75f, {1, 0, -1}, -4, 10},
        {2.25f, {1, 0, 1}, 4, -10},  {-2.25f, {-1, 0, 1}, -4, -10},
        {0.7500001f, {7, 7, 7}, 0, 0},  // no facing: nothing changes
        {3.0f, {7, 7, 7}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        g_FacingAngle = c.angle;
        g_FacingDirection = D3DXVECTOR3(7, 7, 7);
        g_CharacterX = g_CharacterZ = 1.0f;
        SetFacingVector();
        EXPECT_EQ(g_FacingDirection, c.direction);
        EXPECT_EQ(g_CharacterX, 1.0f);
        EXPECT_EQ(g_CharacterZ, 1.0f);

        g_FacingDirection = D3DXVECTOR3(7, 7, 7);
        StepAlongFacing();
        EXPECT_EQ(g_FacingDirection, c.direction);
        EXPECT_EQ(g_CharacterX, 1.0f + c.dx);
        EXPECT_EQ(g_CharacterZ, 1.0f + c.dz);
    }
}

// --- drop to floor ---

TEST(DropToFloor, TheCopyIsLoweredUntilItIsWithinOneOfTheOtherAndAlwaysStops) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float y, otherY;
        bool moves;
        float rest;
    } cases[] = {
        {5.0f, 0.0f, true, 0.9f}, {3.05f, 2.0f, true, 2.95f},
        {0.5f, 0.0f, false, 0},   {1.0f, 0.0f, false, 0},
        // Lowering can never bring these within reach.
        {-5.0f, 0.0f, false, 0},  {3e6f, 0.0f, false, 0}, {nan, 0.0f, false, 0},
        {inf, 0.0f, false, 0},    {5.0f, nan, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.y << " over " << c.otherY);
        SceneFrame object, other;
        object.SetPosition(2, c.y, 3);
        other.SetPosition(0, c.otherY, 0);
        g_CharacterPos = D3DXVECTOR3(-1, -1, -1);
        DropToFloor(object, other);
        float x, y, z;
        object.GetPosition(&x, &y, &z);
        if (std::isnan(c.y))
            EXPECT_TRUE(std::isnan(y));
        else
            EXPECT_EQ(y, c.y);  // the caller's object is not moved
        if (!c.moves) {
            EXPECT_EQ(g_CharacterPos, D3DXVECTOR3(-1, -1, -1));
            continue;
        }
        EXPECT_EQ(g_CharacterPos.x, 2.0f);
        EXPECT_EQ(g_CharacterPos.z, 3.0f);
        EXPECT_NEAR(g_CharacterPos.y, c.rest, 1e-4f);
        EXPECT_LE(g_CharacterPos.y - c.otherY, 1.0f);
    }
}

// --- picking ---

class PickTest : public ::testing::Test {
protected:
    void SetUp() override {
        af::ReadyKeyboard();  // for its window
        g_Device = mesh_fixtures::NullDevice();
        ASSERT_NE(g_Device, nullptr);
        D3DSURFACE_DESC desc = {};
        IDirect3DSurface9* back = nullptr;
        ASSERT_EQ(g_Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        back->GetDesc(&desc);
        back->Release();
        width = int(desc.Width);
        height = int(desc.Height);
        D3DXMatrixPerspectiveFovLH(&projection, 0.8f, float(width) / float(height), 1.0f, 100.0f);
        g_Device->SetTransform(D3DTS_PROJECTION, &projection);
        D3DXMatrixIdentity(&identity);
        g_Device->SetTransform(D3DTS_VIEW, &identity);
    }
    void TearDown() override {
        for (MeshContainer* c : containers) delete c;
        g_Device->Release();
        g_Device = nullptr;
        af::ReleaseKeyboard();
    }
    // A square of side 0.4 facing the camera, centred on `at`.
    MeshContainer* Square(const D3DXVECTOR3& at) {
        const float h = 0.2f;
        containers.push_back(scene_fixtures::MakeContainer(
            scene_fixtures::MakeMesh(g_Device,
                                     {at + D3DXVECTOR3(-h, -h, 0), at + D3DXVECTOR3(-h, h, 0),
                                      at + D3DXVECTOR3(h, -h, 0), at + D3DXVECTOR3(h, h, 0)},
                                     {0, 1, 2, 2, 1, 3}),
            {1.0f}));
        return containers.back();
    }
    // The program's cursor at this point of the client area.
    void CursorAt(int x, int y) {
        POINT p = {x, y};
        ClientToScreen(g_hWnd, &p);
        g_CursorX = p.x;
        g_CursorY = p.y;
    }

    int width = 0, height = 0;
    D3DXMATRIX projection, identity;
    std::vector<MeshContainer*> containers;
};

TEST_F(PickTest, TheCursorsRayMeetsWhatLiesUnderIt) {
    MeshContainer* ahead = Square({0, 0, 5});
    // Where the top left corner's ray, (-1/P11, 1/P22, 1), is at z = 5.
    MeshContainer* corner = Square({-5 / projection._11, 5 / projection._22, 5});
    D3DXMATRIX world = identity;

    CursorAt(width / 2, height / 2);
    EXPECT_EQ(PickWithMouse(ahead, &world), 1);
    EXPECT_EQ(PickWithMouse(corner, &world), 0);
    EXPECT_EQ(std::memcmp(&g_Projection, &projection, sizeof projection), 0);

    CursorAt(0, 0);
    EXPECT_EQ(PickWithMouse(ahead, &world), 0);
    EXPECT_EQ(PickWithMouse(corner, &world), 1);

    // The mesh is met where its world matrix draws it: moved aside it is
    // missed, and a mesh made aside but drawn back in front is met.
    CursorAt(width / 2, height / 2);
    D3DXMatrixTranslation(&world, 3, 0, 0);
    EXPECT_EQ(PickWithMouse(ahead, &world), 0);
    D3DXMatrixTranslation(&world, -3, 0, 0);
    EXPECT_EQ(PickWithMouse(Square({3, 0, 5}), &world), 1);

    // Through a camera turned to look along +x from (0, 0, -2).
    D3DXMATRIX turn, place, camera, view;
    D3DXMatrixRotationY(&turn, 1.5707963f);
    D3DXMatrixTranslation(&place, 0, 0, -2);
    D3DXMatrixMultiply(&camera, &turn, &place);
    D3DXMatrixInverse(&view, NULL, &camera);
    g_Device->SetTransform(D3DTS_VIEW, &view);
    world = identity;
    EXPECT_EQ(PickWithMouse(ahead, &world), 0);
    MeshContainer* side = nullptr;
    {
        const float h = 0.2f;
        containers.push_back(scene_fixtures::MakeContainer(
            scene_fixtures::MakeMesh(g_Device, {{5, -h, -2 - h}, {5, h, -2 - h}, {5, -h, -2 + h}, {5, h, -2 + h}},
                                     {0, 1, 2, 2, 1, 3}),
            {1.0f}));
        side = containers.back();
    }
    EXPECT_EQ(PickWithMouse(side, &world), 1);
    EXPECT_EQ(std::memcmp(&g_PickViewMatrix, &view, sizeof view), 0);
}

TEST_F(PickTest, NoMeshOrASingularMatrixMeetsNothing) {
    MeshContainer* ahead = Square({0, 0, 5});
    D3DXMATRIX world = identity, zero;  // all elements 0
    CursorAt(width / 2, height / 2);
    ASSERT_EQ(PickWithMouse(ahead, &world), 1);

    EXPECT_EQ(PickWithMouse(nullptr, &world), 0);
    containers.push_back(scene_fixtures::MakeContainer(nullptr, {}));
    EXPECT_EQ(PickWithMouse(containers.back(), &world), 0);
    EXPECT_EQ(PickWithMouse(ahead, nullptr), 0);
    EXPECT_EQ(PickWithMouse(ahead, &zero), 0);
    g_Device->SetTransform(D3DTS_VIEW, &zero);
    EXPECT_EQ(PickWithMouse(ahead, &world), 0);
}

}  // namespace
