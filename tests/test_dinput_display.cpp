// The DirectInput layer on a real display (X11 under Xvfb in CI): SDL events
// pumped by the message queue feed the devices, and an exclusive mouse puts SDL
// in relative mouse mode.
#include <gtest/gtest.h>

#include <SDL.h>
#include <dinput.h>

#include <cstring>

#include "platform/testing.h"
#include "platform/win32/native.h"
#include "tests/support/display.h"

namespace pt = platform_testing;

namespace {

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

class DirectInputDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        BRANTO_OPEN_DISPLAY_OR_SKIP();
        pt::ResetWin32();
        pt::ResetDirectInput();
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "INPUT";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        hwnd_ = CreateWindowExA(0, "INPUT", "input", WS_CAPTION, 0, 0, 320, 240, NULL, NULL, NULL, NULL);
        ASSERT_NE(hwnd_, nullptr);
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        SDL_Window* sdl = win32_native::SdlWindow(hwnd_);
        ASSERT_NE(sdl, nullptr);
        id_ = SDL_GetWindowID(sdl);
        // Without a window manager the focus may take its time to arrive.
        pt::SetInputFocus(true);
        Pump();
        void* out = nullptr;
        ASSERT_EQ(DirectInput8Create(NULL, 0x0800, IID_IDirectInput8A, &out, NULL), DI_OK);
        di_ = static_cast<IDirectInput8A*>(out);
        ASSERT_EQ(di_->CreateDevice(GUID_SysKeyboard, &keyboard_, NULL), DI_OK);
        ASSERT_EQ(keyboard_->SetDataFormat(&c_dfDIKeyboard), DI_OK);
        ASSERT_EQ(keyboard_->SetCooperativeLevel(hwnd_, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
        ASSERT_EQ(keyboard_->Acquire(), DI_OK);
        ASSERT_EQ(di_->CreateDevice(GUID_SysMouse, &mouse_, NULL), DI_OK);
        ASSERT_EQ(mouse_->SetDataFormat(&c_dfDIMouse), DI_OK);
        ASSERT_EQ(mouse_->SetCooperativeLevel(hwnd_, DISCL_EXCLUSIVE | DISCL_FOREGROUND), DI_OK);
        ASSERT_EQ(mouse_->Acquire(), DI_OK);
        Pump();
        DIMOUSESTATE s;
        mouse_->GetDeviceState(sizeof s, &s);  // whatever the pointer did so far
    }
    void TearDown() override {
        if (mouse_) mouse_->Release();
        if (keyboard_) keyboard_->Release();
        if (di_) di_->Release();
    }

    void Pump() {
        MSG m;
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
    void Key(SDL_Scancode scancode, bool down) {
        SDL_Event e;
        std::memset(&e, 0, sizeof e);
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = id_;
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = scancode;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    // A focus event of the window, as the window system sends it.
    void Focus(SDL_WindowEventID event) {
        SDL_Event e;
        std::memset(&e, 0, sizeof e);
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = id_;
        e.window.event = event;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    void Motion(int dx, int dy) {
        SDL_Event e;
        std::memset(&e, 0, sizeof e);
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = id_;
        e.motion.xrel = dx;
        e.motion.yrel = dy;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    BYTE KeyByte(int dik) {
        BYTE keys[256];
        EXPECT_EQ(keyboard_->GetDeviceState(sizeof keys, keys), DI_OK);
        return keys[dik];
    }

    HWND hwnd_ = nullptr;
    Uint32 id_ = 0;
    IDirectInput8A* di_ = nullptr;
    IDirectInputDevice8A* keyboard_ = nullptr;
    IDirectInputDevice8A* mouse_ = nullptr;
};

TEST_F(DirectInputDisplayTest, KeyEventsSetTheKeyBytesWhenPumped) {
    Key(SDL_SCANCODE_C, true);
    Key(SDL_SCANCODE_UP, true);
    EXPECT_EQ(KeyByte(DIK_C), 0);  // not pumped yet
    Pump();
    EXPECT_EQ(KeyByte(DIK_C), 0x80);
    EXPECT_EQ(KeyByte(DIK_UP), 0x80);
    Key(SDL_SCANCODE_C, false);
    EXPECT_EQ(KeyByte(DIK_C), 0x80);  // every question until the next pump sees the same
    Pump();
    EXPECT_EQ(KeyByte(DIK_C), 0);
    EXPECT_EQ(KeyByte(DIK_UP), 0x80);
}

TEST_F(DirectInputDisplayTest, MouseEventsAreSummedUntilTheNextRead) {
    EXPECT_TRUE(SDL_GetRelativeMouseMode());
    Motion(40, 25);
    Motion(2, -5);
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = id_;
    e.wheel.y = 1;
    e.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    std::memset(&e, 0, sizeof e);
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = id_;
    e.button.button = SDL_BUTTON_RIGHT;
    e.button.state = SDL_PRESSED;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    Pump();
    DIMOUSESTATE s;
    ASSERT_EQ(mouse_->GetDeviceState(sizeof s, &s), DI_OK);
    EXPECT_EQ(s.lX, 42);
    EXPECT_EQ(s.lY, 20);
    EXPECT_EQ(s.lZ, -120);
    EXPECT_EQ(s.rgbButtons[1], 0x80);
    EXPECT_EQ(s.rgbButtons[0], 0);
}

// The window's own focus counts: a window just shown is in the foreground
// before any event was pumped, and its focus events follow.
TEST_F(DirectInputDisplayTest, TheFocusFollowsTheWindowsFocusEvents) {
    pt::FollowWindowFocus();
    EXPECT_EQ(keyboard_->Acquire(), S_FALSE);
    BYTE keys[256];
    EXPECT_EQ(keyboard_->GetDeviceState(sizeof keys, keys), DI_OK);
    Focus(SDL_WINDOWEVENT_FOCUS_LOST);
    Pump();
    EXPECT_EQ(keyboard_->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard_->Acquire(), DIERR_OTHERAPPHASPRIO);
    Focus(SDL_WINDOWEVENT_FOCUS_GAINED);
    Pump();
    EXPECT_EQ(keyboard_->Acquire(), DI_OK);
    EXPECT_EQ(keyboard_->GetDeviceState(sizeof keys, keys), DI_OK);
}

TEST_F(DirectInputDisplayTest, LosingTheFocusLosesTheInputUntilAcquiredAgain) {
    Key(SDL_SCANCODE_A, true);
    Pump();
    ASSERT_EQ(KeyByte(DIK_A), 0x80);
    Focus(SDL_WINDOWEVENT_FOCUS_LOST);
    Pump();
    EXPECT_FALSE(SDL_GetRelativeMouseMode());
    BYTE keys[256];
    DIMOUSESTATE s;
    EXPECT_EQ(keyboard_->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
    EXPECT_EQ(mouse_->GetDeviceState(sizeof s, &s), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard_->Acquire(), DI_OK);
    EXPECT_EQ(mouse_->Acquire(), DI_OK);
    EXPECT_TRUE(SDL_GetRelativeMouseMode());
    EXPECT_EQ(KeyByte(DIK_A), 0);  // its release was not seen: let go with the focus
    mouse_->Unacquire();
    EXPECT_FALSE(SDL_GetRelativeMouseMode());
}

}  // namespace
