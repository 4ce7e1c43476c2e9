// The OpenGL back end on a window of the window layer (X11 under Xvfb in CI):
// what Present puts on the screen, full screen, and a window closed while the
// device still draws.
#include <gtest/gtest.h>

#include <SDL.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "platform/win32/native.h"
#include "tests/support/display.h"
#include "tests/support/device_fixtures.h"

// Last: Xlib defines short macro names (None, Always ...).
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace platform_testing;

namespace {

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class D3D9Window : public ::testing::Test {
protected:
    void SetUp() override {
        BRANTO_OPEN_DISPLAY_OR_SKIP();
        ResetWin32();
        ResetD3D9();
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

    // What the window shows on the X screen, as 0xRRGGBB.
    DWORD Shown(int x, int y) {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!SDL_GetWindowWMInfo(win32_native::SdlWindow(hwnd), &info) || info.subsystem != SDL_SYSWM_X11)
            return 0xDEADBEEF;
        Display* display = info.info.x11.display;
        XSync(display, False);
        XImage* image = XGetImage(display, info.info.x11.window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) return 0xDEADBEEF;
        DWORD pixel = static_cast<DWORD>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
        XDestroyImage(image);
        return pixel;
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

TEST_F(D3D9Window, FullScreenScalesTheBackBufferToTheWindow) {
    ASSERT_EQ(Create(false, 1024, 768), D3D_OK);
    EXPECT_TRUE(win32_native::IsFullscreen(hwnd));
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    const D3DRECT right = {512, 0, 1024, 768};
    dev->Clear(1, &right, D3DCLEAR_TARGET, 0xFFFF00FF, 1.0f, 0);
    PresentShown();
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(win32_native::SdlWindow(hwnd), &w, &h);
    EXPECT_EQ(Shown(w / 4, h / 2), 0x00FF00u);
    EXPECT_EQ(Shown(w * 3 / 4, h / 2), 0xFF00FFu);
    dev->Release();
    dev = nullptr;
    EXPECT_FALSE(win32_native::IsFullscreen(hwnd)) << "back to the desktop with the device";
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

}  // namespace
