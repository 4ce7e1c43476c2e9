#include "gl_pipeline.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "fixed_function.h"
#include "seams.h"

namespace d3d9 {

namespace {

// Direct3D puts pixel centres on integer coordinates and fills by the top-left
// rule. Moving the geometry right and down by a little less than half a pixel
// puts OpenGL's centres where Direct3D's are, and moves edges off the centres
// so that OpenGL's own tie rule never decides: left and top edges take a pixel
// whose centre lies on them, right and bottom edges do not. Rows are OpenGL's
// (counted upwards) in every render target, so "down" is -y.
const char* const kCommonVertex = R"(
const float kShift = 0.5 - 1.0 / 64.0;

// Direct3D's clip space (depth 0..w) into OpenGL's, moved onto the pixel grid.
vec4 ClipToGl(vec4 c, vec4 viewport) {
    vec2 shift = 2.0 * kShift / viewport.zw;
    return vec4(c.x + c.w * shift.x, c.y - c.w * shift.y, 2.0 * c.z - c.w, c.w);
}

// Screen pixels (top row first, centres on integers) with rhw = 1/w.
vec4 ScreenToGl(vec4 p, vec4 viewport) {
    float w = p.w != 0.0 ? 1.0 / p.w : 1.0;
    vec2 ndc = (p.xy + kShift - viewport.xy) * 2.0 / viewport.zw;
    return vec4(ndc.x - 1.0, 1.0 - ndc.y, p.z * 2.0 - 1.0, 1.0) * w;
}
)";

const char* const kGeneralVertex = R"(
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aDiffuse;
layout(location = 3) in vec4 aSpecular;
layout(location = 4) in vec4 aTexCoord;

uniform mat4 uWorldViewProj;
uniform int uInput;  // 0 transformed, 1 pretransformed, 2 clip space
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

vec4 source(int which, vec4 material) {
    return which == 1 ? aDiffuse : which == 2 ? aSpecular : material;
}

void main() {
    if (uInput == 1) {
        gl_Position = ScreenToGl(aPosition, uViewport);
    } else {
        // Row vectors: the matrix arrives transposed, so M * v is v x M.
        gl_Position = ClipToGl(uWorldViewProj * aPosition, uViewport);
    }
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
    vTexCoord = aTexCoord.xy;
}
)";

const char* const kGeneralFragment = R"(
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
uniform bool uSpecular;
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
    if (uSpecular) color.rgb = min(color.rgb + vSpecular.rgb, vec3(1.0));

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

const char* const kVersion = "#version 330 core\n";

// --- The program of one key --------------------------------------------------

struct Uses {
    bool diffuse = false, specular = false, texture = false;  // varyings the fragment stage reads
};

void NoteArg(uint8_t a, Uses* u) {
    switch (a & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: u->diffuse = true; break;
        case D3DTA_SPECULAR: u->specular = true; break;
        default: break;
    }
}

void NoteOp(uint8_t op, const uint8_t args[3], Uses* u) {
    const unsigned reads = OperationArguments(op);
    for (int i = 0; i < 3; ++i)
        if (reads >> i & 1) NoteArg(args[i], u);
    if (op == D3DTOP_BLENDDIFFUSEALPHA || op == D3DTOP_BLENDCURRENTALPHA || op == D3DTOP_DISABLE) u->diffuse = true;
}

std::string ArgText(uint8_t a) {
    std::string v;
    switch (a & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: v = "vDiffuse"; break;
        case D3DTA_TEXTURE: v = "tex"; break;
        case D3DTA_TFACTOR: v = "uTextureFactor"; break;
        case D3DTA_SPECULAR: v = "vSpecular"; break;
        case D3DTA_CONSTANT: v = "uStageConstant"; break;
        default: v = "vec4(0.0)"; break;
    }
    if (a & D3DTA_ALPHAREPLICATE) v = "(" + v + ").aaaa";
    if (a & D3DTA_COMPLEMENT) v = "(1.0 - " + v + ")";
    return v;
}

// The operation on the three arguments a1, a2, a0.
const char* OpText(uint8_t op) {
    switch (op) {
        case D3DTOP_SELECTARG1: return "a1";
        case D3DTOP_SELECTARG2: return "a2";
        case D3DTOP_MODULATE2X: return "2.0 * a1 * a2";
        case D3DTOP_MODULATE4X: return "4.0 * a1 * a2";
        case D3DTOP_ADD: return "a1 + a2";
        case D3DTOP_ADDSIGNED: return "a1 + a2 - 0.5";
        case D3DTOP_ADDSIGNED2X: return "2.0 * (a1 + a2 - 0.5)";
        case D3DTOP_SUBTRACT: return "a1 - a2";
        case D3DTOP_ADDSMOOTH: return "a1 + a2 - a1 * a2";
        case D3DTOP_BLENDDIFFUSEALPHA: return "mix(a2, a1, vDiffuse.a)";
        case D3DTOP_BLENDTEXTUREALPHA: return "mix(a2, a1, tex.a)";
        case D3DTOP_BLENDFACTORALPHA: return "mix(a2, a1, uTextureFactor.a)";
        case D3DTOP_BLENDTEXTUREALPHAPM: return "a1 + a2 * (1.0 - tex.a)";
        case D3DTOP_BLENDCURRENTALPHA: return "mix(a2, a1, vDiffuse.a)";
        case D3DTOP_MODULATEALPHA_ADDCOLOR: return "vec4(a1.rgb + a1.a * a2.rgb, a1.a)";
        case D3DTOP_MODULATECOLOR_ADDALPHA: return "vec4(a1.rgb * a2.rgb + a1.a, a1.a * a2.a)";
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return "vec4((1.0 - a1.a) * a2.rgb + a1.rgb, a1.a)";
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return "vec4((1.0 - a1.rgb) * a2.rgb + a1.a, a1.a)";
        case D3DTOP_DOTPRODUCT3: return "vec4(clamp(4.0 * dot(a1.rgb - 0.5, a2.rgb - 0.5), 0.0, 1.0))";
        case D3DTOP_MULTIPLYADD: return "a0 + a1 * a2";
        case D3DTOP_LERP: return "mix(a2, a1, a0)";
        default: return "a1 * a2";
    }
}

// A block computing `name` (a vec4) by the operation.
std::string Combine(const char* name, uint8_t op, const uint8_t args[3]) {
    const unsigned reads = OperationArguments(op);
    std::string s = "    vec4 " + std::string(name) + ";\n    {\n";
    if (reads & 1) s += "        vec4 a1 = " + ArgText(args[0]) + ";\n";
    if (reads & 2) s += "        vec4 a2 = " + ArgText(args[1]) + ";\n";
    if (reads & 4) s += "        vec4 a0 = " + ArgText(args[2]) + ";\n";
    s += "        " + std::string(name) + " = " + OpText(op) + ";\n    }\n";
    return s;
}

const char* CompareText(uint8_t func) {
    switch (func) {
        case D3DCMP_LESS: return "<";
        case D3DCMP_EQUAL: return "==";
        case D3DCMP_LESSEQUAL: return "<=";
        case D3DCMP_GREATER: return ">";
        case D3DCMP_NOTEQUAL: return "!=";
        case D3DCMP_GREATEREQUAL: return ">=";
        default: return nullptr;
    }
}

const char* MaterialText(uint8_t source, const char* material) {
    return source == kFromDiffuse ? "aDiffuse" : source == kFromSpecular ? "aSpecular" : material;
}

}  // namespace

void FixedFunctionSources(uint64_t bits, std::string* vertex, std::string* fragment) {
    const FixedFunctionKey k = FixedFunctionKey::Unpack(bits);
    Uses uses;
    if (k.colorOp == D3DTOP_DISABLE) {
        uses.diffuse = true;
    } else {
        NoteOp(k.colorOp, k.colorArgs, &uses);
        if (k.alphaOp == D3DTOP_DISABLE)
            uses.diffuse = true;
        else
            NoteOp(k.alphaOp, k.alphaArgs, &uses);
    }
    if (k.specular) uses.specular = true;
    uses.texture = k.texture;

    // The vertex stage: position, then the colours the fragment stage reads.
    std::string v = kVersion;
    v += "layout(location = 0) in vec4 aPosition;\n";
    const bool litFromDiffuse = k.lighting && (k.diffuseSource == kFromDiffuse || k.ambientSource == kFromDiffuse ||
                                               k.emissiveSource == kFromDiffuse);
    const bool litFromSpecular = k.lighting && (k.diffuseSource == kFromSpecular ||
                                                k.ambientSource == kFromSpecular || k.emissiveSource == kFromSpecular);
    if ((uses.diffuse && !k.lighting) || litFromDiffuse) v += "layout(location = 2) in vec4 aDiffuse;\n";
    if ((uses.specular && !k.lighting) || litFromSpecular) v += "layout(location = 3) in vec4 aSpecular;\n";
    if (uses.texture) v += "layout(location = 4) in vec4 aTexCoord;\n";
    v += "uniform vec4 uViewport;\n";
    if (k.input == VertexInput::Transformed) v += "uniform mat4 uWorldViewProj;\n";
    if (k.lighting && uses.diffuse)
        v += "uniform vec4 uAmbient;\nuniform vec4 uMatDiffuse;\nuniform vec4 uMatAmbient;\nuniform vec4 uMatEmissive;\n";
    if (uses.diffuse) v += "out vec4 vDiffuse;\n";
    if (uses.specular) v += "out vec4 vSpecular;\n";
    if (uses.texture) v += "out vec2 vTexCoord;\n";
    v += kCommonVertex;
    v += "void main() {\n";
    if (k.input == VertexInput::Pretransformed)
        v += "    gl_Position = ScreenToGl(aPosition, uViewport);\n";
    else if (k.input == VertexInput::Shaded)
        v += "    gl_Position = ClipToGl(aPosition, uViewport);\n";
    else
        v += "    gl_Position = ClipToGl(uWorldViewProj * aPosition, uViewport);\n";
    if (uses.diffuse) {
        if (k.lighting) {
            // No light is ever enabled: emissive plus global ambient.
            v += std::string("    vDiffuse = clamp(vec4(") + MaterialText(k.emissiveSource, "uMatEmissive") +
                 ".rgb + uAmbient.rgb * " + MaterialText(k.ambientSource, "uMatAmbient") + ".rgb, " +
                 MaterialText(k.diffuseSource, "uMatDiffuse") + ".a), 0.0, 1.0);\n";
        } else {
            v += "    vDiffuse = aDiffuse;\n";
        }
    }
    if (uses.specular) v += k.lighting ? "    vSpecular = vec4(0.0);\n" : "    vSpecular = aSpecular;\n";
    if (uses.texture) v += "    vTexCoord = aTexCoord.xy;\n";
    v += "}\n";

    // The fragment stage: the texture stage, specular, the alpha test.
    std::string f = kVersion;
    if (seams::FailProgramVariants()) f += "#error a variant made to fail\n";
    if (uses.diffuse) f += "in vec4 vDiffuse;\n";
    if (uses.specular) f += "in vec4 vSpecular;\n";
    if (uses.texture) f += "in vec2 vTexCoord;\nuniform sampler2D uTexture;\n";
    f += "uniform vec4 uTextureFactor;\nuniform vec4 uStageConstant;\nuniform float uAlphaRef;\n";
    f += "out vec4 fragColor;\nvoid main() {\n";
    // A stage that reads a texture when none is bound reads white.
    f += uses.texture ? "    vec4 tex = texture(uTexture, vTexCoord);\n" : "    vec4 tex = vec4(1.0);\n";
    if (k.colorOp == D3DTOP_DISABLE) {
        f += "    vec4 color = vDiffuse;\n";
    } else {
        f += Combine("c", k.colorOp, k.colorArgs);
        if (k.alphaOp == D3DTOP_DISABLE) {
            f += "    float alpha = vDiffuse.a;\n";
        } else {
            f += Combine("a", k.alphaOp, k.alphaArgs);
            f += "    float alpha = a.a;\n";
        }
        f += "    vec4 color = clamp(vec4(c.rgb, alpha), 0.0, 1.0);\n";
    }
    if (k.specular) f += "    color.rgb = min(color.rgb + vSpecular.rgb, vec3(1.0));\n";
    // The test compares the 8-bit alpha with the reference, as the platform does.
    if (k.alphaFunc == D3DCMP_NEVER) {
        f += "    discard;\n";
    } else if (const char* compare = CompareText(k.alphaFunc)) {
        f += std::string("    if (!(floor(color.a * 255.0 + 0.5) ") + compare + " uAlphaRef)) discard;\n";
    }
    f += "    fragColor = color;\n}\n";
    *vertex = std::move(v);
    *fragment = std::move(f);
}

namespace {

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

bool GlProgram::Build(uint64_t key, bool general, std::string* error) {
    general_ = general;
    if (general) {
        const std::string vertex = std::string(kVersion) + kCommonVertex + kGeneralVertex;
        const std::string fragment = std::string(kVersion) + kGeneralFragment;
        id_ = LinkProgram(vertex.c_str(), fragment.c_str(), error);
    } else {
        std::string vertex, fragment;
        FixedFunctionSources(key, &vertex, &fragment);
        id_ = LinkProgram(vertex.c_str(), fragment.c_str(), error);
    }
    if (!id_) return false;
    struct {
        GLint* slot;
        const char* name;
    } const uniforms[] = {
        {&worldViewProj_, "uWorldViewProj"}, {&viewport_, "uViewport"},
        {&ambient_, "uAmbient"},             {&matDiffuse_, "uMatDiffuse"},
        {&matAmbient_, "uMatAmbient"},       {&matEmissive_, "uMatEmissive"},
        {&textureFactor_, "uTextureFactor"}, {&stageConstant_, "uStageConstant"},
        {&alphaRef_, "uAlphaRef"},           {&input_, "uInput"},
        {&lighting_, "uLighting"},           {&diffuseSource_, "uDiffuseSource"},
        {&ambientSource_, "uAmbientSource"}, {&emissiveSource_, "uEmissiveSource"},
        {&hasTexture_, "uHasTexture"},       {&colorOp_, "uColorOp"},
        {&alphaOp_, "uAlphaOp"},             {&colorArgs_, "uColorArgs"},
        {&alphaArgs_, "uAlphaArgs"},         {&specular_, "uSpecular"},
        {&alphaFunc_, "uAlphaFunc"},
    };
    // Absent uniforms are -1, and setting them does nothing.
    for (const auto& u : uniforms) *u.slot = glGetUniformLocation(id_, u.name);
    setValid_ = false;
    return true;
}

void GlProgram::Destroy() {
    if (id_) glDeleteProgram(id_);
    id_ = 0;
}

void GlProgram::Apply(uint64_t key, const FixedFunctionConstants& c) {
    // The program is in use. Each uniform is set when it differs from what
    // this program holds already.
    auto vec4 = [&](GLint location, const float* value, const float* last) {
        if (location >= 0 && (!setValid_ || std::memcmp(value, last, 4 * sizeof(float)) != 0))
            glUniform4fv(location, 1, value);
    };
    if (worldViewProj_ >= 0 &&
        (!setValid_ || std::memcmp(&c.worldViewProj, &set_.worldViewProj, sizeof c.worldViewProj) != 0))
        glUniformMatrix4fv(worldViewProj_, 1, GL_FALSE, &c.worldViewProj.m[0][0]);
    vec4(viewport_, c.viewport, set_.viewport);
    vec4(ambient_, c.ambient, set_.ambient);
    vec4(matDiffuse_, c.matDiffuse, set_.matDiffuse);
    vec4(matAmbient_, c.matAmbient, set_.matAmbient);
    vec4(matEmissive_, c.matEmissive, set_.matEmissive);
    vec4(textureFactor_, c.textureFactor, set_.textureFactor);
    vec4(stageConstant_, c.stageConstant, set_.stageConstant);
    if (alphaRef_ >= 0 && (!setValid_ || c.alphaRef != set_.alphaRef)) glUniform1f(alphaRef_, c.alphaRef);
    if (general_ && (!setValid_ || key != setKey_)) {
        const FixedFunctionKey k = FixedFunctionKey::Unpack(key);
        glUniform1i(input_, static_cast<GLint>(k.input));
        glUniform1i(lighting_, k.lighting);
        glUniform1i(diffuseSource_, k.diffuseSource);
        glUniform1i(ambientSource_, k.ambientSource);
        glUniform1i(emissiveSource_, k.emissiveSource);
        glUniform1i(hasTexture_, k.texture);
        glUniform1i(colorOp_, k.colorOp);
        glUniform1i(alphaOp_, k.alphaOp);
        glUniform3i(colorArgs_, k.colorArgs[0], k.colorArgs[1], k.colorArgs[2]);
        glUniform3i(alphaArgs_, k.alphaArgs[0], k.alphaArgs[1], k.alphaArgs[2]);
        glUniform1i(specular_, k.specular);
        glUniform1i(alphaFunc_, k.alphaFunc);
        setKey_ = key;
    }
    set_ = c;
    setValid_ = true;
}

GlProgram* GlPrograms::General() {
    if (!generalTried_) {
        generalTried_ = true;
        std::string error;
        if (!general_.Build(0, true, &error)) {
            std::fprintf(stderr, "Direct3D: the general fixed-function program failed too: %s\n", error.c_str());
            seams::GlCounters().failedPrograms++;
        } else {
            seams::GlCounters().programs++;
        }
    }
    return general_.Id() ? &general_ : nullptr;
}

GlProgram* GlPrograms::For(uint64_t key) {
    auto found = byKey_.find(key);
    if (found != byKey_.end()) return found->second;
    // States in endless variety would make programs without end: past this
    // many, new combinations are drawn by the general program.
    constexpr size_t kMostPrograms = 512;
    if (programs_.size() >= kMostPrograms) {
        if (!saidTooMany_)
            std::fprintf(stderr, "Direct3D: %zu fixed-function programs made; further states are drawn with the "
                                 "general program\n", programs_.size());
        saidTooMany_ = true;
        return General();
    }
    auto program = std::make_unique<GlProgram>();
    std::string error;
    GlProgram* chosen = nullptr;
    if (program->Build(key, false, &error)) {
        seams::GlCounters().programs++;
        chosen = program.get();
        programs_.push_back(std::move(program));
    } else {
        // Said once: the key now stands for the general program.
        seams::GlCounters().failedPrograms++;
        std::fprintf(stderr,
                     "Direct3D: the fixed-function program for states %016" PRIx64
                     " failed to build; they are drawn with the general program: %s\n",
                     key, error.c_str());
        chosen = General();
    }
    byKey_.emplace(key, chosen);
    return chosen;
}

void GlPrograms::Destroy() {
    for (auto& p : programs_) p->Destroy();
    programs_.clear();
    byKey_.clear();
    general_.Destroy();
    generalTried_ = false;
    saidTooMany_ = false;
}

}  // namespace d3d9
