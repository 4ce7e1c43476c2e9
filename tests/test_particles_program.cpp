// The particles in the whole program: WinMain on headless windows and the null
// device with the generated data, keys injected and a fake clock. Start-up
// makes both systems, A throws sparks and walking raises dust, each frame draws
// them through the shader with the particle states, and a missing or broken
// shader or bitmap is reported while the program runs on. Each test runs in
// its own process (the program keeps run-once state in globals).
#include <gtest/gtest.h>

#include <d3dx9.h>
#include <dinput.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "particles/ParticleShared.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/program_fixtures.h"

namespace pt = platform_testing;
namespace fs = std::filesystem;
using program_fixtures::RunFrames;

namespace {

class ParticleProgram : public ::testing::Test {
protected:
    void SetUp() override {
        program_fixtures::ArrangeProgram();
        pt::CaptureDebugOutput(true);
        pt::SetFakeClockMs(50000);
    }
    void TearDown() override {
        if (!home.empty()) {
            EXPECT_EQ(chdir(home.c_str()), 0);
            std::error_code ignored;
            fs::remove_all(sandbox, ignored);
        }
    }

    // Runs from bin/ of a tree of its own: the real Level01, a Data folder
    // with the given files of the real one, and Particle.vsh with `shader` as
    // its text (none when null, the real file when empty).
    void RunFromTreeWith(const std::vector<std::string>& dataFiles, const char* shader) {
        home = fs::current_path().string();
        const fs::path tree = fs::path(home) / "..";
        sandbox = fs::temp_directory_path() / ("particle_program_" + std::to_string(getpid()));
        fs::create_directories(sandbox / "bin");
        fs::create_directories(sandbox / "Data");
        fs::create_directory_symlink(tree / "Level01", sandbox / "Level01");
        for (const std::string& f : dataFiles) fs::create_symlink(tree / "Data" / f, sandbox / "Data" / f);
        if (shader && !*shader) fs::create_symlink(tree / "Particle.vsh", sandbox / "Particle.vsh");
        if (shader && *shader) std::ofstream(sandbox / "Particle.vsh") << shader;
        ASSERT_EQ(chdir((sandbox / "bin").c_str()), 0);
    }

    static void Hold(int key) {
        for (int k : {DIK_A, DIK_UP}) pt::SetKeyByte(k, 0);
        if (key) pt::SetKeyByte(key, 0x80);
    }

    std::string home;
    fs::path sandbox;
};

int ListSize(const ParticleSystem& s) {
    int n = 0;
    for (const Particle* p = s.Head; p; p = p->Next) ++n;
    return n;
}

// The calls of the last frame, from its BeginScene on.
std::vector<std::string> FrameCalls() {
    const std::vector<std::string>& all = pt::D3D9Calls();
    size_t from = all.size();
    while (from > 0 && all[from - 1] != "BeginScene()") --from;
    return std::vector<std::string>(all.begin() + long(from), all.end());
}

// Index of the first call starting with `prefix` at or after `from`; -1 when none.
int Find(const std::vector<std::string>& calls, const std::string& prefix, int from = 0) {
    for (size_t i = size_t(std::max(from, 0)); i < calls.size(); ++i)
        if (calls[i].compare(0, prefix.size(), prefix) == 0) return int(i);
    return -1;
}

// Objects of the device and the utility library still alive.
int DeviceObjects() {
    return layer::LiveObjects(layer::ObjectFamily::Direct3D) + layer::LiveObjects(layer::ObjectFamily::D3DX);
}

// Index of the last call starting with `prefix`; -1 when none.
int FindLast(const std::vector<std::string>& calls, const std::string& prefix) {
    for (size_t i = calls.size(); i > 0; --i)
        if (calls[i - 1].compare(0, prefix.size(), prefix) == 0) return int(i - 1);
    return -1;
}

// Pixels of the 1024x768 screen of a clip-space position.
D3DXVECTOR2 Screen(const float* clip) {
    return D3DXVECTOR2((clip[0] / clip[3] + 1) * 512, (1 - clip[1] / clip[3]) * 384);
}

TEST_F(ParticleProgram, StartUpMakesBothSystemsAndTheCleanUpLeavesNothing) {
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  EXPECT_EQ(g_ParticleUseCount, 2u);
                  EXPECT_NE(g_ParticleShader, nullptr);
                  EXPECT_NE(g_ParticleDeclaration, nullptr);
                  EXPECT_NE(g_ParticleTextures[0], nullptr);
                  EXPECT_NE(g_ParticleTextures[1], nullptr);
                  for (ParticleSystem* s : {&g_DustParticles, &g_SparkParticles}) {
                      EXPECT_EQ(s->Device, g_Device);
                      EXPECT_EQ(s->Capacity, 32u);
                      EXPECT_NE(s->VertexBuffer, nullptr);
                  }
                  // The shader was assembled and made once, for both systems.
                  int shaders = 0;
                  for (const std::string& c : pt::D3D9Calls()) shaders += c.compare(0, 18, "CreateVertexShader") == 0;
                  EXPECT_EQ(shaders, 1);
                  return frame == 2;
              }),
              0);
    EXPECT_EQ(g_ParticleUseCount, 0u);
    EXPECT_EQ(g_ParticleTextures, nullptr);
    EXPECT_EQ(g_DustParticles.VertexBuffer, nullptr);
    EXPECT_EQ(g_SparkParticles.VertexBuffer, nullptr);
    EXPECT_EQ(DeviceObjects(), 0);
    EXPECT_EQ(pt::DebugOutputText().find("Shader assembler"), std::string::npos) << pt::DebugOutputText();
}

TEST_F(ParticleProgram, TheSwordThrowsSparksNearTheCharacterDrawnWithTheParticleStates) {
    Hold(DIK_A);
    std::vector<std::string> calls;
    std::vector<pt::D3D9ShadedDraw> draws;
    D3DXVECTOR2 character;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  // The first frame's particle time is the whole clock: its
                  // burst dies at once. The next comes a second later.
                  if (frame == 1) {
                      EXPECT_EQ(ListSize(g_SparkParticles), 0);
                      pt::AdvanceFakeClockMs(1000);
                  }
                  if (frame == 2) {
                      EXPECT_EQ(ListSize(g_SparkParticles), 5);
                      EXPECT_EQ(ListSize(g_DustParticles), 0);
                      calls = FrameCalls();
                      draws = pt::D3D9ShadedDraws();
                      // Where the character's chest is on the screen this frame.
                      const D3DXMATRIX viewProjection = *g_FollowCamera.GetViewMatrix() * g_Projection;
                      D3DXVECTOR3 chest(g_CharacterPos.x, g_CharacterPos.y + 0.8f, g_CharacterPos.z), at;
                      D3DXVec3TransformCoord(&at, &chest, &viewProjection);
                      character = D3DXVECTOR2((at.x + 1) * 512, (1 - at.y) * 384);
                  }
                  return frame == 2;
              }),
              0);

    // Step by step, the particle pass between the meshes and EndScene.
    const std::vector<std::string> steps = {
        "SetRenderState(137,0)",  // lighting off
        "SetRenderState(15,1)",   // alpha test on
        "SetRenderState(24,8)",   // at 8
        "SetRenderState(25,7)",   // passing greater or equal
        "SetFVF(0x0)",
        "SetVertexShader(#",
        "SetVertexDeclaration(#",
        "SetVertexShaderConstantF(0,",
        "SetVertexShaderConstantF(4,",
        "SetVertexShaderConstantF(5,",
        "SetRenderState(27,1)",  // blending on
        "SetRenderState(19,2)",  // one
        "SetRenderState(20,2)",  // plus one
        "SetStreamSource(0,#",
        "SetIndices(#",
        "SetTexture(0,#",
        "DrawIndexedPrimitive(4,0,0,20,0,10)",
        "SetVertexShader(null)",
        "SetVertexDeclaration(null)",
        "SetRenderState(15,0)",
        "SetRenderState(27,0)",
        "SetRenderState(137,1)",
        "EndScene()",
        "Present(",
    };
    // (The texts drawn earlier switch lighting off too.)
    int at = FindLast(calls, "SetRenderState(137,0)");
    ASSERT_GE(at, 0);
    for (const std::string& step : steps) {
        ASSERT_EQ(calls[size_t(at)].compare(0, step.size(), step), 0) << "expected " << step << ", not " << calls[size_t(at)];
        ++at;
        // The dust system has nothing to draw: its pass calls nothing.
    }

    // The five sparks around a point just beside the chest.
    ASSERT_EQ(draws.size(), 1u);
    ASSERT_EQ(draws[0].vertices.size(), 20u);
    D3DXVECTOR2 centre(0, 0);
    for (const auto& v : draws[0].vertices) {
        EXPECT_GT(v.position[3], 0.0f) << "in front of the camera";
        centre += Screen(v.position) / 20.0f;
        EXPECT_NEAR(v.diffuse[0], 0xF4 / 255.0f, 1e-6f);
        EXPECT_NEAR(v.diffuse[1], 0xAE / 255.0f, 1e-6f);
        EXPECT_NEAR(v.diffuse[2], 0x0B / 255.0f, 1e-6f);
    }
    EXPECT_NEAR(centre.x, character.x, 120.0f);
    EXPECT_NEAR(centre.y, character.y, 120.0f);
    EXPECT_GT(centre.x, 0.0f);
    EXPECT_LT(centre.x, 1024.0f);
}

TEST_F(ParticleProgram, TheParticlesFaceTheCameraThatSetTheView) {
    // C switches to the mouse-look camera at once; the shader's constants
    // then come from its view, not from the follow camera's.
    pt::SetKeyByte(DIK_C, 0x80);
    bool checked = false;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  EXPECT_EQ(g_UseFollowCamera, 0);
                  float c[6][4];
                  g_Device->GetVertexShaderConstantF(0, &c[0][0], 6);
                  const D3DXMATRIX& view = *g_LookCamera.GetViewMatrix();
                  const D3DXMATRIX viewProjection = view * g_Projection;
                  for (int r = 0; r < 4; ++r)
                      for (int k = 0; k < 4; ++k) EXPECT_NEAR(c[r][k], viewProjection.m[k][r], 1e-5f);
                  D3DXVECTOR4 right(view._11, view._21, view._31, 0);
                  D3DXVec4Normalize(&right, &right);
                  for (int k = 0; k < 4; ++k) EXPECT_NEAR(c[4][k], right[k], 1e-6f);
                  checked = true;
                  return frame == 1;
              }),
              0);
    EXPECT_TRUE(checked);
}

TEST_F(ParticleProgram, HeldASparksAtMostEvery980Ms) {
    Hold(DIK_A);
    std::vector<int> sizes;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  sizes.push_back(ListSize(g_SparkParticles));
                  pt::AdvanceFakeClockMs(100);
                  return frame == 25;
              }),
              0);
    // 100 ms a frame: bursts in frames 1, 11 and 21. The first dies in its
    // own frame (its particle time is the whole clock); the others age only
    // by the time spent outside the frame (1 ms here), so none dies yet.
    ASSERT_EQ(sizes.size(), 25u);
    for (unsigned i = 0; i < 25; ++i) EXPECT_EQ(sizes[i], 5 * int(i / 10)) << "frame " << i + 1;
}

TEST_F(ParticleProgram, WalkingRaisesDustWhereTheCharacterStands) {
    Hold(DIK_UP);
    std::vector<int> sizes;
    int drawn = 0;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  sizes.push_back(ListSize(g_DustParticles));
                  if (frame == 202) {
                      for (const auto& d : pt::D3D9ShadedDraws()) drawn += int(d.vertices.size());
                      const Particle* p = g_DustParticles.Head;
                      EXPECT_NE(p, nullptr);
                      if (!p) return true;
                      EXPECT_EQ(p->Color, 0xFF222222u);
                      EXPECT_FLOAT_EQ(p->Size, 0.3f);
                      // Raised where the frame found the character, one step
                      // (0.005 along z) behind where it stands now, then moved
                      // by 1 ms of its 1.5 units a second.
                      const D3DXVECTOR3 from(g_CharacterPos.x, 0.0f, g_CharacterPos.z + 0.005f);
                      EXPECT_NEAR(p->Position.y, 0.0f, 1e-6f);
                      EXPECT_NEAR(std::hypot(p->Position.x - from.x, p->Position.z - from.z), 0.0015f, 1e-5f);
                  }
                  pt::ClearD3D9Calls();
                  return frame == 302;
              }),
              0);
    // The first frame's particle time is the whole clock: its puff dies at
    // once. Then each frame adds 1 ms, the next puff comes once 200 are past
    // (frame 202), and it lives 100 ms.
    ASSERT_EQ(sizes.size(), 302u);
    EXPECT_EQ(sizes[0], 0);
    EXPECT_EQ(sizes[200], 0);
    EXPECT_EQ(sizes[201], 1);
    EXPECT_EQ(drawn, 4);
    EXPECT_EQ(sizes[299], 1);
    EXPECT_EQ(sizes[300], 0);
}

TEST_F(ParticleProgram, WithoutTheShaderFileTheProgramRunsOnWithoutParticles) {
    RunFromTreeWith({"Ninja.x", "ninja.bmp", "Particle_Smoke.bmp", "Particle_Spare1.bmp"}, nullptr);
    Hold(DIK_A);
    int frames = 0;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  frames = int(frame);
                  return frame == 3;
              }),
              0);
    EXPECT_EQ(frames, 3);
    EXPECT_NE(pt::DebugOutputText().find("Shader assembler: ..\\Particle.vsh: cannot read the file\n"),
              std::string::npos)
        << pt::DebugOutputText();
    EXPECT_TRUE(pt::D3D9ShadedDraws().empty());
    EXPECT_EQ(pt::FindD3D9Call("DrawIndexedPrimitive(4,0,0,20,0,10)"), -1);
    EXPECT_EQ(DeviceObjects(), 0);
}

TEST_F(ParticleProgram, ABrokenShaderIsNamedWithItsLineAndNothingIsDrawn) {
    RunFromTreeWith({"Ninja.x", "ninja.bmp", "Particle_Smoke.bmp", "Particle_Spare1.bmp"},
                    "vs_1_1\ndcl_position0 v0\ndp4 oPos.x, v0, c0\nmov oD0, v5\n");
    Hold(DIK_A);
    EXPECT_EQ(RunFrames([&](unsigned frame) { return frame == 3; }), 0);
    EXPECT_NE(pt::DebugOutputText().find("Shader assembler: ..\\Particle.vsh(4): v5 is read but not declared\n"),
              std::string::npos)
        << pt::DebugOutputText();
    EXPECT_TRUE(pt::D3D9ShadedDraws().empty());
}

TEST_F(ParticleProgram, MissingBitmapsAreNamedAndTheSparksDrawUntextured) {
    RunFromTreeWith({"Ninja.x", "ninja.bmp"}, "");
    Hold(DIK_A);
    std::vector<std::string> calls;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  // The second burst, a second after the first (which dies in its frame).
                  pt::AdvanceFakeClockMs(1000);
                  calls = FrameCalls();
                  return frame == 2;
              }),
              0);
    const std::string text = pt::DebugOutputText();
    EXPECT_NE(text.find("Texture: ..\\Data\\Particle_Smoke.bmp: no such file\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Texture: ..\\Data\\Particle_Spare1.bmp: no such file\n"), std::string::npos) << text;
    const int texture = Find(calls, "SetTexture(0,null)", Find(calls, "SetIndices(#"));
    EXPECT_GE(texture, 0);
    EXPECT_EQ(Find(calls, "DrawIndexedPrimitive(4,0,0,20,0,10)", texture), texture + 1);
    EXPECT_FALSE(pt::D3D9ShadedDraws().empty());
}

}  // namespace
