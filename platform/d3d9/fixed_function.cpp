#include "fixed_function.h"

#include "state.h"
#include "vertex_layout.h"

namespace d3d9 {

namespace {

constexpr uint8_t kArgBits = 0x3F;  // source and both modifiers

uint8_t NormalizeArgument(DWORD a) {
    uint8_t source = a & D3DTA_SELECTMASK;
    if (source == D3DTA_CURRENT) source = D3DTA_DIFFUSE;
    if (source == D3DTA_TEMP || source > D3DTA_CONSTANT) source = kArgZero;
    return static_cast<uint8_t>(source | (a & (D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)));
}

// The arguments of `op` from stage states arg1, arg2, arg0.
void Arguments(uint8_t op, DWORD arg1, DWORD arg2, DWORD arg0, uint8_t out[3]) {
    const unsigned reads = OperationArguments(op);
    out[0] = reads & 1 ? NormalizeArgument(arg1) : 0;
    out[1] = reads & 2 ? NormalizeArgument(arg2) : 0;
    out[2] = reads & 4 ? NormalizeArgument(arg0) : 0;
}

bool ReadsTexture(uint8_t op, const uint8_t args[3]) {
    if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return true;
    for (int i = 0; i < 3; ++i)
        if ((args[i] & D3DTA_SELECTMASK) == D3DTA_TEXTURE && (OperationArguments(op) >> i & 1)) return true;
    return false;
}

}  // namespace

uint8_t NormalizeOperation(DWORD op) {
    if ((op >= D3DTOP_DISABLE && op <= D3DTOP_BLENDCURRENTALPHA) ||
        (op >= D3DTOP_MODULATEALPHA_ADDCOLOR && op <= D3DTOP_MODULATEINVCOLOR_ADDALPHA) ||
        (op >= D3DTOP_DOTPRODUCT3 && op <= D3DTOP_LERP))
        return static_cast<uint8_t>(op);
    return D3DTOP_MODULATE;
}

unsigned OperationArguments(uint8_t op) {
    switch (op) {
        case D3DTOP_DISABLE: return 0;
        case D3DTOP_SELECTARG1: return 1;
        case D3DTOP_SELECTARG2: return 2;
        case D3DTOP_MULTIPLYADD:
        case D3DTOP_LERP: return 7;
        default: return 3;
    }
}

FixedFunctionKey MakeFixedFunctionKey(const DeviceState& s, const VertexLayout& layout, bool shaded,
                                      bool textureBound) {
    const DWORD* rs = s.render;
    const DWORD* stage = s.stage[0];
    FixedFunctionKey k;
    k.input = shaded                  ? VertexInput::Shaded
              : layout.pretransformed ? VertexInput::Pretransformed
                                      : VertexInput::Transformed;
    const bool hasDiffuse = !shaded && layout.Find(D3DDECLUSAGE_COLOR, 0) != nullptr;
    const bool hasSpecular = shaded || layout.Find(D3DDECLUSAGE_COLOR, 1) != nullptr;
    if (k.input == VertexInput::Transformed && rs[D3DRS_LIGHTING]) {
        k.lighting = true;
        const bool colorVertex = rs[D3DRS_COLORVERTEX] != 0;
        auto source = [&](DWORD which) -> uint8_t {
            if (!colorVertex) return kFromMaterial;
            if (which == D3DMCS_COLOR1 && hasDiffuse) return kFromDiffuse;
            if (which == D3DMCS_COLOR2 && hasSpecular) return kFromSpecular;
            return kFromMaterial;
        };
        k.diffuseSource = source(rs[D3DRS_DIFFUSEMATERIALSOURCE]);
        k.ambientSource = source(rs[D3DRS_AMBIENTMATERIALSOURCE]);
        k.emissiveSource = source(rs[D3DRS_EMISSIVEMATERIALSOURCE]);
    }

    k.colorOp = NormalizeOperation(stage[D3DTSS_COLOROP]);
    if (k.colorOp == D3DTOP_DISABLE) {
        // The diffuse colour as it stands, alpha too.
        k.alphaOp = D3DTOP_DISABLE;
    } else {
        k.alphaOp = NormalizeOperation(stage[D3DTSS_ALPHAOP]);
        Arguments(k.colorOp, stage[D3DTSS_COLORARG1], stage[D3DTSS_COLORARG2], stage[D3DTSS_COLORARG0],
                  k.colorArgs);
        Arguments(k.alphaOp, stage[D3DTSS_ALPHAARG1], stage[D3DTSS_ALPHAARG2], stage[D3DTSS_ALPHAARG0],
                  k.alphaArgs);
    }
    k.texture = textureBound && (ReadsTexture(k.colorOp, k.colorArgs) || ReadsTexture(k.alphaOp, k.alphaArgs));
    // Lit vertices have no specular colour to add; nor have vertices without one.
    k.specular = rs[D3DRS_SPECULARENABLE] != 0 && !k.lighting && hasSpecular;
    const DWORD func = rs[D3DRS_ALPHAFUNC];
    k.alphaFunc = rs[D3DRS_ALPHATESTENABLE] && func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS
                      ? static_cast<uint8_t>(func)
                      : static_cast<uint8_t>(D3DCMP_ALWAYS);
    return k;
}

uint64_t FixedFunctionKey::Pack() const {
    uint64_t b = 0;
    int at = 0;
    auto put = [&](uint64_t value, int bits) {
        b |= (value & ((uint64_t{1} << bits) - 1)) << at;
        at += bits;
    };
    put(static_cast<uint64_t>(input), 2);
    put(lighting, 1);
    put(diffuseSource, 2);
    put(ambientSource, 2);
    put(emissiveSource, 2);
    put(texture, 1);
    put(colorOp, 5);
    put(alphaOp, 5);
    for (uint8_t a : colorArgs) put(a, 6);
    for (uint8_t a : alphaArgs) put(a, 6);
    put(specular, 1);
    put(alphaFunc, 4);
    return b;
}

FixedFunctionKey FixedFunctionKey::Unpack(uint64_t b) {
    FixedFunctionKey k;
    int at = 0;
    auto get = [&](int bits) {
        const uint64_t v = (b >> at) & ((uint64_t{1} << bits) - 1);
        at += bits;
        return static_cast<uint8_t>(v);
    };
    k.input = static_cast<VertexInput>(get(2));
    k.lighting = get(1) != 0;
    k.diffuseSource = get(2);
    k.ambientSource = get(2);
    k.emissiveSource = get(2);
    k.texture = get(1) != 0;
    k.colorOp = get(5);
    k.alphaOp = get(5);
    for (uint8_t& a : k.colorArgs) a = get(6) & kArgBits;
    for (uint8_t& a : k.alphaArgs) a = get(6) & kArgBits;
    k.specular = get(1) != 0;
    k.alphaFunc = get(4);
    return k;
}

}  // namespace d3d9
