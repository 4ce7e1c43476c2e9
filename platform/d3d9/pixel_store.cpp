#include "pixel_store.h"

#include "formats.h"

namespace d3d9 {

namespace {
size_t g_liveBytes = 0;
}  // namespace

size_t PixelStore::LiveBytes() { return g_liveBytes; }

bool PixelStore::Init(D3DFORMAT format, UINT width, UINT height) {
    UINT bpp = d3d9::BytesPerPixel(format);
    if (bpp == 0 || width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize)
        return false;
    format_ = format;
    width_ = width;
    height_ = height;
    bpp_ = bpp;
    pitch_ = static_cast<INT>((width * bpp + 3) & ~3u);  // rows start on 4-byte boundaries
    Drop();
    return true;
}

void PixelStore::Materialize() {
    if (!bytes_.empty()) return;
    bytes_.assign(static_cast<size_t>(pitch_) * height_, 0);
    g_liveBytes += bytes_.size();
}

void PixelStore::Drop() {
    if (locked_ || bytes_.empty()) return;
    g_liveBytes -= bytes_.size();
    std::vector<uint8_t>().swap(bytes_);
}

bool PixelStore::Resolve(const RECT* rect, RECT* out) const {
    if (!rect) {
        *out = Whole();
        return true;
    }
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        rect->right > static_cast<LONG>(width_) || rect->bottom > static_cast<LONG>(height_))
        return false;
    *out = *rect;
    return true;
}

HRESULT PixelStore::Lock(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    if (!out || locked_) return D3DERR_INVALIDCALL;
    RECT r;
    if (!Resolve(rect, &r)) return D3DERR_INVALIDCALL;
    Materialize();
    locked_ = true;
    lockWrites_ = (flags & D3DLOCK_READONLY) == 0;
    lockRect_ = r;
    out->Pitch = pitch_;
    out->pBits = Row(static_cast<UINT>(r.top)) + static_cast<size_t>(r.left) * bpp_;
    return D3D_OK;
}

HRESULT PixelStore::Unlock(RECT* written, bool* wasWrite) {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (written) *written = lockRect_;
    if (wasWrite) *wasWrite = lockWrites_;
    return D3D_OK;
}

}  // namespace d3d9
