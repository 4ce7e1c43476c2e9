// The screen device context, rectangles and bitmap files.
#include <stb_image.h>

#include <climits>
#include <map>

#include "paths.h"
#include "win32_internal.h"

namespace win32_internal {
namespace {

struct Bitmap {
    LONG width = 0;
    LONG height = 0;
    std::vector<unsigned char> bits;  // 32-bit B,G,R,X rows, bottom row first
    bool dibSection = false;
};

struct Gdi {
    int dpi = 96;
    uintptr_t nextBitmap = 1;
    std::map<uintptr_t, Bitmap> bitmaps;
};

Gdi& G() {
    static Gdi* g = new Gdi;
    return *g;
}

HDC const kScreenDc = reinterpret_cast<HDC>(static_cast<uintptr_t>(0xDC000));

// Beyond this a "bitmap" is not worth decoding.
const int kMaxSide = 16384;

uint32_t Read32(const std::vector<unsigned char>& d, size_t at) {
    return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 |
           uint32_t(d[at + 3]) << 24;
}
uint16_t Read16(const std::vector<unsigned char>& d, size_t at) {
    return static_cast<uint16_t>(d[at] | d[at + 1] << 8);
}

// Checks the headers of a Windows bitmap file before any pixel is decoded.
bool LooksLikeBitmap(const std::vector<unsigned char>& d, int* width, int* height) {
    if (d.size() < 26 || d[0] != 'B' || d[1] != 'M') return false;
    uint32_t pixelsAt = Read32(d, 10);
    uint32_t headerSize = Read32(d, 14);
    int32_t w, h;
    uint16_t planes, bits;
    uint32_t compression = 0;
    // The core header, or the info header and its V4 and V5 extensions; the
    // others (OS/2, the short-lived 52 and 56 byte ones) are not taken.
    if (headerSize == 12) {
        w = Read16(d, 18);
        h = static_cast<int16_t>(Read16(d, 20));
        planes = Read16(d, 22);
        bits = Read16(d, 24);
    } else if ((headerSize == 40 || headerSize == 108 || headerSize == 124) && d.size() >= 14 + headerSize) {
        w = static_cast<int32_t>(Read32(d, 18));
        h = static_cast<int32_t>(Read32(d, 22));
        planes = Read16(d, 26);
        bits = Read16(d, 28);
        compression = Read32(d, 30);
    } else {
        return false;
    }
    if (planes != 1) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (w <= 0 || w > kMaxSide || h == 0 || h < -kMaxSide || h > kMaxSide) return false;
    // Plain rows (or bit fields) only, and all of them inside the file: the
    // decoder would read a short file as if it went on with zeros.
    if (compression != 0 && compression != 3) return false;
    uint64_t rowBytes = ((static_cast<uint64_t>(w) * bits + 31) / 32) * 4;
    uint64_t rows = static_cast<uint64_t>(h < 0 ? -static_cast<int64_t>(h) : h);
    if (pixelsAt < 14 + headerSize || pixelsAt + rowBytes * rows > d.size()) return false;
    *width = w;
    *height = h < 0 ? -h : h;
    return true;
}

}  // namespace

void ResetGdi() { G() = Gdi(); }

void SetDpi(int dpi) { G().dpi = dpi; }

}  // namespace win32_internal

using namespace win32_internal;

HDC WINAPI GetDC(HWND window) {
    if (window && !LiveWindow(window)) return nullptr;
    return kScreenDc;
}

int WINAPI ReleaseDC(HWND /*window*/, HDC dc) { return dc == kScreenDc ? 1 : 0; }

int WINAPI GetDeviceCaps(HDC dc, int index) {
    if (dc != kScreenDc) return 0;
    switch (index) {
        case LOGPIXELSX:
        case LOGPIXELSY:
            return G().dpi;
        default:
            return 0;
    }
}

int WINAPI MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    int64_t n = static_cast<int64_t>(a) * b;
    int64_t q = n / c;
    int64_t r = n % c;
    // Half away from zero.
    if (r != 0 && 2 * (r < 0 ? -r : r) >= (c < 0 ? -static_cast<int64_t>(c) : c))
        q += ((n < 0) != (c < 0)) ? -1 : 1;
    if (q > INT_MAX || q < INT_MIN) return -1;
    return static_cast<int>(q);
}

BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom) {
    if (!rect) return FALSE;
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}

HANDLE WINAPI LoadImageA(HINSTANCE /*instance*/, LPCSTR name, UINT type, int /*width*/,
                         int /*height*/, UINT flags) {
    // Only bitmap files: the program has no resources of that kind.
    if (type != IMAGE_BITMAP || !(flags & LR_LOADFROMFILE) || !name) return nullptr;
    std::vector<unsigned char> file;
    if (!layer::ReadWholeFile(name, file) || file.size() > static_cast<size_t>(INT_MAX))
        return nullptr;
    int w = 0, h = 0;
    if (!LooksLikeBitmap(file, &w, &h)) return nullptr;
    int sw = 0, sh = 0, channels = 0;
    unsigned char* rgba =
        stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &sw, &sh, &channels, 4);
    if (!rgba) return nullptr;
    if (sw != w || sh != h) {
        stbi_image_free(rgba);
        return nullptr;
    }
    Bitmap bm;
    bm.width = w;
    bm.height = h;
    bm.dibSection = (flags & LR_CREATEDIBSECTION) != 0;
    bm.bits.resize(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        const unsigned char* src = rgba + static_cast<size_t>(y) * w * 4;
        unsigned char* dst = bm.bits.data() + static_cast<size_t>(h - 1 - y) * w * 4;
        for (int x = 0; x < w; ++x) {
            dst[4 * x + 0] = src[4 * x + 2];
            dst[4 * x + 1] = src[4 * x + 1];
            dst[4 * x + 2] = src[4 * x + 0];
            dst[4 * x + 3] = 0;
        }
    }
    stbi_image_free(rgba);
    uintptr_t id = 0xB0000 + 0x10 * G().nextBitmap++;
    G().bitmaps[id] = std::move(bm);
    return reinterpret_cast<HANDLE>(id);
}

int WINAPI GetObjectA(HANDLE object, int size, LPVOID out) {
    auto it = G().bitmaps.find(reinterpret_cast<uintptr_t>(object));
    if (it == G().bitmaps.end()) return 0;
    if (!out) return static_cast<int>(sizeof(BITMAP));
    if (size < static_cast<int>(sizeof(BITMAP))) return 0;
    Bitmap& bm = it->second;
    BITMAP info;
    info.bmType = 0;
    info.bmWidth = bm.width;
    info.bmHeight = bm.height;
    info.bmWidthBytes = bm.width * 4;
    info.bmPlanes = 1;
    info.bmBitsPixel = 32;
    // Only a DIB section exposes its pixels.
    info.bmBits = bm.dibSection ? bm.bits.data() : nullptr;
    std::memcpy(out, &info, sizeof info);
    return static_cast<int>(sizeof(BITMAP));
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    return G().bitmaps.erase(reinterpret_cast<uintptr_t>(object)) ? TRUE : FALSE;
}
