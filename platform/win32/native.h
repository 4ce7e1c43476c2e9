// What the other interfaces of the layer (the device, the input devices) need from
// the window layer. Not part of the program's view of the platform.
#pragma once

#include <string>

#include "wintypes.h"

struct SDL_Window;
union SDL_Event;

namespace win32_native {

// The SDL window behind a window handle: the window's client area. Null for a
// headless window (tests), for a null or unknown handle.
SDL_Window* SdlWindow(HWND hwnd);

// True when `hwnd` names a window made by CreateWindowExA that the program has not
// destroyed logically (a destroyed window's native resources may still be alive).
bool IsWindow(HWND hwnd);

// Client size of the window in pixels (what GetClientRect reports).
bool ClientSize(HWND hwnd, int* width, int* height);

// Full screen at the given size (true) or back to a window (false). The device
// calls it when it is created full screen; false (with the reason on standard
// error) when the display is smaller than that or the switch is refused. The
// window then covers the whole display, and its client area keeps the size
// asked for: the device shows it scaled (FitFrame) and mouse positions are
// mapped back.
bool SetFullscreen(HWND hwnd, bool fullscreen, int width, int height);
bool IsFullscreen(HWND hwnd);

// Where a frame keeps its shape on an area of another size: scaled by the
// largest factor that fits, centred; the rest of the area is left as bars.
// A frame as large as the area fills it exactly.
struct FrameRect {
    int x, y, width, height;
};
FrameRect FitFrame(int frameWidth, int frameHeight, int areaWidth, int areaHeight);

// The device keeps the native window (and its GL context) alive while it exists,
// also after DestroyWindow hid the window. Balanced calls.
void RetainNative(HWND hwnd);
void ReleaseNative(HWND hwnd);

// True when another client destroyed the native window behind `hwnd` (asks the
// display): nothing can be drawn into it, and the queue closes the window.
bool NativeWindowGone(HWND hwnd);

// Whether the window has the keyboard/mouse focus (foreground). Headless windows
// are always focused unless a test says otherwise.
bool HasFocus(HWND hwnd);

// Every SDL event pumped by PeekMessageA is shown to the listeners, in order of
// registration, before it is turned into window messages. Listeners live for the
// run (they are never removed).
typedef void (*EventListener)(const SDL_Event& event, void* context);
void AddEventListener(EventListener listener, void* context);

// From now on SIGTERM and SIGINT close every window, as the user would, so the
// program ends through its own quit path; a message box up at that moment goes
// away. The program's entry calls it once.
void EndOnSignals();

// True while CreateWindowExA has made no window, with the reason the last class
// or window could not be made (the entry tells a run that never had its window
// from a normal end: WinMain gives 0 for both).
bool NoWindowMade(std::string* why);

// Initialises SDL's video subsystem once (idempotent). False (with a message on
// standard error) when no display can be opened.
bool EnsureVideo();

}  // namespace win32_native
