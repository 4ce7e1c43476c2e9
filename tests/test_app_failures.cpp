// What the user is told when the data is damaged: the whole program (headless
// windows, the null device) run on a tree whose character or level was written
// from the generated scenes with one fault in one place. Start-up stops as it
// always did, the program's own debugger lines are unchanged, and one line names
// the file, the object and the fault. Each case runs in its own process.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "app/Main.h"
#include "platform/testing.h"
#include "platform/win32/native.h"
#include "tests/support/program_fixtures.h"
#include "tools/datagen/datagen.h"

namespace pt = platform_testing;
namespace fs = std::filesystem;
using xwriter::Object;
using xwriter::Value;

namespace {

// The first object of that template, depth first.
Object* Find(std::vector<Object>& objects, const std::string& templ) {
    for (Object& o : objects) {
        if (o.templateName == templ) return &o;
        if (Object* inner = Find(o.children, templ)) return inner;
    }
    return nullptr;
}

Object& MustFind(xwriter::File& file, const std::string& templ) {
    Object* o = Find(file.objects, templ);
    if (!o) throw std::runtime_error("no " + templ + " in the generated file");
    return *o;
}

// Mesh data: the vertex count, three floats a vertex, the face count, then
// each face's corner count and corners.
Value& FirstCorner(Object& mesh) { return mesh.data[1 + 3 * mesh.data[0].integer + 2]; }

// A Material child of the level's material list replaced by a reference.
std::function<void(xwriter::File&)> MaterialBecomes(const std::string& target) {
    return [target](xwriter::File& level) {
        Object& list = MustFind(level, "MeshMaterialList");
        ASSERT_EQ(list.children.at(0).templateName, "Material");
        list.children[0] = Object::Reference(target);
    };
}

enum class Which { Character, Level, Texture };

struct Damage {
    const char* name;
    Which file;
    // The X file's model before it is written, or (Texture) the tree's root.
    std::function<void(xwriter::File&)> damage;
    std::function<void(const fs::path&)> damageTree;
    // The program's end: E_FAIL when start-up stops, 0 when it runs on.
    int result;
    std::vector<std::string> lines;  // what the layer writes, whole, in order
};

// Test names show the case, not its bytes.
void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

std::vector<Damage> Cases() {
    return {
        {"FaceIndexAtTheVertexCount", Which::Character,
         [](xwriter::File& ninja) {
             Object& mesh = MustFind(ninja, "Mesh");
             FirstCorner(mesh) = Value::Int(mesh.data[0].integer);
         },
         {}, E_FAIL,
         {"X file: ..\\Data\\Ninja.x: Mesh 'NinjaBody': face 0 uses vertex 0000, but there are 0000 vertices"}},
        {"MaterialCountPastTheMaterials", Which::Level,
         [](xwriter::File& level) { MustFind(level, "MeshMaterialList").data[0] = Value::Int(2147483647); }, {},
         E_FAIL,
         {"X file: ..\\Level01\\Level.x: Mesh 'LevelMesh': MeshMaterialList counts 2147483647 materials but "
          "holds 3"}},
        {"MaterialReferenceToNothing", Which::Level, MaterialBecomes("NoSuchMaterial"), {}, E_FAIL,
         {"X file: ..\\Level01\\Level.x: MeshMaterialList: reference { NoSuchMaterial } names no object; skipped",
          "X file: ..\\Level01\\Level.x: Mesh 'LevelMesh': MeshMaterialList counts 3 materials but holds 2"}},
        {"MaterialReferenceToAFrame", Which::Level, MaterialBecomes("Level"), {}, E_FAIL,
         {"X file: ..\\Level01\\Level.x: Mesh 'LevelMesh': MeshMaterialList counts 3 materials but holds 2: "
          "reference { Level } names Frame 'Level', not a Material"}},
        {"MaterialReferenceToItsOwnMesh", Which::Level, MaterialBecomes("LevelMesh"), {}, E_FAIL,
         {"X file: ..\\Level01\\Level.x: Mesh 'LevelMesh': MeshMaterialList counts 3 materials but holds 2: "
          "reference { LevelMesh } names Mesh 'LevelMesh', not a Material"}},
        {"SkinWeightPastTheVertices", Which::Character,
         [](xwriter::File& ninja) {
             Object& weights = MustFind(ninja, "SkinWeights");
             // The bone's name, the weight count, then the vertex indices.
             weights.data[2] = Value::Int(70000);
         },
         {}, E_FAIL,
         {"X file: ..\\Data\\Ninja.x: Mesh 'NinjaBody': SkinWeights of bone '*': weight 0 is for vertex 70000, "
          "but the mesh has 0000 vertices"}},
        {"AnimationOfAMissingFrame", Which::Character,
         [](xwriter::File& ninja) {
             Object& animation = MustFind(ninja, "Animation");
             for (Object& child : animation.children)
                 if (child.IsReference()) child = Object::Reference("NoSuchFrame");
         },
         {}, 0, {"X file: ..\\Data\\Ninja.x: Animation: reference { NoSuchFrame } names no object; skipped"}},
        // Textures: the program runs on, the model untextured where its texture failed.
        {"LevelTextureMissing", Which::Texture, {},
         [](const fs::path& tree) { fs::remove(tree / "Level01/brick.bmp"); }, 0,
         {"Texture: ..\\Level01\\brick.bmp: no such file"}},
        {"CharacterTextureCutShort", Which::Texture, {},
         [](const fs::path& tree) {
             const fs::path bitmap = tree / "Data/ninja.bmp";
             const fs::path real = fs::read_symlink(bitmap);
             fs::remove(bitmap);
             fs::copy_file(real, bitmap);
             fs::resize_file(bitmap, fs::file_size(bitmap) - 100);
         },
         0, {"Texture: ..\\Data\\ninja.bmp: truncated: its pixels end at byte 0000, the file has 0000"}},
    };
}

// `line` with each "0000" standing for a number and "*" for a name.
bool Matches(const std::string& line, const std::string& pattern) {
    size_t i = 0, j = 0;
    while (j < pattern.size()) {
        if (pattern.compare(j, 4, "0000") == 0) {
            size_t from = i;
            while (i < line.size() && isdigit(static_cast<unsigned char>(line[i]))) ++i;
            if (i == from) return false;
            j += 4;
        } else if (pattern[j] == '*') {
            size_t from = i;
            while (i < line.size() && line[i] != '\'') ++i;
            if (i == from) return false;
            ++j;
        } else {
            if (i >= line.size() || line[i] != pattern[j]) return false;
            ++i;
            ++j;
        }
    }
    return i == line.size();
}

class DamagedFileTest : public ::testing::TestWithParam<Damage> {
protected:
    void SetUp() override {
        home = fs::current_path();
        sandbox = fs::temp_directory_path() / ("damaged_" + std::to_string(getpid()));
        fs::remove_all(sandbox);
        fs::create_directories(sandbox / "bin");
        // The build's run tree, file by file, so that one file can be replaced.
        for (const char* folder : {"Data", "Level01", "Immagini", "Alfabeto"}) {
            fs::create_directory(sandbox / folder);
            for (const auto& entry : fs::directory_iterator(home / ".." / folder))
                fs::create_symlink(entry.path(), sandbox / folder / entry.path().filename());
        }
        fs::create_symlink(home / ".." / "Particle.vsh", sandbox / "Particle.vsh");
        program_fixtures::ArrangeProgram();
        pt::CaptureDebugOutput(true);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(home.c_str()), 0);
        std::error_code ignored;
        fs::remove_all(sandbox, ignored);
    }

    // Writes the damaged file into the tree as the generator writes it.
    void Write(const Damage& d) {
        if (d.damageTree) return d.damageTree(sandbox);
        const bool character = d.file == Which::Character;
        datagen::GeneratedScene generated = character ? datagen::BuildCharacter() : datagen::BuildLevel();
        xwriter::File file =
            character ? datagen::CharacterFile(generated.scene) : datagen::LevelFile(generated.scene);
        d.damage(file);
        const fs::path path = sandbox / (character ? "Data/Ninja.x" : "Level01/Level.x");
        fs::remove(path);
        ASSERT_TRUE(xwriter::WriteFile(path.string(), file,
                                       character ? xwriter::Encoding::Binary : xwriter::Encoding::Text));
    }

    fs::path home, sandbox;
};

TEST_P(DamagedFileTest, EndsAsBeforeAndOneLineNamesTheFileTheObjectAndTheFault) {
    const Damage& d = GetParam();
    Write(d);
    ASSERT_EQ(chdir((sandbox / "bin").c_str()), 0);
    const int result = program_fixtures::RunFrames([](unsigned frame) { return frame >= 1; });
    EXPECT_EQ(result, d.result);

    // The lines of the layer, then the program's own, as they always were.
    std::vector<std::string> lines;
    for (const std::string& s : pt::DebugOutput()) lines.push_back(s);
    std::vector<std::string> own;
    if (d.result == E_FAIL) own = {"Initialization Failed", "\n"};
    ASSERT_EQ(lines.size(), d.lines.size() + own.size()) << pt::DebugOutputText();
    for (size_t i = 0; i < d.lines.size(); ++i)
        EXPECT_TRUE(Matches(lines[i], d.lines[i] + "\n")) << lines[i] << "expected: " << d.lines[i];
    EXPECT_EQ(std::vector<std::string>(lines.begin() + d.lines.size(), lines.end()), own);
    EXPECT_EQ(g_Device, nullptr);  // the clean-up ran
}

INSTANTIATE_TEST_SUITE_P(Damaged, DamagedFileTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

// A signal while the program runs ends it through its own quit path: the frame
// under way finishes, the window is closed as the user closes it, and the
// clean-up releases everything.
class SignalTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalTest, EndsTheProgramThroughItsOwnQuitAndCleanUp) {
    program_fixtures::ArrangeProgram();
    win32_native::EndOnSignals();
    unsigned frames = 0;
    const int result = program_fixtures::RunFrames([&](unsigned frame) {
        frames = frame;
        if (frame == 3) raise(GetParam());
        return frame >= 50;  // Escape, should the signal not end it
    });
    EXPECT_EQ(result, 0);
    EXPECT_LE(frames, 4u);  // the loop took the close at its next turn
    EXPECT_EQ(g_Device, nullptr);
    EXPECT_EQ(g_D3D, nullptr);
    EXPECT_EQ(g_CharacterMesh, nullptr);
    EXPECT_EQ(pt::DebugOutputText(), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

}  // namespace
