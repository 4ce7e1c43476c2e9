// Makes the registered standard template block from its text source: the
// templates in the binary encoding ("xof 0302bin 0064"), as a C++ array.
#pragma once

#include <string>

namespace xtemplates {

struct BlockSources {
    std::string block;   // the bytes themselves
    std::string header;  // rmxftmpl.h
    std::string source;  // standard_templates_block.cpp
};

// `xText` is the text X file of the templates (header line included).
BlockSources Generate(const std::string& xText);

}  // namespace xtemplates
