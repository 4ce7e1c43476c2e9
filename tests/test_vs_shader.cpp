// Vertex shaders run by the device at draw time, seen through the null back
// end: each vertex's results against values worked out by hand, the vertex
// fetch of each element type, and the draws and token streams refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/testing.h"
#include "tests/support/device_fixtures.h"

namespace pt = platform_testing;

namespace {

struct Vec4 {
    float x, y, z, w;
};

void ExpectNear(const float* got, const Vec4& want, const std::string& what) {
    const float w[4] = {want.x, want.y, want.z, want.w};
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(got[c], w[c], 1e-5f) << what << ", component " << c;
}

class Shading : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetD3D9();
        dev = device_fixtures::NullDevice(64, 48);
        ASSERT_NE(dev, nullptr);
    }
    void TearDown() override {
        for (IUnknown* o : owned) o->Release();
        dev->Release();
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 0);
        pt::ResetD3D9();
    }

    IDirect3DVertexShader9* Shader(const std::string& source) {
        LPD3DXBUFFER code = nullptr, errors = nullptr;
        EXPECT_EQ(D3DXAssembleShader(source.data(), UINT(source.size()), nullptr, nullptr, 0, &code, &errors), D3D_OK)
            << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        if (errors) errors->Release();
        if (!code) return nullptr;
        IDirect3DVertexShader9* shader = nullptr;
        EXPECT_EQ(dev->CreateVertexShader(static_cast<const DWORD*>(code->GetBufferPointer()), &shader), D3D_OK);
        code->Release();
        owned.push_back(shader);
        return shader;
    }

    IDirect3DVertexDeclaration9* Declaration(const std::vector<D3DVERTEXELEMENT9>& elements) {
        std::vector<D3DVERTEXELEMENT9> all = elements;
        all.push_back(D3DDECL_END());
        IDirect3DVertexDeclaration9* decl = nullptr;
        EXPECT_EQ(dev->CreateVertexDeclaration(all.data(), &decl), D3D_OK);
        owned.push_back(decl);
        return decl;
    }

    // One point through `shader`, its vertex `bytes` laid out by `decl`; what
    // the shader made of it (null when the draw was refused).
    const pt::D3D9ShadedVertex* One(IDirect3DVertexShader9* shader, IDirect3DVertexDeclaration9* decl,
                                    const void* bytes, UINT stride, HRESULT expect = D3D_OK) {
        pt::ClearD3D9Calls();
        dev->SetVertexShader(shader);
        dev->SetVertexDeclaration(decl);
        EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_POINTLIST, 1, bytes, stride), expect);
        const auto& draws = pt::D3D9ShadedDraws();
        if (draws.empty()) return nullptr;
        EXPECT_EQ(draws.size(), 1u);
        EXPECT_EQ(draws[0].vertices.size(), 1u);
        return &draws[0].vertices[0];
    }

    IDirect3DDevice9* dev = nullptr;
    std::vector<IUnknown*> owned;
};

const std::vector<D3DVERTEXELEMENT9> kTwoFloat4 = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 16, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0}};

TEST_F(Shading, EachInstructionGivesWhatWasWorkedOutByHand) {
    IDirect3DVertexDeclaration9* decl = Declaration(kTwoFloat4);
    const float vertex[8] = {1, 2, 3, 4, -0.5f, 0.25f, 2, -3};  // v0 = a, v1 = b
    const float c7[4] = {10, 20, 30, 40};
    const float c2[4] = {9, 9, 9, 9};
    const float matrix[16] = {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 3, 1, 1, 1, 1, 1};  // c8..c11, one row per component
    dev->SetVertexShaderConstantF(7, c7, 1);
    dev->SetVertexShaderConstantF(2, c2, 1);
    dev->SetVertexShaderConstantF(8, matrix, 4);
    struct Case {
        const char* body;  // leaves its result in r0
        Vec4 result;
    } const cases[] = {
        {"mov r0, v0", {1, 2, 3, 4}},
        {"mov r0, -v0.wzyx", {-4, -3, -2, -1}},
        {"add r0, v0, v1", {0.5f, 2.25f, 5, 1}},
        {"sub r0, v0, -v1", {0.5f, 2.25f, 5, 1}},
        {"sub r0, v0, v1", {1.5f, 1.75f, 1, 7}},
        {"mul r0, v0, v1.x", {-0.5f, -1, -1.5f, -2}},
        {"mad r0, v0, v1, c7", {9.5f, 20.5f, 36, 28}},
        {"mad r0, -v0, v1, -c7", {-9.5f, -20.5f, -36, -28}},
        {"dp3 r0, v0, v1", {6, 6, 6, 6}},
        {"dp4 r0, v0, v1", {-6, -6, -6, -6}},
        {"mov r0, v0\ndp4 r0.yz, v0, -v1", {1, 6, 6, 4}},
        {"min r0, v0, v1", {-0.5f, 0.25f, 2, -3}},
        {"max r0, v0, -v1", {1, 2, 3, 4}},
        {"rcp r0, v1.y", {4, 4, 4, 4}},
        {"rcp r0, v1", {-1 / 3.0f, -1 / 3.0f, -1 / 3.0f, -1 / 3.0f}},  // without a swizzle: w
        {"rsq r0, v1.w", {0.57735027f, 0.57735027f, 0.57735027f, 0.57735027f}},
        {"m4x4 r0, v0, c8", {1, 4, 13, 10}},
        {"mov r0, v0\nmov r0.yw, v1", {1, 0.25f, 3, -3}},
        {"add r0, v0, c2", {10, 11, 12, 13}},
        {"def c2, 1, 1, 1, 1\nadd r0, v0, c2", {2, 3, 4, 5}},  // a defined constant wins
        // The destination read in the same instruction: every component from the old value.
        {"mov r0, v1\nadd r0.xy, v0, v1\nadd r0, r0.yxzw, r0", {2.75f, 2.75f, 4, -6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        IDirect3DVertexShader9* shader =
            Shader(std::string("vs_1_1\ndcl_position v0\ndcl_texcoord v1\n") + c.body + "\nmov oPos, r0\n");
        const pt::D3D9ShadedVertex* v = One(shader, decl, vertex, sizeof vertex);
        ASSERT_NE(v, nullptr);
        ExpectNear(v->position, c.result, "oPos");
    }
}

TEST_F(Shading, OutputsStartAtTheirDefaultsAndColoursAreClamped) {
    IDirect3DVertexDeclaration9* decl = Declaration(kTwoFloat4);
    const float vertex[8] = {-2, 0.5f, 2, 0.25f, 7, 8, 9, 10};
    const pt::D3D9ShadedVertex* v =
        One(Shader("vs_1_1\ndcl_position v0\ndcl_texcoord v1\nmov oPos, v1\nmov oD1, v0\nmov oT0.xy, v1"), decl,
            vertex, sizeof vertex);
    ASSERT_NE(v, nullptr);
    ExpectNear(v->position, {7, 8, 9, 10}, "oPos");
    ExpectNear(v->diffuse, {1, 1, 1, 1}, "oD0 not written: white");
    ExpectNear(v->specular, {0, 0.5f, 1, 0.25f}, "oD1 clamped to 0..1");
    ExpectNear(v->texCoord, {7, 8, 0, 1}, "oT0: z and w as they start");
}

TEST_F(Shading, EveryElementTypeReachesTheShaderAsFourFloats) {
    IDirect3DVertexShader9* shader = Shader("vs_1_1\ndcl_position v0\nmov oPos, v0");
    struct Case {
        const char* what;
        D3DDECLTYPE type;
        std::vector<uint8_t> bytes;
        Vec4 result;
    };
    auto floats = [](std::vector<float> f) {
        std::vector<uint8_t> b(f.size() * 4);
        std::memcpy(b.data(), f.data(), b.size());
        return b;
    };
    auto shorts = [](std::vector<int16_t> s) {
        std::vector<uint8_t> b(s.size() * 2);
        std::memcpy(b.data(), s.data(), b.size());
        return b;
    };
    const Case cases[] = {
        {"FLOAT1", D3DDECLTYPE_FLOAT1, floats({5}), {5, 0, 0, 1}},
        {"FLOAT2", D3DDECLTYPE_FLOAT2, floats({5, 6}), {5, 6, 0, 1}},
        {"FLOAT3", D3DDECLTYPE_FLOAT3, floats({5, 6, 7}), {5, 6, 7, 1}},
        {"FLOAT4", D3DDECLTYPE_FLOAT4, floats({5, 6, 7, 8}), {5, 6, 7, 8}},
        // 0xAARRGGBB = 0x33CC6600, stored B, G, R, A.
        {"D3DCOLOR", D3DDECLTYPE_D3DCOLOR, {0x00, 0x66, 0xCC, 0x33}, {0.8f, 0.4f, 0, 0.2f}},
        {"UBYTE4", D3DDECLTYPE_UBYTE4, {1, 2, 3, 255}, {1, 2, 3, 255}},
        {"UBYTE4N", D3DDECLTYPE_UBYTE4N, {0, 51, 102, 255}, {0, 0.2f, 0.4f, 1}},
        {"SHORT2", D3DDECLTYPE_SHORT2, shorts({-3, 7}), {-3, 7, 0, 1}},
        {"SHORT4N", D3DDECLTYPE_SHORT4N, shorts({32767, -32767, -32768, 0}), {1, -1, -1, 0}},
        {"USHORT2N", D3DDECLTYPE_USHORT2N, shorts({-1, 0}), {1, 0, 0, 1}},
        {"FLOAT16_2", D3DDECLTYPE_FLOAT16_2, shorts({0x3C00, -16384 /* 0xC000 */}), {1, -2, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IDirect3DVertexDeclaration9* decl =
            Declaration({{0, 0, BYTE(c.type), D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0}});
        std::vector<uint8_t> bytes = c.bytes;
        bytes.resize(16);
        const pt::D3D9ShadedVertex* v = One(shader, decl, bytes.data(), 16);
        ASSERT_NE(v, nullptr);
        ExpectNear(v->position, c.result, c.what);
    }
}

TEST_F(Shading, DrawsThatCannotFeedTheShaderAreRefused) {
    const float vertex[8] = {};
    IDirect3DVertexShader9* shader = Shader("vs_1_1\ndcl_position v0\ndcl_texcoord v1\nmov oPos, v0");
    // The shader declares a texture coordinate the layout lacks.
    IDirect3DVertexDeclaration9* positionOnly =
        Declaration({{0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0}});
    EXPECT_EQ(One(shader, positionOnly, vertex, sizeof vertex, D3DERR_INVALIDCALL), nullptr);
    // An element of a type the device cannot read.
    IDirect3DVertexDeclaration9* packed =
        Declaration({{0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                     {0, 16, D3DDECLTYPE_UDEC3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0}});
    EXPECT_EQ(One(shader, packed, vertex, sizeof vertex, D3DERR_INVALIDCALL), nullptr);
    // No layout at all.
    dev->SetVertexDeclaration(nullptr);
    dev->SetFVF(0);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_POINTLIST, 1, vertex, sizeof vertex), D3DERR_INVALIDCALL);
    EXPECT_TRUE(pt::D3D9ShadedDraws().empty());
    // A vertex format serves a shader as well as a declaration does.
    dev->SetVertexShader(Shader("vs_1_1\ndcl_position v0\nmov oPos, v0"));
    dev->SetFVF(D3DFVF_XYZ);
    const float xyz[3] = {1, 2, 3};
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_POINTLIST, 1, xyz, sizeof xyz), D3D_OK);
    ASSERT_EQ(pt::D3D9ShadedDraws().size(), 1u);
    ExpectNear(pt::D3D9ShadedDraws()[0].vertices[0].position, {1, 2, 3, 1}, "from the FVF");
}

TEST_F(Shading, IndexedDrawsRunTheVerticesTheyReadFromTheBaseVertexOn) {
    IDirect3DVertexShader9* shader = Shader("vs_1_1\ndcl_position v0\nmov oPos, v0");
    IDirect3DVertexDeclaration9* decl =
        Declaration({{0, 0, D3DDECLTYPE_FLOAT1, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0}});
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(8 * 4, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    ASSERT_EQ(dev->CreateIndexBuffer(6 * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    owned.push_back(vb);
    owned.push_back(ib);
    float* v = nullptr;
    vb->Lock(0, 0, reinterpret_cast<void**>(&v), D3DLOCK_DISCARD);
    for (int i = 0; i < 8; ++i) v[i] = float(10 * i);
    vb->Unlock();
    WORD* idx = nullptr;
    ib->Lock(0, 0, reinterpret_cast<void**>(&idx), 0);
    const WORD indices[6] = {2, 0, 1, 1, 0, 2};
    std::memcpy(idx, indices, sizeof indices);
    ib->Unlock();

    dev->SetVertexShader(shader);
    dev->SetVertexDeclaration(decl);
    dev->SetStreamSource(0, vb, 0, 4);
    dev->SetIndices(ib);
    pt::ClearD3D9Calls();
    ASSERT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3, 0, 3, 0, 2), D3D_OK);
    ASSERT_EQ(pt::D3D9ShadedDraws().size(), 1u);
    const pt::D3D9ShadedDraw& d = pt::D3D9ShadedDraws()[0];
    EXPECT_EQ(d.firstVertex, 3u);
    ASSERT_EQ(d.vertices.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(d.vertices[i].position[0], float(10 * (3 + i)));
    EXPECT_EQ(d.order, (std::vector<UINT>{2, 0, 1, 1, 0, 2}));
    // Indices past the buffer's vertices are refused, not read.
    EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 6, 0, 3, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(pt::D3D9ShadedDraws().size(), 1u);
    dev->SetStreamSource(0, nullptr, 0, 0);
    dev->SetIndices(nullptr);
}

TEST_F(Shading, ConstantsStayAcrossShadersAndDraws) {
    IDirect3DVertexDeclaration9* decl = Declaration(kTwoFloat4);
    const float vertex[8] = {1, 1, 1, 1};
    const float c0[4] = {3, 4, 5, 6};
    dev->SetVertexShaderConstantF(0, c0, 1);
    IDirect3DVertexShader9* a = Shader("vs_1_1\ndcl_position v0\ndcl_texcoord v1\nmul oPos, v0, c0");
    IDirect3DVertexShader9* b = Shader("vs_1_1\ndcl_position v0\ndcl_texcoord v1\nadd oPos, v0, c0");
    ExpectNear(One(a, decl, vertex, sizeof vertex)->position, {3, 4, 5, 6}, "first shader");
    ExpectNear(One(b, decl, vertex, sizeof vertex)->position, {4, 5, 6, 7}, "second shader");
    ExpectNear(One(a, decl, vertex, sizeof vertex)->position, {3, 4, 5, 6}, "first shader again");
}

TEST_F(Shading, TokenStreamsTheDeviceCannotRunAreRefused) {
    const DWORD kDclV0[] = {D3DSIO_DCL, 0x80000000, 0x900F0000};
    auto with = [&](std::vector<DWORD> body) {
        std::vector<DWORD> t = {D3DVS_VERSION(1, 1)};
        t.insert(t.end(), std::begin(kDclV0), std::end(kDclV0));
        t.insert(t.end(), body.begin(), body.end());
        t.push_back(D3DVS_END());
        return t;
    };
    struct Case {
        const char* what;
        std::vector<DWORD> tokens;
    } const cases[] = {
        {"version 2.0", {D3DVS_VERSION(2, 0), D3DVS_END()}},
        {"a parameter where an instruction belongs", with({0x800F0000})},
        {"an instruction it does not run", with({D3DSIO_FRC, 0x800F0000, 0x90E40000})},
        {"the end token read as a source", with({D3DSIO_MOV, 0x800F0000})},
        {"an input written", with({D3DSIO_MOV, 0x900F0001, 0x90E40000})},
        {"a constant written", with({D3DSIO_MOV, 0xA00F0001, 0x90E40000})},
        {"an undeclared input", with({D3DSIO_MOV, 0x800F0000, 0x90E40001})},
        {"a temporary out of range", with({D3DSIO_MOV, 0x800F000C, 0x90E40000})},
        {"relative addressing", with({D3DSIO_MOV, 0x800F0000, 0xA0E42000})},
        {"a saturated result", with({D3DSIO_MOV, 0x801F0000, 0x90E40000})},
        {"a source modifier other than negation", with({D3DSIO_MOV, 0x800F0000, 0x92E40000})},
        {"two constants", with({D3DSIO_ADD, 0x800F0000, 0xA0E40000, 0xA0E40001})},
        {"a usage it does not know", {D3DVS_VERSION(1, 1), D3DSIO_DCL, 0x8000001F, 0x900F0000, D3DVS_END()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IDirect3DVertexShader9* shader = nullptr;
        EXPECT_EQ(dev->CreateVertexShader(c.tokens.data(), &shader), D3DERR_INVALIDCALL);
        EXPECT_EQ(shader, nullptr);
    }
    // An empty program is a shader all the same; it draws nothing visible.
    const DWORD empty[] = {D3DVS_VERSION(1, 1), D3DVS_END()};
    IDirect3DVertexShader9* shader = nullptr;
    EXPECT_EQ(dev->CreateVertexShader(empty, &shader), D3D_OK);
    owned.push_back(shader);
}

}  // namespace
