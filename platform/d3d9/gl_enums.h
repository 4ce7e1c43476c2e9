// Direct3D's names of states as OpenGL's.
#pragma once

#include <epoxy/gl.h>

#include "d3d9types.h"

namespace d3d9 {

// The source and destination factors of a blend; `constant` is set when
// either reads the blend factor colour. BOTHSRCALPHA and BOTHINVSRCALPHA
// choose the destination's factor too.
void BlendFactors(DWORD src, DWORD dst, GLenum* s, GLenum* d, bool* constant);
GLenum BlendOp(DWORD op);
GLenum CompareFunc(DWORD func);
GLint AddressMode(DWORD address);
GLenum PrimitiveMode(D3DPRIMITIVETYPE type);
// The minifying filter of a texture of `levels` levels, mipmapped or not.
GLint MinFilter(DWORD minFilter, DWORD mipFilter, UINT levels);
GLint MagFilter(DWORD magFilter);

}  // namespace d3d9
