// Ray against mesh, and the bounding box of a run of positions.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "d3dx9mesh.h"

namespace {

bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

D3DXVECTOR3 PositionAt(const unsigned char* vertices, DWORD stride, DWORD index) {
    D3DXVECTOR3 p;
    std::memcpy(&p.x, vertices + size_t(index) * stride, 12);
    return p;
}

// Both sides of the triangle count. False for a parallel ray, a miss or t < 0.
bool RayTriangle(const D3DXVECTOR3& origin, const D3DXVECTOR3& dir, const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                 const D3DXVECTOR3& c, float* t, float* u, float* v) {
    const D3DXVECTOR3 e1 = b - a, e2 = c - a;
    D3DXVECTOR3 p;
    D3DXVec3Cross(&p, &dir, &e2);
    const float det = D3DXVec3Dot(&e1, &p);
    // Parallel when the determinant is negligible next to the lengths that make it.
    const float scale = D3DXVec3Length(&e1) * D3DXVec3Length(&e2) * D3DXVec3Length(&dir);
    if (!(std::fabs(det) > 1e-7f * scale)) return false;
    const float inv = 1.0f / det;
    const D3DXVECTOR3 s = origin - a;
    const float bu = D3DXVec3Dot(&s, &p) * inv;
    if (!(bu >= 0.0f && bu <= 1.0f)) return false;
    D3DXVECTOR3 q;
    D3DXVec3Cross(&q, &s, &e1);
    const float bv = D3DXVec3Dot(&dir, &q) * inv;
    if (!(bv >= 0.0f && bu + bv <= 1.0f)) return false;
    const float dist = D3DXVec3Dot(&e2, &q) * inv;
    if (!(dist >= 0.0f)) return false;
    *t = dist;
    *u = bu;
    *v = bv;
    return true;
}

}  // namespace

HRESULT WINAPI D3DXIntersect(LPD3DXBASEMESH pMesh, const D3DXVECTOR3* pRayPos, const D3DXVECTOR3* pRayDir,
                             BOOL* pHit, DWORD* pFaceIndex, FLOAT* pU, FLOAT* pV, FLOAT* pDist,
                             LPD3DXBUFFER* ppAllHits, DWORD* pCountOfHits) {
    // Callers read the flag whatever happens.
    if (pHit) *pHit = FALSE;
    if (pCountOfHits) *pCountOfHits = 0;
    if (ppAllHits) *ppAllHits = nullptr;
    if (!pMesh || !pRayPos || !pRayDir) return D3DERR_INVALIDCALL;
    const D3DXVECTOR3 origin = *pRayPos, dir = *pRayDir;
    if (!Finite(origin) || !Finite(dir)) return D3D_OK;

    const DWORD faces = pMesh->GetNumFaces(), vertices = pMesh->GetNumVertices();
    const DWORD stride = pMesh->GetNumBytesPerVertex();
    const bool wide = (pMesh->GetOptions() & D3DXMESH_32BIT) != 0;
    void* vb = nullptr;
    void* ib = nullptr;
    HRESULT hr = pMesh->LockVertexBuffer(D3DLOCK_READONLY, &vb);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = pMesh->LockIndexBuffer(D3DLOCK_READONLY, &ib))) {
        pMesh->UnlockVertexBuffer();
        return hr;
    }
    auto* positions = static_cast<const unsigned char*>(vb);
    std::vector<D3DXINTERSECTINFO> hits;
    D3DXINTERSECTINFO nearest = {0, 0, 0, std::numeric_limits<float>::infinity()};
    bool any = false;
    DWORD count = 0;
    for (DWORD f = 0; f < faces; ++f) {
        DWORD idx[3];
        bool valid = true;
        for (int k = 0; k < 3; ++k) {
            idx[k] = wide ? static_cast<const DWORD*>(ib)[size_t(f) * 3 + k]
                          : static_cast<const WORD*>(ib)[size_t(f) * 3 + k];
            valid = valid && idx[k] < vertices;
        }
        if (!valid) continue;
        float t, u, v;
        if (!RayTriangle(origin, dir, PositionAt(positions, stride, idx[0]), PositionAt(positions, stride, idx[1]),
                         PositionAt(positions, stride, idx[2]), &t, &u, &v))
            continue;
        if (ppAllHits) hits.push_back(D3DXINTERSECTINFO{f, u, v, t});
        if (!any || t < nearest.Dist) nearest = D3DXINTERSECTINFO{f, u, v, t};
        any = true;
        ++count;
    }
    pMesh->UnlockIndexBuffer();
    pMesh->UnlockVertexBuffer();
    if (!any) return D3D_OK;

    if (ppAllHits) {
        if (SUCCEEDED(D3DXCreateBuffer(static_cast<DWORD>(hits.size() * sizeof(D3DXINTERSECTINFO)), ppAllHits)))
            std::memcpy((*ppAllHits)->GetBufferPointer(), hits.data(), hits.size() * sizeof(D3DXINTERSECTINFO));
    }
    if (pHit) *pHit = TRUE;
    if (pFaceIndex) *pFaceIndex = nearest.FaceIndex;
    if (pU) *pU = nearest.U;
    if (pV) *pV = nearest.V;
    if (pDist) *pDist = nearest.Dist;
    if (pCountOfHits) *pCountOfHits = count;
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
