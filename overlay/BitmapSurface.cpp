#include "overlay/BitmapSurface.h"

#include <d3dx9.h>

#include <algorithm>
#include <cstdint>

#include "app/Globals.h"
#include "app/Utility.h"

HRESULT LoadBitmapToSurface(const char* file, IDirect3DSurface9** surface, IDirect3DDevice9* device) {
    // The bitmap is loaded through GDI only to learn its size.
    HANDLE bitmap = LoadImageA(NULL, file, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    if (!bitmap) {
        ReportError("Unable to load bitmap");
        return E_FAIL;
    }
    BITMAP info = {};
    GetObjectA(bitmap, sizeof(BITMAP), &info);
    DeleteObject(bitmap);

    if (!device || FAILED(device->CreateOffscreenPlainSurface(static_cast<UINT>(info.bmWidth),
                                                              static_cast<UINT>(info.bmHeight), D3DFMT_X8R8G8B8,
                                                              D3DPOOL_SYSTEMMEM, surface, NULL))) {
        ReportError("Unable to create surface for bitmap load");
        return E_FAIL;
    }
    if (FAILED(D3DXLoadSurfaceFromFileA(*surface, NULL, NULL, file, NULL, D3DX_FILTER_NONE, 0, NULL))) {
        ReportError("Unable to load file to surface");
        return E_FAIL;
    }
    return 0;
}

namespace {

bool Is32Bit(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8B8G8R8 ||
           format == D3DFMT_A8B8G8R8;
}

// Rows are pitch / 4 pixels apart.
DWORD* Row(const D3DLOCKED_RECT& locked, int64_t y) {
    return static_cast<DWORD*>(locked.pBits) + y * (locked.Pitch / 4);
}

}  // namespace

HRESULT CopySurfaceColorKeyed(const RECT* rect, IDirect3DSurface9* source, const POINT* point,
                              IDirect3DSurface9* dest, int useKey, DWORD key) {
    if (!source || !dest) return E_FAIL;
    D3DSURFACE_DESC from, to;
    if (FAILED(source->GetDesc(&from)) || FAILED(dest->GetDesc(&to))) return E_FAIL;
    if (!Is32Bit(from.Format) || !Is32Bit(to.Format)) return E_FAIL;

    const RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(from.Width), static_cast<LONG>(from.Height)};
    const POINT at = point ? *point : POINT{0, 0};
    // Clip the rectangle to the source, then the block to the destination; a
    // block starting left of or above it loses its first columns or rows.
    int64_t left = std::max<int64_t>(r.left, 0), top = std::max<int64_t>(r.top, 0);
    const int64_t right = std::min<int64_t>(r.right, from.Width), bottom = std::min<int64_t>(r.bottom, from.Height);
    int64_t x = at.x, y = at.y;
    if (x < 0) left -= x, x = 0;
    if (y < 0) top -= y, y = 0;
    const int64_t width = std::min<int64_t>(right - left, int64_t(to.Width) - x);
    const int64_t height = std::min<int64_t>(bottom - top, int64_t(to.Height) - y);

    D3DLOCKED_RECT src, dst;
    if (FAILED(source->LockRect(&src, NULL, D3DLOCK_READONLY))) return E_FAIL;
    if (FAILED(dest->LockRect(&dst, NULL, 0))) {
        source->UnlockRect();
        return E_FAIL;
    }
    for (int64_t i = 0; i < height; ++i) {
        const DWORD* in = Row(src, top + i) + left;
        DWORD* out = Row(dst, y + i) + x;
        for (int64_t j = 0; j < width; ++j)
            if (!useKey || in[j] != key) out[j] = in[j];
    }
    source->UnlockRect();
    dest->UnlockRect();
    return 0;
}

void PutPixel(int x, int y, DWORD colour, int pitch, DWORD* bits) {
    if (x >= 0 && x < g_ScreenWidth && y >= 0 && y < g_ScreenHeight) bits[y * (pitch / 4) + x] = colour;
}
