// Textures and surfaces filled from image files or from other surfaces.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "d3dx9mesh.h"
#include "formats.h"
#include "image.h"
#include "load_cache.h"
#include "texture_content.h"
#include "paths.h"
#include "report.h"
#include "testing_d3dx9.h"

namespace d3dx {

namespace {

// The picture of a file. A file that gives none is named on the debugger output
// with the cause: else the model is just drawn untextured, and nobody knows why.
bool Decode(LPCSTR path, Image* out) {
    std::vector<unsigned char> file;
    std::string why;
    errno = 0;
    if (!layer::ReadWholeFile(path, file))
        why = errno == ENOENT ? "no such file"
                              : std::string("cannot be read") + (errno ? std::string(": ") + std::strerror(errno) : "");
    else if (DecodeImage(file, out, &why))
        return true;
    layer::ReportOnce(std::string("Texture: ") + path + ": " + why);
    return false;
}

void Describe(const Image& image, D3DRESOURCETYPE type, D3DXIMAGE_INFO* info) {
    if (!info) return;
    *info = D3DXIMAGE_INFO{image.width, image.height, 1, 1, image.fileFormatPixels, type, image.fileFormat};
}

// A texture's side: as asked, or from the file's, rounded up to a power of
// two unless the request says not to.
UINT TextureSide(UINT requested, UINT file) {
    if (requested == D3DX_DEFAULT_NONPOW2 || requested == D3DX_FROM_FILE) return file;
    if (requested != 0 && requested != D3DX_DEFAULT) return requested;
    UINT side = 1;
    while (side < file) side <<= 1;
    return side;
}

// `rect` (null: all of width x height) when it lies inside and is not empty.
bool Inside(const RECT* rect, UINT width, UINT height, RECT* out) {
    RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    if (r.left < 0 || r.top < 0 || r.right <= r.left || r.bottom <= r.top || UINT(r.right) > width ||
        UINT(r.bottom) > height)
        return false;
    *out = r;
    return true;
}

// Puts `source` (already keyed) into the rectangle of a surface.
HRESULT Store(IDirect3DSurface9* dest, const RECT* destRect, const Image& source, const RECT& sourceRect,
              DWORD filter) {
    D3DSURFACE_DESC desc;
    HRESULT hr = dest->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    RECT to;
    if (!Inside(destRect, desc.Width, desc.Height, &to) || !CanStore(desc.Format)) return D3DERR_INVALIDCALL;
    Image placed = Resample(source, sourceRect, UINT(to.right - to.left), UINT(to.bottom - to.top), filter);
    D3DLOCKED_RECT locked;
    if (FAILED(hr = dest->LockRect(&locked, &to, 0))) return hr;
    StorePixels(placed, desc.Format, locked.pBits, locked.Pitch);
    return dest->UnlockRect();
}

}  // namespace

}  // namespace d3dx

namespace d3dx {
namespace {

// What a texture made from a file holds: its levels in its format, rows
// packed, until they are in the texture; then the texture itself is where a
// texture made again from the file takes them from.
struct TexturePixels {
    UINT width = 0, height = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT levelCount = 0;
    std::vector<std::vector<uint8_t>> levels;
    Image source;  // described only: width, height and the file's kind
    // The texture last made with these pixels, and the version of its pixels
    // then (it may have been written since).
    mutable unsigned texture = 0;
    mutable uint64_t version = 0;
};

// Pictures made in this load, by file and by the arguments that shape them.
layer::LoadCache<TexturePixels>& Made() {
    static auto* cache = new layer::LoadCache<TexturePixels>;  // immortal: used at exit
    return *cache;
}

unsigned& PicturesDecoded() {
    static unsigned decoded = 0;
    return decoded;
}

// The picture of the file scaled, keyed, converted and halved down its mip
// chain, as the arguments ask; the texture is made (and may refuse) before
// the levels are worked out.
HRESULT MakePixels(LPDIRECT3DDEVICE9 device, LPCSTR path, UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                   D3DFORMAT Format, D3DPOOL Pool, DWORD Filter, D3DCOLOR ColorKey, TexturePixels* out,
                   IDirect3DTexture9** texture) {
    Image image;
    if (!Decode(path, &image)) return D3DXERR_INVALIDDATA;
    ++PicturesDecoded();
    ApplyColorKey(image, ColorKey);

    const UINT width = TextureSide(Width, image.width);
    const UINT height = TextureSide(Height, image.height);
    UINT full = 1;
    for (UINT w = width, h = height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) ++full;
    UINT levels = MipLevels == 0 || MipLevels == D3DX_DEFAULT ? full : MipLevels == D3DX_FROM_FILE ? 1 : MipLevels;
    levels = std::min(levels, full);
    D3DFORMAT format = Format;
    if (format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE || format == static_cast<D3DFORMAT>(D3DX_DEFAULT))
        format = image.hasAlpha || ColorKey != 0 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    else if (!CanStore(format))
        format = D3DFMT_A8R8G8B8;

    HRESULT hr = device->CreateTexture(width, height, levels, Usage, format, Pool, texture, nullptr);
    if (FAILED(hr)) return hr;
    out->width = width;
    out->height = height;
    out->format = format;
    const UINT bytes = d3d9::BytesPerPixel(format);
    const RECT all = {0, 0, static_cast<LONG>(image.width), static_cast<LONG>(image.height)};
    Image level = Resample(image, all, width, height, Filter);
    for (UINT i = 0; i < levels; ++i) {
        if (i > 0) level = HalfSize(level, std::max(1u, width >> i), std::max(1u, height >> i));
        std::vector<uint8_t> packed(size_t(level.width) * level.height * bytes);
        StorePixels(level, format, packed.data(), INT(level.width * bytes));
        out->levels.push_back(std::move(packed));
    }
    out->levelCount = levels;
    image.argb.clear();
    image.argb.shrink_to_fit();
    out->source = std::move(image);
    return D3D_OK;
}

// Copies the levels into a texture made for them.
HRESULT FillTexture(IDirect3DTexture9* texture, const TexturePixels& pixels) {
    const UINT bytes = d3d9::BytesPerPixel(pixels.format);
    for (UINT i = 0; i < pixels.levels.size(); ++i) {
        const UINT w = std::max(1u, pixels.width >> i), h = std::max(1u, pixels.height >> i);
        D3DLOCKED_RECT locked;
        HRESULT hr = texture->LockRect(i, &locked, nullptr, 0);
        if (FAILED(hr)) return hr;
        for (UINT y = 0; y < h; ++y)
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch,
                        pixels.levels[i].data() + size_t(y) * w * bytes, size_t(w) * bytes);
        texture->UnlockRect(i);
    }
    return D3D_OK;
}

}  // namespace
}  // namespace d3dx

HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, UINT Width, UINT Height,
                                            UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                            DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                            D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY*, LPDIRECT3DTEXTURE9* ppTexture) {
    (void)MipFilter;  // mip levels are always box-filtered
    if (!pDevice || !pSrcFile || !ppTexture) return D3DERR_INVALIDCALL;
    // A file named again in this load is not decoded again; each call still
    // makes a texture of its own.
    layer::FileStamp stamp;
    const bool stamped = layer::StampFile(pSrcFile, &stamp);
    char key[96];
    std::snprintf(key, sizeof key, "%u %u %u %d %lu %lu", Width, Height, MipLevels, static_cast<int>(Format),
                  static_cast<unsigned long>(Filter), static_cast<unsigned long>(ColorKey));
    std::shared_ptr<const d3dx::TexturePixels> pixels = stamped ? d3dx::Made().Find(stamp, key) : nullptr;
    IDirect3DTexture9* texture = nullptr;
    HRESULT hr;
    if (pixels) {
        hr = pDevice->CreateTexture(pixels->width, pixels->height, pixels->levelCount, Usage, pixels->format, Pool,
                                    &texture, nullptr);
        if (FAILED(hr)) return hr;
        // From the texture made last, unless it was written since (or is gone):
        // then from the file again.
        if (!d3d9::CopyTextureContent(texture, pixels->texture, pixels->version)) {
            texture->Release();
            texture = nullptr;
            pixels = nullptr;
        }
    }
    if (!pixels) {
        auto made = std::make_shared<d3dx::TexturePixels>();
        hr = d3dx::MakePixels(pDevice, pSrcFile, Width, Height, MipLevels, Usage, Format, Pool, Filter, ColorKey,
                              made.get(), &texture);
        if (FAILED(hr)) return hr;
        if (FAILED(hr = d3dx::FillTexture(texture, *made))) {
            texture->Release();
            return hr;
        }
        // The texture holds them now: no copy is kept besides.
        std::vector<std::vector<uint8_t>>().swap(made->levels);
        pixels = made;
        if (stamped) d3dx::Made().Keep(stamp, key, pixels);
    }
    d3d9::TextureContent(texture, &pixels->texture, &pixels->version);
    d3dx::Describe(pixels->source, D3DRTYPE_TEXTURE, pSrcInfo);
    *ppTexture = texture;
    return D3D_OK;
}

HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, LPDIRECT3DTEXTURE9* ppTexture) {
    return D3DXCreateTextureFromFileExA(pDevice, pSrcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                        nullptr, ppTexture);
}

HRESULT WINAPI D3DXLoadSurfaceFromFileA(LPDIRECT3DSURFACE9 pDestSurface, const PALETTEENTRY*, const RECT* pDestRect,
                                        LPCSTR pSrcFile, const RECT* pSrcRect, DWORD Filter, D3DCOLOR ColorKey,
                                        D3DXIMAGE_INFO* pSrcInfo) {
    if (!pDestSurface || !pSrcFile) return D3DERR_INVALIDCALL;
    d3dx::Image image;
    if (!d3dx::Decode(pSrcFile, &image)) return D3DXERR_INVALIDDATA;
    RECT from;
    if (!d3dx::Inside(pSrcRect, image.width, image.height, &from)) return D3DERR_INVALIDCALL;
    d3dx::ApplyColorKey(image, ColorKey);
    HRESULT hr = d3dx::Store(pDestSurface, pDestRect, image, from, Filter);
    if (SUCCEEDED(hr)) d3dx::Describe(image, D3DRTYPE_SURFACE, pSrcInfo);
    return hr;
}

HRESULT WINAPI D3DXLoadSurfaceFromSurface(LPDIRECT3DSURFACE9 pDestSurface, const PALETTEENTRY*,
                                          const RECT* pDestRect, LPDIRECT3DSURFACE9 pSrcSurface,
                                          const PALETTEENTRY*, const RECT* pSrcRect, DWORD Filter,
                                          D3DCOLOR ColorKey) {
    if (!pDestSurface || !pSrcSurface) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc;
    HRESULT hr = pSrcSurface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    RECT from;
    if (!d3dx::Inside(pSrcRect, desc.Width, desc.Height, &from)) return D3DERR_INVALIDCALL;
    // Read the source whole and unlock it first: it may be the destination too.
    D3DLOCKED_RECT locked;
    if (FAILED(hr = pSrcSurface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) return hr;
    d3dx::Image image;
    const bool known = d3dx::LoadPixels(desc.Format, locked.pBits, locked.Pitch, desc.Width, desc.Height, &image);
    pSrcSurface->UnlockRect();
    if (!known) return D3DERR_INVALIDCALL;
    d3dx::ApplyColorKey(image, ColorKey);
    return d3dx::Store(pDestSurface, pDestRect, image, from, Filter);
}

unsigned platform_testing::D3DXPicturesDecoded() { return d3dx::PicturesDecoded(); }
