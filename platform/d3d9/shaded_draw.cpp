#include "shaded_draw.h"

#include <algorithm>
#include <cstring>

#include "backend.h"

namespace d3d9 {

namespace {

float Half(uint16_t h) {
    const uint32_t sign = uint32_t(h & 0x8000) << 16;
    uint32_t exponent = (h >> 10) & 0x1F;
    uint32_t mantissa = h & 0x3FF;
    uint32_t bits;
    if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else {  // subnormal: normalise
            int e = -1;
            do {
                ++e;
                mantissa <<= 1;
            } while (!(mantissa & 0x400));
            bits = sign | uint32_t(127 - 15 - e) << 23 | (mantissa & 0x3FF) << 13;
        }
    } else if (exponent == 31) {
        bits = sign | 0x7F800000u | mantissa << 13;
    } else {
        bits = sign | (exponent + 127 - 15) << 23 | mantissa << 13;
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

template <class T>
T Load(const uint8_t* p, size_t i) {
    T v;
    std::memcpy(&v, p + i * sizeof(T), sizeof(T));
    return v;
}

// `n` elements of N floats, `stride` bytes apart, into four lanes; the
// components they lack are 0, and w is 1.
template <UINT N>
void FetchFloats(const uint8_t* p, UINT stride, UINT n, float* __restrict x, float* __restrict y,
                 float* __restrict z, float* __restrict w) {
    for (UINT i = 0; i < n; ++i, p += stride) {
        float v[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        std::memcpy(v, p, N * sizeof(float));
        x[i] = v[0];
        y[i] = v[1];
        z[i] = v[2];
        w[i] = v[3];
    }
}

// `n` elements of `type`, `stride` bytes apart from `p`, into four lanes. The
// common types have loops of their own; the rest go one by one.
void Fetch(const uint8_t* p, UINT stride, D3DDECLTYPE type, UINT n, float* const lane[4]) {
    float* __restrict x = lane[0];
    float* __restrict y = lane[1];
    float* __restrict z = lane[2];
    float* __restrict w = lane[3];
    switch (type) {
        case D3DDECLTYPE_FLOAT2: return FetchFloats<2>(p, stride, n, x, y, z, w);
        case D3DDECLTYPE_FLOAT3: return FetchFloats<3>(p, stride, n, x, y, z, w);
        case D3DDECLTYPE_FLOAT4: return FetchFloats<4>(p, stride, n, x, y, z, w);
        case D3DDECLTYPE_D3DCOLOR:  // bytes B, G, R, A
            for (UINT i = 0; i < n; ++i, p += stride) {
                x[i] = p[2] / 255.0f;
                y[i] = p[1] / 255.0f;
                z[i] = p[0] / 255.0f;
                w[i] = p[3] / 255.0f;
            }
            return;
        default:
            for (UINT i = 0; i < n; ++i, p += stride) {
                float v[4];
                ReadElement(p, type, v);
                x[i] = v[0];
                y[i] = v[1];
                z[i] = v[2];
                w[i] = v[3];
            }
            return;
    }
}

}  // namespace

bool ReadElement(const uint8_t* p, D3DDECLTYPE type, float out[4]) {
    out[0] = out[1] = out[2] = 0.0f;
    out[3] = 1.0f;
    switch (type) {
        case D3DDECLTYPE_FLOAT4: out[3] = Load<float>(p, 3); [[fallthrough]];
        case D3DDECLTYPE_FLOAT3: out[2] = Load<float>(p, 2); [[fallthrough]];
        case D3DDECLTYPE_FLOAT2: out[1] = Load<float>(p, 1); [[fallthrough]];
        case D3DDECLTYPE_FLOAT1: out[0] = Load<float>(p, 0); return true;
        case D3DDECLTYPE_D3DCOLOR:  // bytes B, G, R, A
            out[0] = p[2] / 255.0f;
            out[1] = p[1] / 255.0f;
            out[2] = p[0] / 255.0f;
            out[3] = p[3] / 255.0f;
            return true;
        case D3DDECLTYPE_UBYTE4:
        case D3DDECLTYPE_UBYTE4N: {
            const float scale = type == D3DDECLTYPE_UBYTE4N ? 1.0f / 255.0f : 1.0f;
            for (int c = 0; c < 4; ++c) out[c] = p[c] * scale;
            return true;
        }
        case D3DDECLTYPE_SHORT2:
        case D3DDECLTYPE_SHORT4:
        case D3DDECLTYPE_SHORT2N:
        case D3DDECLTYPE_SHORT4N: {
            const int n = type == D3DDECLTYPE_SHORT2 || type == D3DDECLTYPE_SHORT2N ? 2 : 4;
            const bool normal = type == D3DDECLTYPE_SHORT2N || type == D3DDECLTYPE_SHORT4N;
            for (int c = 0; c < n; ++c) {
                const float v = Load<int16_t>(p, c);
                out[c] = normal ? (v < -32767.0f ? -1.0f : v / 32767.0f) : v;
            }
            return true;
        }
        case D3DDECLTYPE_USHORT2N:
        case D3DDECLTYPE_USHORT4N: {
            const int n = type == D3DDECLTYPE_USHORT2N ? 2 : 4;
            for (int c = 0; c < n; ++c) out[c] = Load<uint16_t>(p, c) / 65535.0f;
            return true;
        }
        case D3DDECLTYPE_FLOAT16_2:
        case D3DDECLTYPE_FLOAT16_4: {
            const int n = type == D3DDECLTYPE_FLOAT16_2 ? 2 : 4;
            for (int c = 0; c < n; ++c) out[c] = Half(Load<uint16_t>(p, c));
            return true;
        }
        default: return false;
    }
}

bool VertexShading::Run(const VsProgram& program, const VertexLayout& layout, const StreamSource* streams,
                        int64_t first, int64_t last, const float* constants, UINT constantRegisters) {
    // Each declared input and the element that feeds it.
    struct Feed {
        UINT reg;
        const VertexElement* element;
    };
    Feed feeds[kVsInputRegisters];
    UINT feedCount = 0;
    for (const VsInput& input : program.Inputs()) {
        const VertexElement* e = layout.Find(input.usage, input.usageIndex);
        float probe[4];
        static const uint8_t zeros[16] = {};  // room for the largest type
        if (!e || !ReadElement(zeros, e->type, probe)) return false;
        feeds[feedCount++] = Feed{VsBatch::kInputBase + input.reg, e};
    }

    program.Prepare(constants, constantRegisters, &batch_);
    const size_t total = static_cast<size_t>(last - first + 1);
    vertices_.resize(total);
    constexpr UINT kLanes = VsBatch::kLanes;
    for (size_t start = 0; start < total; start += kLanes) {
        const UINT n = static_cast<UINT>(std::min<size_t>(kLanes, total - start));
        // Input by input, the batch's vertices into the lanes.
        for (UINT f = 0; f < feedCount; ++f) {
            const VertexElement& e = *feeds[f].element;
            const StreamSource& s = streams[e.stream];
            const uint8_t* p = s.data + s.offset + static_cast<size_t>(first + int64_t(start)) * s.stride + e.offset;
            float* lane[4];
            for (UINT c = 0; c < 4; ++c) lane[c] = batch_.Lane(feeds[f].reg, c);
            Fetch(p, s.stride, e.type, n, lane);
        }
        program.Run(&batch_);
        // The lanes into the vertices, one whole vertex at a time.
        const float* from[16];
        const UINT outputs[4] = {VsBatch::kPosition, VsBatch::kDiffuse, VsBatch::kSpecular, VsBatch::kTexCoordBase};
        for (UINT r = 0; r < 4; ++r)
            for (UINT c = 0; c < 4; ++c) from[r * 4 + c] = batch_.Lane(outputs[r], c);
        ShadedVertex* out = &vertices_[start];
        static_assert(sizeof(ShadedVertex) == 16 * sizeof(float), "four registers of four floats");
        for (UINT i = 0; i < n; ++i) {
            float v[16];
            for (UINT k = 0; k < 16; ++k) v[k] = from[k][i];
            std::memcpy(&out[i], v, sizeof v);
        }
    }
    return true;
}

}  // namespace d3d9
