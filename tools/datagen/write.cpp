#include <sys/stat.h>

#include <cerrno>

#include "tools/datagen/datagen.h"

namespace datagen {

namespace {

bool MakeDir(const std::string& path, std::string* error) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    *error = "cannot create " + path;
    return false;
}

bool WriteTextures(const std::string& dir, const GeneratedScene& g, std::string* error) {
    for (const Texture& t : g.textures)
        if (!WriteBmp(dir + "/" + t.fileName, t.image)) {
            *error = "cannot write " + dir + "/" + t.fileName;
            return false;
        }
    return true;
}

bool WriteOverlays(const std::string& root, const GeneratedScene& level, std::string* error) {
    const std::string alphabet = root + "/Alfabeto", pictures = root + "/Immagini";
    if (!MakeDir(alphabet, error) || !MakeDir(pictures, error)) return false;
    Image sheet;
    if (!AlphabetSheet(16, 32, &sheet, error)) return false;
    const struct {
        std::string path;
        Image image;
    } files[] = {{alphabet + "/Expo_16x32_MERVO.bmp", sheet},
                 {pictures + "/ConsoleBackground.bmp", ConsoleBackground(256, 96)},
                 {pictures + "/MiniMap.bmp", MiniMap(level)}};
    for (const auto& f : files)
        if (!WriteBmp(f.path, f.image)) {
            *error = "cannot write " + f.path;
            return false;
        }
    return true;
}

}  // namespace

bool WriteAll(const std::string& root, std::string* error) {
    const std::string data = root + "/Data", level = root + "/Level01";
    if (!MakeDir(root, error) || !MakeDir(data, error) || !MakeDir(level, error)) return false;

    GeneratedScene ninja = BuildCharacter();
    if (!xwriter::WriteFile(data + "/Ninja.x", CharacterFile(ninja.scene), xwriter::Encoding::Binary)) {
        *error = "cannot write " + data + "/Ninja.x";
        return false;
    }
    if (!WriteTextures(data, ninja, error)) return false;
    if (!WriteBmp(data + "/Particle_Smoke.bmp", SmokePuff(64)) ||
        !WriteBmp(data + "/Particle_Spare1.bmp", SparePuff(64))) {
        *error = "cannot write the particle bitmaps";
        return false;
    }

    GeneratedScene arena = BuildLevel();
    if (!xwriter::WriteFile(level + "/Level.x", LevelFile(arena.scene), xwriter::Encoding::Text)) {
        *error = "cannot write " + level + "/Level.x";
        return false;
    }
    if (!WriteTextures(level, arena, error)) return false;
    return WriteOverlays(root, arena, error);
}

}  // namespace datagen
