#include <cstring>

#include "objects.h"

namespace d3d9 {

size_t VertexShader::MeasureTokens(const DWORD* tokens, size_t limit) {
    if (limit == 0 || (tokens[0] & 0xFFFF0000) != 0xFFFE0000) return 0;
    size_t i = 1;
    while (i < limit) {
        DWORD t = tokens[i];
        if (t == D3DSIO_END) return i + 1;
        if ((t & D3DSI_OPCODE_MASK) == D3DSIO_COMMENT) {
            // A comment's words may hold anything, the end token included.
            i += 1 + ((t & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT);
            continue;
        }
        ++i;
    }
    return 0;
}

bool VertexShader::Implements(REFIID riid) const { return IsEqualGUID(riid, IID_IDirect3DVertexShader9); }

HRESULT VertexShader::GetFunction(void* pData, UINT* pSizeOfData) {
    if (!pSizeOfData) return D3DERR_INVALIDCALL;
    UINT bytes = static_cast<UINT>(tokens_.size() * sizeof(DWORD));
    if (!pData) {
        *pSizeOfData = bytes;
        return D3D_OK;
    }
    if (*pSizeOfData < bytes) return D3DERR_MOREDATA;
    std::memcpy(pData, tokens_.data(), bytes);
    *pSizeOfData = bytes;
    return D3D_OK;
}

bool VertexDeclaration::Implements(REFIID riid) const {
    return IsEqualGUID(riid, IID_IDirect3DVertexDeclaration9);
}

HRESULT VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) {
    if (!pNumElements) return D3DERR_INVALIDCALL;
    UINT count = static_cast<UINT>(elements_.size());
    if (pElement) std::memcpy(pElement, elements_.data(), count * sizeof(D3DVERTEXELEMENT9));
    *pNumElements = count;
    return D3D_OK;
}

}  // namespace d3d9
