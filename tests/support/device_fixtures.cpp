#include "device_fixtures.h"

#include "platform/testing.h"

namespace device_fixtures {

D3DPRESENT_PARAMETERS WindowedParams(UINT width, UINT height) {
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return pp;
}

HRESULT CreateWindowedDevice(IDirect3D9* d3d, UINT width, UINT height, IDirect3DDevice9** device, DWORD behavior) {
    D3DPRESENT_PARAMETERS pp = WindowedParams(width, height);
    return d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, behavior, &pp, device);
}

IDirect3DDevice9* NullDevice(UINT width, UINT height, bool logCalls) {
    platform_testing::UseNullD3D9();
    if (!logCalls) platform_testing::RecordD3D9Calls(false);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return nullptr;
    IDirect3DDevice9* device = nullptr;
    CreateWindowedDevice(d3d, width, height, &device, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    d3d->Release();
    return device;
}

}  // namespace device_fixtures
