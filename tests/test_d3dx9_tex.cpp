// Textures and surfaces from image files: each file kind decodes to the same
// pixels, alpha only where the file has it, colour keys, sizes, mip levels,
// Windows paths, and failures that leave the output alone.
#include <gtest/gtest.h>

#include <stb_image_write.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/device_fixtures.h"
#include "tests/support/mesh_fixtures.h"
#include "tests/support/settled_files.h"

namespace {

namespace fs = std::filesystem;

int LiveObjects() {
    return layer::LiveObjects(layer::ObjectFamily::D3DX) + layer::LiveObjects(layer::ObjectFamily::Direct3D);
}

// A 4 x 2 picture: opaque black in the corners, colours between, one
// half-transparent pixel for the files that keep alpha.
const uint32_t kPicture[8] = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF000000,
                              0xFF0000FF, 0xFFFFFFFF, 0x80808080, 0xFF123456};

std::vector<unsigned char> Rgba() {
    std::vector<unsigned char> out;
    for (uint32_t p : kPicture)
        for (int shift : {16, 8, 0, 24}) out.push_back((p >> shift) & 0xFF);
    return out;
}

std::vector<unsigned char> Rgb() {
    std::vector<unsigned char> out;
    for (uint32_t p : kPicture)
        for (int shift : {16, 8, 0}) out.push_back((p >> shift) & 0xFF);
    return out;
}

uint32_t Expected(int i, bool alpha) { return alpha ? kPicture[i] : (kPicture[i] | 0xFF000000u); }

// An uncompressed DDS of the picture: 32-bit pixels with an alpha mask.
void WriteDds(const std::string& path) {
    std::vector<uint32_t> header(32, 0);
    header[0] = 0x20534444;  // "DDS "
    header[1] = 124;
    header[2] = 0x100F;  // caps, height, width, pitch, pixel format
    header[3] = 2;       // height
    header[4] = 4;       // width
    header[5] = 16;      // pitch
    header[19] = 32;     // pixel format size
    header[20] = 0x41;   // RGB with alpha
    header[22] = 32;
    header[23] = 0x00FF0000;
    header[24] = 0x0000FF00;
    header[25] = 0x000000FF;
    header[26] = 0xFF000000;
    header[27] = 0x1000;  // texture
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header.data()), 128);
    out.write(reinterpret_cast<const char*>(kPicture), sizeof kPicture);
}

class TextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform_testing::ResetD3D9();
        baseline = LiveObjects();
        device = mesh_fixtures::NullDevice();
        ASSERT_NE(device, nullptr);
        folder = fs::temp_directory_path() / ("branto_tex_" + std::to_string(::getpid()));
        fs::create_directories(folder / "Pics");
        const std::vector<unsigned char> translucent = Rgba();
        const std::string base = (folder / "Pics").string();
        ASSERT_TRUE(stbi_write_bmp((base + "/Sheet.bmp").c_str(), 4, 2, 3, Rgb().data()));
        ASSERT_TRUE(stbi_write_png((base + "/sheet.png").c_str(), 4, 2, 4, translucent.data(), 16));
        ASSERT_TRUE(stbi_write_tga((base + "/sheet.tga").c_str(), 4, 2, 4, translucent.data()));
        std::ofstream(base + "/junk.bmp") << "BM not really a bitmap";
        WriteDds(base + "/sheet.dds");
    }
    void TearDown() override {
        fs::remove_all(folder);
        if (device) device->Release();
        EXPECT_EQ(LiveObjects(), baseline) << "an object leaked";
        platform_testing::ResetD3D9();
    }
    std::string Path(const char* name) const { return (folder / "Pics" / name).string(); }

    static std::vector<uint32_t> Pixels(IDirect3DTexture9* t, UINT level = 0) {
        D3DSURFACE_DESC desc;
        t->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT r;
        EXPECT_EQ(t->LockRect(level, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::vector<uint32_t> out;
        for (UINT y = 0; y < desc.Height; ++y)
            for (UINT x = 0; x < desc.Width; ++x) {
                uint32_t p;
                std::memcpy(&p, static_cast<unsigned char*>(r.pBits) + y * r.Pitch + x * 4, 4);
                out.push_back(p);
            }
        t->UnlockRect(level);
        return out;
    }

    int baseline = 0;
    IDirect3DDevice9* device = nullptr;
    fs::path folder;
};

TEST_F(TextureTest, EveryKindOfFileGivesThePicture) {
    struct Case {
        const char* file;
        bool alpha;
        D3DXIMAGE_FILEFORMAT kind;
    } const cases[] = {{"Sheet.bmp", false, D3DXIFF_BMP},
                       {"sheet.png", true, D3DXIFF_PNG},
                       {"sheet.tga", true, D3DXIFF_TGA},
                       {"sheet.dds", true, D3DXIFF_DDS}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        IDirect3DTexture9* t = nullptr;
        D3DXIMAGE_INFO info = {};
        ASSERT_EQ(D3DXCreateTextureFromFileExA(device, Path(c.file).c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                               D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info,
                                               nullptr, &t),
                  D3D_OK);
        D3DSURFACE_DESC desc;
        t->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, 4u);
        EXPECT_EQ(desc.Height, 2u);
        // Files without alpha are opaque textures.
        EXPECT_EQ(desc.Format, c.alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8);
        EXPECT_EQ(info.Width, 4u);
        EXPECT_EQ(info.ImageFileFormat, c.kind);
        std::vector<uint32_t> px = Pixels(t);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i], Expected(i, c.alpha)) << "pixel " << i;
        t->Release();
    }
}

TEST_F(TextureTest, AColourKeyMakesMatchingPixelsTransparentBlack) {
    // As the particle textures load: opaque black becomes see-through.
    for (const char* file : {"Sheet.bmp", "sheet.png"}) {
        SCOPED_TRACE(file);
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileExA(device, Path(file).c_str(), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                               0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                               0xFF000000, nullptr, nullptr, &t),
                  D3D_OK);
        std::vector<uint32_t> px = Pixels(t);
        EXPECT_EQ(px[0], 0u);
        EXPECT_EQ(px[3], 0u);
        EXPECT_EQ(px[1], 0xFFFF0000u);
        EXPECT_EQ(px[7], 0xFF123456u);
        EXPECT_EQ(t->GetLevelCount(), 3u) << "a full chain: 4x2, 2x1, 1x1";
        t->Release();
    }
    // A key that matches no pixel changes nothing; key 0 is no key at all.
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device, Path("Sheet.bmp").c_str(), 0, 0, 1, 0, D3DFMT_A8R8G8B8,
                                           D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, nullptr, nullptr,
                                           &t),
              D3D_OK);
    EXPECT_EQ(Pixels(t)[0], 0xFF000000u);
    t->Release();
}

TEST_F(TextureTest, SizesAndMipLevelsFollowTheRequest) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(device, Path("sheet.png").c_str(), 8, 4, D3DX_DEFAULT, 0,
                                           D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_DEFAULT, 0,
                                           nullptr, nullptr, &t),
              D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 4u);
    std::vector<uint32_t> px = Pixels(t);
    ASSERT_EQ(px.size(), 32u);
    EXPECT_EQ(px[0], kPicture[0]);
    EXPECT_EQ(px[2], kPicture[1]) << "point sampling doubles each pixel";
    EXPECT_EQ(px[8 * 2 + 6], kPicture[7]);
    // The last level averages everything.
    std::vector<uint32_t> last = Pixels(t, 3);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_NE(last[0], 0u);
    t->Release();
}

// Two materials that name one file get two textures of their own, from one
// decoding within a load; other arguments shape the picture otherwise, and a
// frame shown ends the load. A file that may still be changing is decoded
// every time.
TEST_F(TextureTest, AFileNamedAgainInOneLoadIsDecodedOnce) {
    const std::string sheet = Path("sheet.png");
    ASSERT_TRUE(settled_files::WaitUntilSettled({sheet.c_str()}));
    auto load = [&](DWORD key) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(D3DXCreateTextureFromFileExA(device, sheet.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, key,
                                               nullptr, nullptr, &t),
                  D3D_OK);
        return t;
    };
    const unsigned before = platform_testing::D3DXPicturesDecoded();
    IDirect3DTexture9* a = load(0);
    IDirect3DTexture9* b = load(0);
    EXPECT_EQ(platform_testing::D3DXPicturesDecoded(), before + 1);
    ASSERT_NE(a, b);
    ASSERT_EQ(b->GetLevelCount(), a->GetLevelCount());
    for (UINT level = 0; level < a->GetLevelCount(); ++level) EXPECT_EQ(Pixels(b, level), Pixels(a, level));
    // Each has pixels of its own.
    D3DLOCKED_RECT r;
    ASSERT_EQ(a->LockRect(0, &r, nullptr, 0), D3D_OK);
    std::memset(r.pBits, 0x11, 4);
    a->UnlockRect(0);
    EXPECT_EQ(Pixels(b)[0], kPicture[0]);
    IDirect3DTexture9* c = load(0);
    EXPECT_EQ(Pixels(c)[0], kPicture[0]) << "the file's picture, not the changed texture's";

    IDirect3DTexture9* keyed = load(0xFF000000);
    EXPECT_EQ(Pixels(keyed)[0], 0u);
    EXPECT_EQ(platform_testing::D3DXPicturesDecoded(), before + 2);
    device->Present(nullptr, nullptr, nullptr, nullptr);
    IDirect3DTexture9* next = load(0);
    EXPECT_EQ(platform_testing::D3DXPicturesDecoded(), before + 3);
    EXPECT_EQ(Pixels(next), Pixels(b));
    for (IDirect3DTexture9* t : {a, b, c, keyed, next}) t->Release();

    // Rewritten at once with as many bytes, a file is seen as it is now.
    for (const uint32_t colour : {0xFF102030u, 0xFF405060u}) {
        std::vector<unsigned char> rgb;
        for (int i = 0; i < 8; ++i)
            for (int shift : {16, 8, 0}) rgb.push_back((colour >> shift) & 0xFF);
        ASSERT_TRUE(stbi_write_bmp(Path("fresh.bmp").c_str(), 4, 2, 3, rgb.data()));
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileA(device, Path("fresh.bmp").c_str(), &t), D3D_OK);
        EXPECT_EQ(Pixels(t)[0], colour);
        t->Release();
    }
}

// Drawn with OpenGL, the second texture of a file named again takes its
// pixels from the first without a copy in CPU memory, and the two share the
// back end's storage until one of them is written.
TEST_F(TextureTest, AFileNamedAgainSharesTheDrawnPixelsUntilOneIsWritten) {
    namespace pt = platform_testing;
    pt::UseNullD3D9(false);
    pt::UseHeadlessD3D9();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* gl = nullptr;
    ASSERT_EQ(device_fixtures::CreateWindowedDevice(d3d, 64, 48, &gl), D3D_OK) << "no OpenGL context";
    const std::string sheet = Path("sheet.png");
    ASSERT_TRUE(settled_files::WaitUntilSettled({sheet.c_str()}));
    auto load = [&]() {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(D3DXCreateTextureFromFileA(gl, sheet.c_str(), &t), D3D_OK);
        return t;
    };
    const size_t cpuBefore = pt::D3D9CpuPixelBytes();
    IDirect3DTexture9* a = load();
    const unsigned storages = pt::D3D9GlCounts().textures;
    IDirect3DTexture9* b = load();
    EXPECT_EQ(pt::D3D9GlCounts().textures, storages) << "one storage for both";
    EXPECT_EQ(pt::D3D9CpuPixelBytes(), cpuBefore);
    for (UINT level = 0; level < a->GetLevelCount(); ++level) EXPECT_EQ(Pixels(b, level), Pixels(a, level));

    D3DLOCKED_RECT r;
    ASSERT_EQ(b->LockRect(0, &r, nullptr, 0), D3D_OK);
    std::memset(r.pBits, 0x11, 4);
    b->UnlockRect(0);
    EXPECT_EQ(pt::D3D9GlCounts().textures, storages + 1) << "written: storage of its own";
    EXPECT_EQ(Pixels(b)[0], 0x11111111u);
    EXPECT_EQ(Pixels(a)[0], kPicture[0]);
    for (UINT level = 1; level < a->GetLevelCount(); ++level) EXPECT_EQ(Pixels(b, level), Pixels(a, level));
    // Made again from the texture still as the file has it, not the written one.
    IDirect3DTexture9* c = load();
    EXPECT_EQ(Pixels(c)[0], kPicture[0]);
    for (IDirect3DTexture9* t : {a, b, c}) t->Release();
    EXPECT_EQ(pt::D3D9GlCounts().textures, storages - 1);
    gl->Release();
    d3d->Release();
}

TEST_F(TextureTest, FileNamesAreWindowsPathsMatchedWithoutCase) {
    const fs::path cwd = fs::current_path();
    fs::current_path(folder / "Pics");
    IDirect3DTexture9* t = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileA(device, "..\\PICS\\sheet.BMP", &t);
    fs::current_path(cwd);
    ASSERT_EQ(hr, D3D_OK);
    t->Release();
}

TEST_F(TextureTest, FailuresLeaveTheOutputAlone) {
    IDirect3DTexture9* const sentinel = reinterpret_cast<IDirect3DTexture9*>(uintptr_t(0x5e5e));
    for (const std::string& path : {Path("missing.png"), Path("junk.bmp")}) {
        SCOPED_TRACE(path);
        IDirect3DTexture9* t = sentinel;
        EXPECT_LT(D3DXCreateTextureFromFileA(device, path.c_str(), &t), 0);
        EXPECT_EQ(t, sentinel);
    }
    IDirect3DTexture9* t = sentinel;
    EXPECT_LT(D3DXCreateTextureFromFileA(nullptr, Path("sheet.png").c_str(), &t), 0);
    EXPECT_EQ(t, sentinel);
}

// A file that gives no texture is named with the cause, once, and the caller
// goes on without a texture; a bitmap cut short is refused, not drawn half black.
TEST_F(TextureTest, ARefusedFileIsNamedWithItsCauseOnce) {
    std::vector<char> bitmap;
    {
        std::ifstream in(Path("Sheet.bmp"), std::ios::binary);
        bitmap.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_EQ(bitmap.size(), 54u + 2 * 12);  // two rows of 4 pixels, 3 bytes each
    auto write = [&](const char* name, const std::vector<char>& bytes) {
        std::ofstream(Path(name), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    };
    write("cut.bmp", std::vector<char>(bitmap.begin(), bitmap.end() - 8));
    std::vector<char> wide = bitmap;
    wide[18] = char(0xA0), wide[19] = char(0x86), wide[20] = 0x01;  // 100000 pixels wide
    write("wide.bmp", wide);
    fs::create_directory(folder / "Pics" / "folder.bmp");
    std::ofstream(Path("text.bmp")) << "plain text, not a picture";

    struct Case {
        const char* file;
        const char* cause;
    } cases[] = {
        {"missing.bmp", "no such file"},
        {"folder.bmp", "cannot be read: Is a directory"},
        {"cut.bmp", "truncated: its pixels end at byte 78, the file has 70"},
        {"wide.bmp", "a picture of 100000x2 pixels is not possible here (1 to 16384 on a side)"},
        {"text.bmp", "not a picture this program reads (unknown image type)"},
    };
    platform_testing::CaptureDebugOutput(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        platform_testing::ClearDebugOutput();
        for (int twice = 0; twice < 2; ++twice) {
            IDirect3DTexture9* t = nullptr;
            EXPECT_EQ(D3DXCreateTextureFromFileA(device, Path(c.file).c_str(), &t), D3DXERR_INVALIDDATA);
            EXPECT_EQ(t, nullptr);
        }
        EXPECT_EQ(platform_testing::DebugOutputText(), "Texture: " + Path(c.file) + ": " + c.cause + "\n");
    }
    platform_testing::CaptureDebugOutput(false);
}

TEST_F(TextureTest, SurfacesLoadFromFilesAndFromOtherSurfaces) {
    IDirect3DSurface9* picture = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 2, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &picture, nullptr),
              D3D_OK);
    D3DXIMAGE_INFO info = {};
    ASSERT_EQ(D3DXLoadSurfaceFromFileA(picture, nullptr, nullptr, Path("Sheet.bmp").c_str(), nullptr,
                                       D3DX_FILTER_NONE, 0, &info),
              D3D_OK);
    EXPECT_EQ(info.Width, 4u);
    EXPECT_EQ(info.Height, 2u);
    auto read = [](IDirect3DSurface9* s) {
        D3DSURFACE_DESC d;
        s->GetDesc(&d);
        D3DLOCKED_RECT r;
        s->LockRect(&r, nullptr, D3DLOCK_READONLY);
        std::vector<uint32_t> out;
        for (UINT y = 0; y < d.Height; ++y)
            for (UINT x = 0; x < d.Width; ++x) {
                uint32_t p;
                std::memcpy(&p, static_cast<unsigned char*>(r.pBits) + y * r.Pitch + x * 4, 4);
                out.push_back(p | 0xFF000000u);
            }
        s->UnlockRect();
        return out;
    };
    std::vector<uint32_t> px = read(picture);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i], Expected(i, false)) << i;

    // Scaled onto a larger surface: a filtered picture keeps its corners.
    IDirect3DSurface9* big = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(8, 4, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &big, nullptr), D3D_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(big, nullptr, nullptr, picture, nullptr, nullptr, D3DX_FILTER_LINEAR, 0),
              D3D_OK);
    std::vector<uint32_t> scaled = read(big);
    EXPECT_EQ(scaled[0], 0xFF000000u);
    EXPECT_EQ(scaled[31], 0xFF123456u);
    // A part of the source into a part of the destination, unscaled.
    const RECT from = {1, 0, 3, 1}, to = {5, 2, 7, 3};
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(big, nullptr, &to, picture, nullptr, &from, D3DX_FILTER_NONE, 0), D3D_OK);
    scaled = read(big);
    EXPECT_EQ(scaled[2 * 8 + 5], 0xFFFF0000u);
    EXPECT_EQ(scaled[2 * 8 + 6], 0xFF00FF00u);
    const RECT outside = {0, 0, 9, 1};
    EXPECT_LT(D3DXLoadSurfaceFromSurface(big, nullptr, &outside, picture, nullptr, nullptr, D3DX_FILTER_NONE, 0), 0);
    EXPECT_LT(D3DXLoadSurfaceFromFileA(big, nullptr, nullptr, Path("missing.bmp").c_str(), nullptr,
                                       D3DX_FILTER_NONE, 0, nullptr),
              0);
    big->Release();
    picture->Release();
}

// The console's repaint: a small picture stretched with the linear filter
// blends between its pixels; a locked surface takes nothing.
TEST_F(TextureTest, LinearStretchBlendsAndLockedSurfacesRefuse) {
    IDirect3DSurface9 *two = nullptr, *wide = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(2, 1, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &two, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateOffscreenPlainSurface(16, 3, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &wide, nullptr), D3D_OK);
    D3DLOCKED_RECT r;
    ASSERT_EQ(wide->LockRect(&r, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(r.pBits) + y * r.Pitch)[x], 0u)
                << "new surfaces are zero";
    wide->UnlockRect();
    ASSERT_EQ(two->LockRect(&r, nullptr, 0), D3D_OK);
    static_cast<uint32_t*>(r.pBits)[0] = 0xFF000000;
    static_cast<uint32_t*>(r.pBits)[1] = 0xFFFFFFFF;
    two->UnlockRect();
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(wide, nullptr, nullptr, two, nullptr, nullptr, D3DX_FILTER_LINEAR, 0), D3D_OK);
    ASSERT_EQ(wide->LockRect(&r, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<uint32_t> row(static_cast<uint32_t*>(r.pBits), static_cast<uint32_t*>(r.pBits) + 16);
    wide->UnlockRect();
    EXPECT_EQ(row.front(), 0xFF000000u);
    EXPECT_EQ(row.back(), 0xFFFFFFFFu);
    int blended = 0;
    for (size_t x = 1; x < row.size(); ++x) {
        EXPECT_GE(row[x] & 0xFF, row[x - 1] & 0xFF) << x;
        if ((row[x] & 0xFF) > 0 && (row[x] & 0xFF) < 0xFF) ++blended;
    }
    EXPECT_GE(blended, 4) << "greys between black and white";

    ASSERT_EQ(two->LockRect(&r, nullptr, 0), D3D_OK);
    EXPECT_LT(D3DXLoadSurfaceFromFileA(two, nullptr, nullptr, Path("Sheet.bmp").c_str(), nullptr, D3DX_FILTER_NONE, 0,
                                       nullptr),
              0);
    EXPECT_LT(D3DXLoadSurfaceFromSurface(two, nullptr, nullptr, wide, nullptr, nullptr, D3DX_FILTER_LINEAR, 0), 0);
    two->UnlockRect();
    two->Release();
    wide->Release();
}

TEST_F(TextureTest, DefaultSizesRoundUpToPowersOfTwo) {
    std::vector<unsigned char> rgb(5 * 3 * 3, 0x80);
    ASSERT_TRUE(stbi_write_bmp(Path("odd.bmp").c_str(), 5, 3, 3, rgb.data()));
    struct Case {
        UINT asked;
        UINT width, height;
    } const cases[] = {{D3DX_DEFAULT, 8, 4}, {0, 8, 4}, {D3DX_DEFAULT_NONPOW2, 5, 3}, {D3DX_FROM_FILE, 5, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileExA(device, Path("odd.bmp").c_str(), c.asked, c.asked, 1, 0,
                                               D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               nullptr, nullptr, &t),
                  D3D_OK);
        D3DSURFACE_DESC desc;
        t->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, c.width);
        EXPECT_EQ(desc.Height, c.height);
        // Resampled, not padded: the grey reaches the far corner.
        EXPECT_EQ(Pixels(t).back(), 0xFF808080u);
        t->Release();
    }
}

TEST_F(TextureTest, AFileThatCannotBeHadIsNamed) {
    platform_testing::CaptureDebugOutput(true);
    struct Case {
        const char* file;
        const char* says;
    } const cases[] = {{"missing.png", "no such file"},
                       {"junk.bmp", "truncated: its pixels end at byte 26, the file has 22"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        platform_testing::ClearDebugOutput();
        IDirect3DTexture9* t = nullptr;
        EXPECT_LT(D3DXCreateTextureFromFileA(device, Path(c.file).c_str(), &t), 0);
        EXPECT_EQ(platform_testing::DebugOutputText(), "Texture: " + Path(c.file) + ": " + c.says + "\n");
    }
    platform_testing::CaptureDebugOutput(false);
}

}  // namespace
