// Makes the registered template blocks from their text sources: the templates
// in the binary encoding ("xof 0302bin 0064"), as C++ arrays.
#pragma once

#include <string>

namespace xtemplates {

// What one block is called in the reader's sources.
struct BlockNames {
    const char* textSource;  // in platform/xfile: the templates as a text X file
    const char* header;      // the header declaring the array
    const char* source;      // the file defining it
    const char* array;       // the array's name
    const char* bytes;       // the macro holding its size
    const char* what;        // a line on what the block is
};

// The standard templates, and the DirectX 9 additions registered after them.
extern const BlockNames kStandardBlock;
extern const BlockNames kDx9Block;

struct BlockSources {
    std::string block;   // the bytes themselves
    std::string header;  // e.g. rmxftmpl.h
    std::string source;  // e.g. standard_templates_block.cpp
};

// `xText` is the text X file of the templates (header line included).
BlockSources Generate(const std::string& xText, const BlockNames& names);

}  // namespace xtemplates
