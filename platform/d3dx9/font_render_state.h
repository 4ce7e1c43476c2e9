// The device state text is drawn with, set for one call and put back exactly as
// the program left it: the program draws texts between its own state changes.
#pragma once

#include <d3d9.h>

#include "com_object.h"

namespace d3dx9 {

class RenderStateScope {
public:
    explicit RenderStateScope(IDirect3DDevice9* device) : device_(device) {}
    ~RenderStateScope();
    RenderStateScope(const RenderStateScope&) = delete;
    RenderStateScope& operator=(const RenderStateScope&) = delete;

    // Alpha-blended, untested, unculled, unlit pretransformed vertices of `fvf`
    // with stage 0 modulating a point-sampled texture by the vertex colour.
    void Prepare(DWORD fvf);
    void SetTexture(IDirect3DTexture9* texture);

private:
    enum class Kind { Render, Stage, Sampler };
    struct Saved {
        Kind kind;
        DWORD unit;
        DWORD type;
        DWORD value;
    };
    void Set(Kind kind, DWORD unit, DWORD type, DWORD value);

    IDirect3DDevice9* device_;
    Saved saved_[40];
    int savedCount_ = 0;

    bool prepared_ = false;
    DWORD fvf_ = 0;
    layer::ComPtr<IDirect3DVertexDeclaration9> declaration_;
    layer::ComPtr<IDirect3DVertexShader9> shader_;
    layer::ComPtr<IDirect3DVertexBuffer9> stream_;
    UINT streamOffset_ = 0;
    UINT streamStride_ = 0;
    layer::ComPtr<IDirect3DIndexBuffer9> indices_;

    bool textureSaved_ = false;
    layer::ComPtr<IDirect3DBaseTexture9> texture_;
};

}  // namespace d3dx9
