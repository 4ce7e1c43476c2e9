// 2D work on 32-bit surfaces in system memory, shared by the overlays: a
// bitmap file into a surface of its own size, a pixel-by-pixel copy that may
// leave out one key colour, and one pixel into locked memory.
#pragma once

#include <windows.h>

#include <d3d9.h>

// Loads the bitmap file into a new X8R8G8B8 system-memory surface of the
// bitmap's size, which the caller owns. E_FAIL with a report on failure; when
// the pixels cannot be loaded the new surface is already in *surface and the
// caller's to release.
HRESULT LoadBitmapToSurface(const char* file, IDirect3DSurface9** surface, IDirect3DDevice9* device);

// Copies `rect` of `source` (null: all of it) to `point` of `dest` (null:
// (0, 0)); with useKey non-zero, source pixels equal to `key` (all 32 bits) are
// left out. The block is clipped to both surfaces. E_FAIL for a null surface,
// a surface that is not 32 bits a pixel, or a lock that fails.
HRESULT CopySurfaceColorKeyed(const RECT* rect, IDirect3DSurface9* source, const POINT* point,
                              IDirect3DSurface9* dest, int useKey, DWORD key);

// Writes one pixel into locked 32-bit memory when (x, y) lies on the screen
// (g_ScreenWidth x g_ScreenHeight): meant for surfaces of the screen's size.
void PutPixel(int x, int y, DWORD colour, int pitch, DWORD* bits);
