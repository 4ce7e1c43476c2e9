// The OpenGL back end, drawing for real in a headless context: every check reads
// the back buffer through GetBackBuffer and LockRect, as the program would.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/device_fixtures.h"

using namespace platform_testing;

namespace {

struct RhwVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z, rhw;
    DWORD color;
    float u, v;
};
constexpr DWORD kRhwFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct ColorVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE
    float x, y, z;
    DWORD color;
};
constexpr DWORD kColorFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

class D3D9Gl : public ::testing::Test {
protected:
    void SetUp() override {
        ResetD3D9();
        UseHeadlessD3D9();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        ASSERT_EQ(device_fixtures::CreateWindowedDevice(d3d, 64, 48, &dev), D3D_OK) << "no OpenGL context";
        ASSERT_TRUE(LastD3D9Device().headless);
        ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        // Flat 2D drawing unless a test says otherwise.
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    }
    void TearDown() override {
        if (back) back->Release();
        if (dev) dev->Release();
        if (d3d) d3d->Release();
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 0);
        ResetD3D9();
    }

    // The back buffer as the program sees it: top row first, B,G,R,A bytes.
    std::vector<DWORD> Pixels() {
        D3DLOCKED_RECT lr;
        EXPECT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::vector<DWORD> out(64 * 48);
        for (int y = 0; y < 48; ++y) std::memcpy(&out[y * 64], static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, 256);
        back->UnlockRect();
        return out;
    }
    DWORD Pixel(int x, int y) { return Pixels()[y * 64 + x]; }

    // A pretransformed rectangle covering pixels [x0, x1) x [y0, y1), clockwise.
    void Rect(float x0, float y0, float x1, float y1, DWORD color, float z = 0.5f, bool clockwise = true,
              float rhw = 1.0f) {
        RhwVertex v[4] = {{x0 - 0.5f, y0 - 0.5f, z, rhw, color, 0, 0},
                          {x1 - 0.5f, y0 - 0.5f, z, rhw, color, 1, 0},
                          {x0 - 0.5f, y1 - 0.5f, z, rhw, color, 0, 1},
                          {x1 - 0.5f, y1 - 0.5f, z, rhw, color, 1, 1}};
        if (!clockwise) std::swap(v[1], v[2]);
        dev->SetFVF(kRhwFvf);
        ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwVertex)), D3D_OK);
    }

    // Transformed vertices over the whole of clip space, with depth zLeft at
    // the left edge and zRight at the right edge (before the transforms).
    void Quad(float zLeft, DWORD color, float zRight) {
        const ColorVertex v[4] = {{-1, 1, zLeft, color}, {1, 1, zRight, color}, {-1, -1, zLeft, color},
                                  {1, -1, zRight, color}};
        dev->SetFVF(kColorFvf);
        ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ColorVertex)), D3D_OK);
    }
    void Quad(float z, DWORD color) { Quad(z, color, z); }

    IDirect3DTexture9* Texture(UINT w, UINT h, D3DFORMAT format, const std::vector<DWORD>& texels) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(dev->CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT lr;
        t->LockRect(0, &lr, nullptr, 0);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x) {
                uint8_t* row = static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch;
                if (format == D3DFMT_A8)
                    row[x] = static_cast<uint8_t>(texels[y * w + x]);
                else
                    std::memcpy(row + x * 4, &texels[y * w + x], 4);
            }
        t->UnlockRect(0);
        return t;
    }

    // A texture whose first texel holds `bytes` (little-endian, as the format lays them out).
    IDirect3DTexture9* OneTexel(D3DFORMAT format, DWORD bytes) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(dev->CreateTexture(1, 1, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DSURFACE_DESC desc;
        t->GetLevelDesc(0, &desc);
        D3DLOCKED_RECT lr;
        t->LockRect(0, &lr, nullptr, 0);
        const size_t size = format == D3DFMT_A8 || format == D3DFMT_L8 ? 1
                            : format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 ? 4
                                                                                      : 2;
        std::memcpy(lr.pBits, &bytes, size);
        t->UnlockRect(0);
        return t;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    IDirect3DSurface9* back = nullptr;
};

// Close enough for blending arithmetic done in 8 bits.
::testing::AssertionResult Near(DWORD actual, DWORD expected, int tolerance = 2) {
    for (int shift = 0; shift < 32; shift += 8) {
        int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
        if (a - e > tolerance || e - a > tolerance) {
            char text[64];
            std::snprintf(text, sizeof text, "0x%08x is not near 0x%08x", actual, expected);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST_F(D3D9Gl, ClearsTheWholeTargetAndRectangles) {
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00102030, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Pixel(0, 0), 0xFF102030u) << "no alpha in X8R8G8B8: reads as opaque";
    EXPECT_EQ(Pixel(63, 47), 0xFF102030u);

    const D3DRECT rects[2] = {{10, 20, 30, 40}, {60, 0, 100, 2}};  // the second runs off the edge
    ASSERT_EQ(dev->Clear(2, rects, D3DCLEAR_TARGET, 0xFF00FF00, 0.0f, 0), D3D_OK);
    const std::vector<DWORD> p = Pixels();
    auto at = [&](int x, int y) { return p[y * 64 + x]; };
    EXPECT_EQ(at(10, 20), 0xFF00FF00u);
    EXPECT_EQ(at(29, 39), 0xFF00FF00u);
    EXPECT_EQ(at(9, 20), 0xFF102030u);
    EXPECT_EQ(at(30, 20), 0xFF102030u);
    EXPECT_EQ(at(10, 19), 0xFF102030u);
    EXPECT_EQ(at(10, 40), 0xFF102030u);
    EXPECT_EQ(at(63, 1), 0xFF00FF00u);
    EXPECT_EQ(at(63, 2), 0xFF102030u);
}

TEST_F(D3D9Gl, ARectangleClearLeavesDepthAlone) {
    // Depth 0.2 everywhere but a rectangle cleared only in colour: a triangle at
    // depth 0.5 must stay hidden there too.
    dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.2f, 0);
    const D3DRECT r = {0, 0, 32, 48};
    dev->Clear(1, &r, D3DCLEAR_TARGET, 0xFF000080, 0.0f, 0);
    Rect(0, 0, 64, 48, 0xFFFF0000, 0.5f);
    EXPECT_EQ(Pixel(5, 5), 0xFF000080u);
    EXPECT_EQ(Pixel(40, 5), 0xFF000000u);
}

TEST_F(D3D9Gl, PretransformedQuadCoversExactlyItsPixels) {
    Rect(10, 5, 13, 7, 0xFFFFFFFF);
    const std::vector<DWORD> p = Pixels();
    for (int y = 3; y < 10; ++y)
        for (int x = 8; x < 16; ++x) {
            const bool inside = x >= 10 && x < 13 && y >= 5 && y < 7;
            EXPECT_EQ(p[y * 64 + x], inside ? 0xFFFFFFFFu : 0xFF000000u) << x << "," << y;
        }
}

TEST_F(D3D9Gl, CullModesFollowTheWindingOnScreen) {
    struct Case {
        DWORD cull;
        bool clockwise;
        bool drawn;
    } const cases[] = {
        {D3DCULL_CCW, true, true},   {D3DCULL_CCW, false, false}, {D3DCULL_CW, true, false},
        {D3DCULL_CW, false, true},   {D3DCULL_NONE, false, true},
    };
    for (const Case& c : cases) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        dev->SetRenderState(D3DRS_CULLMODE, c.cull);
        Rect(0, 0, 8, 8, 0xFFFFFFFF, 0.5f, c.clockwise);
        EXPECT_EQ(Pixel(4, 4), c.drawn ? 0xFFFFFFFFu : 0xFF000000u)
            << "cull " << c.cull << (c.clockwise ? " clockwise" : " counter-clockwise");
    }
}

// Transformed vertices: row-vector matrices, y up in clip space, depth 0..1.
TEST_F(D3D9Gl, TransformsPlaceGeometryAsDirect3DDoes) {
    // World moves the quad right by half the screen; view and projection identity.
    const ColorVertex quad[4] = {{-1, 1, 0.5f, 0xFFFF0000}, {0, 1, 0.5f, 0xFFFF0000}, {-1, 0, 0.5f, 0xFFFF0000},
                                 {0, 0, 0.5f, 0xFFFF0000}};
    D3DMATRIX world = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1}}};
    dev->SetTransform(D3DTS_WORLD, &world);
    dev->SetFVF(kColorFvf);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ColorVertex)), D3D_OK);
    const std::vector<DWORD> p = Pixels();
    EXPECT_EQ(p[5 * 64 + 40], 0xFFFF0000u) << "top right quarter";
    EXPECT_EQ(p[5 * 64 + 20], 0xFF000000u) << "not the top left";
    EXPECT_EQ(p[40 * 64 + 40], 0xFF000000u) << "not the bottom right";
    EXPECT_EQ(p[23 * 64 + 32], 0xFFFF0000u) << "the pixel on the centre lines";
    EXPECT_EQ(p[24 * 64 + 32], 0xFF000000u);
}

TEST_F(D3D9Gl, WorldViewAndProjectionApplyInThatOrder) {
    // A point quad at the origin: world moves it by 1, view halves, projection
    // moves it by -0.25. In order: (0 + 1) * 0.5 - 0.25 = 0.25 in clip space,
    // pixel 40 of 64; any other order lands elsewhere.
    const D3DMATRIX world = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1}}};
    const D3DMATRIX view = {{{0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    const D3DMATRIX projection = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -0.25f, 0, 0, 1}}};
    dev->SetTransform(D3DTS_WORLD, &world);
    dev->SetTransform(D3DTS_VIEW, &view);
    dev->SetTransform(D3DTS_PROJECTION, &projection);
    const float h = 0.01f;
    const ColorVertex quad[4] = {{-h, h, 0.5f, 0xFFFFFFFF}, {h, h, 0.5f, 0xFFFFFFFF}, {-h, -h, 0.5f, 0xFFFFFFFF},
                                 {h, -h, 0.5f, 0xFFFFFFFF}};
    dev->SetFVF(kColorFvf);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ColorVertex)), D3D_OK);
    const std::vector<DWORD> p = Pixels();
    int lit = -1;
    for (int x = 0; x < 64; ++x)
        if (p[24 * 64 + x] == 0xFFFFFFFF) lit = x;
    EXPECT_EQ(lit, 40);
}

TEST_F(D3D9Gl, TextureStageOperationsAndArguments) {
    IDirect3DTexture9* tex = Texture(1, 1, D3DFMT_A8R8G8B8, {0xFF402010});
    dev->SetTexture(0, tex);
    dev->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF00FF00);
    struct Case {
        const char* what;
        DWORD op, arg1, arg2;
        D3DCOLOR expected;  // with the diffuse colour 0xFF204080
    } const cases[] = {
        {"add", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xFF606090},
        {"subtract", D3DTOP_SUBTRACT, D3DTA_DIFFUSE, D3DTA_TEXTURE, 0xFF002070},
        {"modulate 2x", D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xFF101010},
        {"texture factor", D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, 0xFF00FF00},
        {"complement", D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, 0xFFBFDFEF},
        {"current is diffuse at the first stage", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT, 0xFF204080},
        {"disabled: diffuse", D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_TEXTURE, 0xFF204080},
    };
    for (const Case& c : cases) {
        dev->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
        dev->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg1);
        dev->SetTextureStageState(0, D3DTSS_COLORARG2, c.arg2);
        Rect(0, 0, 4, 4, 0xFF204080);
        EXPECT_TRUE(Near(Pixel(1, 1), c.expected)) << c.what;
    }
    tex->Release();
}

TEST_F(D3D9Gl, DepthTestAndWrite) {
    auto quad = [&](float z, DWORD color) { Quad(z, color); };
    quad(0.25f, 0xFFFF0000);
    quad(0.75f, 0xFF0000FF);
    EXPECT_EQ(Pixel(30, 30), 0xFFFF0000u) << "the far quad is hidden";

    dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    quad(0.75f, 0xFF0000FF);
    EXPECT_EQ(Pixel(30, 30), 0xFF0000FFu);

    // Without depth writes the near quad does not keep the far one out.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    quad(0.25f, 0xFFFF0000);
    dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    quad(0.75f, 0xFF0000FF);
    EXPECT_EQ(Pixel(30, 30), 0xFF0000FFu);

    // Depth off altogether: the last one drawn shows.
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    quad(0.9f, 0xFF00FF00);
    EXPECT_EQ(Pixel(30, 30), 0xFF00FF00u);
}

// Depth as Direct3D keeps it, 0 near to 1 far, compared with the cleared
// value as it stands: a cleared 0.5 lets in what lies at 0.4 and keeps out
// what lies at 0.6, however the vertices arrive. Any mapping that keeps the
// order of depths but not their values fails here, where comparing two
// drawn quads would not see it.
TEST_F(D3D9Gl, DepthIsComparedWithTheClearedValueAsItStands) {
    // w = 2 after the projection, and z twice over: the same depth, reached
    // through the divide.
    const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    const D3DMATRIX wTwo = {{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2}}};
    struct Case {
        const char* what;
        bool pretransformed;
        float w;
    } const cases[] = {
        {"transformed, w = 1", false, 1}, {"transformed, w = 2", false, 2},
        {"pretransformed, rhw = 1", true, 1}, {"pretransformed, rhw = 0.5", true, 2},
    };
    for (const Case& c : cases) {
        dev->SetTransform(D3DTS_PROJECTION, c.w == 1 ? &identity : &wTwo);
        auto draw = [&](float z, DWORD color) {
            if (c.pretransformed)
                Rect(0, 0, 64, 48, color, z, true, 1.0f / c.w);
            else
                Quad(z, color);
        };
        for (float z : {0.6f, 0.4f}) {
            dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 0.5f, 0);
            draw(z, 0xFFFF0000);
            EXPECT_EQ(Pixel(30, 30), z < 0.5f ? 0xFFFF0000u : 0xFF000000u) << c.what << ", depth " << z;
        }
        // What passed wrote its own depth, 0.4: a quad at 0.45 stays behind it.
        draw(0.45f, 0xFF00FF00);
        EXPECT_EQ(Pixel(30, 30), 0xFFFF0000u) << c.what << ": 0.45 behind 0.4";
    }
}

// Transformed geometry is clipped where its depth leaves 0..1 (0 <= z <= w):
// a quad whose depth runs from -0.5 at the left edge to 1.5 at the right shows
// only in the middle half, from pixel 16 to pixel 47. The depth test is off,
// so nothing but the clipping hides it.
TEST_F(D3D9Gl, GeometryBeforeTheNearOrBeyondTheFarPlaneIsClipped) {
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    const D3DMATRIX wTwo = {{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2}}};
    for (const D3DMATRIX* projection : {&identity, &wTwo}) {
        dev->SetTransform(D3DTS_PROJECTION, projection);
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        Quad(-0.5f, 0xFFFF0000, 1.5f);
        const std::vector<DWORD> p = Pixels();
        const char* w = projection == &identity ? "w = 1" : "w = 2";
        EXPECT_EQ(p[24 * 64 + 12], 0xFF000000u) << w << ": before the near plane";
        EXPECT_EQ(p[24 * 64 + 20], 0xFFFF0000u) << w;
        EXPECT_EQ(p[24 * 64 + 44], 0xFFFF0000u) << w;
        EXPECT_EQ(p[24 * 64 + 52], 0xFF000000u) << w << ": beyond the far plane";
    }
}

// The viewport's MinZ and MaxZ map the depth of transformed geometry into
// MinZ + z (MaxZ - MinZ); the cleared depth is not mapped.
TEST_F(D3D9Gl, ViewportMinZAndMaxZMapTheDepthOfTransformedGeometry) {
    struct Case {
        float minZ, maxZ, cleared, z;
        bool shown;
    } const cases[] = {
        {0.5f, 1.0f, 0.55f, 0.0f, true},   // at 0.5
        {0.5f, 1.0f, 0.55f, 0.2f, false},  // at 0.6
        {0.0f, 0.5f, 0.45f, 0.8f, true},   // at 0.4
        {0.0f, 0.5f, 0.45f, 0.96f, false}, // at 0.48
        {0.0f, 0.0f, 0.05f, 0.9f, true},   // all in front
        {1.0f, 1.0f, 0.95f, 0.1f, false},  // all at the back
    };
    for (const Case& c : cases) {
        const D3DVIEWPORT9 vp = {0, 0, 64, 48, c.minZ, c.maxZ};
        ASSERT_EQ(dev->SetViewport(&vp), D3D_OK);
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, c.cleared, 0);
        Quad(c.z, 0xFFFF0000);
        EXPECT_EQ(Pixel(30, 30), c.shown ? 0xFFFF0000u : 0xFF000000u)
            << "viewport depth " << c.minZ << ".." << c.maxZ << ", z " << c.z << ", cleared " << c.cleared;
    }
}

TEST_F(D3D9Gl, TexturedQuadModulatesWithTheDiffuseColour) {
    // 2x2 texels drawn onto 2x2 pixels: each pixel centre samples one texel centre.
    IDirect3DTexture9* tex = Texture(2, 2, D3DFMT_A8R8G8B8, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    dev->SetTexture(0, tex);
    Rect(4, 4, 6, 6, 0xFF808080);
    const std::vector<DWORD> p = Pixels();
    EXPECT_TRUE(Near(p[4 * 64 + 4], 0xFF800000));
    EXPECT_TRUE(Near(p[4 * 64 + 5], 0xFF008000));
    EXPECT_TRUE(Near(p[5 * 64 + 4], 0xFF000080));
    EXPECT_TRUE(Near(p[5 * 64 + 5], 0xFF808080));

    // Changing the texture after it was drawn: the next draw uploads it again.
    D3DLOCKED_RECT lr;
    tex->LockRect(0, &lr, nullptr, 0);
    static_cast<DWORD*>(lr.pBits)[0] = 0xFFFFFF00;
    tex->UnlockRect(0);
    Rect(4, 4, 6, 6, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(4, 4), 0xFFFFFF00u);

    // SELECTARG2 ignores the texture; no texture bound reads as white.
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    Rect(8, 4, 10, 6, 0xFF336699);
    EXPECT_EQ(Pixel(8, 4), 0xFF336699u);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    dev->SetTexture(0, nullptr);
    Rect(12, 4, 14, 6, 0xFF336699);
    EXPECT_EQ(Pixel(12, 4), 0xFF336699u);
    tex->Release();
}

TEST_F(D3D9Gl, TextureFormatsReadAsThePlatformsDo) {
    // X8R8G8B8 has alpha one whatever the byte holds; A8 reads as (0,0,0,a).
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);

    IDirect3DTexture9* x8 = Texture(1, 1, D3DFMT_X8R8G8B8, {0x00FF0000});
    dev->SetTexture(0, x8);
    Rect(0, 0, 4, 4, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(1, 1), 0xFFFF0000u);

    IDirect3DTexture9* a8 = Texture(1, 1, D3DFMT_A8, {0x80});
    dev->SetTexture(0, a8);
    Rect(8, 0, 12, 4, 0xFFFFFFFF);
    EXPECT_TRUE(Near(Pixel(9, 1), 0xFF00007F)) << "half black over blue";
    x8->Release();
    a8->Release();
}

TEST_F(D3D9Gl, EveryTextureFormatReadsItsColourAndAlpha) {
    struct Case {
        D3DFORMAT format;
        DWORD texel;
        D3DCOLOR rgb;    // the colour the stage reads
        DWORD alpha;     // its alpha, 0..255
        int tolerance;
    } const cases[] = {
        {D3DFMT_A8R8G8B8, 0x80336699, 0x336699, 0x80, 0},
        {D3DFMT_X8R8G8B8, 0x00336699, 0x336699, 0xFF, 0},
        {D3DFMT_R5G6B5, 0xF800, 0xFF0000, 0xFF, 0},            // red only
        {D3DFMT_A1R5G5B5, 0x03E0, 0x00FF00, 0x00, 0},          // green, alpha bit clear
        {D3DFMT_X1R5G5B5, 0x001F, 0x0000FF, 0xFF, 0},          // blue, alpha ignored
        {D3DFMT_A4R4G4B4, 0x8F0F, 0xFF00FF, 0x88, 0},
        {D3DFMT_L8, 0x40, 0x404040, 0xFF, 0},
        {D3DFMT_A8L8, 0x2080, 0x808080, 0x20, 0},
        {D3DFMT_A8, 0x90, 0x000000, 0x90, 0},
    };
    for (const Case& c : cases) {
        IDirect3DTexture9* t = OneTexel(c.format, c.texel);
        dev->SetTexture(0, t);
        dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        Rect(0, 0, 4, 4, 0xFFFFFFFF);
        // The alpha shown as grey.
        dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
        Rect(4, 0, 8, 4, 0xFFFFFFFF);
        const std::vector<DWORD> p = Pixels();
        EXPECT_TRUE(Near(p[64 + 1], 0xFF000000 | c.rgb, c.tolerance)) << "format " << c.format;
        EXPECT_TRUE(Near(p[64 + 5], 0xFF000000 | c.alpha * 0x010101, c.tolerance)) << "alpha of format " << c.format;
        dev->SetTexture(0, nullptr);
        t->Release();
    }
}

TEST_F(D3D9Gl, SamplerFiltersAndAddressModes) {
    // Two texels, black and white, stretched over eight pixels and repeated twice.
    IDirect3DTexture9* tex = Texture(2, 1, D3DFMT_A8R8G8B8, {0xFF000000, 0xFFFFFFFF});
    dev->SetTexture(0, tex);
    auto row = [&](float uMax) {
        RhwVertex v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                          {7.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, uMax, 0},
                          {-0.5f, 0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 1},
                          {7.5f, 0.5f, 0.5f, 1, 0xFFFFFFFF, uMax, 1}};
        dev->SetFVF(kRhwFvf);
        dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwVertex));
        std::vector<DWORD> p = Pixels();
        std::vector<int> grey;
        for (int x = 0; x < 8; ++x) grey.push_back(int(p[x] & 0xFF));
        return grey;
    };
    // Point sampling: four black, four white.
    EXPECT_EQ(row(1.0f), (std::vector<int>{0, 0, 0, 0, 255, 255, 255, 255}));
    // Linear: a ramp between the texel centres (the ends clamp or wrap).
    dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    std::vector<int> ramp = row(1.0f);
    EXPECT_EQ(ramp[0], 0);
    EXPECT_EQ(ramp[7], 255);
    EXPECT_GT(ramp[4], ramp[3]);
    EXPECT_GT(ramp[3], 0);
    EXPECT_LT(ramp[4], 255);
    // Wrap repeats the texture; clamp holds the last texel.
    dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    EXPECT_EQ(row(2.0f), (std::vector<int>{0, 0, 255, 255, 0, 0, 255, 255}));
    dev->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    EXPECT_EQ(row(2.0f), (std::vector<int>{0, 0, 255, 255, 255, 255, 255, 255}));
    tex->Release();
}

TEST_F(D3D9Gl, AlphaTestComparesEightBitAlphaWithTheReference) {
    IDirect3DTexture9* tex = Texture(1, 1, D3DFMT_A8R8G8B8, {0x08FFFFFF});  // alpha exactly the reference
    dev->SetTexture(0, tex);
    dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    dev->SetRenderState(D3DRS_ALPHAREF, 8);
    struct {
        DWORD func;
        bool passes;
    } const cases[] = {{D3DCMP_NEVER, false},       {D3DCMP_LESS, false},   {D3DCMP_EQUAL, true},
                       {D3DCMP_LESSEQUAL, true},    {D3DCMP_GREATER, false}, {D3DCMP_NOTEQUAL, false},
                       {D3DCMP_GREATEREQUAL, true}, {D3DCMP_ALWAYS, true}};
    for (const auto& c : cases) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        dev->SetRenderState(D3DRS_ALPHAFUNC, c.func);
        Rect(0, 0, 4, 4, 0xFFFFFFFF);
        EXPECT_EQ(Pixel(1, 1), c.passes ? 0xFFFFFFFFu : 0xFF000000u) << "func " << c.func;
    }
    // Alpha 7 fails GREATEREQUAL 8 (the sparks' vertex alpha 0 is only saved by the texture's).
    D3DLOCKED_RECT lr;
    tex->LockRect(0, &lr, nullptr, 0);
    *static_cast<DWORD*>(lr.pBits) = 0x07FFFFFF;
    tex->UnlockRect(0);
    dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Rect(0, 0, 4, 4, 0x00FFFFFF);
    EXPECT_EQ(Pixel(1, 1), 0xFF000000u);
    tex->Release();
}

TEST_F(D3D9Gl, BlendFactors) {
    struct Case {
        const char* what;
        DWORD src, dst;
        D3DCOLOR target, color, expected;
    } const cases[] = {
        {"additive", D3DBLEND_ONE, D3DBLEND_ONE, 0xFF204060, 0xFF101010, 0xFF305070},
        {"additive saturates", D3DBLEND_ONE, D3DBLEND_ONE, 0xFFF0F0F0, 0xFF202020, 0xFFFFFFFF},
        {"one, destination colour", D3DBLEND_ONE, D3DBLEND_DESTCOLOR, 0xFF808080, 0xFF202020, 0xFF606060},
        {"source alpha over", D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0xFF0000FF, 0x80FF0000, 0xFF80007F},
        {"source colour", D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, 0xFFFFFFFF, 0xFF808080, 0xFF404040},
        {"inverse destination colour", D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, 0xFF00FF80, 0xFFFFFFFF, 0xFFFF007F},
        {"destination alpha is one", D3DBLEND_DESTALPHA, D3DBLEND_ZERO, 0xFF000000, 0xFF336699, 0xFF336699},
        {"zero, one keeps the target", D3DBLEND_ZERO, D3DBLEND_ONE, 0xFF123456, 0xFFFFFFFF, 0xFF123456},
    };
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    for (const Case& c : cases) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, c.target, 1.0f, 0);
        dev->SetRenderState(D3DRS_SRCBLEND, c.src);
        dev->SetRenderState(D3DRS_DESTBLEND, c.dst);
        Rect(0, 0, 4, 4, c.color);
        EXPECT_TRUE(Near(Pixel(1, 1), c.expected)) << c.what;
    }
}

TEST_F(D3D9Gl, LightingWithoutLightsIsEmissivePlusAmbient) {
    // The meshes' case: lighting on, no lights, no vertex colour.
    struct Vertex {
        float x, y, z, nx, ny, nz;
    } const quad[4] = {{-1, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}, {-1, -1, 0.5f, 0, 0, -1},
                       {1, -1, 0.5f, 0, 0, -1}};
    D3DMATERIAL9 m = {};
    m.Diffuse = {0.2f, 0.2f, 0.2f, 1.0f};
    m.Ambient = {0.5f, 1.0f, 0.0f, 1.0f};
    m.Emissive = {0.1f, 0.0f, 0.0f, 1.0f};
    dev->SetMaterial(&m);
    dev->SetRenderState(D3DRS_LIGHTING, TRUE);
    dev->SetRenderState(D3DRS_AMBIENT, 0xFFC8C8C8);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    dev->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    // (0.1 + 0.784 * 0.5, 0.784 * 1, 0)
    EXPECT_TRUE(Near(Pixel(30, 30), 0xFF7DC800));

    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    EXPECT_EQ(Pixel(30, 30), 0xFFFFFFFFu) << "no diffuse in the vertex reads as white";
}

TEST_F(D3D9Gl, IndexedDrawsFromBuffersFollowTheirChanges) {
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(8 * sizeof(ColorVertex), 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(dev->CreateIndexBuffer(6 * 4, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    auto fill = [&](DWORD color) {
        ColorVertex* v = nullptr;
        vb->Lock(0, 0, reinterpret_cast<void**>(&v), 0);
        // Four vertices nobody uses, then the quad: reached through the base vertex.
        for (int i = 0; i < 4; ++i) v[i] = {5, 5, 5, 0xFF00FF00};
        v[4] = {-1, 1, 0.5f, color};
        v[5] = {1, 1, 0.5f, color};
        v[6] = {-1, -1, 0.5f, color};
        v[7] = {1, -1, 0.5f, color};
        vb->Unlock();
    };
    fill(0xFFFF0000);
    DWORD* idx = nullptr;
    ib->Lock(0, 0, reinterpret_cast<void**>(&idx), 0);
    const DWORD quad[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(idx, quad, sizeof quad);
    ib->Unlock();
    dev->SetFVF(kColorFvf);
    dev->SetStreamSource(0, vb, 0, sizeof(ColorVertex));
    dev->SetIndices(ib);
    ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(Pixel(10, 10), 0xFFFF0000u);

    fill(0xFF0000FF);
    ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(Pixel(10, 10), 0xFF0000FFu) << "the changed buffer was uploaded again";

    // Only the second triangle: the first index is 3.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 3, 1), D3D_OK);
    EXPECT_EQ(Pixel(2, 2), 0xFF000000u) << "top left belongs to the first triangle";
    EXPECT_EQ(Pixel(60, 44), 0xFF0000FFu);
    vb->Release();
    ib->Release();

    // The same from the program's memory, with 16-bit indices.
    const ColorVertex up[4] = {{-1, 1, 0.5f, 0xFF00FF00}, {1, 1, 0.5f, 0xFF00FF00}, {-1, -1, 0.5f, 0xFF00FF00},
                               {1, -1, 0.5f, 0xFF00FF00}};
    const WORD upIdx[6] = {0, 1, 2, 2, 1, 3};
    ASSERT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, upIdx, D3DFMT_INDEX16, up,
                                          sizeof(ColorVertex)),
              D3D_OK);
    EXPECT_EQ(Pixel(2, 2), 0xFF00FF00u);
}

TEST_F(D3D9Gl, VertexDeclarationsDrawLikeFvfs) {
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0}, D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(dev->CreateVertexDeclaration(elements, &decl), D3D_OK);
    dev->SetVertexDeclaration(decl);
    const ColorVertex quad[4] = {{-1, 1, 0.5f, 0xFF00FFFF}, {1, 1, 0.5f, 0xFF00FFFF}, {-1, -1, 0.5f, 0xFF00FFFF},
                                 {1, -1, 0.5f, 0xFF00FFFF}};
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ColorVertex)), D3D_OK);
    EXPECT_EQ(Pixel(30, 30), 0xFF00FFFFu);
    decl->Release();
}

TEST_F(D3D9Gl, DrawsWithAVertexShaderShowNothingYet) {
    const DWORD tokens[] = {D3DVS_VERSION(1, 1), D3DVS_END()};
    IDirect3DVertexShader9* vs = nullptr;
    ASSERT_EQ(dev->CreateVertexShader(tokens, &vs), D3D_OK);
    dev->SetVertexShader(vs);
    Rect(0, 0, 64, 48, 0xFFFFFFFF);
    EXPECT_EQ(Pixel(30, 30), 0xFF000000u);
    dev->SetVertexShader(nullptr);
    vs->Release();
}

TEST_F(D3D9Gl, ViewportLimitsDrawingAndClearing) {
    const D3DVIEWPORT9 vp = {16, 8, 32, 16, 0.0f, 1.0f};
    dev->SetViewport(&vp);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    const std::vector<DWORD> p = Pixels();
    EXPECT_EQ(p[8 * 64 + 16], 0xFF0000FFu);
    EXPECT_EQ(p[7 * 64 + 16], 0xFF000000u);
    EXPECT_EQ(p[8 * 64 + 48], 0xFF000000u);

    // A quad over the whole of clip space fills the viewport, top-left first.
    const ColorVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFF}, {0, 1, 0.5f, 0xFFFFFFFF}, {-1, 0, 0.5f, 0xFFFFFFFF},
                                 {0, 0, 0.5f, 0xFFFFFFFF}};
    dev->SetFVF(kColorFvf);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ColorVertex));
    const std::vector<DWORD> q = Pixels();
    EXPECT_EQ(q[8 * 64 + 16], 0xFFFFFFFFu);
    EXPECT_EQ(q[15 * 64 + 31], 0xFFFFFFFFu);
    EXPECT_EQ(q[16 * 64 + 32], 0xFF0000FFu);
}

TEST_F(D3D9Gl, WritesIntoTheLockedBackBufferAreKept) {
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, 0), D3D_OK);
    static_cast<DWORD*>(static_cast<void*>(static_cast<uint8_t*>(lr.pBits) + 3 * lr.Pitch))[7] = 0x0099C0C6;
    back->UnlockRect();
    // Drawing elsewhere afterwards: the plotted pixel is part of what was drawn.
    Rect(30, 30, 40, 40, 0xFFFFFFFF);
    const std::vector<DWORD> p = Pixels();
    EXPECT_EQ(p[3 * 64 + 7] & 0x00FFFFFF, 0x0099C0C6u);
    EXPECT_EQ(p[35 * 64 + 35], 0xFFFFFFFFu);

    // A surface copied onto the back buffer lands there as well.
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(dev->CreateOffscreenPlainSurface(4, 4, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &s, nullptr), D3D_OK);
    dev->ColorFill(s, nullptr, 0xFF00FF00);
    POINT at = {50, 2};
    ASSERT_EQ(dev->UpdateSurface(s, nullptr, back, &at), D3D_OK);
    dev->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(Pixel(51, 3), 0xFF00FF00u);
    EXPECT_EQ(Pixel(35, 35), 0xFFFFFFFFu) << "copy keeps the back buffer";
    s->Release();
}

// Lock after lock between two draws (a marker plotted block by block): what
// was drawn is read back once, what was written handed over once, and only
// when the back end needs it.
TEST_F(D3D9Gl, BackBufferLocksBetweenDrawsShareOneReadBackAndOneUpload) {
    Rect(0, 0, 64, 48, 0xFF204060);
    const D3D9BackBufferTransfers before = BackBufferTransfers();
    for (int i = 0; i < 50; ++i) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(back->LockRect(&lr, nullptr, 0), D3D_OK);
        static_cast<DWORD*>(static_cast<void*>(static_cast<uint8_t*>(lr.pBits) + 10 * lr.Pitch))[i] = 0xFF99C0C6;
        back->UnlockRect();
    }
    EXPECT_EQ(BackBufferTransfers().readBacks - before.readBacks, 1u);
    EXPECT_EQ(BackBufferTransfers().uploads - before.uploads, 0u) << "nothing has needed the writes yet";

    Rect(0, 30, 64, 48, 0xFFFFFFFF);  // the writes reach the target before this draw
    dev->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(BackBufferTransfers().uploads - before.uploads, 1u);
    const std::vector<DWORD> p = Pixels();
    EXPECT_EQ(p[10 * 64 + 0], 0xFF99C0C6u);
    EXPECT_EQ(p[10 * 64 + 49], 0xFF99C0C6u);
    EXPECT_EQ(p[10 * 64 + 50], 0xFF204060u) << "drawn before the writes";
    EXPECT_EQ(p[40 * 64 + 20], 0xFFFFFFFFu) << "drawn after them";
    EXPECT_EQ(BackBufferTransfers().readBacks - before.readBacks, 2u);
}

}  // namespace
