#include "app/Render.h"

#include "app/Globals.h"

void UpdateAndRender() {
    g_Device->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    g_Device->BeginScene();
    g_Device->EndScene();
    g_Device->Present(NULL, NULL, NULL, NULL);
}

int UpdateMouseLook() { return 0; }
