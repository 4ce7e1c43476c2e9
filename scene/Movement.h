// Walking the character with the arrow keys, and the answer to a collision.
#pragma once

// Once a frame: one step along the single arrow held, the heading, the eased
// yaw, the follow camera's offset and height, and the walk set; then the
// camera placed behind the character and the yaw folded back after a full turn.
void MoveCharacter();
// Takes back the walking step of the heading, turns the heading and replays
// the walk set; only in a frame whose collision test found contact.
void PushBackAfterCollision();
