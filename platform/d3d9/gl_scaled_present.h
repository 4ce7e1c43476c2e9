// The one presentation that costs more than a swap: the back buffer drawn
// scaled into a rectangle of the window (full screen on a display of another
// size), the rest of the window black.
#pragma once

#include <epoxy/gl.h>

#include <string>

#include "native.h"

namespace d3d9 {

class GlScaledPresent {
public:
    // Made at the first scaled presentation: runs that never scale never pay.
    bool Build(std::string* error);
    bool Built() const { return program_ != 0; }
    void Destroy();
    // Draws `frame` (frameWidth x frameHeight, top row first) into `target`
    // (rows counted from the top) of the window's default framebuffer of
    // windowWidth x windowHeight. Leaves program, vertex array, texture,
    // sampler, viewport and blend, depth, cull and scissor state changed.
    void Draw(GLuint frame, int frameWidth, int frameHeight, const win32_native::FrameRect& target,
              int windowWidth, int windowHeight);

private:
    GLuint program_ = 0;
    GLuint vao_ = 0;
    GLuint sampler_ = 0;
    GLint frameSize_ = -1;
    GLint scale_ = -1;
};

}  // namespace d3d9
