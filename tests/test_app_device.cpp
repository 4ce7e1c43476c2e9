// The start question and the device made from its answer, on the null back end.
#include <gtest/gtest.h>

#include <d3dx9.h>

#include "app/Device.h"
#include "app/Globals.h"
#include "app/Utility.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/program_fixtures.h"

namespace pt = platform_testing;

namespace {

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { Fresh(); }
    // Everything back to the start, with a new main window.
    void Fresh() {
        pt::ResetWin32();
        pt::ResetD3D9();
        pt::SetHeadlessWindows(true);
        pt::UseNullD3D9();
        window_ = program_fixtures::MakeProgramWindow("BRANTO - by MERVO");
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        if (device_) device_->Release();
        if (d3d_) d3d_->Release();
        g_ModeWidth = 1024;
        EXPECT_EQ(layer::LiveObjects(layer::ObjectFamily::Direct3D), 0);
    }

    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

TEST_F(DeviceTest, AsksTheQuestionWithTheModeInWindows1252) {
    pt::SetMessageBoxAnswer(IDNO);
    ASSERT_EQ(CreateD3DDevice(&d3d_, &device_, window_, 0, 0), S_OK);
    ASSERT_EQ(pt::MessageBoxes().size(), 1u);
    const pt::MessageBoxRecord& box = pt::MessageBoxes()[0];
    EXPECT_EQ(box.text, "Modalit\xE0 schermo-intero? (1024x768x16)");
    EXPECT_EQ(box.caption, "Apertura Applicazione");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(box.owner, window_);
}

TEST_F(DeviceTest, TheAnswerChoosesFullScreenOrAWindowOfTheModesClientSize) {
    struct Case {
        int answer;        // preset answer of the box
        int windowedOnly;  // 1 skips the box
        bool fullScreen;
    } cases[] = {{IDYES, 0, true}, {IDNO, 0, false}, {0, 0, false}, {IDYES, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "answer " << c.answer << " windowedOnly " << c.windowedOnly);
        Fresh();
        pt::SetMessageBoxAnswer(c.answer);
        IDirect3D9* d3d = nullptr;
        IDirect3DDevice9* device = nullptr;
        ASSERT_EQ(CreateD3DDevice(&d3d, &device, window_, c.windowedOnly, 0), S_OK);
        EXPECT_EQ(pt::MessageBoxes().size(), c.windowedOnly == 1 ? 0u : 1u);

        const D3DPRESENT_PARAMETERS& pp = pt::LastD3D9Device().presentParameters;
        D3DDISPLAYMODE desktop = {};
        d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
        EXPECT_EQ(pp.BackBufferWidth, 1024u);
        EXPECT_EQ(pp.BackBufferHeight, 768u);
        EXPECT_EQ(pp.BackBufferFormat, c.fullScreen ? D3DFMT_A8R8G8B8 : desktop.Format);
        EXPECT_EQ(pp.Windowed, c.fullScreen ? FALSE : TRUE);
        EXPECT_EQ(pp.BackBufferCount, 1u);
        EXPECT_EQ(pp.MultiSampleType, D3DMULTISAMPLE_NONE);
        EXPECT_EQ(pp.SwapEffect, D3DSWAPEFFECT_COPY);
        EXPECT_EQ(pp.hDeviceWindow, nullptr);
        EXPECT_EQ(pp.EnableAutoDepthStencil, TRUE);
        EXPECT_EQ(pp.AutoDepthStencilFormat, D3DFMT_D16);
        EXPECT_EQ(pp.Flags, static_cast<DWORD>(D3DPRESENTFLAG_LOCKABLE_BACKBUFFER));
        EXPECT_EQ(pp.FullScreen_RefreshRateInHz, 0u);
        EXPECT_EQ(pp.PresentationInterval, static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE));
        EXPECT_EQ(std::memcmp(&pp, &g_PresentParams, sizeof pp), 0);
        EXPECT_EQ(pt::LastD3D9Device().focusWindow, window_);
        EXPECT_EQ(pt::LastD3D9Device().behaviorFlags,
                  static_cast<DWORD>(D3DCREATE_HARDWARE_VERTEXPROCESSING));

        RECT client, frame;
        GetClientRect(window_, &client);
        GetWindowRect(window_, &frame);
        EXPECT_EQ(frame.left, 0);
        EXPECT_EQ(frame.top, 0);
        if (c.fullScreen) {  // not moved
            EXPECT_EQ(frame.right, 1024);
            EXPECT_EQ(frame.bottom, 768);
        } else {
            EXPECT_EQ(client.right, 1024);
            EXPECT_EQ(client.bottom, 768);
        }
        device->Release();
        d3d->Release();
    }
}

TEST_F(DeviceTest, MultithreadedAddsItsFlag) {
    ASSERT_EQ(CreateD3DDevice(&d3d_, &device_, window_, 1, 1), S_OK);
    EXPECT_EQ(pt::LastD3D9Device().behaviorFlags, 0x44u);
}

TEST_F(DeviceTest, ProjectionAndFirstStates) {
    ASSERT_EQ(CreateD3DDevice(&d3d_, &device_, window_, 1, 0), S_OK);
    D3DMATRIX p;
    ASSERT_EQ(device_->GetTransform(D3DTS_PROJECTION, &p), S_OK);
    const float expected[4][4] = {{1.8106601f, 0, 0, 0},
                                  {0, 2.4142136f, 0, 0},
                                  {0, 0, 1.00010001f, 1},
                                  {0, 0, -1.00010001f, 0}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(p.m[r][c], expected[r][c], 1e-5) << r << "," << c;

    struct State {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } states[] = {{D3DRS_LIGHTING, FALSE},
                  {D3DRS_ZENABLE, TRUE},
                  {D3DRS_ALPHABLENDENABLE, FALSE},
                  {D3DRS_ALPHATESTENABLE, FALSE}};
    for (const State& s : states) {
        DWORD v = 12345;
        device_->GetRenderState(s.state, &v);
        EXPECT_EQ(v, s.value) << s.state;
    }
    DWORD v = 0;
    device_->GetTextureStageState(0, D3DTSS_COLORARG1, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTA_TEXTURE));
    device_->GetTextureStageState(0, D3DTSS_COLORARG2, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTA_DIFFUSE));
    device_->GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_MODULATE));
    device_->GetSamplerState(0, D3DSAMP_MAGFILTER, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_LINEAR));
    device_->GetSamplerState(0, D3DSAMP_MINFILTER, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_LINEAR));
}

TEST_F(DeviceTest, TheModeSizesBothTheQuestionAndTheBackBuffer) {
    g_ModeWidth = 800;
    pt::SetMessageBoxAnswer(IDNO);
    ASSERT_EQ(CreateD3DDevice(&d3d_, &device_, window_, 0, 0), S_OK);
    EXPECT_EQ(pt::MessageBoxes()[0].text, "Modalit\xE0 schermo-intero? (800x768x16)");
    EXPECT_EQ(pt::LastD3D9Device().presentParameters.BackBufferWidth, 800u);
    RECT client;
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, 800);
}

TEST_F(DeviceTest, AFailedDeviceGivesItsResultAndKeepsTheDirect3DObject) {
    pt::FailD3D9CreateDevice(pt::D3D9DeviceFailure::FullScreenOnly, D3DERR_NOTAVAILABLE);
    pt::SetMessageBoxAnswer(IDYES);
    IDirect3DDevice9* untouched = reinterpret_cast<IDirect3DDevice9*>(0x1234);
    device_ = untouched;
    EXPECT_EQ(CreateD3DDevice(&d3d_, &device_, window_, 0, 0), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device_, untouched);
    device_ = nullptr;
    EXPECT_NE(d3d_, nullptr);
}

TEST_F(DeviceTest, NullArgumentsOrNoDirect3DFailWithoutAQuestion) {
    EXPECT_EQ(CreateD3DDevice(nullptr, &device_, window_, 0, 0), E_FAIL);
    EXPECT_EQ(CreateD3DDevice(&d3d_, nullptr, window_, 0, 0), E_FAIL);
    EXPECT_EQ(CreateD3DDevice(&d3d_, &device_, nullptr, 0, 0), E_FAIL);
    pt::FailDirect3DCreate9(true);
    EXPECT_EQ(CreateD3DDevice(&d3d_, &device_, window_, 0, 0), E_FAIL);
    EXPECT_EQ(d3d_, nullptr);
    EXPECT_EQ(device_, nullptr);
    EXPECT_TRUE(pt::MessageBoxes().empty());
    EXPECT_TRUE(pt::DebugOutput().empty());
}

TEST_F(DeviceTest, ClearRectClearsOneRectangleOfTheTargetOnly) {
    ASSERT_EQ(CreateD3DDevice(&d3d_, &device_, window_, 1, 0), S_OK);
    pt::ClearD3D9Calls();
    D3DRECT r = {10, 20, 30, 40};
    ClearRect(&r, 0xFF00FF00, device_);
    ASSERT_EQ(pt::D3D9Calls().size(), 1u);
    EXPECT_EQ(pt::D3D9Calls()[0], "Clear(1,[{10,20,30,40}],1,0xff00ff00,0,0)");
}

}  // namespace
