// Ray against mesh, and the bounding box of a run of positions.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "d3dx9mesh.h"
#include "mesh.h"
#include "ray_tree.h"
#include "testing_d3dx9.h"

namespace {

bool& ScanEveryFace() {
    static bool scan = false;
    return scan;
}

// Every face in turn, as a mesh whose contents keep changing is best searched.
void Scan(const d3dx::Ray& r, const unsigned char* positions, DWORD stride, DWORD vertices, const void* indices,
          bool wide, DWORD faces, std::vector<d3dx::RayHit>* all, d3dx::RayHit* nearest, bool* any) {
    for (DWORD f = 0; f < faces; ++f) {
        DWORD idx[3];
        for (int k = 0; k < 3; ++k) idx[k] = d3dx::ReadIndex(indices, wide, size_t(f) * 3 + k);
        if (idx[0] >= vertices || idx[1] >= vertices || idx[2] >= vertices) continue;
        const d3dx::RayTriangle t(d3dx::ray::PositionAt(positions, stride, idx[0]),
                                  d3dx::ray::PositionAt(positions, stride, idx[1]),
                                  d3dx::ray::PositionAt(positions, stride, idx[2]), f);
        d3dx::RayHit h;
        if (!d3dx::HitTriangle(r, t, &h)) continue;
        if (all) all->push_back(h);
        if (!*any || d3dx::Nearer(h, *nearest)) *nearest = h;
        *any = true;
    }
}

}  // namespace

void platform_testing::ScanD3DXIntersect(bool scan) { ScanEveryFace() = scan; }

HRESULT WINAPI D3DXIntersect(LPD3DXBASEMESH pMesh, const D3DXVECTOR3* pRayPos, const D3DXVECTOR3* pRayDir,
                             BOOL* pHit, DWORD* pFaceIndex, FLOAT* pU, FLOAT* pV, FLOAT* pDist,
                             LPD3DXBUFFER* ppAllHits, DWORD* pCountOfHits) {
    // Callers read the flag whatever happens.
    if (pHit) *pHit = FALSE;
    if (pCountOfHits) *pCountOfHits = 0;
    if (ppAllHits) *ppAllHits = nullptr;
    if (!pMesh || !pRayPos || !pRayDir) return D3DERR_INVALIDCALL;
    if (!d3dx::ray::Finite(*pRayPos) || !d3dx::ray::Finite(*pRayDir)) return D3D_OK;
    const d3dx::Ray r(*pRayPos, *pRayDir);

    void* vb = nullptr;
    void* ib = nullptr;
    HRESULT hr = pMesh->LockVertexBuffer(D3DLOCK_READONLY, &vb);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = pMesh->LockIndexBuffer(D3DLOCK_READONLY, &ib))) {
        pMesh->UnlockVertexBuffer();
        return hr;
    }
    // Every hit is wanted only for the list or its count.
    const bool wantAll = ppAllHits || pCountOfHits;
    std::vector<d3dx::RayHit> hits;
    d3dx::RayHit nearest{};
    bool any = false;
    auto* mesh = dynamic_cast<d3dx::Mesh*>(pMesh);
    const d3dx::RayTree* tree = mesh && !ScanEveryFace() ? mesh->RayTreeFor(vb, ib) : nullptr;
    if (tree && wantAll) {
        tree->All(r, &hits);
        for (const d3dx::RayHit& h : hits)
            if (!any || d3dx::Nearer(h, nearest)) nearest = h, any = true;
    } else if (tree) {
        any = tree->Nearest(r, &nearest);
    } else {
        Scan(r, static_cast<const unsigned char*>(vb), pMesh->GetNumBytesPerVertex(), pMesh->GetNumVertices(), ib,
             (pMesh->GetOptions() & D3DXMESH_32BIT) != 0, pMesh->GetNumFaces(), wantAll ? &hits : nullptr, &nearest,
             &any);
    }
    pMesh->UnlockIndexBuffer();
    pMesh->UnlockVertexBuffer();
    if (!any) return D3D_OK;

    if (ppAllHits) {
        std::vector<D3DXINTERSECTINFO> list;
        list.reserve(hits.size());
        for (const d3dx::RayHit& h : hits) list.push_back(D3DXINTERSECTINFO{h.face, h.u, h.v, h.dist});
        if (SUCCEEDED(D3DXCreateBuffer(static_cast<DWORD>(list.size() * sizeof(D3DXINTERSECTINFO)), ppAllHits)))
            std::memcpy((*ppAllHits)->GetBufferPointer(), list.data(), list.size() * sizeof(D3DXINTERSECTINFO));
    }
    if (pHit) *pHit = TRUE;
    if (pFaceIndex) *pFaceIndex = nearest.face;
    if (pU) *pU = nearest.u;
    if (pV) *pV = nearest.v;
    if (pDist) *pDist = nearest.dist;
    if (pCountOfHits) *pCountOfHits = static_cast<DWORD>(hits.size());
    return D3D_OK;
}

HRESULT WINAPI D3DXComputeBoundingBox(const D3DXVECTOR3* pFirstPosition, DWORD NumVertices, DWORD dwStride,
                                      D3DXVECTOR3* pMin, D3DXVECTOR3* pMax) {
    if (!pFirstPosition || !pMin || !pMax || NumVertices == 0) return D3DERR_INVALIDCALL;
    auto* at = reinterpret_cast<const unsigned char*>(pFirstPosition);
    D3DXVECTOR3 lo, hi;
    std::memcpy(&lo.x, at, 12);
    hi = lo;
    for (DWORD i = 1; i < NumVertices; ++i) {
        D3DXVECTOR3 p;
        std::memcpy(&p.x, at + size_t(i) * dwStride, 12);
        lo = D3DXVECTOR3(std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z));
        hi = D3DXVECTOR3(std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z));
    }
    *pMin = lo;
    *pMax = hi;
    return D3D_OK;
}
