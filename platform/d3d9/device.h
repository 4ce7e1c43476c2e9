// The device: all state on the CPU, calls checked and recorded here, drawing and
// presenting handed to a back end.
#pragma once

#include <memory>

#include "backend.h"
#include "com_object.h"
#include "d3d9.h"
#include "shaded_draw.h"
#include "state.h"

namespace d3d9 {

class Surface;

class Device final : public layer::RefCounted<IDirect3DDevice9, layer::ObjectFamily::Direct3D> {
public:
    // Checks the arguments, makes the back end and the device.
    static HRESULT Create(IDirect3D9* d3d, UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD flags,
                          D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out);

    HRESULT TestCooperativeLevel() override;
    HRESULT GetDirect3D(IDirect3D9** ppD3D9) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override;
    HRESULT GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) override;
    void SetCursorPosition(int X, int Y, DWORD Flags) override;
    BOOL ShowCursor(BOOL bShow) override;
    HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                    const struct _RGNDATA* pDirtyRegion) override;
    HRESULT GetBackBuffer(UINT iSwapChain, UINT iBackBuffer, D3DBACKBUFFER_TYPE Type,
                          IDirect3DSurface9** ppBackBuffer) override;

    HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                          IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) override;
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) override;
    HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                              IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) override;
    HRESULT CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                        IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) override;
    HRESULT UpdateSurface(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                          IDirect3DSurface9* pDestinationSurface, const POINT* pDestPoint) override;
    HRESULT StretchRect(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                        IDirect3DSurface9* pDestSurface, const RECT* pDestRect,
                        D3DTEXTUREFILTERTYPE Filter) override;
    HRESULT ColorFill(IDirect3DSurface9* pSurface, const RECT* pRect, D3DCOLOR color) override;
    HRESULT GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                  DWORD Stencil) override;

    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* pViewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* pViewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* pMaterial) override;
    HRESULT GetMaterial(D3DMATERIAL9* pMaterial) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override;
    HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override;
    HRESULT SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT SetScissorRect(const RECT* pRect) override;
    HRESULT GetScissorRect(RECT* pRect) override;

    HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                 UINT NumVertices, UINT startIndex, UINT primCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                            const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertices,
                                   UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat,
                                   const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;

    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements,
                                    IDirect3DVertexDeclaration9** ppDecl) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) override;
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** ppDecl) override;
    HRESULT SetFVF(DWORD FVF) override;
    HRESULT GetFVF(DWORD* pFVF) override;
    HRESULT CreateVertexShader(const DWORD* pFunction, IDirect3DVertexShader9** ppShader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* pShader) override;
    HRESULT GetVertexShader(IDirect3DVertexShader9** ppShader) override;
    HRESULT SetVertexShaderConstantF(UINT StartRegister, const float* pConstantData,
                                     UINT Vector4fCount) override;
    HRESULT GetVertexShaderConstantF(UINT StartRegister, float* pConstantData, UINT Vector4fCount) override;
    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                            UINT Stride) override;
    HRESULT GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9** ppStreamData, UINT* pOffsetInBytes,
                            UINT* pStride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* pIndexData) override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** ppIndexData) override;

    // For the device's own objects.
    Backend& backend() { return *backend_; }
    const D3DPRESENT_PARAMETERS& presentParameters() const { return params_; }
    // Changes whenever something is drawn into the back buffer.
    uint64_t targetGeneration() const { return targetGeneration_; }

protected:
    bool Implements(REFIID riid) const override { return IsEqualGUID(riid, IID_IDirect3DDevice9); }

private:
    Device(IDirect3D9* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation, const D3DPRESENT_PARAMETERS& params,
           std::unique_ptr<Backend> backend);
    ~Device() override;

    // Checks a draw against the bound layout, streams and indices; on success
    // the back end gets it. `upData` is the vertex data of an UP call.
    HRESULT SubmitDraw(DrawCall& call, UINT minVertex, UINT numVertices, const void* upData, UINT upStride);
    const VertexLayout* ActiveLayout();
    // Before the back end clears, draws into or presents the back buffer.
    void FlushBackBufferWrites();

    layer::ComPtr<IDirect3D9> d3d_;
    D3DDEVICE_CREATION_PARAMETERS creation_;
    D3DPRESENT_PARAMETERS params_;
    std::unique_ptr<Backend> backend_;
    DeviceState state_;
    Bound<Surface> backBuffer_;
    VertexShading shading_;  // the vertices of the last draw through a shader
    VertexLayout fvfLayout_;
    DWORD fvfLayoutCode_ = 0;
    bool fvfLayoutValid_ = false;
    HWND fullscreenWindow_ = nullptr;  // the window this device made full screen
    bool inScene_ = false;
    uint64_t targetGeneration_ = 1;
};

}  // namespace d3d9
