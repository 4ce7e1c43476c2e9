#include "objects.h"
#include "seams.h"

namespace d3d9 {

HRESULT BufferStore::Lock(UINT offset, UINT size, void** out, DWORD flags) {
    if (!out) return D3DERR_INVALIDCALL;
    if (seams::FailBufferLocks()) {
        *out = nullptr;
        return D3DERR_INVALIDCALL;
    }
    if (offset > bytes_.size() || (size != 0 && size > bytes_.size() - offset)) return D3DERR_INVALIDCALL;
    *out = bytes_.data() + offset;
    ++locks_;
    if ((flags & D3DLOCK_READONLY) == 0) written_ = true;
    return D3D_OK;
}

HRESULT BufferStore::Unlock() {
    if (locks_ == 0) return D3DERR_INVALIDCALL;
    if (--locks_ == 0 && written_) {
        written_ = false;
        ++generation_;
    }
    return D3D_OK;
}

bool VertexBuffer::Implements(REFIID riid) const {
    return IsEqualGUID(riid, IID_IDirect3DVertexBuffer9) || IsEqualGUID(riid, IID_IDirect3DResource9);
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    *pDesc = D3DVERTEXBUFFER_DESC{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage_, pool_,
                                  static_cast<UINT>(store_.Size()), fvf_};
    return D3D_OK;
}

bool IndexBuffer::Implements(REFIID riid) const {
    return IsEqualGUID(riid, IID_IDirect3DIndexBuffer9) || IsEqualGUID(riid, IID_IDirect3DResource9);
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    *pDesc = D3DINDEXBUFFER_DESC{format_, D3DRTYPE_INDEXBUFFER, usage_, pool_, static_cast<UINT>(store_.Size())};
    return D3D_OK;
}

}  // namespace d3d9
