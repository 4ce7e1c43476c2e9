#include "app/Application.h"

#include <cstdlib>

#include "app/Device.h"
#include "app/Globals.h"
#include "app/Text.h"
#include "app/Timer.h"
#include "app/Utility.h"
#include "input/DirectInput.h"
#include "scene/MeshLoader.h"

namespace {

const char kFontFace[] = "Viner Hand ITC";
const D3DCOLOR kAmbient = 0xFFC8C8C8;
const DWORD kParticleBatch = 32;  // particles per draw

}  // namespace

int InitApplication(HWND window) {
    if (FAILED(CreateD3DDevice(&g_D3D, &g_Device, window, 0, 0))) return E_FAIL;

    g_Result = g_Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &g_BackBuffer);
    if (FAILED(g_Result)) {
        ReportError("Couldnt get backbuffer");
        return E_FAIL;
    }

    // Without the font the program goes on; the texts are then not drawn.
    CreateTextFont(kFontFace);
    srand(GetTickCount());
    InitTimer();

    g_Result = InitDirectInput();
    if (FAILED(g_Result)) {
        ReportError("Unable to initialize input");
        return E_FAIL;
    }

    // The character. The loader reports success for a missing file: what
    // counts is whether a container came back.
    LoadSkinnedMeshHierarchy(&g_CharacterMesh, &g_CharacterFrames, g_Device, "..\\Data\\Ninja.x", "..\\Data\\", 0,
                             D3DXMESH_SYSTEMMEM);
    if (!g_CharacterMesh) return E_FAIL;
    g_Character.AddMeshContainer(g_CharacterMesh);
    g_Character.ComputeBoundingBox(g_CharacterMesh);
    g_Character.Radius = 1.0f;
    g_Character.BuildCollisionObject(g_CharacterMesh);
    // The animation sets come from the character's own file.
    g_Animations.Load("..\\Data\\Ninja.x");
    g_Animations.BindToFrames(g_CharacterFrames);

    // The cameras start from where the character stands.
    g_Character.GetPosition(&g_CharacterPos.x, &g_CharacterPos.y, &g_CharacterPos.z);
    g_FollowCamera.SetPosition(g_CharacterPos.x, g_CharacterPos.y + 2.0f, g_CharacterPos.z + 2.0f);
    g_LookCamera.SetPosition(g_CharacterPos.x, g_CharacterPos.y + 0.7f, g_CharacterPos.z + 0.5f);
    g_CameraOffset = D3DXVECTOR3(0.0f, 2.0f, 2.0f);

    // The level: its model is authored z-up and turned onto the floor.
    LoadMeshHierarchy(&g_LevelMesh, &g_LevelFrames, g_Device, "..\\Level01\\Level.x", "..\\Level01\\", 0,
                      D3DXMESH_SYSTEMMEM);
    if (!g_LevelMesh) return E_FAIL;
    g_Level.AddMeshContainer(g_LevelMesh);
    g_Level.SetPosition(0.0f, 1.4f, 0.0f);
    g_Level.RotationX = -1.57f;
    g_Level.ComputeBoundingBox(g_LevelMesh);
    g_Level.BuildCollisionObject(g_LevelMesh);

    g_CursorX = g_ScreenWidth / 2;
    g_CursorY = g_ScreenHeight / 2;

    // The first of the two loads the particle textures and the shared shader.
    const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
    g_DustParticles.Create(g_Device, &origin, 0, kParticleBatch);
    g_SparkParticles.Create(g_Device, &origin, 0, kParticleBatch);

    g_Device->SetRenderState(D3DRS_LIGHTING, TRUE);
    g_Device->SetRenderState(D3DRS_AMBIENT, kAmbient);
    return 1;
}

void CleanupApplication() {
    if (g_Font) {
        g_Font->Release();
        // Cleared, so that no later release can reach it a second time.
        g_Font = NULL;
    }

    // The second, as the last user, also frees the shared textures and shader.
    g_DustParticles.Release();
    g_SparkParticles.Release();

    // Before the frame trees go: the animations point into the character's.
    g_Animations.Clear();

    // Whole frame trees; the containers go only through their chains.
    if (g_CharacterFrames) {
        FreeFrameTree(g_CharacterFrames);
        g_CharacterFrames = NULL;
    }
    if (g_CharacterMesh) {
        delete g_CharacterMesh;
        g_CharacterMesh = NULL;
    }
    if (g_LevelFrames) {
        FreeFrameTree(g_LevelFrames);
        g_LevelFrames = NULL;
    }
    if (g_LevelMesh) {
        delete g_LevelMesh;
        g_LevelMesh = NULL;
    }
    // The containers of the level's first pass, which only its frames named.
    ReleaseFirstPassContainers();

    if (g_MiniMapSurface) {
        g_MiniMapSurface->Release();
        g_MiniMapSurface = NULL;
    }
    if (g_BackBuffer) {
        g_BackBuffer->Release();
        g_BackBuffer = NULL;
    }
    ReleaseDirectInput();
    if (g_Device) {
        g_Device->Release();
        g_Device = NULL;
    }
    if (g_D3D) {
        g_D3D->Release();
        g_D3D = NULL;
    }
}
