// The textures a font's glyphs are rasterised into, once each: white texels with
// the glyph's coverage as alpha, packed in rows.
#pragma once

#include <vector>

#include <d3d9.h>

#include "com_object.h"
#include "font_face.h"

namespace d3dx9 {

class GlyphAtlas {
public:
    explicit GlyphAtlas(IDirect3DDevice9* device) : device_(device) {}

    // Copies the bitmap into a page; false when no texture can be had for it.
    bool Place(const GlyphBitmap& bitmap, int* page, RECT* box);

    int Pages() const { return static_cast<int>(pages_.size()); }
    IDirect3DTexture9* Texture(int page) const { return pages_[page].texture.get(); }
    UINT Width(int page) const { return pages_[page].width; }
    UINT Height(int page) const { return pages_[page].height; }

private:
    struct Page {
        layer::ComPtr<IDirect3DTexture9> texture;
        UINT width = 0;
        UINT height = 0;
        UINT x = 0;  // next free column of the current row
        UINT y = 0;  // top of the current row
        UINT rowHeight = 0;
    };
    bool Fits(Page& page, UINT w, UINT h, UINT* x, UINT* y) const;
    bool AddPage(UINT w, UINT h);

    IDirect3DDevice9* device_;  // the font holds the reference
    std::vector<Page> pages_;
};

}  // namespace d3dx9
