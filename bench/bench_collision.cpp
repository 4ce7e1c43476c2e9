// One collision query of a character-sized model against a level-sized one, in
// the poses that cost the most: standing on the floor and brushing a wall.
#include <collision.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Mesh {
    std::vector<D3DXVECTOR3> corners;  // three per triangle
    void Add(D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c) { corners.insert(corners.end(), {a, b, c}); }
    size_t Triangles() const { return corners.size() / 3; }
};

void Ellipsoid(Mesh& m, D3DXVECTOR3 centre, D3DXVECTOR3 radii, int rings, int segments) {
    auto point = [&](int r, int s) {
        const double th = kPi * r / rings, ph = 2 * kPi * s / segments;
        return centre + D3DXVECTOR3(float(radii.x * std::sin(th) * std::cos(ph)), float(radii.y * std::cos(th)),
                                    float(radii.z * std::sin(th) * std::sin(ph)));
    };
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            if (r > 0) m.Add(point(r, s), point(r, s + 1), point(r + 1, s));
            if (r < rings - 1) m.Add(point(r, s + 1), point(r + 1, s + 1), point(r + 1, s));
        }
}

// A grid of n x n squares spanning the edges u and v from `origin`.
void Panel(Mesh& m, D3DXVECTOR3 origin, D3DXVECTOR3 u, D3DXVECTOR3 v, int n) {
    auto at = [&](int i, int j) { return origin + u * (float(i) / n) + v * (float(j) / n); };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            m.Add(at(i, j), at(i + 1, j), at(i + 1, j + 1));
            m.Add(at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
}

void Block(Mesh& m, D3DXVECTOR3 lo, D3DXVECTOR3 hi, int n) {
    const D3DXVECTOR3 dx(hi.x - lo.x, 0, 0), dy(0, hi.y - lo.y, 0), dz(0, 0, hi.z - lo.z);
    Panel(m, lo, dy, dx, n);
    Panel(m, lo + dz, dx, dy, n);
    Panel(m, lo, dx, dz, n);
    Panel(m, lo + dy, dz, dx, n);
    Panel(m, lo, dz, dy, n);
    Panel(m, lo + dx, dy, dz, n);
}

// About 3,400 triangles, 1.8 high, feet at y = 0, facing -z, sword in the right hand.
Mesh Character() {
    Mesh m;
    Ellipsoid(m, {0, 1.68f, 0}, {0.12f, 0.14f, 0.13f}, 12, 16);     // head
    Ellipsoid(m, {0, 1.22f, 0}, {0.22f, 0.32f, 0.14f}, 14, 24);     // chest and belly
    Ellipsoid(m, {0, 0.9f, 0}, {0.18f, 0.12f, 0.12f}, 10, 16);      // hips
    for (float side : {-1.0f, 1.0f}) {
        Ellipsoid(m, {side * 0.1f, 0.65f, 0}, {0.08f, 0.24f, 0.08f}, 10, 12);   // thigh
        Ellipsoid(m, {side * 0.1f, 0.25f, 0}, {0.06f, 0.22f, 0.06f}, 10, 12);   // shin
        Ellipsoid(m, {side * 0.1f, 0.03f, -0.06f}, {0.05f, 0.03f, 0.11f}, 6, 10);  // foot
        Ellipsoid(m, {side * 0.32f, 1.3f, 0}, {0.06f, 0.18f, 0.06f}, 10, 12);  // upper arm
        Ellipsoid(m, {side * 0.34f, 0.98f, -0.04f}, {0.05f, 0.16f, 0.05f}, 10, 12);  // forearm
    }
    Block(m, {0.32f, 0.5f, -0.9f}, {0.34f, 0.53f, -0.05f}, 4);  // sword
    return m;
}

// About 6,000 triangles, authored z-up: floor top at z = -1.45, walls all round,
// pillars that stand higher than the character.
Mesh Level() {
    Mesh m;
    Panel(m, {-10, -10, -1.45f}, {20, 0, 0}, {0, 20, 0}, 40);
    Block(m, {-10.5f, -10.5f, -1.45f}, {-10, 10.5f, 1.5f}, 6);
    Block(m, {10, -10.5f, -1.45f}, {10.5f, 10.5f, 1.5f}, 6);
    Block(m, {-10, -10.5f, -1.45f}, {10, -10, 1.5f}, 6);
    Block(m, {-10, 10, -1.45f}, {10, 10.5f, 1.5f}, 6);
    for (float x : {-5.0f, 5.0f})
        for (float y : {-5.0f, 5.0f}) Block(m, {x - 0.5f, y - 0.5f, -1.45f}, {x + 0.5f, y + 0.5f, 1.5f}, 5);
    return m;
}

std::unique_ptr<CCollisionObject> Build(const Mesh& mesh) {
    std::unique_ptr<CCollisionObject> object(newCollisionObject());
    for (size_t i = 0; i < mesh.corners.size(); i += 3)
        object->AddTriangle(mesh.corners[i], mesh.corners[i + 1], mesh.corners[i + 2]);
    object->Finalize();
    return object;
}

void Query(benchmark::State& state, D3DXVECTOR3 position, float yaw, bool expected) {
    const Mesh character = Character(), level = Level();
    const auto ninja = Build(character), arena = Build(level);
    D3DXMATRIX turn, move, place, lift, levelWorld;
    D3DXMatrixRotationY(&turn, yaw);
    D3DXMatrixTranslation(&move, position.x, position.y, position.z);
    const D3DXMATRIX characterWorld = turn * move;
    D3DXMatrixRotationX(&place, -1.57f);
    D3DXMatrixTranslation(&lift, 0, 1.4f, 0);
    levelWorld = place * lift;
    ninja->SetTransform(&characterWorld);
    arena->SetTransform(&levelWorld);
    if (ninja->Collision(arena.get(), 0) != expected) {
        state.SkipWithError("unexpected answer for this pose");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(ninja->Collision(arena.get(), 0));
    state.counters["character_triangles"] = double(character.Triangles());
    state.counters["level_triangles"] = double(level.Triangles());
}

// The floor top lands at world y = -0.05 (+/- the rounding of the level's rotation).
void BM_StandingClearOfTheFloor(benchmark::State& s) { Query(s, {1, -0.04f, 2}, 0.3f, false); }
void BM_FeetInTheFloor(benchmark::State& s) { Query(s, {1, -0.06f, 2}, 0.3f, true); }
void BM_BrushingAWallAndTheFloor(benchmark::State& s) { Query(s, {9.85f, -0.045f, 0}, 1.57f, false); }
void BM_SwordInTheWall(benchmark::State& s) { Query(s, {9.2f, -0.04f, 0}, -1.57f, true); }

BENCHMARK(BM_StandingClearOfTheFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FeetInTheFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BrushingAWallAndTheFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SwordInTheWall)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
