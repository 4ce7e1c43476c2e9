// The layer's own message queue. PeekMessageA pumps SDL's events, shows each to
// the listeners of native.h, and turns it into window messages.
#include <SDL.h>

#include <deque>

#include "win32_internal.h"
#include "x11_watch.h"

namespace win32_internal {
namespace {

struct Queue {
    std::deque<MSG> posted;
    bool quit = false;
    int quitCode = 0;
    POINT cursor = {0, 0};  // last mouse position, screen coordinates
};

Queue& Q() {
    static Queue* q = new Queue;
    return *q;
}

bool InRange(UINT message, UINT lo, UINT hi) {
    return (lo == 0 && hi == 0) || (message >= lo && message <= hi);
}

MSG Make(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m;
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    m.pt = Q().cursor;
    return m;
}

WPARAM MouseKeyFlags() {
    WPARAM f = 0;
    if (KeyIsDown(VK_LBUTTON)) f |= MK_LBUTTON;
    if (KeyIsDown(VK_RBUTTON)) f |= MK_RBUTTON;
    if (KeyIsDown(VK_MBUTTON)) f |= MK_MBUTTON;
    if (KeyIsDown(VK_SHIFT)) f |= MK_SHIFT;
    if (KeyIsDown(VK_CONTROL)) f |= MK_CONTROL;
    return f;
}

Window* TargetOf(uint32_t windowId) {
    if (Window* w = LiveWindowOfSdlId(windowId)) return w;
    if (SDL_Window* focus = SDL_GetKeyboardFocus()) return LiveWindowOfSdlId(SDL_GetWindowID(focus));
    return nullptr;
}

void TranslateKey(const SDL_KeyboardEvent& e) {
    bool extended = false;
    int vk = VkFromScancode(e.keysym.scancode, &extended);
    if (vk == 0) return;
    bool down = e.type == SDL_KEYDOWN;
    bool wasDown = KeyIsDown(vk);
    KeyTransition(vk, down);
    Window* w = TargetOf(e.windowID);
    if (!w) return;
    bool alt = (e.keysym.mod & KMOD_ALT) != 0;
    bool ctrl = (e.keysym.mod & KMOD_CTRL) != 0;
    int generic = GenericVk(vk);
    // Keys with Alt (not AltGr) and F10 are system keys.
    bool sys = (alt && !ctrl) || vk == VK_F10 || (generic == VK_MENU && !ctrl);
    UINT message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    uint32_t lp = 1;  // repeat count
    if (extended) lp |= 1u << 24;
    if (alt) lp |= 1u << 29;
    if (!down || wasDown) lp |= 1u << 30;  // previous state
    if (!down) lp |= 1u << 31;             // transition
    PostToQueue(w->handle, message, static_cast<WPARAM>(generic),
                static_cast<LPARAM>(static_cast<int32_t>(lp)));
}

void TranslateMouseMotion(const SDL_MouseMotionEvent& e) {
    Window* w = LiveWindowOfSdlId(e.windowID);
    if (!w) return;
    POINT o = ClientOrigin(*w);
    POINT c = ClientPointOf(*w, e.x, e.y);
    Q().cursor = POINT{o.x + c.x, o.y + c.y};
    LPARAM lp = MAKELPARAM(c.x, c.y);
    // As on the platform, at most one mouse move waits in the queue.
    for (MSG& m : Q().posted) {
        if (m.hwnd == w->handle && m.message == WM_MOUSEMOVE) {
            m.lParam = lp;
            m.wParam = MouseKeyFlags();
            m.pt = Q().cursor;
            return;
        }
    }
    PostToQueue(w->handle, WM_MOUSEMOVE, MouseKeyFlags(), lp);
}

void TranslateMouseButton(const SDL_MouseButtonEvent& e) {
    int vk;
    UINT downMsg, upMsg;
    switch (e.button) {
        case SDL_BUTTON_LEFT:
            vk = VK_LBUTTON, downMsg = WM_LBUTTONDOWN, upMsg = WM_LBUTTONUP;
            break;
        case SDL_BUTTON_RIGHT:
            vk = VK_RBUTTON, downMsg = WM_RBUTTONDOWN, upMsg = WM_RBUTTONUP;
            break;
        case SDL_BUTTON_MIDDLE:
            vk = VK_MBUTTON, downMsg = WM_MBUTTONDOWN, upMsg = WM_MBUTTONUP;
            break;
        default:
            return;
    }
    bool down = e.type == SDL_MOUSEBUTTONDOWN;
    KeyTransition(vk, down);
    Window* w = LiveWindowOfSdlId(e.windowID);
    if (!w) return;
    POINT c = ClientPointOf(*w, e.x, e.y);
    PostToQueue(w->handle, down ? downMsg : upMsg, MouseKeyFlags(), MAKELPARAM(c.x, c.y));
}

void TranslateWindowEvent(const SDL_WindowEvent& e) {
    Window* w = LiveWindowOfSdlId(e.windowID);
    if (!w) return;
    HWND h = w->handle;
    switch (e.event) {
        case SDL_WINDOWEVENT_CLOSE:
            PostToQueue(h, WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            w->needsPaint = true;
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            NoteFocusGained(h);
            PostToQueue(h, WM_ACTIVATE, WA_ACTIVE, 0);
            PostToQueue(h, WM_SETFOCUS, 0, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            NoteFocusLost(h);
            // Key releases that happen elsewhere never reach us.
            ReleaseAllKeys();
            PostToQueue(h, WM_ACTIVATE, WA_INACTIVE, 0);
            PostToQueue(h, WM_KILLFOCUS, 0, 0);
            StepAside(*w);
            break;
        default:
            break;
    }
}

void Translate(const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT:
            // A request to end from the system: close every window as the user would.
            for (HWND h : LiveWindows()) PostToQueue(h, WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT:
            TranslateWindowEvent(e.window);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            TranslateKey(e.key);
            break;
        case SDL_MOUSEMOTION:
            TranslateMouseMotion(e.motion);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            TranslateMouseButton(e.button);
            break;
        case SDL_MOUSEWHEEL: {
            Window* w = LiveWindowOfSdlId(e.wheel.windowID);
            if (!w) break;
            int delta = (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y) *
                        WHEEL_DELTA;
            PostToQueue(w->handle, WM_MOUSEWHEEL, MAKEWPARAM(MouseKeyFlags(), delta),
                        MAKELPARAM(Q().cursor.x, Q().cursor.y));
            break;
        }
        default:
            break;
    }
}

void Pump() {
    // A signal asked us to end: every window closed, as the user would.
    if (QuitRequested() && !LiveWindows().empty() && TakeQuitRequest())
        for (HWND h : LiveWindows()) PostToQueue(h, WM_CLOSE, 0, 0);
    if (!VideoReady()) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        NotifyListeners(e);
        x11_watch::Notice(e);
        Translate(e);
    }
    // A window destroyed by another client is closed as if by the user.
    for (uint32_t id : x11_watch::TakeGone())
        if (Window* w = LiveWindowOfSdlId(id)) PostToQueue(w->handle, WM_CLOSE, 0, 0);
}

}  // namespace

void PostToQueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Q().posted.push_back(Make(hwnd, message, wParam, lParam));
}

void DropMessagesFor(HWND hwnd) {
    auto& posted = Q().posted;
    for (auto it = posted.begin(); it != posted.end();) {
        if (it->hwnd == hwnd)
            it = posted.erase(it);
        else
            ++it;
    }
}

void ResetQueue() {
    Queue& q = Q();
    q.posted.clear();
    q.quit = false;
    q.quitCode = 0;
    q.cursor = POINT{0, 0};
}

}  // namespace win32_internal

using namespace win32_internal;

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    if (!msg) return FALSE;
    Pump();
    Queue& q = Q();
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if ((hwnd && it->hwnd != hwnd) || !InRange(it->message, filterMin, filterMax)) continue;
        *msg = *it;
        if (remove & PM_REMOVE) q.posted.erase(it);
        return TRUE;
    }
    // The quit message comes once the messages ahead of it are taken.
    if (q.quit && !hwnd && InRange(WM_QUIT, filterMin, filterMax)) {
        *msg = Make(nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0);
        if (remove & PM_REMOVE) q.quit = false;
        return TRUE;
    }
    if (InRange(WM_PAINT, filterMin, filterMax)) {
        if (HWND p = WindowNeedingPaint(hwnd)) {
            // Not removed: it comes back until the window is validated.
            *msg = Make(p, WM_PAINT, 0, 0);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* /*msg*/) {
    // Nothing here reads character messages.
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    return SendTo(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd && !LiveWindow(hwnd)) return FALSE;
    PostToQueue(hwnd, message, wParam, lParam);
    return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
    Queue& q = Q();
    q.quit = true;
    q.quitCode = exitCode;
}
