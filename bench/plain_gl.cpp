// The floor to compare the program with: a plain SDL2 + OpenGL program that
// draws the frame scene_capture recorded (the same triangles, textures,
// matrices and states), the way one would write it by hand: static buffers and
// textures uploaded once, the rewritten buffers uploaded every frame, one small
// shader per combination of states, straight into the window, then a swap.
// It runs until Escape or the window is closed.
//   plain_gl <scene file>
#include <SDL.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/scene_file.h"

namespace {

using scene_file::Draw;

const char* const kVertex = R"(
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec2 aUv;
layout(location = 2) in vec4 aColor;
uniform mat4 uWorldViewProj;
uniform vec2 uScreen;
uniform vec4 uColor;
out vec2 vUv;
out vec4 vColor;
void main() {
#if PRETRANSFORMED
    float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;
    gl_Position = vec4(aPosition.x * 2.0 / uScreen.x - 1.0, 1.0 - aPosition.y * 2.0 / uScreen.y,
                       aPosition.z * 2.0 - 1.0, 1.0) * w;
#else
    vec4 c = uWorldViewProj * aPosition;
    gl_Position = vec4(c.xy, 2.0 * c.z - c.w, c.w);
#endif
#if CONSTANT_COLOR
    vColor = uColor;
#else
    vColor = aColor;
#endif
    vUv = aUv;
}
)";

const char* const kFragment = R"(
in vec2 vUv;
in vec4 vColor;
uniform sampler2D uTexture;
uniform float uAlphaRef;
out vec4 fragColor;
void main() {
#if TEXTURED
    vec4 t = texture(uTexture, vUv);
#else
    vec4 t = vec4(1.0);
#endif
    vec3 rgb = COLOR_SOURCE;
    float a = ALPHA_SOURCE;
#if ALPHA_TEST
    if (!(floor(a * 255.0 + 0.5) ALPHA_TEST_OP floor(uAlphaRef * 255.0 + 0.5))) discard;
#endif
    fragColor = vec4(rgb, a);
}
)";

struct Program {
    GLuint id = 0;
    GLint worldViewProj = -1, screen = -1, color = -1, alphaRef = -1;
};

const char* SourceText(uint32_t source, bool alpha) {
    switch (source) {
        case scene_file::kTexture: return alpha ? "t.a" : "t.rgb";
        case scene_file::kColor: return alpha ? "vColor.a" : "vColor.rgb";
        default: return alpha ? "t.a * vColor.a" : "t.rgb * vColor.rgb";
    }
}

const char* CompareText(uint32_t f) {
    switch (f) {
        case GL_NEVER: return "<0.0*";
        case GL_LESS: return "<";
        case GL_EQUAL: return "==";
        case GL_LEQUAL: return "<=";
        case GL_GREATER: return ">";
        case GL_NOTEQUAL: return "!=";
        case GL_GEQUAL: return ">=";
        default: return "<1e9+";
    }
}

GLuint Compile(GLenum kind, const std::string& source) {
    GLuint s = glCreateShader(kind);
    const char* text = source.c_str();
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048];
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        std::fprintf(stderr, "plain_gl: %s\n", log);
    }
    return s;
}

Program ProgramFor(const Draw& d, std::map<std::string, Program>& cache) {
    const bool textured = d.texture >= 0;
    std::string defines = "#version 330 core\n";
    defines += "#define PRETRANSFORMED " + std::to_string(d.pretransformed) + "\n";
    defines += "#define CONSTANT_COLOR " + std::to_string(d.constantColor) + "\n";
    defines += "#define TEXTURED " + std::to_string(textured) + "\n";
    defines += std::string("#define COLOR_SOURCE ") + SourceText(d.colorSource, false) + "\n";
    defines += std::string("#define ALPHA_SOURCE ") + SourceText(d.alphaSource, true) + "\n";
    defines += "#define ALPHA_TEST " + std::to_string(d.alphaTest) + "\n";
    defines += std::string("#define ALPHA_TEST_OP ") + CompareText(d.alphaFunc) + "\n";
    auto found = cache.find(defines);
    if (found != cache.end()) return found->second;
    Program p;
    p.id = glCreateProgram();
    GLuint vs = Compile(GL_VERTEX_SHADER, defines + kVertex), fs = Compile(GL_FRAGMENT_SHADER, defines + kFragment);
    glAttachShader(p.id, vs);
    glAttachShader(p.id, fs);
    glLinkProgram(p.id);
    glDeleteShader(vs);
    glDeleteShader(fs);
    p.worldViewProj = glGetUniformLocation(p.id, "uWorldViewProj");
    p.screen = glGetUniformLocation(p.id, "uScreen");
    p.color = glGetUniformLocation(p.id, "uColor");
    p.alphaRef = glGetUniformLocation(p.id, "uAlphaRef");
    return cache[defines] = p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: plain_gl <scene file>\n");
        return 2;
    }
    scene_file::Scene scene;
    if (!scene_file::Read(argv[1], &scene)) {
        std::fprintf(stderr, "plain_gl: cannot read %s\n", argv[1]);
        return 1;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "plain_gl: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_Window* window = SDL_CreateWindow("plain_gl", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                          static_cast<int>(scene.width), static_cast<int>(scene.height),
                                          SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "plain_gl: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetSwapInterval(0);

    std::vector<GLuint> textures(scene.textures.size());
    glGenTextures(static_cast<GLsizei>(textures.size()), textures.data());
    for (size_t i = 0; i < textures.size(); ++i) {
        const scene_file::Texture& t = scene.textures[i];
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        for (size_t level = 0; level < t.levels.size(); ++level) {
            const GLsizei w = static_cast<GLsizei>(t.width >> level ? t.width >> level : 1);
            const GLsizei h = static_cast<GLsizei>(t.height >> level ? t.height >> level : 1);
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         t.levels[level].data());
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(t.levels.size()) - 1);
    }
    // A program keeps no copy of what the driver holds.
    scene.textures.clear();
    scene.textures.shrink_to_fit();

    GLuint vao;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    std::vector<GLuint> vbs(scene.vertexBuffers.size()), ibs(scene.indexBuffers.size());
    glGenBuffers(static_cast<GLsizei>(vbs.size()), vbs.data());
    glGenBuffers(static_cast<GLsizei>(ibs.size()), ibs.data());
    for (size_t i = 0; i < vbs.size(); ++i) {
        auto& b = scene.vertexBuffers[i];
        glBindBuffer(GL_ARRAY_BUFFER, vbs[i]);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(b.vertices.size() * sizeof(scene_file::Vertex)),
                     b.vertices.data(), b.dynamic ? GL_STREAM_DRAW : GL_STATIC_DRAW);
        if (!b.dynamic) std::vector<scene_file::Vertex>().swap(b.vertices);
    }
    for (size_t i = 0; i < ibs.size(); ++i) {
        auto& b = scene.indexBuffers[i];
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibs[i]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(b.bytes.size()), b.bytes.data(),
                     b.dynamic ? GL_STREAM_DRAW : GL_STATIC_DRAW);
        if (!b.dynamic) std::vector<uint8_t>().swap(b.bytes);
    }
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glEnableVertexAttribArray(2);
    glFrontFace(GL_CW);

    std::map<std::string, Program> programs;
    const float clear[4] = {((scene.clearColor >> 16) & 255) / 255.0f, ((scene.clearColor >> 8) & 255) / 255.0f,
                            (scene.clearColor & 255) / 255.0f, 1.0f};
    bool running = true;
    while (running) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            if (e.type == SDL_QUIT || (e.type == SDL_KEYDOWN && e.key.keysym.sym == SDLK_ESCAPE)) running = false;
        }
        glDepthMask(GL_TRUE);
        glClearColor(clear[0], clear[1], clear[2], clear[3]);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // What the program rewrites every frame, the same amount here.
        for (size_t i = 0; i < vbs.size(); ++i) {
            const auto& b = scene.vertexBuffers[i];
            if (!b.dynamic) continue;
            glBindBuffer(GL_ARRAY_BUFFER, vbs[i]);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(b.vertices.size() * sizeof(scene_file::Vertex)),
                         b.vertices.data(), GL_STREAM_DRAW);
        }
        for (size_t i = 0; i < ibs.size(); ++i) {
            const auto& b = scene.indexBuffers[i];
            if (!b.dynamic) continue;
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibs[i]);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(b.bytes.size()), b.bytes.data(),
                         GL_STREAM_DRAW);
        }
        for (const Draw& d : scene.draws) {
            const Program p = ProgramFor(d, programs);
            glUseProgram(p.id);
            glUniformMatrix4fv(p.worldViewProj, 1, GL_FALSE, d.worldViewProj);
            glUniform2f(p.screen, static_cast<float>(scene.width), static_cast<float>(scene.height));
            glUniform4fv(p.color, 1, d.color);
            glUniform1f(p.alphaRef, d.alphaRef);
            if (d.texture >= 0) {
                glBindTexture(GL_TEXTURE_2D, textures[static_cast<size_t>(d.texture)]);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(d.minFilter));
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(d.magFilter));
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(d.wrapS));
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(d.wrapT));
            }
            if (d.blend) {
                glEnable(GL_BLEND);
                glBlendFunc(d.blendSrc, d.blendDst);
            } else {
                glDisable(GL_BLEND);
            }
            if (d.depthTest) {
                glEnable(GL_DEPTH_TEST);
                glDepthFunc(d.depthFunc);
                glDepthMask(d.depthWrite ? GL_TRUE : GL_FALSE);
            } else {
                glDisable(GL_DEPTH_TEST);
            }
            if (d.cull) {
                glEnable(GL_CULL_FACE);
                glCullFace(d.cull);
            } else {
                glDisable(GL_CULL_FACE);
            }
            glBindBuffer(GL_ARRAY_BUFFER, vbs[d.vertexBuffer]);
            const GLsizei stride = sizeof(scene_file::Vertex);
            glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(0));
            glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(16));
            glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, reinterpret_cast<const void*>(24));
            if (d.indexBuffer >= 0) {
                const auto& ib = scene.indexBuffers[static_cast<size_t>(d.indexBuffer)];
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibs[static_cast<size_t>(d.indexBuffer)]);
                glDrawElementsBaseVertex(d.mode, static_cast<GLsizei>(d.count),
                                         ib.indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                         reinterpret_cast<const void*>(static_cast<uintptr_t>(d.first) * ib.indexSize),
                                         d.baseVertex);
            } else {
                glDrawArrays(d.mode, static_cast<GLint>(d.first), static_cast<GLsizei>(d.count));
            }
        }
        SDL_GL_SwapWindow(window);
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
