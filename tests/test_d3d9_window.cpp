// The OpenGL back end on a window of the window layer (X11 under Xvfb in CI):
// what Present puts on the screen, full screen on screens of several sizes
// (each on an X server of the test's own), and a window closed while the
// device still draws.
#include <gtest/gtest.h>

#include <SDL.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "platform/win32/native.h"
#include "tests/support/display.h"
#include "tests/support/device_fixtures.h"
#include "tests/support/own_display.h"

// Last: Xlib defines short macro names (None, Always ...).
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace platform_testing;

namespace {

std::vector<UINT> g_messages;

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_messages.push_back(message);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class D3D9Window : public ::testing::Test {
protected:
    void SetUp() override {
        BRANTO_OPEN_DISPLAY_OR_SKIP();
        ResetWin32();
        ResetD3D9();
        g_messages.clear();
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "D3D9TEST";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        hwnd = CreateWindowExA(0, "D3D9TEST", "d3d9", WS_CAPTION | WS_SYSMENU, 0, 0, 400, 300, NULL, NULL, NULL,
                               NULL);
        ASSERT_NE(hwnd, nullptr);
        ShowWindow(hwnd, SW_SHOWNORMAL);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
    }
    void TearDown() override {
        if (dev) dev->Release();
        if (d3d) d3d->Release();
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 0);
        ResetD3D9();
    }

    HRESULT Create(bool windowed, UINT width, UINT height) {
        D3DPRESENT_PARAMETERS pp = device_fixtures::WindowedParams(width, height);
        pp.BackBufferFormat = windowed ? D3DFMT_UNKNOWN : D3DFMT_A8R8G8B8;
        pp.Windowed = windowed;
        HRESULT hr = d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev);
        params = pp;
        return hr;
    }

    // Presents until the window is mapped and shows the frame.
    void PresentShown() {
        for (int i = 0; i < 20; ++i) {
            MSG m;
            while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
            ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
            SDL_Delay(10);
        }
    }

    // The X connection and window behind the fixture's window.
    bool X11Window(Display** display, Window* window) {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!SDL_GetWindowWMInfo(win32_native::SdlWindow(hwnd), &info) || info.subsystem != SDL_SYSWM_X11)
            return false;
        *display = info.info.x11.display;
        *window = info.info.x11.window;
        return true;
    }

    // What the window shows on the X screen in a box, as 0xRRGGBB row by row.
    std::vector<DWORD> ShownBox(int x, int y, int width, int height) {
        std::vector<DWORD> pixels;
        Display* display;
        Window window;
        if (!X11Window(&display, &window)) return pixels;
        XSync(display, False);
        XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                  AllPlanes, ZPixmap);
        if (!image) return pixels;
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i)
                pixels.push_back(static_cast<DWORD>(XGetPixel(image, i, j)) & 0xFFFFFF);
        XDestroyImage(image);
        return pixels;
    }

    DWORD Shown(int x, int y) {
        std::vector<DWORD> pixel = ShownBox(x, y, 1, 1);
        return pixel.empty() ? 0xDEADBEEF : pixel[0];
    }

    // Pumps messages until the window procedure has been given `message`.
    bool PumpUntil(UINT message) {
        for (int i = 0; i < 500; ++i) {
            MSG m;
            while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
            for (UINT seen : g_messages)
                if (seen == message) return true;
            SDL_Delay(10);
        }
        return false;
    }

    HWND hwnd = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    D3DPRESENT_PARAMETERS params = {};
};

TEST_F(D3D9Window, PresentShowsTheBackBufferTopRowFirst) {
    ASSERT_EQ(Create(true, 0, 0), D3D_OK);
    EXPECT_FALSE(LastD3D9Device().headless);
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(params.BackBufferWidth, UINT(client.right)) << "size 0 takes the client area's";
    EXPECT_EQ(params.BackBufferFormat, D3DFMT_X8R8G8B8);

    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    const D3DRECT corner = {0, 0, 10, 10};
    dev->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    PresentShown();
    EXPECT_EQ(Shown(5, 5), 0xFF0000u);
    EXPECT_EQ(Shown(50, 50), 0x0000FFu);

    // The copy swap effect keeps the back buffer for the program to read.
    IDirect3DSurface9* back = nullptr;
    dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<DWORD*>(lr.pBits)[0], 0xFFFF0000u);
    back->UnlockRect();
    back->Release();
}

TEST_F(D3D9Window, AClosedWindowStillTakesFramesUntilTheDeviceGoes) {
    ASSERT_EQ(Create(true, 0, 0), D3D_OK);
    // The close button's path destroys the window while the device lives.
    DestroyWindow(hwnd);
    EXPECT_NE(win32_native::SdlWindow(hwnd), nullptr) << "the device keeps the native window";
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0), D3D_OK);
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    IDirect3DSurface9* back = nullptr;
    dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<DWORD*>(lr.pBits)[0], 0xFF123456u);
    back->UnlockRect();
    back->Release();
    dev->Release();
    dev = nullptr;
    EXPECT_EQ(win32_native::SdlWindow(hwnd), nullptr) << "released with the device";
}

// The fixture's window on an X server of the test's own, with a screen of the
// size the test names.
class D3D9OwnScreen : public D3D9Window {
protected:
    void SetUp() override {}
    void Open(int width, int height) {
        std::string why;
        switch (own_display::Start(width, height, &why)) {
            case own_display::Result::Missing: GTEST_SKIP() << why;
            case own_display::Result::Failed: FAIL() << why;
            case own_display::Result::Started: break;
        }
        D3D9Window::SetUp();
    }
};

#define OPEN_SCREEN(width, height)                          \
    do {                                                    \
        Open(width, height);                                \
        if (IsSkipped() || HasFatalFailure()) return;       \
    } while (0)

TEST_F(D3D9OwnScreen, FullScreenOnAScreenOfTheBackBuffersSizeShowsItPixelForPixel) {
    OPEN_SCREEN(1024, 768);
    ASSERT_EQ(Create(false, 1024, 768), D3D_OK);
    EXPECT_TRUE(win32_native::IsFullscreen(hwnd));
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    const D3DRECT right = {512, 0, 1024, 768};
    dev->Clear(1, &right, D3DCLEAR_TARGET, 0xFFFF00FF, 1.0f, 0);
    const D3DRECT corner = {0, 0, 1, 1};
    dev->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    PresentShown();
    EXPECT_EQ(Shown(0, 0), 0xFF0000u);
    EXPECT_EQ(Shown(1, 0), 0x00FF00u);
    EXPECT_EQ(Shown(511, 767), 0x00FF00u);
    EXPECT_EQ(Shown(512, 767), 0xFF00FFu);
    EXPECT_EQ(Shown(1023, 0), 0xFF00FFu);
    dev->Release();
    dev = nullptr;
    EXPECT_FALSE(win32_native::IsFullscreen(hwnd)) << "back to the desktop with the device";
}

struct Screen {
    const char* name;
    int width, height;
    win32_native::FrameRect frame;  // where the 1024x768 frame must show
};

void PrintTo(const Screen& s, std::ostream* out) { *out << s.width << "x" << s.height; }

class D3D9FullScreen : public D3D9OwnScreen, public ::testing::WithParamInterface<Screen> {};

TEST_P(D3D9FullScreen, TheFrameKeepsItsShapeBetweenBlackBarsAndTheProgramSeesOnly1024x768) {
    const Screen& s = GetParam();
    OPEN_SCREEN(s.width, s.height);
    ASSERT_EQ(Create(false, 1024, 768), D3D_OK);

    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 1024u);
    EXPECT_EQ(desc.Height, 768u);
    D3DVIEWPORT9 viewport;
    dev->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 1024u);
    EXPECT_EQ(viewport.Height, 768u);
    RECT client, outer;
    GetClientRect(hwnd, &client);
    GetWindowRect(hwnd, &outer);
    EXPECT_EQ(client.right, 1024);
    EXPECT_EQ(client.bottom, 768);
    EXPECT_EQ(outer.right - outer.left, 1024);
    POINT p = {1023, 767};
    ScreenToClient(hwnd, &p);
    EXPECT_EQ(p.x, 1023);
    EXPECT_EQ(p.y, 767);

    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    const D3DRECT topLeft = {0, 0, 64, 64}, bottomRight = {960, 704, 1024, 768};
    dev->Clear(1, &topLeft, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    dev->Clear(1, &bottomRight, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    PresentShown();
    int w = 0, h = 0;
    SDL_GetWindowSize(win32_native::SdlWindow(hwnd), &w, &h);
    EXPECT_EQ(w, s.width);
    EXPECT_EQ(h, s.height);

    // The program reads back its own 1024x768 pixels.
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_GE(lr.Pitch, 1024 * 4);
    const auto* rows = static_cast<const BYTE*>(lr.pBits);
    EXPECT_EQ(reinterpret_cast<const DWORD*>(rows)[0], 0xFFFF0000u);
    EXPECT_EQ(reinterpret_cast<const DWORD*>(rows + 767 * lr.Pitch)[1023], 0xFF00FF00u);
    back->UnlockRect();
    back->Release();

    const win32_native::FrameRect& f = s.frame;
    const int right = f.x + f.width, bottom = f.y + f.height;
    struct Expected {
        int x, y;
        DWORD rgb;
    };
    std::vector<Expected> expected = {
        {f.x, f.y, 0xFF0000},                  // the frame's first pixel
        {f.x + 70, f.y + 70, 0xFF0000},        // inside the scaled 64x64 block
        {right - 1, bottom - 1, 0x00FF00},     // the frame's last pixel
        {right - 70, bottom - 70, 0x00FF00},
        {right - 1, f.y, 0x0000FF},
        {f.x + f.width / 2, f.y + f.height / 2, 0x0000FF},
    };
    if (f.x > 0) {  // bars left and right
        expected.push_back({0, 0, 0});
        expected.push_back({f.x - 1, f.y + 10, 0});
        expected.push_back({right, bottom - 10, 0});
        expected.push_back({s.width - 1, s.height - 1, 0});
    }
    if (f.y > 0) {  // bars above and below
        expected.push_back({0, 0, 0});
        expected.push_back({f.x + 10, f.y - 1, 0});
        expected.push_back({right - 10, bottom, 0});
        expected.push_back({s.width - 1, s.height - 1, 0});
    }
    for (const Expected& e : expected)
        EXPECT_EQ(Shown(e.x, e.y), e.rgb) << "at (" << e.x << ", " << e.y << ")";
}

TEST_P(D3D9FullScreen, MousePositionsLandOnTheFramesPixels) {
    const Screen& s = GetParam();
    OPEN_SCREEN(s.width, s.height);
    ASSERT_EQ(Create(false, 1024, 768), D3D_OK);
    PresentShown();
    const win32_native::FrameRect& f = s.frame;
    const Uint32 id = SDL_GetWindowID(win32_native::SdlWindow(hwnd));
    struct Case {
        int x, y;     // on the screen
        POINT client;
    } cases[] = {
        {f.x + f.width / 2, f.y + f.height / 2, {512, 384}},
        {f.x + f.width / 4, f.y + f.height * 3 / 4, {256, 576}},
        {f.x, f.y, {0, 0}},
        {0, 0, {0, 0}},                           // on a bar: the nearest edge
        {s.width - 1, s.height - 1, {1023, 767}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "(" << c.x << ", " << c.y << ")");
        for (Uint32 type : {Uint32(SDL_MOUSEMOTION), Uint32(SDL_MOUSEBUTTONDOWN)}) {
            SDL_Event e = {};
            e.type = type;
            if (type == SDL_MOUSEMOTION) {
                e.motion.windowID = id;
                e.motion.x = c.x;
                e.motion.y = c.y;
            } else {
                e.button.windowID = id;
                e.button.button = SDL_BUTTON_LEFT;
                e.button.state = SDL_PRESSED;
                e.button.x = c.x;
                e.button.y = c.y;
            }
            ASSERT_EQ(SDL_PushEvent(&e), 1);
            const UINT message = type == SDL_MOUSEMOTION ? WM_MOUSEMOVE : WM_LBUTTONDOWN;
            MSG m;
            ASSERT_TRUE(PeekMessageA(&m, NULL, message, message, PM_REMOVE));
            EXPECT_EQ(static_cast<short>(LOWORD(m.lParam)), c.client.x);
            EXPECT_EQ(static_cast<short>(HIWORD(m.lParam)), c.client.y);
            if (type == SDL_MOUSEMOTION) {
                EXPECT_EQ(m.pt.x, c.client.x) << "the screen of a full-screen program is its frame";
                EXPECT_EQ(m.pt.y, c.client.y);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Displays, D3D9FullScreen,
                         ::testing::Values(Screen{"Wide1920x1080", 1920, 1080, {240, 0, 1440, 1080}},
                                           Screen{"Square1280x1024", 1280, 1024, {0, 32, 1280, 960}}),
                         [](const ::testing::TestParamInfo<Screen>& info) { return info.param.name; });

TEST_F(D3D9OwnScreen, ScaledTextStrokesKeepFullContrastAndEdgesOnePixelWide) {
    OPEN_SCREEN(1280, 1024);  // 1.25 times
    ASSERT_EQ(Create(false, 1024, 768), D3D_OK);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    // Strokes two pixels wide, two apart, as in small text.
    for (LONG x = 0; x < 1024; x += 4) {
        const D3DRECT stroke = {x, 0, x + 2, 768};
        dev->Clear(1, &stroke, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    }
    PresentShown();
    const std::vector<DWORD> row = ShownBox(0, 512, 1280, 1);
    ASSERT_EQ(row.size(), 1280u);
    auto level = [&](int x) { return static_cast<int>(row[static_cast<size_t>(x)] & 0xFF); };
    int blended = 0, longest = 0;
    for (int x = 0; x < 1280; ++x) {
        const bool pure = level(x) <= 8 || level(x) >= 247;
        blended = pure ? 0 : blended + 1;
        longest = std::max(longest, blended);
    }
    EXPECT_LE(longest, 1) << "an edge blurred over more than one pixel";
    for (int stroke = 0; stroke < 256; ++stroke) {
        const int from = stroke * 5, to = from + 3;  // 2 pixels at 1.25, edges included
        int brightest = 0;
        for (int x = from; x < to; ++x) brightest = std::max(brightest, level(x));
        ASSERT_GE(brightest, 247) << "stroke " << stroke << " lost its contrast";
    }
}

TEST_F(D3D9OwnScreen, FullScreenRefusedLeavesTheWindowAsItWas) {
    OPEN_SCREEN(800, 600);
    SDL_Window* sdl = win32_native::SdlWindow(hwnd);
    int x0, y0, w0, h0;
    SDL_GetWindowPosition(sdl, &x0, &y0);
    SDL_GetWindowSize(sdl, &w0, &h0);
    auto expectAsItWas = [&] {
        EXPECT_EQ(dev, nullptr);
        EXPECT_FALSE(win32_native::IsFullscreen(hwnd));
        EXPECT_FALSE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN);
        int x, y, w, h;
        SDL_GetWindowPosition(sdl, &x, &y);
        SDL_GetWindowSize(sdl, &w, &h);
        EXPECT_EQ(x, x0);
        EXPECT_EQ(y, y0);
        EXPECT_EQ(w, w0);
        EXPECT_EQ(h, h0);
    };
    {
        SCOPED_TRACE("a display smaller than the back buffer");
        EXPECT_EQ(Create(false, 1024, 768), D3DERR_NOTAVAILABLE);
        expectAsItWas();
    }
    {
        SCOPED_TRACE("the display says no");
        RefuseFullscreen(true);
        EXPECT_EQ(Create(false, 640, 480), D3DERR_NOTAVAILABLE);
        expectAsItWas();
    }
}

TEST_F(D3D9OwnScreen, LosingTheFocusMinimisesOnlyTheFullScreenWindowAndItComesBack) {
    OPEN_SCREEN(1280, 1024);
    Display* mine;
    Window ours;
    ASSERT_TRUE(X11Window(&mine, &ours));
    // A second client: another program's window, and an eye on the requests
    // that a window manager would carry out.
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    const Window root = DefaultRootWindow(x);
    const Atom changeState = XInternAtom(x, "WM_CHANGE_STATE", False);
    XSelectInput(x, root, SubstructureNotifyMask);
    const Window other = XCreateSimpleWindow(x, root, 10, 10, 100, 100, 0, 0, 0);
    XMapWindow(x, other);
    XSync(x, False);
    auto focus = [&](Window w) {
        XSetInputFocus(x, w, RevertToParent, CurrentTime);
        XSync(x, False);
    };
    auto minimiseRequests = [&] {
        int n = 0;
        for (int i = 0; i < 20; ++i) {
            XSync(x, False);
            while (XPending(x)) {
                XEvent e;
                XNextEvent(x, &e);
                if (e.type == ClientMessage && e.xclient.message_type == changeState &&
                    e.xclient.window == ours && e.xclient.data.l[0] == IconicState)
                    ++n;
            }
            SDL_Delay(10);
        }
        return n;
    };
    auto switchAwayAndBack = [&] {
        g_messages.clear();
        focus(other);
        EXPECT_TRUE(PumpUntil(WM_KILLFOCUS));
        const int requests = minimiseRequests();
        g_messages.clear();
        focus(ours);
        EXPECT_TRUE(PumpUntil(WM_SETFOCUS));
        EXPECT_TRUE(win32_native::HasFocus(hwnd));
        return requests;
    };

    EXPECT_EQ(switchAwayAndBack(), 0) << "a window stays where it is";
    ASSERT_EQ(Create(false, 1024, 768), D3D_OK);
    EXPECT_EQ(switchAwayAndBack(), 1) << "full screen gets out of the way";

    // A loss reported late (it happened while the start question was up, and
    // the window has had the focus back since) is no reason to go.
    SDL_Event late = {};
    late.type = SDL_WINDOWEVENT;
    late.window.windowID = SDL_GetWindowID(win32_native::SdlWindow(hwnd));
    late.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    ASSERT_EQ(SDL_PushEvent(&late), 1);
    g_messages.clear();
    EXPECT_TRUE(PumpUntil(WM_KILLFOCUS));
    EXPECT_EQ(minimiseRequests(), 0);
    EXPECT_TRUE(win32_native::IsFullscreen(hwnd));
    int w = 0, h = 0;
    SDL_GetWindowSize(win32_native::SdlWindow(hwnd), &w, &h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 1024);
    XDestroyWindow(x, other);
    XCloseDisplay(x);
}

TEST_F(D3D9OwnScreen, DestroyingTheFullScreenWindowGivesTheScreenBack) {
    OPEN_SCREEN(1280, 1024);
    ASSERT_EQ(Create(false, 1024, 768), D3D_OK);
    PresentShown();
    Display* display;
    Window window;
    ASSERT_TRUE(X11Window(&display, &window));
    DestroyWindow(hwnd);
    EXPECT_FALSE(win32_native::IsFullscreen(hwnd));
    EXPECT_FALSE(SDL_GetWindowFlags(win32_native::SdlWindow(hwnd)) & SDL_WINDOW_FULLSCREEN);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(attributes.map_state, IsUnmapped);
    // The device still takes its frames until the program releases it.
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

}  // namespace
