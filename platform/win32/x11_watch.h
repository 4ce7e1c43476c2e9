// The X window behind each SDL window the layer makes. Another client may
// destroy it (a window manager's kill, `xdotool windowclose`): X errors about
// a window of ours then no longer end the process through Xlib's default
// handler, and the window layer learns that the window is gone. Without X11
// (another video driver, or built without it) nothing is watched.
#pragma once

#include <cstdint>
#include <vector>

struct SDL_Window;
union SDL_Event;

namespace x11_watch {

// Follows the native window of `window`.
void Watch(SDL_Window* window);

// Every event SDL gives, so that a destroyed window of ours is noted.
void Notice(const SDL_Event& event);

// Asks the display whether the native window of `window` still exists (false
// only for a watched window that does not).
bool Exists(SDL_Window* window);

// The SDL ids of watched windows destroyed since the last call.
std::vector<uint32_t> TakeGone();

}  // namespace x11_watch
