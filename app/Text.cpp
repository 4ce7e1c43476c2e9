#include "app/Text.h"

#include <cmath>

#include "app/Globals.h"

HRESULT CreateTextFont(const char* faceName) {
    HDC screen = GetDC(NULL);
    int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    // Negative: the character height, 14 points at the screen's resolution.
    int height = -MulDiv(g_FontPointSize, pixelsPerInch, 72);

    g_Result = D3DXCreateFontA(g_Device, height, 0, FW_BOLD, 0, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, ANTIALIASED_QUALITY, 0, faceName, &g_Font);
    if (FAILED(g_Result)) {
        OutputDebugStringA("Impossibile caricare il font necessario");
        OutputDebugStringA("\n");
        return E_FAIL;
    }
    return S_OK;
}

namespace {

DWORD ColourByte(float v) {
    // Tested first: converting a NaN to an integer is undefined.
    if (std::isnan(v)) return 0;
    if (v >= 1.0f) return 255;
    if (v <= 0.0f) return 0;
    return static_cast<DWORD>(v * 255.0f + 0.5f);
}

}  // namespace

INT DrawTextAt(int x, int y, const char* text, float r, float g, float b, float a) {
    // Drawn without clipping: only the top-left corner matters.
    RECT rect;
    SetRect(&rect, x, y, 0, 0);
    D3DCOLOR colour = (ColourByte(a) << 24) | (ColourByte(r) << 16) | (ColourByte(g) << 8) |
                      ColourByte(b);
    if (!g_Font) return 0;
    return g_Font->DrawTextA(NULL, text, -1, &rect, DT_NOCLIP, colour);
}

INT DrawFrameRate(int x, int y, char* /*text*/, float r, float g, float b, float a) {
    _itoa(g_FramesPerSecond, g_FrameRateText, 10);
    return DrawTextAt(x, y, g_FrameRateText, r, g, b, a);
}
