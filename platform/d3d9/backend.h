// What a device asks of its back end: clears, draws, presents and back-buffer
// pixels. The device validates every call and keeps all state; a back end only
// carries out calls that are known to be safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "d3d9types.h"
#include "shaded_draw.h"
#include "state.h"
#include "vertex_layout.h"

namespace d3d9 {

class PixelStore;

struct BackBufferDesc {
    UINT width = 0;
    UINT height = 0;
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    bool depth = false;
    D3DFORMAT depthFormat = D3DFMT_D16;
};

// Where a stream's vertices come from. `serial` 0 marks data that lives only for
// this call (DrawPrimitiveUP); otherwise `generation` changes whenever the
// buffer's content does.
struct StreamSource {
    const uint8_t* data = nullptr;
    size_t size = 0;
    UINT offset = 0;
    UINT stride = 0;
    unsigned serial = 0;
    uint64_t generation = 0;
};

struct IndexSource {
    const uint8_t* data = nullptr;
    size_t size = 0;
    UINT indexSize = 2;
    unsigned serial = 0;
    uint64_t generation = 0;
};

// The rasteriser's and the output merger's states of a draw, as the device
// holds them; depth and scissor tests only when they are on.
struct RasterState {
    D3DVIEWPORT9 viewport = {};
    DWORD cull = D3DCULL_CCW;
    DWORD fill = D3DFILL_SOLID;
    DWORD colorWrite = 0xF;
    bool scissorTest = false;
    RECT scissor = {};
    bool depthTest = false;
    DWORD depthFunc = D3DCMP_LESSEQUAL;
    bool depthWrite = true;
    bool blend = false;
    DWORD srcBlend = D3DBLEND_ONE, destBlend = D3DBLEND_ZERO, blendOp = D3DBLENDOP_ADD;
    bool separateAlpha = false;
    DWORD srcBlendAlpha = D3DBLEND_ONE, destBlendAlpha = D3DBLEND_ZERO, blendOpAlpha = D3DBLENDOP_ADD;
    D3DCOLOR blendFactor = 0xFFFFFFFF;
};

// The constants of the fixed-function program: what may change from draw to
// draw without another program.
struct FixedFunctionConstants {
    D3DMATRIX worldViewProj = {};  // row vectors; identity for shaded vertices
    float viewport[4] = {};        // x, y, width, height in pixels
    float ambient[4] = {};
    float matDiffuse[4] = {};
    float matAmbient[4] = {};
    float matEmissive[4] = {};
    float textureFactor[4] = {};
    float stageConstant[4] = {};
    float alphaRef = 0;  // 0..255
};

// The texture of the first stage and how it is sampled.
struct TextureBinding {
    unsigned serial = 0;  // 0: none
    UINT levels = 0;
    DWORD minFilter = D3DTEXF_POINT, magFilter = D3DTEXF_POINT, mipFilter = D3DTEXF_NONE;
    DWORD addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
    D3DCOLOR border = 0;
};

// A draw as the back end needs it: the ranges and where they come from, the
// program (FixedFunctionKey::Pack) with its constants, the texture and the
// raster states. Nothing else of the device's state.
struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT count = 0;        // vertices (or indices) consumed
    UINT first = 0;        // first vertex, or first index when indexed
    INT baseVertex = 0;    // added to every index
    bool indexed = false;
    IndexSource indices;
    StreamSource streams[kMaxStreams];
    const VertexLayout* layout = nullptr;
    UINT texCoordIndex = 0;  // the layout's texture coordinates the stage reads
    // Set when a vertex shader ran: the vertices from number `shadedFirst` of
    // the streams on, in clip space; indices and `first` still count from the
    // start of the streams.
    const std::vector<ShadedVertex>* shaded = nullptr;
    int64_t shadedFirst = 0;

    uint64_t program = 0;
    FixedFunctionConstants constants;
    TextureBinding texture;
    RasterState raster;
};

// Fills the program, its constants, the texture and the raster states of a
// draw from the device's state (the rest of `call` is set already).
void DescribeDraw(const DeviceState& s, bool depthBuffer, DrawCall* call);

struct ClearCall {
    std::vector<RECT> rects;  // clipped to the viewport, none empty
    DWORD flags = 0;
    D3DCOLOR color = 0;
    float z = 1.0f;
    DWORD stencil = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    // False when the back end draws nothing (the null back end).
    virtual bool Draws() const = 0;
    virtual bool Headless() const = 0;
    // True when Present only swaps: the back buffer is the window's own.
    virtual bool PresentIsSwap() const { return false; }
    virtual void Clear(const ClearCall& call) = 0;
    virtual void Draw(const DrawCall& call) = 0;
    virtual void Present() = 0;
    // Fills `into` (the back buffer's size and format) with what was drawn.
    virtual void ReadBackBuffer(PixelStore& into) = 0;
    virtual void WriteBackBuffer(const PixelStore& from, const RECT& rect) = 0;
    // A texture's storage, made with the texture. False when the back end
    // keeps no pixels of it: the device's copy is then the only one.
    virtual bool CreateTexture(unsigned serial, D3DFORMAT format, UINT width, UINT height, UINT levels) = 0;
    // The CPU's pixels of `rect` of a level go to the back end's storage.
    virtual void WriteTexture(unsigned serial, UINT level, const PixelStore& from, const RECT& rect) = 0;
    // A level's pixels from the back end's storage into `into` (its size and format).
    virtual void ReadTexture(unsigned serial, UINT level, PixelStore& into) = 0;
    // Texture `to` takes the pixels of `from` (alike in size, format and
    // levels), sharing them until either is written; false when the back end
    // cannot.
    virtual bool ShareTexture(unsigned from, unsigned to) {
        (void)from;
        (void)to;
        return false;
    }
    // A resource with this serial is gone; free what was made for it.
    virtual void Forget(unsigned serial) = 0;
};

std::unique_ptr<Backend> CreateNullBackend();

struct GlBackendConfig {
    HWND window = nullptr;  // already full screen when the device is
    bool headless = false;  // draw without the window: an EGL context of its own
    BackBufferDesc backBuffer;
};
// The OpenGL back end; null with a reason in `error` when no context can be made.
std::unique_ptr<Backend> CreateGlBackend(const GlBackendConfig& config, std::string* error);

}  // namespace d3d9
