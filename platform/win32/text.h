// Text conversion at the edge of the layer: the program's texts are Windows-1252,
// SDL wants UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace layer {

// The Unicode code point of a Windows-1252 byte.
uint32_t Cp1252CodePoint(unsigned char byte);

// Converts a zero-terminated Windows-1252 text (null gives "").
std::string Cp1252ToUtf8(const char* text);

}  // namespace layer
