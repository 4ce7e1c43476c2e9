// The OpenGL back end. The device has checked every call; here the state is
// mapped once onto OpenGL: the back buffer is an FBO stored top row first (so
// viewports, scissors and read-backs use Direct3D's coordinates unchanged), the
// shader maps Direct3D's clip space, and Present blits the FBO to the window
// (or draws it scaled, when the window is not the back buffer's size).
#include <epoxy/gl.h>

#include <SDL.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "backend.h"
#include "formats.h"
#include "gl_context.h"
#include "gl_pipeline.h"
#include "gl_scaled_present.h"
#include "native.h"
#include "objects.h"

namespace d3d9 {

namespace {

struct GlBuffer {
    GLuint id = 0;
    uint64_t generation = 0;
};

struct GlTexture {
    GLuint id = 0;
    uint64_t generation = 0;
};

struct GlPixelFormat {
    GLint internal;
    GLenum format;
    GLenum type;
    GLint swizzle[4];
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

GLenum BlendFactor(DWORD b, bool* constant) {
    switch (b) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        case D3DBLEND_BLENDFACTOR: *constant = true; return GL_CONSTANT_COLOR;
        case D3DBLEND_INVBLENDFACTOR: *constant = true; return GL_ONE_MINUS_CONSTANT_COLOR;
        default: return GL_ONE;
    }
}

// The pair of factors, with the two that also choose the destination's.
void BlendFactors(DWORD src, DWORD dst, GLenum* s, GLenum* d, bool* constant) {
    if (src == D3DBLEND_BOTHSRCALPHA) {
        *s = GL_SRC_ALPHA;
        *d = GL_ONE_MINUS_SRC_ALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
        *s = GL_ONE_MINUS_SRC_ALPHA;
        *d = GL_SRC_ALPHA;
    } else {
        *s = BlendFactor(src, constant);
        *d = BlendFactor(dst, constant);
    }
}

GLenum BlendOp(DWORD op) {
    switch (op) {
        case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
        case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
        case D3DBLENDOP_MIN: return GL_MIN;
        case D3DBLENDOP_MAX: return GL_MAX;
        default: return GL_FUNC_ADD;
    }
}

GLenum CompareFunc(DWORD f) {
    if (f < D3DCMP_NEVER || f > D3DCMP_ALWAYS) return GL_ALWAYS;
    return GL_NEVER + (f - D3DCMP_NEVER);  // same order in both
}

GLint AddressMode(DWORD a) {
    switch (a) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP:
        case D3DTADDRESS_MIRRORONCE: return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        default: return GL_REPEAT;
    }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE t) {
    switch (t) {
        case D3DPT_POINTLIST: return GL_POINTS;
        case D3DPT_LINELIST: return GL_LINES;
        case D3DPT_LINESTRIP: return GL_LINE_STRIP;
        case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
        case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
        default: return GL_TRIANGLES;
    }
}

void ColorFloats(D3DCOLOR c, GLfloat out[4]) {
    out[0] = ((c >> 16) & 0xFF) / 255.0f;
    out[1] = ((c >> 8) & 0xFF) / 255.0f;
    out[2] = (c & 0xFF) / 255.0f;
    out[3] = ((c >> 24) & 0xFF) / 255.0f;
}

void Uniform(GLint location, const D3DCOLORVALUE& c) { glUniform4f(location, c.r, c.g, c.b, c.a); }

// Row-vector product a x b.
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

class GlBackend final : public Backend {
public:
    GlBackend(HWND window, bool retained, std::unique_ptr<GlContext> context, const BackBufferDesc& desc)
        : window_(window), retained_(retained), context_(std::move(context)), desc_(desc) {}

    ~GlBackend() override {
        context_->MakeCurrent();
        for (auto& b : buffers_) glDeleteBuffers(1, &b.second.id);
        for (auto& t : textures_) glDeleteTextures(1, &t.second.id);
        glDeleteBuffers(1, &streamVertices_);
        glDeleteBuffers(1, &streamIndices_);
        glDeleteVertexArrays(1, &vao_);
        glDeleteSamplers(1, &sampler_);
        glDeleteFramebuffers(1, &fbo_);
        glDeleteTextures(1, &color_);
        if (depth_) glDeleteRenderbuffers(1, &depth_);
        pipeline_.Destroy();
        scaler_.Destroy();
        context_.reset();
        if (retained_) win32_native::ReleaseNative(window_);
    }

    bool Init(std::string* error) {
        if (!pipeline_.Build(error)) return false;
        // Without alpha in the format, destination alpha reads as one.
        const bool alpha = desc_.format == D3DFMT_A8R8G8B8;
        glGenTextures(1, &color_);
        glBindTexture(GL_TEXTURE_2D, color_);
        glTexImage2D(GL_TEXTURE_2D, 0, alpha ? GL_RGBA8 : GL_RGB8, static_cast<GLsizei>(desc_.width),
                     static_cast<GLsizei>(desc_.height), 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glGenFramebuffers(1, &fbo_);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color_, 0);
        if (desc_.depth) {
            const bool stencil = HasStencil(desc_.depthFormat);
            const bool d16 = desc_.depthFormat == D3DFMT_D16 || desc_.depthFormat == D3DFMT_D16_LOCKABLE;
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
        glGenVertexArrays(1, &vao_);
        glBindVertexArray(vao_);
        glGenBuffers(1, &streamVertices_);
        glGenBuffers(1, &streamIndices_);
        glGenSamplers(1, &sampler_);
        glBindSampler(0, sampler_);
        glFrontFace(GL_CCW);  // clockwise on Direct3D's screen, rows now counted from the top
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
        return true;
    }

    bool Draws() const override { return true; }
    bool Headless() const override { return !context_->HasWindow(); }

    void Clear(const ClearCall& call) override {
        context_->MakeCurrent();
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        GLbitfield mask = 0;
        if (call.flags & D3DCLEAR_TARGET) {
            GLfloat c[4];
            ColorFloats(call.color, c);
            glClearColor(c[0], c[1], c[2], c[3]);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            mask |= GL_COLOR_BUFFER_BIT;
        }
        if ((call.flags & D3DCLEAR_ZBUFFER) && depth_) {
            glClearDepth(call.z);
            glDepthMask(GL_TRUE);
            mask |= GL_DEPTH_BUFFER_BIT;
        }
        if ((call.flags & D3DCLEAR_STENCIL) && depth_) {
            glClearStencil(static_cast<GLint>(call.stencil));
            glStencilMask(0xFFFFFFFF);
            mask |= GL_STENCIL_BUFFER_BIT;
        }
        if (!mask) return;
        glEnable(GL_SCISSOR_TEST);
        for (const RECT& r : call.rects) {
            glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
            glClear(mask);
        }
    }

    void Draw(const DrawCall& call) override {
        context_->MakeCurrent();
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        glUseProgram(pipeline_.program);
        glBindVertexArray(vao_);
        const DeviceState& s = *call.state;
        // Vertices a shader ran on are already in clip space: drawn through
        // the transform step with an identity matrix and no lighting.
        const bool shaded = call.shaded != nullptr;
        ApplyState(s, shaded ? ShadedLayout() : *call.layout, shaded);
        if (shaded)
            BindShaded(*call.shaded);
        else
            BindAttributes(call, s);
        // Shaded vertices are numbered from the first one the shader ran on.
        const int64_t shift = shaded ? call.shadedFirst : 0;
        const GLenum mode = PrimitiveMode(call.type);
        if (call.indexed) {
            const IndexSource& ix = call.indices;
            if (ix.serial) {
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, Upload(GL_ELEMENT_ARRAY_BUFFER, ix.serial, ix.generation,
                                                             ix.data, ix.size));
            } else {
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, streamIndices_);
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
            if (w == fw && h == fh && target.x == 0 && target.y == 0 && target.width == fw && target.height == fh)
                PresentUnscaled();
            else
                PresentScaled(target, w, h);
            glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        }
        context_->Swap();
    }

    void ReadBackBuffer(PixelStore& into) override {
        context_->MakeCurrent();
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ROW_LENGTH, into.Pitch() / 4);
        glReadPixels(0, 0, static_cast<GLsizei>(into.Width()), static_cast<GLsizei>(into.Height()), GL_BGRA,
                     GL_UNSIGNED_BYTE, into.Data());
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    }

    void WriteBackBuffer(const PixelStore& from, const RECT& r) override {
        context_->MakeCurrent();
        glBindTexture(GL_TEXTURE_2D, color_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, from.Pitch() / 4);
        glTexSubImage2D(GL_TEXTURE_2D, 0, r.left, r.top, r.right - r.left, r.bottom - r.top, GL_BGRA,
                        GL_UNSIGNED_BYTE, from.Row(static_cast<UINT>(r.top)) + static_cast<size_t>(r.left) * 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }

    void Forget(unsigned serial) override {
        auto b = buffers_.find(serial);
        auto t = textures_.find(serial);
        if (b == buffers_.end() && t == textures_.end()) return;
        context_->MakeCurrent();
        if (b != buffers_.end()) {
            glDeleteBuffers(1, &b->second.id);
            buffers_.erase(b);
        }
        if (t != textures_.end()) {
            glDeleteTextures(1, &t->second.id);
            textures_.erase(t);
        }
    }

private:
    void PresentUnscaled() {
        const int fw = static_cast<int>(desc_.width), fh = static_cast<int>(desc_.height);
        BlitInto(win32_native::FrameRect{0, 0, fw, fh}, fh, GL_NEAREST);
    }

    // The FBO copied into `target` of the window, flipped: the FBO holds the
    // top row first.
    void BlitInto(const win32_native::FrameRect& target, int windowHeight, GLenum filter) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        const GLint top = windowHeight - target.y;
        glBlitFramebuffer(0, 0, static_cast<GLint>(desc_.width), static_cast<GLint>(desc_.height), target.x, top,
                          target.x + target.width, top - target.height, GL_COLOR_BUFFER_BIT, filter);
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
        // Draws bind their own program, vertex array and state; the sampler
        // is bound once.
        glBindSampler(0, sampler_);
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    // The GL buffer of a device buffer, uploaded when its content changed.
    GLuint Upload(GLenum target, unsigned serial, uint64_t generation, const uint8_t* data, size_t size) {
        GlBuffer& b = buffers_[serial];
        if (!b.id) glGenBuffers(1, &b.id);
        glBindBuffer(target, b.id);
        if (b.generation != generation) {
            glBufferData(target, static_cast<GLsizeiptr>(size), data, GL_DYNAMIC_DRAW);
            b.generation = generation;
        }
        return b.id;
    }

    GLuint TextureFor(Texture& texture) {
        GlTexture& t = textures_[texture.Serial()];
        if (!t.id) glGenTextures(1, &t.id);
        glBindTexture(GL_TEXTURE_2D, t.id);
        if (t.generation == texture.Generation()) return t.id;
        t.generation = texture.Generation();
        GlPixelFormat f;
        if (!PixelFormatOf(texture.Format(), &f)) return t.id;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        for (UINT i = 0; i < texture.Levels(); ++i) {
            const PixelStore& level = texture.Level(i);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, level.Pitch() / static_cast<GLint>(level.BytesPerPixel()));
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), f.internal, static_cast<GLsizei>(level.Width()),
                         static_cast<GLsizei>(level.Height()), 0, f.format, f.type, level.Data());
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(texture.Levels() - 1));
        glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle);
        return t.id;
    }

    void ApplyState(const DeviceState& s, const VertexLayout& layout, bool shaded) {
        const DWORD* rs = s.render;
        const D3DVIEWPORT9& vp = s.viewport;
        glViewport(static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLsizei>(vp.Width),
                   static_cast<GLsizei>(vp.Height));
        glDepthRange(vp.MinZ, vp.MaxZ);
        glUniform4f(pipeline_.viewport, static_cast<float>(vp.X), static_cast<float>(vp.Y),
                    static_cast<float>(vp.Width), static_cast<float>(vp.Height));

        const bool pretransformed = layout.pretransformed;
        glUniform1i(pipeline_.pretransformed, pretransformed);
        if (shaded) {
            static const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
            glUniformMatrix4fv(pipeline_.worldViewProj, 1, GL_FALSE, &identity.m[0][0]);
        } else if (!pretransformed) {
            const D3DMATRIX wvp = Multiply(Multiply(s.transforms[10], s.transforms[0]), s.transforms[1]);
            glUniformMatrix4fv(pipeline_.worldViewProj, 1, GL_FALSE, &wvp.m[0][0]);
        }

        // Lighting and where the material colours come from.
        glUniform1i(pipeline_.lighting, rs[D3DRS_LIGHTING] != 0 && !pretransformed && !shaded);
        GLfloat ambient[4];
        ColorFloats(rs[D3DRS_AMBIENT], ambient);
        glUniform4fv(pipeline_.ambient, 1, ambient);
        Uniform(pipeline_.matDiffuse, s.material.Diffuse);
        Uniform(pipeline_.matAmbient, s.material.Ambient);
        Uniform(pipeline_.matEmissive, s.material.Emissive);
        const bool colorVertex = rs[D3DRS_COLORVERTEX] != 0;
        const bool hasDiffuse = layout.Find(D3DDECLUSAGE_COLOR, 0) != nullptr;
        const bool hasSpecular = layout.Find(D3DDECLUSAGE_COLOR, 1) != nullptr;
        auto source = [&](DWORD which) {
            if (!colorVertex) return 0;
            if (which == D3DMCS_COLOR1 && hasDiffuse) return 1;
            if (which == D3DMCS_COLOR2 && hasSpecular) return 2;
            return 0;
        };
        glUniform1i(pipeline_.diffuseSource, source(rs[D3DRS_DIFFUSEMATERIALSOURCE]));
        glUniform1i(pipeline_.ambientSource, source(rs[D3DRS_AMBIENTMATERIALSOURCE]));
        glUniform1i(pipeline_.emissiveSource, source(rs[D3DRS_EMISSIVEMATERIALSOURCE]));

        // Texture stage 0 (later stages are not used by the program).
        const DWORD* stage = s.stage[0];
        Texture* texture = s.textures[0].get();
        glActiveTexture(GL_TEXTURE0);
        GLint levels = 1;
        if (texture) {
            TextureFor(*texture);
            levels = static_cast<GLint>(texture->Levels());
        }
        glUniform1i(pipeline_.hasTexture, texture != nullptr);
        glUniform1i(pipeline_.colorOp, static_cast<GLint>(stage[D3DTSS_COLOROP]));
        glUniform1i(pipeline_.alphaOp, static_cast<GLint>(stage[D3DTSS_ALPHAOP]));
        glUniform3i(pipeline_.colorArgs, static_cast<GLint>(stage[D3DTSS_COLORARG1]),
                    static_cast<GLint>(stage[D3DTSS_COLORARG2]), static_cast<GLint>(stage[D3DTSS_COLORARG0]));
        glUniform3i(pipeline_.alphaArgs, static_cast<GLint>(stage[D3DTSS_ALPHAARG1]),
                    static_cast<GLint>(stage[D3DTSS_ALPHAARG2]), static_cast<GLint>(stage[D3DTSS_ALPHAARG0]));
        GLfloat c[4];
        ColorFloats(rs[D3DRS_TEXTUREFACTOR], c);
        glUniform4fv(pipeline_.textureFactor, 1, c);
        ColorFloats(stage[D3DTSS_CONSTANT], c);
        glUniform4fv(pipeline_.stageConstant, 1, c);
        glUniform1i(pipeline_.specularEnable, rs[D3DRS_SPECULARENABLE] != 0);

        const DWORD* sm = s.sampler[0];
        const bool minLinear = sm[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
        GLint minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
        if (levels > 1 && sm[D3DSAMP_MIPFILTER] != D3DTEXF_NONE) {
            const bool mipLinear = sm[D3DSAMP_MIPFILTER] >= D3DTEXF_LINEAR;
            minFilter = minLinear ? (mipLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST)
                                  : (mipLinear ? GL_NEAREST_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
        }
        glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, minFilter);
        glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER,
                            sm[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, AddressMode(sm[D3DSAMP_ADDRESSU]));
        glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, AddressMode(sm[D3DSAMP_ADDRESSV]));
        ColorFloats(sm[D3DSAMP_BORDERCOLOR], c);
        glSamplerParameterfv(sampler_, GL_TEXTURE_BORDER_COLOR, c);

        glUniform1i(pipeline_.alphaFunc,
                    rs[D3DRS_ALPHATESTENABLE] ? static_cast<GLint>(rs[D3DRS_ALPHAFUNC]) : D3DCMP_ALWAYS);
        glUniform1f(pipeline_.alphaRef, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));

        if (rs[D3DRS_ALPHABLENDENABLE]) {
            bool constant = false;
            GLenum src, dst, srcAlpha, dstAlpha;
            BlendFactors(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND], &src, &dst, &constant);
            GLenum op = BlendOp(rs[D3DRS_BLENDOP]), opAlpha = op;
            if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
                BlendFactors(rs[D3DRS_SRCBLENDALPHA], rs[D3DRS_DESTBLENDALPHA], &srcAlpha, &dstAlpha, &constant);
                opAlpha = BlendOp(rs[D3DRS_BLENDOPALPHA]);
            } else {
                srcAlpha = src;
                dstAlpha = dst;
            }
            glEnable(GL_BLEND);
            glBlendFuncSeparate(src, dst, srcAlpha, dstAlpha);
            glBlendEquationSeparate(op, opAlpha);
            if (constant) {
                ColorFloats(rs[D3DRS_BLENDFACTOR], c);
                glBlendColor(c[0], c[1], c[2], c[3]);
            }
        } else {
            glDisable(GL_BLEND);
        }

        if (depth_ && rs[D3DRS_ZENABLE] != D3DZB_FALSE) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(CompareFunc(rs[D3DRS_ZFUNC]));
            glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
        } else {
            glDisable(GL_DEPTH_TEST);
        }

        switch (rs[D3DRS_CULLMODE]) {
            case D3DCULL_CW: glEnable(GL_CULL_FACE); glCullFace(GL_FRONT); break;
            case D3DCULL_CCW: glEnable(GL_CULL_FACE); glCullFace(GL_BACK); break;
            default: glDisable(GL_CULL_FACE); break;
        }
        glPolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                                         : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                                                   : GL_FILL);
        const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
        glColorMask(mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE, mask & 4 ? GL_TRUE : GL_FALSE,
                    mask & 8 ? GL_TRUE : GL_FALSE);
        if (rs[D3DRS_SCISSORTESTENABLE]) {
            const RECT& r = s.scissor;
            glEnable(GL_SCISSOR_TEST);
            glScissor(r.left, r.top, r.right > r.left ? r.right - r.left : 0, r.bottom > r.top ? r.bottom - r.top : 0);
        } else {
            glDisable(GL_SCISSOR_TEST);
        }
    }

    void BindAttributes(const DrawCall& call, const DeviceState& s) {
        static const GLfloat defaults[kAttrCount][4] = {
            {0, 0, 0, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 1}};
        const VertexElement* elements[kAttrCount] = {};
        const VertexLayout& layout = *call.layout;
        elements[kAttrPosition] = layout.Find(layout.pretransformed ? D3DDECLUSAGE_POSITIONT : D3DDECLUSAGE_POSITION, 0);
        elements[kAttrNormal] = layout.Find(D3DDECLUSAGE_NORMAL, 0);
        elements[kAttrDiffuse] = layout.Find(D3DDECLUSAGE_COLOR, 0);
        elements[kAttrSpecular] = layout.Find(D3DDECLUSAGE_COLOR, 1);
        elements[kAttrTexCoord] = layout.Find(D3DDECLUSAGE_TEXCOORD, s.stage[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF);

        GLuint streamBuffer[kMaxStreams] = {};
        for (GLuint a = 0; a < kAttrCount; ++a) {
            const VertexElement* e = elements[a];
            GLint size;
            GLenum type;
            GLboolean normalized;
            if (!e || !AttributeFormat(e->type, &size, &type, &normalized)) {
                glDisableVertexAttribArray(a);
                glVertexAttrib4fv(a, defaults[a]);
                continue;
            }
            const StreamSource& src = call.streams[e->stream];
            if (!streamBuffer[e->stream]) {
                if (src.serial) {
                    streamBuffer[e->stream] =
                        Upload(GL_ARRAY_BUFFER, src.serial, src.generation, src.data, src.size);
                } else {
                    glBindBuffer(GL_ARRAY_BUFFER, streamVertices_);
                    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(src.size), src.data, GL_STREAM_DRAW);
                    streamBuffer[e->stream] = streamVertices_;
                }
            }
            glBindBuffer(GL_ARRAY_BUFFER, streamBuffer[e->stream]);
            const uintptr_t offset = static_cast<uintptr_t>(src.offset) + e->offset;
            glVertexAttribPointer(a, size, type, normalized, static_cast<GLsizei>(src.stride),
                                  reinterpret_cast<const void*>(offset));
            glEnableVertexAttribArray(a);
        }
    }

    // The shaded vertices as attributes: clip position, both colours and the
    // first texture coordinates, all four floats.
    static const VertexLayout& ShadedLayout() {
        static const VertexLayout layout = [] {
            VertexLayout l;
            l.elements = {{0, offsetof(ShadedVertex, position), D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0},
                          {0, offsetof(ShadedVertex, diffuse), D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_COLOR, 0},
                          {0, offsetof(ShadedVertex, specular), D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_COLOR, 1},
                          {0, offsetof(ShadedVertex, texCoord), D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_TEXCOORD, 0}};
            l.streamExtent[0] = sizeof(ShadedVertex);
            l.streamMask = 1;
            l.hasPosition = true;
            return l;
        }();
        return layout;
    }

    void BindShaded(const std::vector<ShadedVertex>& vertices) {
        glBindBuffer(GL_ARRAY_BUFFER, streamVertices_);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(ShadedVertex)),
                     vertices.data(), GL_STREAM_DRAW);
        const struct {
            GLuint attribute;
            size_t offset;
        } bound[] = {{kAttrPosition, offsetof(ShadedVertex, position)},
                     {kAttrDiffuse, offsetof(ShadedVertex, diffuse)},
                     {kAttrSpecular, offsetof(ShadedVertex, specular)},
                     {kAttrTexCoord, offsetof(ShadedVertex, texCoord)}};
        for (const auto& b : bound) {
            glVertexAttribPointer(b.attribute, 4, GL_FLOAT, GL_FALSE, sizeof(ShadedVertex),
                                  reinterpret_cast<const void*>(b.offset));
            glEnableVertexAttribArray(b.attribute);
        }
        glDisableVertexAttribArray(kAttrNormal);
        glVertexAttrib4f(kAttrNormal, 0, 0, 0, 0);
    }

    HWND window_;
    bool retained_;
    std::unique_ptr<GlContext> context_;
    BackBufferDesc desc_;
    GlPipeline pipeline_;
    GlScaledPresent scaler_;
    bool scalerFailed_ = false;
    GLuint fbo_ = 0;
    GLuint color_ = 0;
    GLuint depth_ = 0;
    GLuint vao_ = 0;
    GLuint sampler_ = 0;
    GLuint streamVertices_ = 0;
    GLuint streamIndices_ = 0;
    std::unordered_map<unsigned, GlBuffer> buffers_;
    std::unordered_map<unsigned, GlTexture> textures_;
};

}  // namespace

std::unique_ptr<Backend> CreateGlBackend(const GlBackendConfig& config, std::string* error) {
    SDL_Window* window = nullptr;
    if (config.window && !config.headless) window = win32_native::SdlWindow(config.window);
    std::unique_ptr<GlContext> context;
    if (window) {
        context = GlContext::OnWindow(window, error);
    } else {
        context = GlContext::Headless(error);
    }
    if (!context) return nullptr;
    const bool retained = window != nullptr;
    if (retained) win32_native::RetainNative(config.window);
    auto backend = std::make_unique<GlBackend>(config.window, retained, std::move(context), config.backBuffer);
    if (!backend->Init(error)) return nullptr;
    // The screen turns black at once, as a new device's does, rather than
    // showing what was there before until the program's first frame.
    if (window) backend->Present();
    return backend;
}

}  // namespace d3d9
