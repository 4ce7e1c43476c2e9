// The back buffer's pixels in CPU memory, kept in step with what the back end
// draws. Both directions are lazy: what was drawn is read back only when the
// CPU next touches the pixels, and what the CPU wrote goes to the back end only
// before it next clears, draws or presents. A caller that locks the back
// buffer many times between two draws (a marker plotted block by block) thus
// costs one read back and one upload.
#pragma once

#include <cstdint>

#include "d3d9types.h"

namespace d3d9 {

class Backend;
class PixelStore;

class BackBufferSync {
public:
    // The CPU is about to read or write `store`: fetch what was drawn since the
    // last time (`targetGeneration` changes with every draw into the target).
    void BeforeAccess(PixelStore& store, Backend& backend, uint64_t targetGeneration);
    // The CPU changed `rect` of the stored pixels.
    void Written(const RECT& rect);
    // The back end is about to use the target: hand it what the CPU wrote.
    void Flush(const PixelStore& store, Backend& backend);

private:
    uint64_t readGeneration_ = 0;  // target generation the stored pixels show
    bool dirty_ = false;
    RECT dirtyRect_ = {};  // bounds of the CPU writes not yet handed over
};

}  // namespace d3d9
