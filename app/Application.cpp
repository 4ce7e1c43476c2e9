#include "app/Application.h"

#include <cstdlib>

#include "app/Device.h"
#include "app/Globals.h"
#include "app/Timer.h"
#include "app/Utility.h"
#include "input/DirectInput.h"

int InitApplication(HWND window) {
    if (FAILED(CreateD3DDevice(&g_D3D, &g_Device, window, 0, 0))) return E_FAIL;

    g_Result = g_Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &g_BackBuffer);
    if (FAILED(g_Result)) {
        ReportError("Couldnt get backbuffer");
        return E_FAIL;
    }

    srand(GetTickCount());
    InitTimer();

    g_Result = InitDirectInput();
    if (FAILED(g_Result)) {
        ReportError("Unable to initialize input");
        return E_FAIL;
    }
    return 1;
}

void CleanupApplication() {
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
