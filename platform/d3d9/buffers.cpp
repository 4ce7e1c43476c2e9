#include <algorithm>
#include <cstring>

#include "buffer_contents.h"
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

void ScanIndexRange(const uint8_t* data, UINT indexSize, UINT first, UINT count, uint32_t* lo, uint32_t* hi) {
    uint32_t mn = UINT32_MAX, mx = 0;
    if (indexSize == 2) {
        for (UINT i = 0; i < count; ++i) {
            uint16_t v;
            std::memcpy(&v, data + (static_cast<size_t>(first) + i) * 2, 2);
            mn = std::min<uint32_t>(mn, v);
            mx = std::max<uint32_t>(mx, v);
        }
    } else {
        for (UINT i = 0; i < count; ++i) {
            uint32_t v;
            std::memcpy(&v, data + (static_cast<size_t>(first) + i) * 4, 4);
            mn = std::min(mn, v);
            mx = std::max(mx, v);
        }
    }
    *lo = mn;
    *hi = mx;
}

void IndexBuffer::Range(UINT first, UINT count, uint32_t* lo, uint32_t* hi) {
    // Under a write lock the contents are not settled: read them afresh.
    if (store_.Writing()) return ScanIndexRange(store_.Data(), IndexSize(), first, count, lo, hi);
    // A program drawing ever new ranges would grow the memory without end.
    constexpr size_t kMaxRanges = 4096;
    if (rangesGeneration_ != store_.Generation() || ranges_.size() >= kMaxRanges) {
        ranges_.clear();
        rangesGeneration_ = store_.Generation();
    }
    const uint64_t key = (static_cast<uint64_t>(first) << 32) | count;
    auto found = ranges_.find(key);
    if (found == ranges_.end()) {
        std::pair<uint32_t, uint32_t> range;
        ScanIndexRange(store_.Data(), IndexSize(), first, count, &range.first, &range.second);
        found = ranges_.emplace(key, range).first;
    }
    *lo = found->second.first;
    *hi = found->second.second;
}

uint64_t ContentVersion(IDirect3DVertexBuffer9* buffer) {
    auto* b = dynamic_cast<VertexBuffer*>(buffer);
    return b && !b->Store().Writing() ? b->Store().Generation() : 0;
}

uint64_t ContentVersion(IDirect3DIndexBuffer9* buffer) {
    auto* b = dynamic_cast<IndexBuffer*>(buffer);
    return b && !b->Store().Writing() ? b->Store().Generation() : 0;
}

HRESULT IndexRange(IDirect3DIndexBuffer9* buffer, UINT first, UINT count, uint32_t* lo, uint32_t* hi) {
    if (!buffer || !lo || !hi) return D3DERR_INVALIDCALL;
    D3DINDEXBUFFER_DESC desc;
    HRESULT hr = buffer->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    const UINT indexSize = desc.Format == D3DFMT_INDEX32 ? 4 : 2;
    if ((static_cast<uint64_t>(first) + count) * indexSize > desc.Size) return D3DERR_INVALIDCALL;
    if (auto* b = dynamic_cast<IndexBuffer*>(buffer)) {
        b->Range(first, count, lo, hi);
        return D3D_OK;
    }
    void* data = nullptr;
    if (FAILED(hr = buffer->Lock(0, 0, &data, D3DLOCK_READONLY))) return hr;
    ScanIndexRange(static_cast<const uint8_t*>(data), indexSize, first, count, lo, hi);
    buffer->Unlock();
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
