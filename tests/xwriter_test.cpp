// The X-file writer: the punctuation of text files, the token layout of binary
// ones, MSZIP framing, rejection of models that do not fit their templates, and
// the committed standard template block being current.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "tools/xtemplates/xtemplates.h"
#include "tools/xwriter/xwriter.h"

using xwriter::Encoding;
using xwriter::Object;
using xwriter::Value;

namespace {

Object Make(const std::string& tmpl, const std::string& name, std::vector<Value> data,
            std::vector<Object> children = {}) {
    Object o;
    o.templateName = tmpl;
    o.name = name;
    o.data = std::move(data);
    o.children = std::move(children);
    return o;
}

std::vector<Value> Floats(std::initializer_list<double> v) {
    std::vector<Value> out;
    for (double d : v) out.push_back(Value::Float(d));
    return out;
}

std::vector<Value> Ints(std::initializer_list<int64_t> v) {
    std::vector<Value> out;
    for (int64_t i : v) out.push_back(Value::Int(i));
    return out;
}

std::vector<Value> Cat(std::vector<std::vector<Value>> parts) {
    std::vector<Value> out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Object Triangle() {
    return Make("Mesh", "Tri", Cat({Ints({3}), Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}), Ints({1, 3, 0, 1, 2})}));
}

std::string ReadSource(const std::string& rel) {
    const char* root = std::getenv("BRANTO_SOURCE_DIR");
    std::ifstream in(std::string(root ? root : ".") + "/" + rel, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Binary token helpers for expected byte strings.
std::string Tok(uint16_t t) { return std::string{static_cast<char>(t & 0xFF), static_cast<char>(t >> 8)}; }
std::string Dw(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}
std::string F32(float f) {
    std::string s(4, '\0');
    std::memcpy(&s[0], &f, 4);
    return s;
}
std::string Name(const std::string& n) { return Tok(1) + Dw(static_cast<uint32_t>(n.size())) + n; }

}  // namespace

TEST(XWriter, TextUsesTheSeparatorsRealFilesUse) {
    xwriter::File f;
    f.templates.push_back(
        "template XSkinMeshHeader {\n <3CF169CE-FF7C-44AB-93C0-F78F62D172E2>\n"
        " WORD nMaxSkinWeightsPerVertex; WORD nMaxSkinWeightsPerFace; WORD nBones; }");
    f.objects.push_back(Make("Material", "Mat", Cat({Floats({1, 0.5, 0.25, 1}), Floats({8}), Floats({0, 0, 0}),
                                                     Floats({0.1f, 0, 0})}),
                             {Make("TextureFilename", "", {Value::Str("tex\\a \"b\".bmp")})}));
    Object mesh = Triangle();
    mesh.children.push_back(Make("MeshMaterialList", "", Ints({1, 1, 0}), {Object::Reference("Mat")}));
    f.objects.push_back(Make("Frame", "Root", {},
                             {Make("FrameTransformMatrix", "",
                                   Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1})),
                              mesh, Make("XSkinMeshHeader", "", Ints({1, 1, 2}))}));

    const std::string expected =
        "xof 0303txt 0032\n"
        "template XSkinMeshHeader {\n"
        " <3CF169CE-FF7C-44AB-93C0-F78F62D172E2>\n"
        " WORD nMaxSkinWeightsPerVertex;\n"
        " WORD nMaxSkinWeightsPerFace;\n"
        " WORD nBones;\n"
        "}\n\n"
        "Material Mat {\n"
        " 1.000000;0.500000;0.250000;1.000000;;\n"
        " 8.000000;\n"
        " 0.000000;0.000000;0.000000;;\n"
        " 0.100000;0.000000;0.000000;;\n"
        " TextureFilename {\n"
        "  \"tex\\\\a \\\"b\\\".bmp\";\n"
        " }\n"
        "}\n"
        "Frame Root {\n"
        " FrameTransformMatrix {\n"
        "  1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,"
        "0.000000,0.000000,0.000000,0.000000,1.000000;;\n"
        " }\n"
        " Mesh Tri {\n"
        "  3;\n"
        "  0.000000;0.000000;0.000000;,\n"
        "  1.000000;0.000000;0.000000;,\n"
        "  0.000000;1.000000;0.000000;;\n"
        "  1;\n"
        "  3;0,1,2;;\n"
        "  MeshMaterialList {\n"
        "   1;\n"
        "   1;\n"
        "   0;\n"
        "   { Mat }\n"
        "  }\n"
        " }\n"
        " XSkinMeshHeader {\n"
        "  1;\n"
        "  1;\n"
        "  2;\n"
        " }\n"
        "}\n";
    EXPECT_EQ(xwriter::Write(f, Encoding::Text), expected);
}

TEST(XWriter, TextKeepsPrecisionAndWritesGuids) {
    xwriter::File f;
    f.floatBits = 64;
    Object frame = Make("Frame", "F", {}, {Object::Reference("", "3D82AB46-62DA-11CF-AB39-0020AF71E433"),
                                          Object::Reference("G", "3D82AB46-62DA-11CF-AB39-0020AF71E433")});
    frame.guid = "01234567-89AB-CDEF-0123-456789ABCDEF";
    f.objects.push_back(frame);
    f.objects.push_back(Make("Coords2d", "", Floats({0.1, -1e-7})));
    std::string text = xwriter::Write(f, Encoding::Text);
    EXPECT_EQ(text.substr(0, 16), "xof 0303txt 0064");
    EXPECT_NE(text.find("Frame F {\n <01234567-89AB-CDEF-0123-456789ABCDEF>\n"), std::string::npos) << text;
    EXPECT_NE(text.find("{ <3D82AB46-62DA-11CF-AB39-0020AF71E433> }"), std::string::npos) << text;
    EXPECT_NE(text.find("{ G <3D82AB46-62DA-11CF-AB39-0020AF71E433> }"), std::string::npos) << text;
    // A float that %f would round away is written so that it reads back exactly.
    EXPECT_NE(text.find("0.100000;"), std::string::npos) << text;
    EXPECT_NE(text.find("-1.00000001e-07;"), std::string::npos) << text;
}

TEST(XWriter, BinaryMergesListsAcrossMembersAndEndsStringsWithATwoByteToken) {
    xwriter::File f;
    f.objects.push_back(Triangle());
    f.objects.push_back(Make("TextureFilename", "", {Value::Str("a.bmp")}));
    f.objects.push_back(Make("Frame", "", {}, {Object::Reference("Tri")}));

    std::string floats;
    for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) floats += F32(v);
    const std::string expected = std::string("xof 0303bin 0032") +
                                 // Mesh Tri { [3] [9 floats] [1 3 0 1 2] }
                                 Name("Mesh") + Name("Tri") + Tok(10) + Tok(6) + Dw(1) + Dw(3) + Tok(7) + Dw(9) +
                                 floats + Tok(6) + Dw(5) + Dw(1) + Dw(3) + Dw(0) + Dw(1) + Dw(2) + Tok(11) +
                                 // TextureFilename { "a.bmp" ; }
                                 Name("TextureFilename") + Tok(10) + Tok(2) + Dw(5) + "a.bmp" + Tok(20) + Tok(11) +
                                 // Frame { { Tri } }
                                 Name("Frame") + Tok(10) + Tok(10) + Name("Tri") + Tok(11) + Tok(11);
    EXPECT_EQ(xwriter::Write(f, Encoding::Binary), expected);
}

TEST(XWriter, BinaryWritesSixtyFourBitFloatsAndIntegersWhereFloatsStand) {
    xwriter::File f;
    f.floatBits = 64;
    f.objects.push_back(Make("Coords2d", "", {Value::Int(2), Value::Float(0.1)}));
    std::string bytes = xwriter::Write(f, Encoding::Binary);
    double two = 2, tenth = 0.1;
    std::string expected = std::string("xof 0303bin 0064") + Name("Coords2d") + Tok(10) + Tok(7) + Dw(2);
    expected.append(reinterpret_cast<const char*>(&two), 8);
    expected.append(reinterpret_cast<const char*>(&tenth), 8);
    expected += Tok(11);
    EXPECT_EQ(bytes, expected);
}

TEST(XWriter, BinaryTemplatesUseTheTemplateTokens) {
    xwriter::File f;
    f.minorVersion = 2;
    f.templates.push_back("template T { <01234567-89AB-CDEF-0123-456789ABCDEF> DWORD n; array STRING s[n]; "
                          "Vector v; array FLOAT m[4][2]; [...] }");
    uint8_t guid[16] = {0x67, 0x45, 0x23, 0x01, 0xAB, 0x89, 0xEF, 0xCD, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    const std::string expected = std::string("xof 0302bin 0032") + Tok(31) + Name("T") + Tok(10) + Tok(5) +
                                 std::string(reinterpret_cast<const char*>(guid), 16) +
                                 // DWORD n;
                                 Tok(41) + Name("n") + Tok(20) +
                                 // array STRING s[n];  (STRING as LPSTR)
                                 Tok(52) + Tok(49) + Name("s") + Tok(14) + Name("n") + Tok(15) + Tok(20) +
                                 // Vector v;
                                 Name("Vector") + Name("v") + Tok(20) +
                                 // array FLOAT m[4][2];
                                 Tok(52) + Tok(42) + Name("m") + Tok(14) + Tok(3) + Dw(4) + Tok(15) + Tok(14) +
                                 Tok(3) + Dw(2) + Tok(15) + Tok(20) +
                                 // [...]
                                 Tok(14) + Tok(18) + Tok(18) + Tok(18) + Tok(15) + Tok(11);
    EXPECT_EQ(xwriter::Write(f, Encoding::Binary), expected);
}

// Inflates an MSZIP body the way the format says, optionally without history.
static bool Inflate(const std::string& file, bool history, std::string& out, int& blocks) {
    uint32_t total;
    std::memcpy(&total, file.data() + 16, 4);
    size_t pos = 20;
    out.clear();
    blocks = 0;
    while (pos < file.size()) {
        uint16_t usize, csize;
        std::memcpy(&usize, file.data() + pos, 2);
        std::memcpy(&csize, file.data() + pos + 2, 2);
        if (file.compare(pos + 4, 2, "CK") != 0) return false;
        z_stream z{};
        inflateInit2(&z, -15);
        if (history && !out.empty()) {
            size_t n = std::min<size_t>(32768, out.size());
            inflateSetDictionary(&z, reinterpret_cast<const Bytef*>(out.data() + out.size() - n), static_cast<uInt>(n));
        }
        std::string block(usize, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(file.data() + pos + 6));
        z.avail_in = csize - 2u;
        z.next_out = reinterpret_cast<Bytef*>(&block[0]);
        z.avail_out = usize;
        int rc = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        if (rc != Z_STREAM_END || z.avail_out != 0 || z.avail_in != 0) return false;
        out += block;
        pos += 4u + csize;
        ++blocks;
    }
    return total == out.size() + 16;
}

TEST(XWriter, ZipEncodingsAreMsZipBlocksWithHistory) {
    xwriter::File f;
    Object mesh;
    mesh.templateName = "Mesh";
    mesh.name = "Big";
    const int n = 3000;
    mesh.data.push_back(Value::Int(n));
    for (int i = 0; i < n; ++i)
        for (double v : {i * 0.5, 1.0, -2.0}) mesh.data.push_back(Value::Float(v));
    mesh.data.push_back(Value::Int(n / 3));
    for (int i = 0; i < n / 3; ++i)
        for (int64_t v : {3, 3 * i, 3 * i + 1, 3 * i + 2}) mesh.data.push_back(Value::Int(v));
    f.objects.push_back(mesh);

    for (auto [plain, zipped, format] : {std::make_tuple(Encoding::Text, Encoding::TextZip, "tzip"),
                                         std::make_tuple(Encoding::Binary, Encoding::BinaryZip, "bzip")}) {
        std::string body = xwriter::Write(f, plain).substr(16);
        std::string file = xwriter::Write(f, zipped);
        EXPECT_EQ(file.substr(0, 16), std::string("xof 0303") + format + "0032");
        std::string out;
        int blocks = 0;
        ASSERT_TRUE(Inflate(file, true, out, blocks)) << format;
        EXPECT_EQ(out, body) << format;
        EXPECT_EQ(blocks, static_cast<int>((body.size() + 32767) / 32768)) << format;
        ASSERT_GE(blocks, 2) << format;
        // Later blocks refer back into earlier ones: they need the history.
        EXPECT_FALSE(Inflate(file, false, out, blocks)) << format;
    }
}

TEST(XWriter, RejectsModelsThatDoNotFitTheirTemplates) {
    struct Case {
        const char* what;
        Object object;
        std::vector<std::string> templates;
    } cases[] = {
        {"unknown template", Make("NoSuchTemplate", "", {}), {}},
        {"missing values", Make("Vector", "", Floats({1, 2})), {}},
        {"surplus values", Make("Vector", "", Floats({1, 2, 3, 4})), {}},
        {"number for a string", Make("TextureFilename", "", Ints({1})), {}},
        {"string for a number", Make("Vector", "", {Value::Str("1"), Value::Float(2), Value::Float(3)}), {}},
        {"fraction for an integer", Make("Boolean", "", Floats({0.5})), {}},
        {"array larger than the data", Make("FloatKeys", "", Ints({1000000})), {}},
        {"float that is not finite", Make("Vector", "", Floats({1, 2, std::numeric_limits<double>::infinity()})), {}},
        {"name with a space", Make("Frame", "two words", {}), {}},
        {"name with a brace", Make("Frame", "a{b", {}), {}},
        {"bad object GUID", [] { Object o = Make("Frame", "F", {}); o.guid = "12-34"; return o; }(), {}},
        {"empty reference", Make("Frame", "F", {}, {Object::Reference("")}), {}},
        {"unknown member type", Make("Vector", "", Floats({1, 2, 3})), {"template T { <01234567-89AB-CDEF-0123-456789ABCDEF> Nope x; }"}},
        {"bad template guid", Make("Vector", "", Floats({1, 2, 3})), {"template T { <0123> DWORD x; }"}},
    };
    for (const Case& c : cases) {
        xwriter::File f;
        f.templates = c.templates;
        f.objects.push_back(c.object);
        for (Encoding e : {Encoding::Text, Encoding::Binary})
            EXPECT_THROW(xwriter::Write(f, e), std::invalid_argument) << c.what;
    }
    xwriter::File f;
    f.floatBits = 16;
    EXPECT_THROW(xwriter::Write(f, Encoding::Text), std::invalid_argument);
    EXPECT_FALSE(xwriter::WriteFile("/nonexistent-folder/x.x", xwriter::File{}, Encoding::Text));
}

TEST(XWriter, CommittedTemplateBlocksAreCurrent) {
    for (const xtemplates::BlockNames* names : {&xtemplates::kStandardBlock, &xtemplates::kDx9Block}) {
        SCOPED_TRACE(names->textSource);
        const std::string dir = "platform/xfile/";
        xtemplates::BlockSources s = xtemplates::Generate(ReadSource(dir + names->textSource), *names);
        EXPECT_EQ(s.block.substr(0, 16), "xof 0302bin 0064");
        EXPECT_EQ(s.header, ReadSource(dir + names->header)) << "run: cmake --build <build> --target xtemplates_update";
        EXPECT_EQ(s.source, ReadSource(dir + names->source)) << "run: cmake --build <build> --target xtemplates_update";
    }
}
