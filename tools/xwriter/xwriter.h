// Writer of X files from a generic tree of data objects, in every encoding the
// reader takes. Used by the data generator and by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xwriter {

enum class Encoding { Text, Binary, TextZip, BinaryZip };

// One data value. Values are given flat, in the order of the template's members
// (array counts included), e.g. a Vector is three Floats.
struct Value {
    enum class Kind { Integer, Float, String };
    Kind kind = Kind::Integer;
    int64_t integer = 0;
    double real = 0.0;
    std::string text;

    static Value Int(int64_t v) {
        Value x;
        x.kind = Kind::Integer;
        x.integer = v;
        return x;
    }
    static Value Float(double v) {
        Value x;
        x.kind = Kind::Float;
        x.real = v;
        return x;
    }
    static Value Str(std::string v) {
        Value x;
        x.kind = Kind::String;
        x.text = std::move(v);
        return x;
    }
};

// A data object, or (templateName empty) a reference `{ name }` to one.
struct Object {
    std::string templateName;
    std::string name;  // may be empty
    std::vector<Value> data;
    std::vector<Object> children;  // nested objects and references, in file order
    // Optional "8-4-4-4-12" identifier: the object's own, or the one a
    // reference names (`{ name <guid> }`, or `{ <guid> }` when name is empty).
    std::string guid;

    static Object Reference(std::string target, std::string guid = {}) {
        Object o;
        o.name = std::move(target);
        o.guid = std::move(guid);
        return o;
    }
    bool IsReference() const { return templateName.empty(); }
};

struct File {
    int minorVersion = 3;  // header "0302" or "0303"
    int floatBits = 32;    // 32 or 64
    // Template definitions written into the file, in the text syntax
    // ("template SkinWeights { <6F0D123B-...> STRING transformNodeName; ... }");
    // an entry may hold several definitions.
    std::vector<std::string> templates;
    std::vector<Object> objects;  // top-level data objects in file order
};

// The whole file as bytes. Templates named by objects must be the standard ones
// or declared in `templates`. Throws std::invalid_argument when the objects do
// not fit their templates (unknown template, missing or surplus values, a
// string where a number belongs).
std::string Write(const File& file, Encoding encoding);
// Write to a file; false (with a message on stderr) when it cannot be written
// or the model is rejected.
bool WriteFile(const std::string& path, const File& file, Encoding encoding);

}  // namespace xwriter
