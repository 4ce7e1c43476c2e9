// What a load may ask for again: start-up parses the level's file twice and
// names one picture for several materials. Within one load (until the program
// next presents a frame) the layer keeps what it made from a file and hands
// it out again while the file is unchanged; after that it keeps nothing of
// its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace layer {

// A file's identity and last change, as the file system tells them.
struct FileStamp {
    std::string path;  // mapped
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modified = 0, changed = 0;  // nanoseconds
    // Last changed long enough before it was looked at that a later change
    // cannot leave the stamp as it was (file times move in coarse ticks).
    bool settled = false;

    bool operator==(const FileStamp& o) const {
        return path == o.path && device == o.device && inode == o.inode && size == o.size &&
               modified == o.modified && changed == o.changed;
    }
};

// False when the file cannot be looked at.
bool StampFile(const char* windowsPath, FileStamp* out);

// The end of a load: what the caches keep goes (the device calls this at Present).
void EndLoad();

namespace detail {
void HoldForLoad(std::shared_ptr<const void> thing);
}  // namespace detail

// Values made from files, by file and by what else went into making them
// (`key`): each is held until the load ends, and found again for as long as
// anything still holds it and the file is unchanged.
template <class Value>
class LoadCache {
public:
    // What Keep stored for this file, unchanged, and key; null otherwise.
    std::shared_ptr<const Value> Find(const FileStamp& stamp, const std::string& key) const {
        if (!stamp.settled) return nullptr;
        for (const Entry& e : entries_)
            if (e.stamp == stamp && e.key == key)
                if (auto value = e.value.lock()) return value;
        return nullptr;
    }
    // A file that may still be changing is not kept.
    void Keep(const FileStamp& stamp, std::string key, std::shared_ptr<const Value> value) {
        if (!stamp.settled || !value) return;
        std::vector<Entry> live;
        for (Entry& e : entries_)
            if (!e.value.expired()) live.push_back(std::move(e));
        entries_.swap(live);
        detail::HoldForLoad(value);
        entries_.push_back(Entry{stamp, std::move(key), value});
    }

private:
    struct Entry {
        FileStamp stamp;
        std::string key;
        std::weak_ptr<const Value> value;
    };
    std::vector<Entry> entries_;
};

}  // namespace layer
