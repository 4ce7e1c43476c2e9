// The vertex shader assembler: good sources give the platform's token stream,
// bad ones a negative result and a message that names the line, also on the
// debugger output.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/d3dx9/d3dx9.h"
#include "platform/testing.h"

namespace pt = platform_testing;
namespace fs = std::filesystem;

namespace {

// Parameter tokens, written out as the platform's layout has them.
constexpr DWORD Reg(DWORD type, DWORD number) { return 0x80000000u | (type & 7) << 28 | (type & 0x18) << 8 | number; }
constexpr DWORD kFull = 0x000F0000;    // write mask xyzw
constexpr DWORD kNoSwz = 0x00E40000;   // swizzle xyzw
constexpr DWORD kNeg = 0x01000000;
constexpr DWORD Swz(int x, int y, int z, int w) { return DWORD(x | y << 2 | z << 4 | w << 6) << 16; }
constexpr DWORD kTemp = 0, kInput = 1, kConst = 2, kRastOut = 4, kAttrOut = 5, kTexOut = 6;

struct Assembled {
    HRESULT hr = E_FAIL;
    std::vector<DWORD> tokens;
    std::string error;
    bool touched = false;  // *ppShader written on failure
};

Assembled Assemble(const std::string& source) {
    Assembled a;
    LPD3DXBUFFER const untouched = reinterpret_cast<LPD3DXBUFFER>(uintptr_t(0x1234));
    LPD3DXBUFFER code = untouched, errors = nullptr;
    a.hr = D3DXAssembleShader(source.data(), static_cast<UINT>(source.size()), nullptr, nullptr, 0, &code, &errors);
    if (SUCCEEDED(a.hr)) {
        const DWORD* t = static_cast<const DWORD*>(code->GetBufferPointer());
        a.tokens.assign(t, t + code->GetBufferSize() / sizeof(DWORD));
        code->Release();
    } else {
        a.touched = code != untouched;
    }
    if (errors) {
        a.error = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
    return a;
}

class Assembler : public ::testing::Test {
protected:
    void SetUp() override {
        pt::CaptureDebugOutput(true);
        baseline = layer::LiveObjects(layer::ObjectFamily::D3DX);
    }
    void TearDown() override { EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::D3DX), baseline); }
    int baseline = 0;
};

TEST_F(Assembler, TheParticleShaderBecomesTheTokensTheDeviceRuns) {
    // The shipped file, as the program reads it from beside bin/.
    LPD3DXBUFFER code = nullptr;
    ASSERT_EQ(D3DXAssembleShaderFromFileA("..\\Particle.vsh", nullptr, nullptr, 0, &code, nullptr), D3D_OK);
    const DWORD* t = static_cast<const DWORD*>(code->GetBufferPointer());
    const std::vector<DWORD> tokens(t, t + code->GetBufferSize() / 4);
    code->Release();
    const std::vector<DWORD> expected = {
        0xFFFE0101,
        D3DSIO_DCL, 0x80000000, Reg(kInput, 0) | kFull,                   // position0
        D3DSIO_DCL, 0x80010000, Reg(kInput, 1) | kFull,                   // position1
        D3DSIO_DCL, 0x8000000A, Reg(kInput, 2) | kFull,                   // color0
        D3DSIO_DCL, 0x80000005, Reg(kInput, 3) | kFull,                   // texcoord0
        D3DSIO_MUL, Reg(kTemp, 0) | kFull, Reg(kConst, 4) | kNoSwz, Reg(kInput, 1) | Swz(0, 0, 0, 0),
        D3DSIO_MAD, Reg(kTemp, 0) | kFull, Reg(kConst, 5) | kNoSwz, Reg(kInput, 1) | Swz(1, 1, 1, 1),
        Reg(kTemp, 0) | kNoSwz,
        D3DSIO_ADD, Reg(kTemp, 0) | kFull, Reg(kTemp, 0) | kNoSwz, Reg(kInput, 0) | kNoSwz,
        D3DSIO_DP4, Reg(kRastOut, 0) | 0x10000, Reg(kTemp, 0) | kNoSwz, Reg(kConst, 0) | kNoSwz,
        D3DSIO_DP4, Reg(kRastOut, 0) | 0x20000, Reg(kTemp, 0) | kNoSwz, Reg(kConst, 1) | kNoSwz,
        D3DSIO_DP4, Reg(kRastOut, 0) | 0x40000, Reg(kTemp, 0) | kNoSwz, Reg(kConst, 2) | kNoSwz,
        D3DSIO_DP4, Reg(kRastOut, 0) | 0x80000, Reg(kTemp, 0) | kNoSwz, Reg(kConst, 3) | kNoSwz,
        D3DSIO_MOV, Reg(kAttrOut, 0) | kFull, Reg(kInput, 2) | kNoSwz,
        D3DSIO_MOV, Reg(kTexOut, 0) | 0x30000, Reg(kInput, 3) | kNoSwz,
        0x0000FFFF};
    EXPECT_EQ(tokens, expected);
}

TEST_F(Assembler, TheLanguageAsWrittenByHand) {
    struct Case {
        const char* what;
        std::string source;
        std::vector<DWORD> body;  // between the version and the end token
    } const cases[] = {
        {"comments, blank lines, CRLF, any case, vs.1.1",
         "// header\r\n\r\nVS.1.1 ; version\r\nDCL_POSITION V0\r\n  MOV oPos, v0 // all of it\r\n",
         {D3DSIO_DCL, 0x80000000, Reg(kInput, 0) | kFull, D3DSIO_MOV, Reg(kRastOut, 0) | kFull,
          Reg(kInput, 0) | kNoSwz}},
        {"negation, short swizzles repeat their last letter, masks in order",
         "vs_1_1\ndcl_position v0\nmov oPos, v0\nadd r1.xzw, -v0.zy, v0.wzyx",
         {D3DSIO_DCL, 0x80000000, Reg(kInput, 0) | kFull, D3DSIO_MOV, Reg(kRastOut, 0) | kFull,
          Reg(kInput, 0) | kNoSwz, D3DSIO_ADD, Reg(kTemp, 1) | 0xD0000, Reg(kInput, 0) | Swz(2, 1, 1, 1) | kNeg,
          Reg(kInput, 0) | Swz(3, 2, 1, 0)}},
        {"def, the matrix macro and the other instructions",
         "vs_1_1\ndcl_normal2 v7\ndef c90, 1, -2.5, .25, 1e2\nm4x4 oPos, v7, c0\n"
         "sub r0, v7, c90\nmin r0, r0, v7\nmax r0, r0, v7\ndp3 r0.x, r0, v7\nrcp oD1, r0.x\nrsq oT7.w, v7.y\n"
         "mul r11, r0, v7\nmad r0, r0, r11, c1\nnop",
         {D3DSIO_DCL, 0x80020003, Reg(kInput, 7) | kFull, D3DSIO_DEF, Reg(kConst, 90) | kFull, 0x3F800000,
          0xC0200000, 0x3E800000, 0x42C80000, D3DSIO_M4x4, Reg(kRastOut, 0) | kFull, Reg(kInput, 7) | kNoSwz,
          Reg(kConst, 0) | kNoSwz, D3DSIO_SUB, Reg(kTemp, 0) | kFull, Reg(kInput, 7) | kNoSwz,
          Reg(kConst, 90) | kNoSwz, D3DSIO_MIN, Reg(kTemp, 0) | kFull, Reg(kTemp, 0) | kNoSwz,
          Reg(kInput, 7) | kNoSwz, D3DSIO_MAX, Reg(kTemp, 0) | kFull, Reg(kTemp, 0) | kNoSwz,
          Reg(kInput, 7) | kNoSwz, D3DSIO_DP3, Reg(kTemp, 0) | 0x10000, Reg(kTemp, 0) | kNoSwz,
          Reg(kInput, 7) | kNoSwz, D3DSIO_RCP, Reg(kAttrOut, 1) | kFull, Reg(kTemp, 0) | Swz(0, 0, 0, 0),
          D3DSIO_RSQ, Reg(kTexOut, 7) | 0x80000, Reg(kInput, 7) | Swz(1, 1, 1, 1), D3DSIO_MUL,
          Reg(kTemp, 11) | kFull, Reg(kTemp, 0) | kNoSwz, Reg(kInput, 7) | kNoSwz, D3DSIO_MAD,
          Reg(kTemp, 0) | kFull, Reg(kTemp, 0) | kNoSwz, Reg(kTemp, 11) | kNoSwz, Reg(kConst, 1) | kNoSwz,
          D3DSIO_NOP}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Assembled a = Assemble(c.source);
        ASSERT_EQ(a.hr, D3D_OK) << a.error;
        std::vector<DWORD> expected = {0xFFFE0101};
        expected.insert(expected.end(), c.body.begin(), c.body.end());
        expected.push_back(0x0000FFFF);
        EXPECT_EQ(a.tokens, expected);
    }
}

TEST_F(Assembler, EveryErrorNamesItsLine) {
    const std::string head = "vs_1_1\ndcl_position0 v0\n";  // lines 1 and 2
    const std::string tail = "\nmov oPos, v0";
    struct Case {
        std::string source;
        int line;
        const char* says;
    } const cases[] = {
        {"", 1, "must start with its version"},
        {"; only a comment\nmov oPos, v0", 2, "must start with its version"},
        {"vs_2_0\nmov oPos, v0", 1, "unsupported version \"vs_2_0\""},
        {"vs_1_1\nvs_1_1\n", 2, "a second version line"},
        {head + "frc r0, v0" + tail, 3, "unknown instruction \"frc\""},
        {head + "mov_sat r0, v0" + tail, 3, "unknown instruction \"mov_sat\""},
        {head + "add r0, v0" + tail, 3, "add takes 3 operands, not 2"},
        {head + "mov r0, v0, v0" + tail, 3, "mov takes 2 operands, not 3"},
        {head + "mov r0, , v0" + tail, 3, "an empty operand"},
        {head + "mov r12, v0" + tail, 3, "r12 is out of range (r0 to r11)"},
        {head + "mov r0, c96" + tail, 3, "c96 is out of range"},
        {head + "mov r0, v16" + tail, 3, "v16 is out of range"},
        {head + "mov oT8, v0" + tail, 3, "oT8 is out of range"},
        {head + "mov oD2, v0" + tail, 3, "oD2 is out of range"},
        {head + "mov x0, v0" + tail, 3, "unknown register \"x0\""},
        {head + "mov r0.yx, v0" + tail, 3, "bad write mask \".yx\""},
        {head + "mov r0.xx, v0" + tail, 3, "bad write mask \".xx\""},
        {head + "mov r0.q, v0" + tail, 3, "bad write mask \".q\""},
        {head + "mov r0, v0.xyzwx" + tail, 3, "bad swizzle \".xyzwx\""},
        {head + "mov r0, v0.xq" + tail, 3, "bad swizzle \".xq\""},
        {head + "mov r0, v0." + tail, 3, "nothing after the dot"},
        {head + "mov v1, v0" + tail, 3, "an input register cannot be written"},
        {head + "mov c1, v0" + tail, 3, "a constant register cannot be written"},
        {head + "mov -r0, v0" + tail, 3, "a destination cannot be negated"},
        {head + "mov r0, oPos" + tail, 3, "an output register cannot be read"},
        {head + "add r0, c1, c2" + tail, 3, "two different constant registers"},
        {head + "mad r0, c1, v0, -c2" + tail, 3, "two different constant registers"},
        {head + "mov r0, v1" + tail, 3, "v1 is read but not declared"},
        {head + "mov r0.xyz, v0\nmov r1, r0" + tail, 4, "r0.w is read before it is written"},
        {head + "mov r0.x, v0\ndp3 r1.x, r0, v0" + tail, 4, "r0.y is read before it is written"},
        {head + "mov r0.x, v0\nmov r1.y, r0.y" + tail, 4, "r0.y is read before it is written"},
        {head + "mov r0, v0", 0, "oPos is never written"},
        {head + "mov oFog, v0" + tail, 3, "oFog is not supported"},
        {head + "mov r0, a0" + tail, 3, "a0 is not supported"},
        {head + "dcl_position0 v0" + tail, 3, "v0 is declared twice"},
        {head + "dcl_position r0" + tail, 3, "only input registers"},
        {head + "dcl_colour v1" + tail, 3, "unknown usage \"colour\""},
        {head + "dcl_texcoord16 v1" + tail, 3, "a usage index from 0 to 15"},
        {head + "def c0, 1, 2, 3" + tail, 3, "def takes a constant register and four numbers"},
        {head + "def r0, 1, 2, 3, 4" + tail, 3, "def needs a whole constant register"},
        {head + "def c0, 1, 2, 3, four" + tail, 3, "\"four\" is not a number"},
        {head + "def c0, 1, 2, 3, 4x" + tail, 3, "\"4x\" is not a number"},
        {head + "mov r0, v0\nm4x4 r0, r0, c0" + tail, 4, "the destination of m4x4 cannot be its vector"},
        {head + "mov r0, v0\nmov r1, v0\nmov r2, v0\nmov r3, v0\nm4x4 r2, v0, r0" + tail, 7,
         "the destination of m4x4 cannot be part of its matrix"},
        {head + "m4x4 oPos, v0, c93" + tail, 3, "c96 does not exist"},
        {head + std::string("mov r0, v0\0", 11) + tail, 3, "a NUL byte"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        pt::ClearDebugOutput();
        Assembled a = Assemble(c.source);
        EXPECT_LT(a.hr, 0);
        EXPECT_FALSE(a.touched) << "the code pointer is written only on success";
        // Line 0 here: the last line of the text.
        int line = c.line;
        if (line == 0) line = static_cast<int>(std::count(c.source.begin(), c.source.end(), '\n')) + 1;
        const std::string where = "shader(" + std::to_string(line) + "): ";
        EXPECT_EQ(a.error.compare(0, where.size(), where), 0) << a.error;
        EXPECT_NE(a.error.find(c.says), std::string::npos) << a.error;
        EXPECT_EQ(pt::DebugOutputText(), "Shader assembler: " + a.error + "\n");
    }
}

TEST_F(Assembler, TooManyInstructionsAreRefused) {
    std::string source = "vs_1_1\ndcl_position v0\n";
    for (int i = 0; i < 128; ++i) source += "mov r0, v0\n";
    source += "mov oPos, v0\n";
    Assembled a = Assemble(source);
    EXPECT_LT(a.hr, 0);
    EXPECT_NE(a.error.find("shader(131): more than 128 instructions"), std::string::npos) << a.error;
}

TEST_F(Assembler, FilesAreFoundByWindowsNamesAndMissingOnesAreNamed) {
    const fs::path folder = fs::temp_directory_path() / ("vs_assembler_" + std::to_string(getpid()));
    fs::create_directories(folder / "Shaders" / "Run");
    {
        std::FILE* f = std::fopen((folder / "Shaders" / "Tiny.vsh").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("vs_1_1\ndcl_position v0\nmov oPos, v0\nmov oD0, r9\nbogus\n", f);
        std::fclose(f);
    }
    const fs::path home = fs::current_path();
    fs::current_path(folder / "Shaders" / "Run");
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    // The case of the name does not matter; a bad line is named with the file.
    EXPECT_LT(D3DXAssembleShaderFromFileA("..\\TINY.VSH", nullptr, nullptr, 0, &code, &errors), 0);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(static_cast<const char*>(errors->GetBufferPointer()),
                 "..\\TINY.VSH(5): unknown instruction \"bogus\"");
    errors->Release();
    errors = nullptr;
    pt::ClearDebugOutput();
    EXPECT_LT(D3DXAssembleShaderFromFileA("..\\Missing.vsh", nullptr, nullptr, 0, &code, &errors), 0);
    EXPECT_EQ(code, nullptr);
    EXPECT_EQ(pt::DebugOutputText(), "Shader assembler: ..\\Missing.vsh: cannot read the file\n");
    if (errors) errors->Release();
    // No error buffer asked for: the message still goes to the debugger output.
    pt::ClearDebugOutput();
    EXPECT_LT(D3DXAssembleShaderFromFileA("..\\Missing.vsh", nullptr, nullptr, 0, &code, nullptr), 0);
    EXPECT_NE(pt::DebugOutputText().find("Missing.vsh"), std::string::npos);
    fs::current_path(home);
    fs::remove_all(folder);
}

TEST_F(Assembler, MacrosIncludesAndMissingArgumentsAreRefused) {
    const char source[] = "vs_1_1\ndcl_position v0\nmov oPos, v0\n";
    LPD3DXBUFFER code = nullptr;
    const D3DXMACRO none[] = {{nullptr, nullptr}};
    const D3DXMACRO one[] = {{"X", "1"}, {nullptr, nullptr}};
    EXPECT_EQ(D3DXAssembleShader(source, sizeof source - 1, none, nullptr, 0, &code, nullptr), D3D_OK);
    ASSERT_NE(code, nullptr);
    code->Release();
    code = nullptr;
    EXPECT_EQ(D3DXAssembleShader(source, sizeof source - 1, one, nullptr, 0, &code, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXAssembleShader(source, sizeof source - 1, nullptr, reinterpret_cast<LPD3DXINCLUDE>(&code), 0,
                                 &code, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXAssembleShader(source, sizeof source - 1, nullptr, nullptr, 0, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXAssembleShader(nullptr, 4, nullptr, nullptr, 0, &code, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXAssembleShaderFromFileA(nullptr, nullptr, nullptr, 0, &code, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(code, nullptr);
}

}  // namespace
