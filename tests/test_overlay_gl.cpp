// The overlays on the OpenGL back end: a frame is drawn, the console, the
// minimap and a marker are put onto the back buffer by the CPU, the frame is
// presented, and what OpenGL then holds is read back.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/Globals.h"
#include "overlay/Alphabet.h"
#include "overlay/Console.h"
#include "overlay/MiniMap.h"
#include "platform/testing.h"
#include "tests/support/overlay_fixtures.h"

using namespace overlay_fixtures;

namespace {

struct RhwVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE
    float x, y, z, rhw;
    DWORD color;
};

// A pretransformed rectangle over pixels [x0, x1) x [y0, y1).
void DrawRect(float x0, float y0, float x1, float y1, DWORD color) {
    const RhwVertex v[4] = {{x0 - 0.5f, y0 - 0.5f, 0.5f, 1, color},
                            {x1 - 0.5f, y0 - 0.5f, 0.5f, 1, color},
                            {x0 - 0.5f, y1 - 0.5f, 0.5f, 1, color},
                            {x1 - 0.5f, y1 - 0.5f, 0.5f, 1, color}};
    g_Device->BeginScene();
    g_Device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    g_Device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwVertex));
    g_Device->EndScene();
}

DWORD Rgb(DWORD p) { return p & 0x00FFFFFF; }

class OverlaysOnOpenGl : public OverlayTest {
protected:
    bool DrawsWithOpenGl() const override { return true; }
    void SetUp() override {
        OverlayTest::SetUp();
        // The program's own pictures, as the data tool made them for the run tree.
        for (const char* name : {"Immagini/MiniMap.bmp", "Immagini/ConsoleBackground.bmp",
                                 "Alfabeto/Expo_16x32_MERVO.bmp"}) {
            std::ifstream in(oldCwd_ + "/../" + name, std::ios::binary);
            ASSERT_TRUE(in) << name;
            WriteFile(name, std::string(std::istreambuf_iterator<char>(in), {}));
        }
    }
};

TEST_F(OverlaysOnOpenGl, ConsoleMiniMapAndMarkerReachThePresentedFrame) {
    g_Device->SetRenderState(D3DRS_LIGHTING, FALSE);
    g_Device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF402010, 1.0f, 0);
    DrawRect(600, 500, 700, 600, 0xFFFFFFFF);

    // The console slides down over the top half, then a line is typed.
    ASSERT_EQ(LoadAlphabet(g_AlphabetFile, 16, 32), 0);
    Console console;
    ASSERT_EQ(console.Init(g_Device, g_BackBuffer), 0);
    console.OnKey(122);
    for (int i = 0; i < 38; ++i) console.Render();
    for (char c : std::string("Hello")) console.OnChar(c);
    console.Render();
    ASSERT_EQ(SlideOffset, 0);

    // The minimap over it, with the marker of the character at the level's centre.
    ASSERT_EQ(LoadMiniMap(), 0);
    ASSERT_EQ(DrawMiniMap(), 0);
    SceneFrame character, level;
    character.SetPosition(0, 0, 0);
    level.SetPosition(0, 1.4f, 0);
    level.BoxExtents = D3DXVECTOR3(15, 4, 15);
    DrawMiniMapMarkers(character, level);

    const platform_testing::D3D9BackBufferTransfers before = platform_testing::BackBufferTransfers();
    ASSERT_EQ(g_Device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(platform_testing::BackBufferTransfers().uploads, before.uploads + 1) << "the writes, once";
    // Drawn after presenting: the next lock reads what OpenGL holds.
    DrawRect(1020, 760, 1022, 762, 0xFF00FF00);
    UINT width = 0;
    const std::vector<DWORD> frame = ReadPixels(g_BackBuffer, &width);
    EXPECT_EQ(platform_testing::BackBufferTransfers().readBacks, before.readBacks + 1);
    auto at = [&](int x, int y) { return Rgb(frame[size_t(y) * width + size_t(x)]); };

    // The top half is the console but where the minimap lies on it.
    UINT consoleWidth = 0;
    const std::vector<DWORD> shown = ReadPixels(console.pConsoleSurface, &consoleWidth);
    const std::vector<DWORD> map = ReadPixels(g_MiniMapSurface);
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 1024; ++x) {
            const bool onMap = x >= 81 && x < 81 + 256 && y >= 61 && y < 61 + 159;
            const bool onMarker = x >= 200 && x <= 202 && y >= 137 && y <= 139;
            DWORD want = Rgb(shown[size_t(y) * consoleWidth + size_t(x)]);
            if (onMap) want = Rgb(map[size_t(y - 61) * 256 + size_t(x - 81)]);
            if (onMarker) want = 0x0099C0C6;
            ASSERT_EQ(at(x, y), want) << x << "," << y;
        }
    // The typed line: glyph cells of the sheet at (10, 347), 16 apart, background and all.
    const std::string hello = "Hello";
    for (size_t i = 0; i < hello.size(); ++i) {
        const int cell = hello[i] - 32, cx = (cell % 32) * 16, cy = (cell / 32) * 32;
        for (int r = 0; r < 32; ++r)
            for (int c = 0; c < 16; ++c)
                ASSERT_EQ(at(10 + 16 * int(i) + c, 347 + r), Rgb(PixelAt(g_AlphabetSurface, cx + c, cy + r)))
                    << hello[i] << " " << c << "," << r;
    }
    // The frame drawn before stays below it.
    EXPECT_EQ(at(650, 550), 0x00FFFFFFu);
    EXPECT_EQ(at(300, 700), 0x00402010u);
    EXPECT_EQ(at(1020, 760), 0x0000FF00u);
    console.Release();
}

}  // namespace
