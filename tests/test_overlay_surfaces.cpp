// Bitmap files into system-memory surfaces, the colour-keyed copy between
// 32-bit surfaces and the pixel writer the overlays share.
#include <gtest/gtest.h>

#include <cstring>

#include "app/Globals.h"
#include "overlay/BitmapSurface.h"
#include "platform/testing.h"
#include "tests/support/overlay_fixtures.h"

using namespace overlay_fixtures;

namespace {

// Distinct colours, with room for pure black where a test wants it.
datagen::Image Pattern(int w, int h) {
    datagen::Image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &img.rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            p[0] = uint8_t(x * 2 + 1);
            p[1] = uint8_t(y * 3 + 1);
            p[2] = uint8_t(x + y);
        }
    return img;
}

class BitmapSurfaces : public OverlayTest {};

TEST_F(BitmapSurfaces, BitmapsLoadWithTheirOwnSizeAndPixels) {
    // 100 x 60 as the platform names it; 7 x 3 has padded rows in the file.
    for (const auto& size : {std::make_pair(100, 60), std::make_pair(7, 3), std::make_pair(1, 1)}) {
        const datagen::Image picture = Pattern(size.first, size.second);
        WriteBitmap("Immagini/Picture.bmp", picture);
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(LoadBitmapToSurface("..\\Immagini\\Picture.bmp", &surface, g_Device), 0);
        ASSERT_NE(surface, nullptr);
        D3DSURFACE_DESC desc;
        surface->GetDesc(&desc);
        EXPECT_EQ(desc.Width, UINT(size.first));
        EXPECT_EQ(desc.Height, UINT(size.second));
        EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
        EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
        UINT width = 0;
        const std::vector<DWORD> pixels = ReadPixels(surface, &width);
        for (int y = 0; y < size.second; ++y)
            for (int x = 0; x < size.first; ++x)
                ASSERT_EQ(pixels[size_t(y) * width + size_t(x)], Loaded(picture, x, y)) << x << "," << y;
        surface->Release();
    }
    EXPECT_EQ(Reports(), "");
}

TEST_F(BitmapSurfaces, TopDownBitmapsComeOutTopRowFirstToo) {
    const datagen::Image picture = Pattern(5, 4);
    std::vector<uint8_t> bytes = datagen::EncodeBmp(picture);
    // The same rows stored top row first, as a negative height says.
    const size_t rowBytes = 16, pixels = 54;
    std::vector<uint8_t> flipped(bytes.begin(), bytes.begin() + pixels);
    for (int row = 3; row >= 0; --row)
        flipped.insert(flipped.end(), bytes.begin() + long(pixels + rowBytes * size_t(row)),
                       bytes.begin() + long(pixels + rowBytes * size_t(row + 1)));
    const int32_t height = -4;
    std::memcpy(&flipped[22], &height, 4);
    WriteFile("Immagini/TopDown.bmp", std::string(flipped.begin(), flipped.end()));
    IDirect3DSurface9* surface = nullptr;
    const HRESULT hr = LoadBitmapToSurface("..\\Immagini\\TopDown.bmp", &surface, g_Device);
    if (surface) made_.push_back(surface);
    ASSERT_EQ(hr, 0) << Reports();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(surface, x, y), Loaded(picture, x, y)) << x << "," << y;
}

TEST_F(BitmapSurfaces, FilesThatAreNoBitmapsFailBeforeAnySurfaceIsMade) {
    WriteFile("Immagini/Text.bmp", "This is a text file, not a bitmap.\n");
    const std::vector<uint8_t> good = datagen::EncodeBmp(Pattern(8, 8));
    WriteFile("Immagini/Short.bmp", std::string(good.begin(), good.begin() + 80));
    WriteFile("Immagini/Empty.bmp", "");
    for (const char* name : {"..\\Immagini\\Missing.bmp", "..\\Immagini\\Text.bmp", "..\\Immagini\\Short.bmp",
                             "..\\Immagini\\Empty.bmp", "..\\Immagini"}) {
        platform_testing::ClearDebugOutput();
        platform_testing::ClearD3D9Calls();
        IDirect3DSurface9* untouched = reinterpret_cast<IDirect3DSurface9*>(uintptr_t(0x5EED));
        EXPECT_EQ(LoadBitmapToSurface(name, &untouched, g_Device), E_FAIL) << name;
        EXPECT_EQ(untouched, reinterpret_cast<IDirect3DSurface9*>(uintptr_t(0x5EED))) << name;
        EXPECT_EQ(platform_testing::DebugOutput(), (std::vector<std::string>{"ERROR: ", "Unable to load bitmap", "\n"}))
            << name;
        EXPECT_EQ(platform_testing::FindD3D9Call("CreateOffscreenPlainSurface"), -1) << name;
    }
}

TEST_F(BitmapSurfaces, ABitmapWithoutASurfaceToTakeItFails) {
    WriteBitmap("Immagini/Picture.bmp", Pattern(4, 4));
    WriteBitmap("Immagini/Wide.bmp", Pattern(9000, 1));  // wider than the device's surfaces
    for (const auto& c : {std::make_pair("..\\Immagini\\Picture.bmp", false),
                          std::make_pair("..\\Immagini\\Wide.bmp", true)}) {
        platform_testing::ClearDebugOutput();
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(LoadBitmapToSurface(c.first, &surface, c.second ? g_Device : nullptr), E_FAIL) << c.first;
        EXPECT_EQ(surface, nullptr);
        EXPECT_EQ(Reports(), "ERROR: Unable to create surface for bitmap load\n");
    }
}

// The copy, as a table over surfaces whose rows are laid out differently: the
// device's own (pitch = width x 4, differing between the two) and padded ones.
TEST_F(BitmapSurfaces, KeyedCopiesMoveTheRightPixelsAndNoOthers) {
    const DWORD kBlack = 0xFF000000, kClear = 0x00000000, kFill = 0xDEADBEEF;
    auto source = [&](int x, int y) -> DWORD {
        if ((x + y) % 5 == 0) return kBlack;  // what black becomes once loaded
        if ((x + y) % 7 == 0) return kClear;
        return 0xFF000000u | DWORD(x) << 8 | DWORD(y);
    };
    struct Case {
        const char* what;
        bool rect;
        RECT r;
        bool point;
        POINT p;
        int useKey;
        DWORD key;
    } cases[] = {
        {"whole to the corner", false, {}, false, {}, 0, 0},
        {"rectangle to a point", true, {10, 20, 30, 25}, true, {3, 4}, 0, 0},
        {"key on", true, {10, 20, 30, 25}, true, {3, 4}, 1, kBlack},
        {"key passed but off", false, {}, false, {}, 0, kBlack},
        {"key 0", false, {}, true, {1, 1}, 1, kClear},
        {"overhanging right and bottom", false, {}, true, {30, 25}, 0, 0},
        {"starting left of and above", true, {5, 5, 25, 20}, true, {-8, -3}, 1, kBlack},
        {"rectangle past the source", true, {30, 20, 60, 90}, true, {0, 0}, 0, 0},
        {"nowhere near", false, {}, true, {500, -500}, 0, 0},
        {"inverted rectangle", true, {20, 20, 10, 10}, false, {}, 0, 0},
    };
    const UINT sw = 37, sh = 29, dw = 50, dh = 40;
    for (int layout = 0; layout < 2; ++layout) {
        PaddedSurface paddedSource(sw, sh, sw * 4 + 12), paddedDest(dw, dh, dw * 4 + 20);
        IDirect3DSurface9* src = layout == 0 ? MakeSurface(sw, sh) : &paddedSource;
        IDirect3DSurface9* dst = layout == 0 ? MakeSurface(dw, dh) : &paddedDest;
        FillPixels(src, source);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (layout ? ", padded rows" : ""));
            FillPixels(dst, [&](int, int) { return kFill; });
            ASSERT_EQ(CopySurfaceColorKeyed(c.rect ? &c.r : nullptr, src, c.point ? &c.p : nullptr, dst, c.useKey,
                                            c.key),
                      0);
            const RECT r = c.rect ? c.r : RECT{0, 0, LONG(sw), LONG(sh)};
            const POINT p = c.point ? c.p : POINT{0, 0};
            UINT width = 0;
            const std::vector<DWORD> out = ReadPixels(dst, &width);
            for (int y = 0; y < int(dh); ++y)
                for (int x = 0; x < int(dw); ++x) {
                    // The source pixel that lands here, if any.
                    const int fx = r.left + (x - p.x), fy = r.top + (y - p.y);
                    const bool inside = fx >= r.left && fx < r.right && fy >= r.top && fy < r.bottom && fx >= 0 &&
                                        fy >= 0 && fx < int(sw) && fy < int(sh);
                    DWORD want = kFill;
                    if (inside && !(c.useKey && source(fx, fy) == c.key)) want = source(fx, fy);
                    ASSERT_EQ(out[size_t(y) * width + size_t(x)], want) << x << "," << y;
                }
        }
        if (layout == 1) {
            EXPECT_TRUE(paddedDest.PaddingUntouched());
            EXPECT_FALSE(paddedSource.Locked());
            EXPECT_FALSE(paddedDest.Locked());
        }
    }
}

TEST_F(BitmapSurfaces, TheSpecimenRectangleMovesTwentyByFive) {
    IDirect3DSurface9* src = MakeSurface(40, 30);
    IDirect3DSurface9* dst = MakeSurface(40, 30);
    FillPixels(src, [](int x, int y) { return DWORD(y * 100 + x); });
    RECT r = {10, 20, 30, 25};
    ASSERT_EQ(CopySurfaceColorKeyed(&r, src, nullptr, dst, 0, 0), 0);
    EXPECT_EQ(PixelAt(dst, 0, 0), 2010u);
    EXPECT_EQ(PixelAt(dst, 19, 4), 2429u);
    EXPECT_EQ(PixelAt(dst, 20, 0), 0u);
    EXPECT_EQ(PixelAt(dst, 0, 5), 0u);
}

TEST_F(BitmapSurfaces, CopiesThatCannotBeMadeFailAndLeaveNothingLocked) {
    IDirect3DSurface9* a = MakeSurface(8, 8);
    IDirect3DSurface9* b = MakeSurface(8, 8);
    IDirect3DSurface9* rgb565 = MakeSurface(8, 8, D3DFMT_R5G6B5);
    EXPECT_EQ(CopySurfaceColorKeyed(nullptr, nullptr, nullptr, b, 0, 0), E_FAIL);
    EXPECT_EQ(CopySurfaceColorKeyed(nullptr, a, nullptr, nullptr, 0, 0), E_FAIL);
    EXPECT_EQ(CopySurfaceColorKeyed(nullptr, a, nullptr, a, 0, 0), E_FAIL) << "one surface locked twice";
    EXPECT_EQ(CopySurfaceColorKeyed(nullptr, rgb565, nullptr, b, 0, 0), E_FAIL) << "16-bit pixels";
    EXPECT_EQ(CopySurfaceColorKeyed(nullptr, a, nullptr, rgb565, 0, 0), E_FAIL);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(b->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(CopySurfaceColorKeyed(nullptr, a, nullptr, b, 0, 0), E_FAIL) << "destination locked";
    b->UnlockRect();
    for (IDirect3DSurface9* s : {a, b}) {
        ASSERT_EQ(s->LockRect(&locked, nullptr, 0), D3D_OK) << "left locked";
        s->UnlockRect();
    }
    EXPECT_EQ(Reports(), "");
}

TEST_F(BitmapSurfaces, PixelsOffTheScreenAreDropped) {
    // Rows padded by 16 bytes: the pixel's row is pitch / 4 pixels on.
    const int pitch = 1024 * 4 + 16;
    std::vector<DWORD> bits(size_t(pitch / 4) * 768 + 8, 0);
    const struct {
        int x, y;
        bool written;
    } cases[] = {{-1, 0, false},   {0, -1, false},    {1024, 0, false}, {0, 768, false}, {-1, 767, false},
                 {1023, -1, false}, {0, 0, true},     {1023, 0, true},  {0, 767, true},  {1023, 767, true},
                 {INT32_MIN, 5, false}, {5, INT32_MAX, false}};
    for (const auto& c : cases) {
        std::fill(bits.begin(), bits.end(), 0);
        PutPixel(c.x, c.y, 0x0099C0C6, pitch, bits.data());
        const size_t changed = size_t(std::count(bits.begin(), bits.end(), 0x0099C0C6u));
        EXPECT_EQ(changed, c.written ? 1u : 0u) << c.x << "," << c.y;
        if (c.written) {
            EXPECT_EQ(bits[size_t(c.y) * (pitch / 4) + size_t(c.x)], 0x0099C0C6u);
        }
    }
}

}  // namespace
