// Records what the program draws in one frame, standing, from its generated
// data: the program runs on the null device, every draw of two frames in a
// row is read back through the device's own Get* calls and locks, and the
// second frame is written as plain data (scene_file.h). A buffer whose
// content differs between the two frames is marked as rewritten every frame.
//   scene_capture <out file> [frame]
#include <epoxy/gl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "app/Globals.h"
#include "bench/scene_file.h"
#include "platform/d3d9/gl_enums.h"
#include "platform/d3d9/vertex_layout.h"
#include "platform/testing.h"
#include "tests/support/program_fixtures.h"

namespace {

namespace pt = platform_testing;
using scene_file::Draw;
using scene_file::Vertex;

struct Capture {
    scene_file::Scene scene;
    std::map<unsigned, int> textures;       // object id -> index
    std::map<unsigned, int> vertexBuffers;  // object id -> index
    std::map<unsigned, int> indexBuffers;
    std::vector<std::string> problems;
};

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    return r;
}

DWORD State(D3DRENDERSTATETYPE s) {
    DWORD v = 0;
    g_Device->GetRenderState(s, &v);
    return v;
}
DWORD Stage(D3DTEXTURESTAGESTATETYPE s) {
    DWORD v = 0;
    g_Device->GetTextureStageState(0, s, &v);
    return v;
}
DWORD Sampler(D3DSAMPLERSTATETYPE s) {
    DWORD v = 0;
    g_Device->GetSamplerState(0, s, &v);
    return v;
}

// What a stage takes from the texture and the colour, for the three
// combinations the program's states make.
uint32_t Source(DWORD op, DWORD arg1, DWORD arg2, std::vector<std::string>* problems) {
    arg1 &= 0x3F;
    arg2 &= 0x3F;
    auto colour = [](DWORD a) { return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT; };
    if (op == D3DTOP_DISABLE) return scene_file::kColor;
    if (op == D3DTOP_SELECTARG1) return arg1 == D3DTA_TEXTURE ? scene_file::kTexture : scene_file::kColor;
    if (op == D3DTOP_SELECTARG2) return arg2 == D3DTA_TEXTURE ? scene_file::kTexture : scene_file::kColor;
    if (op == D3DTOP_MODULATE && ((arg1 == D3DTA_TEXTURE && colour(arg2)) || (arg2 == D3DTA_TEXTURE && colour(arg1))))
        return scene_file::kTextureTimesColor;
    problems->push_back("a stage operation drawn as texture times colour");
    return scene_file::kTextureTimesColor;
}

int AddTexture(Capture& c, IDirect3DBaseTexture9* base) {
    const unsigned id = pt::D3D9ObjectId(base);
    auto known = c.textures.find(id);
    if (known != c.textures.end()) return known->second;
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(base->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(&texture)))) return -1;
    scene_file::Texture t;
    for (DWORD level = 0; level < texture->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(level, &desc);
        if (level == 0) {
            t.width = desc.Width;
            t.height = desc.Height;
        }
        if (desc.Format != D3DFMT_A8R8G8B8 && desc.Format != D3DFMT_X8R8G8B8) {
            c.problems.push_back("a texture format other than A8R8G8B8 and X8R8G8B8");
            break;
        }
        D3DLOCKED_RECT lr;
        if (FAILED(texture->LockRect(level, &lr, nullptr, D3DLOCK_READONLY))) break;
        std::vector<uint8_t> rgba(static_cast<size_t>(desc.Width) * desc.Height * 4);
        for (UINT y = 0; y < desc.Height; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(lr.pBits) + static_cast<size_t>(y) * lr.Pitch;
            for (UINT x = 0; x < desc.Width; ++x) {
                uint8_t* out = &rgba[(static_cast<size_t>(y) * desc.Width + x) * 4];
                out[0] = row[x * 4 + 2];
                out[1] = row[x * 4 + 1];
                out[2] = row[x * 4 + 0];
                out[3] = desc.Format == D3DFMT_X8R8G8B8 ? 255 : row[x * 4 + 3];
            }
        }
        texture->UnlockRect(level);
        t.levels.push_back(std::move(rgba));
    }
    texture->Release();
    c.scene.textures.push_back(std::move(t));
    return c.textures[id] = static_cast<int>(c.scene.textures.size()) - 1;
}

// The vertices [0, count) of `data` as the layout places them.
std::vector<Vertex> Vertices(const d3d9::VertexLayout& layout, const uint8_t* data, UINT stride, UINT count) {
    const d3d9::VertexElement* position =
        layout.Find(layout.pretransformed ? D3DDECLUSAGE_POSITIONT : D3DDECLUSAGE_POSITION, 0);
    const d3d9::VertexElement* color = layout.Find(D3DDECLUSAGE_COLOR, 0);
    const d3d9::VertexElement* uv = layout.Find(D3DDECLUSAGE_TEXCOORD, Stage(D3DTSS_TEXCOORDINDEX) & 0xFFFF);
    std::vector<Vertex> out(count);
    for (UINT i = 0; i < count; ++i) {
        const uint8_t* v = data + static_cast<size_t>(i) * stride;
        Vertex& o = out[i];
        o.position[3] = 1;
        std::memcpy(o.position, v + position->offset, layout.pretransformed ? 16 : 12);
        o.uv[0] = o.uv[1] = 0;
        if (uv) std::memcpy(o.uv, v + uv->offset, 8);
        o.color = 0xFFFFFFFF;
        if (color) std::memcpy(&o.color, v + color->offset, 4);
    }
    return out;
}

void Record(Capture& c, const pt::D3D9Draw& d) {
    IDirect3DVertexShader9* shader = nullptr;
    g_Device->GetVertexShader(&shader);
    if (shader) {
        shader->Release();
        c.problems.push_back("a draw through a vertex shader left out");
        return;
    }
    d3d9::VertexLayout layout;
    DWORD fvf = 0;
    g_Device->GetFVF(&fvf);
    IDirect3DVertexDeclaration9* declaration = nullptr;
    g_Device->GetVertexDeclaration(&declaration);
    if (declaration) {
        D3DVERTEXELEMENT9 elements[MAXD3DDECLLENGTH + 1];
        UINT n = MAXD3DDECLLENGTH + 1;
        declaration->GetDeclaration(elements, &n);
        declaration->Release();
        if (!d3d9::LayoutFromElements(elements, n > 0 ? n - 1 : 0, &layout)) return;
    } else if (!d3d9::LayoutFromFvf(fvf, &layout)) {
        return;
    }
    if (layout.streamMask != 1u) {
        c.problems.push_back("a draw from several streams left out");
        return;
    }

    Draw draw;
    draw.mode = d3d9::PrimitiveMode(d.type);
    draw.pretransformed = layout.pretransformed;
    draw.first = d.first;
    draw.count = d.count;
    draw.baseVertex = d.baseVertex;

    // The vertices: a buffer of the device once per buffer, the program's own
    // memory as a buffer of its own that changes every frame.
    if (d.upVertices) {
        scene_file::VertexBuffer b;
        b.dynamic = true;
        b.vertices = Vertices(layout, static_cast<const uint8_t*>(d.upVertices), d.upStride, d.highest + 1);
        c.scene.vertexBuffers.push_back(std::move(b));
        draw.vertexBuffer = static_cast<uint32_t>(c.scene.vertexBuffers.size() - 1);
    } else {
        IDirect3DVertexBuffer9* vb = nullptr;
        UINT offset = 0, stride = 0;
        g_Device->GetStreamSource(0, &vb, &offset, &stride);
        const unsigned id = pt::D3D9ObjectId(vb);
        auto known = c.vertexBuffers.find(id);
        if (known == c.vertexBuffers.end()) {
            D3DVERTEXBUFFER_DESC desc;
            vb->GetDesc(&desc);
            void* data = nullptr;
            vb->Lock(0, 0, &data, D3DLOCK_READONLY);
            scene_file::VertexBuffer b;
            b.vertices = Vertices(layout, static_cast<const uint8_t*>(data) + offset, stride,
                                  (desc.Size - offset) / stride);
            vb->Unlock();
            c.scene.vertexBuffers.push_back(std::move(b));
            known = c.vertexBuffers.emplace(id, static_cast<int>(c.scene.vertexBuffers.size()) - 1).first;
        }
        vb->Release();
        draw.vertexBuffer = static_cast<uint32_t>(known->second);
    }
    if (d.indexed && d.upIndices) {
        scene_file::IndexBuffer b;
        b.dynamic = true;
        b.indexSize = d.upIndexSize;
        const uint8_t* p = static_cast<const uint8_t*>(d.upIndices);
        b.bytes.assign(p, p + static_cast<size_t>(d.count) * d.upIndexSize);
        c.scene.indexBuffers.push_back(std::move(b));
        draw.indexBuffer = static_cast<int32_t>(c.scene.indexBuffers.size()) - 1;
    } else if (d.indexed) {
        IDirect3DIndexBuffer9* ib = nullptr;
        g_Device->GetIndices(&ib);
        const unsigned id = pt::D3D9ObjectId(ib);
        auto known = c.indexBuffers.find(id);
        if (known == c.indexBuffers.end()) {
            D3DINDEXBUFFER_DESC desc;
            ib->GetDesc(&desc);
            void* data = nullptr;
            ib->Lock(0, 0, &data, D3DLOCK_READONLY);
            scene_file::IndexBuffer b;
            b.indexSize = desc.Format == D3DFMT_INDEX32 ? 4 : 2;
            b.bytes.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + desc.Size);
            ib->Unlock();
            c.scene.indexBuffers.push_back(std::move(b));
            known = c.indexBuffers.emplace(id, static_cast<int>(c.scene.indexBuffers.size()) - 1).first;
        }
        ib->Release();
        draw.indexBuffer = known->second;
    }

    D3DMATRIX world, view, projection;
    g_Device->GetTransform(D3DTS_WORLD, &world);
    g_Device->GetTransform(D3DTS_VIEW, &view);
    g_Device->GetTransform(D3DTS_PROJECTION, &projection);
    const D3DMATRIX wvp = Multiply(Multiply(world, view), projection);
    std::memcpy(draw.worldViewProj, &wvp, sizeof draw.worldViewProj);

    // Lit without lights: emissive plus ambient, the same for every vertex.
    if (State(D3DRS_LIGHTING) && !layout.pretransformed) {
        D3DMATERIAL9 m;
        g_Device->GetMaterial(&m);
        const DWORD a = State(D3DRS_AMBIENT);
        const float ambient[3] = {((a >> 16) & 255) / 255.0f, ((a >> 8) & 255) / 255.0f, (a & 255) / 255.0f};
        auto clamp = [](float v) { return v < 0 ? 0 : v > 1 ? 1 : v; };
        draw.constantColor = 1;
        draw.color[0] = clamp(m.Emissive.r + ambient[0] * m.Ambient.r);
        draw.color[1] = clamp(m.Emissive.g + ambient[1] * m.Ambient.g);
        draw.color[2] = clamp(m.Emissive.b + ambient[2] * m.Ambient.b);
        draw.color[3] = clamp(m.Diffuse.a);
        if (layout.Find(D3DDECLUSAGE_COLOR, 0)) c.problems.push_back("vertex colours under lighting left out");
    }

    IDirect3DBaseTexture9* texture = nullptr;
    g_Device->GetTexture(0, &texture);
    if (texture) {
        draw.texture = AddTexture(c, texture);
        texture->Release();
    }
    draw.colorSource = Source(Stage(D3DTSS_COLOROP), Stage(D3DTSS_COLORARG1), Stage(D3DTSS_COLORARG2), &c.problems);
    draw.alphaSource = Stage(D3DTSS_COLOROP) == D3DTOP_DISABLE
                           ? scene_file::kColor
                           : Source(Stage(D3DTSS_ALPHAOP), Stage(D3DTSS_ALPHAARG1), Stage(D3DTSS_ALPHAARG2),
                                    &c.problems);
    draw.minFilter = static_cast<uint32_t>(d3d9::MinFilter(Sampler(D3DSAMP_MINFILTER), Sampler(D3DSAMP_MIPFILTER),
                                                            draw.texture >= 0 ? 2 : 1));
    draw.magFilter = static_cast<uint32_t>(d3d9::MagFilter(Sampler(D3DSAMP_MAGFILTER)));
    draw.wrapS = static_cast<uint32_t>(d3d9::AddressMode(Sampler(D3DSAMP_ADDRESSU)));
    draw.wrapT = static_cast<uint32_t>(d3d9::AddressMode(Sampler(D3DSAMP_ADDRESSV)));

    draw.blend = State(D3DRS_ALPHABLENDENABLE) != 0;
    GLenum src, dst;
    bool constant = false;
    d3d9::BlendFactors(State(D3DRS_SRCBLEND), State(D3DRS_DESTBLEND), &src, &dst, &constant);
    draw.blendSrc = src;
    draw.blendDst = dst;
    draw.alphaTest = State(D3DRS_ALPHATESTENABLE) != 0;
    draw.alphaFunc = d3d9::CompareFunc(State(D3DRS_ALPHAFUNC));
    draw.alphaRef = static_cast<float>(State(D3DRS_ALPHAREF) & 255) / 255.0f;
    draw.depthTest = State(D3DRS_ZENABLE) != D3DZB_FALSE;
    draw.depthWrite = State(D3DRS_ZWRITEENABLE) != 0;
    draw.depthFunc = d3d9::CompareFunc(State(D3DRS_ZFUNC));
    const DWORD cull = State(D3DRS_CULLMODE);
    draw.cull = cull == D3DCULL_CCW ? GL_BACK : cull == D3DCULL_CW ? GL_FRONT : 0;
    c.scene.draws.push_back(draw);
}

bool SameVertices(const scene_file::VertexBuffer& a, const scene_file::VertexBuffer& b) {
    return a.vertices.size() == b.vertices.size() &&
           std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(Vertex)) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: scene_capture <out file> [frame]\n");
        return 2;
    }
    const std::string out = argv[1];
    const unsigned frame = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 60;
    if (chdir(BRANTO_BIN_DIR) != 0) {
        std::perror(BRANTO_BIN_DIR);
        return 1;
    }
    program_fixtures::ArrangeProgram();
    pt::RecordD3D9Calls(false);

    Capture previous, current;
    Capture* into = nullptr;
    pt::SetD3D9DrawHook([&](const pt::D3D9Draw& d) {
        if (into) Record(*into, d);
    });
    const int rc = program_fixtures::RunFrames([&](unsigned presented) {
        // Frame n is drawn after n presents.
        into = presented + 2 == frame ? &previous : presented + 1 == frame ? &current : nullptr;
        return presented >= frame;
    });
    pt::SetD3D9DrawHook(nullptr);
    if (rc != 0 || current.scene.draws.empty()) {
        std::fprintf(stderr, "scene_capture: the program ran no frame %u (exit %d)\n", frame, rc);
        return 1;
    }
    // Rewritten every frame: what differs from the frame before.
    for (const auto& [id, index] : current.vertexBuffers) {
        auto before = previous.vertexBuffers.find(id);
        auto& now = current.scene.vertexBuffers[static_cast<size_t>(index)];
        if (before == previous.vertexBuffers.end() ||
            !SameVertices(previous.scene.vertexBuffers[static_cast<size_t>(before->second)], now))
            now.dynamic = true;
    }
    for (const auto& [id, index] : current.indexBuffers) {
        auto before = previous.indexBuffers.find(id);
        auto& now = current.scene.indexBuffers[static_cast<size_t>(index)];
        if (before == previous.indexBuffers.end() ||
            previous.scene.indexBuffers[static_cast<size_t>(before->second)].bytes != now.bytes)
            now.dynamic = true;
    }
    size_t triangles = 0, dynamicVertices = 0;
    for (const Draw& d : current.scene.draws) triangles += d.mode == GL_TRIANGLES ? d.count / 3 : d.count - 2;
    for (const auto& b : current.scene.vertexBuffers)
        if (b.dynamic) dynamicVertices += b.vertices.size();
    std::map<std::string, int> problems;
    for (const std::string& p : current.problems) problems[p]++;
    for (const auto& [p, n] : problems) std::fprintf(stderr, "scene_capture: %s (%d times)\n", p.c_str(), n);
    if (!scene_file::Write(current.scene, out)) {
        std::perror(out.c_str());
        return 1;
    }
    std::printf("frame %u: %zu draws, %zu triangles, %zu textures, %zu vertices rewritten each frame\n", frame,
                current.scene.draws.size(), triangles, current.scene.textures.size(), dynamicVertices);
    return 0;
}
