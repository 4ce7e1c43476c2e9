// Window classes and windows over SDL. The SDL window is the client area; the
// frame (caption and borders) is modelled so that window and client rectangles
// differ as the program expects.
#include <SDL.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "native.h"
#include "text.h"
#include "win32_internal.h"
#include "x11_watch.h"

namespace win32_internal {
namespace {

struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
    UINT style = 0;
    HINSTANCE instance = nullptr;
};

struct Listener {
    win32_native::EventListener fn;
    void* context;
};

struct State {
    std::vector<WindowClass> classes;
    std::map<HWND, std::unique_ptr<Window>> windows;  // entries stay after destruction
    uintptr_t nextId = 1;
    bool headless = false;
    bool headlessFocus = true;
    HWND active = nullptr;
    bool failRegister = false;
    bool failCreate = false;
    bool refuseFullscreen = false;
    std::vector<Listener> listeners;
    bool anyMade = false;       // CreateWindowExA has made a window
    std::string lastFailure;    // why the last class or window could not be made
};

// Immortal: windows may be released by device objects during static destruction.
State& S() {
    static State* s = new State;
    return *s;
}

int g_video = 0;  // 0 not tried, 1 ready, -1 failed

struct Frame {
    int left, top, right, bottom;
};

// Fixed metrics of the styles the program uses: a caption with thin borders.
Frame FrameOf(DWORD style) {
    if (style & WS_CHILD) return {0, 0, 0, 0};
    Frame f = {0, 0, 0, 0};
    if ((style & WS_CAPTION) == WS_CAPTION) {
        f = {3, 26, 3, 3};
    } else if (style & (WS_BORDER | WS_DLGFRAME)) {
        f = {1, 1, 1, 1};
    }
    if (style & WS_THICKFRAME) {
        f.left += 5;
        f.top += 5;
        f.right += 5;
        f.bottom += 5;
    }
    return f;
}

WindowClass* FindClass(const char* name) {
    if (!name) return nullptr;
    for (auto& c : S().classes)
        if (::strcasecmp(c.name.c_str(), name) == 0) return &c;
    return nullptr;
}

// Entry whose native window still exists: live, or destroyed but retained.
Window* NativeEntry(HWND hwnd) {
    auto it = S().windows.find(hwnd);
    if (it == S().windows.end()) return nullptr;
    Window* w = it->second.get();
    if (w->destroyed && w->nativeRefs == 0) return nullptr;
    return w;
}

void ClientSizeOf(const Window& w, int* cw, int* ch) {
    if (w.fullscreen) {
        *cw = w.fullWidth;
        *ch = w.fullHeight;
        return;
    }
    Frame f = FrameOf(w.style);
    *cw = (w.rect.right - w.rect.left) - f.left - f.right;
    *ch = (w.rect.bottom - w.rect.top) - f.top - f.bottom;
    if (*cw < 0) *cw = 0;
    if (*ch < 0) *ch = 0;
}

void PlaceNative(const Window& w) {
    if (!w.sdl || w.fullscreen) return;
    int cw, ch;
    ClientSizeOf(w, &cw, &ch);
    POINT o = ClientOrigin(w);
    SDL_SetWindowSize(w.sdl, cw > 0 ? cw : 1, ch > 0 ? ch : 1);
    SDL_SetWindowPosition(w.sdl, o.x, o.y);
}

// Back to the window's own place and size. No display mode was ever changed:
// this is all the desktop needs, and a run that ends without it (killed, or
// crashed) leaves nothing behind, as the window goes with the connection.
void LeaveFullscreen(Window& w) {
    if (!w.fullscreen) return;
    if (w.sdl) SDL_SetWindowFullscreen(w.sdl, 0);
    w.fullscreen = false;
    PlaceNative(w);
}

// Client coordinate of a position `v` of the display along one axis, for a
// client area of `client` pixels shown from `origin` over `size` pixels.
int ToClient(int v, int origin, int size, int client) {
    if (v <= origin || size <= 0) return 0;
    int64_t c = (static_cast<int64_t>(v) - origin) * client / size;
    return static_cast<int>(c < client ? c : client - 1);
}

void TearDownNative(Window& w) {
    if (w.sdl) SDL_DestroyWindow(w.sdl);
    w.sdl = nullptr;
}

}  // namespace

Window* LiveWindow(HWND hwnd) {
    auto it = S().windows.find(hwnd);
    if (it == S().windows.end() || it->second->destroyed) return nullptr;
    return it->second.get();
}

Window* LiveWindowOfSdlId(uint32_t windowId) {
    for (auto& entry : S().windows) {
        Window* w = entry.second.get();
        if (!w->destroyed && w->sdl && SDL_GetWindowID(w->sdl) == windowId) return w;
    }
    return nullptr;
}

std::vector<HWND> LiveWindows() {
    std::vector<HWND> out;
    for (auto& entry : S().windows)
        if (!entry.second->destroyed) out.push_back(entry.first);
    return out;
}

HWND WindowNeedingPaint(HWND filter) {
    for (auto& entry : S().windows) {
        Window* w = entry.second.get();
        if (filter && entry.first != filter) continue;
        if (!w->destroyed && w->visible && w->needsPaint) return entry.first;
    }
    return nullptr;
}

LRESULT SendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = LiveWindow(hwnd);
    if (!w || !w->proc) return 0;
    return w->proc(hwnd, message, wParam, lParam);
}

void Activate(HWND hwnd) {
    Window* w = LiveWindow(hwnd);
    if (!w || !w->visible) return;
    HWND old = S().active;
    if (old != hwnd) {
        S().active = hwnd;
        if (LiveWindow(old)) {
            SendTo(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
            SendTo(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
        }
        SendTo(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
        SendTo(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
    // Without a window manager nobody else hands the keyboard over.
    w = LiveWindow(hwnd);
    if (w && w->sdl && w->visible) {
        SDL_RaiseWindow(w->sdl);
        SDL_SetWindowInputFocus(w->sdl);
    }
}

void NoteFocusGained(HWND hwnd) {
    if (LiveWindow(hwnd)) S().active = hwnd;
}

void NoteFocusLost(HWND hwnd) {
    if (S().active == hwnd) S().active = nullptr;
}

POINT ClientPointOf(const Window& w, int x, int y) {
    if (!w.fullscreen || !w.sdl || w.fullWidth <= 0 || w.fullHeight <= 0) return POINT{x, y};
    int ww = 0, wh = 0;
    SDL_GetWindowSize(w.sdl, &ww, &wh);
    win32_native::FrameRect r = win32_native::FitFrame(w.fullWidth, w.fullHeight, ww, wh);
    return POINT{ToClient(x, r.x, r.width, w.fullWidth), ToClient(y, r.y, r.height, w.fullHeight)};
}

void StepAside(Window& w) {
    if (!w.fullscreen || !w.sdl || !w.visible) return;
    // A loss queued while the start question had the focus comes only after
    // the window went full screen and took the focus back: nothing to do.
    if (SDL_GetWindowFlags(w.sdl) & SDL_WINDOW_INPUT_FOCUS) return;
    // As a full-screen program does when the user switches away: minimised
    // until it is chosen again (the window manager restores it full screen).
    SDL_MinimizeWindow(w.sdl);
}

POINT ClientOrigin(const Window& w) {
    if (w.fullscreen) return POINT{0, 0};
    Frame f = FrameOf(w.style);
    return POINT{w.rect.left + f.left, w.rect.top + f.top};
}

void NotifyListeners(const SDL_Event& event) {
    // By index: a listener may register another one.
    for (size_t i = 0; i < S().listeners.size(); ++i) {
        Listener l = S().listeners[i];
        l.fn(event, l.context);
    }
}

bool VideoReady() { return g_video > 0; }
bool Headless() { return S().headless; }
void SetHeadless(bool headless) { S().headless = headless; }
void SetHeadlessFocus(bool focused) { S().headlessFocus = focused; }
void SetRegisterClassFails(bool fails) { S().failRegister = fails; }
void SetCreateWindowFails(bool fails) { S().failCreate = fails; }
void SetFullscreenRefused(bool refused) { S().refuseFullscreen = refused; }

void ResetWindows() {
    State& s = S();
    for (auto it = s.windows.begin(); it != s.windows.end();) {
        Window& w = *it->second;
        if (w.nativeRefs > 0) {
            // A device still holds it: keep the native window, forget the rest.
            w.destroyed = true;
            ++it;
            continue;
        }
        TearDownNative(w);
        it = s.windows.erase(it);
    }
    s.classes.clear();
    s.headless = false;
    s.headlessFocus = true;
    s.active = nullptr;
    s.failRegister = false;
    s.failCreate = false;
    s.refuseFullscreen = false;
    s.anyMade = false;
    s.lastFailure.clear();
}

}  // namespace win32_internal

using namespace win32_internal;

// ---------------------------------------------------------------------------
// native.h

namespace win32_native {

SDL_Window* SdlWindow(HWND hwnd) {
    Window* w = NativeEntry(hwnd);
    return w ? w->sdl : nullptr;
}

bool IsWindow(HWND hwnd) { return LiveWindow(hwnd) != nullptr; }

bool ClientSize(HWND hwnd, int* width, int* height) {
    Window* w = NativeEntry(hwnd);
    if (!w) return false;
    int cw, ch;
    ClientSizeOf(*w, &cw, &ch);
    if (width) *width = cw;
    if (height) *height = ch;
    return true;
}

FrameRect FitFrame(int frameWidth, int frameHeight, int areaWidth, int areaHeight) {
    if (areaWidth <= 0 || areaHeight <= 0) return FrameRect{0, 0, 0, 0};
    if (frameWidth <= 0 || frameHeight <= 0) return FrameRect{0, 0, areaWidth, areaHeight};
    const int64_t fw = frameWidth, fh = frameHeight, aw = areaWidth, ah = areaHeight;
    int64_t w = aw, h = ah;
    // Rounded to the nearest pixel along the axis that does not fill the area.
    if (aw * fh <= ah * fw)
        h = std::clamp<int64_t>((2 * aw * fh + fw) / (2 * fw), 1, ah);
    else
        w = std::clamp<int64_t>((2 * ah * fw + fh) / (2 * fh), 1, aw);
    return FrameRect{static_cast<int>((aw - w) / 2), static_cast<int>((ah - h) / 2), static_cast<int>(w),
                     static_cast<int>(h)};
}

bool SetFullscreen(HWND hwnd, bool fullscreen, int width, int height) {
    Window* w = NativeEntry(hwnd);
    if (!w) return false;
    if (!fullscreen) {
        LeaveFullscreen(*w);
        return true;
    }
    if (width <= 0 || height <= 0) return false;
    if (w->sdl) {
        // The display keeps its own mode (nothing to undo however the run ends);
        // the window covers it and the frame is scaled into it.
        SDL_Rect screen;
        if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(w->sdl), &screen) != 0) {
            std::fprintf(stderr, "Full screen %dx%d is not available: %s\n", width, height, SDL_GetError());
            return false;
        }
        if (screen.w < width || screen.h < height) {
            std::fprintf(stderr, "Full screen %dx%d is not available: the display is %dx%d\n", width, height,
                         screen.w, screen.h);
            return false;
        }
        // Onto the whole display first: without a window manager nobody else
        // moves it, and SDL leaves a full-screen window where it stands.
        SDL_SetWindowPosition(w->sdl, screen.x, screen.y);
        SDL_SetWindowSize(w->sdl, screen.w, screen.h);
        if (S().refuseFullscreen || SDL_SetWindowFullscreen(w->sdl, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
            std::fprintf(stderr, "Full screen %dx%d is not available: %s\n", width, height,
                         S().refuseFullscreen ? "refused by the display" : SDL_GetError());
            PlaceNative(*w);
            return false;
        }
    } else if (S().refuseFullscreen) {
        std::fprintf(stderr, "Full screen %dx%d is not available: refused by the display\n", width, height);
        return false;
    }
    w->fullscreen = true;
    w->fullWidth = width;
    w->fullHeight = height;
    return true;
}

bool IsFullscreen(HWND hwnd) {
    Window* w = NativeEntry(hwnd);
    return w && w->fullscreen;
}

void RetainNative(HWND hwnd) {
    if (Window* w = NativeEntry(hwnd)) ++w->nativeRefs;
}

void ReleaseNative(HWND hwnd) {
    Window* w = NativeEntry(hwnd);
    if (!w || w->nativeRefs <= 0) return;
    if (--w->nativeRefs == 0 && w->destroyed) TearDownNative(*w);
}

bool NativeWindowGone(HWND hwnd) {
    Window* w = NativeEntry(hwnd);
    return w && w->sdl && !x11_watch::Exists(w->sdl);
}

bool HasFocus(HWND hwnd) {
    Window* w = LiveWindow(hwnd);
    if (!w) return false;
    if (!w->sdl) return S().headless ? S().headlessFocus : false;
    return w->visible && S().active == hwnd;
}

void AddEventListener(EventListener listener, void* context) {
    if (listener) S().listeners.push_back(Listener{listener, context});
}

bool NoWindowMade(std::string* why) {
    if (S().anyMade) return false;
    if (why) *why = S().lastFailure.empty() ? "none was asked for" : S().lastFailure;
    return true;
}

bool EnsureVideo() {
    if (g_video != 0) return g_video > 0;
    // Closing the last window must reach the program as WM_CLOSE, not end SDL's loop.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // Signals are the program's to handle (EndOnSignals), not SDL's.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    const char* requested = SDL_getenv("SDL_VIDEODRIVER");
    bool asked = requested && *requested;
    if (!asked && !SDL_getenv("DISPLAY") && !SDL_getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "No display available (DISPLAY is not set)\n");
        g_video = -1;
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "No display available: %s\n", SDL_GetError());
        g_video = -1;
        return false;
    }
    // Without a display SDL quietly falls back to an invisible driver; only
    // accept one when it was asked for.
    const char* driver = SDL_GetCurrentVideoDriver();
    bool invisible = driver && (std::strcmp(driver, "offscreen") == 0 ||
                                std::strcmp(driver, "dummy") == 0);
    if (invisible && !asked) {
        std::fprintf(stderr, "No display available (set DISPLAY to an X server)\n");
        g_video = -1;
        return false;
    }
    g_video = 1;
    return true;
}

}  // namespace win32_native

// ---------------------------------------------------------------------------
// Win32

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc) {
    State& s = S();
    if (s.failRegister || !wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpfnWndProc ||
        !wc->lpszClassName || !*wc->lpszClassName || FindClass(wc->lpszClassName)) {
        s.lastFailure = "its window class could not be registered";
        return 0;
    }
    WindowClass c;
    c.name = wc->lpszClassName;
    c.proc = wc->lpfnWndProc;
    c.style = wc->style;
    c.instance = wc->hInstance;
    s.classes.push_back(c);
    return static_cast<ATOM>(0xC000 + s.classes.size());
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE /*instance*/) {
    State& s = S();
    WindowClass* c = FindClass(className);
    if (!c) return FALSE;
    // As on the platform, a class that still has windows stays registered.
    for (auto& entry : s.windows)
        if (!entry.second->destroyed && ::strcasecmp(entry.second->className.c_str(), className) == 0)
            return FALSE;
    s.classes.erase(s.classes.begin() + (c - s.classes.data()));
    return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    State& s = S();
    WindowClass* c = FindClass(className);
    if (s.failCreate || !c) {
        s.lastFailure = c ? "the window was refused" : "its window class is not registered";
        return nullptr;
    }
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) {
        width = 640;
        height = 480;
    }
    auto w = std::make_unique<Window>();
    w->handle = reinterpret_cast<HWND>(0x10000 + 0x10 * s.nextId++);
    w->proc = c->proc;
    w->className = c->name;
    w->style = style & ~static_cast<DWORD>(WS_VISIBLE);
    w->exStyle = exStyle;
    w->rect = RECT{x, y, x + (width > 0 ? width : 0), y + (height > 0 ? height : 0)};

    if (!s.headless) {
        if (!win32_native::EnsureVideo()) {
            s.lastFailure = "no display available";
            return nullptr;
        }
        int cw, ch;
        ClientSizeOf(*w, &cw, &ch);
        POINT o = ClientOrigin(*w);
        std::string title = layer::Cp1252ToUtf8(windowName);
        w->sdl = SDL_CreateWindow(title.c_str(), o.x, o.y, cw > 0 ? cw : 1, ch > 0 ? ch : 1,
                                  SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
        if (!w->sdl) {
            s.lastFailure = SDL_GetError();
            return nullptr;
        }
        x11_watch::Watch(w->sdl);
    }
    HWND hwnd = w->handle;
    s.windows[hwnd] = std::move(w);

    CREATESTRUCTA cs;
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cy = height;
    cs.cx = width;
    cs.y = y;
    cs.x = x;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    LPARAM lp = reinterpret_cast<LPARAM>(&cs);
    if (!SendTo(hwnd, WM_NCCREATE, 0, lp) || SendTo(hwnd, WM_CREATE, 0, lp) == -1) {
        DestroyWindow(hwnd);
        s.lastFailure = "its window procedure refused it";
        return nullptr;
    }
    s.anyMade = true;
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    Window* w = LiveWindow(hwnd);
    if (!w || w->destroying) return FALSE;
    w->destroying = true;
    if (w->visible) {
        w->visible = false;
        if (w->sdl) SDL_HideWindow(w->sdl);
    }
    // Off the screen first, then back to its own size: no windowed flash.
    LeaveFullscreen(*w);
    if (S().active == hwnd) S().active = nullptr;
    SendTo(hwnd, WM_DESTROY, 0, 0);
    SendTo(hwnd, WM_NCDESTROY, 0, 0);
    w = LiveWindow(hwnd);  // the window procedure ran: look it up again
    if (!w) return TRUE;
    w->destroyed = true;
    DropMessagesFor(hwnd);
    // The device may still draw into it (its context lives on the native
    // window): tear down only when nobody holds it.
    if (w->nativeRefs == 0) TearDownNative(*w);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) { return LiveWindow(hwnd) ? TRUE : FALSE; }

BOOL WINAPI ShowWindow(HWND hwnd, int command) {
    Window* w = LiveWindow(hwnd);
    if (!w) return FALSE;
    BOOL wasVisible = w->visible ? TRUE : FALSE;
    if (command == SW_HIDE) {
        if (w->visible) {
            w->visible = false;
            if (w->sdl) SDL_HideWindow(w->sdl);
            if (S().active == hwnd) S().active = nullptr;
            SendTo(hwnd, WM_SHOWWINDOW, FALSE, 0);
        }
        return wasVisible;
    }
    if (!w->visible) {
        w->visible = true;
        w->needsPaint = true;
        if (w->sdl) SDL_ShowWindow(w->sdl);
        SendTo(hwnd, WM_SHOWWINDOW, TRUE, 0);
    }
    w = LiveWindow(hwnd);
    if (w && w->sdl) {
        if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED)
            SDL_MinimizeWindow(w->sdl);
        else if (command == SW_RESTORE)
            SDL_RestoreWindow(w->sdl);
    }
    // As on the platform, showing a window makes it the active one.
    if (command != SW_SHOWNOACTIVATE && command != SW_SHOWNA && command != SW_MINIMIZE &&
        command != SW_SHOWMINIMIZED)
        Activate(hwnd);
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    Window* w = LiveWindow(hwnd);
    if (!w) return FALSE;
    if (w->visible && w->needsPaint) SendTo(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT* /*rect*/) {
    // Whole-window update regions only: any validation paints the window.
    Window* w = LiveWindow(hwnd);
    if (!w) return FALSE;
    w->needsPaint = false;
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* /*rect*/, BOOL /*erase*/) {
    Window* w = LiveWindow(hwnd);
    if (!w) return FALSE;
    w->needsPaint = true;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    Window* w = LiveWindow(hwnd);
    if (!w || !rect) return FALSE;
    int cw, ch;
    ClientSizeOf(*w, &cw, &ch);
    *rect = RECT{0, 0, cw, ch};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    Window* w = LiveWindow(hwnd);
    if (!w || !rect) return FALSE;
    *rect = w->fullscreen ? RECT{0, 0, w->fullWidth, w->fullHeight} : w->rect;
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    Window* w = LiveWindow(hwnd);
    if (!w) return FALSE;
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    w->rect = RECT{x, y, x + width, y + height};
    PlaceNative(*w);
    if (repaint) w->needsPaint = true;
    int cw, ch;
    ClientSizeOf(*w, &cw, &ch);
    POINT o = ClientOrigin(*w);
    SendTo(hwnd, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
    SendTo(hwnd, WM_SIZE, 0, MAKELPARAM(cw, ch));
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) {
    Window* w = LiveWindow(hwnd);
    if (!w || !point) return FALSE;
    POINT o = ClientOrigin(*w);
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
    Window* w = LiveWindow(hwnd);
    if (!w || !point) return FALSE;
    POINT o = ClientOrigin(*w);
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_PAINT:
            ValidateRect(hwnd, nullptr);
            return 0;
        case WM_SYSKEYDOWN:
            // Alt+F4 (bit 29: Alt held)
            if (wParam == VK_F4 && (lParam & (1 << 29))) SendTo(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) SendTo(hwnd, WM_CLOSE, 0, 0);
            return 0;
        default:
            return 0;
    }
}
