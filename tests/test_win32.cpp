// The window layer without a display: windows are headless, everything else is
// the layer's own (classes, frames, the queue, key state, clocks, GDI, CRT).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/testing.h"
#include "platform/win32/native.h"
#include "platform/win32/text.h"

namespace pt = platform_testing;

namespace {

std::vector<UINT> g_seen;
LRESULT g_createResult = 0;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back(message);
    if (message == WM_CREATE) return g_createResult;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class Win32Test : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetWin32();
        pt::SetHeadlessWindows(true);
        g_seen.clear();
        g_createResult = 0;
    }

    bool Register(const char* name = "TEST") {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_CLASSDC;
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = name;
        return RegisterClassExA(&wc) != 0;
    }

    HWND MakeWindow(int w = 1024, int h = 768) {
        if (!Register()) return nullptr;
        return CreateWindowExA(0, "TEST", "Title", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                               w, h, NULL, NULL, NULL, NULL);
    }

    // Takes every message and dispatches it; returns the ones taken.
    std::vector<UINT> Drain() {
        std::vector<UINT> taken;
        MSG m;
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
            taken.push_back(m.message);
            if (m.message == WM_QUIT) break;
            DispatchMessageA(&m);
        }
        return taken;
    }
};

TEST_F(Win32Test, CaptionFrameMakesClientSmallerAndResizeArithmeticRestoresIt) {
    HWND hwnd = MakeWindow();
    ASSERT_NE(hwnd, nullptr);
    RECT win, client;
    ASSERT_TRUE(GetWindowRect(hwnd, &win));
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(win.left, 0);
    EXPECT_EQ(win.top, 0);
    EXPECT_EQ(win.right, 1024);
    EXPECT_EQ(win.bottom, 768);
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_LT(client.right, 1024);
    EXPECT_LT(client.bottom, 768);

    // What the device set-up does for a windowed back buffer.
    int w = 1024 + ((win.right - win.left) - client.right);
    int h = 768 + ((win.bottom - win.top) - client.bottom);
    ASSERT_TRUE(MoveWindow(hwnd, win.left, win.top, w, h, TRUE));
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 1024);
    EXPECT_EQ(client.bottom, 768);
    int cw = 0, ch = 0;
    EXPECT_TRUE(win32_native::ClientSize(hwnd, &cw, &ch));
    EXPECT_EQ(cw, 1024);
    EXPECT_EQ(ch, 768);

    POINT p = {0, 0};
    ClientToScreen(hwnd, &p);
    EXPECT_GT(p.x, 0);
    EXPECT_GT(p.y, p.x);  // the caption is taller than a border
    ScreenToClient(hwnd, &p);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
}

TEST_F(Win32Test, CreationSendsNcCreateThenCreateBeforeReturning) {
    HWND hwnd = MakeWindow();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_GE(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0], static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(g_seen[1], static_cast<UINT>(WM_CREATE));
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(win32_native::SdlWindow(hwnd), nullptr);  // headless
}

TEST_F(Win32Test, CreateRefusedByTheWindowProcedureGivesNoWindow) {
    g_createResult = -1;
    EXPECT_EQ(MakeWindow(), nullptr);
    EXPECT_NE(std::find(g_seen.begin(), g_seen.end(), static_cast<UINT>(WM_DESTROY)), g_seen.end());
}

TEST_F(Win32Test, ClassRegistrationFailures) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc - 1;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "X";
    EXPECT_EQ(RegisterClassExA(&wc), 0);  // wrong size
    wc.cbSize = sizeof wc;
    EXPECT_NE(RegisterClassExA(&wc), 0);
    wc.lpszClassName = "x";
    EXPECT_EQ(RegisterClassExA(&wc), 0);  // names ignore case
    EXPECT_EQ(CreateWindowExA(0, "nope", "", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL), nullptr);

    pt::FailRegisterClass(true);
    EXPECT_FALSE(Register("Other"));
    pt::FailRegisterClass(false);
    EXPECT_TRUE(Register("Other"));
    pt::FailCreateWindow(true);
    EXPECT_EQ(CreateWindowExA(0, "Other", "", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL), nullptr);
}

TEST_F(Win32Test, ClassWithLiveWindowCannotBeUnregistered) {
    HWND hwnd = MakeWindow();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(UnregisterClassA("TEST", NULL));
    DestroyWindow(hwnd);
    EXPECT_TRUE(UnregisterClassA("test", NULL));
    EXPECT_FALSE(UnregisterClassA("TEST", NULL));
}

TEST_F(Win32Test, CloseButtonDestroysTheWindowAndSendsDestroySynchronously) {
    HWND hwnd = MakeWindow();
    ASSERT_NE(hwnd, nullptr);
    win32_native::RetainNative(hwnd);  // as the device does
    g_seen.clear();
    pt::PressCloseButton(hwnd);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(m.hwnd, hwnd);
    DispatchMessageA(&m);
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0], static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(g_seen[1], static_cast<UINT>(WM_DESTROY));
    EXPECT_EQ(g_seen[2], static_cast<UINT>(WM_NCDESTROY));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(win32_native::IsWindow(hwnd));
    EXPECT_FALSE(PostMessageA(hwnd, WM_USER, 0, 0));
    // The native side lives on while held.
    int cw = 0, ch = 0;
    EXPECT_TRUE(win32_native::ClientSize(hwnd, &cw, &ch));
    win32_native::ReleaseNative(hwnd);
    EXPECT_FALSE(win32_native::ClientSize(hwnd, &cw, &ch));
}

TEST_F(Win32Test, AltF4ClosesThroughTheSystemCommand) {
    HWND hwnd = MakeWindow();
    ASSERT_NE(hwnd, nullptr);
    g_seen.clear();
    PostMessageA(hwnd, WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
    Drain();
    std::vector<UINT> expected = {WM_SYSKEYDOWN, WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY};
    EXPECT_EQ(g_seen, expected);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Win32Test, QuitComesAfterThePostedMessagesAndOnlyOnce) {
    HWND hwnd = MakeWindow();
    ValidateRect(hwnd, NULL);
    PostMessageA(hwnd, WM_USER, 1, 0);
    PostQuitMessage(3);
    PostQuitMessage(3);  // twice in one frame still gives one
    PostMessageA(hwnd, WM_USER + 1, 2, 0);

    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
}

TEST_F(Win32Test, PaintComesLastAndUntilValidated) {
    HWND hwnd = MakeWindow();
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));  // hidden: nothing to paint
    ShowWindow(hwnd, SW_SHOWNORMAL);
    PostMessageA(hwnd, WM_USER, 0, 0);
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
        EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
    }
    ValidateRect(hwnd, NULL);
    EXPECT_FALSE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));

    // UpdateWindow sends it at once; DefWindowProcA validates.
    InvalidateRect(hwnd, NULL, FALSE);
    g_seen.clear();
    UpdateWindow(hwnd);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0], static_cast<UINT>(WM_PAINT));
    EXPECT_FALSE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
}

TEST_F(Win32Test, FilteredPeekLeavesOtherMessages) {
    HWND a = MakeWindow();
    HWND b = CreateWindowExA(0, "TEST", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    PostMessageA(a, WM_USER, 0, 0);
    PostMessageA(b, WM_USER + 5, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, b);
    EXPECT_FALSE(PeekMessageA(&m, NULL, WM_USER + 1, WM_USER + 9, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, a);
}

TEST_F(Win32Test, AsyncKeyStateReportsDownAndPressedSinceLastQuery) {
    HWND hwnd = MakeWindow();
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);

    pt::PressKey(hwnd, VK_ESCAPE);
    EXPECT_EQ(static_cast<uint16_t>(GetAsyncKeyState(VK_ESCAPE)), 0x8001u);
    EXPECT_EQ(static_cast<uint16_t>(GetAsyncKeyState(VK_ESCAPE)), 0x8000u);
    pt::ReleaseKey(hwnd, VK_ESCAPE);
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);

    // A tap between two queries still shows.
    pt::PressKey(hwnd, VK_ESCAPE);
    pt::ReleaseKey(hwnd, VK_ESCAPE);
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 1);
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);

    std::vector<UINT> taken = Drain();
    std::vector<UINT> expected = {WM_KEYDOWN, WM_KEYUP, WM_KEYDOWN, WM_KEYUP};
    EXPECT_EQ(taken, expected);

    pt::SetAsyncKeyState(VK_LSHIFT, true, false);
    EXPECT_NE(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0);
    EXPECT_EQ(GetAsyncKeyState(VK_RSHIFT), 0);
    EXPECT_EQ(GetAsyncKeyState(-1), 0);
    EXPECT_EQ(GetAsyncKeyState(300), 0);
}

TEST_F(Win32Test, CursorDisplayCounter) {
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_EQ(pt::CursorDisplayCount(), 0);
    EXPECT_NE(LoadCursorA(NULL, IDC_ARROW), nullptr);
    EXPECT_NE(LoadIconA(NULL, MAKEINTRESOURCEA(102)), nullptr);
    HCURSOR arrow = LoadCursorA(NULL, IDC_ARROW);
    SetCursor(arrow);
    EXPECT_EQ(SetCursor(NULL), arrow);
}

TEST_F(Win32Test, MessageBoxAnswersFromTheSeamAndRecordsTheBytes) {
    HWND hwnd = MakeWindow();
    pt::SetMessageBoxAnswer(IDYES);
    EXPECT_EQ(MessageBoxA(hwnd, "Modalit\xE0?", "Cap", MB_YESNO | MB_ICONQUESTION), IDYES);
    pt::ClearMessageBoxAnswer();
    // Headless and no answer preset: the box cannot be shown.
    EXPECT_EQ(MessageBoxA(hwnd, "x", NULL, MB_OK), 0);
    ASSERT_EQ(pt::MessageBoxes().size(), 2u);
    EXPECT_EQ(pt::MessageBoxes()[0].owner, hwnd);
    EXPECT_EQ(pt::MessageBoxes()[0].text, "Modalit\xE0?");
    EXPECT_EQ(pt::MessageBoxes()[0].caption, "Cap");
    EXPECT_EQ(pt::MessageBoxes()[0].type, 0x24u);
    EXPECT_EQ(pt::MessageBoxes()[1].caption, "Error");
}

TEST_F(Win32Test, Cp1252TextBecomesUtf8) {
    EXPECT_EQ(layer::Cp1252ToUtf8("Modalit\xE0 (1024x768x16)"), "Modalit\xC3\xA0 (1024x768x16)");
    EXPECT_EQ(layer::Cp1252ToUtf8("\x80\x81\x9F\xFF"), "\xE2\x82\xAC\xC2\x81\xC5\xB8\xC3\xBF");
    EXPECT_EQ(layer::Cp1252ToUtf8(nullptr), "");
}

TEST_F(Win32Test, FakeClockDrivesAllClocksAndWraps) {
    pt::SetFakeClockMs(1500);
    EXPECT_EQ(timeGetTime(), 1500u);
    EXPECT_EQ(GetTickCount(), 1500u);
    LARGE_INTEGER c, f;
    EXPECT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 1000000000);
    EXPECT_TRUE(QueryPerformanceCounter(&c));
    EXPECT_EQ(c.QuadPart, 1500LL * 1000000);
    pt::AdvanceFakeClockNs(999999);
    EXPECT_EQ(timeGetTime(), 1500u);
    pt::AdvanceFakeClockMs(1);
    EXPECT_EQ(timeGetTime(), 1501u);

    pt::SetFakeClockMs((1ull << 32) + 5);
    EXPECT_EQ(timeGetTime(), 5u);
    EXPECT_EQ(static_cast<DWORD>(timeGetTime() - 0xFFFFFFFFu), 6u);

    pt::ForcePerformanceCounterZero(true);
    pt::ForcePerformanceFrequencyZero(true);
    c.QuadPart = 7;
    f.QuadPart = 7;
    EXPECT_FALSE(QueryPerformanceCounter(&c));
    EXPECT_FALSE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(c.QuadPart, 0);
    EXPECT_EQ(f.QuadPart, 0);
}

TEST_F(Win32Test, RealClockCountsFromBootNotFromStart) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    DWORD expected = static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
    DWORD t = timeGetTime();
    EXPECT_LE(static_cast<DWORD>(t - expected), 1000u);
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    QueryPerformanceCounter(&b);
    EXPECT_LE(a.QuadPart, b.QuadPart);
}

TEST_F(Win32Test, DebugOutputWritesExactBytesToStandardErrorAndCapturesEachString) {
    ::testing::internal::CaptureStderr();
    OutputDebugStringA("ERROR: ");
    OutputDebugStringA("100% sure");
    OutputDebugStringA("\n");
    OutputDebugStringA("");
    OutputDebugStringA(NULL);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "ERROR: 100% sure\n");
    std::vector<std::string> expected = {"ERROR: ", "100% sure", "\n", ""};
    EXPECT_EQ(pt::DebugOutput(), expected);
    EXPECT_EQ(pt::DebugOutputText(), "ERROR: 100% sure\n");
    pt::ClearDebugOutput();
    EXPECT_TRUE(pt::DebugOutput().empty());
}

TEST_F(Win32Test, MulDivRoundsHalfAwayFromZero) {
    struct Case {
        int a, b, c, expected;
    } cases[] = {
        {14, 96, 72, 19},   {14, 120, 72, 23},     {1, 1, 2, 1},          {-1, 1, 2, -1},
        {1, -3, 2, -2},     {5, 1, -2, -3},        {-5, -1, -2, -3},      {7, 1, 7, 1},
        {1, 1, 3, 0},       {1, 1, 0, -1},         {0, 5, 3, 0},
        {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},            {0x7FFFFFFF, 4, 2, -1},
        {65536, 65536, 65536, 65536},
    };
    for (const Case& t : cases)
        EXPECT_EQ(MulDiv(t.a, t.b, t.c), t.expected) << t.a << "*" << t.b << "/" << t.c;
}

TEST_F(Win32Test, ScreenDeviceContextAndRects) {
    HDC dc = GetDC(NULL);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
    pt::SetScreenDpi(120);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 120);
    EXPECT_EQ(GetDeviceCaps(NULL, LOGPIXELSY), 0);
    EXPECT_EQ(ReleaseDC(NULL, dc), 1);
    RECT r;
    EXPECT_TRUE(SetRect(&r, 81, 30, 0, 0));
    EXPECT_EQ(r.left, 81);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right, 0);
    EXPECT_EQ(r.bottom, 0);
}

TEST_F(Win32Test, RuntimeExtensions) {
    struct Case {
        int value, radix;
        const char* expected;
    } cases[] = {
        {0, 10, "0"},        {1234, 10, "1234"}, {-1, 10, "-1"},
        {INT32_MIN, 10, "-2147483648"},          {255, 16, "ff"},
        {-1, 16, "ffffffff"}, {5, 2, "101"},      {35, 36, "z"},
    };
    for (const Case& t : cases) {
        char buf[40];
        EXPECT_STREQ(_itoa(t.value, buf, t.radix), t.expected);
    }
    EXPECT_EQ(_stricmp("IdleTot", "idletot"), 0);
    EXPECT_LT(_stricmp("abc", "ABD"), 0);
    EXPECT_GT(_stricmp("abcd", "ABC"), 0);
    char text[] = "HeLLo, World 1";
    EXPECT_STREQ(_strlwr(text), "hello, world 1");
    // A to Z only: the neighbours and bytes of other code pages stay.
    char edges[] = "@AZ[`az{\xC0\xE0\xFF";
    EXPECT_STREQ(_strlwr(edges), "@az[`az{\xC0\xE0\xFF");
    EXPECT_EQ(_strlwr(nullptr), nullptr);
}

TEST_F(Win32Test, HeadlessFocusAndFullscreenAreModelled) {
    HWND hwnd = MakeWindow();
    EXPECT_TRUE(win32_native::HasFocus(hwnd));
    pt::SetHeadlessFocus(false);
    EXPECT_FALSE(win32_native::HasFocus(hwnd));
    EXPECT_FALSE(win32_native::HasFocus(NULL));

    EXPECT_TRUE(win32_native::SetFullscreen(hwnd, true, 1024, 768));
    EXPECT_TRUE(win32_native::IsFullscreen(hwnd));
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 1024);
    EXPECT_EQ(client.bottom, 768);
    EXPECT_TRUE(win32_native::SetFullscreen(hwnd, false, 0, 0));
    EXPECT_FALSE(win32_native::IsFullscreen(hwnd));
    RECT win;
    GetWindowRect(hwnd, &win);
    EXPECT_EQ(win.right, 1024);  // the windowed rectangle is back

    // Refused, as a display may: still a window.
    pt::RefuseFullscreen(true);
    EXPECT_FALSE(win32_native::SetFullscreen(hwnd, true, 1024, 768));
    EXPECT_FALSE(win32_native::IsFullscreen(hwnd));
}

TEST(FitFrame, TheLargestScaleThatFitsCentredOnAnyDisplay) {
    struct Case {
        int areaWidth, areaHeight;
        win32_native::FrameRect expected;
    } cases[] = {
        {1024, 768, {0, 0, 1024, 768}},      // the frame's own size: as it is
        {1920, 1080, {240, 0, 1440, 1080}},  // 16:9: bars left and right
        {2560, 1440, {320, 0, 1920, 1440}},
        {3440, 1440, {760, 0, 1920, 1440}},
        {1280, 1024, {0, 32, 1280, 960}},    // 5:4: bars above and below
        {1600, 1200, {0, 0, 1600, 1200}},    // 4:3 and larger: no bars
        {1366, 768, {171, 0, 1024, 768}},    // as high: unscaled, centred
        {1025, 769, {0, 0, 1025, 769}},      // rounded to the nearest pixel
        {1023, 767, {0, 0, 1023, 767}},
        {0, 768, {0, 0, 0, 0}},              // nothing to show on
        {-5, 100, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.areaWidth << "x" << c.areaHeight);
        win32_native::FrameRect r = win32_native::FitFrame(1024, 768, c.areaWidth, c.areaHeight);
        EXPECT_EQ(r.x, c.expected.x);
        EXPECT_EQ(r.y, c.expected.y);
        EXPECT_EQ(r.width, c.expected.width);
        EXPECT_EQ(r.height, c.expected.height);
    }
    win32_native::FrameRect whole = win32_native::FitFrame(0, 0, 800, 600);
    EXPECT_EQ(whole.width, 800) << "a frame of no size leaves the area as it is";
    EXPECT_EQ(whole.height, 600);
}

}  // namespace
