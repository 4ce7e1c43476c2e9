// What makes one fixed-function program differ from another: where the
// vertices come from, lighting and where its colours come from, the texture
// stage's operations and arguments, specular and the alpha test function.
// Everything else a draw needs (matrices, colours, the reference value) is a
// constant of the program. States that draw alike get the same key, so that a
// back end compiles one program for them and caches it by the packed key.
#pragma once

#include <cstdint>

#include "d3d9types.h"

namespace d3d9 {

struct DeviceState;
struct VertexLayout;

enum class VertexInput : uint8_t {
    Transformed,     // model space, through world, view and projection
    Pretransformed,  // screen pixels with rhw
    Shaded,          // clip space, from a vertex shader run on the CPU
};

// Where a lit colour comes from.
enum MaterialSource : uint8_t { kFromMaterial = 0, kFromDiffuse = 1, kFromSpecular = 2 };

// An argument's source after the modifiers are taken off (D3DTA_SELECTMASK).
// Arguments the stage cannot read are zero; at the first stage the current
// colour is the diffuse colour.
constexpr uint8_t kArgZero = D3DTA_TEMP;

struct FixedFunctionKey {
    VertexInput input = VertexInput::Transformed;
    bool lighting = false;
    uint8_t diffuseSource = kFromMaterial;
    uint8_t ambientSource = kFromMaterial;
    uint8_t emissiveSource = kFromMaterial;
    bool texture = false;  // a texture is bound and read; else it reads as white
    uint8_t colorOp = D3DTOP_MODULATE;
    uint8_t alphaOp = D3DTOP_SELECTARG1;
    // Arguments 1, 2 and 0, each a source with the complement and
    // alpha-replicate modifiers; the ones the operation does not read are 0.
    uint8_t colorArgs[3] = {};
    uint8_t alphaArgs[3] = {};
    bool specular = false;  // the specular colour is added after the stage
    uint8_t alphaFunc = D3DCMP_ALWAYS;  // ALWAYS when the test is off

    uint64_t Pack() const;
    static FixedFunctionKey Unpack(uint64_t bits);
};

// The key of a draw with these states, vertices of this layout (or shaded
// ones) and a texture bound or not at the first stage.
FixedFunctionKey MakeFixedFunctionKey(const DeviceState& s, const VertexLayout& layout, bool shaded,
                                      bool textureBound);

// What an operation reads: bit 0 argument 1, bit 1 argument 2, bit 2 argument 0.
unsigned OperationArguments(uint8_t op);
// An operation as the pipeline draws it: operations it does not draw are
// drawn as MODULATE.
uint8_t NormalizeOperation(DWORD op);

}  // namespace d3d9
