#include "objects.h"

namespace d3d9 {

HRESULT SurfaceObject::GetDesc(D3DSURFACE_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    PixelStore& s = Store();
    *pDesc = D3DSURFACE_DESC{s.Format(), D3DRTYPE_SURFACE, Usage(), Pool(), D3DMULTISAMPLE_NONE, 0,
                             s.Width(), s.Height()};
    return D3D_OK;
}

HRESULT SurfaceObject::LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) {
    if (!Lockable()) return D3DERR_INVALIDCALL;
    PixelStore& s = Store();
    if (!s.Locked()) BeforeRead();
    return s.Lock(pLockedRect, pRect, Flags);
}

HRESULT SurfaceObject::UnlockRect() {
    RECT written;
    bool wasWrite = false;
    HRESULT hr = Store().Unlock(&written, &wasWrite);
    if (SUCCEEDED(hr) && wasWrite) AfterWrite(written);
    return hr;
}

DWORD SurfaceObject::SetPriority(DWORD) { return 0; }

Surface::Surface(Device* device, Kind kind, D3DPOOL pool) : DeviceChild(device), kind_(kind), pool_(pool) {}

bool Surface::Implements(REFIID riid) const {
    return IsEqualGUID(riid, IID_IDirect3DSurface9) || IsEqualGUID(riid, IID_IDirect3DResource9);
}

HRESULT Surface::GetContainer(REFIID riid, void** ppContainer) {
    // A surface that no texture holds belongs to its device.
    if (!ppContainer) return D3DERR_INVALIDCALL;
    return Owner()->QueryInterface(riid, ppContainer);
}

bool Surface::Lockable() const {
    return kind_ != Kind::BackBuffer ||
           (Owner()->presentParameters().Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
}

void Surface::BeforeRead() {
    if (kind_ == Kind::BackBuffer) sync_.BeforeAccess(store_, Owner()->backend(), Owner()->targetGeneration());
}

void Surface::AfterWrite(const RECT& rect) {
    if (kind_ == Kind::BackBuffer) sync_.Written(rect);
}

void Surface::FlushWrites() {
    if (kind_ == Kind::BackBuffer) sync_.Flush(store_, Owner()->backend());
}

HRESULT TextureSurface::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDirect3DSurface9) ||
        IsEqualGUID(riid, IID_IDirect3DResource9)) {
        *out = static_cast<IDirect3DSurface9*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG TextureSurface::AddRef() { return texture_->AddRef(); }
ULONG TextureSurface::Release() { return texture_->Release(); }
HRESULT TextureSurface::GetDevice(IDirect3DDevice9** ppDevice) { return texture_->GetDevice(ppDevice); }
HRESULT TextureSurface::GetContainer(REFIID riid, void** ppContainer) {
    if (!ppContainer) return D3DERR_INVALIDCALL;
    return texture_->QueryInterface(riid, ppContainer);
}
PixelStore& TextureSurface::Store() { return texture_->Level(level_); }
Device* TextureSurface::OwnerDevice() const { return texture_->Owner(); }
DWORD TextureSurface::Usage() const { return texture_->Usage(); }
D3DPOOL TextureSurface::Pool() const { return texture_->Pool(); }
void TextureSurface::AfterWrite(const RECT&) { texture_->Changed(); }

}  // namespace d3d9
