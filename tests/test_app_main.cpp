// The whole program in one process: WinMain with headless windows and the null
// device back end, driven from the Present hook. Each test runs in its own
// process (the program keeps run-once state in globals).
#include <gtest/gtest.h>

#include <d3d9.h>

#include <string>
#include <vector>

#include "app/Globals.h"
#include "app/Main.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "platform/win32/native.h"
#include "tests/support/program_fixtures.h"

namespace pt = platform_testing;

namespace {

using program_fixtures::kInstance;

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override { program_fixtures::ArrangeProgram(); }
    int Run() { return program_fixtures::RunProgram(); }
    int Count(const std::string& prefix) {
        int n = 0;
        for (const std::string& c : pt::D3D9Calls())
            if (c.compare(0, prefix.size(), prefix) == 0) ++n;
        return n;
    }
};

TEST_F(ProgramTest, EscapeEndsTheLoopAfterTheFrameInWhichItWasSeen) {
    int hiddenDuringLoop = 0;
    pt::SetD3D9PresentHook([&](unsigned frame) {
        hiddenDuringLoop = pt::CursorDisplayCount();
        if (frame == 3) pt::SetAsyncKeyState(VK_ESCAPE, true, true);
    });
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(pt::D3D9PresentCount(), 3u);
    EXPECT_EQ(hiddenDuringLoop, -1);
    EXPECT_EQ(pt::CursorDisplayCount(), 0);  // shown again
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 0);
    EXPECT_EQ(g_Device, nullptr);
    EXPECT_EQ(g_D3D, nullptr);
    EXPECT_EQ(g_BackBuffer, nullptr);
    EXPECT_EQ(pt::DebugOutputText(), "");
    // The window is never destroyed by the program itself.
    EXPECT_TRUE(IsWindow(g_hWnd));
    EXPECT_EQ(g_hInstance, kInstance);
}

TEST_F(ProgramTest, EachFrameClearsToBlackAndPresentsInsideTheScene) {
    pt::SetD3D9PresentHook([](unsigned frame) {
        if (frame == 2) pt::SetAsyncKeyState(VK_ESCAPE, true, false);
    });
    EXPECT_EQ(Run(), 0);
    int clear = pt::FindD3D9Call("Clear(0,null,3,0xff000000,1,0)");
    int begin = pt::FindD3D9Call("BeginScene()");
    int end = pt::FindD3D9Call("EndScene()");
    int present = pt::FindD3D9Call("Present(");
    ASSERT_GE(clear, 0);
    EXPECT_LT(clear, begin);
    EXPECT_LT(begin, end);
    EXPECT_LT(end, present);
    EXPECT_EQ(Count("Present("), 2);
    EXPECT_EQ(Count("Clear("), 2);
}

TEST_F(ProgramTest, TheCloseButtonQuitsThroughDestroy) {
    pt::SetD3D9PresentHook([](unsigned frame) {
        if (frame == 2) pt::PressCloseButton(g_hWnd);
    });
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(pt::D3D9PresentCount(), 2u);
    EXPECT_FALSE(IsWindow(g_hWnd));
    EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 0);
    EXPECT_EQ(pt::CursorDisplayCount(), 0);
}

// Takes the queue; true when a quit message was in it.
bool QuitPosted() {
    MSG m;
    bool quit = false;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE))
        if (m.message == WM_QUIT) quit = true;
    return quit;
}

TEST_F(ProgramTest, WindowProcedure) {
    HWND w = program_fixtures::MakeProgramWindow("", MsgProc);
    ASSERT_NE(w, nullptr);
    ShowWindow(w, SW_SHOWNORMAL);

    EXPECT_EQ(MsgProc(w, WM_PAINT, 0, 0), 0);
    EXPECT_FALSE(QuitPosted());  // and no WM_PAINT left either
    EXPECT_EQ(MsgProc(w, WM_CREATE, 0, 0), 0);
    EXPECT_EQ(MsgProc(w, WM_NCCREATE, 0, 0), TRUE);

    // Key messages ask for Escape's state, whatever key they carry.
    EXPECT_EQ(MsgProc(w, WM_KEYDOWN, VK_ESCAPE, 1), 0);
    EXPECT_FALSE(QuitPosted());
    pt::SetAsyncKeyState(VK_ESCAPE, true, false);
    EXPECT_EQ(MsgProc(w, WM_KEYDOWN, 'A', 1), 0);
    EXPECT_TRUE(QuitPosted());
    pt::SetAsyncKeyState(VK_ESCAPE, false, true);  // tapped since the last question
    MsgProc(w, WM_KEYDOWN, 'A', 1);
    EXPECT_TRUE(QuitPosted());
    pt::SetAsyncKeyState(VK_ESCAPE, false, false);

    EXPECT_EQ(MsgProc(w, WM_DESTROY, 0, 0), 0);
    EXPECT_TRUE(QuitPosted());
    EXPECT_EQ(MsgProc(w, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(QuitPosted());
}

TEST_F(ProgramTest, AFailedStartUpReportsAndCleansUp) {
    struct Case {
        const char* what;
        void (*arrange)();
        const char* output;
    } cases[] = {
        {"device", [] { pt::FailD3D9CreateDevice(pt::D3D9DeviceFailure::Always); },
         "Initialization Failed\n"},
        {"full-screen device",
         [] {
             pt::SetMessageBoxAnswer(IDYES);
             pt::FailD3D9CreateDevice(pt::D3D9DeviceFailure::FullScreenOnly);
         },
         "Initialization Failed\n"},
        {"full screen refused by the display",
         [] {
             pt::SetMessageBoxAnswer(IDYES);
             pt::RefuseFullscreen(true);
         },
         "Initialization Failed\n"},
        {"Direct3D", [] { pt::FailDirect3DCreate9(true); }, "Initialization Failed\n"},
        {"back buffer", [] { pt::FailD3D9GetBackBuffer(true); },
         "ERROR: Couldnt get backbuffer\nInitialization Failed\n"},
        {"back buffer, after the device went full screen",
         [] {
             pt::SetMessageBoxAnswer(IDYES);
             pt::FailD3D9GetBackBuffer(true);
         },
         "ERROR: Couldnt get backbuffer\nInitialization Failed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.arrange();
        EXPECT_EQ(Run(), E_FAIL);
        EXPECT_EQ(pt::DebugOutputText(), c.output);
        std::vector<std::string> last(pt::DebugOutput().end() - 2, pt::DebugOutput().end());
        EXPECT_EQ(last, (std::vector<std::string>{"Initialization Failed", "\n"}));
        EXPECT_EQ(pt::D3D9PresentCount(), 0u);
        EXPECT_EQ(pt::CursorDisplayCount(), 0);  // never hidden
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 0);
        EXPECT_EQ(g_D3D, nullptr);
        EXPECT_EQ(g_Device, nullptr);
        EXPECT_FALSE(win32_native::IsFullscreen(g_hWnd)) << "the desktop is given back";
    }
}

TEST_F(ProgramTest, NoWindowClassOrNoWindowEndsAtOnceWithZero) {
    for (bool failClass : {true, false}) {
        SCOPED_TRACE(failClass ? "class" : "window");
        SetUp();
        if (failClass)
            pt::FailRegisterClass(true);
        else
            pt::FailCreateWindow(true);
        EXPECT_EQ(Run(), 0);
        EXPECT_TRUE(pt::MessageBoxes().empty());
        EXPECT_EQ(pt::LastD3D9Device().calls, 0);
        EXPECT_EQ(pt::DebugOutputText(), "");
    }
}

TEST_F(ProgramTest, FrameStampsAroundTheUpdate) {
    // The update takes 7 ms of the fake clock; nothing else does.
    pt::SetFakeClockMs(5000);
    std::vector<DWORD> starts, lastEnds;
    pt::SetD3D9PresentHook([&](unsigned frame) {
        starts.push_back(g_FrameStartMs);
        lastEnds.push_back(g_LastUpdateEndMs);
        pt::AdvanceFakeClockMs(7);
        if (frame == 3) pt::SetAsyncKeyState(VK_ESCAPE, true, false);
    });
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(starts, (std::vector<DWORD>{5000, 5007, 5014}));
    // Zero before the first frame, then one less than the end of the update.
    EXPECT_EQ(lastEnds, (std::vector<DWORD>{0, 5006, 5013}));
    EXPECT_EQ(g_LastUpdateEndMs, 5020u);
}

}  // namespace
