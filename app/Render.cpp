#include "app/Render.h"

#include <collision.h>

#include "app/Globals.h"
#include "app/Text.h"
#include "scene/HierarchyFrame.h"
#include "scene/Movement.h"
#include "scene/Skinning.h"

namespace {

const DWORD kCameraSwitchMs = 500;
const DWORD kSparksMs = 980;

DWORD g_NowMs = 0;
DWORD g_FirstFrameMs = 0;
bool g_FirstFrameSeen = false;
DWORD g_LastCameraSwitchMs = 0;
DWORD g_LastSparksMs = 0;
// What the collision objects are placed by. The collision library keeps the
// addresses, so both live for the run. The device's world matrix is the level's
// (drawn last in the previous frame); the character's comes from its own object.
D3DXMATRIX g_CharacterCollisionWorld(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
D3DXMATRIX g_CollisionWorld;

bool Down(int key) { return g_Keyboard.IsKeyDown(key) != 0; }

// The four arrows up, asked Up, Down, Left, Right.
bool ArrowsUp() { return !Down(DIK_UP) && !Down(DIK_DOWN) && !Down(DIK_LEFT) && !Down(DIK_RIGHT); }

// At most one set, from the first block whose tests all pass; a block gives
// up at its first failing test. While an arrow is down the walk is
// MoveCharacter's, and after a ray hit no set is chosen.
void PlayKeyChosenSet() {
    if (Down(DIK_S) && !Down(DIK_D) && !Down(DIK_E) && !Down(DIK_A) && ArrowsUp() && g_CollisionFlag == 0) {
        g_Animations.Play("pugno", g_ElapsedMs * 3, 1, 1.0f);
    } else if (Down(DIK_D) && !Down(DIK_E) && !Down(DIK_S) && !Down(DIK_A) && ArrowsUp() && g_CollisionFlag == 0) {
        g_Animations.Play("calcio", g_ElapsedMs * 2, 1, 1.0f);
    } else if (Down(DIK_A) && !Down(DIK_D) && !Down(DIK_S) && !Down(DIK_E) && ArrowsUp() && g_CollisionFlag == 0) {
        g_Animations.Play("spada", g_ElapsedMs * 3, 1, 1.0f);
        // The sword's sparks, at most every 980 ms while A is held.
        if (Down(DIK_A) && g_NowMs - g_LastSparksMs >= kSparksMs) {
            g_LastSparksMs = timeGetTime();
            // Near the sword's hand; the heading's degrees go in as radians.
            const D3DXVECTOR3 at(g_CharacterPos.x + 0.2f, g_CharacterPos.y + 0.8f, g_CharacterPos.z + 0.1f);
            g_SparkParticles.EmitSparks(&at, g_Character.Heading);
        }
    } else if (!Down(DIK_E) && !Down(DIK_D) && !Down(DIK_S) && !Down(DIK_A) && ArrowsUp() && g_CollisionFlag == 0) {
        g_Animations.Play("idleTot", g_ElapsedMs * 2, 1, 1.0f);
    } else if (ArrowsUp() && g_CollisionFlag == 0) {
        g_Animations.Play("idleTot", g_ElapsedMs * 2, 1, 1.0f);
    }
}

// The ray along the heading first; only a hit asks the collision library,
// and only contact shows the message and pushes the character back.
void TestCharacterAgainstLevel() {
    g_Character.RayTest(g_Level);

    g_Device->GetTransform(D3DTS_WORLD, &g_CollisionWorld);
    g_CharacterCollisionWorld = g_Character.WorldMatrix;
    if (g_Character.pCollisionObject) g_Character.pCollisionObject->SetTransform(&g_CharacterCollisionWorld);
    if (g_Level.pCollisionObject) g_Level.pCollisionObject->SetTransform(&g_CollisionWorld);

    if (g_Character.HasCollided() == 1) {
        g_CollisionFlag = 1;
        if (g_Character.TestCollision(&g_Level, 0) == 1) {
            DrawTextAt(30, 60, "COLLISIONE!!!", 255.0f, 255.0f, 255.0f, 1.0f);
            PushBackAfterCollision();
        }
    } else {
        g_CollisionFlag = 0;
    }
}

void DrawScreenTexts() {
    const int w = g_ScreenWidth;
    const int h = g_ScreenHeight;
    DrawTextAt(w * 8 / 100, h * 4 / 100, "Frame Rate:", 255.0f, 255.0f, 255.0f, 1.0f);
    DrawFrameRate(w * 20 / 100, h * 4 / 100, g_FrameRateText, 255.0f, 255.0f, 255.0f, 1.0f);
    DrawTextAt(w * 80 / 100, h * 4 / 100, "ESC to exit", 255.0f, 255.0f, 255.0f, 1.0f);
    DrawTextAt(w * 80 / 100, h * 90 / 100, "TNX to MERVO", 255.0f, 255.0f, 255.0f, 1.0f);
}

// Points the follow camera at g_CameraTarget, its look lifted a little.
void AimFollowCamera() {
    D3DXVECTOR3 position;
    g_FollowCamera.GetPosition(&position.x, &position.y, &position.z);
    D3DXVECTOR3 look = g_CameraTarget - position;
    D3DXVec3Normalize(&look, &look);
    g_FollowCamera.SetLook(look.x, look.y + 0.2f, look.z);

    const D3DXVECTOR3 down(0.0f, -1.0f, 0.0f);
    D3DXVECTOR3 right;
    D3DXVec3Cross(&right, &down, &look);
    D3DXVec3Normalize(&right, &right);
    g_FollowCamera.SetRight(right.x, right.y, right.z);

    D3DXVECTOR3 up;
    D3DXVec3Cross(&up, &right, &look);
    D3DXVec3Normalize(&up, &up);
    g_FollowCamera.SetUp(up.x, up.y, up.z);
}

// Unlit, alpha-tested and added to what is there, through the view of the
// camera that set this frame's view; the mesh states come back after them.
void DrawParticles() {
    const Camera& camera = g_UseFollowCamera ? g_FollowCamera : g_LookCamera;
    g_Device->SetRenderState(D3DRS_LIGHTING, FALSE);
    g_Device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    g_Device->SetRenderState(D3DRS_ALPHAREF, 8);
    g_Device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    // One system's shader state serves both.
    g_DustParticles.BeginRender(camera.GetViewMatrix(), &g_Projection);
    g_Device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    g_Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    g_Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    g_DustParticles.Render();
    g_SparkParticles.Render();
    g_DustParticles.EndRender();
    g_Device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    g_Device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    g_Device->SetRenderState(D3DRS_LIGHTING, TRUE);
}

}  // namespace

void UpdateAndRender() {
    g_FrameDeltaMs = g_FrameStartMs - g_LastUpdateEndMs;
    if (!g_FirstFrameSeen) {
        g_FirstFrameMs = timeGetTime() - 1;
        g_FirstFrameSeen = true;
    }
    g_NowMs = timeGetTime();
    // The character's frames go back to their loaded matrices; the animation
    // of this frame starts from them. The level's tree is never animated.
    if (g_CharacterFrames) g_CharacterFrames->ResetTransforms();
    g_ElapsedMs = g_NowMs - g_FirstFrameMs;
    g_Character.GetPosition(&g_CharacterPos.x, &g_CharacterPos.y, &g_CharacterPos.z);

    g_Device->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);

    // A held C switches at once and then every 500 ms.
    if (g_Keyboard.IsKeyDown(DIK_C) && g_NowMs - g_LastCameraSwitchMs >= kCameraSwitchMs) {
        g_UseFollowCamera = g_UseFollowCamera == 0 ? 1 : 0;
        g_LastCameraSwitchMs = timeGetTime();
    }

    PlayKeyChosenSet();
    MoveCharacter();
    g_Character.RotationY = g_Character.EasedYaw;
    g_SparkParticles.Update(g_FrameDeltaMs);
    g_DustParticles.Update(g_FrameDeltaMs);

    // Both trees combined with the root's own matrix as the parent, then the
    // skinned copies recomputed (the level's container has no skin and is refused).
    if (g_CharacterFrames) g_CharacterFrames->UpdateMatrices(&g_CharacterFrames->TransformationMatrix);
    if (g_LevelFrames) g_LevelFrames->UpdateMatrices(&g_LevelFrames->TransformationMatrix);
    SkinMeshContainer(g_CharacterMesh);
    SkinMeshContainer(g_LevelMesh);

    g_Device->BeginScene();
    TestCharacterAgainstLevel();
    DrawScreenTexts();
    // The character always stands at height 0, where the movement put it.
    g_Character.SetPosition(g_CharacterX, 0.0f, g_CharacterZ);
    g_Character.GetPosition(&g_CharacterPos.x, &g_CharacterPos.y, &g_CharacterPos.z);
    g_Character.GetPosition(&g_CameraTarget.x, &g_CameraTarget.y, &g_CameraTarget.z);
    AimFollowCamera();
    if (g_UseFollowCamera)
        g_FollowCamera.UpdateView();
    else
        g_LookCamera.UpdateView();
    g_Character.Render();
    g_Level.Render();
    g_Device->GetTransform(D3DTS_PROJECTION, &g_Projection);
    DrawParticles();
    g_Device->EndScene();
    g_Device->Present(NULL, NULL, NULL, NULL);
}

int UpdateMouseLook() {
    // Turn rates of the look camera: 0.002 radians per unit of movement.
    g_LookCamera.SetYaw(g_Mouse.GetMovement().x * 0.2f * 0.01f);
    g_LookCamera.SetPitch(g_Mouse.GetMovement().y * 0.2f * 0.01f);
    return 0;
}
