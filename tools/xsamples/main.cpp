// xsamples <folder>: writes sample X files in every encoding into the folder
// (the seed corpus of the reader's fuzz target).
#include <fstream>
#include <iostream>
#include <string>

#include "xsamples.h"

namespace {

// Small hand-written shapes that real exporters produce.
const char* const kTextShapes[] = {
    "xof 0303txt 0032\r\n# comment\r\nFrame A { FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }\r\n",
    "xof 0302txt 0064\nAnimationSet{Animation{{A}AnimationKey{0;2;0;4;1,0,0,0;;,29;4;1,0,0,0;;;}}}Frame A{}",
    "xof 0303txt 0032\nMaterial M { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFileName { \"a\\\\b.bmp\"; } }\n"
    "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; { M } } }\n",
    "xof 0303txt 0032\ntemplate T { <01234567-89AB-CDEF-0123-456789ABCDEF> DWORD n; array STRING s[n]; [...] }\n"
    "T X { <11111111-2222-3333-4444-555555555555> 2; \"a\", \"b\"; { <11111111-2222-3333-4444-555555555555> } }\n",
};

bool Save(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) std::cerr << "xsamples: cannot write " << path << "\n";
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: xsamples <folder>\n";
        return 2;
    }
    const std::string dir = argv[1];
    const struct {
        xwriter::Encoding encoding;
        const char* name;
    } encodings[] = {{xwriter::Encoding::Text, "txt"},
                     {xwriter::Encoding::Binary, "bin"},
                     {xwriter::Encoding::TextZip, "tzip"},
                     {xwriter::Encoding::BinaryZip, "bzip"}};
    bool ok = true;
    for (int bits : {32, 64})
        for (const auto& e : encodings) {
            xwriter::File character = xsamples::Character(xsamples::CharacterShape{});
            character.floatBits = bits;
            xsamples::CharacterShape exported;
            exported.declareSkinTemplates = false;
            xwriter::File undeclared = xsamples::Character(exported);
            undeclared.floatBits = bits;
            xwriter::File grid = xsamples::BigMesh(50);
            grid.floatBits = bits;
            std::string suffix = std::string(e.name) + std::to_string(bits) + ".x";
            ok &= Save(dir + "/character_" + suffix, xwriter::Write(character, e.encoding));
            ok &= Save(dir + "/exported_" + suffix, xwriter::Write(undeclared, e.encoding));
            ok &= Save(dir + "/grid_" + suffix, xwriter::Write(grid, e.encoding));
        }
    int n = 0;
    for (const char* shape : kTextShapes) ok &= Save(dir + "/shape" + std::to_string(n++) + ".x", shape);
    return ok ? 0 : 1;
}
