// What the rest of the layer may know about a buffer's contents without
// reading them: a version that changes with every write, and the range of a
// run of indices, worked out once per version. The program never calls these.
#pragma once

#include <cstdint>

#include "d3d9.h"

namespace d3d9 {

// Changes whenever the contents may have changed; 0 while the buffer is
// locked for writing, and for a buffer that this layer did not make.
uint64_t ContentVersion(IDirect3DVertexBuffer9* buffer);
uint64_t ContentVersion(IDirect3DIndexBuffer9* buffer);

// Smallest and largest of `count` indices from `first`, which must lie within
// the buffer. A buffer of this layer remembers the answer until its contents
// change; any other buffer is locked and read.
HRESULT IndexRange(IDirect3DIndexBuffer9* buffer, UINT first, UINT count, uint32_t* lo, uint32_t* hi);

// The same for indices in memory (2 or 4 bytes each).
void ScanIndexRange(const uint8_t* data, UINT indexSize, UINT first, UINT count, uint32_t* lo, uint32_t* hi);

}  // namespace d3d9
