#include "app/Application.h"

#include <cstdlib>

#include "app/Device.h"
#include "app/Globals.h"
#include "app/Text.h"
#include "app/Timer.h"
#include "app/Utility.h"
#include "input/DirectInput.h"

namespace {

const char kFontFace[] = "Viner Hand ITC";
const D3DCOLOR kAmbient = 0xFFC8C8C8;

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

    // The character, its bounding box, collision object and animation sets
    // are loaded here, and g_CharacterPos read from it.

    g_FollowCamera.SetPosition(g_CharacterPos.x, g_CharacterPos.y + 2.0f, g_CharacterPos.z + 2.0f);
    g_LookCamera.SetPosition(g_CharacterPos.x, g_CharacterPos.y + 0.7f, g_CharacterPos.z + 0.5f);
    g_CameraOffset = D3DXVECTOR3(0.0f, 2.0f, 2.0f);

    // The level and its collision object are loaded here.

    g_CursorX = g_ScreenWidth / 2;
    g_CursorY = g_ScreenHeight / 2;

    // The two particle systems are made here.

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

    // The particle systems, the animation sets, the frame trees and the mesh
    // containers are released here.

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
