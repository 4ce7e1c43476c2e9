// The layer keeps what it made from a file for the rest of a load only when
// the file's last change lies well in the past (a newer file could change
// again within one tick of the file system's clock). Tests of that keeping
// wait for their files to settle.
#pragma once

#include <chrono>
#include <initializer_list>
#include <thread>

#include "platform/win32/load_cache.h"

namespace settled_files {

// False when the files do not settle within ten seconds (or do not exist).
inline bool WaitUntilSettled(std::initializer_list<const char*> windowsPaths) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        bool all = true;
        for (const char* path : windowsPaths) {
            layer::FileStamp stamp;
            all = all && layer::StampFile(path, &stamp) && stamp.settled;
        }
        if (all) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace settled_files
