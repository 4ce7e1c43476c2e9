#include "tests/support/overlay_fixtures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "app/Globals.h"
#include "overlay/Alphabet.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/device_fixtures.h"

namespace overlay_fixtures {

namespace {

DWORD* RowOf(const D3DLOCKED_RECT& locked, int y) {
    return reinterpret_cast<DWORD*>(static_cast<uint8_t*>(locked.pBits) + static_cast<ptrdiff_t>(y) * locked.Pitch);
}

template <class T>
void ReleaseGlobal(T*& object) {
    if (object) {
        object->Release();
        object = nullptr;
    }
}

}  // namespace

DWORD PixelAt(IDirect3DSurface9* surface, int x, int y) {
    D3DLOCKED_RECT locked;
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    DWORD p = RowOf(locked, y)[x];
    surface->UnlockRect();
    return p;
}

std::vector<DWORD> ReadPixels(IDirect3DSurface9* surface, UINT* width) {
    D3DSURFACE_DESC desc;
    surface->GetDesc(&desc);
    D3DLOCKED_RECT locked;
    std::vector<DWORD> out;
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < desc.Height; ++y) out.insert(out.end(), RowOf(locked, int(y)), RowOf(locked, int(y)) + desc.Width);
    surface->UnlockRect();
    if (width) *width = desc.Width;
    return out;
}

void FillPixels(IDirect3DSurface9* surface, const std::function<DWORD(int x, int y)>& pixel) {
    D3DSURFACE_DESC desc;
    surface->GetDesc(&desc);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < desc.Height; ++y)
        for (UINT x = 0; x < desc.Width; ++x) RowOf(locked, int(y))[x] = pixel(int(x), int(y));
    surface->UnlockRect();
}

DWORD Loaded(const datagen::Image& image, int x, int y) {
    const uint8_t* p = image.At(x, y);
    return 0xFF000000u | DWORD(p[0]) << 16 | DWORD(p[1]) << 8 | p[2];
}

datagen::Image GlyphSheet(int width, int height) {
    datagen::Image img(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &img.rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            const bool keyed = x >= 16 && x < 24 && y >= 32 && y < 64;
            p[0] = keyed ? 0x10 : uint8_t(x & 0xFF);
            p[1] = keyed ? 0x20 : uint8_t(y);
            p[2] = keyed ? 0x30 : uint8_t(0x40 | (x >> 8));
        }
    return img;
}

datagen::Image Solid(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    datagen::Image img(width, height);
    for (size_t i = 0; i < img.rgb.size(); i += 3) {
        img.rgb[i] = r;
        img.rgb[i + 1] = g;
        img.rgb[i + 2] = b;
    }
    return img;
}

PaddedSurface::PaddedSurface(UINT width, UINT height, INT pitch, D3DFORMAT format)
    : width_(width), height_(height), pitch_(pitch), format_(format), bytes_(size_t(pitch) * height, 0xA5) {}

HRESULT PaddedSurface::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IDirect3DSurface9)) return E_NOINTERFACE;
    *out = this;
    return S_OK;
}

HRESULT PaddedSurface::GetDevice(IDirect3DDevice9**) { return D3DERR_INVALIDCALL; }
HRESULT PaddedSurface::GetContainer(REFIID, void**) { return E_NOINTERFACE; }

HRESULT PaddedSurface::GetDesc(D3DSURFACE_DESC* desc) {
    *desc = D3DSURFACE_DESC{format_, D3DRTYPE_SURFACE, 0, D3DPOOL_SYSTEMMEM, D3DMULTISAMPLE_NONE, 0, width_, height_};
    return D3D_OK;
}

HRESULT PaddedSurface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD) {
    if (locked_ || rect) return D3DERR_INVALIDCALL;
    locked_ = true;
    ++locks_;
    locked->Pitch = pitch_;
    locked->pBits = bytes_.data();
    return D3D_OK;
}

HRESULT PaddedSurface::UnlockRect() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
}

bool PaddedSurface::PaddingUntouched() const {
    for (UINT y = 0; y < height_; ++y)
        for (size_t i = size_t(width_) * 4; i < size_t(pitch_); ++i)
            if (bytes_[size_t(y) * size_t(pitch_) + i] != 0xA5) return false;
    return true;
}

void OverlayTest::SetUp() {
    platform_testing::ResetWin32();
    platform_testing::ResetD3D9();
    tree_ = std::make_unique<scene_fixtures::TempFolder>();
    for (const char* folder : {"bin", "Immagini", "Alfabeto"})
        ASSERT_EQ(mkdir((tree_->Path() + folder).c_str(), 0755), 0);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(chdir((tree_->Path() + "bin").c_str()), 0);

    g_ScreenWidth = 1024;
    g_ScreenHeight = 768;
    if (DrawsWithOpenGl()) {
        platform_testing::UseHeadlessD3D9();
        g_D3D = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(g_D3D, nullptr);
        ASSERT_EQ(device_fixtures::CreateWindowedDevice(g_D3D, 1024, 768, &g_Device), D3D_OK) << "no OpenGL context";
    } else {
        g_Device = device_fixtures::NullDevice(1024, 768);
    }
    ASSERT_NE(g_Device, nullptr);
    ASSERT_EQ(g_Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &g_BackBuffer), D3D_OK);
}

void OverlayTest::TearDown() {
    ReleaseAlphabet();
    for (IDirect3DSurface9* s : made_) s->Release();
    made_.clear();
    ReleaseGlobal(g_MiniMapSurface);
    ReleaseGlobal(g_BackBuffer);
    ReleaseGlobal(g_Device);
    ReleaseGlobal(g_D3D);
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 0) << "every surface released";
    platform_testing::ResetD3D9();
    if (!oldCwd_.empty()) {
        EXPECT_EQ(chdir(oldCwd_.c_str()), 0);
    }
    tree_.reset();
}

void OverlayTest::WriteBitmap(const std::string& name, const datagen::Image& image) {
    const std::vector<uint8_t> bytes = datagen::EncodeBmp(image);
    WriteFile(name, std::string(bytes.begin(), bytes.end()));
}

void OverlayTest::WriteFile(const std::string& name, const std::string& bytes) { tree_->WriteText(name, bytes); }

IDirect3DSurface9* OverlayTest::MakeSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool) {
    IDirect3DSurface9* s = nullptr;
    EXPECT_EQ(g_Device->CreateOffscreenPlainSurface(width, height, format, pool, &s, nullptr), D3D_OK);
    if (s) made_.push_back(s);
    return s;
}

std::string OverlayTest::Reports() const { return platform_testing::DebugOutputText(); }

}  // namespace overlay_fixtures
