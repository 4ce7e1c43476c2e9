// The device's authoritative state: everything Set* stores and Get* reads back.
#pragma once

#include "d3d9types.h"
#include "vertex_layout.h"

namespace d3d9 {

class Texture;
class VertexBuffer;
class IndexBuffer;
class VertexShader;
class VertexDeclaration;

constexpr UINT kRenderStates = 256;
constexpr UINT kStages = 8;          // fixed-function texture stages
constexpr UINT kStageStates = 33;
constexpr UINT kSamplers = 16;       // also the texture slots
constexpr UINT kSamplerStates = 14;
constexpr UINT kVertexShaderConstants = 256;
constexpr UINT kTransformSlots = 2 + 8 + 256;  // view, projection, 8 texture, 256 world

// A reference the device's state holds on a bound object (see DeviceChild::Bind).
template <class T>
class Bound {
public:
    Bound() = default;
    Bound(const Bound&) = delete;
    Bound& operator=(const Bound&) = delete;
    ~Bound() { reset(); }
    void reset(T* p = nullptr) {
        if (p) p->Bind();
        T* old = p_;
        p_ = p;
        if (old) old->Unbind();
    }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

struct StreamBinding {
    Bound<VertexBuffer> buffer;
    UINT offset = 0;
    UINT stride = 0;
};

struct DeviceState {
    DWORD render[kRenderStates];
    DWORD stage[kStages][kStageStates];
    DWORD sampler[kSamplers][kSamplerStates];
    D3DMATRIX transforms[kTransformSlots];
    D3DMATERIAL9 material;
    D3DVIEWPORT9 viewport;
    RECT scissor;
    Bound<Texture> textures[kSamplers];
    DWORD fvf = 0;
    Bound<VertexDeclaration> declaration;
    Bound<VertexShader> shader;
    StreamBinding streams[kMaxStreams];
    Bound<IndexBuffer> indices;
    float vsConstants[kVertexShaderConstants * 4];
    int cursorX = 0;
    int cursorY = 0;
    bool cursorShown = false;

    // The platform's documented defaults for a render target of this size.
    void SetDefaults(UINT width, UINT height, bool autoDepth);
    // Drops every binding (the device is going away).
    void UnbindAll();
};

// Slot of a transform state in DeviceState::transforms; -1 when not a transform.
int TransformSlot(D3DTRANSFORMSTATETYPE state);

inline DWORD FloatBits(float f) {
    DWORD d;
    static_assert(sizeof d == sizeof f, "");
    __builtin_memcpy(&d, &f, sizeof d);
    return d;
}
inline float BitsFloat(DWORD d) {
    float f;
    __builtin_memcpy(&f, &d, sizeof f);
    return f;
}

}  // namespace d3d9
