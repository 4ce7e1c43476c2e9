#include "load_cache.h"

#include <sys/stat.h>
#include <time.h>

#include "paths.h"

namespace layer {
namespace {

// A change this long before a file is looked at is a tick of the file
// system's clock or more in the past, whatever its granularity.
constexpr int64_t kSettledNs = 1000000000;

std::vector<std::shared_ptr<const void>>& Held() {
    static auto* held = new std::vector<std::shared_ptr<const void>>;  // immortal: caches may be used during exit
    return *held;
}

int64_t Nanoseconds(const timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

}  // namespace

bool StampFile(const char* windowsPath, FileStamp* out) {
    if (!windowsPath || !out) return false;
    FileStamp s;
    s.path = MapPath(windowsPath);
    struct stat st;
    if (::stat(s.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = uint64_t(st.st_size);
    s.modified = Nanoseconds(st.st_mtim);
    s.changed = Nanoseconds(st.st_ctim);
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    s.settled = Nanoseconds(now) - s.changed >= kSettledNs && Nanoseconds(now) - s.modified >= kSettledNs;
    *out = std::move(s);
    return true;
}

void EndLoad() { Held().clear(); }

namespace detail {

void HoldForLoad(std::shared_ptr<const void> thing) { Held().push_back(std::move(thing)); }

}  // namespace detail
}  // namespace layer
