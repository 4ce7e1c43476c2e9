#include "back_buffer.h"

#include <algorithm>

#include "backend.h"
#include "pixel_store.h"
#include "seams.h"

namespace d3d9 {

void BackBufferSync::BeforeAccess(PixelStore& store, Backend& backend, uint64_t targetGeneration) {
    if (readGeneration_ == targetGeneration) return;
    // Writes are handed over before every draw, so none can be pending here;
    // should one be, it must not be lost under the read back.
    Flush(store, backend);
    backend.ReadBackBuffer(store);
    seams::BackBufferTransfers().readBacks++;
    readGeneration_ = targetGeneration;
}

void BackBufferSync::Written(const RECT& rect) {
    if (rect.left >= rect.right || rect.top >= rect.bottom) return;
    if (!dirty_) {
        dirtyRect_ = rect;
        dirty_ = true;
        return;
    }
    dirtyRect_.left = std::min(dirtyRect_.left, rect.left);
    dirtyRect_.top = std::min(dirtyRect_.top, rect.top);
    dirtyRect_.right = std::max(dirtyRect_.right, rect.right);
    dirtyRect_.bottom = std::max(dirtyRect_.bottom, rect.bottom);
}

void BackBufferSync::Flush(const PixelStore& store, Backend& backend) {
    if (!dirty_) return;
    dirty_ = false;
    backend.WriteBackBuffer(store, dirtyRect_);
    seams::BackBufferTransfers().uploads++;
}

}  // namespace d3d9
