// DrawSubset on the OpenGL back end (headless): the pixels of each subset,
// drawn with and without an attribute table.
#include <gtest/gtest.h>

#include <stb_image_write.h>

#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "platform/d3dx9/d3dx9.h"
#include "platform/testing.h"
#include "tests/support/device_fixtures.h"

namespace {

constexpr UINT kSize = 64;
constexpr D3DCOLOR kBlue = 0xFF0000FF, kRed = 0xFFFF0000, kGreen = 0xFF00FF00;

class MeshPixels : public ::testing::Test {
protected:
    void SetUp() override {
        platform_testing::ResetD3D9();
        platform_testing::UseHeadlessD3D9();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        ASSERT_EQ(device_fixtures::CreateWindowedDevice(d3d, kSize, kSize, &device,
                                                        D3DCREATE_SOFTWARE_VERTEXPROCESSING),
                  D3D_OK)
            << "no OpenGL context";
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
    }
    void TearDown() override {
        if (device) device->Release();
        if (d3d) d3d->Release();
        platform_testing::ResetD3D9();
    }

    D3DCOLOR Pixel(UINT x, UINT y) {
        IDirect3DSurface9* back = nullptr;
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        D3DLOCKED_RECT r;
        D3DCOLOR c = 0;
        if (back && SUCCEEDED(back->LockRect(&r, nullptr, D3DLOCK_READONLY))) {
            std::memcpy(&c, static_cast<unsigned char*>(r.pBits) + y * r.Pitch + x * 4, 4);
            back->UnlockRect();
        }
        if (back) back->Release();
        return c | 0xFF000000u;
    }

    void Draw(ID3DXMesh* mesh, DWORD subset) {
        device->BeginScene();
        mesh->DrawSubset(subset);
        device->EndScene();
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};

// The mesh's vertices and triangles from arrays of their exact sizes.
template <class Vertex, size_t V, size_t I>
void Fill(ID3DXMesh* mesh, const Vertex (&vertices)[V], const WORD (&indices)[I]) {
    void* p = nullptr;
    mesh->LockVertexBuffer(0, &p);
    std::memcpy(p, vertices, sizeof vertices);
    mesh->UnlockVertexBuffer();
    mesh->LockIndexBuffer(0, &p);
    std::memcpy(p, indices, sizeof indices);
    mesh->UnlockIndexBuffer();
}

// Two quads in clip space (identity transforms): the left half of the screen
// red with attribute 1, the right half green with attribute 0, faces
// interleaved so that a sort has something to do.
ID3DXMesh* Halves(IDirect3DDevice9* device) {
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXCreateMeshFVF(4, 8, D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_DIFFUSE, device, &mesh), D3D_OK);
    struct V {
        float x, y, z;
        D3DCOLOR c;
    } const vertices[8] = {{-1, -1, 0.5f, kRed}, {-1, 1, 0.5f, kRed}, {0, 1, 0.5f, kRed}, {0, -1, 0.5f, kRed},
                           {0, -1, 0.5f, kGreen}, {0, 1, 0.5f, kGreen}, {1, 1, 0.5f, kGreen}, {1, -1, 0.5f, kGreen}};
    const WORD faces[12] = {0, 1, 2, 4, 5, 6, 0, 2, 3, 4, 6, 7};
    const DWORD attributes[4] = {1, 0, 1, 0};
    Fill(mesh, vertices, faces);
    DWORD* a = nullptr;
    mesh->LockAttributeBuffer(0, &a);
    std::memcpy(a, attributes, sizeof attributes);
    mesh->UnlockAttributeBuffer();
    return mesh;
}

TEST_F(MeshPixels, EachSubsetDrawsItsOwnFaces) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    ASSERT_EQ(Pixel(kSize / 2, kSize / 2), kBlue) << "the clear does not read back";
    ID3DXMesh* mesh = Halves(device);

    // No attribute table: the faces of subset 1 are found in the attribute buffer.
    Draw(mesh, 1);
    EXPECT_EQ(Pixel(kSize / 4, kSize / 4), kRed);
    EXPECT_EQ(Pixel(kSize / 4, 3 * kSize / 4), kRed);
    EXPECT_EQ(Pixel(3 * kSize / 4, kSize / 2), kBlue);

    // Sorted, with a table: subset 0 fills the other half.
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    Draw(mesh, 0);
    EXPECT_EQ(Pixel(3 * kSize / 4, kSize / 4), kGreen);
    EXPECT_EQ(Pixel(3 * kSize / 4, 3 * kSize / 4), kGreen);
    EXPECT_EQ(Pixel(kSize / 4, kSize / 2), kBlue);

    // A vertex rewrite shows in the next draw: the device uploads what changed.
    struct V {
        float x, y, z;
        D3DCOLOR c;
    }* v = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v)), D3D_OK);
    for (int i = 4; i < 8; ++i) v[i].c = kRed;
    mesh->UnlockVertexBuffer();
    Draw(mesh, 0);
    EXPECT_EQ(Pixel(3 * kSize / 4, kSize / 2), kRed);

    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    mesh->Release();
}

TEST_F(MeshPixels, ALoadedTextureIsUploadedWhenDrawn) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    ASSERT_EQ(Pixel(kSize / 2, kSize / 2), kBlue) << "the clear does not read back";
    // A 2 x 2 bitmap: red, green / white, black.
    const unsigned char rgb[12] = {255, 0, 0, 0, 255, 0, 255, 255, 255, 0, 0, 0};
    const std::string path =
        (std::filesystem::temp_directory_path() / ("branto_quads_" + std::to_string(::getpid()) + ".bmp")).string();
    ASSERT_TRUE(stbi_write_bmp(path.c_str(), 2, 2, 3, rgb));
    IDirect3DTexture9* texture = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileA(device, path.c_str(), &texture);
    std::filesystem::remove(path);
    ASSERT_EQ(hr, D3D_OK);

    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(2, 4, D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_TEX1, device, &mesh), D3D_OK);
    struct V {
        float x, y, z, u, v;
    } const vertices[4] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};
    const WORD faces[6] = {0, 1, 2, 0, 2, 3};
    Fill(mesh, vertices, faces);

    device->SetTexture(0, texture);
    Draw(mesh, 0);
    EXPECT_EQ(Pixel(kSize / 4, kSize / 4), kRed);
    EXPECT_EQ(Pixel(3 * kSize / 4, kSize / 4), kGreen);
    EXPECT_EQ(Pixel(kSize / 4, 3 * kSize / 4), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(3 * kSize / 4, 3 * kSize / 4), 0xFF000000u);

    device->SetTexture(0, nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    texture->Release();
    mesh->Release();
}

}  // namespace
