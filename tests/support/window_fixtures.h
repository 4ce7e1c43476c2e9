// The program's main window as the tests make it before the start-up steps
// they exercise.
#pragma once

#include "platform/win32/windows.h"

namespace window_fixtures {

// Registers the program's window class "BRANTO" with `proc` and makes a
// 1024x768 window of it in the program's style; null when either fails.
HWND MakeProgramWindow(const char* title = "", WNDPROC proc = DefWindowProcA);

}  // namespace window_fixtures
