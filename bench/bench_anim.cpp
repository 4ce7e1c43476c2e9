// The character against the level through the program's own loaders and
// scene objects, on the generated data: the collision test in a pose that
// touches the low wall and one just short of it (the aim: well under 0.1 ms
// a query), and the walk set played on the character's frames (the aim:
// under 0.05 ms a frame).
#include <benchmark/benchmark.h>
#include <collision.h>

#include <cstdio>

#include "app/Globals.h"
#include "tests/support/device_fixtures.h"
#include "scene/Animation.h"
#include "scene/HierarchyFrame.h"
#include "scene/MeshLoader.h"
#include "scene/SceneFrame.h"

namespace {

IDirect3DDevice9* Device() {
    static IDirect3DDevice9* device = device_fixtures::NullDevice(16, 16, false);
    return device;
}

// The character and the level as the start-up makes them; loaded once.
struct Scene {
    MeshContainer* characterMesh = nullptr;
    HierarchyFrame* characterFrames = nullptr;
    MeshContainer* levelMesh = nullptr;
    HierarchyFrame* levelFrames = nullptr;
    SceneFrame character, level;
    AnimationCollection animations;
    bool ok = false;

    Scene() {
        LoadSkinnedMeshHierarchy(&characterMesh, &characterFrames, Device(), BRANTO_RUN_TREE "/Data/Ninja.x",
                                 BRANTO_RUN_TREE "/Data/", 0, D3DXMESH_SYSTEMMEM);
        LoadMeshHierarchy(&levelMesh, &levelFrames, Device(), BRANTO_RUN_TREE "/Level01/Level.x",
                          BRANTO_RUN_TREE "/Level01/", 0, D3DXMESH_SYSTEMMEM);
        if (!characterMesh || !levelMesh) return;
        character.AddMeshContainer(characterMesh);
        character.BuildCollisionObject(characterMesh);
        level.AddMeshContainer(levelMesh);
        level.SetPosition(0, 1.4f, 0);
        level.RotationX = -1.57f;
        level.BuildCollisionObject(levelMesh);
        level.UpdateTransform();
        level.pCollisionObject->SetTransform(&level.WorldMatrix);
        animations.Load(BRANTO_RUN_TREE "/Data/Ninja.x");
        animations.BindToFrames(characterFrames);
        ok = animations.setCount == 5;
    }
    // The character where walking up toward the low wall puts it.
    void PlaceCharacter(float z) {
        character.SetPosition(0, 0, z);
        character.UpdateTransform();
        character.pCollisionObject->SetTransform(&character.WorldMatrix);
    }
};

Scene& TheScene() {
    static Scene* scene = new Scene();
    return *scene;
}

void Collide(benchmark::State& state, float z, BYTE expected) {
    Scene& s = TheScene();
    if (!s.ok) {
        state.SkipWithError("the generated data is missing: build the run tree first");
        return;
    }
    s.PlaceCharacter(z);
    if (s.character.TestCollision(&s.level, 0) != expected) {
        state.SkipWithError("the pose does not answer as expected");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(s.character.TestCollision(&s.level, 0));
}

// Touching the wall, as the walk up from the start first does.
void BM_CollisionTouchingTheWall(benchmark::State& state) { Collide(state, -2.78f, 1); }
BENCHMARK(BM_CollisionTouchingTheWall)->Unit(benchmark::kMicrosecond);

// A step or two short of it: the ray already hits, the models do not touch.
void BM_CollisionJustShortOfTheWall(benchmark::State& state) { Collide(state, -2.70f, 0); }
BENCHMARK(BM_CollisionJustShortOfTheWall)->Unit(benchmark::kMicrosecond);

// One frame's animation: the reset of the character's frames and the walk set.
void BM_PlayWalkSet(benchmark::State& state) {
    Scene& s = TheScene();
    if (!s.ok) {
        state.SkipWithError("the generated data is missing: build the run tree first");
        return;
    }
    DWORD ms = 0;
    for (auto _ : state) {
        s.characterFrames->ResetTransforms();
        s.animations.Play("camminata", ms * 2, 1, 1.0f);
        ms += 7;
        benchmark::DoNotOptimize(s.characterFrames->pFrameFirstChild->TransformationMatrix);
    }
}
BENCHMARK(BM_PlayWalkSet)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
