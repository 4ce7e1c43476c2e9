// The mesh object: a vertex buffer and an index buffer made on the device (CPU
// memory, so they can be bound with SetStreamSource and SetIndices), an
// attribute id per face and, once sorted, an attribute table.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "com_object.h"
#include "d3dx9mesh.h"
#include "fvf_layout.h"
#include "ray_tree.h"

namespace d3dx {

// Largest vertex count that 16-bit indices can address.
constexpr DWORD kMax16BitVertices = 65535;

class Mesh final : public layer::RefCounted<ID3DXMesh, layer::ObjectFamily::D3DX> {
public:
    // Null when the counts, the format or the device refuse; nothing is left behind.
    static Mesh* Create(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf, IDirect3DDevice9* device,
                        HRESULT* result);

    HRESULT DrawSubset(DWORD AttribId) override;
    DWORD GetNumFaces() override { return numFaces_; }
    DWORD GetNumVertices() override { return numVertices_; }
    DWORD GetFVF() override { return fvf_; }
    DWORD GetNumBytesPerVertex() override { return layout_.stride; }
    DWORD GetOptions() override { return options_; }
    HRESULT GetDevice(LPDIRECT3DDEVICE9* ppDevice) override;
    HRESULT CloneMeshFVF(DWORD Options, DWORD FVF, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXMESH* ppCloneMesh) override;
    HRESULT GetVertexBuffer(LPDIRECT3DVERTEXBUFFER9* ppVB) override;
    HRESULT GetIndexBuffer(LPDIRECT3DINDEXBUFFER9* ppIB) override;
    HRESULT LockVertexBuffer(DWORD Flags, LPVOID* ppData) override;
    HRESULT UnlockVertexBuffer() override;
    HRESULT LockIndexBuffer(DWORD Flags, LPVOID* ppData) override;
    HRESULT UnlockIndexBuffer() override;
    HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* pAttribTable, DWORD* pAttribTableSize) override;
    HRESULT LockAttributeBuffer(DWORD Flags, DWORD** ppData) override;
    HRESULT UnlockAttributeBuffer() override;
    HRESULT OptimizeInplace(DWORD Flags, const DWORD* pAdjacencyIn, DWORD* pAdjacencyOut, DWORD* pFaceRemap,
                            LPD3DXBUFFER* ppVertexRemap) override;

    bool Uses32BitIndices() const { return (options_ & D3DXMESH_32BIT) != 0; }
    std::vector<DWORD>& Attributes() {
        runsValid_ = false;
        return attributes_;
    }
    const FvfLayout& Layout() const { return layout_; }
    // The ray tree of the contents now locked at `vertices` and `indices`;
    // null while they are not settled or when they changed since the last
    // query: a mesh rewritten between queries is cheaper to scan than to index.
    const RayTree* RayTreeFor(const void* vertices, const void* indices);

protected:
    bool Implements(REFIID riid) const override;

private:
    Mesh() = default;
    ~Mesh() override;
    void BuildAttributeTable(const void* indices);
    HRESULT Bind();

    // A run of consecutive faces with one attribute id; what an unsorted mesh
    // draws, kept until the ids can have changed.
    struct AttributeRun {
        DWORD id, faceStart, faceCount;
    };
    const std::vector<AttributeRun>& Runs();

    IDirect3DDevice9* device_ = nullptr;
    IDirect3DVertexBuffer9* vb_ = nullptr;
    IDirect3DIndexBuffer9* ib_ = nullptr;
    DWORD numFaces_ = 0;
    DWORD numVertices_ = 0;
    DWORD options_ = 0;
    DWORD fvf_ = 0;
    FvfLayout layout_;
    std::vector<DWORD> attributes_;
    std::vector<D3DXATTRIBUTERANGE> table_;
    int attributeLocks_ = 0;
    std::vector<AttributeRun> runs_;
    bool runsValid_ = false;
    // Contents versions (vertices, indices) of the tree, and of the last query.
    std::unique_ptr<RayTree> rayTree_;
    uint64_t rayTreeVersion_[2] = {0, 0};
    uint64_t queriedVersion_[2] = {0, 0};
};

// Index i of locked index data of either width.
inline DWORD ReadIndex(const void* indices, bool wide, size_t i) {
    return wide ? static_cast<const DWORD*>(indices)[i] : static_cast<const WORD*>(indices)[i];
}
inline void WriteIndex(void* indices, bool wide, size_t i, DWORD value) {
    if (wide)
        static_cast<DWORD*>(indices)[i] = value;
    else
        static_cast<WORD*>(indices)[i] = static_cast<WORD>(value);
}

// Neighbours across the three edges of each triangle (0xFFFFFFFF for none);
// edges are matched on vertex positions, so split vertices still join.
std::vector<DWORD> ComputeAdjacency(const unsigned char* vertices, UINT stride, DWORD numVertices,
                                    const void* indices, bool wide, DWORD numFaces);

}  // namespace d3dx
