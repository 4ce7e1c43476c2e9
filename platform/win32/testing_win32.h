// Test seams of the window layer (namespace platform_testing). The shipped
// program never calls these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wintypes.h"

namespace platform_testing {

// Back to the defaults: real message boxes, SDL windows, real clocks, no
// injected keys or failures, cursor counter 0, 96 dpi, no classes or windows,
// an empty queue. Also starts capturing the debugger output (and clears it).
void ResetWin32();

// --- message boxes ---
struct MessageBoxRecord {
    HWND owner;
    std::string text;     // the bytes given, Windows-1252
    std::string caption;  // the bytes given
    UINT type;            // MB_* flags
};
// From now on boxes are not shown; each returns `answer` (IDYES, IDNO, 0 ...).
void SetMessageBoxAnswer(int answer);
// Boxes shown for real again (the default).
void ClearMessageBoxAnswer();
// Every box asked for since the last reset, shown or not.
const std::vector<MessageBoxRecord>& MessageBoxes();

// --- windows ---
// Windows made from now on have no SDL window (no display needed); their size,
// messages and focus are modelled all the same.
void SetHeadlessWindows(bool headless);
// Whether headless windows have the focus (they do by default).
void SetHeadlessFocus(bool focused);
void FailRegisterClass(bool fail);
void FailCreateWindow(bool fail);
// The display refuses full screen (as a window system may).
void RefuseFullscreen(bool refuse);
// Posts WM_CLOSE as the close button of the caption would.
void PressCloseButton(HWND window);
// System cursor display counter (ShowCursor).
int CursorDisplayCount();

// --- keys ---
// Sets the asynchronous state of a virtual key directly.
void SetAsyncKeyState(int virtualKey, bool down, bool pressedSinceLastQuery);
// A key pressed or released on the keyboard: the state changes and the window
// gets WM_KEYDOWN/WM_KEYUP, as when the event is pumped.
void PressKey(HWND window, int virtualKey);
void ReleaseKey(HWND window, int virtualKey);

// --- clocks ---
// A fake time from now on, in milliseconds since boot (also drives the
// performance counter, at 1e9 ticks per second).
void SetFakeClockMs(uint64_t ms);
void AdvanceFakeClockMs(uint64_t ms);
void AdvanceFakeClockNs(uint64_t ns);
// The performance counter reads 0 / the frequency reads 0 (no counter).
void ForcePerformanceCounterZero(bool zero);
void ForcePerformanceFrequencyZero(bool zero);

// --- debugger output ---
void CaptureDebugOutput(bool capture);
// The strings written, one per OutputDebugStringA call.
const std::vector<std::string>& DebugOutput();
// All of them joined.
std::string DebugOutputText();
// Forgets the strings, and which of the layer's once-a-run lines were written.
void ClearDebugOutput();

// --- screen ---
// Pixels per logical inch of the screen device context (96 by default).
void SetScreenDpi(int dpi);

}  // namespace platform_testing
