// The scene object: places a loaded model in the world and draws it, and
// holds its bounding box and the state of the ray and collision tests.
#pragma once

#include <d3dx9.h>

#include <type_traits>

#include "scene/MeshContainer.h"

class CCollisionObject;
class SceneFrame;

typedef void (*SceneFrameCallback)(SceneFrame* frame, DWORD data);

// A plain class: copied by value into the ray and nearness tests, so its
// destructor must stay trivial (it releases nothing).
class SceneFrame {
public:
    SceneFrame();
    ~SceneFrame() = default;

    // 0, or E_FAIL for null (the callback is then cleared).
    HRESULT SetUpdateCallback(SceneFrameCallback callback);
    // Links the child at the end of the children; E_FAIL with a report for
    // null, for a child already there and for this frame or one above it.
    HRESULT AddChild(SceneFrame* child);
    // Links the container at the end of the list; E_FAIL for null and for a
    // container already in the list.
    HRESULT AddMeshContainer(MeshContainer* container);

    // Position += Velocity; WorldMatrix from the rotations and the position,
    // times the parent's; set as the device's world transform.
    void UpdateTransform();
    void GetCombinedMatrix(D3DXMATRIX* out);
    // The children first, then the frame's own containers. Always 0.
    HRESULT Render();

    void ComputeBoundingBox(MeshContainer* container);
    void SetBoxCorners(float x, float y, float z);
    BYTE IsNear(SceneFrame other);
    BYTE IsAtSameHeight(SceneFrame other);
    BYTE HasCollided();
    HRESULT PrepareCollisionMesh(MeshContainer* container);
    HRESULT CopyCollisionVertices();

    // Ray and collision tests against another scene object (their own source file).
    BYTE RayTest(SceneFrame other);
    HRESULT BuildCollisionObject(MeshContainer* container);
    BYTE TestCollision(SceneFrame* other, int flags);

    void GetPosition(float* x, float* y, float* z);
    void SetPosition(float x, float y, float z);
    void GetVelocity(float* x, float* y, float* z);
    void SetVelocity(float x, float y, float z);
    void GetAuxVector(float* x, float* y, float* z);
    void SetAuxVector(float x, float y, float z);

    DWORD CallbackData;
    D3DXMATRIX WorldMatrix;
    D3DXMATRIX LocalMatrix;
    D3DXVECTOR3 BoxExtents;  // per axis, whole numbers
    D3DXVECTOR3 BoxCorners[8];
    float Radius;
    float EasedYaw;  // radians
    D3DXVECTOR3 BoxMin;
    D3DXVECTOR3 BoxMax;
    D3DXVECTOR3 Position;
    MeshContainer* pMeshContainers;      // first of the list, not owned
    CCollisionObject* pCollisionObject;  // never released
    BYTE Collided;
    float Heading;  // degrees
    BYTE CollisionCopyPending;
    D3DXVECTOR3* pCollisionVertices;  // owned, never freed
    DWORD FaceCount;
    DWORD VertexCount;
    WORD* pLockedIndices;
    D3DXVECTOR3 AuxVector;
    D3DXVECTOR3 Velocity;
    float RotationY;
    float RotationX;
    float RotationZ;
    SceneFrame* pNextSibling;
    SceneFrame* pFirstChild;
    SceneFrame* pParent;
    SceneFrameCallback UpdateCallback;
    INT HasUpdateCallback;
    LPD3DXMESH pCollisionMesh;  // not owned
    void* pLockedVertices;
};

static_assert(std::is_trivially_destructible<SceneFrame>::value,
              "SceneFrame is copied by value and its copies must release nothing");
