#include "scene/Movement.h"

#include <dinput.h>

#include "app/Globals.h"

namespace {

const char kWalkSet[] = "camminata";

bool Down(int key) { return g_Keyboard.IsKeyDown(key) != 0; }

// The arrow is down and the three others up, asked Right, Up, Down, Left.
bool OnlyArrow(int arrow) {
    const int order[4] = {DIK_RIGHT, DIK_UP, DIK_DOWN, DIK_LEFT};
    for (int key : order)
        if (Down(key) != (key == arrow)) return false;
    return true;
}

void PlayWalkSet() { g_Animations.Play(kWalkSet, g_ElapsedMs * 2, 1, 1.0f); }

struct Arrow {
    int key;
    float* position;  // g_CharacterX or g_CharacterZ
    float step;
    float* along;   // the camera offset on the walking axis
    float goal;     // where it swings to
    float* across;  // the camera offset on the other axis
    float top;      // the camera height's limits
    float bottom;
    float heading;
    int others[3];  // the arrows that keep the walk set from playing, in order
};

// The offset on the walking axis moves toward its goal and stops at the
// first value at or past it.
bool BeforeGoal(float offset, float goal) { return goal < 0.0f ? offset > goal : offset < goal; }

void EaseYaw(int key, float& yaw) {
    switch (key) {
        case DIK_DOWN:
            if ((yaw >= 0.0f && yaw <= 3.15f) || (yaw >= -6.35f && yaw <= -3.15f)) yaw += 0.02f;
            if ((yaw > -3.15f && yaw < 0.0f) || (yaw > 3.15f && yaw < 6.35f)) yaw -= 0.02f;
            break;
        case DIK_UP:
            if ((yaw >= 0.0f && yaw <= 3.15f) || (yaw >= -6.35f && yaw <= -3.15f)) yaw -= 0.02f;
            if ((yaw > -3.15f && yaw < 0.0f) || (yaw > 3.15f && yaw < 6.35f)) yaw += 0.02f;
            break;
        case DIK_LEFT:
            if (yaw >= -6.35f && yaw < -1.6f) yaw += 0.02f;
            if (yaw >= -1.6f && yaw <= 4.75f) yaw -= 0.02f;
            break;
        case DIK_RIGHT:
            // A yaw at or beyond +-4.75 lies in neither window and stays.
            if (yaw >= -1.6f && yaw <= 1.5f) yaw += 0.02f;
            if ((yaw > 1.5f && yaw < 4.75f) || (yaw > -4.75f && yaw < -1.6f)) yaw -= 0.02f;
            break;
    }
}

void Walk(const Arrow& a) {
    *a.position += a.step;

    if (BeforeGoal(*a.along, a.goal)) *a.along += a.goal < 0.0f ? -0.005f : 0.005f;

    float& across = *a.across;
    if (across >= -0.01f && across <= 0.01f)
        across = 0.0f;
    else if (across < -0.01f)
        across += 0.005f;
    else
        across -= 0.005f;

    float& height = g_CameraOffset.y;
    if (BeforeGoal(*a.along, a.goal)) {
        if (height >= 1.2f && height <= a.top) height += 0.004f;
    } else if (height >= a.bottom && height <= 2.0f) {
        height -= 0.004f;
    }

    g_Character.Heading = a.heading;
    EaseYaw(a.key, g_Character.EasedYaw);

    for (int other : a.others) {
        if (other == 0) break;
        if (Down(other)) return;
    }
    PlayWalkSet();
}

bool AnyArrowDown() { return Down(DIK_UP) || Down(DIK_RIGHT) || Down(DIK_DOWN) || Down(DIK_LEFT); }

}  // namespace

void MoveCharacter() {
    const Arrow arrows[4] = {
        {DIK_DOWN, &g_CharacterZ, 0.005f, &g_CameraOffset.z, -2.0f, &g_CameraOffset.x, 1.994f, 1.304f, 360.0f,
         {DIK_UP, 0, 0}},
        {DIK_UP, &g_CharacterZ, -0.005f, &g_CameraOffset.z, 2.0f, &g_CameraOffset.x, 1.996f, 1.3f, 180.0f,
         {DIK_DOWN, 0, 0}},
        {DIK_LEFT, &g_CharacterX, 0.003f, &g_CameraOffset.x, -2.0f, &g_CameraOffset.z, 1.994f, 1.304f, 270.0f,
         {DIK_UP, DIK_DOWN, DIK_RIGHT}},
        {DIK_RIGHT, &g_CharacterX, -0.003f, &g_CameraOffset.x, 2.0f, &g_CameraOffset.z, 1.996f, 1.3f, 90.0f,
         {DIK_UP, DIK_DOWN, DIK_LEFT}},
    };
    for (const Arrow& a : arrows) {
        if (OnlyArrow(a.key)) {
            Walk(a);
            break;
        }
    }

    g_FollowCamera.SetPosition(g_CameraTarget.x + g_CameraOffset.x, g_CameraTarget.y + g_CameraOffset.y,
                               g_CameraTarget.z + g_CameraOffset.z);

    if (AnyArrowDown()) {
        const D3DXVECTOR3 at = g_CharacterPos;
        g_DustParticles.EmitDust(&at, g_FrameDeltaMs);
    }

    float& yaw = g_Character.EasedYaw;
    if ((yaw >= 6.1f && yaw <= 6.3f) || (yaw >= -6.5f && yaw <= -6.2f)) yaw = 0.0f;
}

void PushBackAfterCollision() {
    // The tests follow one another, each on the heading the one before left.
    float& heading = g_Character.Heading;
    if (heading == 360.0f) {
        g_CharacterZ -= 0.01f;
        heading = 180.0f;
        if (!Down(DIK_UP) && g_CollisionFlag == 1) PlayWalkSet();
    }
    if (heading == 180.0f) {
        g_CharacterZ += 0.005f;
        heading = 360.0f;
        if (!Down(DIK_DOWN) && g_CollisionFlag == 1) PlayWalkSet();
    }
    if (heading == 90.0f) {
        g_CharacterX += 0.006f;
        heading = 270.0f;
        if (!Down(DIK_UP) && !Down(DIK_DOWN) && !Down(DIK_LEFT) && g_CollisionFlag == 1) PlayWalkSet();
    }
    if (heading == 270.0f) {
        g_CharacterX -= 0.003f;
        heading = 90.0f;
        if (!Down(DIK_UP) && !Down(DIK_DOWN) && !Down(DIK_RIGHT) && g_CollisionFlag == 1) PlayWalkSet();
    }
}
