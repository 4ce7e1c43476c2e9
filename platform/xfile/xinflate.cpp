#include "xinflate.h"

#include <zlib.h>

#include <cstring>

namespace xfile {
namespace {

constexpr size_t kHistory = 32768;

uint32_t Le(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// zlib's stream, ended however the function leaves.
struct Inflater {
    z_stream z{};
    bool ok = inflateInit2(&z, -15) == Z_OK;  // raw DEFLATE, no zlib header
    ~Inflater() {
        if (ok) inflateEnd(&z);
    }
};

}  // namespace

bool InflateMsZip(const uint8_t* data, size_t size, std::vector<uint8_t>& out, std::string& why) {
    out.clear();
    if (size < 4) {
        why = "no size";
        return false;
    }
    uint32_t total = Le(data, 4);
    if (total < 16) {
        why = "declared size " + std::to_string(total) + " is smaller than the header";
        return false;
    }
    const uint64_t expected = total - 16u;
    Inflater inf;
    if (!inf.ok) {
        why = "zlib failed to start";
        return false;
    }
    size_t pos = 4;
    for (int block = 1; pos < size; ++block) {
        std::string at = "block " + std::to_string(block) + ": ";
        if (size - pos < 6) {
            why = at + "truncated header";
            return false;
        }
        uint32_t usize = Le(data + pos, 2);
        uint32_t csize = Le(data + pos + 2, 2);
        if (csize < 2 || csize > size - pos - 4) {
            why = at + "compressed size " + std::to_string(csize) + " does not fit the file";
            return false;
        }
        if (data[pos + 4] != 'C' || data[pos + 5] != 'K') {
            why = at + "no \"CK\" signature";
            return false;
        }
        if (out.size() + usize > expected) {
            why = at + "more data than the declared " + std::to_string(total) + " bytes";
            return false;
        }
        // Huffman trees start anew in each block, but the history window of
        // the previous output carries over.
        inflateReset(&inf.z);
        if (!out.empty()) {
            size_t n = out.size() < kHistory ? out.size() : kHistory;
            inflateSetDictionary(&inf.z, out.data() + out.size() - n, static_cast<uInt>(n));
        }
        size_t old = out.size();
        out.resize(old + usize);
        inf.z.next_in = const_cast<Bytef*>(data + pos + 6);
        inf.z.avail_in = csize - 2;
        inf.z.next_out = out.data() + old;
        inf.z.avail_out = usize;
        int rc = inflate(&inf.z, Z_FINISH);
        if (rc != Z_STREAM_END || inf.z.avail_out != 0) {
            why = at + (rc == Z_DATA_ERROR ? "bad DEFLATE data" : "inflates to another size than its declared " +
                                                                      std::to_string(usize) + " bytes");
            return false;
        }
        if (inf.z.avail_in != 0) {
            why = at + "data after the end of its DEFLATE stream";
            return false;
        }
        pos += 4 + csize;
    }
    if (out.size() != expected) {
        why = "inflates to " + std::to_string(out.size() + 16) + " bytes, declared " + std::to_string(total);
        return false;
    }
    return true;
}

}  // namespace xfile
