// The ray test and the collision objects of the scene objects.
#include <collision.h>

#include <cstring>
#include <new>

#include "app/Globals.h"
#include "scene/SceneFrame.h"

namespace {

// The ray looks the way the last walking step went: Down walks +z, Up -z,
// Left +x, Right -x. Before the first step (or for a heading no step sets)
// it looks along +x.
D3DXVECTOR3 WalkingDirection(float heading) {
    if (heading == 360.0f) return D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    if (heading == 180.0f) return D3DXVECTOR3(0.0f, 0.0f, -1.0f);
    if (heading == 270.0f) return D3DXVECTOR3(1.0f, 0.0f, 0.0f);
    if (heading == 90.0f) return D3DXVECTOR3(-1.0f, 0.0f, 0.0f);
    return D3DXVECTOR3(1.0f, 0.0f, 0.0f);
}

}  // namespace

BYTE SceneFrame::RayTest(SceneFrame other) {
    Collided = 0;
    D3DXVECTOR3 origin = Position;
    D3DXVECTOR3 direction = WalkingDirection(Heading);

    // Into the space of the other object's mesh, by the world matrix in force.
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    if (g_Device) g_Device->GetTransform(D3DTS_WORLD, &world);
    D3DXMATRIX inverse;
    if (!D3DXMatrixInverse(&inverse, NULL, &world)) return Collided;
    D3DXVec3TransformCoord(&origin, &origin, &inverse);
    D3DXMATRIX transposed;
    D3DXMatrixTranspose(&transposed, &world);
    D3DXVec3TransformNormal(&direction, &direction, &transposed);

    if (!other.pMeshContainers || !other.pMeshContainers->MeshData.pMesh) return Collided;
    BOOL hit = FALSE;
    DWORD face = 0;
    float u = 0.0f, v = 0.0f, distance = 0.0f;
    D3DXIntersect(other.pMeshContainers->MeshData.pMesh, &origin, &direction, &hit, &face, &u, &v, &distance, NULL,
                  NULL);
    if (hit == TRUE) {
        // Walking along the z axis or to the right, the limit is nearer.
        const bool nearer = Heading == 180.0f || Heading == 90.0f || Heading == 360.0f;
        const float limit = nearer ? Radius - 0.4f : Radius;
        if (distance < limit) Collided = 1;
    }
    return Collided;
}

HRESULT SceneFrame::BuildCollisionObject(MeshContainer* container) {
    pCollisionObject = newCollisionObject();
    if (!container || !container->MeshData.pMesh) return E_FAIL;
    pCollisionMesh = container->MeshData.pMesh;
    VertexCount = pCollisionMesh->GetNumVertices();
    FaceCount = pCollisionMesh->GetNumFaces();
    pCollisionVertices = new (std::nothrow) D3DXVECTOR3[VertexCount];

    void* vertices = NULL;
    if (FAILED(pCollisionMesh->LockVertexBuffer(D3DLOCK_READONLY, &vertices)) || !vertices) return E_FAIL;
    pLockedVertices = vertices;
    void* indices = NULL;
    if (FAILED(pCollisionMesh->LockIndexBuffer(D3DLOCK_READONLY, &indices)) || !indices) {
        pCollisionMesh->UnlockVertexBuffer();
        return E_FAIL;
    }
    pLockedIndices = static_cast<WORD*>(indices);

    const UINT stride = D3DXGetFVFVertexSize(pCollisionMesh->GetFVF());
    const bool wide = (pCollisionMesh->GetOptions() & D3DXMESH_32BIT) != 0;
    const BYTE* base = static_cast<const BYTE*>(pLockedVertices);
    for (DWORD f = 0; f < FaceCount; ++f) {
        DWORD corner[3];
        for (DWORD k = 0; k < 3; ++k)
            corner[k] = wide ? static_cast<const DWORD*>(indices)[f * 3 + k] : pLockedIndices[f * 3 + k];
        // An index past the vertices names no position: the face is left out.
        if (corner[0] >= VertexCount || corner[1] >= VertexCount || corner[2] >= VertexCount) continue;
        D3DXVECTOR3 p[3];
        for (DWORD k = 0; k < 3; ++k) std::memcpy(&p[k], base + size_t(corner[k]) * stride, sizeof(D3DXVECTOR3));
        pCollisionObject->AddTriangle(p[0], p[1], p[2]);
    }
    pCollisionObject->Finalize();

    pCollisionMesh->UnlockIndexBuffer();
    pCollisionMesh->UnlockVertexBuffer();
    return S_OK;
}

BYTE SceneFrame::TestCollision(SceneFrame* other, int flags) {
    if (!other || !pCollisionObject || !other->pCollisionObject) return 0;
    const bool touching = pCollisionObject->Collision(other->pCollisionObject, flags);
    // Flags are only ever set here.
    Collided = (Collided || touching) ? 1 : 0;
    other->Collided = (other->Collided || touching) ? 1 : 0;
    return touching ? 1 : 0;
}
