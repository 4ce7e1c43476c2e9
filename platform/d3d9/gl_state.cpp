#include "gl_state.h"

#include <cstring>
#include <initializer_list>

namespace d3d9 {

namespace {

constexpr GLuint kUnknown = ~0u;

template <class T, size_t N>
bool Same(const T (&a)[N], const T (&b)[N]) {
    return std::memcmp(a, b, sizeof a) == 0;
}

}  // namespace

template <class T>
bool GlState::Change(T& slot, const T& value) {
    if (std::memcmp(&slot, &value, sizeof value) == 0) {
        ++skipped_;
        return false;
    }
    std::memcpy(&slot, &value, sizeof value);
    ++changes_;
    return true;
}

void GlState::Invalidate() {
    // Values no call sets: the next call of each kind goes through.
    program_ = vao_ = framebuffer_ = arrayBuffer_ = elementBuffer_ = texture_ = samplerObject_ = kUnknown;
    std::memset(&sampler_, 0xFF, sizeof sampler_);
    enabledKnown_ = false;
    blend_ = depthTest_ = cullFace_ = scissorTest_ = false;
    std::memset(blendFunc_, 0xFF, sizeof blendFunc_);
    std::memset(blendEquation_, 0xFF, sizeof blendEquation_);
    std::memset(blendColor_, 0xFF, sizeof blendColor_);
    depthFunc_ = kUnknown;
    depthMask_ = -1;
    cullFaceMode_ = polygonMode_ = kUnknown;
    colorMask_ = ~0u;
    std::memset(viewport_, 0xFF, sizeof viewport_);
    std::memset(scissor_, 0xFF, sizeof scissor_);
    std::memset(depthRange_, 0xFF, sizeof depthRange_);
    std::memset(clearColor_, 0xFF, sizeof clearColor_);
    std::memset(&clearDepth_, 0xFF, sizeof clearDepth_);
    attributesKnown_ = false;
    std::memset(attributes_, 0xFF, sizeof attributes_);
}

void GlState::UseProgram(GLuint program) {
    if (Change(program_, program)) glUseProgram(program);
}

void GlState::BindVertexArray(GLuint vao) {
    if (!Change(vao_, vao)) return;
    glBindVertexArray(vao);
    // The element buffer and the attributes belong to the array.
    elementBuffer_ = kUnknown;
    attributesKnown_ = false;
}

void GlState::BindFramebuffer(GLuint fbo) {
    if (Change(framebuffer_, fbo)) glBindFramebuffer(GL_FRAMEBUFFER, fbo);
}

void GlState::ForgetFramebuffer() { framebuffer_ = kUnknown; }
void GlState::ForgetTexture() { texture_ = kUnknown; }

void GlState::BindArrayBuffer(GLuint buffer) {
    if (Change(arrayBuffer_, buffer)) glBindBuffer(GL_ARRAY_BUFFER, buffer);
}

void GlState::BindElementBuffer(GLuint buffer) {
    if (Change(elementBuffer_, buffer)) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
}

void GlState::BindTexture(GLuint texture) {
    if (Change(texture_, texture)) glBindTexture(GL_TEXTURE_2D, texture);
}

void GlState::Sampler(GLuint sampler, GLint minFilter, GLint magFilter, GLint wrapS, GLint wrapT,
                      const float border[4]) {
    if (Change(samplerObject_, sampler)) {
        glBindSampler(0, sampler);
        std::memset(&sampler_, 0xFF, sizeof sampler_);
    }
    if (Change(sampler_.minFilter, minFilter)) glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, minFilter);
    if (Change(sampler_.magFilter, magFilter)) glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, magFilter);
    if (Change(sampler_.wrapS, wrapS)) glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, wrapS);
    if (Change(sampler_.wrapT, wrapT)) glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, wrapT);
    // The border colour matters only where a border is sampled.
    if ((wrapS == GL_CLAMP_TO_BORDER || wrapT == GL_CLAMP_TO_BORDER) &&
        Change(sampler_.border, *reinterpret_cast<const float(*)[4]>(border)))
        glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
}

void GlState::Enable(GLenum capability, bool on) {
    if (!enabledKnown_) {
        // One query-free reset of all four, then each follows its own value.
        enabledKnown_ = true;
        for (GLenum cap : {GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE, GL_SCISSOR_TEST}) glDisable(cap);
        blend_ = depthTest_ = cullFace_ = scissorTest_ = false;
    }
    bool* slot = capability == GL_BLEND        ? &blend_
                 : capability == GL_DEPTH_TEST ? &depthTest_
                 : capability == GL_CULL_FACE  ? &cullFace_
                                               : &scissorTest_;
    if (!Change(*slot, on)) return;
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

void GlState::BlendFunc(GLenum src, GLenum dst, GLenum srcAlpha, GLenum dstAlpha) {
    const GLenum v[4] = {src, dst, srcAlpha, dstAlpha};
    if (Change(blendFunc_, v)) glBlendFuncSeparate(src, dst, srcAlpha, dstAlpha);
}

void GlState::BlendEquation(GLenum rgb, GLenum alpha) {
    const GLenum v[2] = {rgb, alpha};
    if (Change(blendEquation_, v)) glBlendEquationSeparate(rgb, alpha);
}

void GlState::BlendColor(const float color[4]) {
    if (Change(blendColor_, *reinterpret_cast<const float(*)[4]>(color)))
        glBlendColor(color[0], color[1], color[2], color[3]);
}

void GlState::DepthFunc(GLenum func) {
    if (Change(depthFunc_, func)) glDepthFunc(func);
}

void GlState::DepthMask(bool write) {
    const int v = write ? 1 : 0;
    if (Change(depthMask_, v)) glDepthMask(write ? GL_TRUE : GL_FALSE);
}

void GlState::CullFace(GLenum face) {
    if (Change(cullFaceMode_, face)) glCullFace(face);
}

void GlState::PolygonMode(GLenum mode) {
    if (Change(polygonMode_, mode)) glPolygonMode(GL_FRONT_AND_BACK, mode);
}

void GlState::ColorMask(unsigned mask) {
    mask &= 0xF;
    if (Change(colorMask_, mask))
        glColorMask(mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE, mask & 4 ? GL_TRUE : GL_FALSE,
                    mask & 8 ? GL_TRUE : GL_FALSE);
}

void GlState::Viewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    const GLint v[4] = {x, y, width, height};
    if (Change(viewport_, v)) glViewport(x, y, width, height);
}

void GlState::DepthRange(float nearZ, float farZ) {
    const float v[2] = {nearZ, farZ};
    if (Change(depthRange_, v)) glDepthRange(nearZ, farZ);
}

void GlState::Scissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    const GLint v[4] = {x, y, width, height};
    if (Change(scissor_, v)) glScissor(x, y, width, height);
}

void GlState::ClearColor(const float color[4]) {
    if (Change(clearColor_, *reinterpret_cast<const float(*)[4]>(color)))
        glClearColor(color[0], color[1], color[2], color[3]);
}

void GlState::ClearDepth(float depth) {
    if (Change(clearDepth_, depth)) glClearDepth(depth);
}

GlState::AttributeState& GlState::AttributeSlot(GLuint index) {
    if (!attributesKnown_) {
        attributesKnown_ = true;
        std::memset(attributes_, 0xFF, sizeof attributes_);
    }
    return attributes_[index];
}

void GlState::Attribute(GLuint index, GLuint buffer, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                        uintptr_t offset) {
    AttributeState& a = AttributeSlot(index);
    if (a.enabled != 1) {
        a.enabled = 1;
        glEnableVertexAttribArray(index);
        ++changes_;
    }
    if (a.buffer == buffer && a.size == size && a.type == type && a.normalized == normalized && a.stride == stride &&
        a.offset == offset) {
        ++skipped_;
        return;
    }
    a.buffer = buffer;
    a.size = size;
    a.type = type;
    a.normalized = normalized;
    a.stride = stride;
    a.offset = offset;
    BindArrayBuffer(buffer);
    glVertexAttribPointer(index, size, type, normalized, stride, reinterpret_cast<const void*>(offset));
    ++changes_;
}

void GlState::AttributeConstant(GLuint index, const float value[4]) {
    AttributeState& a = AttributeSlot(index);
    if (a.enabled != 0) {
        a.enabled = 0;
        glDisableVertexAttribArray(index);
        ++changes_;
        // The pointer stays with the array, but is only trusted while enabled.
        a.buffer = kUnknown;
    }
    if (Change(a.constant, *reinterpret_cast<const float(*)[4]>(value))) glVertexAttrib4fv(index, value);
}

}  // namespace d3d9
