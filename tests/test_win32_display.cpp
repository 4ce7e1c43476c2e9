// The window layer on a real display (X11 under Xvfb in CI): SDL windows behind
// the handles, and SDL events turned into window messages.
#include <gtest/gtest.h>

#include <SDL.h>
#include <windows.h>

#include <vector>

#include "platform/testing.h"
#include "platform/win32/native.h"
#include "tests/support/display.h"

namespace pt = platform_testing;

namespace {

std::vector<MSG> g_dispatched;

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m = {hwnd, message, wParam, lParam, 0, {0, 0}};
    g_dispatched.push_back(m);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        BRANTO_OPEN_DISPLAY_OR_SKIP();
        pt::ResetWin32();
        g_dispatched.clear();
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "DISPLAY";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        hwnd_ = CreateWindowExA(0, "DISPLAY", "Modalit\xE0", WS_CAPTION | WS_SYSMENU, 10, 20, 400,
                                300, NULL, NULL, NULL, NULL);
        ASSERT_NE(hwnd_, nullptr);
        sdl_ = win32_native::SdlWindow(hwnd_);
        ASSERT_NE(sdl_, nullptr);
    }

    void DrainDispatching() {
        MSG m;
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    bool Dispatched(UINT message) {
        for (const MSG& m : g_dispatched)
            if (m.message == message) return true;
        return false;
    }

    HWND hwnd_ = nullptr;
    SDL_Window* sdl_ = nullptr;
};

TEST_F(DisplayTest, TheSdlWindowIsTheClientAreaMadeHiddenForOpenGl) {
    Uint32 flags = SDL_GetWindowFlags(sdl_);
    EXPECT_TRUE(flags & SDL_WINDOW_HIDDEN);
    EXPECT_TRUE(flags & SDL_WINDOW_OPENGL);
    EXPECT_STREQ(SDL_GetWindowTitle(sdl_), "Modalit\xC3\xA0");
    RECT client;
    GetClientRect(hwnd_, &client);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl_, &w, &h);
    EXPECT_EQ(w, client.right);
    EXPECT_EQ(h, client.bottom);

    RECT win;
    GetWindowRect(hwnd_, &win);
    MoveWindow(hwnd_, win.left, win.top, 1024 + (400 - client.right), 768 + (300 - client.bottom),
               TRUE);
    SDL_GetWindowSize(sdl_, &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);

    ShowWindow(hwnd_, SW_SHOWNORMAL);
    EXPECT_FALSE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_HIDDEN);
}

TEST_F(DisplayTest, DestroyHidesButKeepsTheNativeWindowWhileHeld) {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    win32_native::RetainNative(hwnd_);
    DestroyWindow(hwnd_);
    EXPECT_FALSE(IsWindow(hwnd_));
    EXPECT_EQ(win32_native::SdlWindow(hwnd_), sdl_);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_HIDDEN);
    Uint32 id = SDL_GetWindowID(sdl_);
    win32_native::ReleaseNative(hwnd_);
    EXPECT_EQ(win32_native::SdlWindow(hwnd_), nullptr);
    EXPECT_EQ(SDL_GetWindowFromID(id), nullptr);
}

void CountEvents(const SDL_Event& e, void* context) {
    if (e.type == SDL_USEREVENT) ++*static_cast<int*>(context);
}

TEST_F(DisplayTest, PumpedEventsReachListenersAndBecomeMessages) {
    int userEvents = 0;
    win32_native::AddEventListener(CountEvents, &userEvents);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    ValidateRect(hwnd_, NULL);

    SDL_Event e = {};
    e.type = SDL_USEREVENT;
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(sdl_);
    e.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
    SDL_PushEvent(&e);
    e.type = SDL_KEYUP;
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(sdl_);
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);

    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, NULL, WM_KEYDOWN, WM_KEYUP, PM_REMOVE));
    EXPECT_EQ(userEvents, 1);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(m.wParam, static_cast<WPARAM>(VK_ESCAPE));
    // Pressed and released within one pump: the tap still shows.
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 1);
    ASSERT_TRUE(PeekMessageA(&m, NULL, WM_KEYDOWN, WM_KEYUP, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_KEYUP));
    EXPECT_TRUE(m.lParam & (1u << 31));

    DrainDispatching();
    EXPECT_TRUE(Dispatched(WM_CLOSE));
    EXPECT_TRUE(Dispatched(WM_DESTROY));
    EXPECT_FALSE(IsWindow(hwnd_));
}

TEST_F(DisplayTest, ShowingActivatesAtOnceAndHidingDeactivates) {
    EXPECT_FALSE(win32_native::HasFocus(hwnd_));
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    // Before any event is pumped: start-up acquires the keyboard right away.
    EXPECT_TRUE(win32_native::HasFocus(hwnd_));
    EXPECT_TRUE(Dispatched(WM_ACTIVATE));
    EXPECT_TRUE(Dispatched(WM_SETFOCUS));

    ShowWindow(hwnd_, SW_HIDE);
    EXPECT_FALSE(win32_native::HasFocus(hwnd_));
}

TEST_F(DisplayTest, FullscreenSwitchesTheSdlWindowAndBack) {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    ASSERT_TRUE(win32_native::SetFullscreen(hwnd_, true, 1024, 768));
    EXPECT_TRUE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_FULLSCREEN_DESKTOP);
    int w = 0, h = 0;
    EXPECT_TRUE(win32_native::ClientSize(hwnd_, &w, &h));
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    ASSERT_TRUE(win32_native::SetFullscreen(hwnd_, false, 0, 0));
    EXPECT_FALSE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_FULLSCREEN);
    RECT client;
    GetClientRect(hwnd_, &client);
    SDL_GetWindowSize(sdl_, &w, &h);
    EXPECT_EQ(w, client.right);
    EXPECT_EQ(h, client.bottom);
}

}  // namespace
