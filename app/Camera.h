// A free-flying viewpoint: position, three axes, turn angles and a velocity
// along its own axes, applied again at every UpdateView.
#pragma once

#include <d3dx9.h>

class Camera {
public:
    Camera();
    ~Camera();

    // Moves by the velocity, makes the axes orthonormal, turns them by yaw,
    // pitch and roll, and sets the resulting view on the device.
    void UpdateView();
    // Back to the start position and axes with no turn; returns 0.
    int Reset();
    // Everything but the view matrix.
    Camera& CopyFrom(const Camera& other);

    void SetPosition(float x, float y, float z);
    void GetPosition(float* x, float* y, float* z);
    void Move(float dx, float dy, float dz);
    void SetLook(float x, float y, float z);
    void GetLook(float* x, float* y, float* z);
    void SetUp(float x, float y, float z);
    void GetUp(float* x, float* y, float* z);
    void SetRight(float x, float y, float z);
    void GetRight(float* x, float* y, float* z);
    void SetVelocity(float x, float y, float z);
    void GetVelocity(float* x, float* y, float* z);
    void SetYaw(float angle);
    void GetYaw(float* angle);
    void SetPitch(float angle);
    void GetPitch(float* angle);
    void SetRoll(float angle);
    void GetRoll(float* angle);
    int NoOp();

    // The view built by the last UpdateView (all zero before the first).
    const D3DXMATRIX* GetViewMatrix() const { return &m_View; }

private:
    D3DXMATRIX m_View;
    float m_Roll;
    float m_Pitch;
    float m_Yaw;
    D3DXVECTOR3 m_Position;
    D3DXVECTOR3 m_Look;
    D3DXVECTOR3 m_Up;
    D3DXVECTOR3 m_Right;
    D3DXVECTOR3 m_Velocity;  // along right (x), up (y) and look (z)
};
