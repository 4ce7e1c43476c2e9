#include "gl_context.h"

#include <SDL.h>
#include <epoxy/egl.h>
#include <epoxy/gl.h>

namespace d3d9 {

namespace {

// The context made current last, so that switching costs nothing when only
// one device exists.
GlContext* g_current = nullptr;

class SdlContext final : public GlContext {
public:
    SdlContext(SDL_Window* window, SDL_GLContext context) : window_(window), context_(context) {}
    ~SdlContext() override {
        if (g_current == this) g_current = nullptr;
        SDL_GL_MakeCurrent(window_, nullptr);
        SDL_GL_DeleteContext(context_);
    }
    void MakeCurrent() override {
        if (g_current == this) return;
        SDL_GL_MakeCurrent(window_, context_);
        g_current = this;
    }
    void Swap() override { SDL_GL_SwapWindow(window_); }
    bool HasWindow() const override { return true; }
    void DrawableSize(int* width, int* height) override { SDL_GL_GetDrawableSize(window_, width, height); }

private:
    SDL_Window* window_;
    SDL_GLContext context_;
};

class EglContext final : public GlContext {
public:
    EglContext(EGLDisplay display, EGLContext context) : display_(display), context_(context) {}
    ~EglContext() override {
        if (g_current == this) g_current = nullptr;
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display_, context_);
        // The display stays initialised: other devices may share it.
    }
    void MakeCurrent() override {
        if (g_current == this) return;
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
        g_current = this;
    }
    void Swap() override {}
    bool HasWindow() const override { return false; }
    void DrawableSize(int* width, int* height) override { *width = *height = 0; }

private:
    EGLDisplay display_;
    EGLContext context_;
};

bool Version33(std::string* error) {
    if (epoxy_gl_version() < 33) {
        *error = "OpenGL 3.3 is not available";
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<GlContext> GlContext::OnWindow(SDL_Window* window, bool debug, std::string* error) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, debug ? SDL_GL_CONTEXT_DEBUG_FLAG : 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        *error = std::string("SDL_GL_CreateContext: ") + SDL_GetError();
        return nullptr;
    }
    auto result = std::make_unique<SdlContext>(window, context);
    g_current = nullptr;
    result->MakeCurrent();
    // Present never waits for the retrace.
    SDL_GL_SetSwapInterval(0);
    if (!Version33(error)) return nullptr;
    return result;
}

std::unique_ptr<GlContext> GlContext::Headless(bool debug, std::string* error) {
    // Only the client-extension entry point works before a display exists.
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_platform_base") ||
        !epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless")) {
        *error = "EGL has no surfaceless platform";
        return nullptr;
    }
    static EGLDisplay display = EGL_NO_DISPLAY;
    if (display == EGL_NO_DISPLAY) {
        EGLDisplay d = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0, minor = 0;
        if (d == EGL_NO_DISPLAY || !eglInitialize(d, &major, &minor)) {
            *error = "eglInitialize failed";
            return nullptr;
        }
        display = d;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        *error = "eglBindAPI(EGL_OPENGL_API) failed";
        return nullptr;
    }
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, 0, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
        *error = "no EGL config for OpenGL";
        return nullptr;
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                        3,
                                        EGL_CONTEXT_MINOR_VERSION,
                                        3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_CONTEXT_FLAGS_KHR,
                                        debug ? EGL_CONTEXT_OPENGL_DEBUG_BIT_KHR : 0,
                                        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        *error = "eglCreateContext failed";
        return nullptr;
    }
    auto result = std::make_unique<EglContext>(display, context);
    g_current = nullptr;
    result->MakeCurrent();
    if (!Version33(error)) return nullptr;
    return result;
}

}  // namespace d3d9
