#include "gl_pipeline.h"

namespace d3d9 {

namespace {

const char* const kVertexSource = R"(#version 330 core
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aDiffuse;
layout(location = 3) in vec4 aSpecular;
layout(location = 4) in vec4 aTexCoord;

uniform mat4 uWorldViewProj;
uniform bool uPretransformed;
uniform vec4 uViewport;  // x, y, width, height in pixels
uniform bool uLighting;
uniform vec4 uAmbient;
uniform vec4 uMatDiffuse;
uniform vec4 uMatAmbient;
uniform vec4 uMatEmissive;
// 0: the material, 1: the vertex's diffuse colour, 2: its specular colour.
uniform int uDiffuseSource;
uniform int uAmbientSource;
uniform int uEmissiveSource;

out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTexCoord;

// Direct3D puts pixel centres on integer coordinates and fills by the top-left
// rule. Moving the geometry by a little less than half a pixel puts OpenGL's
// centres where Direct3D's are, and moves edges off the centres so that
// OpenGL's own tie rule never decides: left and top edges take a pixel whose
// centre lies on them, right and bottom edges do not.
const float kShift = 0.5 - 1.0 / 64.0;

vec4 source(int which, vec4 material) {
    return which == 1 ? aDiffuse : which == 2 ? aSpecular : material;
}

void main() {
    if (uPretransformed) {
        // Screen pixels with their centres on integers; rhw is 1/w.
        float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;
        vec2 ndc = (aPosition.xy + kShift - uViewport.xy) * 2.0 / uViewport.zw - 1.0;
        gl_Position = vec4(ndc, aPosition.z * 2.0 - 1.0, 1.0) * w;
        vDiffuse = aDiffuse;
        vSpecular = aSpecular;
    } else {
        // Row vectors: the matrix arrives transposed, so M * v is v x M. Then
        // Direct3D's clip space: depth 0..w, rows counted from the top (the
        // render target is stored top row first).
        vec4 c = uWorldViewProj * aPosition;
        vec2 shift = 2.0 * kShift / uViewport.zw;
        gl_Position = vec4(c.x + c.w * shift.x, -c.y + c.w * shift.y, 2.0 * c.z - c.w, c.w);
        if (uLighting) {
            // No light is ever enabled: emissive plus global ambient.
            vec4 d = source(uDiffuseSource, uMatDiffuse);
            vec4 a = source(uAmbientSource, uMatAmbient);
            vec4 e = source(uEmissiveSource, uMatEmissive);
            vDiffuse = clamp(vec4(e.rgb + uAmbient.rgb * a.rgb, d.a), 0.0, 1.0);
            vSpecular = vec4(0.0);
        } else {
            vDiffuse = aDiffuse;
            vSpecular = aSpecular;
        }
    }
    vTexCoord = aTexCoord.xy;
}
)";

const char* const kFragmentSource = R"(#version 330 core
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTexCoord;

uniform sampler2D uTexture;
uniform bool uHasTexture;
uniform int uColorOp;
uniform int uAlphaOp;
uniform ivec3 uColorArgs;  // arg1, arg2, arg0
uniform ivec3 uAlphaArgs;
uniform vec4 uTextureFactor;
uniform vec4 uStageConstant;
uniform bool uSpecularEnable;
uniform int uAlphaFunc;  // ALWAYS when the test is off
uniform float uAlphaRef;

out vec4 fragColor;

vec4 arg(int a, vec4 tex) {
    int s = a & 15;
    vec4 v;
    if (s == 0 || s == 1) v = vDiffuse;  // at the first stage, current is diffuse
    else if (s == 2) v = tex;
    else if (s == 3) v = uTextureFactor;
    else if (s == 4) v = vSpecular;
    else if (s == 6) v = uStageConstant;
    else v = vec4(0.0);
    if ((a & 32) != 0) v = v.aaaa;
    if ((a & 16) != 0) v = 1.0 - v;
    return v;
}

vec4 combine(int op, vec4 a1, vec4 a2, vec4 a0, vec4 tex) {
    switch (op) {
        case 2: return a1;
        case 3: return a2;
        case 4: return a1 * a2;
        case 5: return 2.0 * a1 * a2;
        case 6: return 4.0 * a1 * a2;
        case 7: return a1 + a2;
        case 8: return a1 + a2 - 0.5;
        case 9: return 2.0 * (a1 + a2 - 0.5);
        case 10: return a1 - a2;
        case 11: return a1 + a2 - a1 * a2;
        case 12: return mix(a2, a1, vDiffuse.a);
        case 13: return mix(a2, a1, tex.a);
        case 14: return mix(a2, a1, uTextureFactor.a);
        case 15: return a1 + a2 * (1.0 - tex.a);
        case 16: return mix(a2, a1, vDiffuse.a);
        case 18: return vec4(a1.rgb + a1.a * a2.rgb, a1.a);
        case 19: return vec4(a1.rgb * a2.rgb + a1.a, a1.a * a2.a);
        case 20: return vec4((1.0 - a1.a) * a2.rgb + a1.rgb, a1.a);
        case 21: return vec4((1.0 - a1.rgb) * a2.rgb + a1.a, a1.a);
        case 24: return vec4(clamp(4.0 * dot(a1.rgb - 0.5, a2.rgb - 0.5), 0.0, 1.0));
        case 25: return a0 + a1 * a2;
        case 26: return mix(a2, a1, a0);
        default: return a1 * a2;
    }
}

void main() {
    // A stage that reads a texture when none is bound reads white.
    vec4 tex = uHasTexture ? texture(uTexture, vTexCoord) : vec4(1.0);
    vec4 color;
    if (uColorOp == 1) {
        color = vDiffuse;
    } else {
        vec3 rgb = combine(uColorOp, arg(uColorArgs.x, tex), arg(uColorArgs.y, tex), arg(uColorArgs.z, tex), tex).rgb;
        float a = uAlphaOp == 1
                      ? vDiffuse.a
                      : combine(uAlphaOp, arg(uAlphaArgs.x, tex), arg(uAlphaArgs.y, tex), arg(uAlphaArgs.z, tex), tex).a;
        color = clamp(vec4(rgb, a), 0.0, 1.0);
    }
    if (uSpecularEnable) color.rgb = min(color.rgb + vSpecular.rgb, vec3(1.0));

    // The test compares the 8-bit alpha with the reference, as the platform does.
    float a8 = floor(color.a * 255.0 + 0.5);
    bool pass = true;
    if (uAlphaFunc == 1) pass = false;
    else if (uAlphaFunc == 2) pass = a8 < uAlphaRef;
    else if (uAlphaFunc == 3) pass = a8 == uAlphaRef;
    else if (uAlphaFunc == 4) pass = a8 <= uAlphaRef;
    else if (uAlphaFunc == 5) pass = a8 > uAlphaRef;
    else if (uAlphaFunc == 6) pass = a8 != uAlphaRef;
    else if (uAlphaFunc == 7) pass = a8 >= uAlphaRef;
    if (!pass) discard;
    fragColor = color;
}
)";

GLuint Compile(GLenum kind, const char* source, std::string* error) {
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        *error = std::string(kind == GL_VERTEX_SHADER ? "vertex shader: " : "fragment shader: ") + log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

GLuint LinkProgram(const char* vertexSource, const char* fragmentSource, std::string* error) {
    GLuint vs = Compile(GL_VERTEX_SHADER, vertexSource, error);
    if (!vs) return 0;
    GLuint fs = Compile(GL_FRAGMENT_SHADER, fragmentSource, error);
    if (!fs) {
        glDeleteShader(vs);
        return 0;
    }
    GLuint linked = glCreateProgram();
    glAttachShader(linked, vs);
    glAttachShader(linked, fs);
    glLinkProgram(linked);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(linked, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetProgramInfoLog(linked, sizeof log, nullptr, log);
        *error = std::string("link: ") + log;
        glDeleteProgram(linked);
        return 0;
    }
    return linked;
}

bool GlPipeline::Build(std::string* error) {
    program = LinkProgram(kVertexSource, kFragmentSource, error);
    if (!program) return false;
    struct {
        GLint* slot;
        const char* name;
    } const uniforms[] = {
        {&worldViewProj, "uWorldViewProj"}, {&pretransformed, "uPretransformed"},
        {&viewport, "uViewport"},           {&lighting, "uLighting"},
        {&ambient, "uAmbient"},             {&matDiffuse, "uMatDiffuse"},
        {&matAmbient, "uMatAmbient"},       {&matEmissive, "uMatEmissive"},
        {&diffuseSource, "uDiffuseSource"}, {&ambientSource, "uAmbientSource"},
        {&emissiveSource, "uEmissiveSource"}, {&texture, "uTexture"},
        {&hasTexture, "uHasTexture"},       {&colorOp, "uColorOp"},
        {&alphaOp, "uAlphaOp"},             {&colorArgs, "uColorArgs"},
        {&alphaArgs, "uAlphaArgs"},         {&textureFactor, "uTextureFactor"},
        {&stageConstant, "uStageConstant"}, {&specularEnable, "uSpecularEnable"},
        {&alphaFunc, "uAlphaFunc"},         {&alphaRef, "uAlphaRef"},
    };
    for (const auto& u : uniforms) *u.slot = glGetUniformLocation(program, u.name);
    glUseProgram(program);
    glUniform1i(texture, 0);
    return true;
}

void GlPipeline::Destroy() {
    if (program) glDeleteProgram(program);
    program = 0;
}

}  // namespace d3d9
