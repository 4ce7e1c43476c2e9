// The application core's pieces on their own: the camera's maths, the text
// font and its colours, the frame-rate counter. On the null device back end.
#include <gtest/gtest.h>

#include <d3dx9.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "app/Camera.h"
#include "app/Device.h"
#include "app/Globals.h"
#include "app/Text.h"
#include "app/Timer.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/program_fixtures.h"

namespace pt = platform_testing;

namespace {

// A window and a null device in g_hWnd and g_Device.
class CoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetWin32();
        pt::ResetD3D9();
        pt::ResetD3DXFont();
        pt::SetHeadlessWindows(true);
        pt::UseNullD3D9();
        g_hWnd = program_fixtures::MakeProgramWindow();
        ASSERT_NE(g_hWnd, nullptr);
        ASSERT_EQ(CreateD3DDevice(&g_D3D, &g_Device, g_hWnd, 1, 0), S_OK);
        pt::ClearD3D9Calls();
    }
    void TearDown() override {
        if (g_Font) g_Font->Release();
        g_Font = NULL;
        if (g_Device) g_Device->Release();
        if (g_D3D) g_D3D->Release();
        g_Device = NULL;
        g_D3D = NULL;
        EXPECT_EQ(layer::LiveObjectsTotal(), 0);
    }
};

D3DXVECTOR3 Position(Camera& c) {
    D3DXVECTOR3 v;
    c.GetPosition(&v.x, &v.y, &v.z);
    return v;
}
D3DXVECTOR3 Look(Camera& c) {
    D3DXVECTOR3 v;
    c.GetLook(&v.x, &v.y, &v.z);
    return v;
}
D3DXVECTOR3 Up(Camera& c) {
    D3DXVECTOR3 v;
    c.GetUp(&v.x, &v.y, &v.z);
    return v;
}
D3DXVECTOR3 Right(Camera& c) {
    D3DXVECTOR3 v;
    c.GetRight(&v.x, &v.y, &v.z);
    return v;
}

void ExpectNear(const D3DXVECTOR3& v, float x, float y, float z, float eps = 1e-5f) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (a.m[r][c] != b.m[r][c]) return false;
    return true;
}

// --- camera ---

TEST_F(CoreTest, ACameraAtItsStartLooksDownMinusZAndSetsItsView) {
    Camera camera;
    D3DXMATRIX zero;
    EXPECT_TRUE(SameMatrix(*camera.GetViewMatrix(), zero));  // not a view until the first update
    ExpectNear(Position(camera), 0, 0, -1);
    ExpectNear(Look(camera), 0, 0, -1);

    camera.SetPosition(0.0f, 2.0f, 5.0f);
    camera.UpdateView();
    ExpectNear(Look(camera), 0, 0, -1);
    ExpectNear(Right(camera), -1, 0, 0);
    ExpectNear(Up(camera), 0, 1, 0);
    const D3DXMATRIX expected(-1, 0, 0, 0,  //
                              0, 1, 0, 0,   //
                              0, 0, -1, 0,  //
                              0, -2, 5, 1);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(camera.GetViewMatrix()->m[r][c], expected.m[r][c], 1e-6f);
    D3DMATRIX onDevice;
    ASSERT_EQ(g_Device->GetTransform(D3DTS_VIEW, &onDevice), D3D_OK);
    EXPECT_TRUE(SameMatrix(onDevice, *camera.GetViewMatrix()));
    EXPECT_EQ(pt::FindD3D9Call("SetTransform(2,"), 0);
}

TEST_F(CoreTest, TheTurnAnglesActAgainAtEveryUpdate) {
    Camera camera;
    camera.SetYaw(0.01f);
    D3DXVECTOR3 before = Look(camera);
    for (int i = 0; i < 20; ++i) {
        camera.UpdateView();
        D3DXVECTOR3 after = Look(camera);
        EXPECT_NEAR(std::acos(std::min(1.0f, D3DXVec3Dot(&before, &after))), 0.01f, 2e-4f) << i;
        before = after;
    }
    // Yaw turns about the up axis: the camera stays level.
    EXPECT_NEAR(Look(camera).y, 0.0f, 1e-5f);
    EXPECT_NEAR(std::atan2(-Look(camera).x, -Look(camera).z), 0.2f, 1e-3f);

    // Back to 0: the turning stops where it is.
    camera.SetYaw(0.0f);
    D3DXVECTOR3 stopped = Look(camera);
    camera.UpdateView();
    camera.UpdateView();
    ExpectNear(Look(camera), stopped.x, stopped.y, stopped.z);

    // Pitch turns the look about the right axis.
    Camera tilted;
    tilted.SetPitch(0.1f);
    tilted.UpdateView();
    D3DXVECTOR3 look = Look(tilted), up = Up(tilted);
    EXPECT_NEAR(std::fabs(look.y), std::sin(0.1f), 1e-5f);
    EXPECT_NEAR(D3DXVec3Dot(&look, &up), 0.0f, 1e-5f);
}

TEST_F(CoreTest, TheVelocityMovesAlongTheAxesBeforeTheTurn) {
    Camera camera;
    camera.SetVelocity(0.0f, 0.0f, 1.0f);
    camera.SetYaw(0.5f);
    D3DXVECTOR3 look = Look(camera);
    camera.UpdateView();
    ExpectNear(Position(camera), look.x, look.y, look.z - 1.0f);  // along the look before turning
    D3DXVECTOR3 turned = Look(camera);
    D3DXVECTOR3 at = Position(camera);
    camera.UpdateView();
    ExpectNear(Position(camera), at.x + turned.x, at.y + turned.y, at.z + turned.z);

    // x along right, y along up.
    Camera sideways;
    sideways.SetVelocity(2.0f, 3.0f, 0.0f);
    sideways.UpdateView();
    ExpectNear(Position(sideways), 2.0f, 3.0f, -1.0f);
}

TEST_F(CoreTest, OnlyLookAndUpMatterRightIsRebuilt) {
    Camera a, b;
    b.SetRight(5.0f, -7.0f, 0.25f);
    a.SetLook(1.0f, 0.5f, 2.0f);
    b.SetLook(2.0f, 1.0f, 4.0f);  // the same direction, longer
    a.UpdateView();
    b.UpdateView();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.GetViewMatrix()->m[r][c], b.GetViewMatrix()->m[r][c], 1e-6f);
}

TEST_F(CoreTest, ResetAndCopyKeepWhatTheyDoNotName) {
    Camera camera;
    camera.SetPosition(4.0f, 5.0f, 6.0f);
    camera.SetYaw(0.3f);
    camera.SetRoll(0.2f);
    camera.SetVelocity(1.0f, 2.0f, 3.0f);
    camera.UpdateView();

    Camera copy;
    copy.CopyFrom(camera);
    D3DXMATRIX zero;
    EXPECT_TRUE(SameMatrix(*copy.GetViewMatrix(), zero));
    ExpectNear(Position(copy), Position(camera).x, Position(camera).y, Position(camera).z);
    float yaw = 0, roll = 0;
    copy.GetYaw(&yaw);
    copy.GetRoll(&roll);
    EXPECT_EQ(yaw, 0.3f);
    EXPECT_EQ(roll, 0.2f);
    copy.UpdateView();
    camera.UpdateView();
    EXPECT_TRUE(SameMatrix(*copy.GetViewMatrix(), *camera.GetViewMatrix()));

    D3DXMATRIX view = *camera.GetViewMatrix();
    EXPECT_EQ(camera.Reset(), 0);
    EXPECT_TRUE(SameMatrix(*camera.GetViewMatrix(), view));
    ExpectNear(Position(camera), 0, 0, -1);
    ExpectNear(Look(camera), 0, 0, 1);  // the other way from the constructor's
    ExpectNear(Up(camera), 0, 1, 0);
    ExpectNear(Right(camera), 1, 0, 0);
    camera.GetYaw(&yaw);
    EXPECT_EQ(yaw, 0.0f);
    D3DXVECTOR3 velocity;
    camera.GetVelocity(&velocity.x, &velocity.y, &velocity.z);
    ExpectNear(velocity, 1, 2, 3);
    EXPECT_EQ(camera.NoOp(), 0);
}

TEST_F(CoreTest, TheAxesStayOrthonormalThroughManyTurns) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> angle(-0.3f, 0.3f);
    std::uniform_real_distribution<float> any(-5.0f, 5.0f);
    Camera camera;
    for (int i = 0; i < 2000; ++i) {
        switch (random() % 6) {
            case 0: camera.SetYaw(angle(random)); break;
            case 1: camera.SetPitch(angle(random)); break;
            case 2: camera.SetRoll(angle(random)); break;
            case 3: camera.SetVelocity(any(random), any(random), any(random)); break;
            case 4: camera.SetLook(any(random), any(random), any(random)); break;
            default: break;
        }
        camera.UpdateView();
        D3DXVECTOR3 l = Look(camera), u = Up(camera), r = Right(camera);
        ASSERT_NEAR(D3DXVec3Length(&l), 1.0f, 1e-4f) << i;
        ASSERT_NEAR(D3DXVec3Length(&u), 1.0f, 1e-4f) << i;
        ASSERT_NEAR(D3DXVec3Length(&r), 1.0f, 1e-4f) << i;
        ASSERT_NEAR(D3DXVec3Dot(&l, &u), 0.0f, 1e-4f) << i;
        ASSERT_NEAR(D3DXVec3Dot(&l, &r), 0.0f, 1e-4f) << i;
        ASSERT_NEAR(D3DXVec3Dot(&u, &r), 0.0f, 1e-4f) << i;
    }
}

// A look along the up axis, or no look at all, has no right axis: the view
// must still be a matrix of numbers.
TEST_F(CoreTest, DegenerateAxesGiveNoNaN) {
    struct Case {
        float x, y, z;
    } looks[] = {{0, 1, 0}, {0, -3, 0}, {0, 0, 0}};
    for (const Case& c : looks) {
        Camera camera;
        camera.SetYaw(0.1f);
        camera.SetLook(c.x, c.y, c.z);
        camera.UpdateView();
        camera.UpdateView();
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k) EXPECT_TRUE(std::isfinite(camera.GetViewMatrix()->m[r][k]));
    }
}

// --- text ---

TEST_F(CoreTest, TheFontIsFourteenPointsAtTheScreensResolution) {
    struct Case {
        int dpi;
        INT height;
    } cases[] = {{96, -19}, {120, -23}, {72, -14}, {144, -28}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        pt::SetScreenDpi(c.dpi);
        ASSERT_EQ(CreateTextFont("Viner Hand ITC"), S_OK);
        ASSERT_NE(g_Font, nullptr);
        EXPECT_EQ(g_Result, S_OK);
        const pt::D3DXFontRecord& r = pt::D3DXFontsCreated().back();
        EXPECT_EQ(r.height, c.height);
        EXPECT_EQ(r.faceName, "Viner Hand ITC");
        EXPECT_EQ(r.width, 0u);
        EXPECT_EQ(r.weight, 700u);
        EXPECT_EQ(r.mipLevels, 0u);
        EXPECT_EQ(r.italic, FALSE);
        EXPECT_EQ(r.charSet, static_cast<DWORD>(DEFAULT_CHARSET));
        EXPECT_EQ(r.outputPrecision, static_cast<DWORD>(OUT_DEFAULT_PRECIS));
        EXPECT_EQ(r.quality, static_cast<DWORD>(ANTIALIASED_QUALITY));
        EXPECT_EQ(r.pitchAndFamily, 0u);
        g_Font->Release();
        g_Font = NULL;
    }
    EXPECT_EQ(pt::DebugOutputText(), "");
}

TEST_F(CoreTest, TheFourChannelsArePackedClampedAndRounded) {
    ASSERT_EQ(CreateTextFont("Viner Hand ITC"), S_OK);
    pt::RecordD3DXTexts();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float r, g, b, a;
        DWORD colour;
    } cases[] = {
        {255.0f, 255.0f, 255.0f, 1.0f, 0xFFFFFFFF},
        {0.5f, 0.0f, 0.0f, 1.0f, 0xFF800000},
        {1.0f, 1.0f, 1.0f, 1.0f, 0xFFFFFFFF},
        {0.25f, 0.75f, 0.1f, 0.5f, 0x8040BF1A},
        {-1.0f, -0.001f, -255.0f, -1.0f, 0x00000000},
        {nan, 1.0f, nan, 1.0f, 0xFF00FF00},
        {1.0f, nan, 1.0f, nan, 0x00FF00FF},
        {inf, -inf, 0.999999f, 0.001f, 0x00FF00FF},
        {0.0019f, 0.002f, 0.0f, 1.0f, 0xFF000100},
    };
    for (const Case& c : cases) {
        pt::ClearD3DXTexts();
        DrawTextAt(30, 60, "COLLISIONE!!!", c.r, c.g, c.b, c.a);
        ASSERT_EQ(pt::D3DXTextsDrawn().size(), 1u);
        const pt::D3DXTextRecord& t = pt::D3DXTextsDrawn()[0];
        EXPECT_EQ(t.color, c.colour) << std::hex << c.colour;
        EXPECT_EQ(t.text, "COLLISIONE!!!");
        EXPECT_EQ(t.x, 30);
        EXPECT_EQ(t.y, 60);
        EXPECT_EQ(t.format, static_cast<DWORD>(DT_NOCLIP));
    }
}

TEST_F(CoreTest, WithoutAFontTheTextsAreNotDrawn) {
    pt::FailD3DXCreateFont(true);
    EXPECT_EQ(CreateTextFont("Viner Hand ITC"), E_FAIL);
    EXPECT_TRUE(FAILED(g_Result));
    EXPECT_EQ(g_Font, nullptr);
    EXPECT_EQ(pt::DebugOutput(),
              (std::vector<std::string>{"Impossibile caricare il font necessario", "\n"}));
    pt::RecordD3DXTexts();
    EXPECT_EQ(DrawTextAt(81, 30, "Frame Rate:", 255.0f, 255.0f, 255.0f, 1.0f), 0);
    EXPECT_EQ(DrawFrameRate(204, 30, g_FrameRateText, 255.0f, 255.0f, 255.0f, 1.0f), 0);
    EXPECT_TRUE(pt::D3DXTextsDrawn().empty());
}

TEST_F(CoreTest, TheFrameRateIsWrittenInDecimalAndDrawn) {
    ASSERT_EQ(CreateTextFont("Viner Hand ITC"), S_OK);
    pt::RecordD3DXTexts();
    struct Case {
        int value;
        const char* text;
    } cases[] = {{0, "0"}, {1, "1"}, {1234, "1234"}, {-5, "-5"}, {INT_MIN, "-2147483648"}};
    for (const Case& c : cases) {
        pt::ClearD3DXTexts();
        g_FramesPerSecond = c.value;
        char unused[12] = "ignored";
        EXPECT_GT(DrawFrameRate(204, 30, unused, 255.0f, 255.0f, 255.0f, 1.0f), 0);
        EXPECT_STREQ(g_FrameRateText, c.text);
        ASSERT_EQ(pt::D3DXTextsDrawn().size(), 1u);
        EXPECT_EQ(pt::D3DXTextsDrawn()[0].text, c.text);
        EXPECT_EQ(pt::D3DXTextsDrawn()[0].x, 204);
        EXPECT_STREQ(unused, "ignored");
    }
}

// --- frame-rate counter ---

TEST_F(CoreTest, TheCounterPublishesTheFramesOfEachSecond) {
    pt::SetFakeClockMs(50000);
    ASSERT_EQ(InitTimer(), S_OK);
    EXPECT_GT(g_TimerFrequency, 0);
    std::vector<int> published;
    for (int frame = 1; frame <= 25; ++frame) {
        UpdateFrameCounter();
        published.push_back(g_FramesPerSecond);
        pt::AdvanceFakeClockMs(100);
    }
    // The first frame publishes at once; then each frame that closes a second
    // publishes the frames of that second, itself included.
    std::vector<int> expected = {1};
    for (int f = 2; f <= 10; ++f) expected.push_back(1);
    for (int f = 11; f <= 20; ++f) expected.push_back(10);
    for (int f = 21; f <= 25; ++f) expected.push_back(10);
    EXPECT_EQ(published, expected);
    EXPECT_EQ(g_FrameCount, 4);
    EXPECT_EQ(pt::DebugOutputText(), "");
}

TEST_F(CoreTest, WithoutAHighResolutionCounterEveryFramePublishesOne) {
    pt::ForcePerformanceFrequencyZero(true);
    EXPECT_EQ(InitTimer(), E_FAIL);
    EXPECT_EQ(g_TimerFrequency, 0);
    const std::vector<std::string> report = {"The system does not support high resolution timing", "\n"};
    EXPECT_EQ(pt::DebugOutput(), report);
    for (int i = 0; i < 3; ++i) {
        UpdateFrameCounter();
        EXPECT_EQ(g_FramesPerSecond, 1);
    }

    // A counter that reads 0 says so every frame and counts on.
    pt::ForcePerformanceFrequencyZero(false);
    ASSERT_EQ(InitTimer(), S_OK);
    pt::ForcePerformanceCounterZero(true);
    pt::ClearDebugOutput();
    UpdateFrameCounter();
    UpdateFrameCounter();
    EXPECT_EQ(pt::DebugOutput(), (std::vector<std::string>{report[0], report[1], report[0], report[1]}));
    EXPECT_EQ(g_FrameCount, 2);
}

}  // namespace
