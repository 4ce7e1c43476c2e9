// Shared between the files of the window layer; not for the program or other
// interfaces (they use native.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testing_win32.h"
#include "windows.h"

struct SDL_Window;
union SDL_Event;

namespace win32_internal {

// --- windows (window.cpp) ---
struct Window {
    HWND handle = nullptr;
    WNDPROC proc = nullptr;
    std::string className;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect = {0, 0, 0, 0};  // outer rectangle in screen coordinates, while windowed
    bool visible = false;
    bool destroying = false;  // inside DestroyWindow: still answers messages
    bool destroyed = false;
    bool needsPaint = false;
    bool fullscreen = false;
    int fullWidth = 0;
    int fullHeight = 0;
    SDL_Window* sdl = nullptr;
    int nativeRefs = 0;
};

// A window made by CreateWindowExA and not yet destroyed (null otherwise).
Window* LiveWindow(HWND hwnd);
Window* LiveWindowOfSdlId(uint32_t windowId);
std::vector<HWND> LiveWindows();
// A visible window (of `filter`, unless null) waiting for WM_PAINT.
HWND WindowNeedingPaint(HWND filter);
LRESULT SendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The active window: the one that has the keyboard. Activate sends the focus
// messages and asks the display for the focus; the Noted forms follow what the
// display reports (the messages are posted by the queue).
void Activate(HWND hwnd);
void NoteFocusGained(HWND hwnd);
void NoteFocusLost(HWND hwnd);
POINT ClientOrigin(const Window& w);
// A position in the SDL window as a point of the client area: the same, except
// in full screen, where the client area is shown scaled (clamped to it).
POINT ClientPointOf(const Window& w, int x, int y);
// A full-screen window that lost the focus gets out of the way.
void StepAside(Window& w);
void NotifyListeners(const SDL_Event& event);
bool VideoReady();
bool Headless();
void SetHeadless(bool headless);
void SetHeadlessFocus(bool focused);
void SetRegisterClassFails(bool fails);
void SetCreateWindowFails(bool fails);
void SetFullscreenRefused(bool refused);
void ResetWindows();

// --- message queue (queue.cpp) ---
void PostToQueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void DropMessagesFor(HWND hwnd);
void ResetQueue();

// --- key state (keys.cpp) ---
// The virtual key of an SDL scancode (0 when it has none); `extended` tells the
// keys that sit in the extended part of the keyboard.
int VkFromScancode(int scancode, bool* extended);
void KeyTransition(int vk, bool down);
// The generic key that stands for either of a left/right pair (VK_SHIFT for
// VK_LSHIFT ...), as the platform puts it in wParam; other keys as they are.
int GenericVk(int vk);
bool KeyIsDown(int vk);
void SetKeyState(int vk, bool down, bool pressedSinceQuery);
void ReleaseAllKeys();
void ResetKeys();

// --- cursor (cursor.cpp) ---
int CursorDisplayCount();
void ResetCursor();

// --- message boxes (msgbox.cpp) ---
struct MessageBoxes {
    bool preset = false;
    int answer = 0;
    std::vector<platform_testing::MessageBoxRecord> shown;
};
MessageBoxes& TheMessageBoxes();
void ResetMessageBoxes();

// --- quit signals (signals.cpp) ---
// Whether SIGTERM or SIGINT asked the program to end.
bool QuitRequested();
// True once after such a request: the queue then closes every window.
bool TakeQuitRequest();
void ResetQuitRequest();
// While a message box is up (in a helper process that SDL forks): the helper
// dies with the program and is killed when a quit is requested.
class BoxHelperWatch {
public:
    BoxHelperWatch();
    ~BoxHelperWatch();
    BoxHelperWatch(const BoxHelperWatch&) = delete;
    BoxHelperWatch& operator=(const BoxHelperWatch&) = delete;
};

// --- clocks (clock.cpp) ---
struct Clock {
    bool fake = false;
    uint64_t fakeNs = 0;
    bool counterZero = false;
    bool frequencyZero = false;
};
Clock& TheClock();
void ResetClock();

// --- debugger output (debug.cpp) ---
struct DebugOutput {
    bool capture = false;
    std::vector<std::string> written;
};
DebugOutput& TheDebugOutput();
// The lines of layer::ReportOnce may be written again.
void ForgetReportedLines();
void ResetDebugOutput();

// --- GDI (gdi.cpp) ---
void SetDpi(int dpi);
void ResetGdi();

}  // namespace win32_internal
