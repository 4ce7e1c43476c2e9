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

struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT count = 0;        // vertices (or indices) consumed
    UINT first = 0;        // first vertex, or first index when indexed
    INT baseVertex = 0;    // added to every index
    bool indexed = false;
    IndexSource indices;
    StreamSource streams[kMaxStreams];
    const VertexLayout* layout = nullptr;
    const DeviceState* state = nullptr;
    // Set when a vertex shader ran: the vertices from number `shadedFirst` of
    // the streams on, in clip space; indices and `first` still count from the
    // start of the streams.
    const std::vector<ShadedVertex>* shaded = nullptr;
    int64_t shadedFirst = 0;
};

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
    virtual void Clear(const ClearCall& call) = 0;
    virtual void Draw(const DrawCall& call) = 0;
    virtual void Present() = 0;
    // Fills `into` (the back buffer's size and format) with what was drawn.
    virtual void ReadBackBuffer(PixelStore& into) = 0;
    virtual void WriteBackBuffer(const PixelStore& from, const RECT& rect) = 0;
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
