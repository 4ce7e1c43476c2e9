// Particle systems and their emitters on the null device, with the run tree's
// particle bitmaps and shader: ageing, batching, the shared objects' lifetime,
// the shader state, the square each particle makes on screen, and the dust and
// spark emitters. Each test runs in its own process (the shared state is global).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Device.h"
#include "particles/ParticleShared.h"
#include "particles/ParticleSystem.h"
#include "platform/testing.h"
#include "tests/support/device_fixtures.h"

namespace pt = platform_testing;
namespace fs = std::filesystem;

namespace {

int Count(const std::string& prefix) {
    int n = 0;
    for (const std::string& call : pt::D3D9Calls()) n += call.compare(0, prefix.size(), prefix) == 0;
    return n;
}

std::vector<const Particle*> List(const ParticleSystem& s) {
    std::vector<const Particle*> out;
    for (const Particle* p = s.Head; p; p = p->Next) out.push_back(p);
    return out;
}

// Every particle's Prev names the one before it, the head's none.
void ExpectLinked(const ParticleSystem& s) {
    const Particle* before = nullptr;
    for (const Particle* p = s.Head; p; p = p->Next) {
        EXPECT_EQ(p->Prev, before);
        before = p;
    }
}

// BeginRender with identity view and projection: clip space is the world,
// the camera's right x and its up y.
int BeginPlain(ParticleSystem& s) {
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    return s.BeginRender(&identity, &identity);
}

// A camera at `eye` looking at `at`, with a 4:3 perspective.
void LookAt(const D3DXVECTOR3& eye, const D3DXVECTOR3& at, float farZ, D3DXMATRIX* view, D3DXMATRIX* projection) {
    const D3DXVECTOR3 up(0, 1, 0);
    D3DXMatrixLookAtLH(view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(projection, D3DX_PI / 4, 4.0f / 3.0f, 1.0f, farZ);
}

void Add(ParticleSystem& s, DWORD type, float x, DWORD life = 100, float size = 0.5f, D3DCOLOR color = 0xFF336699,
         D3DXVECTOR3 velocity = D3DXVECTOR3(0, 0, 0)) {
    const D3DXVECTOR3 at(x, 0, 0);
    s.AddParticle(type, &at, size, color, life, &velocity);
}

class Particles : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetD3D9();
        pt::CaptureDebugOutput(true);
        dev = device_fixtures::NullDevice(1024, 768);
        ASSERT_NE(dev, nullptr);
    }
    void TearDown() override {
        dust.Release();
        sparks.Release();
        if (!home.empty()) {
            EXPECT_EQ(chdir(home.c_str()), 0);
            std::error_code ignored;
            fs::remove_all(sandbox, ignored);
        }
        pt::FailD3D9Buffers(false, false);
        dev->Release();
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 0);
        EXPECT_EQ(g_ParticleTextures, nullptr);
        EXPECT_EQ(g_ParticleShader, nullptr);
        EXPECT_EQ(g_ParticleDeclaration, nullptr);
        pt::ResetD3D9();
    }

    int Create(ParticleSystem& s, DWORD capacity = 32) {
        const D3DXVECTOR3 zero(0, 0, 0);
        return s.Create(dev, &zero, 0, capacity);
    }

    // From now on the program runs from bin/ of a tree of its own that has
    // only the Data folder (no Particle.vsh), or only Particle.vsh.
    void RunFromTreeWith(const std::vector<std::string>& entries) {
        home = fs::current_path().string();
        sandbox = fs::temp_directory_path() / ("particles_" + std::to_string(getpid()));
        fs::create_directories(sandbox / "bin");
        for (const std::string& e : entries) {
            const fs::path from = fs::path(home) / ".." / e;
            if (fs::is_directory(from))
                fs::create_directory_symlink(from, sandbox / e);
            else
                fs::create_symlink(from, sandbox / e);
        }
        ASSERT_EQ(chdir((sandbox / "bin").c_str()), 0);
    }

    IDirect3DDevice9* dev = nullptr;
    ParticleSystem dust;
    ParticleSystem sparks;
    std::string home;
    fs::path sandbox;
};

// --- the list ---

TEST_F(Particles, UpdateAgesMovesAndFreesByTheElapsedTime) {
    struct Case {
        const char* what;
        DWORD life;
        std::vector<DWORD> frames;
        bool alive;
        DWORD lifeLeft;
    } const cases[] = {
        {"100 ms under one frame of 60", 100, {60}, true, 40},
        {"100 ms under two frames of 60: 40 <= 60", 100, {60, 60}, false, 0},
        {"a life equal to the frame", 60, {60}, false, 0},
        {"a life one longer than the frame", 61, {60}, true, 1},
        {"a life of 0 is endless", 0, {60, 1000000, 0xFFFFFFFF}, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ParticleSystem s;
        Add(s, 0, 0, c.life);
        for (DWORD ms : c.frames) s.Update(ms);
        ASSERT_EQ(s.Head != nullptr, c.alive);
        if (c.alive) {
            EXPECT_EQ(s.Head->LifeMs, c.lifeLeft);
        }
    }

    // 16 ms moves a particle by 0.016 of its velocity per second.
    ParticleSystem s;
    Add(s, 0, 1.0f, 0, 0.5f, 0, D3DXVECTOR3(10, -5, 2.5f));
    s.Update(16);
    EXPECT_FLOAT_EQ(s.Head->Position.x, 1.16f);
    EXPECT_FLOAT_EQ(s.Head->Position.y, -0.08f);
    EXPECT_FLOAT_EQ(s.Head->Position.z, 0.04f);
    // An empty system stays empty.
    ParticleSystem empty;
    empty.Update(16);
    EXPECT_EQ(empty.Head, nullptr);
}

TEST_F(Particles, NewParticlesGoFirstAndTheDeadLeaveTheListWhole) {
    // List order is newest first; each case kills the particles whose x is listed.
    struct Case {
        const char* what;
        std::vector<float> dying;
        std::vector<float> left;
    } const cases[] = {
        {"the middle one", {2}, {3, 1}},
        {"the head", {3}, {2, 1}},
        {"the tail", {1}, {3, 2}},
        {"all but the middle", {1, 3}, {2}},
        {"all", {1, 2, 3}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ParticleSystem s;
        for (float x : {1.0f, 2.0f, 3.0f}) {
            const bool dies = std::find(c.dying.begin(), c.dying.end(), x) != c.dying.end();
            Add(s, 0, x, dies ? 10 : 0);
        }
        ASSERT_EQ(List(s).size(), 3u);
        EXPECT_EQ(s.Head->Position.x, 3.0f);
        s.Update(10);
        std::vector<float> left;
        for (const Particle* p : List(s)) left.push_back(p->Position.x);
        EXPECT_EQ(left, c.left);
        ExpectLinked(s);
    }
}

TEST_F(Particles, LongListsAreFreedWithoutAStackFrameEach) {
    // Deep enough that freeing one particle per nested call would overflow the stack.
    const int n = 300000;
    ParticleSystem a;
    for (int i = 0; i < n; ++i) Add(a, 0, float(i), 0);
    a.Clear();
    EXPECT_EQ(a.Head, nullptr);

    // A particle deleted on its own takes the rest of its list with it.
    ParticleSystem b;
    for (int i = 0; i < n; ++i) Add(b, 0, float(i), 0);
    Particle* head = b.Head;
    b.Head = nullptr;
    delete head;

    ParticleSystem c;
    for (int i = 0; i < n; ++i) Add(c, 0, float(i), i % 2 ? 5 : 0);
    c.Update(5);
    EXPECT_EQ(List(c).size(), size_t(n / 2));
    ExpectLinked(c);
}

// --- drawing ---

TEST_F(Particles, ThirtyThreeParticlesDrawAsABatchOfThirtyTwoAndOneOfOne) {
    ASSERT_EQ(Create(dust), 1);
    ASSERT_EQ(BeginPlain(dust), 1);
    for (int i = 0; i < 33; ++i) Add(dust, 0, float(i), 100, 0.5f, 0xFF000000 | DWORD(i));
    pt::ClearD3D9Calls();
    dust.Render();

    const unsigned smoke = pt::D3D9ObjectId(g_ParticleTextures[0]);
    const std::vector<std::string> expected = {
        "SetStreamSource(0,#" + std::to_string(pt::D3D9ObjectId(dust.VertexBuffer)) + ",0,32)",
        "SetIndices(#" + std::to_string(pt::D3D9ObjectId(dust.IndexBuffer)) + ")",
        "SetTexture(0,#" + std::to_string(smoke) + ")",
        "DrawIndexedPrimitive(4,0,0,128,0,64)",
        "DrawIndexedPrimitive(4,0,0,4,0,2)"};
    EXPECT_EQ(pt::D3D9Calls(), expected) << "pass 1 sets no texture and draws nothing";

    // Newest first: the first quad written is the last particle added, its
    // corners and texture coordinates in the vertex order of the quad.
    const auto& draws = pt::D3D9ShadedDraws();
    ASSERT_EQ(draws.size(), 2u);
    ASSERT_EQ(draws[0].vertices.size(), 128u);
    const float h = 0.25f;
    const float corner[4][2] = {{-h, h}, {h, h}, {-h, -h}, {h, -h}};
    const float uv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (int k = 0; k < 4; ++k) {
        const pt::D3D9ShadedVertex& v = draws[0].vertices[k];
        // Identity view and projection: the position is the centre plus the corner.
        EXPECT_FLOAT_EQ(v.position[0], 32 + corner[k][0]) << k;
        EXPECT_FLOAT_EQ(v.position[1], corner[k][1]) << k;
        EXPECT_FLOAT_EQ(v.position[3], 1) << k;
        EXPECT_EQ(v.texCoord[0], uv[k][0]) << k;
        EXPECT_EQ(v.texCoord[1], uv[k][1]) << k;
        EXPECT_FLOAT_EQ(v.diffuse[2], 32 / 255.0f) << k;
    }
    // The two triangles of a quad: (0, 1, 2) and (3, 2, 1).
    EXPECT_EQ(std::vector<UINT>(draws[0].order.begin(), draws[0].order.begin() + 12),
              (std::vector<UINT>{0, 1, 2, 3, 2, 1, 4, 5, 6, 7, 6, 5}));
    // The last batch holds the oldest particle.
    EXPECT_FLOAT_EQ(draws[1].vertices[0].position[0], 0 - h);
    dust.EndRender();
}

TEST_F(Particles, EachPassSetsItsTextureOnceAndAFullBatchLeavesNoEmptyDraw) {
    ASSERT_EQ(Create(dust), 1);
    BeginPlain(dust);
    // Exactly one batch of each type, mixed in the list.
    for (int i = 0; i < 64; ++i) Add(dust, DWORD(i % 2), float(i));
    pt::ClearD3D9Calls();
    dust.Render();
    EXPECT_EQ(Count("DrawIndexedPrimitive(4,0,0,128,0,64)"), 2);
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 2);
    EXPECT_EQ(Count("SetTexture"), 2);
    EXPECT_GE(pt::FindD3D9Call("SetTexture(0,#" + std::to_string(pt::D3D9ObjectId(g_ParticleTextures[1])) + ")"),
              pt::FindD3D9Call("DrawIndexedPrimitive"));
    // Nothing to draw: nothing is asked of the device.
    dust.Clear();
    pt::ClearD3D9Calls();
    dust.Render();
    EXPECT_TRUE(pt::D3D9Calls().empty());
}

TEST_F(Particles, TheShaderStateIsTheViewAndProjectionAndTheCamerasAxes) {
    ASSERT_EQ(Create(dust), 1);
    D3DXMATRIX view, projection;
    const D3DXVECTOR3 eye(1, 2, -5), at(0, 0.5f, 0), up(0, 1, 0);
    LookAt(eye, at, 100.0f, &view, &projection);

    // Without a matrix, nothing is set.
    pt::ClearD3D9Calls();
    EXPECT_EQ(dust.BeginRender(nullptr, &projection), 0);
    EXPECT_EQ(dust.BeginRender(&view, nullptr), 0);
    EXPECT_TRUE(pt::D3D9Calls().empty());

    ASSERT_EQ(dust.BeginRender(&view, &projection), 1);
    EXPECT_EQ(pt::D3D9Calls()[0], "SetFVF(0x0)");
    EXPECT_EQ(pt::D3D9Calls()[1], "SetVertexShader(#" + std::to_string(pt::D3D9ObjectId(g_ParticleShader)) + ")");
    EXPECT_EQ(pt::D3D9Calls()[2],
              "SetVertexDeclaration(#" + std::to_string(pt::D3D9ObjectId(g_ParticleDeclaration)) + ")");
    float c[6][4];
    ASSERT_EQ(dev->GetVertexShaderConstantF(0, &c[0][0], 6), D3D_OK);
    const D3DXMATRIX vp = view * projection;
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(c[r][k], vp.m[k][r], 1e-5f) << "c" << r << "[" << k << "]";
    // The camera's right and up, unit length, w 0.
    D3DXVECTOR3 right, look = at - eye;
    D3DXVec3Normalize(&look, &look);
    D3DXVec3Cross(&right, &up, &look);
    D3DXVec3Normalize(&right, &right);
    D3DXVECTOR3 trueUp;
    D3DXVec3Cross(&trueUp, &look, &right);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(c[4][k], right[k], 1e-5f);
        EXPECT_NEAR(c[5][k], trueUp[k], 1e-5f);
    }
    EXPECT_EQ(c[4][3], 0.0f);
    EXPECT_EQ(c[5][3], 0.0f);

    pt::ClearD3D9Calls();
    dust.EndRender();
    EXPECT_EQ(pt::D3D9Calls(), (std::vector<std::string>{"SetVertexShader(null)", "SetVertexDeclaration(null)"}));
}

TEST_F(Particles, EachParticleIsASquareAroundItsProjectedCentreFacingTheCamera) {
    ASSERT_EQ(Create(dust), 1);
    D3DXMATRIX view, projection;
    LookAt(D3DXVECTOR3(2, 3, -4), D3DXVECTOR3(0, 0, 1), 10000.0f, &view, &projection);
    ASSERT_EQ(dust.BeginRender(&view, &projection), 1);
    const D3DXVECTOR3 centre(0.3f, 0.2f, 0.5f), still(0, 0, 0);
    dust.AddParticle(0, &centre, 0.4f, 0xFFFFFFFF, 100, &still);
    pt::ClearD3D9Calls();
    dust.Render();
    dust.EndRender();
    ASSERT_EQ(pt::D3D9ShadedDraws().size(), 1u);
    const auto& v = pt::D3D9ShadedDraws()[0].vertices;
    ASSERT_EQ(v.size(), 4u);

    // On screen (pixels of 1024x768, y down), after the division by w.
    auto screen = [](const float* p, float* x, float* y) {
        *x = (p[0] / p[3] + 1) * 512;
        *y = (1 - p[1] / p[3]) * 384;
    };
    D3DXVECTOR3 projected;
    const D3DXMATRIX viewProjection = view * projection;
    D3DXVec3TransformCoord(&projected, &centre, &viewProjection);
    const float cx = (projected.x + 1) * 512, cy = (1 - projected.y) * 384;
    float x[4], y[4];
    for (int k = 0; k < 4; ++k) screen(v[k].position, &x[k], &y[k]);
    // Corners 0 top left, 1 top right, 2 bottom left, 3 bottom right, about the centre.
    EXPECT_NEAR((x[0] + x[3]) / 2, cx, 0.5f);
    EXPECT_NEAR((y[0] + y[3]) / 2, cy, 0.5f);
    EXPECT_NEAR((x[1] + x[2]) / 2, cx, 0.5f);
    EXPECT_NEAR((y[1] + y[2]) / 2, cy, 0.5f);
    EXPECT_LT(x[0], x[1]);
    EXPECT_LT(y[0], y[2]);
    // Square: both edges about as long, at right angles (perspective bends it
    // only slightly at this size and distance).
    const float w = std::hypot(x[1] - x[0], y[1] - y[0]), hgt = std::hypot(x[2] - x[0], y[2] - y[0]);
    EXPECT_GT(w, 20.0f);
    EXPECT_NEAR(w / hgt, 1.0f, 0.05f);
    EXPECT_NEAR(((x[1] - x[0]) * (x[2] - x[0]) + (y[1] - y[0]) * (y[2] - y[0])) / (w * hgt), 0.0f, 0.05f);
    // Both triangles clockwise on screen: front faces under the default culling.
    const auto& order = pt::D3D9ShadedDraws()[0].order;
    ASSERT_EQ(order.size(), 6u);
    for (int t = 0; t < 2; ++t) {
        const UINT a = order[t * 3], b = order[t * 3 + 1], c = order[t * 3 + 2];
        const float cross = (x[b] - x[a]) * (y[c] - y[a]) - (y[b] - y[a]) * (x[c] - x[a]);
        EXPECT_GT(cross, 0.0f) << "triangle " << t << " (y down: positive is clockwise)";
    }
}

// --- the shared objects ---

TEST_F(Particles, TheSharedObjectsLiveExactlyAsLongAsTheLastSystemThatCounted) {
    pt::ClearD3D9Calls();
    ASSERT_EQ(Create(dust), 1);
    ASSERT_EQ(Create(sparks), 1);
    EXPECT_EQ(Count("CreateTexture"), 2) << "each bitmap loaded once";
    EXPECT_EQ(Count("CreateVertexShader"), 1) << "assembled once";
    EXPECT_EQ(Count("CreateVertexDeclaration"), 1);
    EXPECT_EQ(g_ParticleUseCount, 2u);
    ASSERT_NE(g_ParticleTextures, nullptr);
    EXPECT_NE(g_ParticleTextures[0], nullptr);
    EXPECT_NE(g_ParticleTextures[1], nullptr);

    // The first release leaves them to the other system.
    dust.Release();
    EXPECT_NE(g_ParticleShader, nullptr);
    // Released again (as the exit does) while the other still draws: it took
    // its use back once already, and the shared objects stay.
    dust.Release();
    EXPECT_EQ(g_ParticleUseCount, 1u);
    ASSERT_NE(g_ParticleTextures, nullptr);
    EXPECT_NE(g_ParticleShader, nullptr);
    Add(sparks, 1, 0);
    ASSERT_EQ(BeginPlain(sparks), 1);
    pt::ClearD3D9Calls();
    sparks.Render();
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 1);

    // A system that never counted does not take the other's use.
    ParticleSystem stranger;
    stranger.Release();
    EXPECT_NE(g_ParticleShader, nullptr);

    // The last one frees them; its own buffers go too (once the device no
    // longer holds them bound).
    sparks.EndRender();
    dev->SetTexture(0, nullptr);
    dev->SetStreamSource(0, nullptr, 0, 0);
    dev->SetIndices(nullptr);
    const int before = layer::LiveObjects(layer::ObjectFamily::Direct3D);
    sparks.Release();
    EXPECT_EQ(g_ParticleUseCount, 0u);
    EXPECT_EQ(g_ParticleTextures, nullptr);
    EXPECT_EQ(g_ParticleShader, nullptr);
    EXPECT_EQ(g_ParticleDeclaration, nullptr);
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), before - 6);
    EXPECT_EQ(sparks.Device, nullptr);
    EXPECT_EQ(sparks.Head, nullptr);
    sparks.Release();  // nothing left to free
}

TEST_F(Particles, WithoutTheShaderNothingIsCountedOrDrawnAndTheNextCreateTriesAgain) {
    RunFromTreeWith({"Data"});
    pt::ClearDebugOutput();
    EXPECT_EQ(Create(dust), 0);
    EXPECT_EQ(g_ParticleShader, nullptr);
    EXPECT_EQ(g_ParticleDeclaration, nullptr);
    EXPECT_EQ(g_ParticleUseCount, 0u);
    EXPECT_NE(pt::DebugOutputText().find("..\\Particle.vsh: cannot read the file"), std::string::npos)
        << pt::DebugOutputText();
    // The textures and the system's buffers stay.
    ASSERT_NE(g_ParticleTextures, nullptr);
    EXPECT_NE(dust.VertexBuffer, nullptr);

    // Nothing to draw with: no shader state, and the buffer is not drawn with
    // whatever vertex format is left on the device.
    Add(dust, 0, 0);
    pt::ClearD3D9Calls();
    EXPECT_EQ(BeginPlain(dust), 0);
    dust.Render();
    EXPECT_TRUE(pt::D3D9Calls().empty());

    // With the file back, the next system makes the shader and counts.
    ASSERT_EQ(chdir(home.c_str()), 0);
    pt::ClearD3D9Calls();
    EXPECT_EQ(Create(sparks), 1);
    EXPECT_EQ(Count("CreateTexture"), 0) << "the textures were already there";
    EXPECT_NE(g_ParticleShader, nullptr);
    EXPECT_EQ(g_ParticleUseCount, 1u);
}

TEST_F(Particles, MissingBitmapsLeaveTheirPassesUntextured) {
    RunFromTreeWith({"Particle.vsh"});
    ASSERT_EQ(Create(dust), 1);
    ASSERT_NE(g_ParticleTextures, nullptr);
    EXPECT_EQ(g_ParticleTextures[0], nullptr);
    EXPECT_EQ(g_ParticleTextures[1], nullptr);
    BeginPlain(dust);
    Add(dust, 0, 0);
    pt::ClearD3D9Calls();
    dust.Render();
    EXPECT_EQ(Count("SetTexture(0,null)"), 1);
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 1);
    dust.EndRender();
}

TEST_F(Particles, CapacitiesOutsideOneTo16384AreRefused) {
    EXPECT_EQ(Create(dust, 0), 0);
    EXPECT_EQ(Create(dust, 16385), 0);
    EXPECT_EQ(dust.VertexBuffer, nullptr);
    EXPECT_EQ(g_ParticleUseCount, 0u);
    ASSERT_EQ(Create(dust, 16384), 1);
    // The last quad's indices still fit in 16 bits.
    WORD* index = nullptr;
    ASSERT_EQ(dust.IndexBuffer->Lock(0, 0, reinterpret_cast<void**>(&index), D3DLOCK_READONLY), D3D_OK);
    const WORD* last = index + (16384 - 1) * 6;
    EXPECT_EQ(last[0], 65532);
    EXPECT_EQ(last[3], 65535);
    EXPECT_EQ(last[5], 65533);
    dust.IndexBuffer->Unlock();
}

TEST_F(Particles, BuffersTheDeviceRefusesLeaveTheSystemNotReady) {
    const int before = layer::LiveObjects(layer::ObjectFamily::Direct3D);
    struct Case {
        const char* what;
        bool create;
        bool lock;
    } const cases[] = {{"no buffers", true, false}, {"no lock of the indices", false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pt::FailD3D9Buffers(c.create, c.lock);
        ParticleSystem s;
        EXPECT_EQ(Create(s), 0);
        EXPECT_EQ(s.VertexBuffer, nullptr);
        EXPECT_EQ(s.IndexBuffer, nullptr);
        EXPECT_EQ(g_ParticleUseCount, 0u);
        Add(s, 0, 0);
        s.Render();  // nothing to draw with, and no crash
        pt::FailD3D9Buffers(false, false);
    }
    // Each system went at the end of its case; with none counting, its
    // release took the textures too: nothing is left.
    EXPECT_EQ(g_ParticleTextures, nullptr);
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), before);

    // A vertex buffer that cannot be locked when drawing: the pass is skipped.
    ASSERT_EQ(Create(dust), 1);
    BeginPlain(dust);
    for (int i = 0; i < 40; ++i) Add(dust, 0, float(i));
    pt::FailD3D9Buffers(false, true);
    pt::ClearD3D9Calls();
    dust.Render();
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 0);
    pt::FailD3D9Buffers(false, false);
    dust.EndRender();
}

TEST_F(Particles, ASystemNeverCreatedDoesNothingWithTheDevice) {
    pt::ClearD3D9Calls();
    ParticleSystem s;
    Add(s, 0, 0);
    EXPECT_EQ(BeginPlain(s), 0);
    s.Render();
    s.EndRender();
    EXPECT_EQ(s.Create(nullptr, nullptr, 0, 32), 0);
    s.EndRender();
    EXPECT_TRUE(pt::D3D9Calls().empty());
    s.Release();
    EXPECT_EQ(s.Head, nullptr);
}

// --- the shader routine ---

TEST_F(Particles, TheShaderRoutineMakesTheShaderAndTheDeclarationOrReturnsTheFailure) {
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    const int utilities = layer::LiveObjects(layer::ObjectFamily::D3DX);
    IDirect3DVertexShader9* shader = nullptr;
    IDirect3DVertexDeclaration9* declaration = nullptr;

    EXPECT_EQ(CreateVertexShaderFromFile(nullptr, dev, "..\\Particle.vsh", elements, &declaration), E_FAIL);
    EXPECT_EQ(CreateVertexShaderFromFile(&shader, nullptr, "..\\Particle.vsh", elements, &declaration), E_FAIL);
    EXPECT_EQ(CreateVertexShaderFromFile(&shader, dev, nullptr, elements, &declaration), E_FAIL);

    // A missing file: the assembler's result, and nothing made.
    pt::ClearD3D9Calls();
    EXPECT_LT(CreateVertexShaderFromFile(&shader, dev, "..\\Missing.vsh", elements, &declaration), 0);
    EXPECT_EQ(shader, nullptr);
    EXPECT_EQ(declaration, nullptr);
    EXPECT_TRUE(pt::D3D9Calls().empty());

    // Without a declaration asked for, only the shader.
    ASSERT_EQ(CreateVertexShaderFromFile(&shader, dev, "..\\Particle.vsh", nullptr, &declaration), S_OK);
    EXPECT_NE(shader, nullptr);
    EXPECT_EQ(declaration, nullptr);
    shader->Release();
    shader = nullptr;
    ASSERT_EQ(CreateVertexShaderFromFile(&shader, dev, "..\\Particle.vsh", elements, &declaration), S_OK);
    EXPECT_NE(shader, nullptr);
    EXPECT_NE(declaration, nullptr);
    shader->Release();
    declaration->Release();
    // The assembled code is let go on every path.
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::D3DX), utilities);
}

// --- the emitters ---

TEST_F(Particles, DustRisesOncePer200MsOfWalking) {
    ParticleSystem s;
    const D3DXVECTOR3 at(1, 2, 3);
    g_DustTimerMs = 0;
    // 16 ms a call: the sum passes 200 at the thirteenth (208).
    for (int call = 1; call <= 26; ++call) {
        s.EmitDust(&at, 16);
        const size_t expected = call < 13 ? 0 : call < 26 ? 1 : 2;
        ASSERT_EQ(List(s).size(), expected) << "call " << call;
    }
    // Exactly 200 is not past it; the next call with any time is.
    s.Clear();
    g_DustTimerMs = 0;
    s.EmitDust(&at, 200);
    EXPECT_EQ(s.Head, nullptr);
    s.EmitDust(&at, 1);
    EXPECT_EQ(List(s).size(), 1u);
    EXPECT_EQ(g_DustTimerMs, 0u);
    // A long pause gives one puff, not one per 200 ms.
    s.EmitDust(&at, 5000);
    EXPECT_EQ(List(s).size(), 2u);

    const Particle& p = *s.Head;
    EXPECT_EQ(p.Type, 0u);
    EXPECT_EQ(p.Position, at);
    EXPECT_FLOAT_EQ(p.Size, 0.3f);
    EXPECT_EQ(p.Color, 0xFF222222u);
    EXPECT_EQ(p.LifeMs, 100u);
    EXPECT_EQ(p.Velocity.y, 0.0f);
    EXPECT_NEAR(std::hypot(p.Velocity.x, p.Velocity.z), 1.5f, 1e-5f);
}

TEST_F(Particles, DustTakesItsDirectionFromTheRandomSequence) {
    // Seeds for which the first number, modulo 628, is what the case needs.
    auto seedFor = [](int wanted) {
        for (unsigned seed = 1;; ++seed) {
            std::srand(seed);
            if (std::rand() % 628 == wanted) return seed;
        }
    };
    const D3DXVECTOR3 at(0, 0, 0);
    for (int r : {0, 157, 627}) {
        SCOPED_TRACE(r);
        ParticleSystem s;
        g_DustTimerMs = 0;
        std::srand(seedFor(r));
        s.EmitDust(&at, 201);
        ASSERT_NE(s.Head, nullptr);
        const float a = static_cast<float>(r * 0.01);
        EXPECT_FLOAT_EQ(s.Head->Velocity.x, 1.5f * std::cos(a));
        EXPECT_FLOAT_EQ(s.Head->Velocity.z, 1.5f * std::sin(a));
    }
    // rand 0: straight along x.
    ParticleSystem s;
    std::srand(seedFor(0));
    s.EmitDust(&at, 201);
    EXPECT_EQ(s.Head->Velocity, D3DXVECTOR3(1.5f, 0, 0));
}

TEST_F(Particles, SparksFlyInABurstOfFiveAtTheGivenAngle) {
    struct Case {
        float angle;  // the heading's degrees, taken as radians
        float vx, vz;
    } const cases[] = {{0, 1, 0}, {90, -0.448074f, 17.879933f}, {180, -0.598460f, -16.023053f},
                       {270, 0.984382f, -3.520919f}, {360, -0.283691f, 19.178314f}};
    const D3DXVECTOR3 at(1, 2, 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        ParticleSystem s;
        s.EmitSparks(&at, c.angle);
        const std::vector<const Particle*> list = List(s);
        ASSERT_EQ(list.size(), 5u);
        // The last one added (z - 0.1) is the head; no spark at z + 0.1.
        const D3DXVECTOR3 expected[5] = {D3DXVECTOR3(1, 2, 2.9f), D3DXVECTOR3(1, 2.1f, 3), D3DXVECTOR3(0.9f, 2, 3),
                                         D3DXVECTOR3(1.1f, 2, 3), D3DXVECTOR3(1, 1.9f, 3)};
        for (int i = 0; i < 5; ++i) {
            const Particle& p = *list[i];
            EXPECT_FLOAT_EQ(p.Position.x, expected[i].x) << i;
            EXPECT_FLOAT_EQ(p.Position.y, expected[i].y) << i;
            EXPECT_FLOAT_EQ(p.Position.z, expected[i].z) << i;
            EXPECT_NEAR(p.Velocity.x, c.vx, 1e-4f) << i;
            EXPECT_EQ(p.Velocity.y, 0.0f) << i;
            EXPECT_NEAR(p.Velocity.z, c.vz, 1e-4f) << i;
            EXPECT_EQ(p.Type, 0u);
            EXPECT_FLOAT_EQ(p.Size, 0.1f);
            EXPECT_EQ(p.Color, 0x00F4AE0Bu);
            EXPECT_EQ(p.LifeMs, 100u);
        }
        ExpectLinked(s);
    }
}

}  // namespace
