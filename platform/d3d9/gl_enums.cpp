#include "gl_enums.h"

namespace d3d9 {

namespace {

GLenum BlendFactor(DWORD b, bool* constant) {
    switch (b) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        case D3DBLEND_BLENDFACTOR: *constant = true; return GL_CONSTANT_COLOR;
        case D3DBLEND_INVBLENDFACTOR: *constant = true; return GL_ONE_MINUS_CONSTANT_COLOR;
        default: return GL_ONE;
    }
}

}  // namespace

void BlendFactors(DWORD src, DWORD dst, GLenum* s, GLenum* d, bool* constant) {
    if (src == D3DBLEND_BOTHSRCALPHA) {
        *s = GL_SRC_ALPHA;
        *d = GL_ONE_MINUS_SRC_ALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
        *s = GL_ONE_MINUS_SRC_ALPHA;
        *d = GL_SRC_ALPHA;
    } else {
        *s = BlendFactor(src, constant);
        *d = BlendFactor(dst, constant);
    }
}

GLenum BlendOp(DWORD op) {
    switch (op) {
        case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
        case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
        case D3DBLENDOP_MIN: return GL_MIN;
        case D3DBLENDOP_MAX: return GL_MAX;
        default: return GL_FUNC_ADD;
    }
}

GLenum CompareFunc(DWORD f) {
    if (f < D3DCMP_NEVER || f > D3DCMP_ALWAYS) return GL_ALWAYS;
    return GL_NEVER + (f - D3DCMP_NEVER);  // same order in both
}

GLint AddressMode(DWORD a) {
    switch (a) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP:
        case D3DTADDRESS_MIRRORONCE: return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        default: return GL_REPEAT;
    }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE t) {
    switch (t) {
        case D3DPT_POINTLIST: return GL_POINTS;
        case D3DPT_LINELIST: return GL_LINES;
        case D3DPT_LINESTRIP: return GL_LINE_STRIP;
        case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
        case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
        default: return GL_TRIANGLES;
    }
}

GLint MinFilter(DWORD minFilter, DWORD mipFilter, UINT levels) {
    const bool minLinear = minFilter >= D3DTEXF_LINEAR;
    if (levels <= 1 || mipFilter == D3DTEXF_NONE) return minLinear ? GL_LINEAR : GL_NEAREST;
    const bool mipLinear = mipFilter >= D3DTEXF_LINEAR;
    return minLinear ? (mipLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST)
                     : (mipLinear ? GL_NEAREST_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
}

GLint MagFilter(DWORD magFilter) { return magFilter >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST; }

}  // namespace d3d9
