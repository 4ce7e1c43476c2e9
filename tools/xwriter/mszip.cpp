#include "mszip.h"

#include <zlib.h>

#include <stdexcept>
#include <vector>

namespace xwriter {
namespace {

constexpr size_t kBlock = 32768;

void Word(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

}  // namespace

std::string MsZipCompress(const std::string& body, uint64_t totalSize) {
    if (totalSize > 0xFFFFFFFFu) throw std::invalid_argument("file too large to compress");
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((totalSize >> (8 * i)) & 0xFF);

    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::vector<unsigned char> buf(deflateBound(&z, kBlock) + 64);
    const auto* data = reinterpret_cast<const unsigned char*>(body.data());
    for (size_t pos = 0; pos < body.size(); pos += kBlock) {
        size_t n = std::min(kBlock, body.size() - pos);
        deflateReset(&z);
        // The reader keeps the previous block's output as history.
        if (pos > 0) deflateSetDictionary(&z, data + pos - kBlock, kBlock);
        z.next_in = const_cast<unsigned char*>(data + pos);
        z.avail_in = static_cast<uInt>(n);
        z.next_out = buf.data();
        z.avail_out = static_cast<uInt>(buf.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
            deflateEnd(&z);
            throw std::runtime_error("deflate did not finish a block");
        }
        size_t packed = buf.size() - z.avail_out;
        Word(out, static_cast<uint32_t>(n));
        Word(out, static_cast<uint32_t>(packed + 2));
        out += "CK";
        out.append(reinterpret_cast<const char*>(buf.data()), packed);
    }
    deflateEnd(&z);
    return out;
}

}  // namespace xwriter
