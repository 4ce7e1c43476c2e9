// The character's animations, movement and collisions in the whole program:
// WinMain on headless windows and the null device with the generated data,
// keys injected into the keyboard and a fake clock. Each test runs in its own
// process (the program keeps run-once state in globals).
#include <gtest/gtest.h>

#include <d3dx9.h>
#include <dinput.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "app/Main.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "scene/HierarchyFrame.h"
#include "tests/support/anim_fixtures.h"
#include "tests/support/program_fixtures.h"

namespace pt = platform_testing;
namespace af = anim_fixtures;
using af::CollisionCall;

namespace {

const int kKeys[] = {DIK_S, DIK_D, DIK_A, DIK_E, DIK_UP, DIK_DOWN, DIK_LEFT, DIK_RIGHT};

using program_fixtures::RunFrames;

void Arrange() {
    program_fixtures::ArrangeProgram();
    pt::SetFakeClockMs(50000);
}

void Hold(const std::vector<int>& keys) {
    for (int k : kKeys) pt::SetKeyByte(k, 0);
    for (int k : keys) pt::SetKeyByte(k, 0x80);
}

void Frames(HierarchyFrame* f, std::vector<HierarchyFrame*>* out) {
    for (; f; f = f->pFrameSibling) {
        out->push_back(f);
        Frames(f->pFrameFirstChild, out);
    }
}

std::vector<D3DXMATRIX> Pose() {
    std::vector<HierarchyFrame*> frames;
    Frames(g_CharacterFrames, &frames);
    std::vector<D3DXMATRIX> pose;
    for (HierarchyFrame* f : frames) pose.push_back(f->TransformationMatrix);
    return pose;
}

// The pose the character's frames would have with only `set` played at
// `time` after the reset (the loaded pose for null); the frames are left so.
std::vector<D3DXMATRIX> PoseOf(const char* set, DWORD time) {
    g_CharacterFrames->ResetTransforms();
    if (set) g_Animations.Play(set, time, 1, 1.0f);
    return Pose();
}

bool SamePose(const std::vector<D3DXMATRIX>& a, const std::vector<D3DXMATRIX>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        for (int k = 0; k < 16; ++k)
            if (std::fabs(a[i].m[k / 4][k % 4] - b[i].m[k / 4][k % 4]) > 1e-5f) return false;
    return true;
}

std::vector<std::string> SetNames() {
    std::vector<std::string> names;
    for (AnimationSet* s = g_Animations.firstSet; s; s = s->next) names.push_back(s->name ? s->name : "");
    return names;
}

TEST(AnimProgram, StartUpBuildsBothCollisionObjectsAndBindsTheCharactersSets) {
    Arrange();
    af::RecordCollisions(true);
    std::vector<CollisionCall> startUp;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  if (frame != 1) return false;
                  EXPECT_NE(g_Character.pCollisionObject, nullptr);
                  EXPECT_NE(g_Level.pCollisionObject, nullptr);
                  EXPECT_EQ(g_Character.pCollisionMesh, g_CharacterMesh->MeshData.pMesh);
                  EXPECT_EQ(g_Level.pCollisionMesh, g_LevelMesh->MeshData.pMesh);
                  // The sets stand in reverse file order, every animation bound.
                  EXPECT_EQ(SetNames(), (std::vector<std::string>{"idleTot", "spada", "calcio", "pugno", "camminata"}));
                  EXPECT_EQ(g_Animations.setCount, 5u);
                  for (AnimationSet* s = g_Animations.firstSet; s; s = s->next) {
                      EXPECT_GT(s->animationCount, 0u) << s->name;
                      for (Animation* a = s->firstAnimation; a; a = a->next)
                          EXPECT_NE(a->frame, nullptr) << s->name << " " << a->frameName;
                  }
                  startUp = af::CollisionLog();
                  return true;
              }),
              0);
    // The character's model, finalised, then the level's.
    int finalizes[2] = {0, 0};
    int triangles[2] = {0, 0};
    int lastObject = 0;
    for (const CollisionCall& c : startUp) {
        if (c.kind != CollisionCall::AddTriangle && c.kind != CollisionCall::Finalize) continue;
        ASSERT_GE(c.object, lastObject);
        lastObject = c.object;
        if (c.kind == CollisionCall::AddTriangle) {
            EXPECT_EQ(finalizes[c.object], 0);
            ++triangles[c.object];
        }
        if (c.kind == CollisionCall::Finalize) ++finalizes[c.object];
    }
    EXPECT_EQ(finalizes[0], 1);
    EXPECT_EQ(finalizes[1], 1);
    EXPECT_GT(triangles[0], 100);
    EXPECT_GT(triangles[1], 100);
    // The clean-up cleared the sets before the frame trees went.
    EXPECT_EQ(g_Animations.setCount, 0u);
    EXPECT_EQ(g_Animations.firstSet, nullptr);
    EXPECT_EQ(g_CharacterFrames, nullptr);
    af::RecordCollisions(false);
}

// Each collision object is placed by its own scene object's world matrix, as
// the previous frame drew it (identity before the first), the character's first.
TEST(AnimProgram, EachCollisionObjectReceivesItsOwnWorldMatrixFromLastFrame) {
    Arrange();
    af::RecordCollisions(true);
    Hold({DIK_LEFT});  // the character moves and turns in every frame
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    D3DXMATRIX drawnCharacter = identity, drawnLevel = identity;
    const D3DXMATRIX* addresses[2] = {nullptr, nullptr};
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  std::vector<CollisionCall> transforms;
                  for (const CollisionCall& c : af::CollisionLog())
                      if (c.kind == CollisionCall::SetTransform) transforms.push_back(c);
                  af::ClearCollisionLog();
                  EXPECT_EQ(transforms.size(), 2u) << frame;
                  if (transforms.size() != 2) return true;
                  EXPECT_EQ(transforms[0].object, 0);
                  EXPECT_EQ(transforms[1].object, 1);
                  EXPECT_EQ(std::memcmp(&transforms[0].matrix, &drawnCharacter, sizeof identity), 0) << frame;
                  EXPECT_EQ(std::memcmp(&transforms[1].matrix, &drawnLevel, sizeof identity), 0) << frame;
                  for (int i = 0; i < 2; ++i) {
                      if (!addresses[i]) addresses[i] = transforms[i].matrixAddress;
                      EXPECT_EQ(transforms[i].matrixAddress, addresses[i]) << "the storage lives for the run";
                  }
                  EXPECT_NE(addresses[0], addresses[1]);
                  // What this frame drew places them in the next.
                  drawnCharacter = g_Character.WorldMatrix;
                  drawnLevel = g_Level.WorldMatrix;
                  pt::AdvanceFakeClockMs(10);
                  return frame == 4;
              }),
              0);
    // The character's matrix followed its walk, the level's stayed where it was put.
    EXPECT_NE(std::memcmp(&drawnCharacter, &identity, sizeof identity), 0);
    EXPECT_NEAR(drawnLevel._42, 1.4f, 1e-6f);
    EXPECT_NEAR(drawnLevel._23, -1.0f, 1e-5f);
    af::RecordCollisions(false);
}

// Frame after frame a different hold of keys: the pose drawn is that of the
// set the keys choose (the walk set comes from the movement), or the loaded
// pose when nothing plays.
TEST(AnimProgram, TheKeysChooseTheSetThatIsPlayed) {
    Arrange();
    struct Case {
        const char* what;
        std::vector<int> keys;
        const char* set;
        int timeFactor;
    } cases[] = {
        {"nothing", {}, "idleTot", 2},
        {"S", {DIK_S}, "pugno", 3},
        {"D", {DIK_D}, "calcio", 2},
        {"A", {DIK_A}, "spada", 3},
        {"E", {DIK_E}, "idleTot", 2},
        {"S and D", {DIK_S, DIK_D}, "idleTot", 2},
        {"S and E", {DIK_S, DIK_E}, "idleTot", 2},
        {"D and A", {DIK_D, DIK_A}, "idleTot", 2},
        {"S, D and A", {DIK_S, DIK_D, DIK_A}, "idleTot", 2},
        {"Left", {DIK_LEFT}, "camminata", 2},
        {"S and Left", {DIK_S, DIK_LEFT}, "camminata", 2},
        {"Up and Left", {DIK_UP, DIK_LEFT}, nullptr, 0},
        {"A and Right", {DIK_A, DIK_RIGHT}, "camminata", 2},
    };
    const size_t count = sizeof cases / sizeof cases[0];
    size_t current = 0;
    std::vector<std::string> failures;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  if (frame > 1) {
                      const Case& c = cases[current];
                      const std::vector<D3DXMATRIX> drawn = Pose();
                      const bool same = SamePose(drawn, PoseOf(c.set, g_ElapsedMs * c.timeFactor));
                      if (!same) failures.push_back(c.what);
                      EXPECT_EQ(g_CollisionFlag, 0) << c.what;  // nothing near at the start
                      if (++current == count) return true;
                  }
                  Hold(cases[current].keys);
                  pt::AdvanceFakeClockMs(37);
                  return false;
              }),
              0);
    EXPECT_EQ(current, count);
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
}

// Each arrow held from the start walks the character into an obstacle of the
// level: the ray along the walk hits first, then the models touch,
// "COLLISIONE!!!" is drawn, and the push-back holds the character within a
// step of where it first touched. Let go, it stands: after a ray hit no set
// plays.
struct Obstacle {
    const char* arrow;
    int key;
    float* axis;    // g_CharacterX or g_CharacterZ
    float sign;     // +1 when the arrow walks toward larger values
    float step;     // one walking step
    float face;     // the near face of what stands in the way, along the walk
};

void PrintTo(const Obstacle& o, std::ostream* os) { *os << o.arrow; }

class WalkingInto : public ::testing::TestWithParam<Obstacle> {};

TEST_P(WalkingInto, AnObstacleShowsTheMessageAndStopsTheCharacter) {
    const Obstacle& o = GetParam();
    Arrange();
    pt::RecordD3DXTexts();
    Hold({o.key});
    unsigned firstRayHit = 0, firstContact = 0, stoodStill = 0;
    float atContact = 0.0f, furthest = 0.0f;
    int contactFrames = 0;
    bool messageRight = true, standsInTheLoadedPose = false;
    BYTE previousFlag = 0;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  if (g_CollisionFlag == 1 && !firstRayHit) firstRayHit = frame;
                  bool message = false;
                  for (const pt::D3DXTextRecord& t : pt::D3DXTextsDrawn()) {
                      if (t.text != "COLLISIONE!!!") continue;
                      message = true;
                      messageRight = messageRight && t.x == 30 && t.y == 60 && t.color == 0xFFFFFFFFu;
                  }
                  pt::ClearD3DXTexts();
                  const float along = o.sign * *o.axis;
                  if (message) {
                      ++contactFrames;
                      if (!firstContact) {
                          firstContact = frame;
                          atContact = along;
                      }
                  }
                  furthest = std::max(furthest, along);
                  // Without arrows, after a frame whose ray hit and without a push-back.
                  if (stoodStill && previousFlag == 1 && !message) {
                      standsInTheLoadedPose = SamePose(Pose(), PoseOf(nullptr, 0));
                      return true;
                  }
                  previousFlag = g_CollisionFlag;
                  pt::AdvanceFakeClockMs(10);
                  if (firstContact && frame == firstContact + 200) {
                      Hold({});
                      stoodStill = frame;
                  }
                  return frame == 3000 || (stoodStill && frame > stoodStill + 50);
              }),
              0);
    ASSERT_GT(firstRayHit, 0u) << "the ray never hit";
    ASSERT_GT(firstContact, 0u) << "no contact";
    EXPECT_LE(firstRayHit, firstContact);
    EXPECT_TRUE(messageRight);
    // Held against the obstacle, every frame's step is taken back.
    EXPECT_GT(contactFrames, 150);
    EXPECT_LE(furthest, atContact + 2 * o.step + 1e-4f);
    // It stopped short of the obstacle's face, and not far from it.
    EXPECT_LT(o.sign * *o.axis, o.face);
    EXPECT_GT(o.sign * *o.axis, o.face - 1.2f);
    EXPECT_TRUE(standsInTheLoadedPose);
}

// Down walks +z toward the partition, Up -z toward the low wall, Left +x toward
// the block, Right -x toward the pier.
INSTANTIATE_TEST_SUITE_P(EachArrow, WalkingInto,
                         ::testing::Values(Obstacle{"Down", DIK_DOWN, &g_CharacterZ, 1, 0.005f, 3.0f},
                                           Obstacle{"Up", DIK_UP, &g_CharacterZ, -1, 0.005f, 3.1f},
                                           Obstacle{"Left", DIK_LEFT, &g_CharacterX, 1, 0.003f, 2.5f},
                                           Obstacle{"Right", DIK_RIGHT, &g_CharacterX, -1, 0.003f, 2.2f}),
                         [](const ::testing::TestParamInfo<Obstacle>& info) { return std::string(info.param.arrow); });

}  // namespace
