// Windows file names on Linux. The program opens its files by names such as
// "..\Data\Ninja.x", and the texture names inside its data are Windows names
// whose case need not match the files on disk.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace layer {

// Maps `\` to `/` and resolves against the current directory; a component that
// does not exist as written is matched without regard to case. When nothing
// matches, the rest of the name is kept as written (opening it then fails).
std::string MapPath(const char* windowsPath);

// fopen of the mapped name.
std::FILE* OpenFile(const char* windowsPath, const char* mode);

// The whole file; false when it cannot be opened or read.
bool ReadWholeFile(const char* windowsPath, std::vector<unsigned char>& out);

}  // namespace layer
