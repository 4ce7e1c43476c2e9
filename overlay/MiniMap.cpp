#include "overlay/MiniMap.h"

#include "app/Globals.h"
#include "overlay/BitmapSurface.h"

POINT g_MiniMapPos = {0, 0};

namespace {

const char kMiniMapFile[] = "..\\Immagini\\MiniMap.bmp";
const DWORD kMarkerColour = 0x0099C0C6;

}  // namespace

HRESULT LoadMiniMap() {
    // Null until a load succeeds: a half-loaded picture is not kept.
    if (g_MiniMapSurface) {
        g_MiniMapSurface->Release();
        g_MiniMapSurface = NULL;
    }
    HRESULT hr = LoadBitmapToSurface(kMiniMapFile, &g_MiniMapSurface, g_Device);
    if (FAILED(hr) && g_MiniMapSurface) {
        g_MiniMapSurface->Release();
        g_MiniMapSurface = NULL;
    }
    return hr;
}

HRESULT DrawMiniMap() {
    g_MiniMapPos.x = g_ScreenWidth * 8 / 100;
    g_MiniMapPos.y = g_ScreenHeight * 8 / 100;
    // The key is passed but off: every pixel of the picture is copied.
    return CopySurfaceColorKeyed(NULL, g_MiniMapSurface, &g_MiniMapPos, g_BackBuffer, 0, 0xFF000000);
}

void PlotMarker(int x, int y, DWORD colour) {
    if (!g_BackBuffer) return;
    // PutPixel keeps to the screen's size: a smaller back buffer is not written.
    D3DSURFACE_DESC desc;
    if (FAILED(g_BackBuffer->GetDesc(&desc)) || desc.Width < static_cast<UINT>(g_ScreenWidth) ||
        desc.Height < static_cast<UINT>(g_ScreenHeight))
        return;
    D3DLOCKED_RECT locked;
    if (FAILED(g_BackBuffer->LockRect(&locked, NULL, 0))) return;
    DWORD* bits = static_cast<DWORD*>(locked.pBits);
    PutPixel(x, y, colour, locked.Pitch, bits);
    PutPixel(x + 1, y, colour, locked.Pitch, bits);
    PutPixel(x, y + 1, colour, locked.Pitch, bits);
    PutPixel(x + 1, y + 1, colour, locked.Pitch, bits);
    PutPixel(x - 1, y + 1, colour, locked.Pitch, bits);
    PutPixel(x + 1, y - 1, colour, locked.Pitch, bits);
    PutPixel(x - 1, y, colour, locked.Pitch, bits);
    PutPixel(x, y - 1, colour, locked.Pitch, bits);
    PutPixel(x - 1, y - 1, colour, locked.Pitch, bits);
    g_BackBuffer->UnlockRect();
}

void DrawMiniMapMarkers(SceneFrame first, SceneFrame second) {
    float x1, y1, z1, x2, y2, z2;
    first.GetPosition(&x1, &y1, &z1);
    second.GetPosition(&x2, &y2, &z2);
    const float px = static_cast<float>(g_MiniMapPos.x), py = static_cast<float>(g_MiniMapPos.y);
    // Across first minus second, down second minus first.
    const float mx = (x1 - x2) * 0.0555556f + (px + 251) * 0.6060606f;
    const float my = (z2 - z1) * 0.02f + (py + 154) * 0.6451613f;
    const float sx = second.BoxExtents.x * 256 * 0.00016666667f;
    const float sz = second.BoxExtents.z * 159 * 0.0002f;
    if (!(px + 5 < mx && mx < px + 251 && py + 5 < my && my < py + 154 && sx > 0)) return;
    const int x = static_cast<int>(mx), y = static_cast<int>(my);
    // Blocks whose every pixel lies right of or below the screen write nothing:
    // a huge box must not mean endless plotting.
    for (int i = 0; i < sx && x + i <= g_ScreenWidth; ++i)
        for (int j = 0; j < sz && y + j <= g_ScreenHeight; ++j) PlotMarker(x + i, y + j, kMarkerColour);
}
