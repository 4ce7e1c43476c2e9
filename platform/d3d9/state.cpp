#include "state.h"

#include "objects.h"

#include <cstring>

namespace d3d9 {

namespace {

void Identity(D3DMATRIX* m) {
    std::memset(m, 0, sizeof *m);
    m->_11 = m->_22 = m->_33 = m->_44 = 1.0f;
}

}  // namespace

int TransformSlot(D3DTRANSFORMSTATETYPE state) {
    DWORD s = static_cast<DWORD>(state);
    if (s == D3DTS_VIEW) return 0;
    if (s == D3DTS_PROJECTION) return 1;
    if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) return static_cast<int>(2 + s - D3DTS_TEXTURE0);
    if (s >= 256 && s < 512) return static_cast<int>(10 + s - 256);
    return -1;
}

void DeviceState::SetDefaults(UINT width, UINT height, bool autoDepth) {
    std::memset(render, 0, sizeof render);
    DWORD* r = render;
    r[D3DRS_ZENABLE] = autoDepth ? D3DZB_TRUE : D3DZB_FALSE;
    r[D3DRS_FILLMODE] = D3DFILL_SOLID;
    r[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    r[D3DRS_ZWRITEENABLE] = TRUE;
    r[D3DRS_ALPHATESTENABLE] = FALSE;
    r[D3DRS_LASTPIXEL] = TRUE;
    r[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    r[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    r[D3DRS_CULLMODE] = D3DCULL_CCW;
    r[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    r[D3DRS_ALPHAREF] = 0;
    r[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_FOGSTART] = FloatBits(0.0f);
    r[D3DRS_FOGEND] = FloatBits(1.0f);
    r[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    r[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    r[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    r[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    r[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    r[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    r[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    r[D3DRS_CLIPPING] = TRUE;
    r[D3DRS_LIGHTING] = TRUE;
    r[D3DRS_AMBIENT] = 0;
    r[D3DRS_COLORVERTEX] = TRUE;
    r[D3DRS_LOCALVIEWER] = TRUE;
    r[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    r[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    r[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    r[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    r[D3DRS_POINTSIZE] = FloatBits(1.0f);
    r[D3DRS_POINTSIZE_MIN] = FloatBits(1.0f);
    r[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
    r[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    r[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    r[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
    r[D3DRS_COLORWRITEENABLE] = 0x0000000F;
    r[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    r[D3DRS_POSITIONDEGREE] = 3;  // cubic
    r[D3DRS_NORMALDEGREE] = 1;    // linear
    r[D3DRS_MINTESSELLATIONLEVEL] = FloatBits(1.0f);
    r[D3DRS_MAXTESSELLATIONLEVEL] = FloatBits(1.0f);
    r[D3DRS_ADAPTIVETESS_Z] = FloatBits(1.0f);
    r[D3DRS_CCW_STENCILFAIL] = D3DSTENCILOP_KEEP;
    r[D3DRS_CCW_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    r[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    r[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    r[D3DRS_COLORWRITEENABLE1] = 0x0000000F;
    r[D3DRS_COLORWRITEENABLE2] = 0x0000000F;
    r[D3DRS_COLORWRITEENABLE3] = 0x0000000F;
    r[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    r[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    r[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    r[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    std::memset(stage, 0, sizeof stage);
    for (UINT s = 0; s < kStages; ++s) {
        DWORD* t = stage[s];
        t[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = s;
        t[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        t[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }

    std::memset(sampler, 0, sizeof sampler);
    for (UINT s = 0; s < kSamplers; ++s) {
        DWORD* t = sampler[s];
        t[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        t[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        t[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        t[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        t[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        t[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        t[D3DSAMP_MAXANISOTROPY] = 1;
    }

    for (D3DMATRIX& m : transforms) Identity(&m);
    std::memset(&material, 0, sizeof material);
    viewport = D3DVIEWPORT9{0, 0, width, height, 0.0f, 1.0f};
    scissor = RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    fvf = 0;
    std::memset(vsConstants, 0, sizeof vsConstants);
    cursorX = cursorY = 0;
    cursorShown = false;
}

void DeviceState::UnbindAll() {
    for (Bound<Texture>& t : textures) t.reset();
    declaration.reset();
    shader.reset();
    for (StreamBinding& s : streams) s.buffer.reset();
    indices.reset();
}

}  // namespace d3d9
