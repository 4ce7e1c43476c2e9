#include "app/Render.h"

#include "app/Globals.h"
#include "app/Text.h"
#include "scene/HierarchyFrame.h"
#include "scene/Skinning.h"

namespace {

const DWORD kCameraSwitchMs = 500;

DWORD g_NowMs = 0;
DWORD g_FirstFrameMs = 0;
bool g_FirstFrameSeen = false;
DWORD g_LastCameraSwitchMs = 0;

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

    // The animation set chosen by the keys, the sparks, the character's walk and
    // the particles' advance come here.

    // Both trees combined with the root's own matrix as the parent, then the
    // skinned copies recomputed (the level's container has no skin and is refused).
    if (g_CharacterFrames) g_CharacterFrames->UpdateMatrices(&g_CharacterFrames->TransformationMatrix);
    if (g_LevelFrames) g_LevelFrames->UpdateMatrices(&g_LevelFrames->TransformationMatrix);
    SkinMeshContainer(g_CharacterMesh);
    SkinMeshContainer(g_LevelMesh);

    g_Device->BeginScene();
    // The ray and collision tests with their text come here.
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
    // The particles are drawn here.
    g_Device->EndScene();
    g_Device->Present(NULL, NULL, NULL, NULL);
}

int UpdateMouseLook() {
    // Turn rates of the look camera: 0.002 radians per unit of movement.
    g_LookCamera.SetYaw(g_Mouse.GetMovement().x * 0.2f * 0.01f);
    g_LookCamera.SetPitch(g_Mouse.GetMovement().y * 0.2f * 0.01f);
    return 0;
}
