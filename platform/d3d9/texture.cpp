#include <algorithm>
#include <cstring>

#include "objects.h"
#include "texture_content.h"

namespace d3d9 {

Texture::~Texture() {
    Owner()->TextureGone(Serial());
    Owner()->backend().Forget(Serial());
}

bool Texture::Init(UINT width, UINT height, UINT levels, D3DFORMAT format) {
    if (width == 0 || height == 0) return false;
    UINT full = 1;
    for (UINT w = width, h = height; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) ++full;
    if (levels == 0) levels = full;
    if (levels > full) return false;
    levels_.resize(levels);
    for (UINT i = 0; i < levels; ++i)
        if (!levels_[i].Init(format, std::max(1u, width >> i), std::max(1u, height >> i))) return false;
    surfaces_.resize(levels);
    written_.assign(levels, false);
    // Textures that can be drawn live in the back end; the others (system
    // memory, scratch) only here.
    if (pool_ == D3DPOOL_MANAGED || pool_ == D3DPOOL_DEFAULT)
        held_ = Owner()->backend().CreateTexture(Serial(), format, width, height, levels);
    Owner()->TextureMade(Serial(), this);
    return true;
}

void Texture::Materialize(UINT level) {
    PixelStore& s = levels_[level];
    if (s.Materialized()) return;
    s.Materialize();
    if (held_ && written_[level]) Owner()->backend().ReadTexture(Serial(), level, s);
}

void Texture::LevelWritten(UINT level, const RECT& rect) {
    written_[level] = true;
    ++version_;
    if (!held_) return;
    PixelStore& s = levels_[level];
    Owner()->backend().WriteTexture(Serial(), level, s, rect);
    s.Drop();
}

void Texture::LevelRead(UINT level) {
    if (held_) levels_[level].Drop();
}

bool Texture::CopyPixelsOf(Texture& from) {
    if (&from == this || from.Levels() != Levels() || from.Format() != Format() ||
        from.levels_[0].Width() != levels_[0].Width() || from.levels_[0].Height() != levels_[0].Height())
        return false;
    for (UINT i = 0; i < Levels(); ++i)
        if (levels_[i].Locked() || from.levels_[i].Locked()) return false;
    // Where the back end holds both, they share its pixels until either is written.
    if (held_ && from.held_ && Owner()->backend().ShareTexture(from.Serial(), Serial())) {
        written_ = from.written_;
        ++version_;
        for (PixelStore& level : levels_) level.Drop();
        return true;
    }
    for (UINT i = 0; i < Levels(); ++i) {
        from.Materialize(i);
        PixelStore& to = levels_[i];
        to.Materialize();
        std::memcpy(to.Data(), from.levels_[i].Data(), static_cast<size_t>(to.Pitch()) * to.Height());
        from.LevelRead(i);
        LevelWritten(i, to.Whole());
    }
    return true;
}

bool Texture::Implements(REFIID riid) const {
    return IsEqualGUID(riid, IID_IDirect3DTexture9) || IsEqualGUID(riid, IID_IDirect3DBaseTexture9) ||
           IsEqualGUID(riid, IID_IDirect3DResource9);
}

DWORD Texture::SetPriority(DWORD) { return 0; }

DWORD Texture::SetLOD(DWORD LODNew) {
    DWORD old = lod_;
    lod_ = std::min<DWORD>(LODNew, Levels() - 1);
    return old;
}

HRESULT Texture::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) {
    if (Level >= Levels() || !pDesc) return D3DERR_INVALIDCALL;
    const PixelStore& s = levels_[Level];
    *pDesc = D3DSURFACE_DESC{s.Format(), D3DRTYPE_SURFACE, usage_, pool_, D3DMULTISAMPLE_NONE, 0, s.Width(),
                             s.Height()};
    return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel) {
    if (Level >= Levels() || !ppSurfaceLevel) return D3DERR_INVALIDCALL;
    if (!surfaces_[Level]) surfaces_[Level] = std::make_unique<TextureSurface>(this, Level);
    surfaces_[Level]->AddRef();
    *ppSurfaceLevel = surfaces_[Level].get();
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) {
    if (Level >= Levels()) return D3DERR_INVALIDCALL;
    if (levels_[Level].Locked()) return levels_[Level].Lock(pLockedRect, pRect, Flags);  // refused
    Materialize(Level);
    HRESULT hr = levels_[Level].Lock(pLockedRect, pRect, Flags);
    if (FAILED(hr)) LevelRead(Level);  // a refused lock keeps no copy either
    return hr;
}

HRESULT Texture::UnlockRect(UINT Level) {
    if (Level >= Levels()) return D3DERR_INVALIDCALL;
    bool wasWrite = false;
    RECT written;
    HRESULT hr = levels_[Level].Unlock(&written, &wasWrite);
    if (SUCCEEDED(hr)) {
        if (wasWrite)
            LevelWritten(Level, written);
        else
            LevelRead(Level);
    }
    return hr;
}

HRESULT Texture::AddDirtyRect(const RECT*) {
    // Every write reaches the back end at its unlock already.
    return D3D_OK;
}

}  // namespace d3d9

namespace d3d9 {

bool TextureContent(IDirect3DTexture9* texture, unsigned* serial, uint64_t* version) {
    Texture* t = dynamic_cast<Texture*>(texture);
    if (!t) return false;
    *serial = t->Serial();
    *version = t->Version();
    return true;
}

bool CopyTextureContent(IDirect3DTexture9* to, unsigned serial, uint64_t version) {
    Texture* t = dynamic_cast<Texture*>(to);
    if (!t) return false;
    Texture* from = t->Owner()->FindTexture(serial);
    return from && from->Version() == version && t->CopyPixelsOf(*from);
}

}  // namespace d3d9
