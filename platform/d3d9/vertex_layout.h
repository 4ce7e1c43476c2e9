// Where each vertex attribute lies in the streams: one description for vertices
// given by a flexible vertex format or by a vertex declaration.
#pragma once

#include <vector>

#include "d3d9types.h"

namespace d3d9 {

constexpr UINT kMaxStreams = 16;

struct VertexElement {
    UINT stream;
    UINT offset;
    D3DDECLTYPE type;
    D3DDECLUSAGE usage;
    UINT usageIndex;
};

struct VertexLayout {
    std::vector<VertexElement> elements;
    // Bytes a vertex occupies in each stream (the end of its last element).
    UINT streamExtent[kMaxStreams] = {};
    UINT streamMask = 0;  // bit s: stream s holds an element
    bool pretransformed = false;
    bool hasPosition = false;

    const VertexElement* Find(D3DDECLUSAGE usage, UINT index) const;
};

// Size in bytes of one element of a declaration type; 0 for an unknown type.
UINT DeclTypeSize(BYTE type);

// Vertex size of an FVF code (what D3DXGetFVFVertexSize reports); 0 when invalid.
UINT FvfVertexSize(DWORD fvf);

// False when the code or the elements cannot describe vertices.
bool LayoutFromFvf(DWORD fvf, VertexLayout* out);
bool LayoutFromElements(const D3DVERTEXELEMENT9* elements, UINT count, VertexLayout* out);

// Number of elements before D3DDECL_END, at most `limit`; -1 when no end was found
// within the limit.
int CountDeclElements(const D3DVERTEXELEMENT9* elements, UINT limit);

// Vertices (or indices) a draw of `primitives` primitives of `type` consumes; 0 for
// an unknown type.
uint64_t VerticesForPrimitives(D3DPRIMITIVETYPE type, UINT primitives);

}  // namespace d3d9
