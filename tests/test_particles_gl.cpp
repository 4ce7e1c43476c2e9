// A particle drawn for real by the OpenGL back end (a headless context), with
// the program's particle shader and render states: it lands as a textured,
// additively blended square where the shader puts it, and the texels that the
// colour key made transparent are not drawn at all (they leave the depth
// buffer alone). Pixels are read through GetBackBuffer and LockRect.
#include <gtest/gtest.h>

#include <stb_image_write.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "particles/ParticleShared.h"
#include "particles/ParticleSystem.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/device_fixtures.h"

namespace pt = platform_testing;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 64, kHeight = 48;
constexpr DWORD kBackground = 0xFF202020;

::testing::AssertionResult Near(DWORD actual, DWORD expected, int tolerance = 3) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
        if (a - e > tolerance || e - a > tolerance) {
            char text[64];
            std::snprintf(text, sizeof text, "0x%08x is not near 0x%08x", actual, expected);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

class ParticlePixels : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetD3D9();
        pt::UseHeadlessD3D9();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        ASSERT_EQ(device_fixtures::CreateWindowedDevice(d3d, kWidth, kHeight, &dev), D3D_OK) << "no OpenGL context";
        ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        // As the program's device starts: linear filtering, texture times colour.
        dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);

        // The program's shader and declaration; its own bitmap swapped for a
        // picture with a hard edge: the left half opaque black (the colour
        // key), the right half dark red.
        const D3DXVECTOR3 zero(0, 0, 0);
        ASSERT_EQ(particles.Create(dev, &zero, 0, 32), 1);
        folder = fs::temp_directory_path() / ("particle_pixels_" + std::to_string(getpid()));
        fs::create_directories(folder);
        std::vector<unsigned char> rgb(8 * 8 * 3, 0);
        for (int y = 0; y < 8; ++y)
            for (int x = 4; x < 8; ++x) rgb[size_t(y * 8 + x) * 3] = 0x60;
        const std::string file = (folder / "half.bmp").string();
        ASSERT_TRUE(stbi_write_bmp(file.c_str(), 8, 8, 3, rgb.data()));
        IDirect3DTexture9* half = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileExA(dev, file.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                               0xFF000000, nullptr, nullptr, &half),
                  D3D_OK);
        g_ParticleTextures[0]->Release();
        g_ParticleTextures[0] = half;
    }
    void TearDown() override {
        particles.Release();
        fs::remove_all(folder);
        if (back) back->Release();
        if (dev) dev->Release();
        if (d3d) d3d->Release();
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 0);
        pt::ResetD3D9();
    }

    // The particle pass of a frame, its states as the program sets them;
    // view and projection identity, so the shader's clip space is the world.
    void DrawParticles() {
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
        dev->SetRenderState(D3DRS_ALPHAREF, 8);
        dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        ASSERT_EQ(particles.BeginRender(&identity, &identity), 1);
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        particles.Render();
        particles.EndRender();
        dev->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        dev->SetRenderState(D3DRS_LIGHTING, TRUE);
    }

    std::vector<DWORD> Pixels() {
        D3DLOCKED_RECT lr;
        EXPECT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::vector<DWORD> out(kWidth * kHeight);
        for (int y = 0; y < kHeight; ++y)
            std::memcpy(&out[size_t(y) * kWidth], static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, kWidth * 4);
        back->UnlockRect();
        return out;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    IDirect3DSurface9* back = nullptr;
    ParticleSystem particles;
    fs::path folder;
};

TEST_F(ParticlePixels, AParticleIsATexturedSquareAddedToTheSceneWhereTheShaderPutsIt) {
    // Size 1 at the origin, depth 0.5: clip x and y from -0.5 to 0.5, that is
    // pixels 16..47 across and 12..35 down.
    const D3DXVECTOR3 centre(0, 0, 0.5f), still(0, 0, 0);
    particles.AddParticle(0, &centre, 1.0f, 0xFFFFFFFF, 0, &still);
    ASSERT_EQ(dev->BeginScene(), D3D_OK);
    DrawParticles();
    std::vector<DWORD> once = Pixels();
    DrawParticles();
    ASSERT_EQ(dev->EndScene(), D3D_OK);
    std::vector<DWORD> twice = Pixels();
    auto at = [](const std::vector<DWORD>& p, int x, int y) { return p[size_t(y) * kWidth + x]; };

    // The red half, added to the grey: once, then again on top.
    for (int y : {14, 24, 33})
        for (int x : {38, 44}) {
            EXPECT_TRUE(Near(at(once, x, y), 0xFF802020)) << x << "," << y;
            EXPECT_TRUE(Near(at(twice, x, y), 0xFFE02020)) << x << "," << y;
        }
    // The keyed half and everything around the square stay as they were.
    for (int y : {14, 24, 33})
        for (int x : {18, 24}) EXPECT_EQ(at(twice, x, y), kBackground) << x << "," << y;
    for (auto xy : {std::pair<int, int>{44, 10}, {44, 38}, {50, 24}, {13, 24}, {2, 2}, {62, 46}})
        EXPECT_EQ(at(twice, xy.first, xy.second), kBackground) << xy.first << "," << xy.second;
    // The edges lie where the shader put the corners (a pixel's slack each).
    EXPECT_NE(at(once, 46, 24), kBackground);
    EXPECT_EQ(at(once, 49, 24), kBackground);
    EXPECT_NE(at(once, 44, 13), kBackground);
    EXPECT_EQ(at(once, 44, 10), kBackground);
    EXPECT_NE(at(once, 44, 34), kBackground);
    EXPECT_EQ(at(once, 44, 37), kBackground);
}

TEST_F(ParticlePixels, KeyedTexelsLeaveTheDepthBufferAlone) {
    const D3DXVECTOR3 centre(0, 0, 0.5f), still(0, 0, 0);
    particles.AddParticle(0, &centre, 1.0f, 0xFFFFFFFF, 0, &still);
    ASSERT_EQ(dev->BeginScene(), D3D_OK);
    DrawParticles();
    // Then a blue wall behind the particle over the whole target, drawn by
    // the fixed pipeline: it shows wherever the particle drew nothing.
    struct {
        float x, y, z, rhw;
        DWORD color;
    } const wall[4] = {{-0.5f, -0.5f, 0.9f, 1, 0xFF0000FF},
                       {kWidth - 0.5f, -0.5f, 0.9f, 1, 0xFF0000FF},
                       {-0.5f, kHeight - 0.5f, 0.9f, 1, 0xFF0000FF},
                       {kWidth - 0.5f, kHeight - 0.5f, 0.9f, 1, 0xFF0000FF}};
    dev->SetTexture(0, nullptr);
    dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, wall, sizeof wall[0]), D3D_OK);
    ASSERT_EQ(dev->EndScene(), D3D_OK);
    const std::vector<DWORD> p = Pixels();
    auto at = [&](int x, int y) { return p[size_t(y) * kWidth + x]; };
    for (int y : {14, 24, 33}) {
        EXPECT_EQ(at(20, y), 0xFF0000FFu) << "keyed texels at y " << y;
        EXPECT_TRUE(Near(at(42, y), 0xFF802020)) << "drawn texels at y " << y;
    }
    EXPECT_EQ(at(2, 2), 0xFF0000FFu);
}

}  // namespace
