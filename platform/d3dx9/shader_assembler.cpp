// The 1.x vertex shader assembly language: a version line, declarations of
// the inputs, constant definitions and arithmetic instructions, one statement
// a line, with `;` and `//` comments. The text is turned into tokens here and
// then checked by the device's own decoder, so that what assembles is exactly
// what the device runs.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "d3dx9mesh.h"
#include "d3dx9shader.h"
#include "paths.h"
#include "testing_d3dx9.h"
#include "vs_program.h"

namespace d3dx {

namespace {

bool g_quiet = false;

constexpr DWORD kParam = 0x80000000u;

DWORD RegisterBits(DWORD type, UINT number) {
    return kParam | ((type & 7) << D3DSP_REGTYPE_SHIFT) | ((type & 0x18) << D3DSP_REGTYPE_SHIFT2) | number;
}

struct Mnemonic {
    const char* name;
    DWORD opcode;
    UINT sources;
};

const Mnemonic kMnemonics[] = {
    {"nop", D3DSIO_NOP, 0}, {"mov", D3DSIO_MOV, 1}, {"add", D3DSIO_ADD, 2},   {"sub", D3DSIO_SUB, 2},
    {"mad", D3DSIO_MAD, 3}, {"mul", D3DSIO_MUL, 2}, {"rcp", D3DSIO_RCP, 1},   {"rsq", D3DSIO_RSQ, 1},
    {"dp3", D3DSIO_DP3, 2}, {"dp4", D3DSIO_DP4, 2}, {"min", D3DSIO_MIN, 2},   {"max", D3DSIO_MAX, 2},
    {"m4x4", D3DSIO_M4x4, 2},
};

const char* const kUsages[] = {"position", "blendweight", "blendindices", "normal", "psize",   "texcoord", "tangent",
                               "binormal", "tessfactor",  "positiont",    "color",  "fog",     "depth",    "sample"};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

// Digits only, within `limit`; false otherwise.
bool Number(const std::string& s, UINT limit, UINT* out) {
    if (s.empty() || s.size() > 5) return false;
    UINT n = 0;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        n = n * 10 + UINT(c - '0');
    }
    if (n >= limit) return false;
    *out = n;
    return true;
}

// A register as written: its kind and number.
struct Register {
    DWORD type;
    UINT number;
};

class Assembler {
public:
    explicit Assembler(std::string source) : source_(std::move(source)) {}

    // The tokens, or false with the message in `error`.
    bool Run(const char* text, size_t length, std::vector<DWORD>* tokens, std::string* error) {
        tokens_.clear();
        lines_.clear();
        size_t start = 0;
        int line = 0;
        bool versioned = false;
        while (start <= length) {
            size_t end = start;
            while (end < length && text[end] != '\n') ++end;
            ++line;
            std::string statement(text + start, end - start);
            start = end + 1;
            size_t cut = statement.find(';');
            const size_t slashes = statement.find("//");
            if (slashes < cut) cut = slashes;
            if (cut != std::string::npos) statement.resize(cut);
            for (char c : statement)
                if (c == '\0') return Fail(line, "a NUL byte in the text", error);
            statement = Trim(statement);
            if (statement.empty()) continue;

            std::string head = statement, rest;
            const size_t space = statement.find_first_of(" \t");
            if (space != std::string::npos) {
                head = statement.substr(0, space);
                rest = Trim(statement.substr(space));
            }
            head = Lower(head);
            if (head == "vs_1_1" || head == "vs.1.1" || head == "vs_1_0" || head == "vs.1.0") {
                if (versioned) return Fail(line, "a second version line", error);
                if (!rest.empty()) return Fail(line, "text after the version", error);
                versioned = true;
                tokens_.push_back(head.back() == '1' ? D3DVS_VERSION(1, 1) : D3DVS_VERSION(1, 0));
                continue;
            }
            if (!versioned) {
                const std::string message = head.compare(0, 3, "vs_") == 0 || head.compare(0, 3, "vs.") == 0
                                                ? "unsupported version \"" + head + "\" (vs_1_1 is)"
                                                : "the shader must start with its version, vs_1_1";
                return Fail(line, message, error);
            }
            std::string why;
            if (!Statement(head, rest, &why)) return Fail(line, why, error);
            lines_.resize(instructions_, line);
        }
        if (!versioned) return Fail(line, "the shader must start with its version, vs_1_1", error);
        tokens_.push_back(D3DSIO_END);

        // What the device will check when it runs the code, with the line named.
        d3d9::VsProgram program;
        d3d9::VsDecodeError decode;
        if (!program.Decode(tokens_.data(), tokens_.size(), true, &decode)) {
            const int at = decode.instruction < lines_.size() ? lines_[decode.instruction] : line;
            return Fail(at, decode.message, error);
        }
        *tokens = tokens_;
        return true;
    }

private:
    bool Fail(int line, const std::string& message, std::string* error) {
        *error = source_ + "(" + std::to_string(line) + "): " + message;
        return false;
    }

    bool Statement(const std::string& head, const std::string& rest, std::string* why) {
        std::vector<std::string> operands;
        if (!rest.empty()) {
            size_t from = 0;
            for (;;) {
                const size_t comma = rest.find(',', from);
                operands.push_back(Trim(rest.substr(from, comma == std::string::npos ? comma : comma - from)));
                if (operands.back().empty()) return Say(why, "an empty operand");
                if (comma == std::string::npos) break;
                from = comma + 1;
            }
        }

        if (head.compare(0, 4, "dcl_") == 0) return Declaration(head.substr(4), operands, why);
        if (head == "def") return Definition(operands, why);
        const Mnemonic* m = nullptr;
        for (const Mnemonic& k : kMnemonics)
            if (head == k.name) m = &k;
        if (!m) return Say(why, "unknown instruction \"" + head + "\"");
        const UINT expected = m->opcode == D3DSIO_NOP ? 0 : m->sources + 1;
        if (operands.size() != expected)
            return Say(why, head + " takes " + std::to_string(expected) + " operands, not " +
                                std::to_string(operands.size()));
        Emit(m->opcode);
        if (expected == 0) return true;
        DWORD dest;
        if (!Destination(operands[0], &dest, why)) return false;
        tokens_.push_back(dest);
        for (UINT k = 0; k < m->sources; ++k) {
            DWORD src;
            if (!Source(operands[1 + k], &src, why)) return false;
            tokens_.push_back(src);
        }
        return true;
    }

    static bool Say(std::string* why, std::string message) {
        *why = std::move(message);
        return false;
    }

    void Emit(DWORD opcode) {
        tokens_.push_back(opcode);
        ++instructions_;
    }

    bool Declaration(const std::string& what, const std::vector<std::string>& operands, std::string* why) {
        size_t digits = what.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(what[digits - 1]))) --digits;
        const std::string usage = what.substr(0, digits);
        UINT index = 0;
        if (digits < what.size() && !Number(what.substr(digits), 16, &index))
            return Say(why, "a usage index from 0 to 15 is needed in dcl_" + what);
        DWORD code = 0;
        bool known = false;
        for (DWORD u = 0; u < sizeof kUsages / sizeof kUsages[0]; ++u)
            if (usage == kUsages[u]) {
                code = u;
                known = true;
            }
        if (!known) return Say(why, "unknown usage \"" + usage + "\" in dcl_" + what);
        if (operands.size() != 1) return Say(why, "dcl_" + what + " takes one register");
        Register r;
        std::string mask;
        if (!ParseRegister(operands[0], &r, &mask, why)) return false;
        if (r.type != D3DSPR_INPUT) return Say(why, "only input registers v0 to v15 can be declared");
        if (!mask.empty()) return Say(why, "a declaration takes the whole register");
        Emit(D3DSIO_DCL);
        tokens_.push_back(kParam | code << D3DSP_DCL_USAGE_SHIFT | index << D3DSP_DCL_USAGEINDEX_SHIFT);
        tokens_.push_back(RegisterBits(r.type, r.number) | D3DSP_WRITEMASK_ALL);
        return true;
    }

    bool Definition(const std::vector<std::string>& operands, std::string* why) {
        if (operands.size() != 5) return Say(why, "def takes a constant register and four numbers");
        Register r;
        std::string mask;
        if (!ParseRegister(operands[0], &r, &mask, why)) return false;
        if (r.type != D3DSPR_CONST || !mask.empty()) return Say(why, "def needs a whole constant register c0 to c95");
        Emit(D3DSIO_DEF);
        tokens_.push_back(RegisterBits(r.type, r.number) | D3DSP_WRITEMASK_ALL);
        for (int k = 1; k <= 4; ++k) {
            const std::string& s = operands[k];
            const char first = s[0];
            char* end = nullptr;
            const float value = std::strtof(s.c_str(), &end);
            if (!(std::isdigit(static_cast<unsigned char>(first)) || first == '-' || first == '+' || first == '.') ||
                end != s.c_str() + s.size())
                return Say(why, "\"" + s + "\" is not a number");
            DWORD bits;
            std::memcpy(&bits, &value, 4);
            tokens_.push_back(bits);
        }
        return true;
    }

    bool Destination(const std::string& text, DWORD* out, std::string* why) {
        if (text[0] == '-') return Say(why, "a destination cannot be negated");
        Register r;
        std::string mask;
        if (!ParseRegister(text, &r, &mask, why)) return false;
        if (r.type == D3DSPR_INPUT) return Say(why, "an input register cannot be written");
        if (r.type == D3DSPR_CONST) return Say(why, "a constant register cannot be written");
        DWORD bits = 0;
        if (mask.empty()) {
            bits = D3DSP_WRITEMASK_ALL;
        } else {
            int last = -1;
            for (char c : mask) {
                const char* at = std::strchr("xyzw", c);
                const int k = at && c ? int(at - "xyzw") : -1;
                if (k <= last) return Say(why, "bad write mask \"." + mask + "\"");
                last = k;
                bits |= D3DSP_WRITEMASK_0 << k;
            }
        }
        *out = RegisterBits(r.type, r.number) | bits;
        return true;
    }

    bool Source(const std::string& written, DWORD* out, std::string* why) {
        std::string text = written;
        DWORD modifier = D3DSPSM_NONE;
        if (text[0] == '-') {
            modifier = D3DSPSM_NEG;
            text = Trim(text.substr(1));
            if (text.empty()) return Say(why, "a lone minus sign");
        }
        Register r;
        std::string swizzle;
        if (!ParseRegister(text, &r, &swizzle, why)) return false;
        if (r.type == D3DSPR_RASTOUT || r.type == D3DSPR_ATTROUT || r.type == D3DSPR_TEXCRDOUT)
            return Say(why, "an output register cannot be read");
        DWORD bits = D3DVS_NOSWIZZLE;
        if (!swizzle.empty()) {
            if (swizzle.size() > 4) return Say(why, "bad swizzle \"." + swizzle + "\"");
            bits = 0;
            // Fewer than four letters: the last one repeats.
            for (size_t c = 0; c < 4; ++c) {
                const char letter = swizzle[std::min(c, swizzle.size() - 1)];
                const char* at = std::strchr("xyzw", letter);
                if (!at || !letter) return Say(why, "bad swizzle \"." + swizzle + "\"");
                bits |= DWORD(at - "xyzw") << (D3DSP_SWIZZLE_SHIFT + 2 * c);
            }
        }
        *out = RegisterBits(r.type, r.number) | bits | modifier;
        return true;
    }

    // "r0", "v3.xy", "oPos", "oD0", "oT1", "c95": the register, and the letters
    // after a dot (a mask or a swizzle) in `suffix`.
    static bool ParseRegister(const std::string& written, Register* out, std::string* suffix, std::string* why) {
        const std::string text = Lower(written);
        const size_t dot = text.find('.');
        const std::string name = text.substr(0, dot);
        *suffix = dot == std::string::npos ? "" : text.substr(dot + 1);
        if (dot != std::string::npos && suffix->empty()) return Say(why, "nothing after the dot in \"" + written + "\"");
        struct Kind {
            const char* prefix;
            DWORD type;
            UINT count;
        } const kinds[] = {{"opos", D3DSPR_RASTOUT, 0},
                           {"od", D3DSPR_ATTROUT, 2},
                           {"ot", D3DSPR_TEXCRDOUT, d3d9::kVsTexCoordOutputs},
                           {"r", D3DSPR_TEMP, d3d9::kVsTempRegisters},
                           {"v", D3DSPR_INPUT, d3d9::kVsInputRegisters},
                           {"c", D3DSPR_CONST, d3d9::kVsConstRegisters}};
        if (name == "ofog" || name == "opts" || name == "a0")
            return Say(why, "register " + written.substr(0, dot) + " is not supported");
        for (const Kind& k : kinds) {
            const size_t n = std::strlen(k.prefix);
            if (name.compare(0, n, k.prefix) != 0) continue;
            const std::string digits = name.substr(n);
            if (k.count == 0) {
                if (!digits.empty()) break;
                *out = Register{k.type, D3DSRO_POSITION};
                return true;
            }
            UINT number;
            if (digits.empty() || !Number(digits, 100000, &number)) break;
            if (number >= k.count)
                return Say(why, "register " + written.substr(0, dot) + " is out of range (" + k.prefix + "0 to " +
                                    k.prefix + std::to_string(k.count - 1) + ")");
            *out = Register{k.type, number};
            return true;
        }
        return Say(why, "unknown register \"" + written.substr(0, dot) + "\"");
    }

    std::string source_;
    std::vector<DWORD> tokens_;
    size_t instructions_ = 0;
    std::vector<int> lines_;  // line of each instruction
};

LPD3DXBUFFER MakeBuffer(const void* data, size_t size) {
    LPD3DXBUFFER buffer = nullptr;
    D3DXCreateBuffer(static_cast<DWORD>(size), &buffer);
    std::memcpy(buffer->GetBufferPointer(), data, size);
    return buffer;
}

HRESULT Report(const std::string& message, LPD3DXBUFFER* errors) {
    if (!g_quiet) OutputDebugStringA(("Shader assembler: " + message + "\n").c_str());
    if (errors) *errors = MakeBuffer(message.c_str(), message.size() + 1);
    return D3DXERR_INVALIDDATA;
}

HRESULT Assemble(const std::string& source, const char* text, size_t length, const D3DXMACRO* defines,
                 LPD3DXINCLUDE include, LPD3DXBUFFER* ppShader, LPD3DXBUFFER* ppErrorMsgs) {
    if (ppErrorMsgs) *ppErrorMsgs = nullptr;
    if (!ppShader || (defines && defines[0].Name) || include) return D3DERR_INVALIDCALL;
    std::vector<DWORD> tokens;
    std::string error;
    if (!Assembler(source).Run(text, length, &tokens, &error)) return Report(error, ppErrorMsgs);
    *ppShader = MakeBuffer(tokens.data(), tokens.size() * sizeof(DWORD));
    return D3D_OK;
}

}  // namespace

}  // namespace d3dx

HRESULT WINAPI D3DXAssembleShader(LPCSTR pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                                  LPD3DXINCLUDE pInclude, DWORD, LPD3DXBUFFER* ppShader, LPD3DXBUFFER* ppErrorMsgs) {
    if (!pSrcData && SrcDataLen > 0) return D3DERR_INVALIDCALL;
    return d3dx::Assemble("shader", pSrcData ? pSrcData : "", SrcDataLen, pDefines, pInclude, ppShader,
                          ppErrorMsgs);
}

HRESULT WINAPI D3DXAssembleShaderFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                                           DWORD, LPD3DXBUFFER* ppShader, LPD3DXBUFFER* ppErrorMsgs) {
    if (ppErrorMsgs) *ppErrorMsgs = nullptr;
    if (!pSrcFile || !ppShader) return D3DERR_INVALIDCALL;
    std::vector<unsigned char> text;
    if (!layer::ReadWholeFile(pSrcFile, text)) {
        d3dx::Report(std::string(pSrcFile) + ": cannot read the file", ppErrorMsgs);
        return E_FAIL;
    }
    return d3dx::Assemble(pSrcFile, reinterpret_cast<const char*>(text.data()), text.size(), pDefines, pInclude,
                          ppShader, ppErrorMsgs);
}

namespace platform_testing {

void QuietD3DXShaderReports(bool quiet) { d3dx::g_quiet = quiet; }

}  // namespace platform_testing
