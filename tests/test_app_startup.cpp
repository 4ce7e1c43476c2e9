// The application's start-up, clean-up, frames and exit, run whole through
// WinMain on headless windows and the null device. Each test runs in its own
// process: the program keeps run-once state in globals.
#include <gtest/gtest.h>

#include <d3dx9.h>
#include <dinput.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Globals.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/program_fixtures.h"

namespace pt = platform_testing;
using layer::LiveObjects;
using layer::ObjectFamily;
using pt::InputCall;
using pt::InputObject;

namespace {

using program_fixtures::ArrangeProgram;
using program_fixtures::RunFrames;
using program_fixtures::RunProgram;

D3DXVECTOR3 PositionOf(Camera& c) {
    D3DXVECTOR3 v;
    c.GetPosition(&v.x, &v.y, &v.z);
    return v;
}

DWORD RenderState(D3DRENDERSTATETYPE state) {
    DWORD value = 0xDEADBEEF;
    g_Device->GetRenderState(state, &value);
    return value;
}

// --- start-up that stops ---

struct Failure {
    const char* name;
    void (*arrange)();
    const char* output;
};

void PrintTo(const Failure& f, std::ostream* os) { *os << f.name; }

class StartUpFailure : public ::testing::TestWithParam<Failure> {};

TEST_P(StartUpFailure, ReportsEndsWithEFailAndReleasesWhatWasMade) {
    ArrangeProgram();
    GetParam().arrange();
    EXPECT_EQ(RunProgram(), E_FAIL);
    EXPECT_EQ(pt::DebugOutputText(), GetParam().output);
    EXPECT_EQ(pt::D3D9PresentCount(), 0u);
    EXPECT_EQ(pt::CursorDisplayCount(), 0);  // never hidden
    EXPECT_EQ(LiveObjects(ObjectFamily::Direct3D), 0);
    EXPECT_EQ(LiveObjects(ObjectFamily::D3DX), 0);  // the font went with the clean-up
    EXPECT_EQ(g_D3D, nullptr);
    EXPECT_EQ(g_Device, nullptr);
    EXPECT_EQ(g_BackBuffer, nullptr);
    EXPECT_EQ(g_Font, nullptr);
    EXPECT_EQ(g_DirectInput, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StartUpFailure,
    ::testing::Values(
        Failure{"Device", [] { pt::FailD3D9CreateDevice(pt::D3D9DeviceFailure::Always); },
                "Initialization Failed\n"},
        Failure{"BackBuffer", [] { pt::FailD3D9GetBackBuffer(true); },
                "ERROR: Couldnt get backbuffer\nInitialization Failed\n"},
        Failure{"DirectInput", [] { pt::FailDirectInput8Create(true); },
                "ERROR: Failed to create DirectInput\nERROR: Unable to initialize input\n"
                "Initialization Failed\n"},
        Failure{"KeyboardAcquire",
                [] { pt::ScriptDirectInput(InputObject::Keyboard, InputCall::Acquire, {E_FAIL}); },
                "ERROR: Unable to acquire the keyboard\nERROR: Failed to initialize keyboard\n"
                "ERROR: Unable to initialize input\nInitialization Failed\n"},
        Failure{"MouseLevel",
                [] {
                    pt::ScriptDirectInput(InputObject::Mouse, InputCall::SetCooperativeLevel,
                                          {E_FAIL});
                },
                "ERROR: Unable to set the cooperative level for the mouse\n"
                "ERROR: Unable to initialize mouse\nERROR: Unable to initialize input\n"
                "Initialization Failed\n"}),
    [](const ::testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

// A missing font is reported and the program runs on without texts.
TEST(StartUp, WithoutTheFontTheProgramRunsOn) {
    ArrangeProgram();
    pt::FailD3DXCreateFont(true);
    pt::RecordD3DXTexts();
    EXPECT_EQ(RunFrames([](unsigned frame) { return frame == 2; }), 0);
    EXPECT_EQ(pt::DebugOutputText(), "Impossibile caricare il font necessario\n");
    EXPECT_EQ(pt::D3D9PresentCount(), 2u);
    EXPECT_TRUE(pt::D3DXTextsDrawn().empty());
}

// --- start-up that completes, and the frames ---

TEST(StartUp, PlacesTheCamerasAndTheCursorAndLightsTheScene) {
    ArrangeProgram();
    bool checked = false;
    EXPECT_EQ(RunFrames([&](unsigned) {
                  EXPECT_EQ(g_CursorX, 512);
                  EXPECT_EQ(g_CursorY, 384);
                  EXPECT_EQ(RenderState(D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
                  EXPECT_EQ(RenderState(D3DRS_AMBIENT), 0xFFC8C8C8u);
                  // From the character's position, the origin while there is no character.
                  D3DXVECTOR3 follow = PositionOf(g_FollowCamera);
                  D3DXVECTOR3 look = PositionOf(g_LookCamera);
                  EXPECT_EQ(follow, D3DXVECTOR3(0.0f, 2.0f, 2.0f));
                  EXPECT_EQ(look, D3DXVECTOR3(0.0f, 0.7f, 0.5f));
                  EXPECT_EQ(g_CameraOffset, D3DXVECTOR3(0.0f, 2.0f, 2.0f));
                  EXPECT_NE(g_Font, nullptr);
                  EXPECT_NE(g_DirectInput, nullptr);
                  checked = true;
                  return true;
              }),
              0);
    EXPECT_TRUE(checked);
    ASSERT_FALSE(pt::D3DXFontsCreated().empty());
    EXPECT_EQ(pt::D3DXFontsCreated()[0].faceName, "Viner Hand ITC");
    EXPECT_EQ(pt::D3DXFontsCreated()[0].height, -19);
    EXPECT_EQ(pt::DebugOutputText(), "");
    // The ambient colour is set after lighting is switched on, both after the device's own states.
    int lighting = pt::FindD3D9Call("SetRenderState(137,1)");
    int ambient = pt::FindD3D9Call("SetRenderState(139,4291348680)");
    EXPECT_GE(lighting, 0);
    EXPECT_GT(ambient, lighting);
    EXPECT_GT(lighting, pt::FindD3D9Call("SetSamplerState("));
}

TEST(Frames, TheFirstFrameStartsTheClocksAndUsesTheFollowCamera) {
    ArrangeProgram();
    pt::SetFakeClockMs(10000);
    EXPECT_EQ(RunFrames([](unsigned frame) {
                  if (frame == 1) {
                      EXPECT_EQ(g_ElapsedMs, 1u);
                      EXPECT_EQ(g_FrameDeltaMs, 10000u);  // nothing came before
                      EXPECT_EQ(g_UseFollowCamera, 1);
                      D3DMATRIX view;
                      g_Device->GetTransform(D3DTS_VIEW, &view);
                      const D3DXMATRIX& follow = *g_FollowCamera.GetViewMatrix();
                      for (int r = 0; r < 4; ++r)
                          for (int c = 0; c < 4; ++c) EXPECT_EQ(view.m[r][c], follow.m[r][c]);
                      // Aimed at the target at the origin from (0, 2, 2), looking a little higher.
                      float x, y, z;
                      g_FollowCamera.GetLook(&x, &y, &z);
                      float expected = -1.0f / std::sqrt(2.0f) + 0.2f;
                      float len = std::sqrt(0.5f + expected * expected);
                      EXPECT_NEAR(x, 0.0f, 1e-6f);
                      EXPECT_NEAR(y, expected / len, 1e-5f);
                      EXPECT_NEAR(z, -std::sqrt(0.5f) / len, 1e-5f);
                  }
                  pt::AdvanceFakeClockMs(5);
                  return frame == 3;
              }),
              0);
    EXPECT_EQ(g_ElapsedMs, 11u);
}

TEST(Frames, EachFrameClearsDrawsTheTextsSetsTheViewAndPresents) {
    ArrangeProgram();
    pt::RecordD3DXTexts();
    std::vector<std::vector<pt::D3DXTextRecord>> texts;
    std::vector<std::string> calls;
    pt::SetFakeClockMs(20000);
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  texts.push_back(pt::D3DXTextsDrawn());
                  pt::ClearD3DXTexts();
                  if (frame == 1) calls = pt::D3D9Calls();
                  pt::AdvanceFakeClockMs(100);
                  return frame == 11;
              }),
              0);
    ASSERT_EQ(texts.size(), 11u);
    struct Expected {
        const char* text;
        LONG x, y;
    } expected[] = {
        {"Frame Rate:", 81, 30}, {"1", 204, 30}, {"ESC to exit", 819, 30}, {"TNX to MERVO", 819, 691}};
    ASSERT_EQ(texts[0].size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(texts[0][i].text, expected[i].text);
        EXPECT_EQ(texts[0][i].x, expected[i].x);
        EXPECT_EQ(texts[0][i].y, expected[i].y);
        EXPECT_EQ(texts[0][i].color, 0xFFFFFFFFu);
    }
    // The figure: the first frame's 1, then the ten frames of the next second.
    EXPECT_EQ(texts[9][1].text, "1");
    EXPECT_EQ(texts[10][1].text, "10");

    auto at = [&](const std::string& prefix, size_t from = 0) {
        for (size_t i = from; i < calls.size(); ++i)
            if (calls[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
        return -1;
    };
    int clear = at("Clear(0,null,3,0xff000000,1,0)");
    int begin = at("BeginScene()");
    int view = at("SetTransform(2,", begin);
    int end = at("EndScene()");
    int present = at("Present(");
    ASSERT_GE(clear, 0);
    EXPECT_LT(clear, begin);
    EXPECT_LT(begin, view);
    EXPECT_LT(view, end);
    EXPECT_LT(end, present);
}

// C held for 1.2 s switches at once, then 500 and 1000 ms later.
TEST(Frames, AHeldCSwitchesTheCameraEveryHalfSecond) {
    ArrangeProgram();
    pt::SetFakeClockMs(10000);
    pt::SetKeyByte(DIK_C, 0x80);
    std::vector<DWORD> switches;
    BYTE last = 1;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  if (g_UseFollowCamera != last) switches.push_back(timeGetTime());
                  last = g_UseFollowCamera;
                  // The view on the device is the active camera's.
                  D3DMATRIX view;
                  g_Device->GetTransform(D3DTS_VIEW, &view);
                  Camera& active = g_UseFollowCamera ? g_FollowCamera : g_LookCamera;
                  EXPECT_EQ(std::memcmp(&view, active.GetViewMatrix(), sizeof view), 0) << frame;
                  pt::AdvanceFakeClockMs(100);
                  if (timeGetTime() >= 11200) pt::SetKeyByte(DIK_C, 0);
                  return frame == 20;
              }),
              0);
    EXPECT_EQ(switches, (std::vector<DWORD>{10000, 10500, 11000}));
    EXPECT_EQ(g_UseFollowCamera, 0);
}

// Mouse movement (10, -5) turns the look camera by 0.02 and -0.01 in that frame
// and moves the program's cursor, which stays 20 pixels inside the screen.
TEST(Frames, TheMouseMovesTheCursorAndTurnsTheLookCamera) {
    ArrangeProgram();
    struct Seen {
        float yaw, pitch;
        int x, y;
    };
    std::vector<Seen> seen;
    EXPECT_EQ(RunFrames([&](unsigned frame) {
                  Seen s;
                  g_LookCamera.GetYaw(&s.yaw);
                  g_LookCamera.GetPitch(&s.pitch);
                  s.x = g_CursorX;
                  s.y = g_CursorY;
                  seen.push_back(s);
                  if (frame == 1) pt::QueueMouseMotion(10, -5);
                  // The next read fails: its frame must not move by (10, -5) again.
                  if (frame == 2)
                      pt::ScriptDirectInput(InputObject::Mouse, InputCall::GetDeviceState,
                                            {DIERR_NOTACQUIRED});
                  if (frame == 3) pt::QueueMouseMotion(-5000, 5000);
                  return frame == 4;
              }),
              0);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].yaw, 0.0f);
    EXPECT_EQ(seen[0].x, 512);
    EXPECT_NEAR(seen[1].yaw, 0.02f, 1e-7f);
    EXPECT_NEAR(seen[1].pitch, -0.01f, 1e-7f);
    EXPECT_EQ(seen[1].x, 522);
    EXPECT_EQ(seen[1].y, 379);
    EXPECT_EQ(seen[2].yaw, 0.0f);
    EXPECT_EQ(seen[2].pitch, 0.0f);
    EXPECT_EQ(seen[2].x, 522);
    EXPECT_EQ(seen[2].y, 379);
    EXPECT_EQ(seen[3].x, 0);
    EXPECT_EQ(seen[3].y, 748);
}

// --- clean-up ---

// Stands in for the Direct3D object to see what is left when it is released.
class WatchedDirect3D : public IDirect3D9 {
public:
    explicit WatchedDirect3D(IDirect3D9* real, std::function<void()> onRelease)
        : real_(real), onRelease_(std::move(onRelease)) {}
    HRESULT QueryInterface(REFIID riid, void** out) override { return real_->QueryInterface(riid, out); }
    ULONG AddRef() override { return real_->AddRef(); }
    ULONG Release() override {
        onRelease_();
        return real_->Release();
    }
    UINT GetAdapterCount() override { return real_->GetAdapterCount(); }
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
        return real_->GetAdapterDisplayMode(adapter, mode);
    }
    HRESULT CreateDevice(UINT a, D3DDEVTYPE t, HWND w, DWORD f, D3DPRESENT_PARAMETERS* p,
                         IDirect3DDevice9** d) override {
        return real_->CreateDevice(a, t, w, f, p, d);
    }

private:
    IDirect3D9* real_;
    std::function<void()> onRelease_;
};

TEST(CleanUp, ReleasesInItsOrderEndingWithTheDirect3DObject) {
    ArrangeProgram();
    g_hWnd = program_fixtures::MakeProgramWindow();
    ASSERT_EQ(InitApplication(g_hWnd), 1);

    std::vector<std::string> order;
    pt::SetDirectInputCallHook([&](const std::string& line) {
        if (line.compare(0, 19, "DirectInput.Release") != 0) return;
        // The font and the back buffer are gone, the device is not.
        order.push_back("input font=" + std::to_string(LiveObjects(ObjectFamily::D3DX)) +
                        " backbuffer=" + (g_BackBuffer ? "set" : "null") +
                        " device=" + (g_Device ? "set" : "null"));
    });
    WatchedDirect3D watched(g_D3D, [&] {
        order.push_back("d3d device=" + std::string(g_Device ? "set" : "null") +
                        " live=" + std::to_string(LiveObjects(ObjectFamily::Direct3D)));
    });
    g_D3D = &watched;

    CleanupApplication();
    EXPECT_EQ(order, (std::vector<std::string>{"input font=0 backbuffer=null device=set",
                                               "d3d device=null live=1"}));
    EXPECT_EQ(LiveObjects(ObjectFamily::Direct3D), 0);
    EXPECT_EQ(g_Font, nullptr);  // cleared with its release
    EXPECT_EQ(g_BackBuffer, nullptr);
    EXPECT_EQ(g_DirectInput, nullptr);
    EXPECT_EQ(g_Device, nullptr);
    EXPECT_EQ(g_D3D, nullptr);

    // A second clean-up finds nothing left to release.
    order.clear();
    CleanupApplication();
    EXPECT_TRUE(order.empty());
    // The keyboard and mouse keep their devices (and through them the object) until exit.
    EXPECT_EQ(LiveObjects(ObjectFamily::DirectInput), 3);
}

// After WinMain the C runtime destroys the globals: the mouse and then the
// keyboard release their devices, after the device and the font are gone,
// and with them the last DirectInput object.
TEST(Exit, TheInputDevicesGoLastAndNothingIsLeft) {
    EXPECT_EXIT(
        {
            ArrangeProgram();
            int result = RunFrames([](unsigned frame) { return frame == 2; });
            pt::SetDirectInputCallHook([](const std::string& line) {
                std::fprintf(stderr, "%s [d3d %d, font %d, input %d]\n", line.c_str(),
                             LiveObjects(ObjectFamily::Direct3D), LiveObjects(ObjectFamily::D3DX),
                             LiveObjects(ObjectFamily::DirectInput));
            });
            std::exit(result);
        },
        ::testing::ExitedWithCode(0),
        "^Mouse\\.Unacquire\\(\\) = 0x0 \\[d3d 0, font 0, input 3\\]\n"
        "Mouse\\.Release\\(\\) = 0 \\[d3d 0, font 0, input 2\\]\n"
        "Keyboard\\.Unacquire\\(\\) = 0x0 \\[d3d 0, font 0, input 2\\]\n"
        "Keyboard\\.Release\\(\\) = 0 \\[d3d 0, font 0, input 0\\]\n$");
}

// A start-up that stopped early leaves objects that never got their data: the
// exit is as safe.
TEST(Exit, AfterAFailedStartUpTheExitIsSafeToo) {
    EXPECT_EXIT(
        {
            ArrangeProgram();
            pt::ScriptDirectInput(InputObject::Mouse, InputCall::SetDataFormat, {E_FAIL});
            int result = RunProgram();
            pt::SetDirectInputCallHook([](const std::string& line) {
                std::fprintf(stderr, "%s [input %d]\n", line.c_str(),
                             LiveObjects(ObjectFamily::DirectInput));
            });
            // The status as the program's entry gives it: the low byte of E_FAIL.
            std::exit(result == E_FAIL ? 5 : 1);
        },
        ::testing::ExitedWithCode(5),
        "Mouse\\.Unacquire\\(\\) = 0x1 \\[input 3\\]\nMouse\\.Release\\(\\) = 0 \\[input 2\\]\n"
        "Keyboard\\.Unacquire\\(\\) = 0x0 \\[input 2\\]\nKeyboard\\.Release\\(\\) = 0 \\[input 0\\]\n$");
}

}  // namespace
