// OpenGL's state as the back end last set it. A call that would set what is
// already set is skipped: a software rasteriser validates its whole pipeline
// again after almost any change, and draws mostly repeat their neighbours'
// states. Code that changes state behind it (the scaled presentation) calls
// Invalidate afterwards.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>

namespace d3d9 {

class GlState {
public:
    GlState() { Invalidate(); }
    void Invalidate();

    void UseProgram(GLuint program);
    void BindVertexArray(GLuint vao);
    void BindFramebuffer(GLuint fbo);  // draw and read
    // Framebuffers or the texture were bound by other means.
    void ForgetFramebuffer();
    void ForgetTexture();
    void BindArrayBuffer(GLuint buffer);
    // Part of the vertex array's state: only for the back end's one array.
    void BindElementBuffer(GLuint buffer);
    void BindTexture(GLuint texture);  // unit 0
    void Sampler(GLuint sampler, GLint minFilter, GLint magFilter, GLint wrapS, GLint wrapT, const float border[4]);

    void Enable(GLenum capability, bool on);  // blend, depth test, cull face, scissor test
    void BlendFunc(GLenum src, GLenum dst, GLenum srcAlpha, GLenum dstAlpha);
    void BlendEquation(GLenum rgb, GLenum alpha);
    void BlendColor(const float color[4]);
    void DepthFunc(GLenum func);
    void DepthMask(bool write);
    void CullFace(GLenum face);
    void PolygonMode(GLenum mode);
    void ColorMask(unsigned mask);  // bit 0 red ... bit 3 alpha
    void Viewport(GLint x, GLint y, GLsizei width, GLsizei height);
    void DepthRange(float nearZ, float farZ);
    void Scissor(GLint x, GLint y, GLsizei width, GLsizei height);
    void ClearColor(const float color[4]);
    void ClearDepth(float depth);

    // A vertex attribute read from the bound array buffer, or (disabled) a
    // constant value.
    void Attribute(GLuint index, GLuint buffer, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                   uintptr_t offset);
    void AttributeConstant(GLuint index, const float value[4]);

    // Calls made and calls skipped since the context was made.
    uint64_t Changes() const { return changes_; }
    uint64_t Skipped() const { return skipped_; }

private:
    static constexpr int kAttributes = 8;
    struct AttributeState {
        int8_t enabled;  // -1 unknown
        GLuint buffer;
        GLint size;
        GLenum type;
        GLboolean normalized;
        GLsizei stride;
        uintptr_t offset;
        float constant[4];
    };
    struct SamplerState {
        GLint minFilter, magFilter, wrapS, wrapT;
        float border[4];
    };
    // An attribute's slot, all of them unknown until the first is set.
    AttributeState& AttributeSlot(GLuint index);
    // True (and counted) when `value` differs from `slot`, which then takes it.
    template <class T>
    bool Change(T& slot, const T& value);

    GLuint program_, vao_, framebuffer_, arrayBuffer_, elementBuffer_, texture_;
    GLuint samplerObject_;
    SamplerState sampler_;
    bool blend_, depthTest_, cullFace_, scissorTest_;
    bool enabledKnown_;
    GLenum blendFunc_[4], blendEquation_[2];
    float blendColor_[4];
    GLenum depthFunc_;
    int depthMask_;
    GLenum cullFaceMode_, polygonMode_;
    unsigned colorMask_;
    GLint viewport_[4], scissor_[4];
    float depthRange_[2];
    float clearColor_[4];
    float clearDepth_;
    AttributeState attributes_[kAttributes];
    bool attributesKnown_;
    uint64_t changes_ = 0;
    uint64_t skipped_ = 0;
};

}  // namespace d3d9
