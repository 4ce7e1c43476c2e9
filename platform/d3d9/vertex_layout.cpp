#include "vertex_layout.h"

#include <algorithm>

namespace d3d9 {

const VertexElement* VertexLayout::Find(D3DDECLUSAGE usage, UINT index) const {
    for (const VertexElement& e : elements)
        if (e.usage == usage && e.usageIndex == index) return &e;
    return nullptr;
}

UINT DeclTypeSize(BYTE type) {
    switch (type) {
        case D3DDECLTYPE_FLOAT1: return 4;
        case D3DDECLTYPE_FLOAT2: return 8;
        case D3DDECLTYPE_FLOAT3: return 12;
        case D3DDECLTYPE_FLOAT4: return 16;
        case D3DDECLTYPE_D3DCOLOR:
        case D3DDECLTYPE_UBYTE4:
        case D3DDECLTYPE_UBYTE4N:
        case D3DDECLTYPE_SHORT2:
        case D3DDECLTYPE_SHORT2N:
        case D3DDECLTYPE_USHORT2N:
        case D3DDECLTYPE_UDEC3:
        case D3DDECLTYPE_DEC3N:
        case D3DDECLTYPE_FLOAT16_2:
            return 4;
        case D3DDECLTYPE_SHORT4:
        case D3DDECLTYPE_SHORT4N:
        case D3DDECLTYPE_USHORT4N:
        case D3DDECLTYPE_FLOAT16_4:
            return 8;
        default:
            return 0;
    }
}

namespace {

void Add(VertexLayout* layout, UINT offset, D3DDECLTYPE type, D3DDECLUSAGE usage, UINT index) {
    layout->elements.push_back({0, offset, type, usage, index});
}

void Finish(VertexLayout* layout) {
    for (const VertexElement& e : layout->elements) {
        UINT end = e.offset + DeclTypeSize(static_cast<BYTE>(e.type));
        layout->streamExtent[e.stream] = std::max(layout->streamExtent[e.stream], end);
        layout->streamMask |= 1u << e.stream;
        if (e.usage == D3DDECLUSAGE_POSITIONT && e.usageIndex == 0) layout->pretransformed = true;
        if ((e.usage == D3DDECLUSAGE_POSITION || e.usage == D3DDECLUSAGE_POSITIONT) && e.usageIndex == 0)
            layout->hasPosition = true;
    }
}

}  // namespace

// Builds the layout of an FVF code; returns the vertex size (0 when invalid).
static UINT BuildFvf(DWORD fvf, VertexLayout* layout) {
    UINT offset = 0;
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    int betas = 0;
    switch (position) {
        case 0: break;
        case D3DFVF_XYZ: Add(layout, offset, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0); offset += 12; break;
        case D3DFVF_XYZRHW: Add(layout, offset, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0); offset += 16; break;
        case D3DFVF_XYZW: Add(layout, offset, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0); offset += 16; break;
        case D3DFVF_XYZB1: betas = 1; break;
        case D3DFVF_XYZB2: betas = 2; break;
        case D3DFVF_XYZB3: betas = 3; break;
        case D3DFVF_XYZB4: betas = 4; break;
        case D3DFVF_XYZB5: betas = 5; break;
        default: return 0;
    }
    if (betas > 0) {
        Add(layout, offset, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        offset += 12;
        // With a LASTBETA flag the last beta holds packed blend indices.
        bool lastIsIndices = (fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR)) != 0;
        int weights = lastIsIndices ? betas - 1 : betas;
        if (weights > 0)
            Add(layout, offset, static_cast<D3DDECLTYPE>(D3DDECLTYPE_FLOAT1 + weights - 1),
                D3DDECLUSAGE_BLENDWEIGHT, 0);
        offset += 4 * weights;
        if (lastIsIndices) {
            Add(layout, offset,
                (fvf & D3DFVF_LASTBETA_UBYTE4) ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR,
                D3DDECLUSAGE_BLENDINDICES, 0);
            offset += 4;
        }
    }
    if (fvf & D3DFVF_NORMAL) { Add(layout, offset, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0); offset += 12; }
    if (fvf & D3DFVF_PSIZE) { Add(layout, offset, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0); offset += 4; }
    if (fvf & D3DFVF_DIFFUSE) { Add(layout, offset, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0); offset += 4; }
    if (fvf & D3DFVF_SPECULAR) { Add(layout, offset, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1); offset += 4; }
    UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 8) return 0;
    for (UINT i = 0; i < texCount; ++i) {
        UINT format = (fvf >> (16 + 2 * i)) & 3;
        UINT components = format == D3DFVF_TEXTUREFORMAT1   ? 1
                          : format == D3DFVF_TEXTUREFORMAT2 ? 2
                          : format == D3DFVF_TEXTUREFORMAT3 ? 3
                                                            : 4;
        Add(layout, offset, static_cast<D3DDECLTYPE>(D3DDECLTYPE_FLOAT1 + components - 1),
            D3DDECLUSAGE_TEXCOORD, i);
        offset += 4 * components;
    }
    return offset;
}

UINT FvfVertexSize(DWORD fvf) {
    VertexLayout layout;
    return BuildFvf(fvf, &layout);
}

bool LayoutFromFvf(DWORD fvf, VertexLayout* out) {
    VertexLayout layout;
    if (BuildFvf(fvf, &layout) == 0) return false;
    Finish(&layout);
    *out = std::move(layout);
    return true;
}

int CountDeclElements(const D3DVERTEXELEMENT9* elements, UINT limit) {
    for (UINT i = 0; i < limit; ++i)
        if (elements[i].Stream == 0xFF) return static_cast<int>(i);
    return -1;
}

bool LayoutFromElements(const D3DVERTEXELEMENT9* elements, UINT count, VertexLayout* out) {
    VertexLayout layout;
    for (UINT i = 0; i < count; ++i) {
        const D3DVERTEXELEMENT9& e = elements[i];
        if (e.Stream >= kMaxStreams || DeclTypeSize(e.Type) == 0 || e.Usage > D3DDECLUSAGE_SAMPLE ||
            e.UsageIndex >= 16 || e.Method > D3DDECLMETHOD_LOOKUPPRESAMPLED)
            return false;
        layout.elements.push_back({e.Stream, e.Offset, static_cast<D3DDECLTYPE>(e.Type),
                                   static_cast<D3DDECLUSAGE>(e.Usage), e.UsageIndex});
    }
    Finish(&layout);
    *out = std::move(layout);
    return true;
}

uint64_t VerticesForPrimitives(D3DPRIMITIVETYPE type, UINT primitives) {
    const uint64_t p = primitives;
    if (p == 0) return 0;
    switch (type) {
        case D3DPT_POINTLIST: return p;
        case D3DPT_LINELIST: return p * 2;
        case D3DPT_LINESTRIP: return p + 1;
        case D3DPT_TRIANGLELIST: return p * 3;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return p + 2;
        default: return 0;
    }
}

}  // namespace d3d9
