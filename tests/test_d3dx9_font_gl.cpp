// The font drawn for real: the OpenGL device in a headless context, read back
// through the back buffer as the program would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3dx9/d3dx9.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/device_fixtures.h"

using namespace platform_testing;

namespace {

struct Pixels {
    UINT width = 0, height = 0;
    std::vector<DWORD> argb;
    DWORD At(LONG x, LONG y) const { return argb[static_cast<size_t>(y) * width + static_cast<size_t>(x)]; }
    static int R(DWORD c) { return (c >> 16) & 0xFF; }
    static int G(DWORD c) { return (c >> 8) & 0xFF; }
    static int B(DWORD c) { return c & 0xFF; }
    static int Brightest(DWORD c) { return std::max({R(c), G(c), B(c)}); }
    // Pixels inside `r` that are not black, and their bounding box.
    int Lit(const RECT& r, RECT* box = nullptr) const {
        int n = 0;
        RECT b = {LONG(width), LONG(height), 0, 0};
        for (LONG y = std::max(0, r.top); y < std::min(LONG(height), r.bottom); ++y)
            for (LONG x = std::max(0, r.left); x < std::min(LONG(width), r.right); ++x)
                if (Brightest(At(x, y)) > 0) {
                    ++n;
                    b = RECT{std::min(b.left, x), std::min(b.top, y), std::max(b.right, x + 1),
                             std::max(b.bottom, y + 1)};
                }
        if (box) *box = b;
        return n;
    }
};

class FontGl : public ::testing::Test {
protected:
    void SetUp() override {
        ResetD3D9();
        ResetD3DXFont();
        UseHeadlessD3D9();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        ASSERT_EQ(device_fixtures::CreateWindowedDevice(d3d, 1024, 768, &dev), D3D_OK);
        ASSERT_TRUE(LastD3D9Device().headless);
        ASSERT_EQ(D3DXCreateFontA(dev, -19, 0, FW_BOLD, 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  ANTIALIASED_QUALITY, 0, "Viner Hand ITC", &font),
                  D3D_OK);
        RecordD3DXTexts();
    }
    void TearDown() override {
        if (font) font->Release();
        if (dev) dev->Release();
        if (d3d) d3d->Release();
        EXPECT_EQ(layer::LiveObjectsTotal(), 0);
        ResetD3DXFont();
        ResetD3D9();
    }

    // Draws one text in a black frame; the ink box the font reports.
    RECT DrawOne(const char* text, LONG x, LONG y, D3DCOLOR color) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        dev->BeginScene();
        RECT r;
        SetRect(&r, x, y, 0, 0);
        ClearD3DXTexts();
        EXPECT_GT(font->DrawTextA(nullptr, text, -1, &r, DT_NOCLIP, color), 0);
        dev->EndScene();
        return D3DXTextsDrawn().back().ink;
    }

    Pixels Read() {
        Pixels p;
        IDirect3DSurface9* back = nullptr;
        EXPECT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        if (!back) return p;
        D3DSURFACE_DESC desc;
        back->GetDesc(&desc);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(back->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        p.width = desc.Width;
        p.height = desc.Height;
        p.argb.resize(static_cast<size_t>(p.width) * p.height);
        for (UINT y = 0; y < p.height; ++y)
            std::memcpy(&p.argb[static_cast<size_t>(y) * p.width],
                        static_cast<const uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch,
                        p.width * 4);
        back->UnlockRect();
        back->Release();
        return p;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    ID3DXFont* font = nullptr;
};

TEST_F(FontGl, TheTextLightsExactlyThePixelsItCovers) {
    const RECT ink = DrawOne("Frame Rate:", 81, 30, 0xFFFFFFFF);
    const Pixels p = Read();
    RECT lit;
    const int n = p.Lit(RECT{0, 0, 1024, 768}, &lit);
    EXPECT_GT(n, 300) << "a text of eleven characters";
    // Every lit pixel lies where the glyphs were put, and they reach its edges:
    // one texel per pixel, nothing shifted by half a pixel.
    EXPECT_EQ(lit.left, ink.left);
    EXPECT_EQ(lit.top, ink.top);
    EXPECT_EQ(lit.right, ink.right);
    EXPECT_EQ(lit.bottom, ink.bottom);
    EXPECT_GE(ink.left, 81);
    EXPECT_GT(ink.top, 30);
    // Stems are fully covered: white at full strength somewhere.
    int brightest = 0;
    for (LONG y = ink.top; y < ink.bottom; ++y)
        for (LONG x = ink.left; x < ink.right; ++x) brightest = std::max(brightest, Pixels::Brightest(p.At(x, y)));
    EXPECT_EQ(brightest, 255);
}

TEST_F(FontGl, TheColourModulatesTheCoverage) {
    struct {
        const char* what;
        D3DCOLOR color;
        int r, g, b;  // of the brightest pixel
    } const cases[] = {
        {"red", 0xFFFF0000, 255, 0, 0},
        {"green half alpha", 0x8000FF00, 0, 128, 0},
        {"grey", 0xFF808080, 128, 128, 128},
    };
    for (const auto& c : cases) {
        const RECT ink = DrawOne("ESC to exit", 819, 30, c.color);
        const Pixels p = Read();
        int r = 0, g = 0, b = 0;
        for (LONG y = ink.top; y < ink.bottom; ++y)
            for (LONG x = ink.left; x < ink.right; ++x) {
                DWORD px = p.At(x, y);
                if (Pixels::Brightest(px) > std::max({r, g, b})) {
                    r = Pixels::R(px);
                    g = Pixels::G(px);
                    b = Pixels::B(px);
                }
            }
        EXPECT_NEAR(r, c.r, 2) << c.what;
        EXPECT_NEAR(g, c.g, 2) << c.what;
        EXPECT_NEAR(b, c.b, 2) << c.what;
    }
    // Alpha 0: nothing shows.
    DrawOne("ESC to exit", 819, 30, 0x00FFFFFF);
    EXPECT_EQ(Read().Lit(RECT{0, 0, 1024, 768}), 0);
}

TEST_F(FontGl, BlendsOverWhatIsDrawnWhateverTheProgramLeftSet) {
    // A half-transparent text over a grey background blends with it.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF404040, 1.0f, 0);
    // Program state that would hide or spoil the text if the font kept it.
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_NEVER);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    dev->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF0000FF);
    dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);

    dev->BeginScene();
    RECT r;
    SetRect(&r, 81, 30, 0, 0);
    ClearD3DXTexts();
    font->DrawTextA(nullptr, "Frame Rate:", -1, &r, DT_NOCLIP, 0x80FFFFFF);
    dev->EndScene();
    const RECT ink = D3DXTextsDrawn().back().ink;
    const Pixels p = Read();

    int brightest = 0, lit = 0;
    for (LONG y = ink.top; y < ink.bottom; ++y)
        for (LONG x = ink.left; x < ink.right; ++x) {
            const DWORD px = p.At(x, y);
            EXPECT_EQ(Pixels::R(px), Pixels::B(px)) << "white text, not the texture factor";
            brightest = std::max(brightest, Pixels::R(px));
            if (Pixels::R(px) > 0x40) ++lit;
        }
    // Full coverage at half alpha: 0x40 + (0xFF - 0x40) / 2.
    EXPECT_NEAR(brightest, 0x9F, 2);
    EXPECT_GT(lit, 300);
    // Around the text the background is untouched.
    EXPECT_EQ(p.At(ink.left - 2, ink.top - 2) & 0xFFFFFF, 0x404040u);
    EXPECT_EQ(p.At(500, 400) & 0xFFFFFF, 0x404040u);
}

TEST_F(FontGl, GeometryDrawnAfterATextDoesNotCoverIt) {
    // The program draws its texts before the scene: the glyphs take the nearest
    // depth, so a quad drawn afterwards over the whole text leaves them visible.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->BeginScene();
    RECT r;
    SetRect(&r, 81, 30, 0, 0);
    ClearD3DXTexts();
    font->DrawTextA(nullptr, "Frame Rate:", -1, &r, DT_NOCLIP, 0xFFFFFFFF);
    const RECT ink = D3DXTextsDrawn().back().ink;

    struct Vertex {
        float x, y, z, rhw;
        DWORD color;
    };
    const DWORD blue = 0xFF0000FF;
    const Vertex quad[4] = {{0.0f, 0.0f, 0.5f, 1.0f, blue},
                            {400.0f, 0.0f, 0.5f, 1.0f, blue},
                            {0.0f, 100.0f, 0.5f, 1.0f, blue},
                            {400.0f, 100.0f, 0.5f, 1.0f, blue}};
    dev->SetTexture(0, nullptr);
    dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    dev->EndScene();
    const Pixels p = Read();

    int white = 0;
    for (LONG y = ink.top; y < ink.bottom; ++y)
        for (LONG x = ink.left; x < ink.right; ++x)
            if ((p.At(x, y) & 0xFFFFFF) == 0xFFFFFF) ++white;
    EXPECT_GT(white, 100) << "the glyphs' stems stay white";
    EXPECT_EQ(p.At(ink.left - 2, ink.top - 2) & 0xFFFFFF, 0x0000FFu) << "around them the quad covers";
    EXPECT_EQ(p.At(300, 90) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(FontGl, TheProgramsFourTextsAndTheMessageLandAtTheirPlacesApart) {
    struct {
        LONG x, y;
        const char* text;
    } const texts[] = {{81, 30, "Frame Rate:"},   {204, 30, "9999"},         {819, 30, "ESC to exit"},
                       {819, 691, "TNX to MERVO"}, {30, 60, "COLLISIONE!!!"}};
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->BeginScene();
    std::vector<RECT> inks;
    for (const auto& t : texts) {
        RECT r;
        SetRect(&r, t.x, t.y, 0, 0);
        ClearD3DXTexts();
        font->DrawTextA(nullptr, t.text, -1, &r, DT_NOCLIP, 0xFFFFFFFF);
        inks.push_back(D3DXTextsDrawn().back().ink);
    }
    dev->EndScene();
    dev->Present(nullptr, nullptr, nullptr, nullptr);
    const Pixels p = Read();
    for (size_t i = 0; i < inks.size(); ++i) {
        EXPECT_GT(p.Lit(inks[i]), 40) << texts[i].text;
        EXPECT_LE(inks[i].left - texts[i].x, 3) << texts[i].text;
        EXPECT_LE(inks[i].top - texts[i].y, 8) << texts[i].text;
    }
    // No two overlap, and all stay on the screen.
    for (size_t i = 0; i < inks.size(); ++i) {
        EXPECT_LE(inks[i].right, 1024) << texts[i].text;
        EXPECT_LE(inks[i].bottom, 768) << texts[i].text;
        for (size_t k = i + 1; k < inks.size(); ++k) {
            const bool apart = inks[i].right <= inks[k].left || inks[k].right <= inks[i].left ||
                               inks[i].bottom <= inks[k].top || inks[k].bottom <= inks[i].top;
            EXPECT_TRUE(apart) << texts[i].text << " and " << texts[k].text;
        }
    }
    // Nothing lit away from the texts.
    for (LONG y = 0; y < 768; ++y)
        for (LONG x = 0; x < 1024; ++x) {
            if (Pixels::Brightest(p.At(x, y)) == 0) continue;
            bool inText = false;
            for (const RECT& r : inks) inText = inText || (x >= r.left && x < r.right && y >= r.top && y < r.bottom);
            ASSERT_TRUE(inText) << "lit at " << x << "," << y;
        }
}

// "Frame Rate:" at x 81 and the figure at x 204 stay apart: for every figure
// up to 9999, the label's pixels are what it draws alone, and at least one
// column of background lies between its last ink and the figure's first.
// Many rows of the pair go into one frame; only the height differs.
TEST_F(FontGl, TheFrameRateLabelAndItsFigureNeverTouch) {
    const LONG cell = D3DXFontsCreated().back().lineHeight;
    ASSERT_GT(cell, 0);
    const LONG pitch = cell + 8;
    auto draw = [&](LONG x, LONG y, const char* text) {
        RECT r;
        SetRect(&r, x, y, 0, 0);
        font->DrawTextA(nullptr, text, -1, &r, DT_NOCLIP, 0xFFFFFFFF);
    };

    // The label alone: its pixels and its last lit column.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->BeginScene();
    draw(81, 30, "Frame Rate:");
    dev->EndScene();
    const Pixels alone = Read();
    LONG labelRight = -1;
    for (LONG y = 30; y < 30 + cell; ++y)
        for (LONG x = 0; x < 204 + 60; ++x)
            if (Pixels::Brightest(alone.At(x, y)) > 0) labelRight = std::max(labelRight, x);
    ASSERT_GT(labelRight, 81 + 40) << "the label drew";
    ASSERT_LT(labelRight, 204) << "the label alone reaches the figure's place";

    const LONG rows = (768 - 8) / pitch;
    int figure = 0;
    std::vector<int> touching;
    while (figure <= 9999) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        dev->BeginScene();
        std::vector<int> drawn;
        for (LONG k = 0; k < rows && figure <= 9999; ++k, ++figure) {
            const std::string text = std::to_string(figure);
            draw(81, 8 + k * pitch, "Frame Rate:");
            draw(204, 8 + k * pitch, text.c_str());
            drawn.push_back(figure);
        }
        dev->EndScene();
        const Pixels p = Read();
        for (size_t k = 0; k < drawn.size(); ++k) {
            const LONG top = 8 + LONG(k) * pitch;
            bool apart = true;
            LONG figureLeft = 1024;
            for (LONG dy = 0; dy < cell && apart; ++dy)
                for (LONG x = 0; x < 204 + 60; ++x) {
                    const DWORD got = p.At(x, top + dy);
                    if (x <= labelRight) {
                        if ((got & 0xFFFFFF) != (alone.At(x, 30 + dy) & 0xFFFFFF)) apart = false;
                    } else if (Pixels::Brightest(got) > 0) {
                        figureLeft = std::min(figureLeft, x);
                    }
                }
            if (!apart || figureLeft <= labelRight + 1 || figureLeft == 1024) touching.push_back(drawn[k]);
        }
    }
    EXPECT_TRUE(touching.empty()) << touching.size() << " figures touch the label, the first "
                                  << (touching.empty() ? 0 : touching.front());
}

}  // namespace
