// Template definitions as the writer needs them: to place separators in text
// and to choose list kinds in binary. Parsed from the text syntax.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace xwriter {

struct Template;

enum class Prim { None, Word, Dword, Float, Double, Char, Uchar, Byte, Sword, Sdword, String };

struct Dim {
    uint32_t constant = 0;
    std::string member;  // the earlier member giving the size; empty for a constant
};

struct Member {
    Prim prim = Prim::None;  // None: `type` is a template
    std::shared_ptr<const Template> type;
    std::string name;
    std::vector<Dim> dims;  // empty: not an array
};

struct Restriction {
    std::string name;
    bool hasGuid = false;
    uint8_t guid[16] = {};
};

struct Template {
    std::string name;
    uint8_t guid[16] = {};
    std::vector<Member> members;
    enum class Children { Closed, Open, Restricted } children = Children::Closed;
    std::vector<Restriction> restrictions;
};

// Templates known by name; later definitions replace earlier ones.
class TemplateSet {
public:
    const Template* Find(const std::string& name) const;
    std::shared_ptr<const Template> FindShared(const std::string& name) const;
    // Parses any number of text definitions (comments allowed); throws
    // std::invalid_argument on a malformed one. Returns them in order.
    std::vector<std::shared_ptr<const Template>> AddText(const std::string& text);

private:
    std::map<std::string, std::shared_ptr<const Template>> byName_;
};

// The standard templates and their DirectX 9 additions
// (platform/xfile/standard_templates.x and dx9_templates.x, built in).
const TemplateSet& StandardTemplates();
const std::string& StandardTemplatesText();

// "3D82AB43-62DA-11CF-AB39-0020AF71E433" (no angle brackets) to the 16 bytes
// as the binary encoding stores them; false when malformed.
bool ParseGuid(const std::string& text, uint8_t out[16]);
std::string FormatGuid(const uint8_t guid[16]);

}  // namespace xwriter
