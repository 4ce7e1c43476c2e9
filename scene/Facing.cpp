#include "scene/Facing.h"

#include "app/Globals.h"

float g_FacingAngle = 0.0f;
D3DXVECTOR3 g_FacingDirection(0.0f, 0.0f, 0.0f);

namespace {

struct Facing {
    float angle;
    D3DXVECTOR3 direction;
    float stepX;
    float stepZ;
};

// Compared for exact equality: the angles are set, never computed.
const Facing kFacings[8] = {
    {0.0f, D3DXVECTOR3(0, 0, -1), 0, 10},    {-3.0f, D3DXVECTOR3(0, 0, 1), 0, -10},
    {1.5f, D3DXVECTOR3(-1, 0, 0), 4, 0},     {-1.5f, D3DXVECTOR3(1, 0, 0), -4, 0},
    {0.75f, D3DXVECTOR3(-1, 0, -1), 4, 10},  {-0.75f, D3DXVECTOR3(1, 0, -1), -4, 10},
    {2.25f, D3DXVECTOR3(1, 0, 1), 4, -10},   {-2.25f, D3DXVECTOR3(-1, 0, 1), -4, -10},
};

void Face(bool step) {
    for (const Facing& f : kFacings) {
        if (g_FacingAngle != f.angle) continue;
        g_FacingDirection = f.direction;
        if (step) {
            g_CharacterX += f.stepX;
            g_CharacterZ += f.stepZ;
        }
    }
}

}  // namespace

void SetFacingVector() { Face(false); }

void StepAlongFacing() { Face(true); }
