// An OpenGL 3.3 core context: on an SDL window, or headless (EGL without any
// surface) for devices that have no native window.
#pragma once

#include <memory>
#include <string>

struct SDL_Window;

namespace d3d9 {

class GlContext {
public:
    virtual ~GlContext() = default;
    virtual void MakeCurrent() = 0;
    // Shows the default framebuffer of the window; nothing when headless.
    virtual void Swap() = 0;
    virtual bool HasWindow() const = 0;
    // Size of the window's default framebuffer in pixels.
    virtual void DrawableSize(int* width, int* height) = 0;

    // `debug`: a debug context, whose driver checks and reports more.
    static std::unique_ptr<GlContext> OnWindow(SDL_Window* window, bool debug, std::string* error);
    static std::unique_ptr<GlContext> Headless(bool debug, std::string* error);
};

}  // namespace d3d9
