// The program's device globals for the overlay tests: a 1024x768 device (the
// null back end, or OpenGL in a headless context) in g_Device and its back
// buffer in g_BackBuffer, a run tree of the test's own to hold the bitmaps the
// overlays open by relative paths, and surfaces to read and write pixel by pixel.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "tests/support/scene_fixtures.h"
#include "tools/datagen/image.h"

namespace overlay_fixtures {

// 32-bit pixels of any surface, through its lock.
DWORD PixelAt(IDirect3DSurface9* surface, int x, int y);
// Every pixel, row by row; `width` receives the row length.
std::vector<DWORD> ReadPixels(IDirect3DSurface9* surface, UINT* width = nullptr);
void FillPixels(IDirect3DSurface9* surface, const std::function<DWORD(int x, int y)>& pixel);

// The pixel a picture of datagen's becomes once loaded into an X8R8G8B8 surface.
DWORD Loaded(const datagen::Image& image, int x, int y);

// A sheet of 16 x 32 glyph cells (512 x 96: codes 32 to 127 by default) in
// which every pixel has its own colour, but for the left half of the cell of
// 'A' (sheet pixels 16 to 23 of rows 32 to 63), which is kGlyphSheetKey once loaded.
constexpr DWORD kGlyphSheetKey = 0xFF102030;
datagen::Image GlyphSheet(int width = 512, int height = 96);
// One colour all over.
datagen::Image Solid(int width, int height, uint8_t r, uint8_t g, uint8_t b);

// A surface over memory of its own whose rows lie `pitch` bytes apart, more
// than the pixels need, as a driver may lay them out. It counts its locks and
// lives as long as the test holds it (its references count nothing).
class PaddedSurface final : public IDirect3DSurface9 {
public:
    PaddedSurface(UINT width, UINT height, INT pitch, D3DFORMAT format = D3DFMT_X8R8G8B8);

    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetContainer(REFIID riid, void** out) override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    int Locks() const { return locks_; }
    bool Locked() const { return locked_; }
    // The bytes between the end of a row's pixels and the next row.
    bool PaddingUntouched() const;

private:
    UINT width_, height_;
    INT pitch_;
    D3DFORMAT format_;
    std::vector<uint8_t> bytes_;
    bool locked_ = false;
    int locks_ = 0;
};

class OverlayTest : public ::testing::Test {
protected:
    // The folder the tests run in: <tree>/bin, with Immagini and Alfabeto beside it.
    void SetUp() override;
    void TearDown() override;
    // OpenGL in a headless context in place of the null back end.
    virtual bool DrawsWithOpenGl() const { return false; }

    // Writes the picture to <tree>/<name> ("Immagini/MiniMap.bmp").
    void WriteBitmap(const std::string& name, const datagen::Image& image);
    void WriteFile(const std::string& name, const std::string& bytes);
    // A surface of the device, released at the end of the test.
    IDirect3DSurface9* MakeSurface(UINT width, UINT height, D3DFORMAT format = D3DFMT_X8R8G8B8,
                                   D3DPOOL pool = D3DPOOL_SYSTEMMEM);
    // The debugger output so far, joined.
    std::string Reports() const;

    std::unique_ptr<scene_fixtures::TempFolder> tree_;
    std::string oldCwd_;
    std::vector<IDirect3DSurface9*> made_;
};

}  // namespace overlay_fixtures
