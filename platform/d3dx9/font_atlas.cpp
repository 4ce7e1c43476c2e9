#include "font_atlas.h"

#include <algorithm>
#include <cstring>

namespace d3dx9 {

namespace {

constexpr UINT kPageSize = 256;
constexpr UINT kMaxPageSize = 4096;
// Empty texels between glyphs, so that no glyph samples its neighbour.
constexpr UINT kPadding = 1;

UINT PageEdgeFor(UINT need) {
    UINT edge = kPageSize;
    while (edge < need && edge < kMaxPageSize) edge *= 2;
    return edge;
}

}  // namespace

bool GlyphAtlas::Fits(Page& page, UINT w, UINT h, UINT* x, UINT* y) const {
    if (w > page.width || h > page.height) return false;
    UINT px = page.x, py = page.y, row = page.rowHeight;
    if (px + w > page.width) {
        py += row + kPadding;
        px = 0;
        row = 0;
    }
    if (py + h > page.height) return false;
    *x = px;
    *y = py;
    page.x = px + w + kPadding;
    page.y = py;
    page.rowHeight = std::max(row, h);
    return true;
}

bool GlyphAtlas::AddPage(UINT w, UINT h) {
    const UINT edge = PageEdgeFor(std::max(w, h) + kPadding);
    if (w > edge || h > edge) return false;
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device_->CreateTexture(edge, edge, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr)) ||
        !texture)
        return false;
    Page page;
    page.texture.reset(texture);
    page.width = page.height = edge;
    pages_.push_back(std::move(page));
    return true;
}

bool GlyphAtlas::Place(const GlyphBitmap& bitmap, int* page, RECT* box) {
    const UINT w = static_cast<UINT>(bitmap.width), h = static_cast<UINT>(bitmap.height);
    UINT x = 0, y = 0;
    // Only the newest page has room left worth looking for.
    if (pages_.empty() || !Fits(pages_.back(), w, h, &x, &y)) {
        if (!AddPage(w, h) || !Fits(pages_.back(), w, h, &x, &y)) return false;
    }
    const int index = static_cast<int>(pages_.size()) - 1;
    const RECT r{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + w), static_cast<LONG>(y + h)};

    IDirect3DTexture9* texture = pages_[index].texture.get();
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(0, &locked, &r, 0))) return false;
    for (UINT row = 0; row < h; ++row) {
        auto* dst = static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(row) * locked.Pitch;
        const uint8_t* src = &bitmap.coverage[static_cast<size_t>(row) * w];
        for (UINT col = 0; col < w; ++col) {
            const DWORD texel = (DWORD(src[col]) << 24) | 0x00FFFFFFu;
            std::memcpy(dst + static_cast<size_t>(col) * 4, &texel, 4);
        }
    }
    texture->UnlockRect(0);
    *page = index;
    *box = r;
    return true;
}

}  // namespace d3dx9
