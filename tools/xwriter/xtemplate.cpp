#include "xtemplate.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace xwriter {

extern const char* const kStandardTemplatesSource;  // generated from standard_templates.x
extern const char* const kDx9TemplatesSource;       // and from dx9_templates.x

namespace {

bool EqualNoCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

Prim PrimFromWord(const std::string& w) {
    static const struct {
        const char* word;
        Prim prim;
    } kWords[] = {{"WORD", Prim::Word},   {"DWORD", Prim::Dword},   {"FLOAT", Prim::Float},
                  {"DOUBLE", Prim::Double}, {"CHAR", Prim::Char},   {"UCHAR", Prim::Uchar},
                  {"BYTE", Prim::Byte},   {"SWORD", Prim::Sword},   {"SDWORD", Prim::Sdword},
                  {"STRING", Prim::String}, {"LPSTR", Prim::String}};
    for (const auto& k : kWords)
        if (EqualNoCase(w, k.word)) return k.prim;
    return Prim::None;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A small lexer for trusted definitions: words, punctuation, <guid>.
class Lexer {
public:
    explicit Lexer(const std::string& s) : s_(s) {}

    // Returns the next token: a punctuation character as a one-character
    // string, a word, "<...>" for a GUID, or "" at the end.
    std::string Next() {
        SkipSpace();
        if (pos_ >= s_.size()) return "";
        char c = s_[pos_];
        if (c == '<') {
            size_t end = s_.find('>', pos_);
            if (end == std::string::npos) Fail("unterminated GUID");
            std::string t = s_.substr(pos_, end + 1 - pos_);
            pos_ = end + 1;
            return t;
        }
        if (std::strchr("{}[];,", c)) {
            ++pos_;
            return std::string(1, c);
        }
        size_t start = pos_;
        while (pos_ < s_.size() && !std::isspace(static_cast<unsigned char>(s_[pos_])) &&
               !std::strchr("{}[];,<", s_[pos_]))
            ++pos_;
        return s_.substr(start, pos_ - start);
    }

    std::string Expect(const char* what) {
        std::string t = Next();
        if (t != what) Fail(std::string("expected '") + what + "', got '" + t + "'");
        return t;
    }

    [[noreturn]] void Fail(const std::string& msg) const {
        size_t line = 1;
        for (size_t i = 0; i < pos_ && i < s_.size(); ++i)
            if (s_[i] == '\n') ++line;
        throw std::invalid_argument("template definition, line " + std::to_string(line) + ": " + msg);
    }

private:
    void SkipSpace() {
        for (;;) {
            while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '#' || s_.compare(pos_, 2, "//") == 0)) {
                while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
                continue;
            }
            return;
        }
    }

    const std::string& s_;
    size_t pos_ = 0;
};

bool IsName(const std::string& t) {
    if (t.empty() || !(std::isalpha(static_cast<unsigned char>(t[0])) || t[0] == '_')) return false;
    for (char c : t)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
    return true;
}

void GuidToken(Lexer& lex, const std::string& tok, uint8_t out[16]) {
    if (tok.size() < 2 || tok.front() != '<' || !ParseGuid(tok.substr(1, tok.size() - 2), out))
        lex.Fail("bad GUID '" + tok + "'");
}

}  // namespace

bool ParseGuid(const std::string& in, uint8_t out[16]) {
    std::string hex;
    size_t dashes[4] = {8, 13, 18, 23};
    std::string t;
    for (char c : in)
        if (!std::isspace(static_cast<unsigned char>(c))) t += c;
    if (t.size() != 36) return false;
    for (size_t i = 0, d = 0; i < t.size(); ++i) {
        if (d < 4 && i == dashes[d]) {
            if (t[i] != '-') return false;
            ++d;
            continue;
        }
        if (HexDigit(t[i]) < 0) return false;
        hex += t[i];
    }
    auto byte = [&](size_t i) { return static_cast<uint8_t>(HexDigit(hex[2 * i]) * 16 + HexDigit(hex[2 * i + 1])); };
    // Data1, Data2 and Data3 are little-endian; Data4 is a byte array.
    out[0] = byte(3), out[1] = byte(2), out[2] = byte(1), out[3] = byte(0);
    out[4] = byte(5), out[5] = byte(4);
    out[6] = byte(7), out[7] = byte(6);
    for (int i = 8; i < 16; ++i) out[i] = byte(i);
    return true;
}

std::string FormatGuid(const uint8_t g[16]) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", g[3], g[2],
                  g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return buf;
}

const Template* TemplateSet::Find(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second.get();
}

std::shared_ptr<const Template> TemplateSet::FindShared(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<const Template>> TemplateSet::AddText(const std::string& text) {
    std::vector<std::shared_ptr<const Template>> added;
    Lexer lex(text);
    for (std::string tok = lex.Next(); !tok.empty(); tok = lex.Next()) {
        if (!EqualNoCase(tok, "template")) lex.Fail("expected 'template', got '" + tok + "'");
        auto t = std::make_shared<Template>();
        t->name = lex.Next();
        if (!IsName(t->name)) lex.Fail("bad template name '" + t->name + "'");
        lex.Expect("{");
        GuidToken(lex, lex.Next(), t->guid);
        for (tok = lex.Next(); tok != "}"; tok = lex.Next()) {
            if (tok.empty()) lex.Fail("unterminated template " + t->name);
            if (tok == "[") {
                tok = lex.Next();
                if (tok == "...") {
                    t->children = Template::Children::Open;
                    lex.Expect("]");
                    continue;
                }
                t->children = Template::Children::Restricted;
                for (;;) {
                    Restriction r;
                    r.name = tok;
                    if (!IsName(r.name)) lex.Fail("bad restriction '" + tok + "'");
                    tok = lex.Next();
                    if (!tok.empty() && tok[0] == '<') {
                        GuidToken(lex, tok, r.guid);
                        r.hasGuid = true;
                        tok = lex.Next();
                    }
                    t->restrictions.push_back(r);
                    if (tok == "]") break;
                    if (tok != ",") lex.Fail("expected ',' or ']' in restriction");
                    tok = lex.Next();
                }
                continue;
            }
            Member m;
            bool array = EqualNoCase(tok, "array");
            if (array) tok = lex.Next();
            m.prim = PrimFromWord(tok);
            if (m.prim == Prim::None) {
                m.type = FindShared(tok);
                if (!m.type) lex.Fail("unknown type '" + tok + "' in template " + t->name);
            }
            tok = lex.Next();
            if (tok != ";" && tok != "[") {
                if (!IsName(tok)) lex.Fail("bad member name '" + tok + "'");
                m.name = tok;
                tok = lex.Next();
            }
            while (array && tok == "[") {
                Dim d;
                std::string size = lex.Next();
                if (!size.empty() && std::isdigit(static_cast<unsigned char>(size[0]))) {
                    d.constant = static_cast<uint32_t>(std::stoul(size));
                } else {
                    bool found = false;
                    for (const Member& earlier : t->members)
                        if (earlier.name == size && earlier.dims.empty() && earlier.prim != Prim::None &&
                            earlier.prim != Prim::String && earlier.prim != Prim::Float &&
                            earlier.prim != Prim::Double)
                            found = true;
                    if (!found) lex.Fail("array size '" + size + "' is no earlier integer member");
                    d.member = size;
                }
                m.dims.push_back(d);
                lex.Expect("]");
                tok = lex.Next();
            }
            if (array && (m.dims.empty() || m.name.empty())) lex.Fail("array without name or size");
            if (tok != ";") lex.Fail("expected ';' after member");
            t->members.push_back(m);
        }
        byName_[t->name] = t;
        added.push_back(t);
    }
    return added;
}

namespace {

// A source is a complete X file; its 16-byte header is dropped.
std::string Body(const char* source) {
    std::string s = source;
    if (s.compare(0, 4, "xof ") == 0) s.erase(0, 16);
    return s;
}

}  // namespace

const std::string& StandardTemplatesText() {
    static const std::string* text = new std::string(Body(kStandardTemplatesSource));
    return *text;
}

const TemplateSet& StandardTemplates() {
    static const TemplateSet* set = [] {
        auto* s = new TemplateSet;
        s->AddText(StandardTemplatesText());
        s->AddText(Body(kDx9TemplatesSource));
        return s;
    }();
    return *set;
}

}  // namespace xwriter
