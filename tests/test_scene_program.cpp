// The scene in the whole program: WinMain with headless windows and the null
// device. Start-up loads and places the character and the level, each frame
// resets, combines, skins and draws them, and the clean-up leaves nothing
// alive, also when start-up stops for a missing file. Each test runs in its
// own process (the program keeps run-once state in globals).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "app/Main.h"
#include "platform/testing.h"
#include "scene/HierarchyFrame.h"
#include "scene/MeshContainer.h"
#include "tests/support/program_fixtures.h"
#include "tests/support/scene_fixtures.h"
#include "tools/xsamples/xsamples.h"
#include "tools/xwriter/xwriter.h"

namespace pt = platform_testing;
namespace fs = std::filesystem;

namespace {

using scene_fixtures::LiveObjects;

class SceneProgramTest : public ::testing::Test {
protected:
    void SetUp() override { program_fixtures::ArrangeProgram(); }
    void TearDown() override {
        if (!home.empty()) {
            EXPECT_EQ(chdir(home.c_str()), 0);
            std::error_code ignored;
            fs::remove_all(sandbox, ignored);
        }
    }
    int Run() { return program_fixtures::RunProgram(); }
    // Runs from bin/ of a run tree of its own that has only the given data folders.
    void RunFromTreeWith(const std::vector<std::string>& folders) {
        home = fs::current_path().string();
        sandbox = fs::temp_directory_path() / ("scene_program_" + std::to_string(getpid()));
        fs::create_directories(sandbox / "bin");
        for (const std::string& f : folders) fs::create_directory_symlink(fs::path(home) / ".." / f, sandbox / f);
        ASSERT_EQ(chdir((sandbox / "bin").c_str()), 0);
    }
    // Runs from a run tree of its own whose character file holds these bytes;
    // everything else is the real tree's.
    void RunFromTreeWithCharacter(const std::string& bytes) {
        RunFromTreeWith({});
        const fs::path tree = fs::path(home) / "..";
        for (const fs::directory_entry& e : fs::directory_iterator(tree)) {
            const std::string name = e.path().filename().string();
            if (name == "Data" || name == "bin" || !(name == "Particle.vsh" || std::isupper(name[0]))) continue;
            fs::create_symlink(e.path(), sandbox / name);
        }
        fs::create_directory(sandbox / "Data");
        for (const fs::directory_entry& e : fs::directory_iterator(tree / "Data"))
            if (e.path().filename() != "Ninja.x") fs::create_symlink(e.path(), sandbox / "Data" / e.path().filename());
        std::ofstream(sandbox / "Data" / "Ninja.x", std::ios::binary) << bytes;
        // The exported character keeps its texture in a folder of its own.
        fs::create_directory(sandbox / "Data" / "textures");
        fs::create_symlink(tree / "Data" / "ninja.bmp", sandbox / "Data" / "textures" / "ninja.bmp");
    }
    void ExpectCleanedUp() {
        EXPECT_EQ(LiveObjects(), 0);
        EXPECT_EQ(g_CharacterMesh, nullptr);
        EXPECT_EQ(g_CharacterFrames, nullptr);
        EXPECT_EQ(g_LevelMesh, nullptr);
        EXPECT_EQ(g_LevelFrames, nullptr);
        EXPECT_EQ(g_Device, nullptr);
        EXPECT_EQ(g_D3D, nullptr);
    }

    // The program reports nothing of its own for a missing file (the reader
    // service names the file it could not open).
    void ExpectOnlyTheFailureReported() {
        const std::string text = pt::DebugOutputText();
        const std::string last = "Initialization Failed\n";
        ASSERT_GE(text.size(), last.size());
        EXPECT_EQ(text.substr(text.size() - last.size()), last);
        EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;
    }

    std::string home;
    fs::path sandbox;
};

D3DXVECTOR3 CameraPosition(Camera& camera) {
    D3DXVECTOR3 p;
    camera.GetPosition(&p.x, &p.y, &p.z);
    return p;
}

TEST_F(SceneProgramTest, StartUpLoadsAndPlacesTheCharacterAndTheLevel) {
    bool seen = false;
    pt::SetD3D9PresentHook([&](unsigned frame) {
        if (frame != 1) return;
        seen = true;
        ASSERT_NE(g_CharacterMesh, nullptr);
        ASSERT_NE(g_CharacterFrames, nullptr);
        ASSERT_NE(g_LevelMesh, nullptr);
        ASSERT_NE(g_LevelFrames, nullptr);
        EXPECT_EQ(g_Character.pMeshContainers, g_CharacterMesh);
        EXPECT_EQ(g_Level.pMeshContainers, g_LevelMesh);
        EXPECT_NE(g_CharacterMesh->pSkinnedMesh, nullptr);
        EXPECT_EQ(g_Character.Radius, 1.0f);
        // The box of a figure standing on y = 0.
        EXPECT_GE(g_Character.BoxMin.y, -0.01f);
        EXPECT_GT(g_Character.BoxMax.y, 1.0f);
        EXPECT_LT(g_Level.BoxMin.z, g_Level.BoxMax.z);
        float x, y, z;
        g_Level.GetPosition(&x, &y, &z);
        EXPECT_EQ(D3DXVECTOR3(x, y, z), D3DXVECTOR3(0, 1.4f, 0));
        EXPECT_EQ(g_Level.RotationX, -1.57f);
        // The cameras from the character at the origin.
        EXPECT_EQ(CameraPosition(g_FollowCamera), D3DXVECTOR3(0, 2.0f, 2.0f));
        EXPECT_EQ(CameraPosition(g_LookCamera), D3DXVECTOR3(0, 0.7f, 0.5f));
        EXPECT_EQ(g_CameraOffset, D3DXVECTOR3(0, 2.0f, 2.0f));
        pt::SetAsyncKeyState(VK_ESCAPE, true, false);
    });
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(seen);
    EXPECT_EQ(pt::DebugOutputText(), "");
    ExpectCleanedUp();
}

TEST_F(SceneProgramTest, EachFrameResetsCombinesSkinsAndDrawsTheCharacterThenTheLevel) {
    // Two arrows down: no set plays and nothing walks, so the frames keep
    // their loaded matrices.
    pt::SetKeyByte(DIK_UP, 0x80);
    pt::SetKeyByte(DIK_LEFT, 0x80);
    std::vector<D3DXVECTOR3> bindPose, skinned;
    D3DXMATRIX rootCombined, rootOwn;
    pt::SetD3D9PresentHook([&](unsigned frame) {
        if (frame == 1) {
            // What an animation could leave, and a step of the movement.
            for (HierarchyFrame* f = g_CharacterFrames->pFrameFirstChild; f; f = f->pFrameSibling)
                D3DXMatrixTranslation(&f->TransformationMatrix, 5, 5, 5);
            g_CharacterX = 3.0f;
            g_CharacterZ = -2.0f;
            pt::ClearD3D9Calls();
            return;
        }
        ID3DXMesh* meshes[2] = {g_CharacterMesh->MeshData.pMesh, g_CharacterMesh->pSkinnedMesh};
        std::vector<D3DXVECTOR3>* out[2] = {&bindPose, &skinned};
        for (int i = 0; i < 2; ++i) {
            void* v = nullptr;
            meshes[i]->LockVertexBuffer(D3DLOCK_READONLY, &v);
            for (DWORD k = 0; k < meshes[i]->GetNumVertices(); ++k)
                out[i]->push_back(*reinterpret_cast<D3DXVECTOR3*>(static_cast<char*>(v) +
                                                                   k * meshes[i]->GetNumBytesPerVertex()));
            meshes[i]->UnlockVertexBuffer();
        }
        rootCombined = g_CharacterFrames->CombinedMatrix;
        rootOwn = g_CharacterFrames->TransformationMatrix;
        pt::SetAsyncKeyState(VK_ESCAPE, true, false);
    });
    EXPECT_EQ(Run(), 0);

    // Back to the loaded matrices before combining: the bind pose again.
    ASSERT_EQ(bindPose.size(), skinned.size());
    ASSERT_FALSE(bindPose.empty());
    for (size_t i = 0; i < bindPose.size(); ++i) {
        EXPECT_NEAR(skinned[i].x, bindPose[i].x, 1e-4f) << i;
        EXPECT_NEAR(skinned[i].y, bindPose[i].y, 1e-4f) << i;
        EXPECT_NEAR(skinned[i].z, bindPose[i].z, 1e-4f) << i;
    }
    const D3DXMATRIX twice = rootOwn * rootOwn;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(rootCombined.m[i / 4][i % 4], twice.m[i / 4][i % 4]);
    EXPECT_EQ(g_CharacterPos, D3DXVECTOR3(3, 0, -2));
    EXPECT_EQ(g_CameraTarget, D3DXVECTOR3(3, 0, -2));

    // Frame 2 as logged: nothing drawn before the scene begins; the
    // character at its place, then the level under its own matrix.
    const std::vector<std::string>& calls = pt::D3D9Calls();
    const int begin = pt::FindD3D9Call("BeginScene()");
    const int end = pt::FindD3D9Call("EndScene()");
    ASSERT_GE(begin, 0);
    ASSERT_GT(end, begin);
    EXPECT_EQ(pt::FindD3D9Call("DrawIndexedPrimitive("), pt::FindD3D9Call("DrawIndexedPrimitive(", begin));
    std::vector<std::string> worlds;
    for (int i = begin; i < end; ++i)
        if (calls[i].compare(0, 16, "SetTransform(256") == 0 &&
            (worlds.empty() || worlds.back() != calls[i]))
            worlds.push_back(calls[i]);
    ASSERT_EQ(worlds.size(), 2u);
    EXPECT_EQ(worlds[0], "SetTransform(256,{1,0,0,0,0,1,0,0,0,0,1,0,3,0,-2,1})");
    EXPECT_NE(worlds[1].find(",0,1.4,0,1})"), std::string::npos) << worlds[1];
    const int characterWorld = pt::FindD3D9Call(worlds[0], begin);
    const int levelWorld = pt::FindD3D9Call(worlds[1], begin);
    const int firstDraw = pt::FindD3D9Call("DrawIndexedPrimitive(", begin);
    EXPECT_LT(characterWorld, firstDraw);
    EXPECT_LT(firstDraw, levelWorld);
    EXPECT_GT(pt::FindD3D9Call("DrawIndexedPrimitive(", levelWorld), levelWorld);
    ExpectCleanedUp();
}

TEST_F(SceneProgramTest, AMissingCharacterStopsStartUpAndLeavesNothingAlive) {
    RunFromTreeWith({"Level01"});
    EXPECT_EQ(Run(), E_FAIL);
    ExpectOnlyTheFailureReported();
    EXPECT_EQ(pt::D3D9PresentCount(), 0u);
    EXPECT_EQ(g_Level.pMeshContainers, nullptr);  // never reached
    ExpectCleanedUp();
}

TEST_F(SceneProgramTest, AMissingLevelStopsStartUpAfterTheCharacterAndLeavesNothingAlive) {
    RunFromTreeWith({"Data"});
    EXPECT_EQ(Run(), E_FAIL);
    ExpectOnlyTheFailureReported();
    EXPECT_EQ(pt::D3D9PresentCount(), 0u);
    EXPECT_NE(g_Character.pMeshContainers, nullptr);  // the character had been loaded
    ExpectCleanedUp();
}

TEST_F(SceneProgramTest, StartUpsThatStopBeforeTheSceneLeaveNothingAlive) {
    struct Case {
        const char* what;
        void (*arrange)();
    } cases[] = {
        {"device", [] { pt::FailD3D9CreateDevice(pt::D3D9DeviceFailure::Always); }},
        {"back buffer", [] { pt::FailD3D9GetBackBuffer(true); }},
        {"input", [] { pt::FailDirectInput8Create(true); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.arrange();
        EXPECT_EQ(Run(), E_FAIL);
        ExpectCleanedUp();
    }
}

// A character exported for DirectX 9, its skin templates undeclared and
// compressed, swapped in for the program's own: the program starts with it,
// skinned and animated, walks it and ends cleanly.
TEST_F(SceneProgramTest, AnExportedCharacterStandsInForTheProgramsOwn) {
    xsamples::CharacterShape shape;
    shape.declareSkinTemplates = false;
    RunFromTreeWithCharacter(xwriter::Write(xsamples::Character(shape), xwriter::Encoding::BinaryZip));
    bool seen = false;
    const int result = program_fixtures::RunFrames([&](unsigned frame) {
        pt::SetKeyByte(DIK_LEFT, frame > 2 ? 0x80 : 0);
        if (frame != 10) return false;
        seen = true;
        EXPECT_NE(g_LevelMesh, nullptr);
        EXPECT_GT(g_CharacterX, 0.0f) << "it walked";
        [] {
            ASSERT_NE(g_CharacterFrames, nullptr);
            EXPECT_STREQ(g_CharacterFrames->Name, "Root");
            ASSERT_NE(g_CharacterMesh, nullptr);
            EXPECT_STREQ(g_CharacterMesh->Name, "Body");
            ASSERT_NE(g_CharacterMesh->pSkinInfo, nullptr);
            EXPECT_EQ(g_CharacterMesh->pSkinInfo->GetNumBones(), 3u);
            EXPECT_NE(g_CharacterMesh->pSkinnedMesh, nullptr);
            for (DWORD i = 0; i < 3; ++i) EXPECT_NE(g_CharacterMesh->ppBoneMatrixPtrs[i], nullptr) << i;
            EXPECT_EQ(g_Animations.setCount, 2u);
            for (AnimationSet* set = g_Animations.firstSet; set; set = set->next)
                for (Animation* a = set->firstAnimation; a; a = a->next) EXPECT_NE(a->frame, nullptr);
        }();
        return true;
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(seen);
    EXPECT_EQ(pt::DebugOutputText(), "");
    ExpectCleanedUp();
}

}  // namespace
