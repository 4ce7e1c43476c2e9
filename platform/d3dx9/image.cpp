#include "image.h"

#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3dx {

namespace {

// Beyond this a picture is not worth decoding (and the device refuses it anyway).
constexpr int kMaxSide = 16384;

uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// One channel of a pixel through its mask, scaled to 8 bits.
uint32_t Channel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const uint32_t max = mask >> shift;
    return static_cast<uint32_t>((uint64_t((pixel & mask) >> shift) * 255 + max / 2) / max);
}

bool Refuse(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return false;
}

bool Absurd(int64_t width, int64_t height) {
    return width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide;
}

std::string AbsurdSize(int64_t width, int64_t height) {
    return "a picture of " + std::to_string(width) + "x" + std::to_string(height) +
           " pixels is not possible here (1 to " + std::to_string(kMaxSide) + " on a side)";
}

std::string Truncated(uint64_t need, size_t have) {
    return "truncated: its pixels end at byte " + std::to_string(need) + ", the file has " + std::to_string(have);
}

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The decoder reads past the end of a short bitmap as black; such a file is
// refused instead. Only uncompressed bitmaps have a length to check.
bool BitmapComplete(const std::vector<unsigned char>& f, std::string* why) {
    if (f.size() < 26) return Refuse(why, Truncated(26, f.size()));
    const uint32_t offset = Le32(&f[10]), header = Le32(&f[14]);
    int64_t width, height;
    uint32_t bits, compression = 0;
    if (header == 12) {  // the oldest header: 16-bit sizes
        width = Le16(&f[18]);
        height = Le16(&f[20]);
        bits = Le16(&f[24]);
    } else {
        if (f.size() < 34) return Refuse(why, Truncated(34, f.size()));
        width = static_cast<int32_t>(Le32(&f[18]));
        height = static_cast<int32_t>(Le32(&f[22]));
        bits = Le16(&f[28]);
        compression = Le32(&f[30]);
    }
    if (height < 0) height = -height;  // top-down rows
    if (Absurd(width, height)) return Refuse(why, AbsurdSize(width, height));
    const uint32_t kRgb = 0, kBitfields = 3;
    if ((compression != kRgb && compression != kBitfields) || bits == 0 || bits > 32) return true;
    const uint64_t row = (uint64_t(width) * bits + 31) / 32 * 4;
    const uint64_t need = uint64_t(offset) + row * uint64_t(height);
    if (need > f.size()) return Refuse(why, Truncated(need, f.size()));
    return true;
}

// Uncompressed DDS with RGB masks; compressed and cube or volume files are refused.
bool DecodeDds(const std::vector<unsigned char>& f, Image* out, std::string* why) {
    if (f.size() < 128 || Le32(&f[4]) != 124 || Le32(&f[76]) != 32)
        return Refuse(why, "not a DDS file this program reads (its header is damaged)");
    const uint32_t height = Le32(&f[12]), width = Le32(&f[16]);
    const uint32_t flags = Le32(&f[80]), bits = Le32(&f[88]);
    const uint32_t rMask = Le32(&f[92]), gMask = Le32(&f[96]), bMask = Le32(&f[100]), aMask = Le32(&f[104]);
    const uint32_t kRgb = 0x40, kAlphaPixels = 0x1, kLuminance = 0x20000;
    if (!(flags & (kRgb | kLuminance)) || (bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return Refuse(why, "a compressed DDS file, which this program does not read");
    if (Absurd(width, height)) return Refuse(why, AbsurdSize(width, height));
    const size_t bytes = bits / 8, pitch = (size_t(width) * bits + 7) / 8;
    if (f.size() - 128 < pitch * height) return Refuse(why, Truncated(128 + uint64_t(pitch) * height, f.size()));
    Image img;
    img.width = width;
    img.height = height;
    img.argb.resize(size_t(width) * height);
    img.hasAlpha = (flags & kAlphaPixels) && aMask;
    img.fileFormat = D3DXIFF_DDS;
    img.fileFormatPixels = img.hasAlpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const unsigned char* p = &f[128 + y * pitch + x * bytes];
            uint32_t v = 0;
            for (size_t i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
            uint32_t r = Channel(v, rMask);
            uint32_t g = (flags & kLuminance) ? r : Channel(v, gMask);
            uint32_t b = (flags & kLuminance) ? r : Channel(v, bMask);
            uint32_t a = img.hasAlpha ? Channel(v, aMask) : 255;
            img.At(x, y) = a << 24 | r << 16 | g << 8 | b;
        }
    *out = std::move(img);
    return true;
}

uint32_t Pack(float a, float r, float g, float b) {
    auto c = [](float v) { return static_cast<uint32_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); };
    return c(a) << 24 | c(r) << 16 | c(g) << 8 | c(b);
}

}  // namespace

bool DecodeImage(const std::vector<unsigned char>& file, Image* out, std::string* why) {
    if (file.size() >= 4 && std::memcmp(file.data(), "DDS ", 4) == 0) return DecodeDds(file, out, why);
    if (file.empty()) return Refuse(why, "the file is empty");
    if (file.size() > size_t(INT32_MAX)) return Refuse(why, "the file is too large for a picture");
    const bool bitmap = file.size() >= 2 && file[0] == 'B' && file[1] == 'M';
    if (bitmap && !BitmapComplete(file, why)) return false;
    const int size = static_cast<int>(file.size());
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(file.data(), size, &w, &h, &channels))
        return Refuse(why, std::string("not a picture this program reads (") + stbi_failure_reason() + ")");
    // A top-down bitmap's height comes back as stored, negative.
    if (h < 0 && h >= -kMaxSide) h = -h;
    if (Absurd(w, h)) return Refuse(why, AbsurdSize(w, h));
    unsigned char* rgba = stbi_load_from_memory(file.data(), size, &w, &h, &channels, 4);
    if (!rgba) return Refuse(why, std::string("the picture is damaged (") + stbi_failure_reason() + ")");
    Image img;
    img.width = static_cast<UINT>(w);
    img.height = static_cast<UINT>(h);
    img.argb.resize(size_t(w) * h);
    img.hasAlpha = channels == 2 || channels == 4;
    for (size_t i = 0; i < img.argb.size(); ++i) {
        const unsigned char* p = rgba + i * 4;
        const uint32_t a = img.hasAlpha ? p[3] : 255;
        img.argb[i] = a << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    stbi_image_free(rgba);
    if (bitmap) {
        img.fileFormat = D3DXIFF_BMP;
    } else if (file.size() >= 4 && file[0] == 0x89 && file[1] == 'P' && file[2] == 'N' && file[3] == 'G') {
        img.fileFormat = D3DXIFF_PNG;
    } else if (file.size() >= 2 && file[0] == 0xFF && file[1] == 0xD8) {
        img.fileFormat = D3DXIFF_JPG;
    } else {
        img.fileFormat = D3DXIFF_TGA;
    }
    img.fileFormatPixels = img.hasAlpha ? D3DFMT_A8R8G8B8 : (img.fileFormat == D3DXIFF_JPG || channels == 3)
                                                              ? D3DFMT_R8G8B8
                                                              : D3DFMT_X8R8G8B8;
    *out = std::move(img);
    return true;
}

void ApplyColorKey(Image& image, D3DCOLOR key) {
    if (key == 0) return;
    for (uint32_t& p : image.argb)
        if ((p | 0xFF000000u) == key) p = 0;
}

Image Resample(const Image& source, const RECT& rect, UINT width, UINT height, DWORD filter) {
    Image out;
    out.width = width;
    out.height = height;
    out.argb.assign(size_t(width) * height, 0);
    out.hasAlpha = source.hasAlpha;
    const UINT sw = static_cast<UINT>(rect.right - rect.left), sh = static_cast<UINT>(rect.bottom - rect.top);
    if (sw == 0 || sh == 0 || width == 0 || height == 0) return out;
    const DWORD kind = filter & 0xFF;
    if (kind == D3DX_FILTER_NONE || (sw == width && sh == height)) {
        for (UINT y = 0; y < std::min(sh, height); ++y)
            for (UINT x = 0; x < std::min(sw, width); ++x) out.At(x, y) = source.At(rect.left + x, rect.top + y);
        return out;
    }
    if (kind == D3DX_FILTER_POINT) {
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x)
                out.At(x, y) = source.At(rect.left + UINT(uint64_t(x) * sw / width),
                                         rect.top + UINT(uint64_t(y) * sh / height));
        return out;
    }
    // Bilinear between pixel centres, edges clamped.
    for (UINT y = 0; y < height; ++y) {
        float fy = std::clamp((y + 0.5f) * sh / height - 0.5f, 0.0f, float(sh - 1));
        UINT y0 = static_cast<UINT>(fy), y1 = std::min(y0 + 1, sh - 1);
        float ty = fy - y0;
        for (UINT x = 0; x < width; ++x) {
            float fx = std::clamp((x + 0.5f) * sw / width - 0.5f, 0.0f, float(sw - 1));
            UINT x0 = static_cast<UINT>(fx), x1 = std::min(x0 + 1, sw - 1);
            float tx = fx - x0;
            uint32_t p[4] = {source.At(rect.left + x0, rect.top + y0), source.At(rect.left + x1, rect.top + y0),
                             source.At(rect.left + x0, rect.top + y1), source.At(rect.left + x1, rect.top + y1)};
            float c[4];
            for (int k = 0; k < 4; ++k) {
                const int shift = 24 - 8 * k;
                auto ch = [&](int i) { return float((p[i] >> shift) & 0xFF); };
                float top = ch(0) + (ch(1) - ch(0)) * tx, bottom = ch(2) + (ch(3) - ch(2)) * tx;
                c[k] = top + (bottom - top) * ty;
            }
            out.At(x, y) = Pack(c[0], c[1], c[2], c[3]);
        }
    }
    return out;
}

Image HalfSize(const Image& source, UINT width, UINT height) {
    Image out;
    out.width = width;
    out.height = height;
    out.argb.resize(size_t(width) * height);
    out.hasAlpha = source.hasAlpha;
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            UINT x0 = std::min(2 * x, source.width - 1), x1 = std::min(2 * x + 1, source.width - 1);
            UINT y0 = std::min(2 * y, source.height - 1), y1 = std::min(2 * y + 1, source.height - 1);
            uint32_t p[4] = {source.At(x0, y0), source.At(x1, y0), source.At(x0, y1), source.At(x1, y1)};
            float c[4];
            for (int k = 0; k < 4; ++k) {
                const int shift = 24 - 8 * k;
                c[k] = 0;
                for (uint32_t q : p) c[k] += float((q >> shift) & 0xFF);
                c[k] /= 4;
            }
            out.At(x, y) = Pack(c[0], c[1], c[2], c[3]);
        }
    return out;
}

bool CanStore(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
        case D3DFMT_A8B8G8R8:
        case D3DFMT_X8B8G8R8:
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4:
        case D3DFMT_A8:
        case D3DFMT_L8:
        case D3DFMT_A8L8:
            return true;
        default:
            return false;
    }
}

void StorePixels(const Image& image, D3DFORMAT format, void* bits, INT pitch) {
    for (UINT y = 0; y < image.height; ++y) {
        auto* row = static_cast<unsigned char*>(bits) + ptrdiff_t(y) * pitch;
        for (UINT x = 0; x < image.width; ++x) {
            const uint32_t p = image.At(x, y);
            const uint32_t a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            const uint32_t l = (r * 299 + g * 587 + b * 114 + 500) / 1000;
            uint32_t v32 = 0;
            uint16_t v16 = 0;
            switch (format) {
                case D3DFMT_A8R8G8B8: v32 = p; break;
                case D3DFMT_X8R8G8B8: v32 = p | 0xFF000000u; break;
                case D3DFMT_A8B8G8R8: v32 = a << 24 | b << 16 | g << 8 | r; break;
                case D3DFMT_X8B8G8R8: v32 = 0xFF000000u | b << 16 | g << 8 | r; break;
                case D3DFMT_R5G6B5: v16 = uint16_t((r >> 3) << 11 | (g >> 2) << 5 | b >> 3); break;
                case D3DFMT_X1R5G5B5: v16 = uint16_t(0x8000 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3); break;
                case D3DFMT_A1R5G5B5:
                    v16 = uint16_t((a >= 128 ? 0x8000 : 0) | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
                    break;
                case D3DFMT_A4R4G4B4: v16 = uint16_t((a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4); break;
                case D3DFMT_X4R4G4B4: v16 = uint16_t(0xF000 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4); break;
                case D3DFMT_A8: row[x] = static_cast<unsigned char>(a); continue;
                case D3DFMT_L8: row[x] = static_cast<unsigned char>(l); continue;
                case D3DFMT_A8L8: v16 = uint16_t(a << 8 | l); break;
                default: continue;
            }
            if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8B8G8R8 ||
                format == D3DFMT_X8B8G8R8)
                std::memcpy(row + size_t(x) * 4, &v32, 4);
            else
                std::memcpy(row + size_t(x) * 2, &v16, 2);
        }
    }
}

bool LoadPixels(D3DFORMAT format, const void* bits, INT pitch, UINT width, UINT height, Image* out) {
    if (!CanStore(format)) return false;
    Image img;
    img.width = width;
    img.height = height;
    img.argb.resize(size_t(width) * height);
    img.hasAlpha = format == D3DFMT_A8R8G8B8 || format == D3DFMT_A8B8G8R8 || format == D3DFMT_A1R5G5B5 ||
                   format == D3DFMT_A4R4G4B4 || format == D3DFMT_A8 || format == D3DFMT_A8L8;
    auto expand = [](uint32_t v, int bitsWide) { return (v * 255 + ((1u << bitsWide) - 1) / 2) / ((1u << bitsWide) - 1); };
    for (UINT y = 0; y < height; ++y) {
        auto* row = static_cast<const unsigned char*>(bits) + ptrdiff_t(y) * pitch;
        for (UINT x = 0; x < width; ++x) {
            uint32_t v32 = 0;
            uint16_t v16 = 0;
            if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8B8G8R8 ||
                format == D3DFMT_X8B8G8R8)
                std::memcpy(&v32, row + size_t(x) * 4, 4);
            else if (format != D3DFMT_A8 && format != D3DFMT_L8)
                std::memcpy(&v16, row + size_t(x) * 2, 2);
            uint32_t a = 255, r = 0, g = 0, b = 0;
            switch (format) {
                case D3DFMT_A8R8G8B8: a = v32 >> 24; [[fallthrough]];
                case D3DFMT_X8R8G8B8: r = (v32 >> 16) & 0xFF; g = (v32 >> 8) & 0xFF; b = v32 & 0xFF; break;
                case D3DFMT_A8B8G8R8: a = v32 >> 24; [[fallthrough]];
                case D3DFMT_X8B8G8R8: b = (v32 >> 16) & 0xFF; g = (v32 >> 8) & 0xFF; r = v32 & 0xFF; break;
                case D3DFMT_R5G6B5:
                    r = expand(v16 >> 11, 5); g = expand((v16 >> 5) & 63, 6); b = expand(v16 & 31, 5);
                    break;
                case D3DFMT_A1R5G5B5: a = (v16 & 0x8000) ? 255 : 0; [[fallthrough]];
                case D3DFMT_X1R5G5B5:
                    r = expand((v16 >> 10) & 31, 5); g = expand((v16 >> 5) & 31, 5); b = expand(v16 & 31, 5);
                    break;
                case D3DFMT_A4R4G4B4: a = expand(v16 >> 12, 4); [[fallthrough]];
                case D3DFMT_X4R4G4B4:
                    r = expand((v16 >> 8) & 15, 4); g = expand((v16 >> 4) & 15, 4); b = expand(v16 & 15, 4);
                    break;
                case D3DFMT_A8: a = row[x]; break;
                case D3DFMT_L8: r = g = b = row[x]; break;
                case D3DFMT_A8L8: a = v16 >> 8; r = g = b = v16 & 0xFF; break;
                default: break;
            }
            img.At(x, y) = a << 24 | r << 16 | g << 8 | b;
        }
    }
    *out = std::move(img);
    return true;
}

}  // namespace d3dx
