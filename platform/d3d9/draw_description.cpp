#include "backend.h"
#include "fixed_function.h"
#include "objects.h"

namespace d3d9 {

namespace {

void ColorFloats(D3DCOLOR c, float out[4]) {
    out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(c & 0xFF) / 255.0f;
    out[3] = static_cast<float>((c >> 24) & 0xFF) / 255.0f;
}

void ColorFloats(const D3DCOLORVALUE& c, float out[4]) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

// Row-vector product a x b.
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

}  // namespace

void DescribeDraw(const DeviceState& s, bool depthBuffer, DrawCall* call) {
    const DWORD* rs = s.render;
    const bool shaded = call->shaded != nullptr;
    Texture* texture = s.textures[0].get();
    const FixedFunctionKey key = MakeFixedFunctionKey(s, *call->layout, shaded, texture != nullptr);
    call->program = key.Pack();
    call->texCoordIndex = s.stage[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF;

    FixedFunctionConstants& c = call->constants;
    const D3DVIEWPORT9& vp = s.viewport;
    c.viewport[0] = static_cast<float>(vp.X);
    c.viewport[1] = static_cast<float>(vp.Y);
    c.viewport[2] = static_cast<float>(vp.Width);
    c.viewport[3] = static_cast<float>(vp.Height);
    if (key.input == VertexInput::Transformed) {
        c.worldViewProj = Multiply(Multiply(s.transforms[10], s.transforms[0]), s.transforms[1]);
    } else {
        c.worldViewProj = D3DMATRIX{{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    }
    ColorFloats(rs[D3DRS_AMBIENT], c.ambient);
    ColorFloats(s.material.Diffuse, c.matDiffuse);
    ColorFloats(s.material.Ambient, c.matAmbient);
    ColorFloats(s.material.Emissive, c.matEmissive);
    ColorFloats(rs[D3DRS_TEXTUREFACTOR], c.textureFactor);
    ColorFloats(s.stage[0][D3DTSS_CONSTANT], c.stageConstant);
    c.alphaRef = static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF);

    TextureBinding& t = call->texture;
    if (texture && key.texture) {
        const DWORD* sm = s.sampler[0];
        t.serial = texture->Serial();
        t.levels = texture->Levels();
        t.minFilter = sm[D3DSAMP_MINFILTER];
        t.magFilter = sm[D3DSAMP_MAGFILTER];
        t.mipFilter = sm[D3DSAMP_MIPFILTER];
        t.addressU = sm[D3DSAMP_ADDRESSU];
        t.addressV = sm[D3DSAMP_ADDRESSV];
        t.border = sm[D3DSAMP_BORDERCOLOR];
    }

    RasterState& r = call->raster;
    r.viewport = vp;
    r.cull = rs[D3DRS_CULLMODE];
    r.fill = rs[D3DRS_FILLMODE];
    r.colorWrite = rs[D3DRS_COLORWRITEENABLE];
    r.scissorTest = rs[D3DRS_SCISSORTESTENABLE] != 0;
    r.scissor = s.scissor;
    r.depthTest = depthBuffer && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    r.depthFunc = rs[D3DRS_ZFUNC];
    r.depthWrite = rs[D3DRS_ZWRITEENABLE] != 0;
    r.blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
    r.srcBlend = rs[D3DRS_SRCBLEND];
    r.destBlend = rs[D3DRS_DESTBLEND];
    r.blendOp = rs[D3DRS_BLENDOP];
    r.separateAlpha = rs[D3DRS_SEPARATEALPHABLENDENABLE] != 0;
    r.srcBlendAlpha = rs[D3DRS_SRCBLENDALPHA];
    r.destBlendAlpha = rs[D3DRS_DESTBLENDALPHA];
    r.blendOpAlpha = rs[D3DRS_BLENDOPALPHA];
    r.blendFactor = rs[D3DRS_BLENDFACTOR];
}

}  // namespace d3d9
