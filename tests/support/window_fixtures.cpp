#include "window_fixtures.h"

namespace window_fixtures {

HWND MakeProgramWindow(const char* title, WNDPROC proc) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = "BRANTO";
    if (!RegisterClassExA(&wc)) return nullptr;
    return CreateWindowExA(0, "BRANTO", title, 0x00CA0000, 0, 0, 1024, 768, NULL, NULL, NULL, NULL);
}

}  // namespace window_fixtures
