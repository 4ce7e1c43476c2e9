// The reader's model of a parsed file: templates, data objects with their
// packed data, children and references. Built whole by Parse; read-only after.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <windows.h>

namespace xfile {

enum class Prim : uint8_t { None, Word, Dword, Float, Double, Char, Uchar, Sword, Sdword, String };

struct Template;

struct Member {
    Prim prim = Prim::None;                // None: a nested template
    std::shared_ptr<const Template> type;  // for Prim::None
    std::string name;
    struct Dim {
        uint32_t constant = 0;
        int member = -1;  // size slot of an earlier member, or -1 for the constant
    };
    std::vector<Dim> dims;  // empty: a single value
    int slot = -1;          // where this member's value is kept when it sizes an array
};

struct Template {
    std::string name;
    GUID guid{};
    std::vector<Member> members;
    int slots = 0;            // members that size arrays
    int depth = 1;            // nesting of template members
    uint64_t minValues = 0;   // values one instance takes at least (0: reads nothing)
};

// Templates by name. Copies are cheap (shared definitions).
class TemplateSet {
public:
    // Exact name first; then a case-insensitive match (files write
    // TextureFileName for TextureFilename).
    std::shared_ptr<const Template> Find(const std::string& name) const;
    void Add(std::shared_ptr<const Template> t);
    size_t Size() const { return byName_.size(); }
    std::vector<std::shared_ptr<const Template>> InOrder() const { return order_; }

private:
    std::unordered_map<std::string, std::shared_ptr<const Template>> byName_;
    std::unordered_map<std::string, std::shared_ptr<const Template>> byFolded_;
    std::vector<std::shared_ptr<const Template>> order_;  // as defined, redefinitions in place
};

struct Reference {
    std::string name;  // empty: by GUID only
    bool hasGuid = false;
    GUID guid{};
};

struct Child {
    bool isReference = false;
    uint32_t index = 0;  // into Document::nodes or Document::references
};

struct Node {
    std::shared_ptr<const Template> type;
    std::string name;  // empty: unnamed
    bool hasId = false;
    GUID id{};
    std::vector<uint8_t> data;
    std::vector<uint32_t> memberOffsets;  // one per template member, then the size
    std::vector<Child> children;
};

struct Document {
    std::string origin;       // the file name as the caller gave it, or "(memory)"
    std::vector<Node> nodes;  // every data object, in file order (pre-order)
    std::vector<uint32_t> top;
    std::vector<Reference> references;
    std::deque<std::string> strings;  // targets of STRING members' pointers
    TemplateSet templates;            // registered ones plus the file's own

    // The first object in file order with the reference's name, else with its
    // GUID; null when none has.
    const Node* Resolve(const Reference& r) const;
    void Index();

private:
    std::unordered_map<std::string, uint32_t> byName_;
    std::unordered_map<std::string, uint32_t> byGuid_;
};

enum class ParseMode { Data, TemplatesOnly };

struct ParseResult {
    HRESULT hr = 0;
    std::string message;  // why the file was refused
};

// Parses a whole file (header included). On failure `doc` is unspecified.
ParseResult Parse(const uint8_t* bytes, size_t size, const TemplateSet& registered, ParseMode mode, Document& doc);

}  // namespace xfile
