// The collision library: triangle models that answer whether they touch.
#pragma once

#include <d3dx9math.h>

class CCollisionObject {
public:
    virtual ~CCollisionObject() = default;

    // One triangle of the model, corners in model space.
    virtual void AddTriangle(D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c) = 0;
    // Completes the model from the triangles added so far; only then can it be tested.
    virtual void Finalize() = 0;
    // Places the model in the world (row vectors) until the next call; the matrix is copied.
    virtual void SetTransform(const D3DXMATRIX* world) = 0;
    // True when the two models, each under its last matrix, share at least one point.
    // False when either model is incomplete or empty, or either matrix is singular.
    virtual bool Collision(CCollisionObject* other, int flags) = 0;
};

// Never returns null.
CCollisionObject* newCollisionObject();
