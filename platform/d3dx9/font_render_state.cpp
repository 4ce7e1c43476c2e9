#include "font_render_state.h"

namespace d3dx9 {

namespace {

struct Setting {
    DWORD type;
    DWORD value;
};

const Setting kRenderStates[] = {
    {D3DRS_ALPHABLENDENABLE, TRUE},
    {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    {D3DRS_BLENDOP, D3DBLENDOP_ADD},
    {D3DRS_SEPARATEALPHABLENDENABLE, FALSE},
    // Uncovered texels are dropped, so only the glyphs' own pixels reach the
    // depth buffer. The depth states stay as the caller set them: glyphs lie at
    // z 0, in front of everything, and what is drawn after them cannot cover them.
    {D3DRS_ALPHATESTENABLE, TRUE},
    {D3DRS_ALPHAFUNC, D3DCMP_GREATER},
    {D3DRS_ALPHAREF, 0},
    {D3DRS_STENCILENABLE, FALSE},
    {D3DRS_CULLMODE, D3DCULL_NONE},
    {D3DRS_FILLMODE, D3DFILL_SOLID},
    {D3DRS_LIGHTING, FALSE},
    {D3DRS_FOGENABLE, FALSE},
    {D3DRS_COLORWRITEENABLE, 0xF},
};

const Setting kStage0[] = {
    {D3DTSS_COLOROP, D3DTOP_MODULATE},     {D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {D3DTSS_COLORARG2, D3DTA_DIFFUSE},     {D3DTSS_ALPHAOP, D3DTOP_MODULATE},
    {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},     {D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
    {D3DTSS_TEXCOORDINDEX, 0},             {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
    {D3DTSS_RESULTARG, D3DTA_CURRENT},
};

// Stage 1 ends the cascade.
const Setting kStage1[] = {
    {D3DTSS_COLOROP, D3DTOP_DISABLE},
    {D3DTSS_ALPHAOP, D3DTOP_DISABLE},
};

// One texel per pixel, never wrapping into a neighbouring glyph.
const Setting kSampler0[] = {
    {D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP}, {D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP},
    {D3DSAMP_MAGFILTER, D3DTEXF_POINT},    {D3DSAMP_MINFILTER, D3DTEXF_POINT},
    {D3DSAMP_MIPFILTER, D3DTEXF_NONE},
};

constexpr int kSettings = sizeof kRenderStates / sizeof kRenderStates[0] + sizeof kStage0 / sizeof kStage0[0] +
                          sizeof kStage1 / sizeof kStage1[0] + sizeof kSampler0 / sizeof kSampler0[0];

}  // namespace

void RenderStateScope::Set(Kind kind, DWORD unit, DWORD type, DWORD value) {
    static_assert(kSettings <= sizeof saved_ / sizeof saved_[0], "room for every setting");
    DWORD old = 0;
    HRESULT hr = E_FAIL;
    switch (kind) {
        case Kind::Render: hr = device_->GetRenderState(static_cast<D3DRENDERSTATETYPE>(type), &old); break;
        case Kind::Stage:
            hr = device_->GetTextureStageState(unit, static_cast<D3DTEXTURESTAGESTATETYPE>(type), &old);
            break;
        case Kind::Sampler:
            hr = device_->GetSamplerState(unit, static_cast<D3DSAMPLERSTATETYPE>(type), &old);
            break;
    }
    // A state the device does not know is left alone.
    if (FAILED(hr) || old == value) return;
    switch (kind) {
        case Kind::Render: hr = device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(type), value); break;
        case Kind::Stage:
            hr = device_->SetTextureStageState(unit, static_cast<D3DTEXTURESTAGESTATETYPE>(type), value);
            break;
        case Kind::Sampler:
            hr = device_->SetSamplerState(unit, static_cast<D3DSAMPLERSTATETYPE>(type), value);
            break;
    }
    if (SUCCEEDED(hr)) saved_[savedCount_++] = Saved{kind, unit, type, old};
}

void RenderStateScope::Prepare(DWORD fvf) {
    prepared_ = true;
    for (const Setting& s : kRenderStates) Set(Kind::Render, 0, s.type, s.value);
    for (const Setting& s : kStage0) Set(Kind::Stage, 0, s.type, s.value);
    for (const Setting& s : kStage1) Set(Kind::Stage, 1, s.type, s.value);
    for (const Setting& s : kSampler0) Set(Kind::Sampler, 0, s.type, s.value);

    IDirect3DVertexShader9* shader = nullptr;
    device_->GetVertexShader(&shader);
    shader_.reset(shader);
    if (shader_) device_->SetVertexShader(nullptr);

    IDirect3DVertexDeclaration9* declaration = nullptr;
    device_->GetVertexDeclaration(&declaration);
    declaration_.reset(declaration);
    device_->GetFVF(&fvf_);
    if (declaration_ || fvf_ != fvf) device_->SetFVF(fvf);

    // Drawing from memory unbinds stream 0; the indices are kept in case it also unbinds those.
    IDirect3DVertexBuffer9* stream = nullptr;
    if (SUCCEEDED(device_->GetStreamSource(0, &stream, &streamOffset_, &streamStride_))) stream_.reset(stream);
    IDirect3DIndexBuffer9* indices = nullptr;
    if (SUCCEEDED(device_->GetIndices(&indices))) indices_.reset(indices);
}

void RenderStateScope::SetTexture(IDirect3DTexture9* texture) {
    if (!textureSaved_) {
        IDirect3DBaseTexture9* old = nullptr;
        device_->GetTexture(0, &old);
        texture_.reset(old);
        textureSaved_ = true;
    }
    IDirect3DBaseTexture9* current = nullptr;
    device_->GetTexture(0, &current);
    if (current) current->Release();
    if (current != texture) device_->SetTexture(0, texture);
}

RenderStateScope::~RenderStateScope() {
    if (textureSaved_) {
        IDirect3DBaseTexture9* current = nullptr;
        device_->GetTexture(0, &current);
        if (current) current->Release();
        if (current != texture_.get()) device_->SetTexture(0, texture_.get());
    }
    if (prepared_) {
        IDirect3DVertexBuffer9* stream = nullptr;
        UINT offset = 0, stride = 0;
        if (SUCCEEDED(device_->GetStreamSource(0, &stream, &offset, &stride))) {
            if (stream) stream->Release();
            if (stream != stream_.get() || offset != streamOffset_ || stride != streamStride_)
                device_->SetStreamSource(0, stream_.get(), streamOffset_, streamStride_);
        }
        IDirect3DIndexBuffer9* indices = nullptr;
        if (SUCCEEDED(device_->GetIndices(&indices))) {
            if (indices) indices->Release();
            if (indices != indices_.get()) device_->SetIndices(indices_.get());
        }
        if (declaration_) device_->SetVertexDeclaration(declaration_.get());
        DWORD fvf = 0;
        device_->GetFVF(&fvf);
        if (fvf != fvf_) device_->SetFVF(fvf_);
        if (shader_) device_->SetVertexShader(shader_.get());
    }
    while (savedCount_ > 0) {
        const Saved& s = saved_[--savedCount_];
        switch (s.kind) {
            case Kind::Render: device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s.type), s.value); break;
            case Kind::Stage:
                device_->SetTextureStageState(s.unit, static_cast<D3DTEXTURESTAGESTATETYPE>(s.type), s.value);
                break;
            case Kind::Sampler:
                device_->SetSamplerState(s.unit, static_cast<D3DSAMPLERSTATETYPE>(s.type), s.value);
                break;
        }
    }
}

}  // namespace d3dx9
