// A facing angle turned into a direction of whole steps, and a long stride
// along it.
#pragma once

#include <d3dx9math.h>

extern float g_FacingAngle;  // radians
extern D3DXVECTOR3 g_FacingDirection;

// g_FacingDirection from g_FacingAngle; an angle of none of the eight
// facings changes nothing.
void SetFacingVector();
// The same, and the character's walking position moved 4 across x and 10
// across z along that direction.
void StepAlongFacing();
