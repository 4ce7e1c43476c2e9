#include "gl_scaled_present.h"

#include "gl_pipeline.h"

namespace d3d9 {

namespace {

// One quad over the whole viewport from the vertex number alone.
const char* const kVertexSource = R"(#version 330 core
uniform vec2 uFrameSize;
out vec2 vTexel;
void main() {
    vec2 corner = vec2(float(gl_VertexID & 1), float(gl_VertexID >> 1));
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
    // The frame holds its top row first; the window counts rows upwards.
    vTexel = vec2(corner.x, 1.0 - corner.y) * uFrameSize;
}
)";

// Each pixel of the frame stays a flat square of its own colour; only a band
// one window pixel wide at its borders blends with the neighbour. Plain
// bilinear filtering would smear thin text strokes over two or three pixels,
// nearest sampling would make equal strokes unequal in width.
const char* const kFragmentSource = R"(#version 330 core
uniform sampler2D uFrame;
uniform vec2 uFrameSize;
uniform vec2 uScale;
in vec2 vTexel;
out vec4 fragColor;
void main() {
    vec2 base = floor(vTexel);
    vec2 offset = vTexel - base - 0.5;
    vec2 plateau = 0.5 - 0.5 / uScale;
    offset = (offset - clamp(offset, -plateau, plateau)) * uScale + 0.5;
    fragColor = vec4(texture(uFrame, (base + offset) / uFrameSize).rgb, 1.0);
}
)";

}  // namespace

bool GlScaledPresent::Build(std::string* error) {
    program_ = LinkProgram(kVertexSource, kFragmentSource, error);
    if (!program_) return false;
    frameSize_ = glGetUniformLocation(program_, "uFrameSize");
    scale_ = glGetUniformLocation(program_, "uScale");
    glUseProgram(program_);
    glUniform1i(glGetUniformLocation(program_, "uFrame"), 0);
    glGenVertexArrays(1, &vao_);
    glGenSamplers(1, &sampler_);
    glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return true;
}

void GlScaledPresent::Destroy() {
    if (program_) glDeleteProgram(program_);
    if (vao_) glDeleteVertexArrays(1, &vao_);
    if (sampler_) glDeleteSamplers(1, &sampler_);
    program_ = vao_ = sampler_ = 0;
}

void GlScaledPresent::Draw(GLuint frame, int frameWidth, int frameHeight, const win32_native::FrameRect& target,
                           int windowWidth, int windowHeight) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // The bars.
    glViewport(0, 0, windowWidth, windowHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    glViewport(target.x, windowHeight - target.y - target.height, target.width, target.height);
    glUseProgram(program_);
    glUniform2f(frameSize_, static_cast<float>(frameWidth), static_cast<float>(frameHeight));
    // Below one (a window smaller than the frame) this is plain bilinear.
    const float sx = static_cast<float>(target.width) / static_cast<float>(frameWidth);
    const float sy = static_cast<float>(target.height) / static_cast<float>(frameHeight);
    glUniform2f(scale_, sx > 1.0f ? sx : 1.0f, sy > 1.0f ? sy : 1.0f);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, frame);
    glBindSampler(0, sampler_);
    glBindVertexArray(vao_);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

}  // namespace d3d9
