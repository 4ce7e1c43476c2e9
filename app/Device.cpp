#include "app/Device.h"

#include <d3dx9.h>

#include <cstdio>

#include "app/Globals.h"

HRESULT CreateD3DDevice(IDirect3D9** outD3D, IDirect3DDevice9** outDevice, HWND window,
                        int windowedOnly, int multithreaded) {
    // Windows-1252 text: 0xE0 is the accented a. 64 bytes hold any three ints.
    char question[64];
    std::snprintf(question, sizeof question, "Modalit\xE0 schermo-intero? (%dx%dx%d)", g_ModeWidth,
                  g_ModeHeight, g_ModeBitDepth);

    if (!outD3D || !outDevice || !window) return E_FAIL;

    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return E_FAIL;
    // Stored at once: the clean-up releases it even when a later step fails.
    *outD3D = d3d;

    int answer = windowedOnly == 1
                     ? IDNO
                     : MessageBoxA(window, question, "Apertura Applicazione", MB_YESNO | MB_ICONQUESTION);

    ZeroMemory(&g_PresentParams, sizeof g_PresentParams);
    if (answer == IDYES) {
        g_PresentParams.BackBufferFormat = D3DFMT_A8R8G8B8;
        g_PresentParams.Windowed = FALSE;
    } else {
        // Grow the window by its frame so that the client area is the mode's size.
        RECT client, frame;
        GetClientRect(window, &client);
        GetWindowRect(window, &frame);
        MoveWindow(window, frame.left, frame.top,
                   g_ModeWidth + ((frame.right - frame.left) - client.right),
                   g_ModeHeight + ((frame.bottom - frame.top) - client.bottom), TRUE);
        // Zeroed: should the query fail, the format stays "unknown", which a
        // windowed device takes as the desktop's.
        D3DDISPLAYMODE mode;
        ZeroMemory(&mode, sizeof mode);
        d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
        g_PresentParams.BackBufferFormat = mode.Format;
        g_PresentParams.Windowed = TRUE;
    }
    g_PresentParams.BackBufferWidth = g_ModeWidth;
    g_PresentParams.BackBufferHeight = g_ModeHeight;
    g_PresentParams.BackBufferCount = 1;
    g_PresentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
    g_PresentParams.MultiSampleQuality = 0;
    g_PresentParams.SwapEffect = D3DSWAPEFFECT_COPY;
    g_PresentParams.hDeviceWindow = NULL;
    g_PresentParams.EnableAutoDepthStencil = TRUE;
    g_PresentParams.AutoDepthStencilFormat = D3DFMT_D16;
    g_PresentParams.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    g_PresentParams.FullScreen_RefreshRateInHz = 0;
    g_PresentParams.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;

    DWORD behaviour = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    if (multithreaded == 1) behaviour |= D3DCREATE_MULTITHREADED;

    IDirect3DDevice9* device = NULL;
    HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, behaviour,
                                   &g_PresentParams, &device);
    if (FAILED(hr)) return hr;
    *outDevice = device;

    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 4,
                               static_cast<float>(g_PresentParams.BackBufferWidth) /
                                   static_cast<float>(g_PresentParams.BackBufferHeight),
                               1.0f, 10000.0f);
    device->SetTransform(D3DTS_PROJECTION, &projection);

    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);

    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);

    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    return S_OK;
}

HRESULT CreateVertexShaderFromFile(IDirect3DVertexShader9** outShader, IDirect3DDevice9* device,
                                   const char* fileName, const D3DVERTEXELEMENT9* declaration,
                                   IDirect3DVertexDeclaration9** outDeclaration) {
    if (!outShader || !device || !fileName) return E_FAIL;

    ID3DXBuffer* code = NULL;
    HRESULT hr = D3DXAssembleShaderFromFileA(fileName, NULL, NULL, 0, &code, NULL);
    if (FAILED(hr)) return hr;
    hr = device->CreateVertexShader(static_cast<const DWORD*>(code->GetBufferPointer()), outShader);
    // The code is no longer needed, whether or not the device took it.
    code->Release();
    if (FAILED(hr)) return hr;

    if (declaration && outDeclaration) device->CreateVertexDeclaration(declaration, outDeclaration);
    return S_OK;
}
