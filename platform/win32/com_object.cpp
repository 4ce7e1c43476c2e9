#include "com_object.h"

// {00000000-0000-0000-C000-000000000046}
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace layer {
namespace {
// Plain ints with static storage and no destructor: safe to touch at exit.
int g_live[static_cast<int>(ObjectFamily::Count)];
}  // namespace

namespace detail {
void CountObject(ObjectFamily family, int delta) { g_live[static_cast<int>(family)] += delta; }
}  // namespace detail

int LiveObjects(ObjectFamily family) { return g_live[static_cast<int>(family)]; }

int LiveObjectsTotal() {
    int total = 0;
    for (int n : g_live) total += n;
    return total;
}

}  // namespace layer
