// Skin information: bones with their names, offset matrices and weighted
// vertices, and the software skinning of a mesh's vertices.
#pragma once

#include <string>
#include <vector>

#include "com_object.h"
#include "d3dx9mesh.h"
#include "fvf_layout.h"

namespace d3dx {

// One bone's weight on a vertex.
struct BoneWeight {
    DWORD bone;
    float weight;
};

struct Bone {
    std::string name;
    D3DXMATRIX offset;
    std::vector<DWORD> vertices;
    std::vector<float> weights;
};

class SkinInfo final : public layer::RefCounted<ID3DXSkinInfo, layer::ObjectFamily::D3DX> {
public:
    // Every bone's vertex indices must be below numVertices.
    SkinInfo(DWORD numVertices, DWORD fvf, std::vector<Bone> bones);

    DWORD GetNumBones() override { return static_cast<DWORD>(bones_.size()); }
    LPCSTR GetBoneName(DWORD Bone) override;
    D3DXMATRIX* GetBoneOffsetMatrix(DWORD Bone) override;
    DWORD GetNumBoneInfluences(DWORD Bone) override;
    HRESULT GetBoneInfluence(DWORD Bone, DWORD* pVertices, FLOAT* pWeights) override;
    DWORD GetFVF() override { return fvf_; }
    HRESULT SetFVF(DWORD FVF) override;
    HRESULT UpdateSkinnedMesh(const D3DXMATRIX* pBoneTransforms, const D3DXMATRIX* pBoneInvTransposeTransforms,
                              LPCVOID pVerticesSrc, LPVOID pVerticesDst) override;

protected:
    bool Implements(REFIID riid) const override;

private:
    void FindKeptWords();

    DWORD numVertices_;
    DWORD fvf_;
    FvfLayout layout_;
    std::vector<Bone> bones_;
    // Influences of vertex v: influences_[first_[v] .. first_[v + 1]).
    std::vector<DWORD> first_;
    std::vector<BoneWeight> influences_;
    // Words of a vertex that skinning copies unchanged (neither position nor normal).
    std::vector<UINT> kept_;
};

}  // namespace d3dx
