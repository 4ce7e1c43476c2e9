#include "app/Render.h"

#include "app/Globals.h"
#include "scene/HierarchyFrame.h"
#include "scene/Skinning.h"

void UpdateAndRender() {
    // The character's frames go back to their loaded matrices; the animation
    // of this frame starts from them. The level's tree is never animated.
    if (g_CharacterFrames) g_CharacterFrames->ResetTransforms();

    g_Device->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);

    // Both trees combined with the root's own matrix as the parent, then the
    // skinned copies recomputed (the level's container has no skin and is refused).
    if (g_CharacterFrames) g_CharacterFrames->UpdateMatrices(&g_CharacterFrames->TransformationMatrix);
    if (g_LevelFrames) g_LevelFrames->UpdateMatrices(&g_LevelFrames->TransformationMatrix);
    SkinMeshContainer(g_CharacterMesh);
    SkinMeshContainer(g_LevelMesh);

    g_Device->BeginScene();

    // The character always stands at height 0, where the movement put it.
    g_Character.SetPosition(g_CharacterX, 0.0f, g_CharacterZ);
    g_Character.GetPosition(&g_CharacterPos.x, &g_CharacterPos.y, &g_CharacterPos.z);
    g_Character.GetPosition(&g_CameraTarget.x, &g_CameraTarget.y, &g_CameraTarget.z);

    g_Character.Render();
    g_Level.Render();

    g_Device->EndScene();
    g_Device->Present(NULL, NULL, NULL, NULL);
}

int UpdateMouseLook() { return 0; }
