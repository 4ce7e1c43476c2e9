// Collision objects that record what the program asks of them, and the
// keyboard readied on a headless window for the movement tests.
#pragma once

#include <collision.h>

#include <vector>

namespace anim_fixtures {

struct CollisionCall {
    enum Kind { AddTriangle, Finalize, SetTransform, Collision } kind;
    int object;  // creation order of the recording object, from 0
    D3DXVECTOR3 corners[3];
    const D3DXMATRIX* matrixAddress;
    D3DXMATRIX matrix;
    int other;  // the other recording object of a Collision, -1 for another kind
    int flags;
};

// From now on newCollisionObject makes recording objects (each over one of
// the library's own models) and the log starts empty; off: the library's own
// objects again.
void RecordCollisions(bool on);
const std::vector<CollisionCall>& CollisionLog();
void ClearCollisionLog();
// -1: the model's own answer (the default); 0 or 1: that answer instead.
void ForceCollisionAnswer(int answer);

// A headless window in g_hWnd, and the input devices ready with no key down.
void ReadyKeyboard();
// Releases what ReadyKeyboard made.
void ReleaseKeyboard();

}  // namespace anim_fixtures
