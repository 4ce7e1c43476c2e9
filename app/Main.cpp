#include "app/Main.h"

#include <cstdint>

#include "app/Application.h"
#include "app/Globals.h"
#include "app/Render.h"
#include "app/Timer.h"

namespace {

const char kClassName[] = "BRANTO";
const char kTitle[] = "BRANTO - by MERVO";
const DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x00CA0000
const int kIconId = 102;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
    CoInitialize(NULL);

    WNDCLASSEXA wc;
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = MsgProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconId));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = NULL;
    wc.lpszMenuName = NULL;
    wc.lpszClassName = kClassName;
    wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(kIconId));
    if (!RegisterClassExA(&wc)) return 0;

    HWND window = CreateWindowExA(0, kClassName, kTitle, kWindowStyle, 0, 0, g_ScreenWidth,
                                  g_ScreenHeight, NULL, NULL, instance, NULL);
    if (!window) return 0;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    g_hWnd = window;
    g_hInstance = instance;

    if (InitApplication(window) < 0) {
        OutputDebugStringA("Initialization Failed");
        OutputDebugStringA("\n");
        CleanupApplication();
        return E_FAIL;
    }

    ShowCursor(FALSE);
    MSG message;
    for (;;) {
        if (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) break;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        } else {
            RunFrame();
        }
    }

    CleanupApplication();
    ShowCursor(TRUE);
    UnregisterClassA(kClassName, instance);
    CoUninitialize();
    return 0;
}

LRESULT CALLBACK MsgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            ValidateRect(window, NULL);
            return 0;
        case WM_CREATE:
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_KEYDOWN:
            // Asks for Escape itself rather than looking at the key pressed.
            if (GetAsyncKeyState(VK_ESCAPE)) PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void MoveCursor(int dx, int dy) {
    // 64-bit sums: a wild movement must not overflow.
    int64_t x = static_cast<int64_t>(g_CursorX) + dx;
    int64_t y = static_cast<int64_t>(g_CursorY) + dy;
    if (x <= 0) x = 0;
    if (y <= 0) y = 0;
    if (x >= g_ScreenWidth - 20) x = g_ScreenWidth - 20;
    if (y >= g_ScreenHeight - 20) y = g_ScreenHeight - 20;
    g_CursorX = static_cast<int>(x);
    g_CursorY = static_cast<int>(y);
}

void RunFrame() {
    UpdateFrameCounter();
    g_Mouse.Poll();
    MouseMovement movement = g_Mouse.GetMovement();
    MoveCursor(movement.x, movement.y);
    UpdateMouseLook();
    g_FrameStartMs = timeGetTime();
    UpdateAndRender();
    g_LastUpdateEndMs = timeGetTime() - 1;
    if (GetAsyncKeyState(VK_ESCAPE)) PostQuitMessage(0);
}
