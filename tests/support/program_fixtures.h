// The program's main window as the tests make it before the start-up steps
// they exercise, and the whole program run in the test's process.
#pragma once

#include <functional>

#include "platform/win32/windows.h"

namespace program_fixtures {

// The instance handle WinMain is given.
extern HINSTANCE const kInstance;

// Registers the program's window class "BRANTO" with `proc` and makes a
// 1024x768 window of it in the program's style; null when either fails.
HWND MakeProgramWindow(const char* title = "", WNDPROC proc = DefWindowProcA);

// Every seam back to its start, then headless windows, the null device and
// the start question answered No.
void ArrangeProgram();

// WinMain with an empty command line; its result.
int RunProgram();
// RunProgram, with Escape pressed after the frame for which `each` answers true.
int RunFrames(std::function<bool(unsigned frame)> each);

}  // namespace program_fixtures
