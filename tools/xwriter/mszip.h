// MSZIP as compressed X files use it: the total size, then blocks of at most
// 32 KB, each raw DEFLATE with the previous block as its dictionary.
#pragma once

#include <cstdint>
#include <string>

namespace xwriter {

// `totalSize` is written first (the decompressed file counting its header).
std::string MsZipCompress(const std::string& body, uint64_t totalSize);

}  // namespace xwriter
