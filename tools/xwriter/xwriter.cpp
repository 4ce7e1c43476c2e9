#include "xwriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "mszip.h"
#include "xtemplate.h"

namespace xwriter {
namespace {

// Binary token numbers.
enum : uint16_t {
    kName = 1,
    kString = 2,
    kInteger = 3,
    kGuid = 5,
    kIntegerList = 6,
    kFloatList = 7,
    kOBrace = 10,
    kCBrace = 11,
    kOBracket = 14,
    kCBracket = 15,
    kDot = 18,
    kSemicolon = 20,
    kTemplate = 31,
    kWord = 40,
    kDword = 41,
    kFloat = 42,
    kDouble = 43,
    kChar = 44,
    kUchar = 45,
    kSword = 46,
    kSdword = 47,
    kLpstr = 49,
    kArray = 52,
};

[[noreturn]] void Reject(const std::string& msg) { throw std::invalid_argument(msg); }

bool IsFloatPrim(Prim p) { return p == Prim::Float || p == Prim::Double; }

const char* PrimText(Prim p) {
    switch (p) {
        case Prim::Word: return "WORD";
        case Prim::Dword: return "DWORD";
        case Prim::Float: return "FLOAT";
        case Prim::Double: return "DOUBLE";
        case Prim::Char: return "CHAR";
        case Prim::Uchar: return "UCHAR";
        case Prim::Byte: return "BYTE";
        case Prim::Sword: return "SWORD";
        case Prim::Sdword: return "SDWORD";
        case Prim::String: return "STRING";
        case Prim::None: break;
    }
    return "";
}

uint16_t PrimToken(Prim p) {
    switch (p) {
        case Prim::Word: return kWord;
        case Prim::Dword: return kDword;
        case Prim::Float: return kFloat;
        case Prim::Double: return kDouble;
        case Prim::Char: return kChar;
        case Prim::Uchar:
        case Prim::Byte: return kUchar;  // the binary encoding has no BYTE token
        case Prim::Sword: return kSword;
        case Prim::Sdword: return kSdword;
        case Prim::String: return kLpstr;
        case Prim::None: break;
    }
    return 0;
}

int64_t AsInteger(const Value& v, const std::string& where) {
    if (v.kind == Value::Kind::Integer) return v.integer;
    if (v.kind == Value::Kind::Float && std::floor(v.real) == v.real && std::fabs(v.real) < 9.2e18)
        return static_cast<int64_t>(v.real);
    Reject(where + ": expected an integer value");
}

double AsReal(const Value& v, const std::string& where) {
    if (v.kind == Value::Kind::Float) {
        if (!std::isfinite(v.real)) Reject(where + ": a float that is not finite");
        return v.real;
    }
    if (v.kind == Value::Kind::Integer) return static_cast<double>(v.integer);
    Reject(where + ": expected a number");
}

// Names must read back as one word in the text encoding, so that a file
// converts between encodings.
void CheckName(const std::string& name) {
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c <= ' ' || c >= 127 || std::strchr("{}[](),;\"<>#", c) ||
            (c == '/' && i + 1 < name.size() && name[i + 1] == '/'))
            Reject("name \"" + name + "\" cannot be written");
    }
}

void CheckObject(const Object& o) {
    CheckName(o.name);
    uint8_t g[16];
    if (!o.guid.empty() && !ParseGuid(o.guid, g)) Reject("bad GUID " + o.guid + " on " + o.name);
    if (o.IsReference() && o.name.empty() && o.guid.empty()) Reject("a reference needs a name or a GUID");
}

// Walks an object's values along its template. The sink receives each scalar
// and the structure around it (member ends, array element separators).
template <class Sink>
class Walker {
public:
    Walker(Sink& sink, const Object& obj) : sink_(sink), obj_(obj) {}

    void Run(const Template& t) {
        Members(t, 0);
        if (next_ != obj_.data.size())
            Reject(Where() + ": " + std::to_string(obj_.data.size() - next_) + " values too many");
    }

private:
    std::string Where() const {
        return obj_.templateName + (obj_.name.empty() ? "" : " " + obj_.name);
    }

    const Value& Take() {
        if (next_ >= obj_.data.size()) Reject(Where() + ": missing values");
        return obj_.data[next_++];
    }

    void Members(const Template& t, int level) {
        std::vector<int64_t> ints(t.members.size(), 0);
        for (size_t k = 0; k < t.members.size(); ++k) {
            const Member& m = t.members[k];
            sink_.MemberBegin(level);
            if (m.dims.empty()) {
                ints[k] = Element(m, level);
            } else {
                uint64_t count = 1;
                for (const Dim& d : m.dims) {
                    uint64_t n = d.constant;
                    if (!d.member.empty()) {
                        for (size_t j = 0; j < k; ++j)
                            if (t.members[j].name == d.member) n = static_cast<uint32_t>(ints[j]);
                    }
                    count *= n;
                    if (count > obj_.data.size()) Reject(Where() + ": array " + m.name + " larger than the data");
                }
                for (uint64_t e = 0; e < count; ++e) {
                    if (e > 0) sink_.ElementSeparator(m.prim == Prim::None, e, level);
                    Element(m, level);
                }
            }
            sink_.MemberEnd();
        }
    }

    // One scalar or one structure; gives the scalar's integer value (for sizes).
    int64_t Element(const Member& m, int level) {
        if (m.prim == Prim::None) {
            Members(*m.type, level + 1);
            return 0;
        }
        const Value& v = Take();
        if (m.prim == Prim::String) {
            if (v.kind != Value::Kind::String) Reject(Where() + ": expected a string for " + m.name);
            sink_.String(v.text);
            return 0;
        }
        if (IsFloatPrim(m.prim)) {
            sink_.Real(m.prim, AsReal(v, Where()));
            return 0;
        }
        int64_t i = AsInteger(v, Where());
        sink_.Integer(i);
        return i;
    }

    Sink& sink_;
    const Object& obj_;
    size_t next_ = 0;
};

// ---------------------------------------------------------------- text

std::string FormatReal(double v, Prim p) {
    char buf[64];
    if (p == Prim::Float) {
        float f = static_cast<float>(v);
        std::snprintf(buf, sizeof buf, "%.6f", f);
        float back = 0;
        std::from_chars(buf, buf + std::strlen(buf), back);
        if (back != f) std::snprintf(buf, sizeof buf, "%.9g", f);
    } else {
        std::snprintf(buf, sizeof buf, "%.6f", v);
        double back = 0;
        std::from_chars(buf, buf + std::strlen(buf), back);
        if (back != v) std::snprintf(buf, sizeof buf, "%.17g", v);
    }
    return buf;
}

std::string Quote(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') q += '\\';
        q += c;
    }
    return q + '"';
}

class TextSink {
public:
    TextSink(std::string& out, int indent) : out_(out), indent_(indent) {}

    void MemberBegin(int level) {
        if (level == 0) NewLine();
    }
    void MemberEnd() { out_ += ';'; }
    void ElementSeparator(bool structure, uint64_t index, int level) {
        out_ += ',';
        if (level == 0 && (structure || index % 16 == 0)) NewLine();
    }
    void Integer(int64_t v) { out_ += std::to_string(v); }
    void Real(Prim p, double v) { out_ += FormatReal(v, p); }
    void String(const std::string& s) { out_ += Quote(s); }

private:
    void NewLine() {
        out_ += '\n';
        out_.append(static_cast<size_t>(indent_ + 1), ' ');
    }
    std::string& out_;
    int indent_;
};

void TextTemplate(std::string& out, const Template& t) {
    out += "template " + t.name + " {\n <" + FormatGuid(t.guid) + ">\n";
    for (const Member& m : t.members) {
        out += ' ';
        if (!m.dims.empty()) out += "array ";
        out += m.prim == Prim::None ? m.type->name : PrimText(m.prim);
        if (!m.name.empty()) out += ' ' + m.name;
        for (const Dim& d : m.dims) out += '[' + (d.member.empty() ? std::to_string(d.constant) : d.member) + ']';
        out += ";\n";
    }
    if (t.children == Template::Children::Open) out += " [...]\n";
    if (t.children == Template::Children::Restricted) {
        out += " [";
        for (size_t i = 0; i < t.restrictions.size(); ++i) {
            const Restriction& r = t.restrictions[i];
            if (i) out += ", ";
            out += r.name;
            if (r.hasGuid) out += " <" + FormatGuid(r.guid) + ">";
        }
        out += "]\n";
    }
    out += "}\n\n";
}

void TextObject(std::string& out, const TemplateSet& set, const Object& o, int indent) {
    CheckObject(o);
    std::string pad(static_cast<size_t>(indent), ' ');
    if (o.IsReference()) {
        out += pad + "{ " + o.name;
        if (!o.guid.empty()) out += (o.name.empty() ? "<" : " <") + o.guid + ">";
        out += " }\n";
        return;
    }
    const Template* t = set.Find(o.templateName);
    if (!t) Reject("unknown template " + o.templateName);
    out += pad + o.templateName;
    if (!o.name.empty()) out += ' ' + o.name;
    out += " {";
    if (!o.guid.empty()) out += "\n" + pad + " <" + o.guid + ">";
    TextSink sink(out, indent);
    Walker<TextSink>(sink, o).Run(*t);
    out += '\n';
    for (const Object& c : o.children) TextObject(out, set, c, indent + 1);
    out += pad + "}\n";
}

// ---------------------------------------------------------------- binary

class BinarySink {
public:
    BinarySink(std::string& out, int floatBits) : out_(out), floatBits_(floatBits) {}
    ~BinarySink() = default;

    void MemberBegin(int) {}
    void MemberEnd() {}
    void ElementSeparator(bool, uint64_t, int) {}
    void Integer(int64_t v) {
        if (!floats_.empty()) Flush();
        ints_.push_back(static_cast<uint32_t>(v));
    }
    void Real(Prim, double v) {
        if (!ints_.empty()) Flush();
        floats_.push_back(v);
    }
    void String(const std::string& s) {
        Flush();
        Token(kString);
        Dword(static_cast<uint32_t>(s.size()));
        out_ += s;
        Token(kSemicolon);  // the two-byte terminator real files write
    }

    // Consecutive values of one kind go out as one list, across members.
    void Flush() {
        if (!ints_.empty()) {
            Token(kIntegerList);
            Dword(static_cast<uint32_t>(ints_.size()));
            for (uint32_t v : ints_) Dword(v);
            ints_.clear();
        }
        if (!floats_.empty()) {
            Token(kFloatList);
            Dword(static_cast<uint32_t>(floats_.size()));
            for (double v : floats_) {
                if (floatBits_ == 64) {
                    char b[8];
                    std::memcpy(b, &v, 8);
                    out_.append(b, 8);
                } else {
                    float f = static_cast<float>(v);
                    char b[4];
                    std::memcpy(b, &f, 4);
                    out_.append(b, 4);
                }
            }
            floats_.clear();
        }
    }

    void Token(uint16_t t) {
        out_ += static_cast<char>(t & 0xFF);
        out_ += static_cast<char>(t >> 8);
    }
    void Dword(uint32_t v) {
        for (int i = 0; i < 4; ++i) out_ += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void Name(const std::string& s) {
        Token(kName);
        Dword(static_cast<uint32_t>(s.size()));
        out_ += s;
    }
    void Guid(const uint8_t g[16]) {
        Token(kGuid);
        out_.append(reinterpret_cast<const char*>(g), 16);
    }
    void GuidText(const std::string& text, const std::string& where) {
        uint8_t g[16];
        if (!ParseGuid(text, g)) Reject(where + ": bad GUID " + text);
        Guid(g);
    }

private:
    std::string& out_;
    int floatBits_;
    std::vector<uint32_t> ints_;
    std::vector<double> floats_;
};

void BinaryTemplate(BinarySink& b, const Template& t) {
    b.Token(kTemplate);
    b.Name(t.name);
    b.Token(kOBrace);
    b.Guid(t.guid);
    for (const Member& m : t.members) {
        if (!m.dims.empty()) b.Token(kArray);
        if (m.prim == Prim::None)
            b.Name(m.type->name);
        else
            b.Token(PrimToken(m.prim));
        if (!m.name.empty()) b.Name(m.name);
        for (const Dim& d : m.dims) {
            b.Token(kOBracket);
            if (d.member.empty()) {
                b.Token(kInteger);
                b.Dword(d.constant);
            } else {
                b.Name(d.member);
            }
            b.Token(kCBracket);
        }
        b.Token(kSemicolon);
    }
    if (t.children == Template::Children::Open) {
        b.Token(kOBracket);
        for (int i = 0; i < 3; ++i) b.Token(kDot);
        b.Token(kCBracket);
    } else if (t.children == Template::Children::Restricted) {
        b.Token(kOBracket);
        for (const Restriction& r : t.restrictions) {
            b.Name(r.name);
            if (r.hasGuid) b.Guid(r.guid);
        }
        b.Token(kCBracket);
    }
    b.Token(kCBrace);
}

void BinaryObject(BinarySink& b, const TemplateSet& set, const Object& o) {
    CheckObject(o);
    if (o.IsReference()) {
        b.Token(kOBrace);
        if (!o.name.empty()) b.Name(o.name);
        if (!o.guid.empty()) b.GuidText(o.guid, "reference " + o.name);
        b.Token(kCBrace);
        return;
    }
    const Template* t = set.Find(o.templateName);
    if (!t) Reject("unknown template " + o.templateName);
    b.Name(o.templateName);
    if (!o.name.empty()) b.Name(o.name);
    b.Token(kOBrace);
    if (!o.guid.empty()) b.GuidText(o.guid, o.templateName + " " + o.name);
    Walker<BinarySink>(b, o).Run(*t);
    b.Flush();
    for (const Object& c : o.children) BinaryObject(b, set, c);
    b.Token(kCBrace);
}

std::string Header(const File& f, const char* format) {
    if (f.floatBits != 32 && f.floatBits != 64) Reject("float size must be 32 or 64");
    if (f.minorVersion < 0 || f.minorVersion > 99) Reject("bad minor version");
    char buf[17];
    std::snprintf(buf, sizeof buf, "xof 03%02d%s%04d", f.minorVersion, format, f.floatBits);
    return buf;
}

}  // namespace

std::string Write(const File& file, Encoding encoding) {
    TemplateSet set = StandardTemplates();
    std::vector<std::shared_ptr<const Template>> declared;
    for (const std::string& text : file.templates) {
        auto added = set.AddText(text);
        declared.insert(declared.end(), added.begin(), added.end());
    }
    bool binary = encoding == Encoding::Binary || encoding == Encoding::BinaryZip;
    std::string body;
    if (binary) {
        BinarySink b(body, file.floatBits);
        for (const auto& t : declared) BinaryTemplate(b, *t);
        for (const Object& o : file.objects) BinaryObject(b, set, o);
    } else {
        body += "\n";
        for (const auto& t : declared) TextTemplate(body, *t);
        for (const Object& o : file.objects) TextObject(body, set, o, 0);
    }
    switch (encoding) {
        case Encoding::Text: return Header(file, "txt ") + body;
        case Encoding::Binary: return Header(file, "bin ") + body;
        case Encoding::TextZip: return Header(file, "tzip") + MsZipCompress(body, 16 + body.size());
        case Encoding::BinaryZip: return Header(file, "bzip") + MsZipCompress(body, 16 + body.size());
    }
    return {};
}

bool WriteFile(const std::string& path, const File& file, Encoding encoding) {
    std::string bytes;
    try {
        bytes = Write(file, encoding);
    } catch (const std::exception& e) {
        std::cerr << "xwriter: " << path << ": " << e.what() << "\n";
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "xwriter: cannot write " << path << "\n";
        return false;
    }
    return true;
}

}  // namespace xwriter
