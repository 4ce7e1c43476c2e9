// The OpenGL back end. The device has checked every call and describes each
// draw; here it is mapped onto OpenGL once. Rows are OpenGL's (counted
// upwards) in every render target: viewports, scissors and cleared rectangles
// turn their rows over, and so do the CPU's copies of the back buffer; the
// programs map Direct3D's clip space and pixel centres. Where the window's
// swap keeps its back buffer (tried when the device is made), the window's own
// back buffer is the device's and Present is a swap. Elsewhere (no window, a
// window of another size or format, a swap that loses the pixels) the back
// buffer is an offscreen target that Present copies into the window, or draws
// scaled for a full screen of another size.
#include <epoxy/gl.h>

#include <SDL.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "backend.h"
#include "formats.h"
#include "gl_context.h"
#include "gl_enums.h"
#include "gl_pipeline.h"
#include "gl_scaled_present.h"
#include "gl_state.h"
#include "native.h"
#include "pixel_store.h"
#include "seams.h"

namespace d3d9 {

namespace {

struct GlBuffer {
    GLuint id = 0;
    uint64_t generation = 0;
};

struct GlPixelFormat {
    GLint internal;
    GLenum format;
    GLenum type;
    GLint swizzle[4];
};

// A device texture's storage, which textures made alike may share (`users`
// of the id) until one of them is written.
struct GlTexture {
    GLuint id = 0;
    GlPixelFormat pixels = {};
    UINT bytesPerPixel = 0;
    UINT width = 0, height = 0, levels = 0;
};


bool PixelFormatOf(D3DFORMAT f, GlPixelFormat* out) {
    const GLint rgba[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    const GLint rgb1[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ONE};
    auto set = [out](GLint internal, GLenum format, GLenum type, const GLint* swizzle) {
        out->internal = internal;
        out->format = format;
        out->type = type;
        std::memcpy(out->swizzle, swizzle, sizeof out->swizzle);
        return true;
    };
    switch (f) {
        case D3DFMT_A8R8G8B8: return set(GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, rgba);
        case D3DFMT_X8R8G8B8: return set(GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, rgb1);
        case D3DFMT_A8B8G8R8: return set(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        case D3DFMT_X8B8G8R8: return set(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, rgb1);
        case D3DFMT_R5G6B5: return set(GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, rgb1);
        case D3DFMT_A1R5G5B5: return set(GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, rgba);
        case D3DFMT_X1R5G5B5: return set(GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, rgb1);
        case D3DFMT_A4R4G4B4: return set(GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, rgba);
        case D3DFMT_X4R4G4B4: return set(GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, rgb1);
        case D3DFMT_A8: {
            // Alpha only: colour reads as black, as the platform does.
            const GLint s[4] = {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED};
            return set(GL_R8, GL_RED, GL_UNSIGNED_BYTE, s);
        }
        case D3DFMT_L8: {
            const GLint s[4] = {GL_RED, GL_RED, GL_RED, GL_ONE};
            return set(GL_R8, GL_RED, GL_UNSIGNED_BYTE, s);
        }
        case D3DFMT_A8L8: {
            const GLint s[4] = {GL_RED, GL_RED, GL_RED, GL_GREEN};
            return set(GL_RG8, GL_RG, GL_UNSIGNED_BYTE, s);
        }
        default: return false;
    }
}

bool AttributeFormat(D3DDECLTYPE t, GLint* size, GLenum* type, GLboolean* normalized) {
    *normalized = GL_FALSE;
    switch (t) {
        case D3DDECLTYPE_FLOAT1: *size = 1; *type = GL_FLOAT; return true;
        case D3DDECLTYPE_FLOAT2: *size = 2; *type = GL_FLOAT; return true;
        case D3DDECLTYPE_FLOAT3: *size = 3; *type = GL_FLOAT; return true;
        case D3DDECLTYPE_FLOAT4: *size = 4; *type = GL_FLOAT; return true;
        case D3DDECLTYPE_D3DCOLOR: *size = GL_BGRA; *type = GL_UNSIGNED_BYTE; *normalized = GL_TRUE; return true;
        case D3DDECLTYPE_UBYTE4: *size = 4; *type = GL_UNSIGNED_BYTE; return true;
        case D3DDECLTYPE_UBYTE4N: *size = 4; *type = GL_UNSIGNED_BYTE; *normalized = GL_TRUE; return true;
        case D3DDECLTYPE_SHORT2: *size = 2; *type = GL_SHORT; return true;
        case D3DDECLTYPE_SHORT4: *size = 4; *type = GL_SHORT; return true;
        case D3DDECLTYPE_SHORT2N: *size = 2; *type = GL_SHORT; *normalized = GL_TRUE; return true;
        case D3DDECLTYPE_SHORT4N: *size = 4; *type = GL_SHORT; *normalized = GL_TRUE; return true;
        case D3DDECLTYPE_USHORT2N: *size = 2; *type = GL_UNSIGNED_SHORT; *normalized = GL_TRUE; return true;
        case D3DDECLTYPE_USHORT4N: *size = 4; *type = GL_UNSIGNED_SHORT; *normalized = GL_TRUE; return true;
        case D3DDECLTYPE_FLOAT16_2: *size = 2; *type = GL_HALF_FLOAT; return true;
        case D3DDECLTYPE_FLOAT16_4: *size = 4; *type = GL_HALF_FLOAT; return true;
        default: return false;
    }
}

void ColorFloats(D3DCOLOR c, GLfloat out[4]) {
    out[0] = ((c >> 16) & 0xFF) / 255.0f;
    out[1] = ((c >> 8) & 0xFF) / 255.0f;
    out[2] = (c & 0xFF) / 255.0f;
    out[3] = ((c >> 24) & 0xFF) / 255.0f;
}


// Bits of depth and stencil a depth format asks of the window's buffers.
int DepthBits(D3DFORMAT f) {
    switch (f) {
        case D3DFMT_D16:
        case D3DFMT_D16_LOCKABLE: return 16;
        case D3DFMT_D15S1: return 15;
        case D3DFMT_D32:
        case D3DFMT_D32F_LOCKABLE: return 32;
        default: return 24;
    }
}

void APIENTRY OnGlMessage(GLenum, GLenum type, GLuint, GLenum, GLsizei, const GLchar* message, const void*) {
    if (type != GL_DEBUG_TYPE_ERROR) return;
    std::fprintf(stderr, "OpenGL: %s\n", message);
    seams::GlError(message);
}

// The rows of `store` in the opposite order.
void TurnRowsOver(PixelStore& store) {
    const size_t pitch = static_cast<size_t>(store.Pitch());
    std::vector<uint8_t> row(pitch);
    for (UINT top = 0, bottom = store.Height() - 1; top < bottom; ++top, --bottom) {
        std::memcpy(row.data(), store.Row(top), pitch);
        std::memcpy(store.Row(top), store.Row(bottom), pitch);
        std::memcpy(store.Row(bottom), row.data(), pitch);
    }
}

class GlBackend final : public Backend {
public:
    GlBackend(HWND window, bool retained, std::unique_ptr<GlContext> context, const BackBufferDesc& desc)
        : window_(window), retained_(retained), context_(std::move(context)), desc_(desc) {}

    ~GlBackend() override {
        context_->MakeCurrent();
        for (auto& b : buffers_) glDeleteBuffers(1, &b.second.id);
        for (auto& storage : textureUsers_) glDeleteTextures(1, &storage.first);
        glDeleteBuffers(1, &streamVertices_);
        glDeleteBuffers(1, &streamIndices_);
        glDeleteVertexArrays(1, &vao_);
        glDeleteSamplers(1, &sampler_);
        if (fbo_) glDeleteFramebuffers(1, &fbo_);
        if (color_) glDeleteTextures(1, &color_);
        if (depth_) glDeleteRenderbuffers(1, &depth_);
        if (stagingFbo_) glDeleteFramebuffers(1, &stagingFbo_);
        if (staging_) glDeleteTextures(1, &staging_);
        programs_.Destroy();
        scaler_.Destroy();
        context_.reset();
        if (retained_) win32_native::ReleaseNative(window_);
    }

    bool Init(bool debug, std::string* error) {
        if (debug && (epoxy_gl_version() >= 43 || epoxy_has_gl_extension("GL_KHR_debug"))) {
            // Errors only, reported inside the call that made them.
            glEnable(GL_DEBUG_OUTPUT);
            glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
            glDebugMessageControl(GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE, 0, nullptr, GL_FALSE);
            glDebugMessageControl(GL_DONT_CARE, GL_DEBUG_TYPE_ERROR, GL_DONT_CARE, 0, nullptr, GL_TRUE);
            glDebugMessageCallback(OnGlMessage, nullptr);
        }
        glGenVertexArrays(1, &vao_);
        glGenBuffers(1, &streamVertices_);
        glGenBuffers(1, &streamIndices_);
        glGenSamplers(1, &sampler_);
        gl_.BindVertexArray(vao_);
        // Direct3D's front faces are clockwise on the screen, and no target
        // turns the picture over.
        glFrontFace(GL_CW);
        bool swapped = false;
        if (context_->HasWindow() && WindowTakesBackBuffer(&swapped)) {
            direct_ = true;
        } else if (!MakeOffscreen(error)) {
            return false;
        }
        // A new back buffer is black, as after a first clear.
        ClearCall clear;
        clear.rects.push_back(RECT{0, 0, static_cast<LONG>(desc_.width), static_cast<LONG>(desc_.height)});
        clear.flags = D3DCLEAR_TARGET | (desc_.depth ? D3DCLEAR_ZBUFFER : 0);
        clear.color = 0xFF000000;
        Clear(clear);
        if (glGetError() != GL_NO_ERROR) {
            *error = "OpenGL error while making the back buffer";
            return false;
        }
        // The screen turns black at once, as a new device's does, rather than
        // showing what was there before until the program's first frame.
        if (context_->HasWindow() && !swapped) Present();
        return true;
    }

    bool Draws() const override { return true; }
    bool Headless() const override { return !context_->HasWindow(); }
    bool PresentIsSwap() const override { return direct_; }

    void Clear(const ClearCall& call) override {
        context_->MakeCurrent();
        gl_.BindFramebuffer(Target());
        GLbitfield mask = 0;
        if (call.flags & D3DCLEAR_TARGET) {
            GLfloat c[4];
            ColorFloats(call.color, c);
            gl_.ClearColor(c);
            gl_.ColorMask(0xF);
            mask |= GL_COLOR_BUFFER_BIT;
        }
        if ((call.flags & D3DCLEAR_ZBUFFER) && desc_.depth) {
            gl_.ClearDepth(call.z);
            gl_.DepthMask(true);
            mask |= GL_DEPTH_BUFFER_BIT;
        }
        if ((call.flags & D3DCLEAR_STENCIL) && desc_.depth) {
            glClearStencil(static_cast<GLint>(call.stencil));
            glStencilMask(0xFFFFFFFF);
            mask |= GL_STENCIL_BUFFER_BIT;
        }
        if (!mask) return;
        for (const RECT& r : call.rects) {
            // The whole target without a scissor: the driver then clears by
            // marking its tiles, where a scissored clear draws every pixel.
            const bool whole = r.left == 0 && r.top == 0 && r.right == static_cast<LONG>(desc_.width) &&
                               r.bottom == static_cast<LONG>(desc_.height);
            gl_.Enable(GL_SCISSOR_TEST, !whole);
            if (!whole) gl_.Scissor(r.left, Row(r.bottom), r.right - r.left, r.bottom - r.top);
            glClear(mask);
        }
        Publish();
    }

    void Draw(const DrawCall& call) override {
        context_->MakeCurrent();
        GlProgram* program = programs_.For(call.program);
        if (!program) return;  // said when it failed
        gl_.BindFramebuffer(Target());
        gl_.BindVertexArray(vao_);
        gl_.UseProgram(program->Id());
        program->Apply(call.program, call.constants);
        ApplyRaster(call.raster);
        BindTexture(call.texture);
        if (call.shaded)
            BindShaded(*call.shaded);
        else
            BindAttributes(call);
        // Shaded vertices are numbered from the first one the shader ran on.
        const int64_t shift = call.shaded ? call.shadedFirst : 0;
        const GLenum mode = PrimitiveMode(call.type);
        if (call.indexed) {
            const IndexSource& ix = call.indices;
            if (ix.serial) {
                Upload(GL_ELEMENT_ARRAY_BUFFER, ix.serial, ix.generation, ix.data, ix.size);
            } else {
                gl_.BindElementBuffer(streamIndices_);
                glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(ix.size), ix.data, GL_STREAM_DRAW);
            }
            const uintptr_t offset = static_cast<uintptr_t>(call.first) * ix.indexSize;
            glDrawElementsBaseVertex(mode, static_cast<GLsizei>(call.count),
                                     ix.indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                     reinterpret_cast<const void*>(offset),
                                     static_cast<GLint>(call.baseVertex - shift));
        } else {
            glDrawArrays(mode, static_cast<GLint>(call.first - shift), static_cast<GLsizei>(call.count));
        }
        Publish();
    }

    void Present() override {
        context_->MakeCurrent();
        if (!context_->HasWindow()) {
            glFlush();
            return;
        }
        int w = 0, h = 0;
        context_->DrawableSize(&w, &h);
        if (w > 0 && h > 0) {
            const int fw = static_cast<int>(desc_.width), fh = static_cast<int>(desc_.height);
            // Full screen keeps the frame's shape on any display; a window's
            // client area takes the frame whatever its size.
            const win32_native::FrameRect target = win32_native::IsFullscreen(window_)
                                                       ? win32_native::FitFrame(fw, fh, w, h)
                                                       : win32_native::FrameRect{0, 0, w, h};
            const bool fits =
                w == fw && h == fh && target.x == 0 && target.y == 0 && target.width == fw && target.height == fh;
            if (direct_ && !fits) LeaveWindow();
            if (!direct_) {
                if (fits)
                    PresentUnscaled();
                else
                    PresentScaled(target, w, h);
                // The copy bound framebuffers, programs and states of its own.
                gl_.Invalidate();
            }
        }
        context_->Swap();
    }

    void ReadBackBuffer(PixelStore& into) override {
        context_->MakeCurrent();
        gl_.BindFramebuffer(Target());
        glReadBuffer(direct_ ? GL_BACK : GL_COLOR_ATTACHMENT0);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ROW_LENGTH, into.Pitch() / 4);
        glReadPixels(0, 0, static_cast<GLsizei>(into.Width()), static_cast<GLsizei>(into.Height()), GL_BGRA,
                     GL_UNSIGNED_BYTE, into.Data());
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        // The device's copy holds the top row first.
        TurnRowsOver(into);
    }

    void WriteBackBuffer(const PixelStore& from, const RECT& r) override {
        context_->MakeCurrent();
        const GLsizei w = r.right - r.left, h = r.bottom - r.top;
        if (!staging_) {
            glGenTextures(1, &staging_);
            glGenFramebuffers(1, &stagingFbo_);
        }
        // The rectangle goes up as it is (top row first) and is copied onto
        // the target turned over.
        gl_.BindTexture(staging_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, from.Pitch() / 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     from.Row(static_cast<UINT>(r.top)) + static_cast<size_t>(r.left) * 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, stagingFbo_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, staging_, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, Target());
        gl_.Enable(GL_SCISSOR_TEST, false);
        glBlitFramebuffer(0, 0, w, h, r.left, Row(r.top), r.right, Row(r.bottom), GL_COLOR_BUFFER_BIT, GL_NEAREST);
        gl_.ForgetFramebuffer();
    }

    bool CreateTexture(unsigned serial, D3DFORMAT format, UINT width, UINT height, UINT levels) override {
        GlTexture t;
        if (!PixelFormatOf(format, &t.pixels)) return false;
        context_->MakeCurrent();
        t.bytesPerPixel = BytesPerPixel(format);
        t.width = width;
        t.height = height;
        t.levels = levels;
        MakeStorage(&t);
        // A new texture holds zeros, as the device's own copy would. Pages of
        // calloc's zeros cost no memory until written.
        void* zeros = std::calloc(static_cast<size_t>(width) * height, t.bytesPerPixel);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        for (UINT i = 0; i < levels; ++i)
            glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), 0, 0, LevelSide(width, i), LevelSide(height, i),
                            t.pixels.format, t.pixels.type, zeros);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        std::free(zeros);
        textures_[serial] = t;
        Publish();
        return true;
    }

    bool ShareTexture(unsigned from, unsigned to) override {
        auto source = textures_.find(from), target = textures_.find(to);
        if (source == textures_.end() || target == textures_.end() || source == target) return false;
        context_->MakeCurrent();
        LetGo(target->second.id);
        target->second = source->second;
        ++textureUsers_[source->second.id];
        Publish();
        return true;
    }

    void WriteTexture(unsigned serial, UINT level, const PixelStore& from, const RECT& r) override {
        auto found = textures_.find(serial);
        if (found == textures_.end()) return;
        GlTexture& t = found->second;
        context_->MakeCurrent();
        if (textureUsers_[t.id] > 1) Unshare(&t);
        gl_.BindTexture(t.id);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, from.Pitch() / static_cast<GLint>(t.bytesPerPixel));
        glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), r.left, r.top, r.right - r.left, r.bottom - r.top,
                        t.pixels.format, t.pixels.type,
                        from.Row(static_cast<UINT>(r.top)) + static_cast<size_t>(r.left) * t.bytesPerPixel);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    }

    void ReadTexture(unsigned serial, UINT level, PixelStore& into) override {
        auto found = textures_.find(serial);
        if (found == textures_.end()) return;
        const GlTexture& t = found->second;
        context_->MakeCurrent();
        gl_.BindTexture(t.id);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, into.Pitch() / static_cast<GLint>(t.bytesPerPixel));
        glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(level), t.pixels.format, t.pixels.type, into.Data());
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
    }

    void Forget(unsigned serial) override {
        auto b = buffers_.find(serial);
        auto t = textures_.find(serial);
        if (b == buffers_.end() && t == textures_.end()) return;
        context_->MakeCurrent();
        if (b != buffers_.end()) {
            glDeleteBuffers(1, &b->second.id);
            buffers_.erase(b);
            // A name deleted is unbound; a new buffer may take it.
            gl_.Invalidate();
        }
        if (t != textures_.end()) {
            LetGo(t->second.id);
            textures_.erase(t);
            Publish();
        }
    }

private:
    static GLsizei LevelSide(UINT side, UINT level) { return static_cast<GLsizei>(side >> level ? side >> level : 1); }

    // Storage of the texture's size and format, bound; zeros not yet written.
    void MakeStorage(GlTexture* t) {
        glGenTextures(1, &t->id);
        textureUsers_[t->id] = 1;
        gl_.BindTexture(t->id);
        for (UINT i = 0; i < t->levels; ++i)
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), t->pixels.internal, LevelSide(t->width, i),
                         LevelSide(t->height, i), 0, t->pixels.format, t->pixels.type, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(t->levels - 1));
        glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, t->pixels.swizzle);
    }

    // One user fewer of a storage; the last one deletes it.
    void LetGo(GLuint id) {
        auto users = textureUsers_.find(id);
        if (users == textureUsers_.end() || --users->second > 0) return;
        textureUsers_.erase(users);
        glDeleteTextures(1, &id);
        gl_.ForgetTexture();
    }

    // A texture about to be written gets storage of its own, with the
    // pixels it shared.
    void Unshare(GlTexture* t) {
        const GLuint shared = t->id;
        MakeStorage(t);
        std::vector<uint8_t> level;
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        for (UINT i = 0; i < t->levels; ++i) {
            const GLsizei w = LevelSide(t->width, i), h = LevelSide(t->height, i);
            level.resize(static_cast<size_t>(w) * h * t->bytesPerPixel);
            gl_.BindTexture(shared);
            glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(i), t->pixels.format, t->pixels.type, level.data());
            gl_.BindTexture(t->id);
            glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), 0, 0, w, h, t->pixels.format, t->pixels.type,
                            level.data());
        }
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        LetGo(shared);
        Publish();
    }

    GLuint Target() const { return direct_ ? 0 : fbo_; }

    // The row, counted upwards as OpenGL does, of the edge between the
    // back buffer's rows y - 1 and y counted from the top.
    GLint Row(LONG y) const { return static_cast<GLint>(desc_.height) - y; }

    // Whether the window's own buffers can be the back buffer: its size, its
    // colour and depth formats, and a swap that keeps what was drawn. The
    // swap tried is the device's first, which shows a new device's black
    // screen: a red of 8/255 (black to the eye, and kept by 16-bit visuals
    // too) drawn, swapped and read back. `*swapped` says whether it swapped.
    bool WindowTakesBackBuffer(bool* swapped) {
        *swapped = false;
        int w = 0, h = 0;
        context_->DrawableSize(&w, &h);
        if (w != static_cast<int>(desc_.width) || h != static_cast<int>(desc_.height)) return false;
        gl_.BindFramebuffer(0);
        auto bits = [](GLenum attachment, GLenum what) {
            GLint type = GL_NONE;
            glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE,
                                                  &type);
            GLint n = 0;
            if (type != GL_NONE) glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, what, &n);
            return n;
        };
        // Alpha only where the format has it: without, destination alpha reads as one.
        const GLint alpha = bits(GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_ALPHA_SIZE);
        if (desc_.format == D3DFMT_A8R8G8B8 ? alpha < 8 : alpha != 0) return false;
        if (desc_.depth) {
            if (bits(GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE) < DepthBits(desc_.depthFormat)) return false;
            if (HasStencil(desc_.depthFormat) && bits(GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE) < 1)
                return false;
        }
        constexpr GLubyte kShade = 8;
        gl_.Enable(GL_SCISSOR_TEST, false);
        gl_.ColorMask(0xF);
        const GLfloat c[4] = {kShade / 255.0f, 0.0f, 0.0f, 1.0f};
        gl_.ClearColor(c);
        glClear(GL_COLOR_BUFFER_BIT);
        context_->Swap();
        *swapped = true;
        GLubyte pixel[4] = {};
        glReadBuffer(GL_BACK);
        glReadPixels(w / 2, h / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        return pixel[0] == kShade && !seams::FailPreservedSwap();
    }

    bool MakeOffscreen(std::string* error) {
        // Without alpha in the format, destination alpha reads as one.
        const bool alpha = desc_.format == D3DFMT_A8R8G8B8;
        glGenTextures(1, &color_);
        gl_.BindTexture(color_);
        glTexImage2D(GL_TEXTURE_2D, 0, alpha ? GL_RGBA8 : GL_RGB8, static_cast<GLsizei>(desc_.width),
                     static_cast<GLsizei>(desc_.height), 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glGenFramebuffers(1, &fbo_);
        gl_.BindFramebuffer(fbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color_, 0);
        if (desc_.depth) {
            const bool stencil = HasStencil(desc_.depthFormat);
            const bool d16 = DepthBits(desc_.depthFormat) <= 16;
            glGenRenderbuffers(1, &depth_);
            glBindRenderbuffer(GL_RENDERBUFFER, depth_);
            glRenderbufferStorage(GL_RENDERBUFFER,
                                  stencil ? GL_DEPTH24_STENCIL8 : d16 ? GL_DEPTH_COMPONENT16 : GL_DEPTH_COMPONENT24,
                                  static_cast<GLsizei>(desc_.width), static_cast<GLsizei>(desc_.height));
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                      GL_RENDERBUFFER, depth_);
        }
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            *error = "the back buffer cannot be made";
            return false;
        }
        direct_ = false;
        return true;
    }

    // The window no longer has the back buffer's size: from now on the back
    // buffer is offscreen, starting from what the window's buffer holds.
    void LeaveWindow() {
        std::string error;
        if (!MakeOffscreen(&error)) {
            std::fprintf(stderr, "Direct3D: %s\n", error.c_str());
            return;
        }
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo_);
        gl_.Enable(GL_SCISSOR_TEST, false);
        const GLint w = static_cast<GLint>(desc_.width), h = static_cast<GLint>(desc_.height);
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        gl_.ForgetFramebuffer();
    }

    // The offscreen back buffer copied into `target` of the window.
    void BlitInto(const win32_native::FrameRect& target, int windowHeight, GLenum filter) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        const GLint bottom = windowHeight - target.y - target.height;
        glBlitFramebuffer(0, 0, static_cast<GLint>(desc_.width), static_cast<GLint>(desc_.height), target.x, bottom,
                          target.x + target.width, bottom + target.height, GL_COLOR_BUFFER_BIT, filter);
    }

    void PresentUnscaled() {
        const int fw = static_cast<int>(desc_.width), fh = static_cast<int>(desc_.height);
        BlitInto(win32_native::FrameRect{0, 0, fw, fh}, fh, GL_NEAREST);
    }

    void PresentScaled(const win32_native::FrameRect& target, int windowWidth, int windowHeight) {
        if (!scaler_.Built() && !scalerFailed_) {
            std::string error;
            scalerFailed_ = !scaler_.Build(&error);
            if (scalerFailed_) std::fprintf(stderr, "Direct3D: scaled presentation: %s\n", error.c_str());
        }
        if (scalerFailed_) {
            // Still a picture, if a softer one.
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            glDisable(GL_SCISSOR_TEST);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            BlitInto(target, windowHeight, GL_LINEAR);
            return;
        }
        scaler_.Draw(color_, static_cast<int>(desc_.width), static_cast<int>(desc_.height), target, windowWidth,
                     windowHeight);
    }

    // The GL buffer of a device buffer, bound, uploaded when its content changed.
    GLuint Upload(GLenum target, unsigned serial, uint64_t generation, const uint8_t* data, size_t size) {
        GlBuffer& b = buffers_[serial];
        if (!b.id) glGenBuffers(1, &b.id);
        if (target == GL_ELEMENT_ARRAY_BUFFER)
            gl_.BindElementBuffer(b.id);
        else
            gl_.BindArrayBuffer(b.id);
        if (b.generation != generation) {
            glBufferData(target, static_cast<GLsizeiptr>(size), data, GL_DYNAMIC_DRAW);
            b.generation = generation;
        }
        return b.id;
    }

    void ApplyRaster(const RasterState& r) {
        const D3DVIEWPORT9& vp = r.viewport;
        gl_.Viewport(static_cast<GLint>(vp.X), Row(static_cast<LONG>(vp.Y + vp.Height)),
                     static_cast<GLsizei>(vp.Width), static_cast<GLsizei>(vp.Height));
        gl_.DepthRange(vp.MinZ, vp.MaxZ);

        gl_.Enable(GL_BLEND, r.blend);
        if (r.blend) {
            bool constant = false;
            GLenum src, dst, srcAlpha, dstAlpha;
            BlendFactors(r.srcBlend, r.destBlend, &src, &dst, &constant);
            GLenum op = BlendOp(r.blendOp), opAlpha = op;
            if (r.separateAlpha) {
                BlendFactors(r.srcBlendAlpha, r.destBlendAlpha, &srcAlpha, &dstAlpha, &constant);
                opAlpha = BlendOp(r.blendOpAlpha);
            } else {
                srcAlpha = src;
                dstAlpha = dst;
            }
            gl_.BlendFunc(src, dst, srcAlpha, dstAlpha);
            gl_.BlendEquation(op, opAlpha);
            if (constant) {
                GLfloat c[4];
                ColorFloats(r.blendFactor, c);
                gl_.BlendColor(c);
            }
        }
        gl_.Enable(GL_DEPTH_TEST, r.depthTest);
        if (r.depthTest) {
            gl_.DepthFunc(CompareFunc(r.depthFunc));
            gl_.DepthMask(r.depthWrite);
        }
        gl_.Enable(GL_CULL_FACE, r.cull == D3DCULL_CW || r.cull == D3DCULL_CCW);
        if (r.cull == D3DCULL_CW)
            gl_.CullFace(GL_FRONT);
        else if (r.cull == D3DCULL_CCW)
            gl_.CullFace(GL_BACK);
        gl_.PolygonMode(r.fill == D3DFILL_POINT ? GL_POINT : r.fill == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
        gl_.ColorMask(r.colorWrite);
        gl_.Enable(GL_SCISSOR_TEST, r.scissorTest);
        if (r.scissorTest) {
            const RECT& s = r.scissor;
            const LONG w = s.right > s.left ? s.right - s.left : 0, h = s.bottom > s.top ? s.bottom - s.top : 0;
            gl_.Scissor(s.left, Row(s.top + h), w, h);
        }
    }

    void BindTexture(const TextureBinding& t) {
        if (!t.serial) return;  // the program reads no texture
        auto found = textures_.find(t.serial);
        gl_.BindTexture(found != textures_.end() ? found->second.id : 0);
        GLfloat border[4];
        ColorFloats(t.border, border);
        gl_.Sampler(sampler_, MinFilter(t.minFilter, t.mipFilter, t.levels), MagFilter(t.magFilter),
                    AddressMode(t.addressU), AddressMode(t.addressV), border);
    }

    void BindAttributes(const DrawCall& call) {
        static const GLfloat defaults[kAttrCount][4] = {
            {0, 0, 0, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 1}};
        const VertexElement* elements[kAttrCount] = {};
        const VertexLayout& layout = *call.layout;
        elements[kAttrPosition] = layout.Find(layout.pretransformed ? D3DDECLUSAGE_POSITIONT : D3DDECLUSAGE_POSITION, 0);
        elements[kAttrNormal] = layout.Find(D3DDECLUSAGE_NORMAL, 0);
        elements[kAttrDiffuse] = layout.Find(D3DDECLUSAGE_COLOR, 0);
        elements[kAttrSpecular] = layout.Find(D3DDECLUSAGE_COLOR, 1);
        elements[kAttrTexCoord] = layout.Find(D3DDECLUSAGE_TEXCOORD, call.texCoordIndex);

        GLuint streamBuffer[kMaxStreams] = {};
        for (GLuint a = 0; a < kAttrCount; ++a) {
            const VertexElement* e = elements[a];
            GLint size;
            GLenum type;
            GLboolean normalized;
            if (!e || !AttributeFormat(e->type, &size, &type, &normalized)) {
                gl_.AttributeConstant(a, defaults[a]);
                continue;
            }
            const StreamSource& src = call.streams[e->stream];
            if (!streamBuffer[e->stream]) {
                if (src.serial) {
                    streamBuffer[e->stream] = Upload(GL_ARRAY_BUFFER, src.serial, src.generation, src.data, src.size);
                } else {
                    gl_.BindArrayBuffer(streamVertices_);
                    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(src.size), src.data, GL_STREAM_DRAW);
                    streamBuffer[e->stream] = streamVertices_;
                }
            }
            gl_.Attribute(a, streamBuffer[e->stream], size, type, normalized, static_cast<GLsizei>(src.stride),
                          static_cast<uintptr_t>(src.offset) + e->offset);
        }
    }

    // The shaded vertices as attributes: clip position, both colours and the
    // first texture coordinates, all four floats.
    void BindShaded(const std::vector<ShadedVertex>& vertices) {
        gl_.BindArrayBuffer(streamVertices_);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(ShadedVertex)),
                     vertices.data(), GL_STREAM_DRAW);
        const struct {
            GLuint attribute;
            size_t offset;
        } bound[] = {{kAttrPosition, offsetof(ShadedVertex, position)},
                     {kAttrDiffuse, offsetof(ShadedVertex, diffuse)},
                     {kAttrSpecular, offsetof(ShadedVertex, specular)},
                     {kAttrTexCoord, offsetof(ShadedVertex, texCoord)}};
        for (const auto& b : bound)
            gl_.Attribute(b.attribute, streamVertices_, 4, GL_FLOAT, GL_FALSE, sizeof(ShadedVertex), b.offset);
        static const GLfloat zero[4] = {0, 0, 0, 0};
        gl_.AttributeConstant(kAttrNormal, zero);
    }

    // The counts tests read.
    void Publish() {
        platform_testing::D3D9GlCounters& c = seams::GlCounters();
        c.stateChanges = gl_.Changes();
        c.stateSkipped = gl_.Skipped();
        c.textures = static_cast<unsigned>(textureUsers_.size());
    }

    HWND window_;
    bool retained_;
    std::unique_ptr<GlContext> context_;
    BackBufferDesc desc_;
    GlState gl_;
    GlPrograms programs_;
    GlScaledPresent scaler_;
    bool scalerFailed_ = false;
    bool direct_ = false;  // the window's back buffer is the device's
    GLuint fbo_ = 0;
    GLuint color_ = 0;
    GLuint depth_ = 0;
    GLuint staging_ = 0;
    GLuint stagingFbo_ = 0;
    GLuint vao_ = 0;
    GLuint sampler_ = 0;
    GLuint streamVertices_ = 0;
    GLuint streamIndices_ = 0;
    std::unordered_map<unsigned, GlBuffer> buffers_;
    std::unordered_map<unsigned, GlTexture> textures_;
    std::unordered_map<GLuint, unsigned> textureUsers_;  // storage -> textures sharing it
};

}  // namespace

std::unique_ptr<Backend> CreateGlBackend(const GlBackendConfig& config, std::string* error) {
    SDL_Window* window = nullptr;
    if (config.window && !config.headless) window = win32_native::SdlWindow(config.window);
#ifdef BRANTO_GL_DEBUG
    const bool debug = true;
#else
    const bool debug = seams::GlDebug();
#endif
    std::unique_ptr<GlContext> context;
    if (window) {
        context = GlContext::OnWindow(window, debug, error);
    } else {
        context = GlContext::Headless(debug, error);
    }
    if (!context) return nullptr;
    const bool retained = window != nullptr;
    if (retained) win32_native::RetainNative(config.window);
    auto backend = std::make_unique<GlBackend>(config.window, retained, std::move(context), config.backBuffer);
    if (!backend->Init(debug, error)) return nullptr;
    return backend;
}

}  // namespace d3d9
