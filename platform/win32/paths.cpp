#include "paths.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace layer {
namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string Join(const std::string& base, const std::string& part) {
    if (base.empty()) return part;
    if (base.back() == '/') return base + part;
    return base + '/' + part;
}

// The entry of `dir` equal to `name` without regard to case. Several matches
// are possible on Linux: take the smallest name so the answer is stable.
bool FindIgnoringCase(const std::string& dir, const std::string& name, std::string* found) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return false;
    bool any = false;
    while (dirent* e = ::readdir(d)) {
        if (::strcasecmp(e->d_name, name.c_str()) != 0) continue;
        if (!any || std::string(e->d_name) < *found) *found = e->d_name;
        any = true;
    }
    ::closedir(d);
    return any;
}

}  // namespace

std::string MapPath(const char* windowsPath) {
    if (!windowsPath) return std::string();
    std::string path(windowsPath);
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.empty() || Exists(path)) return path;

    std::string result = path[0] == '/' ? "/" : "";
    bool lost = false;  // once a component is missing, keep the rest as written
    size_t pos = 0;
    while (pos < path.size()) {
        size_t end = path.find('/', pos);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty()) continue;
        std::string next = Join(result, part);
        if (!lost && part != "." && part != ".." && !Exists(next)) {
            std::string real;
            if (FindIgnoringCase(result, part, &real))
                next = Join(result, real);
            else
                lost = true;
        }
        result = next;
    }
    if (path.back() == '/' && (result.empty() || result.back() != '/')) result += '/';
    return result;
}

std::FILE* OpenFile(const char* windowsPath, const char* mode) {
    if (!windowsPath || !mode) return nullptr;
    return std::fopen(MapPath(windowsPath).c_str(), mode);
}

bool ReadWholeFile(const char* windowsPath, std::vector<unsigned char>& out) {
    out.clear();
    std::FILE* f = OpenFile(windowsPath, "rb");
    if (!f) return false;
    bool ok = true;
    unsigned char chunk[65536];
    for (;;) {
        size_t n = std::fread(chunk, 1, sizeof chunk, f);
        out.insert(out.end(), chunk, chunk + n);
        if (n < sizeof chunk) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    if (!ok) out.clear();
    return ok;
}

}  // namespace layer
