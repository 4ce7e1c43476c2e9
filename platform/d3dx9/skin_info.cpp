#include "skin_info.h"

#include <algorithm>
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
            influences_[fill[bones_[b].vertices[i]]++] = Influence{b, bones_[b].weights[i]};
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
    return D3D_OK;
}

HRESULT SkinInfo::UpdateSkinnedMesh(const D3DXMATRIX* pBoneTransforms, const D3DXMATRIX* pBoneInvTransposeTransforms,
                                    LPCVOID pVerticesSrc, LPVOID pVerticesDst) {
    if (!pBoneTransforms || !pVerticesSrc || !pVerticesDst) return D3DERR_INVALIDCALL;
    const D3DXMATRIX* normalTransforms = pBoneInvTransposeTransforms ? pBoneInvTransposeTransforms : pBoneTransforms;
    const UINT stride = layout_.stride;
    const int normalAt = layout_.normal;
    auto* src = static_cast<const unsigned char*>(pVerticesSrc);
    auto* dst = static_cast<unsigned char*>(pVerticesDst);
    for (DWORD v = 0; v < numVertices_; ++v) {
        const unsigned char* s = src + size_t(v) * stride;
        unsigned char* d = dst + size_t(v) * stride;
        float p[3], n[3] = {0, 0, 0};
        std::memcpy(p, s, sizeof p);
        if (normalAt >= 0) std::memcpy(n, s + normalAt, sizeof n);
        if (s != d) std::memcpy(d, s, stride);
        const DWORD begin = first_[v], end = first_[v + 1];
        if (begin == end) continue;  // unweighted: stays a copy
        float op[3] = {0, 0, 0}, on[3] = {0, 0, 0};
        for (DWORD i = begin; i < end; ++i) {
            const float w = influences_[i].weight;
            const D3DXMATRIX& m = pBoneTransforms[influences_[i].bone];
            // (p, 1) x M, divided by w as TransformCoord does.
            float x = p[0] * m._11 + p[1] * m._21 + p[2] * m._31 + m._41;
            float y = p[0] * m._12 + p[1] * m._22 + p[2] * m._32 + m._42;
            float z = p[0] * m._13 + p[1] * m._23 + p[2] * m._33 + m._43;
            float h = p[0] * m._14 + p[1] * m._24 + p[2] * m._34 + m._44;
            if (h != 1.0f && h != 0.0f) {
                x /= h;
                y /= h;
                z /= h;
            }
            op[0] += w * x;
            op[1] += w * y;
            op[2] += w * z;
            if (normalAt >= 0) {
                const D3DXMATRIX& nm = normalTransforms[influences_[i].bone];
                on[0] += w * (n[0] * nm._11 + n[1] * nm._21 + n[2] * nm._31);
                on[1] += w * (n[0] * nm._12 + n[1] * nm._22 + n[2] * nm._32);
                on[2] += w * (n[0] * nm._13 + n[1] * nm._23 + n[2] * nm._33);
            }
        }
        std::memcpy(d, op, sizeof op);
        if (normalAt >= 0) std::memcpy(d + normalAt, on, sizeof on);
    }
    return D3D_OK;
}

}  // namespace d3dx
