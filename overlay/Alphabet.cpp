#include "overlay/Alphabet.h"

#include <algorithm>
#include <cstdint>

#include "app/Globals.h"
#include "app/Utility.h"
#include "overlay/BitmapSurface.h"

const char g_AlphabetFile[] = "..\\Alfabeto\\Expo_16x32_MERVO.bmp";

IDirect3DSurface9* g_AlphabetSurface = NULL;
int g_GlyphWidth = 0;
int g_GlyphHeight = 0;
int g_GlyphsPerRow = 0;
int g_AlphabetLoaded = 0;

HRESULT LoadAlphabet(const char* file, int glyphWidth, int glyphHeight) {
    if (!file || glyphWidth <= 0 || glyphHeight <= 0) return E_FAIL;
    ReleaseAlphabet();
    g_AlphabetLoaded = 0;
    if (FAILED(LoadBitmapToSurface(file, &g_AlphabetSurface, g_Device))) {
        ReportError("Unable to load alphabet bitmap");
        ReleaseAlphabet();
        return E_FAIL;
    }
    D3DSURFACE_DESC desc;
    g_AlphabetSurface->GetDesc(&desc);
    // Less than one cell would give no cell per row (and a division by it).
    if (desc.Width < static_cast<UINT>(glyphWidth) || desc.Height < static_cast<UINT>(glyphHeight)) {
        ReleaseAlphabet();
        return E_FAIL;
    }
    g_GlyphsPerRow = static_cast<int>(desc.Width) / glyphWidth;
    g_GlyphWidth = glyphWidth;
    g_GlyphHeight = glyphHeight;
    g_AlphabetLoaded = 1;
    return 0;
}

int ReleaseAlphabet() {
    if (g_AlphabetSurface) {
        g_AlphabetSurface->Release();
        g_AlphabetSurface = NULL;
        g_AlphabetLoaded = 0;
    }
    return 0;
}

namespace {

struct Clip {
    int width, height;  // of the destination
};

void DrawGlyph(int x, int y, char c, int keying, DWORD key, DWORD* bits, int pitch, const Clip* clip) {
    if (!g_AlphabetLoaded || c == 32) return;
    // The cell index is c - 32 as a signed 8-bit value: codes below 32 and from
    // 160 up come out negative.
    int index = static_cast<uint8_t>(c - 32);
    if (index >= 128) index -= 256;
    const int column = index % g_GlyphsPerRow, row = index / g_GlyphsPerRow;
    D3DSURFACE_DESC sheet;
    g_AlphabetSurface->GetDesc(&sheet);
    // Only cells wholly on the sheet are read.
    if (index < 0 || static_cast<int64_t>(row + 1) * g_GlyphHeight > sheet.Height) return;

    D3DLOCKED_RECT locked;
    if (FAILED(g_AlphabetSurface->LockRect(&locked, NULL, D3DLOCK_READONLY))) {
        ReportError("Couldnt lock alphabet surface for PrintChar()");
        return;
    }
    int64_t top = 0, bottom = g_GlyphHeight, left = 0, right = g_GlyphWidth;
    if (clip) {
        top = std::max<int64_t>(top, -static_cast<int64_t>(y));
        bottom = std::min<int64_t>(bottom, static_cast<int64_t>(clip->height) - y);
        left = std::max<int64_t>(left, -static_cast<int64_t>(x));
        right = std::min<int64_t>(right, static_cast<int64_t>(clip->width) - x);
    }
    const DWORD* cell = static_cast<const DWORD*>(locked.pBits) +
                        static_cast<int64_t>(row) * g_GlyphHeight * (locked.Pitch / 4) + column * g_GlyphWidth;
    for (int64_t r = top; r < bottom; ++r) {
        const DWORD* in = cell + r * (locked.Pitch / 4);
        DWORD* out = bits + (y + r) * (pitch / 4) + x;
        for (int64_t i = left; i < right; ++i)
            if (!keying || in[i] != key) out[i] = in[i];
    }
    g_AlphabetSurface->UnlockRect();
}

void DrawString(int x, int y, const char* text, int keying, DWORD key, DWORD* bits, int pitch, const Clip* clip) {
    if (!text) return;
    for (int i = 0; text[i]; ++i) {
        const int64_t at = x + static_cast<int64_t>(g_GlyphWidth) * i;
        if (clip && at >= clip->width) return;  // the rest lies past the right edge
        DrawGlyph(static_cast<int>(at), y, text[i], keying, key, bits, pitch, clip);
    }
}

}  // namespace

void PrintChar(int x, int y, char c, int keying, DWORD key, DWORD* bits, int pitch) {
    DrawGlyph(x, y, c, keying, key, bits, pitch, NULL);
}

void PrintString(int x, int y, const char* text, int keying, DWORD key, DWORD* bits, int pitch) {
    DrawString(x, y, text, keying, key, bits, pitch, NULL);
}

void PrintStringClipped(int x, int y, const char* text, int keying, DWORD key, DWORD* bits, int pitch, int width,
                        int height) {
    const Clip clip = {width, height};
    DrawString(x, y, text, keying, key, bits, pitch, &clip);
}
