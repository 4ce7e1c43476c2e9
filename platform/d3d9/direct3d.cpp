#include <SDL.h>

#include "com_object.h"
#include "d3d9.h"
#include "device.h"
#include "seams.h"

namespace d3d9 {

namespace {

class Direct3D final : public layer::RefCounted<IDirect3D9, layer::ObjectFamily::Direct3D> {
public:
    UINT GetAdapterCount() override { return 1; }

    HRESULT GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override {
        if (Adapter != D3DADAPTER_DEFAULT || !pMode) return D3DERR_INVALIDCALL;
        // The desktop, when the window layer has opened a display; else a
        // plausible one (tests without a display).
        D3DDISPLAYMODE mode{1024, 768, 60, D3DFMT_X8R8G8B8};
        SDL_DisplayMode desktop;
        if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
            mode.Width = static_cast<UINT>(desktop.w);
            mode.Height = static_cast<UINT>(desktop.h);
            if (desktop.refresh_rate > 0) mode.RefreshRate = static_cast<UINT>(desktop.refresh_rate);
        }
        *pMode = mode;
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                         D3DPRESENT_PARAMETERS* pPresentationParameters,
                         IDirect3DDevice9** ppReturnedDeviceInterface) override {
        return Device::Create(this, Adapter, DeviceType, hFocusWindow, BehaviorFlags, pPresentationParameters,
                             ppReturnedDeviceInterface);
    }

protected:
    bool Implements(REFIID riid) const override { return IsEqualGUID(riid, IID_IDirect3D9); }
};

}  // namespace

}  // namespace d3d9

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion) {
    if (d3d9::seams::Recording()) d3d9::seams::Record(d3d9::seams::Format("Direct3DCreate9(%u)", SDKVersion));
    if (d3d9::seams::FailCreate9()) return nullptr;
    if (SDKVersion != D3D_SDK_VERSION && SDKVersion != 32) return nullptr;
    return new d3d9::Direct3D;
}
