#include "mesh.h"

#include "buffer_contents.h"
#include "testing_d3dx9.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <unordered_map>

const IID IID_ID3DXBaseMesh = {0x7ed943dd, 0x52e8, 0x40b5, {0xa8, 0xd8, 0x76, 0x68, 0x5c, 0x40, 0x63, 0x30}};
const IID IID_ID3DXMesh = {0x4020e5c2, 0x1403, 0x4929, {0x88, 0x3f, 0xe2, 0xe8, 0x49, 0xfa, 0xc1, 0x95}};

namespace d3dx {

namespace {

bool& LocksFail() {
    static bool fail = false;
    return fail;
}

unsigned& RayTreesBuilt() {
    static unsigned built = 0;
    return built;
}

// The buffers live in CPU memory whatever the options say; managed is the
// pool whose contents the device keeps for itself.
constexpr D3DPOOL kPool = D3DPOOL_MANAGED;

// Copies one vertex into a zeroed vertex of another format: the components
// both formats have.
void ConvertVertex(const FvfLayout& from, const unsigned char* src, const FvfLayout& to, unsigned char* dst) {
    if (from.position >= 0 && to.position >= 0)
        std::memcpy(dst, src, from.positionBytes == to.positionBytes ? from.positionBytes : 12);
    auto copy = [&](int a, int b, size_t n) {
        if (a >= 0 && b >= 0) std::memcpy(dst + b, src + a, n);
    };
    copy(from.normal, to.normal, 12);
    copy(from.pointSize, to.pointSize, 4);
    copy(from.diffuse, to.diffuse, 4);
    copy(from.specular, to.specular, 4);
    for (UINT i = 0; i < 8; ++i) copy(from.tex[i], to.tex[i], std::min(from.texBytes[i], to.texBytes[i]));
}

}  // namespace

Mesh* Mesh::Create(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, IDirect3DDevice9* device,
                   HRESULT* result) {
    HRESULT dummy;
    HRESULT& hr = result ? *result : dummy;
    hr = D3DERR_INVALIDCALL;
    FvfLayout layout = LayoutOf(fvf);
    if (!device || numFaces == 0 || numVertices == 0 || !layout.valid || layout.position != 0) return nullptr;
    const bool wide = (options & D3DXMESH_32BIT) != 0;
    if (!wide && numVertices > kMax16BitVertices) return nullptr;
    const uint64_t vertexBytes = uint64_t(numVertices) * layout.stride;
    const uint64_t indexBytes = uint64_t(numFaces) * 3 * (wide ? 4 : 2);
    if (vertexBytes > UINT32_MAX || indexBytes > UINT32_MAX) {
        hr = E_OUTOFMEMORY;
        return nullptr;
    }
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    hr = device->CreateVertexBuffer(static_cast<UINT>(vertexBytes), 0, fvf, kPool, &vb, nullptr);
    if (FAILED(hr)) return nullptr;
    hr = device->CreateIndexBuffer(static_cast<UINT>(indexBytes), 0, wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                   kPool, &ib, nullptr);
    if (FAILED(hr)) {
        vb->Release();
        return nullptr;
    }
    Mesh* mesh = new Mesh;
    device->AddRef();
    mesh->device_ = device;
    mesh->vb_ = vb;
    mesh->ib_ = ib;
    mesh->numFaces_ = numFaces;
    mesh->numVertices_ = numVertices;
    mesh->options_ = options;
    mesh->fvf_ = fvf;
    mesh->layout_ = layout;
    mesh->attributes_.assign(numFaces, 0);
    hr = S_OK;
    return mesh;
}

Mesh::~Mesh() {
    if (ib_) ib_->Release();
    if (vb_) vb_->Release();
    if (device_) device_->Release();
}

bool Mesh::Implements(REFIID riid) const {
    return IsEqualGUID(riid, IID_ID3DXMesh) || IsEqualGUID(riid, IID_ID3DXBaseMesh);
}

HRESULT Mesh::GetDevice(LPDIRECT3DDEVICE9* ppDevice) {
    if (!ppDevice) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *ppDevice = device_;
    return D3D_OK;
}

HRESULT Mesh::GetVertexBuffer(LPDIRECT3DVERTEXBUFFER9* ppVB) {
    if (!ppVB) return D3DERR_INVALIDCALL;
    vb_->AddRef();
    *ppVB = vb_;
    return D3D_OK;
}

HRESULT Mesh::GetIndexBuffer(LPDIRECT3DINDEXBUFFER9* ppIB) {
    if (!ppIB) return D3DERR_INVALIDCALL;
    ib_->AddRef();
    *ppIB = ib_;
    return D3D_OK;
}

HRESULT Mesh::LockVertexBuffer(DWORD Flags, LPVOID* ppData) {
    if (!ppData || LocksFail()) return D3DERR_INVALIDCALL;
    return vb_->Lock(0, 0, ppData, Flags);
}

HRESULT Mesh::UnlockVertexBuffer() { return vb_->Unlock(); }

HRESULT Mesh::LockIndexBuffer(DWORD Flags, LPVOID* ppData) {
    if (!ppData || LocksFail()) return D3DERR_INVALIDCALL;
    return ib_->Lock(0, 0, ppData, Flags);
}

HRESULT Mesh::UnlockIndexBuffer() { return ib_->Unlock(); }

HRESULT Mesh::LockAttributeBuffer(DWORD, DWORD** ppData) {
    if (!ppData) return D3DERR_INVALIDCALL;
    ++attributeLocks_;
    runsValid_ = false;  // the caller may change the ids
    *ppData = attributes_.data();
    return D3D_OK;
}

HRESULT Mesh::UnlockAttributeBuffer() {
    if (attributeLocks_ == 0) return D3DERR_INVALIDCALL;
    --attributeLocks_;
    return D3D_OK;
}

HRESULT Mesh::GetAttributeTable(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) {
    if (!pAttribTableSize) return D3DERR_INVALIDCALL;
    *pAttribTableSize = static_cast<DWORD>(table_.size());
    if (pAttribTable) std::copy(table_.begin(), table_.end(), pAttribTable);
    return D3D_OK;
}

HRESULT Mesh::Bind() {
    device_->SetFVF(fvf_);
    device_->SetStreamSource(0, vb_, 0, layout_.stride);
    return device_->SetIndices(ib_);
}

HRESULT Mesh::DrawSubset(DWORD AttribId) {
    bool bound = false;
    HRESULT hr = D3D_OK;
    auto draw = [&](DWORD faceStart, DWORD faceCount, DWORD vertexStart, DWORD vertexCount) {
        if (!bound) {
            Bind();
            bound = true;
        }
        HRESULT r = device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexStart, vertexCount, faceStart * 3,
                                                  faceCount);
        if (FAILED(r)) hr = r;
    };
    if (!table_.empty()) {
        for (const D3DXATTRIBUTERANGE& r : table_)
            if (r.AttribId == AttribId && r.FaceCount > 0) draw(r.FaceStart, r.FaceCount, r.VertexStart, r.VertexCount);
        return hr;
    }
    // No table (a mesh never sorted): draw each run of faces with the id.
    for (const AttributeRun& run : Runs()) {
        if (run.id != AttribId) continue;
        uint32_t lo, hi;
        HRESULT r = d3d9::IndexRange(ib_, run.faceStart * 3, run.faceCount * 3, &lo, &hi);
        if (FAILED(r)) return r;
        draw(run.faceStart, run.faceCount, lo, hi - lo + 1);
    }
    return hr;
}

const std::vector<Mesh::AttributeRun>& Mesh::Runs() {
    if (!runsValid_) {
        runs_.clear();
        for (DWORD f = 0; f < numFaces_;) {
            DWORD end = f;
            while (end < numFaces_ && attributes_[end] == attributes_[f]) ++end;
            runs_.push_back(AttributeRun{attributes_[f], f, end - f});
            f = end;
        }
        runsValid_ = true;
    }
    return runs_;
}

const RayTree* Mesh::RayTreeFor(const void* vertices, const void* indices) {
    const uint64_t version[2] = {d3d9::ContentVersion(vb_), d3d9::ContentVersion(ib_)};
    if (version[0] == 0 || version[1] == 0) return nullptr;
    if (rayTree_ && version[0] == rayTreeVersion_[0] && version[1] == rayTreeVersion_[1]) return rayTree_.get();
    if (version[0] != queriedVersion_[0] || version[1] != queriedVersion_[1]) {
        queriedVersion_[0] = version[0];
        queriedVersion_[1] = version[1];
        return nullptr;
    }
    rayTree_ = std::make_unique<RayTree>(static_cast<const unsigned char*>(vertices), layout_.stride, numVertices_,
                                         indices, Uses32BitIndices(), numFaces_);
    rayTreeVersion_[0] = version[0];
    rayTreeVersion_[1] = version[1];
    ++RayTreesBuilt();
    return rayTree_.get();
}

HRESULT Mesh::CloneMeshFVF(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppCloneMesh) {
    if (!pD3DDevice || !ppCloneMesh) return D3DERR_INVALIDCALL;
    HRESULT hr;
    Mesh* clone = Create(numFaces_, numVertices_, Options, FVF, pD3DDevice, &hr);
    if (!clone) return hr;
    void *src = nullptr, *dst = nullptr;
    if (FAILED(hr = vb_->Lock(0, 0, &src, D3DLOCK_READONLY))) {
        clone->Release();
        return hr;
    }
    clone->vb_->Lock(0, 0, &dst, 0);
    if (FVF == fvf_) {
        std::memcpy(dst, src, size_t(numVertices_) * layout_.stride);
    } else {
        auto* s = static_cast<const unsigned char*>(src);
        auto* d = static_cast<unsigned char*>(dst);
        for (DWORD v = 0; v < numVertices_; ++v)
            ConvertVertex(layout_, s + size_t(v) * layout_.stride, clone->layout_, d + size_t(v) * clone->layout_.stride);
    }
    clone->vb_->Unlock();
    vb_->Unlock();

    if (FAILED(hr = ib_->Lock(0, 0, &src, D3DLOCK_READONLY))) {
        clone->Release();
        return hr;
    }
    clone->ib_->Lock(0, 0, &dst, 0);
    const bool wideFrom = Uses32BitIndices(), wideTo = clone->Uses32BitIndices();
    if (wideFrom == wideTo) {
        std::memcpy(dst, src, size_t(numFaces_) * 3 * (wideFrom ? 4 : 2));
    } else {
        for (size_t i = 0; i < size_t(numFaces_) * 3; ++i) WriteIndex(dst, wideTo, i, ReadIndex(src, wideFrom, i));
    }
    clone->ib_->Unlock();
    ib_->Unlock();

    clone->attributes_ = attributes_;
    clone->table_ = table_;
    *ppCloneMesh = clone;
    return D3D_OK;
}

void Mesh::BuildAttributeTable(const void* indices) {
    table_.clear();
    const bool wide = Uses32BitIndices();
    for (DWORD f = 0; f < numFaces_;) {
        DWORD end = f;
        DWORD lo = UINT32_MAX, hi = 0;
        while (end < numFaces_ && attributes_[end] == attributes_[f]) {
            for (int k = 0; k < 3; ++k) {
                DWORD v = ReadIndex(indices, wide, size_t(end) * 3 + k);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            ++end;
        }
        table_.push_back(D3DXATTRIBUTERANGE{attributes_[f], f, end - f, lo, hi - lo + 1});
        f = end;
    }
}

HRESULT Mesh::OptimizeInplace(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                              LPD3DXBUFFER* ppVertexRemap) {
    if (attributeLocks_ > 0) return D3DERR_INVALIDCALL;
    const DWORD sorting = D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER;
    std::vector<DWORD> order(numFaces_);  // new face -> old face
    std::iota(order.begin(), order.end(), 0u);
    LPD3DXBUFFER remap = nullptr;
    if (ppVertexRemap) {
        // Vertices never move: the identity.
        HRESULT hr = D3DXCreateBuffer(numVertices_ * sizeof(DWORD), &remap);
        if (FAILED(hr)) return hr;
        auto* out = static_cast<DWORD*>(remap->GetBufferPointer());
        std::iota(out, out + numVertices_, 0u);
    }
    void* indices = nullptr;
    HRESULT hr = ib_->Lock(0, 0, &indices, (Flags & sorting) ? 0 : D3DLOCK_READONLY);
    if (FAILED(hr)) {
        if (remap) remap->Release();
        return hr;
    }
    const bool wide = Uses32BitIndices();
    if (Flags & sorting) {
        std::stable_sort(order.begin(), order.end(),
                         [this](DWORD a, DWORD b) { return attributes_[a] < attributes_[b]; });
        std::vector<DWORD> oldIndices(size_t(numFaces_) * 3);
        for (size_t i = 0; i < oldIndices.size(); ++i) oldIndices[i] = ReadIndex(indices, wide, i);
        std::vector<DWORD> oldAttributes = attributes_;
        for (DWORD f = 0; f < numFaces_; ++f) {
            attributes_[f] = oldAttributes[order[f]];
            for (int k = 0; k < 3; ++k)
                WriteIndex(indices, wide, size_t(f) * 3 + k, oldIndices[size_t(order[f]) * 3 + k]);
        }
        BuildAttributeTable(indices);
        runsValid_ = false;
    }
    if (pAdjacencyOut) {
        std::vector<DWORD> adjacency;
        if (pAdjacencyIn) {
            std::vector<DWORD> newIndex(numFaces_);
            for (DWORD f = 0; f < numFaces_; ++f) newIndex[order[f]] = f;
            adjacency.resize(size_t(numFaces_) * 3);
            for (DWORD f = 0; f < numFaces_; ++f)
                for (int k = 0; k < 3; ++k) {
                    DWORD n = pAdjacencyIn[size_t(order[f]) * 3 + k];
                    adjacency[size_t(f) * 3 + k] = n < numFaces_ ? newIndex[n] : 0xFFFFFFFFu;
                }
        } else {
            void* vertices = nullptr;
            if (SUCCEEDED(vb_->Lock(0, 0, &vertices, D3DLOCK_READONLY))) {
                adjacency = ComputeAdjacency(static_cast<const unsigned char*>(vertices), layout_.stride,
                                             numVertices_, indices, wide, numFaces_);
                vb_->Unlock();
            } else {
                adjacency.assign(size_t(numFaces_) * 3, 0xFFFFFFFFu);
            }
        }
        std::copy(adjacency.begin(), adjacency.end(), pAdjacencyOut);
    }
    ib_->Unlock();
    if (pFaceRemap) std::copy(order.begin(), order.end(), pFaceRemap);
    if (ppVertexRemap) *ppVertexRemap = remap;
    return D3D_OK;
}

std::vector<DWORD> ComputeAdjacency(const unsigned char* vertices, UINT stride, DWORD numVertices,
                                    const void* indices, bool wide, DWORD numFaces) {
    std::vector<DWORD> adjacency(size_t(numFaces) * 3, 0xFFFFFFFFu);
    // Weld vertices that share a position, so normal or texture seams do not cut faces apart.
    struct PositionHash {
        size_t operator()(const std::array<uint32_t, 3>& p) const {
            return (size_t(p[0]) * 73856093u) ^ (size_t(p[1]) * 19349663u) ^ (size_t(p[2]) * 83492791u);
        }
    };
    std::unordered_map<std::array<uint32_t, 3>, DWORD, PositionHash> welded;
    std::vector<DWORD> representative(numVertices, 0xFFFFFFFFu);
    auto rep = [&](DWORD v) {
        if (v >= numVertices) return v;  // not a vertex: joins nothing
        if (representative[v] == 0xFFFFFFFFu) {
            std::array<uint32_t, 3> key;
            std::memcpy(key.data(), vertices + size_t(v) * stride, 12);
            representative[v] = welded.emplace(key, v).first->second;
        }
        return representative[v];
    };
    // An edge waiting for the face on its other side.
    std::unordered_map<uint64_t, size_t> open;
    for (DWORD f = 0; f < numFaces; ++f) {
        DWORD v[3];
        for (int k = 0; k < 3; ++k) v[k] = rep(ReadIndex(indices, wide, size_t(f) * 3 + k));
        for (int k = 0; k < 3; ++k) {
            DWORD a = v[k], b = v[(k + 1) % 3];
            if (a == b) continue;
            uint64_t key = (uint64_t(std::min(a, b)) << 32) | std::max(a, b);
            auto it = open.find(key);
            if (it != open.end() && it->second / 3 != f) {
                adjacency[it->second] = f;
                adjacency[size_t(f) * 3 + k] = static_cast<DWORD>(it->second / 3);
                open.erase(it);
            } else if (it == open.end()) {
                open.emplace(key, size_t(f) * 3 + k);
            }
        }
    }
    return adjacency;
}

}  // namespace d3dx

void platform_testing::FailD3DXMeshLocks(bool fail) { d3dx::LocksFail() = fail; }
unsigned platform_testing::D3DXRayTreesBuilt() { return d3dx::RayTreesBuilt(); }

HRESULT WINAPI D3DXCreateMeshFVF(DWORD NumFaces, DWORD NumVertices, DWORD Options, DWORD FVF,
                                 LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppMesh) {
    if (!ppMesh) return D3DERR_INVALIDCALL;
    HRESULT hr;
    d3dx::Mesh* mesh = d3dx::Mesh::Create(NumFaces, NumVertices, Options, FVF, pD3DDevice, &hr);
    if (mesh) *ppMesh = mesh;
    return hr;
}
