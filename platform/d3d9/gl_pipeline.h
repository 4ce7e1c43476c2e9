// The fixed-function pipeline as OpenGL programs: transforms, material and
// ambient lighting, texture stage 0, specular, alpha test. One program is
// generated for each combination of the states that change its code
// (FixedFunctionKey), compiled the first time a draw needs it and kept, so a
// software rasteriser runs per pixel only what the states ask for. A general
// program that decides everything per pixel from uniforms draws the
// combinations whose own program cannot be built. Blending, depth and culling
// are OpenGL's own state.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "backend.h"

namespace d3d9 {

// Attribute locations of every program.
enum GlAttribute : GLuint {
    kAttrPosition = 0,
    kAttrNormal = 1,
    kAttrDiffuse = 2,
    kAttrSpecular = 3,
    kAttrTexCoord = 4,
    kAttrCount = 5,
};

// A program from the sources of its two stages; 0 with the compiler's or the
// linker's words in `error`.
GLuint LinkProgram(const char* vertexSource, const char* fragmentSource, std::string* error);

// The sources of the program generated for a key.
void FixedFunctionSources(uint64_t key, std::string* vertex, std::string* fragment);

class GlProgram {
public:
    // The program generated for `key`, or the general one (key ignored).
    bool Build(uint64_t key, bool general, std::string* error);
    void Destroy();
    GLuint Id() const { return id_; }
    bool General() const { return general_; }
    // Sets what differs from what this program was given last.
    void Apply(uint64_t key, const FixedFunctionConstants& c);

private:
    GLuint id_ = 0;
    bool general_ = false;
    GLint worldViewProj_ = -1, viewport_ = -1, ambient_ = -1, matDiffuse_ = -1, matAmbient_ = -1,
          matEmissive_ = -1, textureFactor_ = -1, stageConstant_ = -1, alphaRef_ = -1;
    // The general program's states.
    GLint input_ = -1, lighting_ = -1, diffuseSource_ = -1, ambientSource_ = -1, emissiveSource_ = -1,
          hasTexture_ = -1, colorOp_ = -1, alphaOp_ = -1, colorArgs_ = -1, alphaArgs_ = -1, specular_ = -1,
          alphaFunc_ = -1;
    FixedFunctionConstants set_;
    bool setValid_ = false;
    uint64_t setKey_ = 0;
};

class GlPrograms {
public:
    GlPrograms() = default;
    GlPrograms(const GlPrograms&) = delete;
    GlPrograms& operator=(const GlPrograms&) = delete;
    ~GlPrograms() = default;  // Destroy first, with the context current

    // The program for `key`, built the first time; the general program when
    // that fails (said once, on stderr); null when even that fails.
    GlProgram* For(uint64_t key);
    void Destroy();

private:
    GlProgram* General();

    std::unordered_map<uint64_t, GlProgram*> byKey_;
    std::vector<std::unique_ptr<GlProgram>> programs_;
    GlProgram general_;
    bool generalTried_ = false;
    bool saidTooMany_ = false;
};

}  // namespace d3d9
