// The system cursor: the platform's display counter over SDL's cursor.
#include <SDL.h>

#include "win32_internal.h"

namespace win32_internal {
namespace {

// Any handle will do for the stock cursors and the program's icon.
HCURSOR const kArrow = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0xC0000));

struct Cursor {
    int count = 0;  // shown while >= 0
    HCURSOR current = kArrow;
};

Cursor& C() {
    static Cursor* c = new Cursor;
    return *c;
}

void Apply() {
    if (!VideoReady()) return;
    SDL_ShowCursor(C().count >= 0 && C().current ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace

int CursorDisplayCount() { return C().count; }

void ResetCursor() {
    C() = Cursor();
    Apply();
}

}  // namespace win32_internal

using namespace win32_internal;

HCURSOR WINAPI LoadCursorA(HINSTANCE /*instance*/, LPCSTR name) {
    uintptr_t id = reinterpret_cast<uintptr_t>(name) & 0xFFFF;
    return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0xC0000) + id);
}

HICON WINAPI LoadIconA(HINSTANCE /*instance*/, LPCSTR name) {
    uintptr_t id = reinterpret_cast<uintptr_t>(name) & 0xFFFF;
    return reinterpret_cast<HICON>(static_cast<uintptr_t>(0x1C0000) + id);
}

int WINAPI ShowCursor(BOOL show) {
    C().count += show ? 1 : -1;
    Apply();
    return C().count;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    HCURSOR previous = C().current;
    C().current = cursor;
    Apply();
    return previous;
}
