// Inflating the body of a compressed (tzip, bzip) X file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xfile {

// `data` starts after the 16-byte header: the total size (header included),
// then MSZIP blocks to the end. False with a reason when anything is off.
bool InflateMsZip(const uint8_t* data, size_t size, std::vector<uint8_t>& out, std::string& why);

}  // namespace xfile
