#include "skin_info.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

const IID IID_ID3DXSkinInfo = {0x11eaa540, 0xf9a6, 0x4d49, {0xae, 0x6a, 0xe1, 0x92, 0x21, 0xf7, 0x0c, 0xc4}};

namespace d3dx {

SkinInfo::SkinInfo(DWORD numVertices, DWORD fvf, std::vector<Bone> bones)
    : numVertices_(numVertices), fvf_(fvf), layout_(LayoutOf(fvf)), bones_(std::move(bones)) {
    // Regroup the weights by vertex once, so skinning a frame walks memory in order.
    first_.assign(size_t(numVertices_) + 1, 0);
    for (const Bone& b : bones_)
        for (DWORD v : b.vertices) ++first_[v + 1];
    for (size_t v = 0; v < numVertices_; ++v) first_[v + 1] += first_[v];
    influences_.resize(first_.back());
    std::vector<DWORD> fill(first_.begin(), first_.end() - 1);
    for (DWORD b = 0; b < bones_.size(); ++b)
        for (size_t i = 0; i < bones_[b].vertices.size(); ++i)
            influences_[fill[bones_[b].vertices[i]]++] = BoneWeight{b, bones_[b].weights[i]};
    FindKeptWords();
}

bool SkinInfo::Implements(REFIID riid) const { return IsEqualGUID(riid, IID_ID3DXSkinInfo); }

LPCSTR SkinInfo::GetBoneName(DWORD Bone) { return Bone < bones_.size() ? bones_[Bone].name.c_str() : nullptr; }

D3DXMATRIX* SkinInfo::GetBoneOffsetMatrix(DWORD Bone) {
    return Bone < bones_.size() ? &bones_[Bone].offset : nullptr;
}

DWORD SkinInfo::GetNumBoneInfluences(DWORD Bone) {
    return Bone < bones_.size() ? static_cast<DWORD>(bones_[Bone].vertices.size()) : 0;
}

HRESULT SkinInfo::GetBoneInfluence(DWORD Bone, DWORD* pVertices, FLOAT* pWeights) {
    if (Bone >= bones_.size() || !pVertices || !pWeights) return D3DERR_INVALIDCALL;
    std::copy(bones_[Bone].vertices.begin(), bones_[Bone].vertices.end(), pVertices);
    std::copy(bones_[Bone].weights.begin(), bones_[Bone].weights.end(), pWeights);
    return D3D_OK;
}

HRESULT SkinInfo::SetFVF(DWORD FVF) {
    FvfLayout layout = LayoutOf(FVF);
    if (!layout.valid || layout.position != 0) return D3DERR_INVALIDCALL;
    fvf_ = FVF;
    layout_ = layout;
    FindKeptWords();
    return D3D_OK;
}

namespace {

// Four floats in one register where the machine has them; the lanes are
// computed one by one as the scalar sums would be, so the results are the same.
typedef float Float4 __attribute__((vector_size(16)));

inline Float4 Row(const D3DXMATRIX& m, int r) {
    Float4 v;
    std::memcpy(&v, m.m[r], sizeof v);
    return v;
}

inline Float4 Splat(float f) { return Float4{f, f, f, f}; }

// Every weighted vertex's position (and normal) as the weighted sum of its
// bones' transforms; what else a vertex holds is copied as it is.
template <bool kNormals>
void Skin(const D3DXMATRIX* bones, const D3DXMATRIX* normalBones, const DWORD* first,
          const BoneWeight* influences, DWORD numVertices, UINT stride, int normalAt, const std::vector<UINT>& kept,
          const unsigned char* src, unsigned char* dst) {
    const bool copy = src != dst;
    for (DWORD v = 0; v < numVertices; ++v) {
        const unsigned char* s = src + size_t(v) * stride;
        unsigned char* d = dst + size_t(v) * stride;
        const DWORD begin = first[v], end = first[v + 1];
        if (begin == end) {  // unweighted: stays a copy
            if (copy) std::memmove(d, s, stride);
            continue;
        }
        if (copy)
            for (UINT w : kept) std::memcpy(d + 4 * w, s + 4 * w, 4);
        float p[3], n[3] = {0, 0, 0};
        std::memcpy(p, s, sizeof p);
        if (kNormals) std::memcpy(n, s + normalAt, sizeof n);
        const Float4 px = Splat(p[0]), py = Splat(p[1]), pz = Splat(p[2]);
        const Float4 nx = Splat(n[0]), ny = Splat(n[1]), nz = Splat(n[2]);
        Float4 op = Splat(0.0f), on = Splat(0.0f);
        for (DWORD i = begin; i < end; ++i) {
            const DWORD b = influences[i].bone;
            const Float4 w = Splat(influences[i].weight);
            const D3DXMATRIX& m = bones[b];
            Float4 t = px * Row(m, 0) + py * Row(m, 1) + pz * Row(m, 2) + Row(m, 3);
            // (p, 1) x M, divided by w as TransformCoord does.
            const float h = t[3];
            if (h != 1.0f && h != 0.0f) t = Float4{t[0] / h, t[1] / h, t[2] / h, h};
            op += w * t;
            if (kNormals) {
                const D3DXMATRIX& nm = normalBones[b];
                on += w * (nx * Row(nm, 0) + ny * Row(nm, 1) + nz * Row(nm, 2));
            }
        }
        // One float at a time: a wide copy of values just stored at other
        // widths would wait for the stores.
        for (int k = 0; k < 3; ++k) {
            const float f = op[k];
            std::memcpy(d + 4 * k, &f, 4);
        }
        if (kNormals)
            for (int k = 0; k < 3; ++k) {
                const float f = on[k];
                std::memcpy(d + normalAt + 4 * k, &f, 4);
            }
    }
}

}  // namespace

void SkinInfo::FindKeptWords() {
    // Every component of a vertex format is a whole number of 4-byte words.
    kept_.clear();
    for (UINT w = 0; w < layout_.stride / 4; ++w) {
        const int at = int(w) * 4;
        const bool position = at < 12;
        const bool normal = layout_.normal >= 0 && at >= layout_.normal && at < layout_.normal + 12;
        if (!position && !normal) kept_.push_back(w);
    }
}

HRESULT SkinInfo::UpdateSkinnedMesh(const D3DXMATRIX* pBoneTransforms, const D3DXMATRIX* pBoneInvTransposeTransforms,
                                    LPCVOID pVerticesSrc, LPVOID pVerticesDst) {
    if (!pBoneTransforms || !pVerticesSrc || !pVerticesDst) return D3DERR_INVALIDCALL;
    const D3DXMATRIX* normalTransforms = pBoneInvTransposeTransforms ? pBoneInvTransposeTransforms : pBoneTransforms;
    auto* src = static_cast<const unsigned char*>(pVerticesSrc);
    auto* dst = static_cast<unsigned char*>(pVerticesDst);
    if (layout_.normal >= 0)
        Skin<true>(pBoneTransforms, normalTransforms, first_.data(), influences_.data(), numVertices_,
                   layout_.stride, layout_.normal, kept_, src, dst);
    else
        Skin<false>(pBoneTransforms, normalTransforms, first_.data(), influences_.data(),
                    numVertices_, layout_.stride, -1, kept_, src, dst);
    return D3D_OK;
}

}  // namespace d3dx
