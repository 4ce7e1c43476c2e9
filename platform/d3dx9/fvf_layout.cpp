#include "fvf_layout.h"

#include "d3dx9mesh.h"

namespace d3dx {

FvfLayout LayoutOf(DWORD fvf) {
    FvfLayout l;
    UINT at = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
        case 0: break;
        case D3DFVF_XYZ: l.positionBytes = 12; break;
        case D3DFVF_XYZRHW:
        case D3DFVF_XYZW: l.positionBytes = 16; break;
        case D3DFVF_XYZB1: l.positionBytes = 16; break;
        case D3DFVF_XYZB2: l.positionBytes = 20; break;
        case D3DFVF_XYZB3: l.positionBytes = 24; break;
        case D3DFVF_XYZB4: l.positionBytes = 28; break;
        case D3DFVF_XYZB5: l.positionBytes = 32; break;
        default: return l;
    }
    if (l.positionBytes) {
        l.position = 0;
        at = l.positionBytes;
    }
    if (fvf & D3DFVF_NORMAL) {
        l.normal = static_cast<int>(at);
        at += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        l.pointSize = static_cast<int>(at);
        at += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        l.diffuse = static_cast<int>(at);
        at += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        l.specular = static_cast<int>(at);
        at += 4;
    }
    l.texSets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (l.texSets > 8) return l;
    for (UINT i = 0; i < l.texSets; ++i) {
        static const UINT kBytes[4] = {8, 12, 16, 4};  // by D3DFVF_TEXTUREFORMAT2, 3, 4, 1
        l.tex[i] = static_cast<int>(at);
        l.texBytes[i] = kBytes[(fvf >> (16 + 2 * i)) & 3];
        at += l.texBytes[i];
    }
    l.stride = at;
    l.valid = at > 0;
    return l;
}

}  // namespace d3dx

UINT WINAPI D3DXGetFVFVertexSize(DWORD FVF) {
    d3dx::FvfLayout l = d3dx::LayoutOf(FVF);
    return l.valid ? l.stride : 0;
}
