#include "app/Camera.h"

#include "app/Globals.h"

Camera::Camera()
    : m_View(),  // all zero until the first UpdateView
      m_Roll(0.0f),
      m_Pitch(0.0f),
      m_Yaw(0.0f),
      m_Position(0.0f, 0.0f, -1.0f),
      m_Look(0.0f, 0.0f, -1.0f),
      m_Up(0.0f, 1.0f, 0.0f),
      m_Right(1.0f, 0.0f, 0.0f),
      m_Velocity(0.0f, 0.0f, 0.0f) {}

Camera::~Camera() {}

void Camera::UpdateView() {
    m_Position += m_Right * m_Velocity.x + m_Up * m_Velocity.y + m_Look * m_Velocity.z;

    // Left-handed: right = up x look, up = look x right.
    D3DXVec3Normalize(&m_Look, &m_Look);
    D3DXVec3Cross(&m_Right, &m_Up, &m_Look);
    D3DXVec3Normalize(&m_Right, &m_Right);
    D3DXVec3Cross(&m_Up, &m_Look, &m_Right);
    D3DXVec3Normalize(&m_Up, &m_Up);

    D3DXMATRIX turn;
    D3DXMatrixRotationAxis(&turn, &m_Up, m_Yaw);
    D3DXVec3TransformCoord(&m_Look, &m_Look, &turn);
    D3DXVec3TransformCoord(&m_Right, &m_Right, &turn);

    D3DXMatrixRotationAxis(&turn, &m_Right, m_Pitch);
    D3DXVec3TransformCoord(&m_Look, &m_Look, &turn);
    D3DXVec3TransformCoord(&m_Up, &m_Up, &turn);

    D3DXMatrixRotationAxis(&turn, &m_Look, m_Roll);
    D3DXVec3TransformCoord(&m_Right, &m_Right, &turn);
    D3DXVec3TransformCoord(&m_Up, &m_Up, &turn);

    m_View._11 = m_Right.x;
    m_View._12 = m_Up.x;
    m_View._13 = m_Look.x;
    m_View._14 = 0.0f;
    m_View._21 = m_Right.y;
    m_View._22 = m_Up.y;
    m_View._23 = m_Look.y;
    m_View._24 = 0.0f;
    m_View._31 = m_Right.z;
    m_View._32 = m_Up.z;
    m_View._33 = m_Look.z;
    m_View._34 = 0.0f;
    m_View._41 = -D3DXVec3Dot(&m_Position, &m_Right);
    m_View._42 = -D3DXVec3Dot(&m_Position, &m_Up);
    m_View._43 = -D3DXVec3Dot(&m_Position, &m_Look);
    m_View._44 = 1.0f;

    if (g_Device) g_Device->SetTransform(D3DTS_VIEW, &m_View);
}

int Camera::Reset() {
    m_Position = D3DXVECTOR3(0.0f, 0.0f, -1.0f);
    m_Look = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    m_Up = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    m_Right = D3DXVECTOR3(1.0f, 0.0f, 0.0f);
    m_Yaw = 0.0f;
    m_Pitch = 0.0f;
    m_Roll = 0.0f;
    return 0;
}

Camera& Camera::CopyFrom(const Camera& other) {
    m_Position = other.m_Position;
    m_Look = other.m_Look;
    m_Up = other.m_Up;
    m_Right = other.m_Right;
    m_Yaw = other.m_Yaw;
    m_Pitch = other.m_Pitch;
    m_Roll = other.m_Roll;
    m_Velocity = other.m_Velocity;
    return *this;
}

namespace {

void Store(D3DXVECTOR3* v, float x, float y, float z) {
    v->x = x;
    v->y = y;
    v->z = z;
}

void Load(const D3DXVECTOR3& v, float* x, float* y, float* z) {
    *x = v.x;
    *y = v.y;
    *z = v.z;
}

}  // namespace

void Camera::SetPosition(float x, float y, float z) { Store(&m_Position, x, y, z); }
void Camera::GetPosition(float* x, float* y, float* z) { Load(m_Position, x, y, z); }
void Camera::Move(float dx, float dy, float dz) { m_Position += D3DXVECTOR3(dx, dy, dz); }
void Camera::SetLook(float x, float y, float z) { Store(&m_Look, x, y, z); }
void Camera::GetLook(float* x, float* y, float* z) { Load(m_Look, x, y, z); }
void Camera::SetUp(float x, float y, float z) { Store(&m_Up, x, y, z); }
void Camera::GetUp(float* x, float* y, float* z) { Load(m_Up, x, y, z); }
void Camera::SetRight(float x, float y, float z) { Store(&m_Right, x, y, z); }
void Camera::GetRight(float* x, float* y, float* z) { Load(m_Right, x, y, z); }
void Camera::SetVelocity(float x, float y, float z) { Store(&m_Velocity, x, y, z); }
void Camera::GetVelocity(float* x, float* y, float* z) { Load(m_Velocity, x, y, z); }
void Camera::SetYaw(float angle) { m_Yaw = angle; }
void Camera::GetYaw(float* angle) { *angle = m_Yaw; }
void Camera::SetPitch(float angle) { m_Pitch = angle; }
void Camera::GetPitch(float* angle) { *angle = m_Pitch; }
void Camera::SetRoll(float angle) { m_Roll = angle; }
void Camera::GetRoll(float* angle) { *angle = m_Roll; }
int Camera::NoOp() { return 0; }
