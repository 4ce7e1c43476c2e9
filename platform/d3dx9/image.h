// Decoded pictures as 32-bit ARGB, and their conversion to and from the
// pixel formats surfaces and textures store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "d3dx9tex.h"

namespace d3dx {

struct Image {
    UINT width = 0;
    UINT height = 0;
    std::vector<uint32_t> argb;  // rows top first
    bool hasAlpha = false;       // the file carried alpha
    D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;
    D3DFORMAT fileFormatPixels = D3DFMT_X8R8G8B8;  // what the file's pixels are, for D3DXIMAGE_INFO

    uint32_t& At(UINT x, UINT y) { return argb[size_t(y) * width + x]; }
    uint32_t At(UINT x, UINT y) const { return argb[size_t(y) * width + x]; }
};

// BMP, PNG, JPEG, TGA (through stb_image) and uncompressed DDS. Pictures
// without alpha come out opaque. A bitmap shorter than its pixels is refused
// (not drawn half black). False with the reason in `why` when given.
bool DecodeImage(const std::vector<unsigned char>& file, Image* out, std::string* why = nullptr);

// Pixels equal to the key, their alpha taken as opaque, become transparent black.
void ApplyColorKey(Image& image, D3DCOLOR key);

// The part `rect` of `source` brought to width x height with the filter's
// kind (D3DX_FILTER_NONE: no scaling, uncovered pixels transparent black).
Image Resample(const Image& source, const RECT& rect, UINT width, UINT height, DWORD filter);

// Half size with a 2x2 box, for the next mip level.
Image HalfSize(const Image& source, UINT width, UINT height);

bool CanStore(D3DFORMAT format);
// Writes `image` into locked pixels of `format` (rows `pitch` bytes apart).
void StorePixels(const Image& image, D3DFORMAT format, void* bits, INT pitch);
// Reads width x height locked pixels of `format`; false for a format it does not know.
bool LoadPixels(D3DFORMAT format, const void* bits, INT pitch, UINT width, UINT height, Image* out);

}  // namespace d3dx
