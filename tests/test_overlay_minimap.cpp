// The minimap: its picture placed on the back buffer and the markers plotted
// over it.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Globals.h"
#include "overlay/MiniMap.h"
#include "platform/testing.h"
#include "tests/support/device_fixtures.h"
#include "tests/support/overlay_fixtures.h"

using namespace overlay_fixtures;

namespace {

const DWORD kMarker = 0x0099C0C6;

datagen::Image Picture(int w, int h) {
    datagen::Image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &img.rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = uint8_t(0x80 | (x >> 8) | (y >> 8) << 2);
        }
    return img;
}

// A scene object at a place, with a box of the given extents.
SceneFrame At(float x, float y, float z, float extentX = 0, float extentZ = 0) {
    SceneFrame f;
    f.SetPosition(x, y, z);
    f.BoxExtents = D3DXVECTOR3(extentX, 0, extentZ);
    return f;
}

// The extents that give marker sizes sx and sz.
float ExtentX(float sx) { return sx * 6000.0f / 256.0f; }
float ExtentZ(float sz) { return sz * 5000.0f / 159.0f; }

class MiniMap : public OverlayTest {
protected:
    // Counts the points of the marker colour in the back buffer, and their bounds.
    int MarkerPoints(RECT* bounds = nullptr) {
        UINT width = 0;
        const std::vector<DWORD> pixels = ReadPixels(g_BackBuffer, &width);
        int n = 0;
        RECT b = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
        for (size_t i = 0; i < pixels.size(); ++i)
            if (pixels[i] == kMarker) {
                ++n;
                const LONG x = LONG(i % width), y = LONG(i / width);
                b = RECT{std::min(b.left, x), std::min(b.top, y), std::max(b.right, x + 1), std::max(b.bottom, y + 1)};
            }
        if (bounds) *bounds = b;
        return n;
    }
};

TEST_F(MiniMap, ThePictureLandsAtEightPercentOfTheScreen) {
    const datagen::Image picture = Picture(256, 159);
    WriteBitmap("Immagini/MiniMap.bmp", picture);
    ASSERT_EQ(LoadMiniMap(), 0);
    ASSERT_NE(g_MiniMapSurface, nullptr);
    ASSERT_EQ(DrawMiniMap(), 0);
    EXPECT_EQ(g_MiniMapPos.x, 81);
    EXPECT_EQ(g_MiniMapPos.y, 61);
    UINT width = 0;
    const std::vector<DWORD> back = ReadPixels(g_BackBuffer, &width);
    for (int y = 0; y < 159; ++y)
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(back[size_t(61 + y) * width + size_t(81 + x)], Loaded(picture, x, y)) << x << "," << y;
    EXPECT_EQ(back[61 * width + 80], 0u);
    EXPECT_EQ(back[60 * width + 81], 0u);
    EXPECT_EQ(back[220 * width + 81], 0u);
    EXPECT_EQ(back[61 * width + 337], 0u);

    // Loaded again, the first picture goes.
    ASSERT_EQ(LoadMiniMap(), 0);
    ASSERT_EQ(LoadMiniMap(), 0);
}

TEST_F(MiniMap, OnAnotherScreenSizeThePlaceFollows) {
    WriteBitmap("Immagini/MiniMap.bmp", Picture(256, 159));
    g_BackBuffer->Release();
    g_Device->Release();
    g_Device = device_fixtures::NullDevice(800, 600);
    ASSERT_EQ(g_Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &g_BackBuffer), D3D_OK);
    g_ScreenWidth = 800;
    g_ScreenHeight = 600;
    ASSERT_EQ(LoadMiniMap(), 0);
    ASSERT_EQ(DrawMiniMap(), 0);
    EXPECT_EQ(g_MiniMapPos.x, 64);
    EXPECT_EQ(g_MiniMapPos.y, 48);
    EXPECT_EQ(PixelAt(g_BackBuffer, 64, 48), 0xFF000080u);
}

TEST_F(MiniMap, APictureLargerThanTheScreenIsCutAtItsEdge) {
    const datagen::Image picture = Picture(1000, 800);
    WriteBitmap("Immagini/MiniMap.bmp", picture);
    ASSERT_EQ(LoadMiniMap(), 0);
    ASSERT_EQ(DrawMiniMap(), 0);
    EXPECT_EQ(PixelAt(g_BackBuffer, 1023, 767), Loaded(picture, 942, 706));
    EXPECT_EQ(PixelAt(g_BackBuffer, 81, 61), Loaded(picture, 0, 0));
}

TEST_F(MiniMap, WithoutAPictureNothingIsDrawn) {
    EXPECT_EQ(LoadMiniMap(), E_FAIL);
    EXPECT_EQ(g_MiniMapSurface, nullptr);
    EXPECT_EQ(Reports(), "ERROR: Unable to load bitmap\n");
    EXPECT_EQ(DrawMiniMap(), E_FAIL);
    EXPECT_EQ(MarkerPoints(), 0);
}

TEST_F(MiniMap, MarkersFallWhereTheFormulaPutsThem) {
    g_MiniMapPos = POINT{81, 61};
    const struct {
        const char* what;
        SceneFrame first, second;
        int points;            // marker-coloured pixels
        RECT bounds;           // their bounds, when any
    } cases[] = {
        // (201.21, 138.70): one PlotMarker, a 3 x 3 block round (201, 138).
        {"same place", At(5, 1, 5), At(5, 9, 5, ExtentX(0.5f), ExtentZ(0.5f)), 9, {200, 137, 203, 140}},
        // sx 2.5, sz 0.9: i = 0, 1, 2 and j = 0, three blocks side by side.
        {"wider box", At(0, 0, 0), At(0, 0, 0, ExtentX(2.5f), ExtentZ(0.9f)), 15, {200, 137, 205, 140}},
        {"taller box", At(0, 0, 0), At(0, 0, 0, ExtentX(0.5f), ExtentZ(1.9f)), 12, {200, 137, 203, 141}},
        // First right of the second: right; first further in z: up.
        {"offset", At(180, 0, 500), At(0, 0, 0, ExtentX(0.5f), ExtentZ(0.5f)), 9, {210, 127, 213, 130}},
        {"no width", At(0, 0, 0), At(0, 0, 0, 0, ExtentZ(1)), 0, {}},
        {"no depth", At(0, 0, 0), At(0, 0, 0, ExtentX(1), 0), 0, {}},
        {"negative depth", At(0, 0, 0), At(0, 0, 0, ExtentX(1), -ExtentZ(1)), 0, {}},
        // Just inside and just past the right and bottom bounds: dropped, not cut.
        // Bounds (86, 332) x (66, 215): mx 331.99 and 332.10, my 215.01, mx 85.97, my 65.99.
        {"inside right", At(2354, 0, 0), At(0, 0, 0, ExtentX(3), ExtentZ(1)), 15, {330, 137, 335, 140}},
        {"past right", At(2356, 0, 0), At(0, 0, 0, ExtentX(3), ExtentZ(1)), 0, {}},
        {"past bottom", At(0, 0, -3815), At(0, 0, 0, ExtentX(1), ExtentZ(1)), 0, {}},
        {"past left", At(-2075, 0, 0), At(0, 0, 0, ExtentX(1), ExtentZ(1)), 0, {}},
        {"past top", At(0, 0, 3636), At(0, 0, 0, ExtentX(1), ExtentZ(1)), 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FillPixels(g_BackBuffer, [](int, int) { return 0u; });
        DrawMiniMapMarkers(c.first, c.second);
        RECT bounds;
        EXPECT_EQ(MarkerPoints(&bounds), c.points);
        if (c.points) {
            EXPECT_EQ(bounds.left, c.bounds.left);
            EXPECT_EQ(bounds.top, c.bounds.top);
            EXPECT_EQ(bounds.right, c.bounds.right);
            EXPECT_EQ(bounds.bottom, c.bounds.bottom);
        }
    }
}

// PlotMarker locks the back buffer once per block: a 3 by 1 marker, three locks.
TEST_F(MiniMap, EachBlockLocksTheBackBufferOnce) {
    PaddedSurface back(1024, 768, 1024 * 4 + 32);
    IDirect3DSurface9* own = g_BackBuffer;
    g_BackBuffer = &back;
    g_MiniMapPos = POINT{81, 61};
    DrawMiniMapMarkers(At(0, 0, 0), At(0, 0, 0, ExtentX(2.5f), ExtentZ(1)));
    g_BackBuffer = own;
    EXPECT_EQ(back.Locks(), 3);
    EXPECT_FALSE(back.Locked());
    EXPECT_TRUE(back.PaddingUntouched()) << "rows are pitch / 4 pixels apart";
}

TEST_F(MiniMap, BlocksAtTheScreensEdgeKeepToIt) {
    const struct {
        int x, y;
        int points;
    } cases[] = {{0, 0, 4}, {1023, 767, 4}, {-1, -1, 1}, {1024, 768, 1}, {-2, 5, 0}, {500, 769, 0}, {5, 5, 9}};
    for (const auto& c : cases) {
        FillPixels(g_BackBuffer, [](int, int) { return 0u; });
        PlotMarker(c.x, c.y, kMarker);
        EXPECT_EQ(MarkerPoints(), c.points) << c.x << "," << c.y;
    }
    FillPixels(g_BackBuffer, [](int, int) { return 0u; });
    PlotMarker(0, 0, kMarker);
    for (const auto& p : {std::make_pair(0, 0), std::make_pair(1, 0), std::make_pair(0, 1), std::make_pair(1, 1)})
        EXPECT_EQ(PixelAt(g_BackBuffer, p.first, p.second), kMarker);
}

TEST_F(MiniMap, AHugeBoxFillsToTheScreensEdgeAndStops) {
    g_MiniMapPos = POINT{81, 61};
    DrawMiniMapMarkers(At(0, 0, 0), At(0, 0, 0, 1e30f, 1e30f));
    RECT bounds;
    EXPECT_EQ(MarkerPoints(&bounds), (1024 - 200) * (768 - 137));
    EXPECT_EQ(bounds.right, 1024);
    EXPECT_EQ(bounds.bottom, 768);
}

TEST_F(MiniMap, ABackBufferSmallerThanTheScreenIsNotWritten) {
    g_ScreenWidth = 2048;  // PutPixel keeps to the screen, not to the surface
    PlotMarker(1500, 10, kMarker);
    EXPECT_EQ(MarkerPoints(), 0);
}

}  // namespace
