// The program's data, built from code: the ninja, the level, their textures and
// the particle bitmaps.
#pragma once

#include <string>
#include <vector>

#include "tools/datagen/image.h"
#include "tools/datagen/model.h"
#include "tools/xwriter/xwriter.h"

namespace datagen {

struct Texture {
    std::string fileName;  // lower case, as the materials name it
    Image image;
};

struct GeneratedScene {
    Scene scene;
    std::vector<Texture> textures;
};

// Character: Y up, feet at y = 0, facing -z, one skinned mesh, five sets.
GeneratedScene BuildCharacter();

// Level: authored Z up (the program turns it by -1.57 about x and lifts it by
// 1.4), one frame holding one mesh.
GeneratedScene BuildLevel();
// Where a level point authored in model space lands in the world.
Vec3 LevelToWorld(Vec3 model);
Vec3 WorldToLevel(Vec3 world);

// The file model written to disk. The character declares the skin templates.
xwriter::File CharacterFile(const Scene& scene);
xwriter::File LevelFile(const Scene& scene);

// Writes every file into the run tree at root: Data/Ninja.x (binary) with its
// texture and the particle bitmaps, Level01/Level.x (text) with its textures.
bool WriteAll(const std::string& root, std::string* error);

}  // namespace datagen
