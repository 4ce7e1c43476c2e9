#include "scene/SceneFrame.h"

#include <cmath>
#include <cstring>
#include <new>

#include "app/Globals.h"
#include "app/Utility.h"
#include "scene/Skinning.h"

SceneFrame::SceneFrame()
    : CallbackData(0),
      Radius(0.0f),
      EasedYaw(0.0f),
      pMeshContainers(NULL),
      pCollisionObject(NULL),
      Collided(0),
      Heading(0.0f),
      CollisionCopyPending(1),
      pCollisionVertices(NULL),
      FaceCount(0),
      VertexCount(0),
      pLockedIndices(NULL),
      RotationY(0.0f),
      RotationX(0.0f),
      RotationZ(0.0f),
      pNextSibling(NULL),
      pFirstChild(NULL),
      pParent(NULL),
      UpdateCallback(NULL),
      HasUpdateCallback(0),
      pCollisionMesh(NULL),
      pLockedVertices(NULL) {
    D3DXMatrixIdentity(&WorldMatrix);
}

HRESULT SceneFrame::SetUpdateCallback(SceneFrameCallback callback) {
    if (!callback) {
        UpdateCallback = NULL;
        HasUpdateCallback = 0;
        return E_FAIL;
    }
    UpdateCallback = callback;
    HasUpdateCallback = 1;
    return S_OK;
}

HRESULT SceneFrame::AddChild(SceneFrame* child) {
    // A child that is already linked here, or this frame or one above it,
    // would make the hierarchy a loop that Render never leaves.
    bool invalid = !child;
    for (SceneFrame* f = this; f && !invalid; f = f->pParent) invalid = f == child;
    for (SceneFrame* f = pFirstChild; f && !invalid; f = f->pNextSibling) invalid = f == child;
    if (invalid) {
        ReportError("Failed in attempt to add an invalid child frame");
        return E_FAIL;
    }
    child->pParent = this;
    if (!pFirstChild) {
        pFirstChild = child;
    } else {
        SceneFrame* last = pFirstChild;
        while (last->pNextSibling) last = last->pNextSibling;
        last->pNextSibling = child;
    }
    return S_OK;
}

HRESULT SceneFrame::AddMeshContainer(MeshContainer* container) {
    if (!container) return E_FAIL;
    for (MeshContainer* c = pMeshContainers; c; c = c->pNextInOwner)
        if (c == container) return E_FAIL;  // a second link would close the list into a loop
    container->pOwner = this;
    if (!pMeshContainers) {
        pMeshContainers = container;
    } else {
        MeshContainer* last = pMeshContainers;
        while (last->pNextInOwner) last = last->pNextInOwner;
        last->pNextInOwner = container;
    }
    return S_OK;
}

void SceneFrame::UpdateTransform() {
    if (HasUpdateCallback) UpdateCallback(this, CallbackData);
    Position.x += Velocity.x;
    Position.y += Velocity.y;
    Position.z += Velocity.z;

    D3DXMATRIX t, x, y, z;
    D3DXMatrixTranslation(&t, Position.x, Position.y, Position.z);
    D3DXMatrixRotationX(&x, RotationX);
    D3DXMatrixRotationY(&y, RotationY);
    D3DXMatrixRotationZ(&z, RotationZ);
    D3DXMATRIX m;
    D3DXMatrixMultiply(&m, &z, &x);
    D3DXMatrixMultiply(&m, &m, &y);
    D3DXMatrixMultiply(&m, &m, &t);
    WorldMatrix = m;
    LocalMatrix = m;

    if (pParent) {
        D3DXMATRIX parent;
        pParent->GetCombinedMatrix(&parent);
        D3DXMatrixMultiply(&WorldMatrix, &WorldMatrix, &parent);
    }
    if (g_Device) g_Device->SetTransform(D3DTS_WORLD, &WorldMatrix);
}

void SceneFrame::GetCombinedMatrix(D3DXMATRIX* out) {
    UpdateTransform();
    *out = WorldMatrix;
}

HRESULT SceneFrame::Render() {
    UpdateTransform();
    for (SceneFrame* child = pFirstChild; child; child = child->pNextSibling) child->Render();
    if (!pMeshContainers) return S_OK;
    // The children changed the world transform.
    if (g_Device) g_Device->SetTransform(D3DTS_WORLD, &WorldMatrix);
    // Containers without a mesh or materials are passed over.
    for (MeshContainer* c = pMeshContainers; c; c = c->pNextInOwner) DrawMeshContainer(c);
    return S_OK;
}

void SceneFrame::ComputeBoundingBox(MeshContainer* container) {
    if (!container || !container->MeshData.pMesh) return;
    ID3DXMesh* mesh = container->MeshData.pMesh;
    const DWORD fvf = mesh->GetFVF();
    const DWORD count = mesh->GetNumVertices();
    void* vertices = NULL;
    // A buffer that cannot be locked leaves the box as it was.
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &vertices)) || !vertices) return;
    D3DXComputeBoundingBox(static_cast<const D3DXVECTOR3*>(vertices), count, D3DXGetFVFVertexSize(fvf), &BoxMin,
                           &BoxMax);
    mesh->UnlockVertexBuffer();
    BoxExtents.x = IntDistance(BoxMin.x, BoxMax.x);
    BoxExtents.y = IntDistance(BoxMin.y, BoxMax.y);
    BoxExtents.z = IntDistance(BoxMin.z, BoxMax.z);
}

void SceneFrame::SetBoxCorners(float x, float y, float z) {
    const float hx = BoxExtents.x * 0.5f;
    const float hy = BoxExtents.y * 0.5f;
    const float hz = BoxExtents.z * 0.5f;
    const float x1 = x + hx, x0 = x - hx;
    const float y1 = y + hy, y0 = y - hy;
    const float z1 = z + hz, z0 = z - hz;
    BoxCorners[0] = D3DXVECTOR3(x1, y1, z1);
    BoxCorners[1] = D3DXVECTOR3(x1, y1, z0);
    BoxCorners[2] = D3DXVECTOR3(x1, y0, z1);
    BoxCorners[3] = D3DXVECTOR3(x1, y0, z0);
    BoxCorners[4] = D3DXVECTOR3(x0, y1, z1);
    BoxCorners[5] = D3DXVECTOR3(x0, y1, z0);
    BoxCorners[6] = D3DXVECTOR3(x0, y0, z1);
    BoxCorners[7] = D3DXVECTOR3(x0, y0, z0);
}

BYTE SceneFrame::IsNear(SceneFrame other) {
    const float dx = FloatDistance(Position.x, other.Position.x);
    const float dz = FloatDistance(Position.z, other.Position.z);
    return std::sqrt(dx * dx + dz * dz) < Radius + other.Radius ? 1 : 0;
}

BYTE SceneFrame::IsAtSameHeight(SceneFrame other) {
    return std::fabs(Position.y - other.Position.y) <= 1.0f ? 1 : 0;
}

BYTE SceneFrame::HasCollided() { return Collided; }

HRESULT SceneFrame::PrepareCollisionMesh(MeshContainer* container) {
    if (!container || !container->MeshData.pMesh) return E_FAIL;
    pCollisionMesh = container->MeshData.pMesh;
    VertexCount = pCollisionMesh->GetNumVertices();
    FaceCount = pCollisionMesh->GetNumFaces();
    pCollisionVertices = new (std::nothrow) D3DXVECTOR3[VertexCount];
    return S_OK;
}

HRESULT SceneFrame::CopyCollisionVertices() {
    if (!pCollisionMesh || !pCollisionVertices) return E_FAIL;
    void* vertices = NULL;
    void* indices = NULL;
    HRESULT hr = pCollisionMesh->LockVertexBuffer(D3DLOCK_READONLY, &vertices);
    if (FAILED(hr)) return hr;
    hr = pCollisionMesh->LockIndexBuffer(D3DLOCK_READONLY, &indices);
    if (FAILED(hr)) {
        pCollisionMesh->UnlockVertexBuffer();
        return hr;
    }
    pLockedVertices = vertices;
    pLockedIndices = static_cast<WORD*>(indices);
    CollisionCopyPending = 0;

    // Indices past the vertices (or past the copy) are skipped, not followed.
    const UINT stride = D3DXGetFVFVertexSize(pCollisionMesh->GetFVF());
    const DWORD meshVertices = pCollisionMesh->GetNumVertices();
    const DWORD vertexLimit = VertexCount < meshVertices ? VertexCount : meshVertices;
    const DWORD meshFaces = pCollisionMesh->GetNumFaces();
    const DWORD faces = FaceCount < meshFaces ? FaceCount : meshFaces;
    const BYTE* base = static_cast<const BYTE*>(pLockedVertices);
    for (DWORD f = 0; f < faces; ++f) {
        for (DWORD corner = 0; corner < 3; ++corner) {
            const WORD k = pLockedIndices[f * 3 + corner];
            if (k >= vertexLimit) continue;
            std::memcpy(&pCollisionVertices[k], base + size_t(k) * stride, sizeof(D3DXVECTOR3));
        }
    }
    pCollisionMesh->UnlockIndexBuffer();
    pCollisionMesh->UnlockVertexBuffer();
    return S_OK;
}

void SceneFrame::GetPosition(float* x, float* y, float* z) {
    *x = Position.x;
    *y = Position.y;
    *z = Position.z;
}

void SceneFrame::SetPosition(float x, float y, float z) {
    Position.x = x;
    Position.y = y;
    Position.z = z;
}

void SceneFrame::GetVelocity(float* x, float* y, float* z) {
    *x = Velocity.x;
    *y = Velocity.y;
    *z = Velocity.z;
}

void SceneFrame::SetVelocity(float x, float y, float z) {
    Velocity.x = x;
    Velocity.y = y;
    Velocity.z = z;
}

void SceneFrame::GetAuxVector(float* x, float* y, float* z) {
    *x = AuxVector.x;
    *y = AuxVector.y;
    *z = AuxVector.z;
}

void SceneFrame::SetAuxVector(float x, float y, float z) {
    AuxVector.x = x;
    AuxVector.y = y;
    AuxVector.z = z;
}
