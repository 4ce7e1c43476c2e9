// The CPU memory of a surface or of a texture level, and its lock. The bytes
// are made on first need (zeros): a texture whose pixels the back end holds,
// or a back buffer nobody locks, keeps no copy of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "d3d9types.h"

namespace d3d9 {

class PixelStore {
public:
    PixelStore() = default;
    PixelStore(const PixelStore&) = delete;
    PixelStore& operator=(const PixelStore&) = delete;
    PixelStore(PixelStore&&) = default;
    PixelStore& operator=(PixelStore&&) = delete;
    ~PixelStore() { Drop(); }

    // Bytes held by all stores together.
    static size_t LiveBytes();

    // False when the format or the size is not supported.
    bool Init(D3DFORMAT format, UINT width, UINT height);

    bool Materialized() const { return !bytes_.empty(); }
    void Materialize();
    // Gives the bytes back (not while locked).
    void Drop();

    // The bytes are made (zeros) if they are not yet.
    HRESULT Lock(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags);
    // `written` receives the locked rectangle when the lock allowed writing.
    HRESULT Unlock(RECT* written, bool* wasWrite);

    D3DFORMAT Format() const { return format_; }
    UINT Width() const { return width_; }
    UINT Height() const { return height_; }
    INT Pitch() const { return pitch_; }
    UINT BytesPerPixel() const { return bpp_; }
    bool Locked() const { return locked_; }
    // Only once materialized.
    uint8_t* Row(UINT y) { return bytes_.data() + static_cast<size_t>(y) * pitch_; }
    const uint8_t* Row(UINT y) const { return bytes_.data() + static_cast<size_t>(y) * pitch_; }
    uint8_t* Data() { return bytes_.data(); }
    const uint8_t* Data() const { return bytes_.data(); }
    RECT Whole() const { return RECT{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)}; }

    // True when `rect` (null: the whole) lies inside and is not inverted;
    // `out` receives it.
    bool Resolve(const RECT* rect, RECT* out) const;

private:
    D3DFORMAT format_ = D3DFMT_UNKNOWN;
    UINT width_ = 0;
    UINT height_ = 0;
    INT pitch_ = 0;
    UINT bpp_ = 0;
    std::vector<uint8_t> bytes_;
    bool locked_ = false;
    bool lockWrites_ = false;
    RECT lockRect_ = {};
};

}  // namespace d3d9
