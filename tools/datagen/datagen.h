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

// The bitmap alphabet: cells of glyphWidth x glyphHeight from code 32 (the
// space, left empty), row by row, light glyphs on black; codes 32 to 127.
constexpr int kAlphabetColumns = 32;
constexpr int kAlphabetRows = 3;
constexpr const char* kAlphabetFont = "DejaVu Sans Mono:bold";
bool AlphabetSheet(int glyphWidth, int glyphHeight, Image* out, std::string* error);

// A dark picture that the console stretches behind its lines.
Image ConsoleBackground(int width, int height);

// The level from above, x to the right and z upwards, as the minimap's
// markers run. The world's origin, where the level stands and the character
// starts, lies where the markers put an object standing on the level's own
// position: the minimap lies at (81, 61) on the screen and that marker at
// (201.2, 138.7).
constexpr int kMiniMapWidth = 256;
constexpr int kMiniMapHeight = 159;
constexpr float kMiniMapOriginX = 120.21f;
constexpr float kMiniMapOriginY = 77.71f;
constexpr float kMiniMapScale = 9.6f;  // pixels per world unit
Image MiniMap(const GeneratedScene& level);

// Writes every file into the run tree at root: Data/Ninja.x (binary) with its
// texture and the particle bitmaps, Level01/Level.x (text) with its textures,
// Alfabeto/Expo_16x32_MERVO.bmp, Immagini/ConsoleBackground.bmp and
// Immagini/MiniMap.bmp.
bool WriteAll(const std::string& root, std::string* error);

}  // namespace datagen
