#include "device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "buffer_contents.h"
#include "formats.h"
#include "load_cache.h"
#include "native.h"
#include "objects.h"
#include "seams.h"

// Records a call when the log is on; the arguments are only formatted then.
#define D3D9_LOG(...) \
    if (seams::Recording()) seams::Record(seams::Format(__VA_ARGS__))

namespace d3d9 {

namespace {

// Buffers larger than this are refused rather than allocated.
constexpr UINT kMaxBufferBytes = 256u << 20;

std::string MatrixText(const D3DMATRIX* m) {
    if (!m) return "null";
    std::string s = "{";
    for (int i = 0; i < 16; ++i) {
        if (i) s += ',';
        s += seams::Format("%g", m->m[i / 4][i % 4]);
    }
    return s + "}";
}

std::string FloatsText(const float* v, UINT n) {
    if (!v) return "null";
    std::string s = "{";
    for (UINT i = 0; i < n; ++i) {
        if (i) s += ',';
        s += seams::Format("%g", v[i]);
    }
    return s + "}";
}

std::string RectText(const RECT* r) {
    return r ? seams::Format("{%d,%d,%d,%d}", r->left, r->top, r->right, r->bottom) : "null";
}

std::string ColorText(const D3DCOLORVALUE& c) { return seams::Format("{%g,%g,%g,%g}", c.r, c.g, c.b, c.a); }

const char* DataText(const void* p) { return p ? "data" : "null"; }

std::string CreatedText(const Identified* object) { return object ? seams::Id(object->Serial()) : "failed"; }

template <class T>
std::string ObjectText(T* object) {
    return seams::Id(object ? object->Serial() : 0);
}

// Intersection of two rectangles; false when empty.
bool Intersect(const RECT& a, const RECT& b, RECT* out) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.left >= r.right || r.top >= r.bottom) return false;
    *out = r;
    return true;
}

// Surfaces whose pixels can be copied byte for byte into each other. The X and A
// variants of a 32-bit format differ only in whether alpha means anything.
bool CopyCompatible(D3DFORMAT a, D3DFORMAT b) {
    auto norm = [](D3DFORMAT f) {
        if (f == D3DFMT_X8R8G8B8) return D3DFMT_A8R8G8B8;
        if (f == D3DFMT_X8B8G8R8) return D3DFMT_A8B8G8R8;
        if (f == D3DFMT_X1R5G5B5) return D3DFMT_A1R5G5B5;
        if (f == D3DFMT_X4R4G4B4) return D3DFMT_A4R4G4B4;
        return f;
    };
    return norm(a) == norm(b);
}

// A refused call: the reason follows the call in the log, so that a test can
// tell which rule refused it.
HRESULT Refuse(HRESULT hr, const char* reason) {
    if (seams::Recording()) seams::Refused(reason);
    return hr;
}

template <class T>
T* Own(IUnknown* object, Device* device) {
    T* t = dynamic_cast<T*>(object);
    return t && t->Owner() == device ? t : nullptr;
}

SurfaceObject* OwnSurface(IDirect3DSurface9* surface, Device* device) {
    SurfaceObject* s = dynamic_cast<SurfaceObject*>(surface);
    return s && s->OwnerDevice() == device ? s : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation

HRESULT Device::Create(IDirect3D9* d3d, UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD flags,
                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out) {
    platform_testing::D3D9DeviceRecord& record = seams::DeviceRecord();
    record.calls++;
    record.adapter = adapter;
    record.deviceType = type;
    record.focusWindow = focusWindow;
    record.behaviorFlags = flags;
    record.presentParameters = params ? *params : D3DPRESENT_PARAMETERS{};
    D3D9_LOG("CreateDevice(%u,%d,%s,0x%x,%s)", adapter, static_cast<int>(type), focusWindow ? "window" : "null",
             flags, DataText(params));

    if (!params || !out) return Refuse(D3DERR_INVALIDCALL, "no parameters or no out-pointer");
    if (adapter != D3DADAPTER_DEFAULT) return Refuse(D3DERR_INVALIDCALL, "only the default adapter exists");
    if (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF)
        return Refuse(D3DERR_NOTAVAILABLE, "only HAL and REF devices exist");
    DWORD processing = flags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                D3DCREATE_MIXED_VERTEXPROCESSING);
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING)
        return Refuse(D3DERR_INVALIDCALL, "not exactly one kind of vertex processing");

    HRESULT forced = seams::CreateDeviceFailure(params->Windowed != FALSE);
    if (FAILED(forced)) return Refuse(forced, "a failure forced by a test");

    D3DPRESENT_PARAMETERS p = *params;
    HWND window = p.hDeviceWindow ? p.hDeviceWindow : focusWindow;
    const bool windowed = p.Windowed != FALSE;
    // A window of the window layer (tests may pass any handle, or none).
    const bool layerWindow = window && win32_native::IsWindow(window);
    int clientWidth = 0, clientHeight = 0;
    if (windowed && (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) && layerWindow &&
        win32_native::ClientSize(window, &clientWidth, &clientHeight) && clientWidth > 0 && clientHeight > 0) {
        // Windowed, a size of 0 means the client area's.
        if (p.BackBufferWidth == 0) p.BackBufferWidth = static_cast<UINT>(clientWidth);
        if (p.BackBufferHeight == 0) p.BackBufferHeight = static_cast<UINT>(clientHeight);
    }
    if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0)
        return Refuse(D3DERR_INVALIDCALL, "a back buffer of size 0 and no client area to take it from");
    if (p.BackBufferWidth > kMaxTextureSize || p.BackBufferHeight > kMaxTextureSize)
        return Refuse(D3DERR_NOTAVAILABLE, "a back buffer larger than 8192 pixels");
    // Windowed, an unknown format means the desktop's (the display mode may not
    // have been asked for successfully).
    if (p.BackBufferFormat == D3DFMT_UNKNOWN) {
        if (!windowed) return Refuse(D3DERR_INVALIDCALL, "full screen needs a back buffer format");
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
    }
    if (!IsBackBufferFormat(p.BackBufferFormat))
        return Refuse(D3DERR_NOTAVAILABLE, "back buffers are X8R8G8B8 or A8R8G8B8");
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    if (p.BackBufferCount > 3) return Refuse(D3DERR_INVALIDCALL, "more than 3 back buffers");
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY)
        return Refuse(D3DERR_INVALIDCALL, "an unknown swap effect");
    if (p.SwapEffect == D3DSWAPEFFECT_COPY && p.BackBufferCount != 1)
        return Refuse(D3DERR_INVALIDCALL, "the copy swap effect with more than one back buffer");
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) return Refuse(D3DERR_NOTAVAILABLE, "multisampling");
    if (p.EnableAutoDepthStencil && !IsDepthFormat(p.AutoDepthStencilFormat))
        return Refuse(D3DERR_INVALIDCALL, "the depth buffer's format is not a depth format");

    BackBufferDesc desc;
    desc.width = p.BackBufferWidth;
    desc.height = p.BackBufferHeight;
    desc.format = p.BackBufferFormat;
    desc.depth = p.EnableAutoDepthStencil != FALSE;
    desc.depthFormat = p.AutoDepthStencilFormat;

    const bool fullscreen = !windowed && layerWindow;
    if (fullscreen &&
        !win32_native::SetFullscreen(window, true, static_cast<int>(desc.width), static_cast<int>(desc.height)))
        return Refuse(D3DERR_NOTAVAILABLE, "the display cannot show the back buffer full screen");

    std::unique_ptr<Backend> backend;
    if (seams::UseNull()) {
        backend = CreateNullBackend();
    } else {
        GlBackendConfig config;
        config.window = window;
        config.headless = seams::UseHeadless();
        config.backBuffer = desc;
        std::string error;
        // SDL cannot make a context on a window that is gone (asked first: it
        // would read garbage), nor on one that goes while it does.
        const bool gone = win32_native::NativeWindowGone(window);
        if (!gone) backend = CreateGlBackend(config, &error);
        if (!backend && (gone || win32_native::NativeWindowGone(window))) {
            // Destroyed by another client while the program started: nothing
            // can be drawn, and the window layer closes the window, so the
            // program quits as usual.
            backend = CreateNullBackend();
        }
        if (!backend) {
            std::fprintf(stderr, "Direct3D: no OpenGL device: %s\n", error.c_str());
            if (fullscreen) win32_native::SetFullscreen(window, false, 0, 0);
            return Refuse(D3DERR_NOTAVAILABLE, "no OpenGL context");
        }
    }

    D3DDEVICE_CREATION_PARAMETERS creation{adapter, type, focusWindow, flags};
    Device* device = new Device(d3d, creation, p, std::move(backend));
    if (fullscreen) device->fullscreenWindow_ = window;
    record.created++;
    record.headless = device->backend_->Headless();
    record.presentsBySwap = device->backend_->PresentIsSwap();
    *params = p;  // the platform reports back what it chose
    *out = device;
    return D3D_OK;
}

Device::Device(IDirect3D9* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation, const D3DPRESENT_PARAMETERS& params,
               std::unique_ptr<Backend> backend)
    : d3d_(layer::ComPtr<IDirect3D9>::Retain(d3d)),
      creation_(creation),
      params_(params),
      backend_(std::move(backend)) {
    state_.SetDefaults(params.BackBufferWidth, params.BackBufferHeight, params.EnableAutoDepthStencil != FALSE);
    Surface* back = new Surface(this, Surface::Kind::BackBuffer, D3DPOOL_DEFAULT);
    back->Init(params.BackBufferFormat, params.BackBufferWidth, params.BackBufferHeight);
    backBuffer_.reset(back);
    back->Release();  // the device's binding keeps it
}

void Device::FlushBackBufferWrites() {
    if (Surface* back = backBuffer_.get()) back->FlushWrites();
}

Device::~Device() {
    state_.UnbindAll();
    backBuffer_.reset();
    // The display goes back to the desktop with the device.
    if (fullscreenWindow_) win32_native::SetFullscreen(fullscreenWindow_, false, 0, 0);
    backend_.reset();
}

// ---------------------------------------------------------------------------
// Device, display, cursor, presentation

HRESULT Device::TestCooperativeLevel() { return D3D_OK; }

HRESULT Device::GetDirect3D(IDirect3D9** ppD3D9) {
    if (!ppD3D9) return D3DERR_INVALIDCALL;
    d3d_->AddRef();
    *ppD3D9 = d3d_.get();
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) {
    if (!pParameters) return D3DERR_INVALIDCALL;
    *pParameters = creation_;
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) {
    if (iSwapChain != 0 || !pMode) return D3DERR_INVALIDCALL;
    if (params_.Windowed) return d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, pMode);
    *pMode = D3DDISPLAYMODE{params_.BackBufferWidth, params_.BackBufferHeight,
                            params_.FullScreen_RefreshRateInHz ? params_.FullScreen_RefreshRateInHz : 60,
                            params_.BackBufferFormat};
    return D3D_OK;
}

void Device::SetCursorPosition(int X, int Y, DWORD Flags) {
    D3D9_LOG("SetCursorPosition(%d,%d,%u)", X, Y, Flags);
    state_.cursorX = X;
    state_.cursorY = Y;
}

BOOL Device::ShowCursor(BOOL bShow) {
    D3D9_LOG("ShowCursor(%d)", bShow);
    BOOL previous = state_.cursorShown ? TRUE : FALSE;
    state_.cursorShown = bShow != FALSE;
    return previous;
}

HRESULT Device::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                        const struct _RGNDATA* pDirtyRegion) {
    D3D9_LOG("Present(%s,%s,%s,%s)", RectText(pSourceRect).c_str(), RectText(pDestRect).c_str(),
             hDestWindowOverride ? "window" : "null", DataText(pDirtyRegion));
    // A frame shown ends a load: files read for it are not kept.
    layer::EndLoad();
    FlushBackBufferWrites();
    backend_->Present();
    seams::Presented();  // last: the hook may do anything, even release the device
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                              IDirect3DSurface9** ppBackBuffer) {
    if (!ppBackBuffer) return D3DERR_INVALIDCALL;
    HRESULT forced = seams::GetBackBufferFailure();
    if (FAILED(forced)) return forced;
    if (iSwapChain != 0 || iBackBuffer >= params_.BackBufferCount || Type != D3DBACKBUFFER_TYPE_MONO)
        return D3DERR_INVALIDCALL;
    backBuffer_.get()->AddRef();
    *ppBackBuffer = backBuffer_.get();
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) {
    if (!ppRenderTarget) return D3DERR_INVALIDCALL;
    if (RenderTargetIndex != 0) return D3DERR_NOTFOUND;
    backBuffer_.get()->AddRef();
    *ppRenderTarget = backBuffer_.get();
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Resources

HRESULT Device::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) {
    Texture* texture = nullptr;
    const char* reason = "no out-pointer, a shared handle or an unknown pool";
    if (ppTexture && !pSharedHandle && Pool <= D3DPOOL_SCRATCH) {
        texture = new Texture(this, Usage, Pool);
        if (!texture->Init(Width, Height, Levels, Format)) {
            texture->Release();
            texture = nullptr;
            reason = "a size, number of levels or format no texture can have";
        }
    }
    D3D9_LOG("CreateTexture(%u,%u,%u,0x%x,%d,%d)->%s", Width, Height, Levels, Usage, static_cast<int>(Format),
             static_cast<int>(Pool), CreatedText(texture).c_str());
    if (!texture) return Refuse(D3DERR_INVALIDCALL, reason);
    *ppTexture = texture;
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                   IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) {
    HRESULT hr = D3D_OK;
    const char* reason = nullptr;
    if (!ppVertexBuffer || pSharedHandle || Pool > D3DPOOL_SCRATCH || Length == 0) {
        hr = D3DERR_INVALIDCALL;
        reason = "no out-pointer, a shared handle, an unknown pool or a length of 0";
    } else if (FVF != 0 && (FvfVertexSize(FVF) == 0 || Length < FvfVertexSize(FVF))) {
        hr = D3DERR_INVALIDCALL;
        reason = "an invalid FVF, or shorter than one of its vertices";
    } else if (Length > kMaxBufferBytes || seams::FailBufferCreation()) {
        hr = D3DERR_OUTOFVIDEOMEMORY;
        reason = "more memory than a buffer may take";
    }
    VertexBuffer* buffer = SUCCEEDED(hr) ? new VertexBuffer(this, Length, Usage, FVF, Pool) : nullptr;
    D3D9_LOG("CreateVertexBuffer(%u,0x%x,0x%x,%d)->%s", Length, Usage, FVF, static_cast<int>(Pool),
             CreatedText(buffer).c_str());
    if (!buffer) return Refuse(hr, reason);
    *ppVertexBuffer = buffer;
    return hr;
}

HRESULT Device::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                  IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) {
    HRESULT hr = D3D_OK;
    const char* reason = nullptr;
    if (!ppIndexBuffer || pSharedHandle || Pool > D3DPOOL_SCRATCH || Length == 0) {
        hr = D3DERR_INVALIDCALL;
        reason = "no out-pointer, a shared handle, an unknown pool or a length of 0";
    } else if (Format != D3DFMT_INDEX16 && Format != D3DFMT_INDEX32) {
        hr = D3DERR_INVALIDCALL;
        reason = "indices are INDEX16 or INDEX32";
    } else if (Length > kMaxBufferBytes || seams::FailBufferCreation()) {
        hr = D3DERR_OUTOFVIDEOMEMORY;
        reason = "more memory than a buffer may take";
    }
    IndexBuffer* buffer = SUCCEEDED(hr) ? new IndexBuffer(this, Length, Usage, Format, Pool) : nullptr;
    D3D9_LOG("CreateIndexBuffer(%u,0x%x,%d,%d)->%s", Length, Usage, static_cast<int>(Format),
             static_cast<int>(Pool), CreatedText(buffer).c_str());
    if (!buffer) return Refuse(hr, reason);
    *ppIndexBuffer = buffer;
    return hr;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                            IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) {
    Surface* surface = nullptr;
    const char* reason = "no out-pointer, a shared handle, or a pool other than default, system memory or scratch";
    if (ppSurface && !pSharedHandle && Pool != D3DPOOL_MANAGED && Pool <= D3DPOOL_SCRATCH) {
        surface = new Surface(this, Surface::Kind::Offscreen, Pool);
        if (!surface->Init(Format, Width, Height)) {
            surface->Release();
            surface = nullptr;
            reason = "a size or format no surface can have";
        }
    }
    D3D9_LOG("CreateOffscreenPlainSurface(%u,%u,%d,%d)->%s", Width, Height, static_cast<int>(Format),
             static_cast<int>(Pool), CreatedText(surface).c_str());
    if (!surface) return Refuse(D3DERR_INVALIDCALL, reason);
    *ppSurface = surface;
    return D3D_OK;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                              IDirect3DSurface9* pDestinationSurface, const POINT* pDestPoint) {
    SurfaceObject* src = OwnSurface(pSourceSurface, this);
    SurfaceObject* dst = OwnSurface(pDestinationSurface, this);
    D3D9_LOG("UpdateSurface(%s,%s,%s,%s)", seams::Id(src ? src->Id() : 0).c_str(), RectText(pSourceRect).c_str(),
             seams::Id(dst ? dst->Id() : 0).c_str(),
             pDestPoint ? seams::Format("{%d,%d}", pDestPoint->x, pDestPoint->y).c_str() : "null");
    if (!src || !dst || src == dst)
        return Refuse(D3DERR_INVALIDCALL, "not two different surfaces of this device");
    // The platform's rules: from system memory to the device's memory, in one
    // format exactly (X8R8G8B8 onto A8R8G8B8 is refused).
    if (src->Pool() != D3DPOOL_SYSTEMMEM || dst->Pool() != D3DPOOL_DEFAULT)
        return Refuse(D3DERR_INVALIDCALL, "not from system memory to the default pool");
    PixelStore& s = src->Store();
    PixelStore& d = dst->Store();
    if (s.Locked() || d.Locked()) return Refuse(D3DERR_INVALIDCALL, "a surface is locked");
    if (s.Format() != d.Format()) return Refuse(D3DERR_INVALIDCALL, "the formats differ");
    RECT from;
    if (!s.Resolve(pSourceRect, &from)) return Refuse(D3DERR_INVALIDCALL, "the source rectangle is not inside");
    LONG w = from.right - from.left, h = from.bottom - from.top;
    POINT at = pDestPoint ? *pDestPoint : POINT{0, 0};
    RECT to{at.x, at.y, at.x + w, at.y + h};
    RECT check;
    if (!d.Resolve(&to, &check)) return Refuse(D3DERR_INVALIDCALL, "the copy does not fit the destination");
    src->BeforeRead();
    dst->BeforeRead();
    const UINT bpp = s.BytesPerPixel();
    for (LONG y = 0; y < h; ++y)
        std::memcpy(d.Row(static_cast<UINT>(to.top + y)) + static_cast<size_t>(to.left) * bpp,
                    s.Row(static_cast<UINT>(from.top + y)) + static_cast<size_t>(from.left) * bpp,
                    static_cast<size_t>(w) * bpp);
    src->AfterRead();
    dst->AfterWrite(to);
    return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                            IDirect3DSurface9* pDestSurface, const RECT* pDestRect, D3DTEXTUREFILTERTYPE Filter) {
    SurfaceObject* src = OwnSurface(pSourceSurface, this);
    SurfaceObject* dst = OwnSurface(pDestSurface, this);
    D3D9_LOG("StretchRect(%s,%s,%s,%s,%d)", seams::Id(src ? src->Id() : 0).c_str(), RectText(pSourceRect).c_str(),
             seams::Id(dst ? dst->Id() : 0).c_str(), RectText(pDestRect).c_str(), static_cast<int>(Filter));
    if (!src || !dst || src == dst)
        return Refuse(D3DERR_INVALIDCALL, "not two different surfaces of this device");
    if (Filter != D3DTEXF_NONE && Filter != D3DTEXF_POINT && Filter != D3DTEXF_LINEAR)
        return Refuse(D3DERR_INVALIDCALL, "an unknown filter");
    PixelStore& s = src->Store();
    PixelStore& d = dst->Store();
    if (s.Locked() || d.Locked()) return Refuse(D3DERR_INVALIDCALL, "a surface is locked");
    if (!CopyCompatible(s.Format(), d.Format())) return Refuse(D3DERR_INVALIDCALL, "the formats differ");
    RECT from, to;
    if (!s.Resolve(pSourceRect, &from) || !d.Resolve(pDestRect, &to))
        return Refuse(D3DERR_INVALIDCALL, "a rectangle is not inside its surface");
    src->BeforeRead();
    dst->BeforeRead();
    // Nearest sampling at pixel centres; good enough for the copies asked of it.
    const UINT bpp = s.BytesPerPixel();
    const LONG sw = from.right - from.left, sh = from.bottom - from.top;
    const LONG dw = to.right - to.left, dh = to.bottom - to.top;
    for (LONG y = 0; y < dh; ++y) {
        LONG sy = from.top + static_cast<LONG>((static_cast<int64_t>(y) * 2 + 1) * sh / (2 * dh));
        uint8_t* out = d.Row(static_cast<UINT>(to.top + y)) + static_cast<size_t>(to.left) * bpp;
        const uint8_t* row = s.Row(static_cast<UINT>(sy));
        for (LONG x = 0; x < dw; ++x) {
            LONG sx = from.left + static_cast<LONG>((static_cast<int64_t>(x) * 2 + 1) * sw / (2 * dw));
            std::memcpy(out + static_cast<size_t>(x) * bpp, row + static_cast<size_t>(sx) * bpp, bpp);
        }
    }
    src->AfterRead();
    dst->AfterWrite(to);
    return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* pSurface, const RECT* pRect, D3DCOLOR color) {
    SurfaceObject* surface = OwnSurface(pSurface, this);
    D3D9_LOG("ColorFill(%s,%s,0x%08x)", seams::Id(surface ? surface->Id() : 0).c_str(), RectText(pRect).c_str(),
             color);
    if (!surface) return Refuse(D3DERR_INVALIDCALL, "not a surface of this device");
    PixelStore& s = surface->Store();
    if (s.Locked()) return Refuse(D3DERR_INVALIDCALL, "the surface is locked");
    if (s.BytesPerPixel() != 4 || !CopyCompatible(s.Format(), D3DFMT_A8R8G8B8))
        return Refuse(D3DERR_INVALIDCALL, "only 32-bit colour surfaces are filled");
    RECT r;
    if (!s.Resolve(pRect, &r)) return Refuse(D3DERR_INVALIDCALL, "the rectangle is not inside");
    surface->BeforeRead();
    for (LONG y = r.top; y < r.bottom; ++y) {
        uint8_t* row = s.Row(static_cast<UINT>(y));
        for (LONG x = r.left; x < r.right; ++x) std::memcpy(row + static_cast<size_t>(x) * 4, &color, 4);
    }
    surface->AfterWrite(r);
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Scenes and clearing

HRESULT Device::BeginScene() {
    D3D9_LOG("BeginScene()");
    if (inScene_) return Refuse(D3DERR_INVALIDCALL, "a scene is begun already");
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    D3D9_LOG("EndScene()");
    if (!inScene_) return Refuse(D3DERR_INVALIDCALL, "no scene was begun");
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) {
    if (seams::Recording()) {
        std::string rects = "null";
        if (pRects && Count > 0) {
            rects = "[";
            for (DWORD i = 0; i < Count; ++i)
                rects += seams::Format("{%d,%d,%d,%d}", pRects[i].x1, pRects[i].y1, pRects[i].x2, pRects[i].y2);
            rects += "]";
        }
        seams::Record(seams::Format("Clear(%u,%s,%u,0x%08x,%g,%u)", Count, rects.c_str(), Flags, Color, Z, Stencil));
    }
    if (Count > 0 && !pRects) return Refuse(D3DERR_INVALIDCALL, "a count of rectangles and none given");
    if ((Flags & D3DCLEAR_ZBUFFER) && !params_.EnableAutoDepthStencil)
        return Refuse(D3DERR_INVALIDCALL, "no depth buffer to clear");
    if ((Flags & D3DCLEAR_STENCIL) && !(params_.EnableAutoDepthStencil && HasStencil(params_.AutoDepthStencilFormat)))
        return Refuse(D3DERR_INVALIDCALL, "no stencil buffer to clear");
    if ((Flags & D3DCLEAR_ZBUFFER) && !(Z >= 0.0f && Z <= 1.0f))
        return Refuse(D3DERR_INVALIDCALL, "a depth outside 0..1");

    const D3DVIEWPORT9& vp = state_.viewport;
    RECT area{static_cast<LONG>(vp.X), static_cast<LONG>(vp.Y), static_cast<LONG>(vp.X + vp.Width),
              static_cast<LONG>(vp.Y + vp.Height)};
    if (state_.render[D3DRS_SCISSORTESTENABLE] && !Intersect(area, state_.scissor, &area)) return D3D_OK;

    ClearCall call;
    call.flags = Flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    call.color = Color;
    call.z = Z;
    call.stencil = Stencil;
    if (Count == 0 || !pRects) {
        call.rects.push_back(area);
    } else {
        for (DWORD i = 0; i < Count; ++i) {
            RECT r{pRects[i].x1, pRects[i].y1, pRects[i].x2, pRects[i].y2};
            if (Intersect(r, area, &r)) call.rects.push_back(r);
        }
    }
    if (call.flags == 0 || call.rects.empty()) return D3D_OK;
    FlushBackBufferWrites();
    backend_->Clear(call);
    if (call.flags & D3DCLEAR_TARGET) ++targetGeneration_;
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Transforms, viewport, material, states

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    D3D9_LOG("SetTransform(%u,%s)", static_cast<unsigned>(State), MatrixText(pMatrix).c_str());
    int slot = TransformSlot(State);
    if (slot < 0 || !pMatrix) return Refuse(D3DERR_INVALIDCALL, "no such transform, or no matrix");
    state_.transforms[slot] = *pMatrix;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) {
    int slot = TransformSlot(State);
    if (slot < 0 || !pMatrix) return D3DERR_INVALIDCALL;
    *pMatrix = state_.transforms[slot];
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    D3D9_LOG("MultiplyTransform(%u,%s)", static_cast<unsigned>(State), MatrixText(pMatrix).c_str());
    int slot = TransformSlot(State);
    if (slot < 0 || !pMatrix) return Refuse(D3DERR_INVALIDCALL, "no such transform, or no matrix");
    // The given matrix comes first: new = m x current.
    const D3DMATRIX a = *pMatrix;
    const D3DMATRIX b = state_.transforms[slot];
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    state_.transforms[slot] = r;
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* pViewport) {
    if (!pViewport) {
        D3D9_LOG("SetViewport(null)");
        return Refuse(D3DERR_INVALIDCALL, "no viewport");
    }
    const D3DVIEWPORT9& v = *pViewport;
    D3D9_LOG("SetViewport(%u,%u,%u,%u,%g,%g)", v.X, v.Y, v.Width, v.Height, v.MinZ, v.MaxZ);
    const uint64_t right = static_cast<uint64_t>(v.X) + v.Width, bottom = static_cast<uint64_t>(v.Y) + v.Height;
    if (v.Width == 0 || v.Height == 0 || right > params_.BackBufferWidth || bottom > params_.BackBufferHeight ||
        !(v.MinZ >= 0.0f && v.MinZ <= 1.0f) || !(v.MaxZ >= 0.0f && v.MaxZ <= 1.0f))
        return Refuse(D3DERR_INVALIDCALL, "empty, outside the render target, or a depth range outside 0..1");
    state_.viewport = v;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* pViewport) {
    if (!pViewport) return D3DERR_INVALIDCALL;
    *pViewport = state_.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* pMaterial) {
    if (!pMaterial) {
        D3D9_LOG("SetMaterial(null)");
        return Refuse(D3DERR_INVALIDCALL, "no material");
    }
    const D3DMATERIAL9& m = *pMaterial;
    D3D9_LOG("SetMaterial(%s,%s,%s,%s,%g)", ColorText(m.Diffuse).c_str(), ColorText(m.Ambient).c_str(),
             ColorText(m.Specular).c_str(), ColorText(m.Emissive).c_str(), m.Power);
    state_.material = m;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* pMaterial) {
    if (!pMaterial) return D3DERR_INVALIDCALL;
    *pMaterial = state_.material;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    D3D9_LOG("SetRenderState(%u,%u)", static_cast<unsigned>(State), Value);
    if (static_cast<DWORD>(State) >= kRenderStates) return Refuse(D3DERR_INVALIDCALL, "no such render state");
    state_.render[State] = Value;
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) {
    if (!pValue || static_cast<DWORD>(State) >= kRenderStates) return D3DERR_INVALIDCALL;
    *pValue = state_.render[State];
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) {
    if (!ppTexture || Stage >= kSamplers) return D3DERR_INVALIDCALL;
    Texture* t = state_.textures[Stage].get();
    if (t) t->AddRef();
    *ppTexture = t;
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) {
    Texture* t = pTexture ? Own<Texture>(pTexture, this) : nullptr;
    D3D9_LOG("SetTexture(%u,%s)", Stage, pTexture && !t ? "foreign" : ObjectText(t).c_str());
    if (Stage >= kSamplers) return Refuse(D3DERR_INVALIDCALL, "no such stage");
    if (pTexture && !t) return Refuse(D3DERR_INVALIDCALL, "not a texture of this device");
    state_.textures[Stage].reset(t);
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) {
    if (!pValue || Stage >= kStages || Type == 0 || static_cast<DWORD>(Type) >= kStageStates)
        return D3DERR_INVALIDCALL;
    *pValue = state_.stage[Stage][Type];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) {
    D3D9_LOG("SetTextureStageState(%u,%u,%u)", Stage, static_cast<unsigned>(Type), Value);
    if (Stage >= kStages || Type == 0 || static_cast<DWORD>(Type) >= kStageStates)
        return Refuse(D3DERR_INVALIDCALL, "no such stage or stage state");
    state_.stage[Stage][Type] = Value;
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) {
    if (!pValue || Sampler >= kSamplers || Type == 0 || static_cast<DWORD>(Type) >= kSamplerStates)
        return D3DERR_INVALIDCALL;
    *pValue = state_.sampler[Sampler][Type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) {
    D3D9_LOG("SetSamplerState(%u,%u,%u)", Sampler, static_cast<unsigned>(Type), Value);
    if (Sampler >= kSamplers || Type == 0 || static_cast<DWORD>(Type) >= kSamplerStates)
        return Refuse(D3DERR_INVALIDCALL, "no such sampler or sampler state");
    state_.sampler[Sampler][Type] = Value;
    return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* pRect) {
    D3D9_LOG("SetScissorRect(%s)", RectText(pRect).c_str());
    if (!pRect) return Refuse(D3DERR_INVALIDCALL, "no rectangle");
    state_.scissor = *pRect;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* pRect) {
    if (!pRect) return D3DERR_INVALIDCALL;
    *pRect = state_.scissor;
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Vertex formats, shaders, streams

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements,
                                        IDirect3DVertexDeclaration9** ppDecl) {
    if (!pVertexElements || !ppDecl) {
        D3D9_LOG("CreateVertexDeclaration(%s)->failed", DataText(pVertexElements));
        return Refuse(D3DERR_INVALIDCALL, "no elements or no out-pointer");
    }
    int count = CountDeclElements(pVertexElements, MAXD3DDECLLENGTH + 1);
    VertexLayout layout;
    bool valid = count >= 0 && LayoutFromElements(pVertexElements, static_cast<UINT>(count), &layout);
    for (size_t i = 0; valid && i < layout.elements.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (layout.elements[i].usage == layout.elements[j].usage &&
                layout.elements[i].usageIndex == layout.elements[j].usageIndex)
                valid = false;
    if (!valid) {
        D3D9_LOG("CreateVertexDeclaration(data)->failed");
        return Refuse(D3DERR_INVALIDCALL, "no end marker, an element of no known type, or a usage twice");
    }
    std::vector<D3DVERTEXELEMENT9> elements(pVertexElements, pVertexElements + count + 1);
    VertexDeclaration* decl = new VertexDeclaration(this, std::move(elements), std::move(layout));
    D3D9_LOG("CreateVertexDeclaration(data)->%s", ObjectText(decl).c_str());
    *ppDecl = decl;
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) {
    VertexDeclaration* d = pDecl ? Own<VertexDeclaration>(pDecl, this) : nullptr;
    D3D9_LOG("SetVertexDeclaration(%s)", pDecl && !d ? "foreign" : ObjectText(d).c_str());
    if (pDecl && !d) return Refuse(D3DERR_INVALIDCALL, "not a declaration of this device");
    state_.declaration.reset(d);
    if (d) state_.fvf = 0;  // one input layout at a time: the last one set
    return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl) {
    if (!ppDecl) return D3DERR_INVALIDCALL;
    VertexDeclaration* d = state_.declaration.get();
    if (d) d->AddRef();
    *ppDecl = d;
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD FVF) {
    D3D9_LOG("SetFVF(0x%x)", FVF);
    state_.fvf = FVF;
    if (FVF != 0) state_.declaration.reset();
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* pFVF) {
    if (!pFVF) return D3DERR_INVALIDCALL;
    *pFVF = state_.fvf;
    return D3D_OK;
}

HRESULT Device::CreateVertexShader(const DWORD* pFunction, IDirect3DVertexShader9** ppShader) {
    size_t length = pFunction ? VertexShader::MeasureTokens(pFunction, 1u << 20) : 0;
    if (!ppShader || length == 0) {
        D3D9_LOG("CreateVertexShader(%s)->failed", DataText(pFunction));
        return Refuse(D3DERR_INVALIDCALL, "no out-pointer, or no vertex shader with an end in the tokens");
    }
    // Decoded once here; a stream this layer cannot run is refused now
    // rather than drawn wrongly later.
    VsProgram program;
    if (!program.Decode(pFunction, length, false, nullptr)) {
        D3D9_LOG("CreateVertexShader(data)->failed");
        return Refuse(D3DERR_INVALIDCALL, "an instruction or register this device cannot run");
    }
    VertexShader* shader =
        new VertexShader(this, std::vector<DWORD>(pFunction, pFunction + length), std::move(program));
    D3D9_LOG("CreateVertexShader(data)->%s", ObjectText(shader).c_str());
    *ppShader = shader;
    return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* pShader) {
    VertexShader* s = pShader ? Own<VertexShader>(pShader, this) : nullptr;
    D3D9_LOG("SetVertexShader(%s)", pShader && !s ? "foreign" : ObjectText(s).c_str());
    if (pShader && !s) return Refuse(D3DERR_INVALIDCALL, "not a shader of this device");
    state_.shader.reset(s);
    return D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** ppShader) {
    if (!ppShader) return D3DERR_INVALIDCALL;
    VertexShader* s = state_.shader.get();
    if (s) s->AddRef();
    *ppShader = s;
    return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantF(UINT StartRegister, const float* pConstantData, UINT Vector4fCount) {
    // The data is only read (also for the log) once the range is known to be valid.
    if (static_cast<uint64_t>(StartRegister) + Vector4fCount > kVertexShaderConstants ||
        (Vector4fCount > 0 && !pConstantData)) {
        D3D9_LOG("SetVertexShaderConstantF(%u,%s,%u)", StartRegister, DataText(pConstantData), Vector4fCount);
        return Refuse(D3DERR_INVALIDCALL, "registers past the last one, or no data");
    }
    D3D9_LOG("SetVertexShaderConstantF(%u,%s,%u)", StartRegister,
             FloatsText(pConstantData, Vector4fCount * 4).c_str(), Vector4fCount);
    if (Vector4fCount == 0) return D3D_OK;
    std::memcpy(&state_.vsConstants[StartRegister * 4], pConstantData, Vector4fCount * 4 * sizeof(float));
    return D3D_OK;
}

HRESULT Device::GetVertexShaderConstantF(UINT StartRegister, float* pConstantData, UINT Vector4fCount) {
    if (static_cast<uint64_t>(StartRegister) + Vector4fCount > kVertexShaderConstants) return D3DERR_INVALIDCALL;
    if (Vector4fCount == 0) return D3D_OK;
    if (!pConstantData) return D3DERR_INVALIDCALL;
    std::memcpy(pConstantData, &state_.vsConstants[StartRegister * 4], Vector4fCount * 4 * sizeof(float));
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                                UINT Stride) {
    VertexBuffer* b = pStreamData ? Own<VertexBuffer>(pStreamData, this) : nullptr;
    D3D9_LOG("SetStreamSource(%u,%s,%u,%u)", StreamNumber, pStreamData && !b ? "foreign" : ObjectText(b).c_str(),
             OffsetInBytes, Stride);
    if (StreamNumber >= kMaxStreams) return Refuse(D3DERR_INVALIDCALL, "no such stream");
    if (pStreamData && !b) return Refuse(D3DERR_INVALIDCALL, "not a vertex buffer of this device");
    StreamBinding& s = state_.streams[StreamNumber];
    s.buffer.reset(b);
    s.offset = OffsetInBytes;
    s.stride = Stride;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes,
                                UINT* pStride) {
    if (StreamNumber >= kMaxStreams || !ppStreamData || !pOffsetInBytes || !pStride) return D3DERR_INVALIDCALL;
    StreamBinding& s = state_.streams[StreamNumber];
    VertexBuffer* b = s.buffer.get();
    if (b) b->AddRef();
    *ppStreamData = b;
    *pOffsetInBytes = s.offset;
    *pStride = s.stride;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* pIndexData) {
    IndexBuffer* b = pIndexData ? Own<IndexBuffer>(pIndexData, this) : nullptr;
    D3D9_LOG("SetIndices(%s)", pIndexData && !b ? "foreign" : ObjectText(b).c_str());
    if (pIndexData && !b) return Refuse(D3DERR_INVALIDCALL, "not an index buffer of this device");
    state_.indices.reset(b);
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** ppIndexData) {
    if (!ppIndexData) return D3DERR_INVALIDCALL;
    IndexBuffer* b = state_.indices.get();
    if (b) b->AddRef();
    *ppIndexData = b;
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Drawing

const VertexLayout* Device::ActiveLayout() {
    if (VertexDeclaration* d = state_.declaration.get()) return &d->Layout();
    if (state_.fvf == 0) return nullptr;
    if (state_.fvf != fvfLayoutCode_) {
        fvfLayoutCode_ = state_.fvf;
        fvfLayoutValid_ = LayoutFromFvf(state_.fvf, &fvfLayout_);
    }
    return fvfLayoutValid_ ? &fvfLayout_ : nullptr;
}

namespace {

// Whether the vertices [first, last] of a stream lie inside its data.
bool StreamCovers(size_t size, UINT offset, UINT stride, UINT extent, int64_t last) {
    if (stride == 0 || extent > stride || last < 0) return false;
    if (static_cast<uint64_t>(last) > size / stride) return false;
    const uint64_t end = static_cast<uint64_t>(offset) + static_cast<uint64_t>(last) * stride + extent;
    return end <= size;
}

}  // namespace

HRESULT Device::SubmitDraw(DrawCall& call, UINT minVertex, UINT numVertices, const void* upData, UINT upStride) {
    VertexShader* shader = state_.shader.get();
    const VertexLayout* layout = ActiveLayout();
    // A shader takes what it declares; the fixed pipeline needs a position.
    if (!layout) return Refuse(D3DERR_INVALIDCALL, "no vertex format: neither an FVF nor a declaration is set");
    if (!shader && !layout->hasPosition) return Refuse(D3DERR_INVALIDCALL, "vertices without a position");

    // The range of vertices the draw reads, from the indices themselves.
    int64_t lowest, highest;
    if (call.indexed) {
        uint32_t lo, hi;
        if (upData)
            ScanIndexRange(call.indices.data, call.indices.indexSize, call.first, call.count, &lo, &hi);
        else
            state_.indices.get()->Range(call.first, call.count, &lo, &hi);
        lowest = static_cast<int64_t>(lo) + call.baseVertex;
        highest = static_cast<int64_t>(hi) + call.baseVertex;
        if (lowest < 0) return Refuse(D3DERR_INVALIDCALL, "an index plus the base vertex is below 0");
        // An UP call promises its vertices only within [min, min + num).
        if (upData && (lowest < minVertex || highest >= static_cast<int64_t>(minVertex) + numVertices))
            return Refuse(D3DERR_INVALIDCALL, "an index outside the vertices promised");
    } else {
        lowest = call.first;
        highest = static_cast<int64_t>(call.first) + call.count - 1;
    }

    if (upData) {
        if (layout->streamMask != 1u) return Refuse(D3DERR_INVALIDCALL, "the vertex format uses other streams");
        if (upStride == 0 || layout->streamExtent[0] > upStride)
            return Refuse(D3DERR_INVALIDCALL, "a stride shorter than a vertex");
        StreamSource& s = call.streams[0];
        s.data = static_cast<const uint8_t*>(upData);
        s.size = static_cast<size_t>(highest) * upStride + upStride;
        s.stride = upStride;
    } else {
        for (UINT i = 0; i < kMaxStreams; ++i) {
            if (!(layout->streamMask & (1u << i))) continue;
            const StreamBinding& b = state_.streams[i];
            VertexBuffer* buffer = b.buffer.get();
            if (!buffer) return Refuse(D3DERR_INVALIDCALL, "a stream the vertex format uses has no buffer");
            if (!StreamCovers(buffer->Store().Size(), b.offset, b.stride, layout->streamExtent[i], highest))
                return Refuse(D3DERR_INVALIDCALL, "vertices past the end of a stream's buffer, or a short stride");
            StreamSource& s = call.streams[i];
            s.data = buffer->Store().Data();
            s.size = buffer->Store().Size();
            s.offset = b.offset;
            s.stride = b.stride;
            s.serial = buffer->Serial();
            s.generation = buffer->Store().Generation();
        }
    }
    if (shader) {
        if (!shading_.Run(shader->Program(), *layout, call.streams, lowest, highest, state_.vsConstants,
                          kVertexShaderConstants))
            return Refuse(D3DERR_INVALIDCALL, "the vertex format lacks an input of the shader, or has it in a type "
                                              "the shader cannot read");
        call.shaded = &shading_.Vertices();
        call.shadedFirst = lowest;
        if (seams::Recording()) seams::RecordShadedDraw(call);
    }
    call.layout = layout;
    // Only a back end that draws needs the rest of the description.
    if (backend_->Draws()) DescribeDraw(state_, params_.EnableAutoDepthStencil != FALSE, &call);
    if (seams::WatchingDraws()) {
        platform_testing::D3D9Draw seen;
        seen.type = call.type;
        seen.count = call.count;
        seen.first = call.first;
        seen.baseVertex = call.baseVertex;
        seen.indexed = call.indexed;
        seen.lowest = static_cast<UINT>(lowest);
        seen.highest = static_cast<UINT>(highest);
        if (upData) {
            seen.upVertices = upData;
            seen.upStride = upStride;
            if (call.indexed) {
                seen.upIndices = call.indices.data;
                seen.upIndexSize = call.indices.indexSize;
            }
        }
        seams::Drawing(seen);
    }
    FlushBackBufferWrites();
    backend_->Draw(call);
    ++targetGeneration_;
    return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) {
    D3D9_LOG("DrawPrimitive(%d,%u,%u)", static_cast<int>(PrimitiveType), StartVertex, PrimitiveCount);
    uint64_t count = VerticesForPrimitives(PrimitiveType, PrimitiveCount);
    if (PrimitiveCount == 0) return D3D_OK;
    if (count == 0 || count > UINT32_MAX) return Refuse(D3DERR_INVALIDCALL, "an unknown primitive type or too many");
    DrawCall call;
    call.type = PrimitiveType;
    call.count = static_cast<UINT>(count);
    call.first = StartVertex;
    return SubmitDraw(call, 0, 0, nullptr, 0);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                     UINT NumVertices, UINT startIndex, UINT primCount) {
    D3D9_LOG("DrawIndexedPrimitive(%d,%d,%u,%u,%u,%u)", static_cast<int>(PrimitiveType), BaseVertexIndex,
             MinVertexIndex, NumVertices, startIndex, primCount);
    uint64_t count = VerticesForPrimitives(PrimitiveType, primCount);
    if (primCount == 0) return D3D_OK;
    if (count == 0 || count > UINT32_MAX) return Refuse(D3DERR_INVALIDCALL, "an unknown primitive type or too many");
    IndexBuffer* ib = state_.indices.get();
    if (!ib) return Refuse(D3DERR_INVALIDCALL, "no index buffer is set");
    const UINT indexSize = ib->IndexSize();
    if ((static_cast<uint64_t>(startIndex) + count) * indexSize > ib->Store().Size())
        return Refuse(D3DERR_INVALIDCALL, "indices past the end of the index buffer");
    DrawCall call;
    call.type = PrimitiveType;
    call.count = static_cast<UINT>(count);
    call.first = startIndex;
    call.baseVertex = BaseVertexIndex;
    call.indexed = true;
    call.indices = IndexSource{ib->Store().Data(), ib->Store().Size(), indexSize, ib->Serial(),
                               ib->Store().Generation()};
    return SubmitDraw(call, MinVertexIndex, NumVertices, nullptr, 0);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) {
    D3D9_LOG("DrawPrimitiveUP(%d,%u,%s,%u)", static_cast<int>(PrimitiveType), PrimitiveCount,
             DataText(pVertexStreamZeroData), VertexStreamZeroStride);
    uint64_t count = VerticesForPrimitives(PrimitiveType, PrimitiveCount);
    if (PrimitiveCount == 0) return D3D_OK;
    if (count == 0 || count > UINT32_MAX) return Refuse(D3DERR_INVALIDCALL, "an unknown primitive type or too many");
    if (!pVertexStreamZeroData) return Refuse(D3DERR_INVALIDCALL, "no vertices");
    DrawCall call;
    call.type = PrimitiveType;
    call.count = static_cast<UINT>(count);
    HRESULT hr = SubmitDraw(call, 0, 0, pVertexStreamZeroData, VertexStreamZeroStride);
    // Like the platform, an UP draw leaves no stream 0 and no indices bound.
    state_.streams[0].buffer.reset();
    state_.streams[0].offset = state_.streams[0].stride = 0;
    return hr;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertices,
                                       UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat,
                                       const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) {
    D3D9_LOG("DrawIndexedPrimitiveUP(%d,%u,%u,%u,%s,%d,%s,%u)", static_cast<int>(PrimitiveType), MinVertexIndex,
             NumVertices, PrimitiveCount, DataText(pIndexData), static_cast<int>(IndexDataFormat),
             DataText(pVertexStreamZeroData), VertexStreamZeroStride);
    uint64_t count = VerticesForPrimitives(PrimitiveType, PrimitiveCount);
    if (PrimitiveCount == 0) return D3D_OK;
    if (count == 0 || count > UINT32_MAX) return Refuse(D3DERR_INVALIDCALL, "an unknown primitive type or too many");
    if (!pIndexData || !pVertexStreamZeroData || NumVertices == 0)
        return Refuse(D3DERR_INVALIDCALL, "no indices, no vertices or none promised");
    if (IndexDataFormat != D3DFMT_INDEX16 && IndexDataFormat != D3DFMT_INDEX32)
        return Refuse(D3DERR_INVALIDCALL, "indices are INDEX16 or INDEX32");
    const UINT indexSize = IndexDataFormat == D3DFMT_INDEX32 ? 4 : 2;
    DrawCall call;
    call.type = PrimitiveType;
    call.count = static_cast<UINT>(count);
    call.indexed = true;
    call.indices = IndexSource{static_cast<const uint8_t*>(pIndexData), static_cast<size_t>(count) * indexSize,
                               indexSize, 0, 0};
    HRESULT hr = SubmitDraw(call, MinVertexIndex, NumVertices, pVertexStreamZeroData, VertexStreamZeroStride);
    state_.streams[0].buffer.reset();
    state_.streams[0].offset = state_.streams[0].stride = 0;
    state_.indices.reset();
    return hr;
}

}  // namespace d3d9
