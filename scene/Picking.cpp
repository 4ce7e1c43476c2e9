#include "scene/Picking.h"

#include <cmath>

#include "app/Globals.h"

D3DXMATRIX g_PickViewMatrix;

void DropToFloor(SceneFrame object, SceneFrame other) {
    while (!object.IsAtSameHeight(other)) {
        const float y = object.Position.y;
        const float floor = other.Position.y;
        // Lowering never ends from below the other, from a height where 0.1 is
        // lost in rounding, or from a height that is no number.
        if (!std::isfinite(y) || !std::isfinite(floor) || y <= floor || y - 0.1f == y) break;
        object.GetPosition(&g_CharacterPos.x, &g_CharacterPos.y, &g_CharacterPos.z);
        g_CharacterPos.y -= 0.1f;
        object.SetPosition(g_CharacterPos.x, g_CharacterPos.y, g_CharacterPos.z);
    }
}

int PickWithMouse(MeshContainer* container, D3DXMATRIX* world) {
    if (!container || !container->MeshData.pMesh || !world || !g_Device) return 0;

    IDirect3DSurface9* backBuffer = NULL;
    if (FAILED(g_Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)) || !backBuffer) return 0;
    D3DSURFACE_DESC desc = {};
    const HRESULT described = backBuffer->GetDesc(&desc);
    backBuffer->Release();
    if (FAILED(described) || desc.Width == 0 || desc.Height == 0) return 0;

    g_Device->GetTransform(D3DTS_PROJECTION, &g_Projection);
    POINT cursor = {g_CursorX, g_CursorY};
    ScreenToClient(g_hWnd, &cursor);

    D3DXVECTOR3 v;
    v.x = (2.0f * float(cursor.x) / float(desc.Width) - 1.0f) / g_Projection._11;
    v.y = -(2.0f * float(cursor.y) / float(desc.Height) - 1.0f) / g_Projection._22;
    v.z = 1.0f;

    g_Device->GetTransform(D3DTS_VIEW, &g_PickViewMatrix);
    D3DXMATRIX m;
    if (!D3DXMatrixInverse(&m, NULL, &g_PickViewMatrix)) return 0;
    D3DXVECTOR3 direction(v.x * m._11 + v.y * m._21 + m._31, v.x * m._12 + v.y * m._22 + m._32,
                          v.x * m._13 + v.y * m._23 + m._33);
    // One unit in front of the camera in view space.
    D3DXVECTOR3 origin(m._41 + direction.x, m._42 + direction.y, m._43 + direction.z);

    D3DXMATRIX toModel;
    if (!D3DXMatrixInverse(&toModel, NULL, world)) return 0;
    D3DXVec3TransformCoord(&origin, &origin, &toModel);
    D3DXVec3TransformNormal(&direction, &direction, &toModel);

    BOOL hit = FALSE;
    DWORD face = 0;
    float u = 0.0f, w = 0.0f, distance = 0.0f;
    D3DXIntersect(container->MeshData.pMesh, &origin, &direction, &hit, &face, &u, &w, &distance, NULL, NULL);
    return hit == TRUE ? 1 : 0;
}
