// Lowering a scene object onto another, and the mesh under the program's cursor.
#pragma once

#include <d3dx9.h>

#include "scene/MeshContainer.h"
#include "scene/SceneFrame.h"

extern D3DXMATRIX g_PickViewMatrix;  // the view read by the last pick

// Lowers the copy `object` by 0.1 a step until it is within 1.0 of the
// other's height; what lasts is the position left in g_CharacterPos. It
// stops too when lowering cannot bring it there.
void DropToFloor(SceneFrame object, SceneFrame other);

// 1 when the ray from the camera through the program's cursor meets the
// container's mesh drawn under `world`, else 0 (also when there is no mesh
// or the view or the world cannot be inverted).
int PickWithMouse(MeshContainer* container, D3DXMATRIX* world);
