// The fixed-function pipeline as one OpenGL program: transforms, material and
// ambient lighting, texture stage 0, alpha test. Blending, depth and culling are
// fixed-function state of OpenGL itself.
#pragma once

#include <epoxy/gl.h>

#include <string>

namespace d3d9 {

// Attribute locations of the program.
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

struct GlPipeline {
    GLuint program = 0;
    GLint worldViewProj = -1;
    GLint pretransformed = -1;
    GLint viewport = -1;
    GLint lighting = -1;
    GLint ambient = -1;
    GLint matDiffuse = -1;
    GLint matAmbient = -1;
    GLint matEmissive = -1;
    GLint diffuseSource = -1;
    GLint ambientSource = -1;
    GLint emissiveSource = -1;
    GLint texture = -1;
    GLint hasTexture = -1;
    GLint colorOp = -1;
    GLint alphaOp = -1;
    GLint colorArgs = -1;
    GLint alphaArgs = -1;
    GLint textureFactor = -1;
    GLint stageConstant = -1;
    GLint specularEnable = -1;
    GLint alphaFunc = -1;
    GLint alphaRef = -1;

    // Compiles and links; false with the compiler's words in `error`.
    bool Build(std::string* error);
    void Destroy();
};

}  // namespace d3d9
