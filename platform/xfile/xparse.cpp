// Parsing of X files: the header, the text and binary token streams, template
// definitions, and data objects read along their templates into packed data.
//
// Every read is bounds-checked; a count is checked against what the input can
// still hold before anything is sized by it; nesting is limited. Errors unwind
// as ParseError to Parse, which turns them into a result and a message.
#include <charconv>
#include <cstring>
#include <new>
#include <string_view>

#include "dxfile.h"
#include "xdocument.h"
#include "xinflate.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "packed data is laid out little-endian");

namespace xfile {
namespace {

constexpr int kMaxDepth = 256;          // nested data objects
constexpr int kMaxTemplateDepth = 64;   // templates nested through members
constexpr int kMaxStack = kMaxDepth + kMaxTemplateDepth;  // both together, for the stack's sake
constexpr uint64_t kValuesCap = 1ull << 40;

struct ParseError {
    HRESULT hr;
    std::string message;
};

[[noreturn]] void Fail(HRESULT hr, std::string message) { throw ParseError{hr, std::move(message)}; }
[[noreturn]] void Fail(std::string message) { Fail(DXFILEERR_PARSEERROR, std::move(message)); }

// Token kinds common to both encodings.
enum class Tk : uint8_t {
    End,
    Name,    // text: a word starting with a letter or '_'; binary: TOKEN_NAME
    Number,  // text: any other word (digits, signs, "...")
    String,
    Integer,
    Guid,
    List,  // binary integer or float list (only in data)
    OBrace,
    CBrace,
    OBracket,
    CBracket,
    OParen,
    CParen,
    OAngle,
    CAngle,
    Comma,
    Semicolon,
    Dot,
    Template,
    Array,
    Prim,
};

struct Token {
    Tk kind = Tk::End;
    std::string_view text;  // Name, Number, String (text strings still escaped)
    uint32_t integer = 0;
    GUID guid{};
    Prim prim = Prim::None;
    bool unsupported = false;  // a primitive type the reader does not take
};

// What comes next inside a data object.
enum class Next : uint8_t { Number, String, Object, Reference, Close, End, Other };

bool EqualNoCase(std::string_view a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

Prim PrimFromWord(std::string_view w, bool& unsupported) {
    static const struct {
        const char* word;
        Prim prim;
    } kWords[] = {{"WORD", Prim::Word},     {"DWORD", Prim::Dword},   {"FLOAT", Prim::Float},
                  {"DOUBLE", Prim::Double}, {"CHAR", Prim::Char},     {"UCHAR", Prim::Uchar},
                  {"BYTE", Prim::Uchar},    {"SWORD", Prim::Sword},   {"SDWORD", Prim::Sdword},
                  {"STRING", Prim::String}, {"LPSTR", Prim::String},  {"CSTRING", Prim::String}};
    for (const auto& k : kWords)
        if (EqualNoCase(w, k.word)) return k.prim;
    unsupported = EqualNoCase(w, "UNICODE") || EqualNoCase(w, "VOID") || EqualNoCase(w, "ULONGLONG") ||
                  EqualNoCase(w, "BINARY") || EqualNoCase(w, "BINARY_RESOURCE");
    return Prim::None;
}

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "8-4-4-4-12" hex digits, whitespace allowed around.
bool ParseGuidText(std::string_view s, GUID& g) {
    char digits[32];
    int n = 0;
    size_t groups[5] = {0, 0, 0, 0, 0};
    int group = 0;
    for (char c : s) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        if (c == '-') {
            if (++group > 4) return false;
            continue;
        }
        if (Hex(c) < 0 || n >= 32) return false;
        digits[n++] = c;
        ++groups[group];
    }
    if (n != 32 || group != 4 || groups[0] != 8 || groups[1] != 4 || groups[2] != 4 || groups[3] != 4 ||
        groups[4] != 12)
        return false;
    auto val = [&](int from, int count) {
        uint32_t v = 0;
        for (int i = from; i < from + count; ++i) v = v * 16 + static_cast<uint32_t>(Hex(digits[i]));
        return v;
    };
    g.Data1 = val(0, 8);
    g.Data2 = static_cast<WORD>(val(8, 4));
    g.Data3 = static_cast<WORD>(val(12, 4));
    for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<BYTE>(val(16 + 2 * i, 2));
    return true;
}

std::string Printable(std::string_view s) {
    std::string out;
    for (char c : s.substr(0, 40)) out += (static_cast<unsigned char>(c) >= 32 && c != 127) ? c : '?';
    if (s.size() > 40) out += "...";
    return out;
}

// ---------------------------------------------------------------- text

class TextLexer {
public:
    TextLexer(const uint8_t* data, size_t size)
        : begin_(reinterpret_cast<const char*>(data)), p_(begin_), end_(begin_ + size) {}

    Token NextToken() {
        SkipSpace();
        Token t;
        if (p_ >= end_) return t;
        char c = *p_;
        switch (c) {
            case '{': ++p_; t.kind = Tk::OBrace; return t;
            case '}': ++p_; t.kind = Tk::CBrace; return t;
            case '[': ++p_; t.kind = Tk::OBracket; return t;
            case ']': ++p_; t.kind = Tk::CBracket; return t;
            case '(': ++p_; t.kind = Tk::OParen; return t;
            case ')': ++p_; t.kind = Tk::CParen; return t;
            case ',': ++p_; t.kind = Tk::Comma; return t;
            case ';': ++p_; t.kind = Tk::Semicolon; return t;
            case '>': ++p_; t.kind = Tk::CAngle; return t;
            case '"': t.kind = Tk::String; t.text = ScanString(); return t;
            case '<': t.kind = Tk::Guid; t.guid = ScanGuid(); return t;
            default: break;
        }
        t.text = ScanWord();
        unsigned char f = static_cast<unsigned char>(t.text[0]);
        t.kind = (std::isalpha(f) || f == '_') ? Tk::Name : Tk::Number;
        return t;
    }

    // Inside data: separators carry no meaning and are skipped.
    Next PeekData() {
        for (;;) {
            SkipSpace();
            if (p_ >= end_) return Next::End;
            char c = *p_;
            if (c == ',' || c == ';') {
                ++p_;
                continue;
            }
            if (c == '{') return Next::Reference;
            if (c == '}') return Next::Close;
            if (c == '"') return Next::String;
            unsigned char u = static_cast<unsigned char>(c);
            if (std::isalpha(u) || u == '_') return Next::Object;
            if (std::isdigit(u) || c == '-' || c == '+' || c == '.') return Next::Number;
            return Next::Other;
        }
    }

    bool TryGuid(GUID& g) {
        SkipSpace();
        if (p_ >= end_ || *p_ != '<') return false;
        g = ScanGuid();
        return true;
    }

    uint32_t TakeInteger() {
        std::string_view w = ScanWord();
        const char* b = w.data();
        const char* e = b + w.size();
        if (*b == '+') ++b;
        int64_t v = 0;
        auto r = std::from_chars(b, e, v);
        if (r.ec == std::errc() && r.ptr == e) return static_cast<uint32_t>(v);
        if (r.ec == std::errc::result_out_of_range) {
            uint64_t u = 0;
            auto ru = std::from_chars(b, e, u);
            if (ru.ec == std::errc() && ru.ptr == e) return static_cast<uint32_t>(u);
        }
        // A float where an integer stands: take its whole part.
        double d = 0;
        auto rd = std::from_chars(b, e, d);
        if (rd.ec == std::errc() && rd.ptr == e && d > -2147483649.0 && d < 4294967296.0)
            return static_cast<uint32_t>(static_cast<int64_t>(d));
        Fail("bad integer '" + Printable(w) + "'");
    }

    template <class F>
    F TakeReal() {
        std::string_view w = ScanWord();
        const char* b = w.data();
        const char* e = b + w.size();
        if (*b == '+') ++b;
        F v = 0;
        auto r = std::from_chars(b, e, v);
        if (r.ptr != e || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
            Fail("bad number '" + Printable(w) + "'");
        return v;
    }

    std::string TakeString() {
        std::string_view raw = ScanString();
        std::string s;
        s.reserve(raw.size());
        for (size_t i = 0; i < raw.size(); ++i) {
            // Files write backslashes doubled, and \" for a quote.
            if (raw[i] == '\\' && i + 1 < raw.size() && (raw[i + 1] == '\\' || raw[i + 1] == '"')) ++i;
            s += raw[i];
        }
        return s;
    }

    // Upper bound on the values the rest of the input can hold.
    uint64_t ValuesLeft() const { return static_cast<uint64_t>(end_ - p_); }

    std::string Where() const {
        size_t line = 1;
        for (const char* q = begin_; q < p_ && q < end_; ++q)
            if (*q == '\n') ++line;
        return "line " + std::to_string(line);
    }

private:
    void SkipSpace() {
        while (p_ < end_) {
            unsigned char c = static_cast<unsigned char>(*p_);
            if (c <= ' ') {
                ++p_;
            } else if (c == '#' || (c == '/' && p_ + 1 < end_ && p_[1] == '/')) {
                while (p_ < end_ && *p_ != '\n') ++p_;
            } else {
                return;
            }
        }
    }

    static bool WordChar(char c) {
        if (static_cast<unsigned char>(c) <= ' ') return false;
        switch (c) {
            case '{': case '}': case '[': case ']': case '(': case ')': case ',': case ';':
            case '"': case '<': case '>': case '#':
                return false;
            default:
                return true;
        }
    }

    std::string_view ScanWord() {
        SkipSpace();
        const char* start = p_;
        while (p_ < end_ && WordChar(*p_) && !(*p_ == '/' && p_ + 1 < end_ && p_[1] == '/')) ++p_;
        if (p_ == start) Fail("expected a value");
        return std::string_view(start, static_cast<size_t>(p_ - start));
    }

    std::string_view ScanString() {
        SkipSpace();
        if (p_ >= end_ || *p_ != '"') Fail("expected a string");
        const char* start = ++p_;
        while (p_ < end_ && *p_ != '"') {
            if (*p_ == '\\' && p_ + 1 < end_ && (p_[1] == '"' || p_[1] == '\\')) ++p_;
            ++p_;
        }
        if (p_ >= end_) Fail("unterminated string");
        std::string_view s(start, static_cast<size_t>(p_ - start));
        ++p_;
        return s;
    }

    GUID ScanGuid() {
        const char* start = ++p_;
        while (p_ < end_ && *p_ != '>' && p_ - start < 64) ++p_;
        GUID g{};
        if (p_ >= end_ || *p_ != '>' || !ParseGuidText(std::string_view(start, static_cast<size_t>(p_ - start)), g))
            Fail("bad GUID");
        ++p_;
        return g;
    }

    const char* begin_;
    const char* p_;
    const char* end_;
};

// ---------------------------------------------------------------- binary

enum : uint16_t {
    kTokName = 1,
    kTokString = 2,
    kTokInteger = 3,
    kTokGuid = 5,
    kTokIntegerList = 6,
    kTokFloatList = 7,
    kTokOBrace = 10,
    kTokCBrace = 11,
    kTokOParen = 12,
    kTokCParen = 13,
    kTokOBracket = 14,
    kTokCBracket = 15,
    kTokOAngle = 16,
    kTokCAngle = 17,
    kTokDot = 18,
    kTokComma = 19,
    kTokSemicolon = 20,
    kTokTemplate = 31,
    kTokWord = 40,
    kTokDword = 41,
    kTokFloat = 42,
    kTokDouble = 43,
    kTokChar = 44,
    kTokUchar = 45,
    kTokSword = 46,
    kTokSdword = 47,
    kTokVoid = 48,
    kTokLpstr = 49,
    kTokUnicode = 50,
    kTokCstring = 51,
    kTokArray = 52,
};

class BinaryLexer {
public:
    BinaryLexer(const uint8_t* data, size_t size, int floatBits)
        : begin_(data), p_(data), end_(data + size), floatSize_(floatBits == 64 ? 8 : 4) {}

    Token NextToken() {
        Token t;
        if (listLeft_ > 0) Fail("unexpected list");
        if (p_ == end_) return t;
        uint16_t tok = Word();
        switch (tok) {
            case kTokName: t.kind = Tk::Name; t.text = Bytes(Dword()); return t;
            case kTokString: t.kind = Tk::String; t.text = StringRecord(); return t;
            case kTokInteger: t.kind = Tk::Integer; t.integer = Dword(); return t;
            case kTokGuid: t.kind = Tk::Guid; t.guid = GuidRecord(); return t;
            case kTokIntegerList:
            case kTokFloatList: t.kind = Tk::List; return t;
            case kTokOBrace: t.kind = Tk::OBrace; return t;
            case kTokCBrace: t.kind = Tk::CBrace; return t;
            case kTokOParen: t.kind = Tk::OParen; return t;
            case kTokCParen: t.kind = Tk::CParen; return t;
            case kTokOBracket: t.kind = Tk::OBracket; return t;
            case kTokCBracket: t.kind = Tk::CBracket; return t;
            case kTokOAngle: t.kind = Tk::OAngle; return t;
            case kTokCAngle: t.kind = Tk::CAngle; return t;
            case kTokDot: t.kind = Tk::Dot; return t;
            case kTokComma: t.kind = Tk::Comma; return t;
            case kTokSemicolon: t.kind = Tk::Semicolon; return t;
            case kTokTemplate: t.kind = Tk::Template; return t;
            case kTokArray: t.kind = Tk::Array; return t;
            case kTokWord: return PrimToken(Prim::Word);
            case kTokDword: return PrimToken(Prim::Dword);
            case kTokFloat: return PrimToken(Prim::Float);
            case kTokDouble: return PrimToken(Prim::Double);
            case kTokChar: return PrimToken(Prim::Char);
            case kTokUchar: return PrimToken(Prim::Uchar);
            case kTokSword: return PrimToken(Prim::Sword);
            case kTokSdword: return PrimToken(Prim::Sdword);
            case kTokLpstr:
            case kTokCstring: return PrimToken(Prim::String);
            case kTokVoid:
            case kTokUnicode: {
                Token u = PrimToken(Prim::None);
                u.unsupported = true;
                return u;
            }
            default: break;
        }
        p_ -= 2;
        Fail("unknown token " + std::to_string(tok));
    }

    Next PeekData() {
        if (listLeft_ > 0) return Next::Number;
        for (;;) {
            if (p_ == end_) return Next::End;
            if (end_ - p_ < 2) Fail("truncated token");
            uint16_t tok = static_cast<uint16_t>(p_[0] | (p_[1] << 8));
            switch (tok) {
                case kTokComma:
                case kTokSemicolon: p_ += 2; continue;
                case kTokName: return Next::Object;
                case kTokOBrace: return Next::Reference;
                case kTokCBrace: return Next::Close;
                case kTokString: return Next::String;
                case kTokInteger:
                    // A lone integer: a list of one.
                    p_ += 2;
                    listPtr_ = Need(4);
                    p_ += 4;
                    listLeft_ = 1;
                    listFloat_ = false;
                    listWidth_ = 4;
                    return Next::Number;
                case kTokIntegerList:
                case kTokFloatList: {
                    p_ += 2;
                    uint32_t count = Dword();
                    bool isFloat = tok == kTokFloatList;
                    size_t width = isFloat ? floatSize_ : 4;
                    if (count > static_cast<uint64_t>(end_ - p_) / width)
                        Fail("list of " + std::to_string(count) + " values runs past the end of the file");
                    listPtr_ = p_;
                    p_ += count * width;
                    if (count == 0) continue;
                    listLeft_ = count;
                    listFloat_ = isFloat;
                    listWidth_ = width;
                    return Next::Number;
                }
                default: return Next::Other;
            }
        }
    }

    bool TryGuid(GUID& g) {
        if (end_ - p_ < 2 || p_[0] != kTokGuid || p_[1] != 0) return false;
        p_ += 2;
        g = GuidRecord();
        return true;
    }

    uint32_t TakeInteger() {
        if (listFloat_) {
            // A float where an integer stands: its whole part, when it has one.
            double d = TakeListReal();
            if (!(d > -2147483649.0 && d < 4294967296.0)) Fail("float out of range where an integer stands");
            return static_cast<uint32_t>(static_cast<int64_t>(d));
        }
        uint32_t v;
        std::memcpy(&v, listPtr_, 4);
        listPtr_ += 4;
        --listLeft_;
        return v;
    }

    template <class F>
    F TakeReal() {
        if (!listFloat_) {
            uint32_t v;
            std::memcpy(&v, listPtr_, 4);
            listPtr_ += 4;
            --listLeft_;
            return static_cast<F>(v);
        }
        return static_cast<F>(TakeListReal());
    }

    std::string TakeString() {
        if (end_ - p_ < 2 || p_[0] != kTokString || p_[1] != 0) Fail("expected a string");
        p_ += 2;
        return std::string(StringRecord());
    }

    uint64_t ValuesLeft() const { return listLeft_ + static_cast<uint64_t>(end_ - p_) / 4; }

    std::string Where() const { return "offset " + std::to_string(p_ - begin_); }

private:
    double TakeListReal() {
        double d;
        if (listWidth_ == 8) {
            std::memcpy(&d, listPtr_, 8);
        } else {
            float f;
            std::memcpy(&f, listPtr_, 4);
            d = f;
        }
        listPtr_ += listWidth_;
        --listLeft_;
        return d;
    }

    Token PrimToken(Prim p) {
        Token t;
        t.kind = Tk::Prim;
        t.prim = p;
        return t;
    }

    const uint8_t* Need(size_t n) {
        if (static_cast<size_t>(end_ - p_) < n) Fail("truncated record");
        return p_;
    }
    uint16_t Word() {
        const uint8_t* q = Need(2);
        p_ += 2;
        return static_cast<uint16_t>(q[0] | (q[1] << 8));
    }
    uint32_t Dword() {
        const uint8_t* q = Need(4);
        p_ += 4;
        uint32_t v;
        std::memcpy(&v, q, 4);
        return v;
    }
    std::string_view Bytes(uint32_t n) {
        const uint8_t* q = Need(n);
        p_ += n;
        return std::string_view(reinterpret_cast<const char*>(q), n);
    }
    GUID GuidRecord() {
        const uint8_t* q = Need(16);
        p_ += 16;
        GUID g;
        std::memcpy(&g.Data1, q, 4);
        std::memcpy(&g.Data2, q + 4, 2);
        std::memcpy(&g.Data3, q + 6, 2);
        std::memcpy(g.Data4, q + 8, 8);
        return g;
    }
    // Count, bytes, then the terminator real files write as a two-byte token
    // (',' or ';'); a four-byte terminator (token then zero word) is taken too.
    std::string_view StringRecord() {
        std::string_view s = Bytes(Dword());
        if (end_ - p_ >= 2 && (p_[0] == kTokSemicolon || p_[0] == kTokComma) && p_[1] == 0) {
            p_ += 2;
            if (end_ - p_ >= 2 && p_[0] == 0 && p_[1] == 0) p_ += 2;
        }
        return s;
    }

    const uint8_t* begin_;
    const uint8_t* p_;
    const uint8_t* end_;
    size_t floatSize_;
    // The list being consumed.
    const uint8_t* listPtr_ = nullptr;
    uint64_t listLeft_ = 0;
    size_t listWidth_ = 4;
    bool listFloat_ = false;
};

// ---------------------------------------------------------------- parser

template <class Lexer>
class Parser {
public:
    Parser(Lexer& lex, Document& doc, ParseMode mode) : lex_(lex), doc_(doc), mode_(mode) {}

    void Run() {
        for (;;) {
            Token t = lex_.NextToken();
            if (t.kind == Tk::End) return;
            if (IsTemplateKeyword(t)) {
                ParseTemplate();
            } else if (t.kind == Tk::Name) {
                if (mode_ == ParseMode::TemplatesOnly) Fail("data object in a template block");
                ParseObject(t.text, -1, 0);
            } else if (t.kind != Tk::Comma && t.kind != Tk::Semicolon) {
                Fail("expected a template or a data object");
            }
        }
    }

private:
    static bool IsTemplateKeyword(const Token& t) {
        return t.kind == Tk::Template || (t.kind == Tk::Name && EqualNoCase(t.text, "template"));
    }
    static bool IsArrayKeyword(const Token& t) {
        return t.kind == Tk::Array || (t.kind == Tk::Name && EqualNoCase(t.text, "array"));
    }
    static Prim PrimOf(const Token& t, bool& unsupported) {
        unsupported = t.unsupported;
        if (t.kind == Tk::Prim) return t.prim;
        if (t.kind == Tk::Name) return PrimFromWord(t.text, unsupported);
        return Prim::None;
    }

    // template Name { <guid> members [restriction] }
    void ParseTemplate() {
        Token name = lex_.NextToken();
        if (name.kind != Tk::Name) Fail("expected a template name");
        auto t = std::make_shared<Template>();
        t->name = std::string(name.text);
        if (lex_.NextToken().kind != Tk::OBrace) Fail("expected '{' after template " + t->name);
        Token g = lex_.NextToken();
        if (g.kind != Tk::Guid) Fail("template " + t->name + " has no GUID");
        t->guid = g.guid;
        for (;;) {
            Token tok = lex_.NextToken();
            if (tok.kind == Tk::CBrace) break;
            if (tok.kind == Tk::End) Fail("unterminated template " + t->name);
            if (tok.kind == Tk::Semicolon || tok.kind == Tk::Comma) continue;
            if (tok.kind == Tk::OBracket) {
                SkipRestriction(*t);
                continue;
            }
            ParseMember(*t, tok);
        }
        doc_.templates.Add(std::move(t));
    }

    // Which children a template allows; any are accepted, so only the syntax
    // is checked.
    void SkipRestriction(const Template& t) {
        for (;;) {
            Token tok = lex_.NextToken();
            switch (tok.kind) {
                case Tk::CBracket: return;
                case Tk::Name:
                case Tk::Number:
                case Tk::Guid:
                case Tk::Comma:
                case Tk::Dot: continue;
                default: Fail("bad restriction in template " + t.name);
            }
        }
    }

    void ParseMember(Template& t, Token tok) {
        Member m;
        bool array = IsArrayKeyword(tok);
        if (array) tok = lex_.NextToken();
        bool unsupported = false;
        m.prim = PrimOf(tok, unsupported);
        if (unsupported) Fail("template " + t.name + " uses a type the reader does not support");
        if (m.prim == Prim::None) {
            if (tok.kind != Tk::Name) Fail("expected a member type in template " + t.name);
            m.type = doc_.templates.Find(std::string(tok.text));
            if (!m.type)
                Fail(DXFILEERR_NOTEMPLATE, "template " + t.name + " uses undefined template '" + Printable(tok.text) + "'");
            if (m.type->depth + 1 > kMaxTemplateDepth) Fail("templates nested too deep at " + t.name);
            t.depth = std::max(t.depth, m.type->depth + 1);
        }
        for (;;) {
            Member one = m;
            tok = lex_.NextToken();
            if (tok.kind == Tk::Name) {
                one.name = std::string(tok.text);
                tok = lex_.NextToken();
            }
            if (array) {
                if (one.name.empty()) Fail("array without a name in template " + t.name);
                while (tok.kind == Tk::OBracket) {
                    one.dims.push_back(ParseDim(t));
                    if (lex_.NextToken().kind != Tk::CBracket) Fail("expected ']' in template " + t.name);
                    tok = lex_.NextToken();
                }
                if (one.dims.empty()) Fail("array " + one.name + " has no size in template " + t.name);
            }
            AddMember(t, std::move(one));
            if (tok.kind == Tk::Semicolon) return;
            // "FLOAT red, green, blue;" declares several members of one type.
            if (tok.kind != Tk::Comma || array) Fail("expected ';' after a member of template " + t.name);
        }
    }

    Member::Dim ParseDim(Template& t) {
        Member::Dim d;
        Token tok = lex_.NextToken();
        if (tok.kind == Tk::Integer) {
            d.constant = tok.integer;
        } else if (tok.kind == Tk::Number) {
            uint32_t v = 0;
            auto r = std::from_chars(tok.text.data(), tok.text.data() + tok.text.size(), v);
            if (r.ec != std::errc() || r.ptr != tok.text.data() + tok.text.size())
                Fail("bad array size in template " + t.name);
            d.constant = v;
        } else if (tok.kind == Tk::Name) {
            for (Member& earlier : t.members) {
                if (earlier.name != tok.text || !earlier.dims.empty()) continue;
                if (earlier.prim == Prim::None || earlier.prim == Prim::String || earlier.prim == Prim::Float ||
                    earlier.prim == Prim::Double)
                    break;
                if (earlier.slot < 0) earlier.slot = t.slots++;
                d.member = earlier.slot;
                return d;
            }
            Fail("array size '" + Printable(tok.text) + "' is no earlier integer member of template " + t.name);
        } else {
            Fail("bad array size in template " + t.name);
        }
        return d;
    }

    static void AddMember(Template& t, Member m) {
        uint64_t each = m.prim == Prim::None ? m.type->minValues : 1;
        uint64_t n = each;
        for (const Member::Dim& d : m.dims) {
            if (d.member >= 0) {
                n = 0;  // sized by the data, possibly 0
                break;
            }
            n = d.constant == 0 ? 0 : (n > kValuesCap / d.constant ? kValuesCap : n * d.constant);
        }
        t.minValues = std::min(kValuesCap, t.minValues + n);
        t.members.push_back(std::move(m));
    }

    // Identifier [name] [<guid>] { [<guid>] members children }
    void ParseObject(std::string_view identifier, int parent, int depth) {
        if (depth >= kMaxDepth) Fail("data objects nested too deep");
        StackGuard guard(stack_);
        std::shared_ptr<const Template> type = doc_.templates.Find(std::string(identifier));
        if (!type) Fail(DXFILEERR_NOTEMPLATE, "undefined template '" + Printable(identifier) + "'");
        Node node;
        node.type = type;
        Token t = lex_.NextToken();
        if (t.kind == Tk::Name || t.kind == Tk::Number) {
            node.name = std::string(t.text);
            t = lex_.NextToken();
        }
        if (t.kind == Tk::Guid) {
            node.hasId = true;
            node.id = t.guid;
            t = lex_.NextToken();
        }
        if (t.kind != Tk::OBrace) Fail("expected '{' after " + type->name);
        if (lex_.TryGuid(node.id)) node.hasId = true;

        uint32_t index = static_cast<uint32_t>(doc_.nodes.size());
        doc_.nodes.push_back(std::move(node));
        if (parent < 0)
            doc_.top.push_back(index);
        else
            doc_.nodes[static_cast<size_t>(parent)].children.push_back({false, index});

        std::vector<uint8_t> data;
        std::vector<uint32_t> offsets;
        offsets.reserve(type->members.size() + 1);
        ReadMembers(*type, data, &offsets, index, depth);
        for (;;) {
            Next n = lex_.PeekData();
            if (n == Next::Close) break;
            if (n == Next::Object || n == Next::Reference) {
                ReadChild(n, index, depth);
                continue;
            }
            if (n == Next::End) Fail("unexpected end of file in " + type->name);
            if (n == Next::Number || n == Next::String) Fail("more values than template " + type->name + " takes");
            Fail("unexpected token in " + type->name);
        }
        lex_.NextToken();  // '}'
        Node& done = doc_.nodes[index];
        done.data = std::move(data);
        done.memberOffsets = std::move(offsets);
    }

    void ReadChild(Next n, uint32_t parent, int depth) {
        if (n == Next::Object) {
            Token id = lex_.NextToken();
            ParseObject(id.text, static_cast<int>(parent), depth + 1);
            return;
        }
        lex_.NextToken();  // '{'
        Reference r;
        Token t = lex_.NextToken();
        if (t.kind == Tk::Name || t.kind == Tk::Number) {
            r.name = std::string(t.text);
            t = lex_.NextToken();
        }
        if (t.kind == Tk::Guid) {
            r.hasGuid = true;
            r.guid = t.guid;
            t = lex_.NextToken();
        }
        if (t.kind != Tk::CBrace) Fail("bad reference");
        if (r.name.empty() && !r.hasGuid) Fail("empty reference");
        doc_.nodes[parent].children.push_back({true, static_cast<uint32_t>(doc_.references.size())});
        doc_.references.push_back(std::move(r));
    }

    void ReadMembers(const Template& t, std::vector<uint8_t>& out, std::vector<uint32_t>* offsets, uint32_t node,
                     int depth) {
        StackGuard guard(stack_);
        uint32_t local[8];
        std::vector<uint32_t> heap;
        uint32_t* slots = local;
        if (t.slots > 8) {
            heap.resize(static_cast<size_t>(t.slots));
            slots = heap.data();
        }
        for (const Member& m : t.members) {
            if (offsets) offsets->push_back(static_cast<uint32_t>(out.size()));
            if (m.dims.empty()) {
                uint32_t v = ReadElement(m, out, node, depth);
                if (m.slot >= 0) slots[m.slot] = v;
                continue;
            }
            uint64_t each = m.prim == Prim::None ? m.type->minValues : 1;
            if (each == 0) continue;  // elements that hold no values
            uint64_t bound = lex_.ValuesLeft() / each;
            uint64_t count = 1;
            for (const Member::Dim& d : m.dims) {
                uint64_t n = d.member < 0 ? d.constant : slots[d.member];
                if (n != 0 && count > bound / n)
                    Fail(DXFILEERR_BADARRAYSIZE, "array " + t.name + "." + m.name + " is larger than the file");
                count *= n;
            }
            for (uint64_t e = 0; e < count; ++e) ReadElement(m, out, node, depth);
        }
        if (offsets) offsets->push_back(static_cast<uint32_t>(out.size()));
    }

    template <class T>
    static void Put(std::vector<uint8_t>& out, T v) {
        size_t at = out.size();
        out.resize(at + sizeof v);
        std::memcpy(out.data() + at, &v, sizeof v);
    }

    // One value (or one nested structure); children met on the way are read
    // as children of `node`. Gives an integer value for array sizes.
    uint32_t ReadElement(const Member& m, std::vector<uint8_t>& out, uint32_t node, int depth) {
        if (m.prim == Prim::None) {
            ReadMembers(*m.type, out, nullptr, node, depth);
            return 0;
        }
        bool wantString = m.prim == Prim::String;
        for (;;) {
            Next n = lex_.PeekData();
            if (n == Next::Object || n == Next::Reference) {
                ReadChild(n, node, depth);
                continue;
            }
            if (n == (wantString ? Next::String : Next::Number)) break;
            const std::string& owner = doc_.nodes[node].type->name;
            Fail(std::string(wantString ? "expected a string" : "expected a number") + " for " + owner +
                 (m.name.empty() ? "" : "." + m.name) + (n == Next::End ? " at the end of the file" : ""));
        }
        switch (m.prim) {
            case Prim::Word:
            case Prim::Sword: {
                uint32_t v = lex_.TakeInteger();
                Put(out, static_cast<uint16_t>(v));
                return v & 0xFFFF;
            }
            case Prim::Dword:
            case Prim::Sdword: {
                uint32_t v = lex_.TakeInteger();
                Put(out, v);
                return v;
            }
            case Prim::Char:
            case Prim::Uchar: {
                uint32_t v = lex_.TakeInteger();
                Put(out, static_cast<uint8_t>(v));
                return v & 0xFF;
            }
            case Prim::Float: Put(out, lex_.template TakeReal<float>()); return 0;
            case Prim::Double: Put(out, lex_.template TakeReal<double>()); return 0;
            case Prim::String: {
                doc_.strings.push_back(lex_.TakeString());
                Put(out, doc_.strings.back().c_str());
                return 0;
            }
            case Prim::None: break;
        }
        return 0;
    }

    // Counts the parser's own recursion (objects and nested template members).
    class StackGuard {
    public:
        explicit StackGuard(int& depth) : depth_(depth) {
            if (++depth_ > kMaxStack) Fail("data nested too deep");
        }
        ~StackGuard() { --depth_; }
        StackGuard(const StackGuard&) = delete;
        StackGuard& operator=(const StackGuard&) = delete;

    private:
        int& depth_;
    };

    Lexer& lex_;
    Document& doc_;
    ParseMode mode_;
    int stack_ = 0;
};

bool Digits(const uint8_t* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i] < '0' || p[i] > '9') return false;
    return true;
}

}  // namespace

ParseResult Parse(const uint8_t* bytes, size_t size, const TemplateSet& registered, ParseMode mode, Document& doc) {
    ParseResult result;
    doc.templates = registered;
    if (!bytes || size < 16 || std::memcmp(bytes, "xof ", 4) != 0) {
        result.hr = DXFILEERR_BADFILETYPE;
        result.message = "not an X file (no \"xof \" header)";
        return result;
    }
    if (std::memcmp(bytes + 4, "03", 2) != 0 || !Digits(bytes + 6, 2)) {
        result.hr = DXFILEERR_BADFILEVERSION;
        result.message = "unsupported version " + Printable(std::string_view(reinterpret_cast<const char*>(bytes) + 4, 4));
        return result;
    }
    const char* format = reinterpret_cast<const char*>(bytes) + 8;
    bool text = std::memcmp(format, "txt ", 4) == 0 || std::memcmp(format, "tzip", 4) == 0;
    bool zipped = std::memcmp(format, "tzip", 4) == 0 || std::memcmp(format, "bzip", 4) == 0;
    if (!text && !zipped && std::memcmp(format, "bin ", 4) != 0) {
        result.hr = DXFILEERR_BADFILETYPE;
        result.message = "unknown format \"" + Printable(std::string_view(format, 4)) + "\"";
        return result;
    }
    int floatBits = 0;
    if (std::memcmp(bytes + 12, "0032", 4) == 0) floatBits = 32;
    if (std::memcmp(bytes + 12, "0064", 4) == 0) floatBits = 64;
    if (floatBits == 0) {
        result.hr = DXFILEERR_BADFILEFLOATSIZE;
        result.message = "bad float size \"" + Printable(std::string_view(reinterpret_cast<const char*>(bytes) + 12, 4)) + "\"";
        return result;
    }

    const uint8_t* body = bytes + 16;
    size_t bodySize = size - 16;
    std::vector<uint8_t> inflated;
    try {
        if (zipped) {
            std::string why;
            if (!InflateMsZip(body, bodySize, inflated, why)) {
                // The compression is the one known kind; its data is what is bad.
                result.hr = DXFILEERR_BADFILE;
                result.message = "bad compressed data: " + why;
                return result;
            }
            body = inflated.data();
            bodySize = inflated.size();
        }
        if (text) {
            TextLexer lex(body, bodySize);
            try {
                Parser<TextLexer>(lex, doc, mode).Run();
            } catch (ParseError& e) {
                e.message = lex.Where() + ": " + e.message;
                throw;
            }
        } else {
            BinaryLexer lex(body, bodySize, floatBits);
            try {
                Parser<BinaryLexer>(lex, doc, mode).Run();
            } catch (ParseError& e) {
                e.message = lex.Where() + (zipped ? " of the inflated data" : "") + ": " + e.message;
                throw;
            }
        }
    } catch (const ParseError& e) {
        result.hr = e.hr;
        result.message = e.message;
        return result;
    } catch (const std::bad_alloc&) {
        result.hr = DXFILEERR_BADALLOC;
        result.message = "out of memory";
        return result;
    }
    doc.Index();
    return result;
}

}  // namespace xfile
