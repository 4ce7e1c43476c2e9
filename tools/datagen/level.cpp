// The arena: a stone floor, brick walls all round and a few obstacles, built
// in world terms and stored Z up as the program expects to turn it.
#include <algorithm>
#include <cmath>

#include "tools/datagen/datagen.h"
#include "tools/datagen/shapes.h"

namespace datagen {

namespace {

enum LevelMaterial : uint32_t { kFloor, kWall, kPillar };

// Grid lines over [a, b]: every multiple of step inside, plus both ends.
std::vector<float> Grid(float a, float b, float step) {
    std::vector<float> g{a};
    for (long k = std::lround(std::floor(a / step)) + 1; float(k) * step < b - 1e-4f; ++k)
        if (float(k) * step > a + 1e-4f) g.push_back(float(k) * step);
    g.push_back(b);
    return g;
}

// Texture coordinate of c within the repeat cell that holds the tile [c0, c1],
// so every tile stays inside [0, 1].
float Within(float c, float c0, float c1, float repeat) {
    float cell = std::floor(0.5f * (c0 + c1) / repeat);
    return c / repeat - cell;
}

struct Face {
    Vec3 normal, u, v;  // u x v = normal
};

// A box split into tiles on a world grid; faces of one box share their edges
// exactly, so the box is closed.
void AddBox(Mesh& mesh, const std::string& name, Vec3 lo, Vec3 hi, float tile, float repeat, uint32_t material) {
    Piece piece;
    piece.name = name;
    piece.firstVertex = uint32_t(mesh.positions.size());
    piece.firstFace = uint32_t(mesh.faces.size());
    const Face faces[6] = {
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}}, {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
        {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},   {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
    };
    for (const Face& f : faces) {
        auto range = [&](Vec3 axis, float* a, float* b) {
            float x0 = Dot(lo, axis), x1 = Dot(hi, axis);
            *a = std::min(x0, x1);
            *b = std::max(x0, x1);
        };
        float u0, u1, v0, v1;
        range(f.u, &u0, &u1);
        range(f.v, &v0, &v1);
        std::vector<float> gu = Grid(u0, u1, tile), gv = Grid(v0, v1, tile);
        Vec3 base = f.normal * std::max(Dot(lo, f.normal), Dot(hi, f.normal));
        for (size_t i = 0; i + 1 < gu.size(); ++i)
            for (size_t j = 0; j + 1 < gv.size(); ++j) {
                uint32_t first = uint32_t(mesh.positions.size());
                for (int k = 0; k < 4; ++k) {
                    float cu = (k & 1) ? gu[i + 1] : gu[i], cv = (k & 2) ? gv[j + 1] : gv[j];
                    mesh.positions.push_back(base + f.u * cu + f.v * cv);
                    mesh.normals.push_back(f.normal);
                    float tu = Within(cu, gu[i], gu[i + 1], repeat), tv = Within(cv, gv[j], gv[j + 1], repeat);
                    // Walls: v runs down the image as height grows.
                    if (f.v.y > 0) tv = 1 - tv;
                    mesh.uvs.push_back({tu, tv});
                }
                mesh.faces.push_back({first, first + 1, first + 2});
                mesh.faces.push_back({first + 1, first + 3, first + 2});
                mesh.faceMaterials.push_back(material);
                mesh.faceMaterials.push_back(material);
            }
    }
    piece.vertexCount = uint32_t(mesh.positions.size()) - piece.firstVertex;
    piece.faceCount = uint32_t(mesh.faces.size()) - piece.firstFace;
    mesh.pieces.push_back(piece);
}

void AddPillar(Mesh& mesh, const std::string& name, float x, float z, float radius, float y0, float y1) {
    Loft s;
    s.name = name;
    s.origin = {x, y0, z};
    s.axis = {0, 1, 0};
    s.side = {1, 0, 0};
    const float h = y1 - y0;
    // A plinth, the shaft in courses, and a capital.
    s.rings = {{0, 0, 0},
               {0, radius * 1.25f, radius * 1.25f},
               {0, radius * 1.25f, radius * 1.25f},
               {0.25f, radius * 1.25f, radius * 1.25f},
               {0.30f, radius, radius}};
    for (int i = 1; i <= 6; ++i) s.rings.push_back({0.30f + (h - 0.65f) * float(i) / 6.0f, radius, radius});
    s.rings.push_back({h - 0.30f, radius * 1.2f, radius * 1.2f});
    s.rings.push_back({h, radius * 1.2f, radius * 1.2f});
    s.rings.push_back({h, radius * 1.2f, radius * 1.2f});
    s.rings.push_back({h, 0, 0});
    s.segments = 12;
    s.material = kPillar;
    s.uv = {0, 0, 1, 1};
    s.spans = {{0}};
    std::vector<Influences> unused;
    AddLoft(mesh, unused, s);
}

}  // namespace

Vec3 LevelToWorld(Vec3 model) {
    // As the program places the level: RotationX(-1.57), then up by 1.4.
    return TransformCoord(model, RotationX(-1.57f) * Translation({0, 1.4f, 0}));
}

Vec3 WorldToLevel(Vec3 world) { return {world.x, -world.z, world.y - 1.4f}; }

GeneratedScene BuildLevel() {
    GeneratedScene out;
    Scene& scene = out.scene;
    Frame root;
    root.name = "Level";
    scene.frames.push_back(root);
    scene.meshFrame = 0;

    Mesh& mesh = scene.mesh;
    mesh.name = "LevelMesh";
    Material floor;
    floor.name = "Floor";
    floor.texture = "stone.bmp";
    Material wall = floor;
    wall.name = "Wall";
    wall.texture = "brick.bmp";
    Material pillar = floor;
    pillar.name = "Pillar";
    pillar.texture = "pillar.bmp";
    mesh.materials = {floor, wall, pillar};

    // World terms: the character stands at y = 0, the floor top lies just below.
    const float half = 7.0f, thick = 0.5f, top = 2.6f, bottom = -0.3f;
    AddBox(mesh, "Floor", {-half - thick, -0.36f, -half - thick}, {half + thick, -0.06f, half + thick}, 0.5f, 2.0f,
           kFloor);
    AddBox(mesh, "WallNorth", {-half - thick, bottom, -half - thick}, {half + thick, top, -half}, 1.0f, 2.0f, kWall);
    AddBox(mesh, "WallSouth", {-half - thick, bottom, half}, {half + thick, top, half + thick}, 1.0f, 2.0f, kWall);
    AddBox(mesh, "WallWest", {-half - thick, bottom, -half}, {-half, top, half}, 1.0f, 2.0f, kWall);
    AddBox(mesh, "WallEast", {half, bottom, -half}, {half + thick, top, half}, 1.0f, 2.0f, kWall);
    // Obstacles clear of the start at the origin; the low wall ahead (low, so
    // the follow camera sees over it) and the block to the left are a short walk away.
    AddBox(mesh, "LowWall", {-1.5f, bottom, -3.6f}, {1.5f, 1.0f, -3.1f}, 0.5f, 2.0f, kWall);
    AddBox(mesh, "Block", {2.5f, bottom, -1.0f}, {3.7f, 2.2f, 0.2f}, 0.5f, 2.0f, kPillar);
    AddBox(mesh, "Crate", {-4.0f, bottom, 2.5f}, {-3.0f, 2.0f, 3.5f}, 0.5f, 2.0f, kPillar);
    // Something in the way of each of the four walks from the start: the low
    // wall (up), the block (left), and these two (down and right).
    AddBox(mesh, "Partition", {-1.2f, bottom, 3.0f}, {1.2f, 2.0f, 3.5f}, 0.5f, 2.0f, kWall);
    AddBox(mesh, "Pier", {-3.0f, bottom, -0.6f}, {-2.2f, 2.2f, 0.6f}, 0.5f, 2.0f, kPillar);
    AddPillar(mesh, "PillarNE", 4.0f, -4.5f, 0.4f, bottom, top);
    AddPillar(mesh, "PillarNW", -4.0f, -4.5f, 0.4f, bottom, top);
    AddPillar(mesh, "PillarSE", 4.0f, 4.5f, 0.4f, bottom, top);
    AddPillar(mesh, "PillarSW", -4.5f, -0.5f, 0.4f, bottom, top);

    for (Vec3& p : mesh.positions) p = WorldToLevel(p);
    for (Vec3& n : mesh.normals) n = Vec3{n.x, -n.z, n.y};

    out.textures.push_back({"stone.bmp", StoneFloor(256)});
    out.textures.push_back({"brick.bmp", BrickWall(256)});
    out.textures.push_back({"pillar.bmp", PillarStone(256)});
    return out;
}

}  // namespace datagen
