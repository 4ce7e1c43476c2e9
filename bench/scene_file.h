// One frame of the program as plain data: the triangles it draws, with their
// textures, matrices and states. Written by scene_capture (the program run on
// the null device), read by plain_gl (a plain SDL2 + OpenGL program), so the
// two can be compared drawing the same thing. States are OpenGL's already.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace scene_file {

struct Texture {
    uint32_t width = 0, height = 0;
    std::vector<std::vector<uint8_t>> levels;  // R, G, B, A bytes, top row first
};

struct Vertex {
    float position[4];  // x, y, z, 1; or screen x, y, z, rhw when pretransformed
    float uv[2];
    uint32_t color;  // A8R8G8B8
};

struct VertexBuffer {
    bool dynamic = false;  // rewritten every frame (skinning, text)
    std::vector<Vertex> vertices;
};

struct IndexBuffer {
    bool dynamic = false;
    uint32_t indexSize = 2;
    std::vector<uint8_t> bytes;
};

enum Source : uint32_t { kTextureTimesColor = 0, kTexture = 1, kColor = 2 };

struct Draw {
    uint32_t mode = 0;          // GL primitive mode
    uint32_t pretransformed = 0;
    uint32_t vertexBuffer = 0;
    int32_t indexBuffer = -1;   // -1: not indexed
    uint32_t first = 0;         // first vertex, or first index
    uint32_t count = 0;
    int32_t baseVertex = 0;
    float worldViewProj[16] = {};  // row vectors, as the program's matrices
    int32_t texture = -1;
    uint32_t constantColor = 0;    // 1: `color` instead of the vertices' colours
    float color[4] = {1, 1, 1, 1};
    uint32_t colorSource = kTextureTimesColor, alphaSource = kTextureTimesColor;
    uint32_t minFilter = 0, magFilter = 0, wrapS = 0, wrapT = 0;
    uint32_t blend = 0, blendSrc = 0, blendDst = 0;
    uint32_t alphaTest = 0, alphaFunc = 0;
    float alphaRef = 0;
    uint32_t depthTest = 0, depthWrite = 0, depthFunc = 0;
    uint32_t cull = 0;          // 0, or the GL face culled (front faces are clockwise)
};

struct Scene {
    uint32_t width = 1024, height = 768;
    uint32_t clearColor = 0xFF000000;
    std::vector<Texture> textures;
    std::vector<VertexBuffer> vertexBuffers;
    std::vector<IndexBuffer> indexBuffers;
    std::vector<Draw> draws;
};

constexpr char kMagic[8] = {'B', 'R', 'S', 'C', 'E', 'N', 'E', '1'};

namespace detail {

struct Writer {
    std::FILE* f;
    void Raw(const void* p, size_t n) { std::fwrite(p, 1, n, f); }
    void U32(uint32_t v) { Raw(&v, 4); }
    template <class T>
    void Pod(const T& v) { Raw(&v, sizeof v); }
    template <class T>
    void Array(const std::vector<T>& v) {
        U32(static_cast<uint32_t>(v.size()));
        if (!v.empty()) Raw(v.data(), v.size() * sizeof(T));
    }
};

struct Reader {
    std::FILE* f;
    bool ok = true;
    void Raw(void* p, size_t n) { ok = ok && std::fread(p, 1, n, f) == n; }
    uint32_t U32() {
        uint32_t v = 0;
        Raw(&v, 4);
        return v;
    }
    template <class T>
    void Pod(T* v) { Raw(v, sizeof *v); }
    template <class T>
    void Array(std::vector<T>* v, size_t limit) {
        const uint32_t n = U32();
        if (!ok || n > limit) {
            ok = false;
            return;
        }
        v->resize(n);
        if (n) Raw(v->data(), n * sizeof(T));
    }
};

}  // namespace detail

inline bool Write(const Scene& s, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    detail::Writer w{f};
    w.Raw(kMagic, sizeof kMagic);
    w.U32(s.width);
    w.U32(s.height);
    w.U32(s.clearColor);
    w.U32(static_cast<uint32_t>(s.textures.size()));
    for (const Texture& t : s.textures) {
        w.U32(t.width);
        w.U32(t.height);
        w.U32(static_cast<uint32_t>(t.levels.size()));
        for (const auto& level : t.levels) w.Array(level);
    }
    w.U32(static_cast<uint32_t>(s.vertexBuffers.size()));
    for (const VertexBuffer& b : s.vertexBuffers) {
        w.U32(b.dynamic);
        w.Array(b.vertices);
    }
    w.U32(static_cast<uint32_t>(s.indexBuffers.size()));
    for (const IndexBuffer& b : s.indexBuffers) {
        w.U32(b.dynamic);
        w.U32(b.indexSize);
        w.Array(b.bytes);
    }
    w.Array(s.draws);
    return std::fclose(f) == 0;
}

// Every draw names buffers and textures the scene has and reads only
// vertices and indices within them; every texture level has its size.
inline bool Valid(const Scene& s) {
    for (const Texture& t : s.textures)
        for (size_t i = 0; i < t.levels.size(); ++i) {
            const size_t w = t.width >> i ? t.width >> i : 1, h = t.height >> i ? t.height >> i : 1;
            if (t.levels[i].size() != w * h * 4) return false;
        }
    for (const Draw& d : s.draws) {
        if (d.vertexBuffer >= s.vertexBuffers.size()) return false;
        if (d.texture >= 0 && static_cast<size_t>(d.texture) >= s.textures.size()) return false;
        const uint64_t vertices = s.vertexBuffers[d.vertexBuffer].vertices.size();
        if (d.indexBuffer < 0) {
            if (uint64_t{d.first} + d.count > vertices) return false;
            continue;
        }
        if (static_cast<size_t>(d.indexBuffer) >= s.indexBuffers.size()) return false;
        const IndexBuffer& ib = s.indexBuffers[static_cast<size_t>(d.indexBuffer)];
        if ((ib.indexSize != 2 && ib.indexSize != 4) || (uint64_t{d.first} + d.count) * ib.indexSize > ib.bytes.size())
            return false;
        for (uint32_t i = 0; i < d.count; ++i) {
            uint32_t index = 0;
            std::memcpy(&index, &ib.bytes[(size_t{d.first} + i) * ib.indexSize], ib.indexSize);
            const int64_t vertex = int64_t{index} + d.baseVertex;
            if (vertex < 0 || static_cast<uint64_t>(vertex) >= vertices) return false;
        }
    }
    return true;
}

inline bool Read(const std::string& path, Scene* s) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    detail::Reader r{f};
    char magic[sizeof kMagic] = {};
    r.Raw(magic, sizeof magic);
    r.ok = r.ok && std::string(magic, sizeof magic) == std::string(kMagic, sizeof kMagic);
    s->width = r.U32();
    s->height = r.U32();
    s->clearColor = r.U32();
    constexpr size_t kLimit = 64u << 20;
    const uint32_t textures = r.U32();
    for (uint32_t i = 0; r.ok && i < textures && i < 4096; ++i) {
        Texture t;
        t.width = r.U32();
        t.height = r.U32();
        t.levels.resize(r.U32() & 31);
        for (auto& level : t.levels) r.Array(&level, kLimit);
        s->textures.push_back(std::move(t));
    }
    const uint32_t vbs = r.U32();
    for (uint32_t i = 0; r.ok && i < vbs && i < 4096; ++i) {
        VertexBuffer b;
        b.dynamic = r.U32() != 0;
        r.Array(&b.vertices, kLimit);
        s->vertexBuffers.push_back(std::move(b));
    }
    const uint32_t ibs = r.U32();
    for (uint32_t i = 0; r.ok && i < ibs && i < 4096; ++i) {
        IndexBuffer b;
        b.dynamic = r.U32() != 0;
        b.indexSize = r.U32();
        r.Array(&b.bytes, kLimit);
        s->indexBuffers.push_back(std::move(b));
    }
    r.Array(&s->draws, 1u << 20);
    std::fclose(f);
    return r.ok && Valid(*s);
}

}  // namespace scene_file
