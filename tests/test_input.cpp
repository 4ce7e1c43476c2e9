// The program's keyboard and mouse over the DirectInput layer, on a headless
// window, with scripted device results where the layer would not fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Device.h"
#include "app/Globals.h"
#include "input/DirectInput.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/program_fixtures.h"

namespace pt = platform_testing;
using pt::InputCall;
using pt::InputObject;

namespace {

int Calls(InputObject object, InputCall call) { return pt::DirectInputCallCount(object, call); }
int LiveInput() { return layer::LiveObjects(layer::ObjectFamily::DirectInput); }

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetWin32();
        pt::ResetD3D9();
        pt::ResetDirectInput();
        pt::SetHeadlessWindows(true);
        g_hWnd = program_fixtures::MakeProgramWindow();
        ASSERT_NE(g_hWnd, nullptr);
    }
    void TearDown() override {
        ReleaseDirectInput();
        if (g_Device) g_Device->Release();
        if (g_D3D) g_D3D->Release();
        g_Device = NULL;
        g_D3D = NULL;
    }
    // Makes only the DirectInput object, for a keyboard or mouse of the test's own.
    void MakeDirectInput() {
        void* out = nullptr;
        ASSERT_EQ(DirectInput8Create(g_hInstance, 0x0800, IID_IDirectInput8A, &out, NULL), DI_OK);
        g_DirectInput = static_cast<IDirectInput8A*>(out);
    }
    // A null device in g_Device, its calls recorded.
    void MakeDevice() {
        pt::UseNullD3D9();
        ASSERT_EQ(CreateD3DDevice(&g_D3D, &g_Device, g_hWnd, 1, 0), S_OK);
        pt::ClearD3D9Calls();
    }
};

// --- keyboard ---

TEST_F(InputTest, AKeyIsDownWhenBitSevenOfItsByteIsSet) {
    MakeDirectInput();
    Keyboard keyboard;
    ASSERT_EQ(keyboard.Init(), 0);
    struct Case {
        BYTE byte;
        int answer;
    } cases[] = {{0x80, 1}, {0xFF, 1}, {0x81, 1}, {0x7F, 0}, {0x01, 0}, {0x00, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.byte);
        pt::SetKeyByte(DIK_C, c.byte);
        int reads = Calls(InputObject::Keyboard, InputCall::GetDeviceState);
        EXPECT_EQ(keyboard.IsKeyDown(DIK_C), c.answer);
        EXPECT_EQ(Calls(InputObject::Keyboard, InputCall::GetDeviceState), reads + 1);
    }
    // Every question is a fresh read of the whole keyboard.
    pt::SetKeyByte(DIK_UP, 0x80);
    EXPECT_EQ(keyboard.IsKeyDown(DIK_UP), 1);
    pt::SetKeyByte(DIK_UP, 0);
    EXPECT_EQ(keyboard.IsKeyDown(DIK_UP), 0);

    // Codes outside the key array answer 0 without a read.
    pt::SetKeyByte(0, 0x80);
    pt::SetKeyByte(255, 0x80);
    int reads = Calls(InputObject::Keyboard, InputCall::GetDeviceState);
    for (int code : {-1, 256, 1 << 20}) EXPECT_EQ(keyboard.IsKeyDown(code), 0) << code;
    EXPECT_EQ(Calls(InputObject::Keyboard, InputCall::GetDeviceState), reads);
    EXPECT_EQ(keyboard.IsKeyDown(0), 1);
    EXPECT_EQ(keyboard.IsKeyDown(255), 1);
}

TEST_F(InputTest, AKeyboardThatCannotBeReadAnswersUp) {
    MakeDirectInput();
    Keyboard keyboard;
    pt::SetKeyByte(DIK_S, 0x80);
    EXPECT_EQ(keyboard.IsKeyDown(DIK_S), 0);  // never initialised: nothing is asked
    EXPECT_EQ(Calls(InputObject::Keyboard, InputCall::GetDeviceState), 0);
    ASSERT_EQ(keyboard.Init(), 0);

    struct Case {
        const char* what;
        std::vector<HRESULT> reads;
        std::vector<HRESULT> acquires;
        int answer;
        int readsMade;
        int acquiresMade;
    } cases[] = {
        {"lost, acquired again: the second read answers", {DIERR_INPUTLOST}, {}, 1, 2, 1},
        {"lost, and the second read fails too", {DIERR_INPUTLOST, DIERR_NOTACQUIRED}, {}, 1, 2, 1},
        {"lost, refused", {DIERR_INPUTLOST}, {DIERR_OTHERAPPHASPRIO}, 0, 1, 1},
        {"lost twice over", {DIERR_INPUTLOST}, {DIERR_INPUTLOST, DIERR_INPUTLOST}, 1, 2, 3},
        {"not acquired: not acquired again", {DIERR_NOTACQUIRED}, {}, 0, 1, 0},
        {"any other failure", {E_FAIL}, {}, 0, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pt::ScriptDirectInput(InputObject::Keyboard, InputCall::GetDeviceState, c.reads);
        pt::ScriptDirectInput(InputObject::Keyboard, InputCall::Acquire, c.acquires);
        int reads = Calls(InputObject::Keyboard, InputCall::GetDeviceState);
        int acquires = Calls(InputObject::Keyboard, InputCall::Acquire);
        EXPECT_EQ(keyboard.IsKeyDown(DIK_S), c.answer);
        EXPECT_EQ(Calls(InputObject::Keyboard, InputCall::GetDeviceState) - reads, c.readsMade);
        EXPECT_EQ(Calls(InputObject::Keyboard, InputCall::Acquire) - acquires, c.acquiresMade);
        pt::ScriptDirectInput(InputObject::Keyboard, InputCall::GetDeviceState, {});
        pt::ScriptDirectInput(InputObject::Keyboard, InputCall::Acquire, {});
    }
    // A device that keeps answering "lost" to Acquire cannot hang the question.
    pt::ScriptDirectInput(InputObject::Keyboard, InputCall::GetDeviceState, {DIERR_INPUTLOST});
    pt::ScriptDirectInput(InputObject::Keyboard, InputCall::Acquire,
                          std::vector<HRESULT>(1000, DIERR_INPUTLOST));
    EXPECT_EQ(keyboard.IsKeyDown(DIK_S), 0);
    EXPECT_LT(Calls(InputObject::Keyboard, InputCall::Acquire), 100);
}

// The window loses the focus and gets it back: the question that meets the lost
// input acquires the keyboard again and answers.
TEST_F(InputTest, TheKeyboardComesBackWithTheFocus) {
    MakeDirectInput();
    Keyboard keyboard;
    ASSERT_EQ(keyboard.Init(), 0);
    pt::SetKeyByte(DIK_A, 0x80);
    EXPECT_EQ(keyboard.IsKeyDown(DIK_A), 1);
    pt::SetHeadlessFocus(false);
    EXPECT_EQ(keyboard.IsKeyDown(DIK_A), 0);
    EXPECT_EQ(keyboard.IsKeyDown(DIK_A), 0);
    pt::SetHeadlessFocus(true);
    EXPECT_EQ(keyboard.IsKeyDown(DIK_A), 1);
    EXPECT_EQ(keyboard.IsKeyDown(DIK_A), 1);
    EXPECT_EQ(Calls(InputObject::Keyboard, InputCall::Acquire), 4);  // init, twice refused, once again
}

// --- set-up ---

TEST_F(InputTest, EachFailingStepOfTheSetUpIsReported) {
    struct Case {
        const char* what;
        InputObject object;
        InputCall call;
        std::string output;
    } cases[] = {
        {"DirectInput", InputObject::DirectInput, InputCall::Create,
         "ERROR: Failed to create DirectInput\n"},
        {"keyboard device", InputObject::Keyboard, InputCall::CreateDevice,
         "ERROR: Failed to create key device\nERROR: Failed to initialize keyboard\n"},
        {"keyboard format", InputObject::Keyboard, InputCall::SetDataFormat,
         "ERROR: Unable to set the keyboard data format\nERROR: Failed to initialize keyboard\n"},
        {"keyboard level", InputObject::Keyboard, InputCall::SetCooperativeLevel,
         "ERROR: Unable to set keyboard cooperative level\nERROR: Failed to initialize keyboard\n"},
        {"keyboard acquire", InputObject::Keyboard, InputCall::Acquire,
         "ERROR: Unable to acquire the keyboard\nERROR: Failed to initialize keyboard\n"},
        {"mouse device", InputObject::Mouse, InputCall::CreateDevice,
         "ERROR: Unable to create mouse device\nERROR: Unable to initialize mouse\n"},
        {"mouse format", InputObject::Mouse, InputCall::SetDataFormat,
         "ERROR: Unable to set the mouse data format\nERROR: Unable to initialize mouse\n"},
        {"mouse level", InputObject::Mouse, InputCall::SetCooperativeLevel,
         "ERROR: Unable to set the cooperative level for the mouse\n"
         "ERROR: Unable to initialize mouse\n"},
        {"mouse acquire", InputObject::Mouse, InputCall::Acquire,
         "ERROR: Unable to acquire mouse\nERROR: Unable to initialize mouse\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pt::ClearDebugOutput();
        pt::ScriptDirectInput(c.object, c.call, {DIERR_GENERIC});
        EXPECT_EQ(InitDirectInput(), E_FAIL);
        EXPECT_EQ(pt::DebugOutputText(), c.output);
        // Whatever was made before the failing step stays; a keyboard that was
        // not acquired asks its device nothing.
        int reads = Calls(InputObject::Keyboard, InputCall::GetDeviceState);
        bool keyboardReady = c.object == InputObject::Mouse;
        EXPECT_EQ(g_Keyboard.IsKeyDown(DIK_C), 0);
        EXPECT_EQ(Calls(InputObject::Keyboard, InputCall::GetDeviceState) - reads,
                  keyboardReady ? 1 : 0);
        EXPECT_EQ(g_Mouse.Poll(), E_FAIL);
    }
    ReleaseDirectInput();

    // Without a DirectInput object neither device is made, and nothing is said.
    pt::ClearDebugOutput();
    Keyboard keyboard;
    Mouse mouse;
    EXPECT_EQ(keyboard.Init(), E_FAIL);
    EXPECT_EQ(mouse.Init(), E_FAIL);
    EXPECT_EQ(pt::DebugOutputText(), "");
}

TEST_F(InputTest, InitialisingAgainReplacesTheObjectAndTheDevices) {
    ASSERT_EQ(InitDirectInput(), 0);
    EXPECT_EQ(LiveInput(), 3);
    IDirectInput8A* first = g_DirectInput;
    ASSERT_EQ(InitDirectInput(), 0);
    EXPECT_NE(g_DirectInput, nullptr);
    // The first object went with the first devices that held it.
    EXPECT_EQ(LiveInput(), 3);
    EXPECT_EQ(Calls(InputObject::DirectInput, InputCall::Release), 1);
    EXPECT_EQ(Calls(InputObject::Keyboard, InputCall::Unacquire), 1);
    EXPECT_EQ(Calls(InputObject::Keyboard, InputCall::Release), 1);
    EXPECT_EQ(Calls(InputObject::Mouse, InputCall::Release), 1);
    (void)first;

    pt::SetKeyByte(DIK_D, 0x80);
    EXPECT_EQ(g_Keyboard.IsKeyDown(DIK_D), 1);

    ReleaseDirectInput();
    EXPECT_EQ(g_DirectInput, nullptr);
    ReleaseDirectInput();  // nothing left to release
    EXPECT_EQ(Calls(InputObject::DirectInput, InputCall::Release), 2);
    // The devices still work without the object; they go at exit.
    EXPECT_EQ(g_Keyboard.IsKeyDown(DIK_D), 1);
    EXPECT_EQ(LiveInput(), 3);
}

// A keyboard whose second set-up fails after its first succeeded must not ask
// the device it released.
TEST_F(InputTest, AFailedSecondSetUpLeavesTheDevicesQuiet) {
    ASSERT_EQ(InitDirectInput(), 0);
    pt::ScriptDirectInput(InputObject::Keyboard, InputCall::CreateDevice, {DIERR_OUTOFMEMORY});
    pt::ScriptDirectInput(InputObject::Mouse, InputCall::CreateDevice, {DIERR_OUTOFMEMORY});
    EXPECT_EQ(InitDirectInput(), E_FAIL);
    EXPECT_EQ(g_Mouse.Init(), E_FAIL);
    int reads = Calls(InputObject::Keyboard, InputCall::GetDeviceState);
    EXPECT_EQ(g_Keyboard.IsKeyDown(DIK_C), 0);
    EXPECT_EQ(g_Mouse.Poll(), E_FAIL);
    EXPECT_EQ(Calls(InputObject::Keyboard, InputCall::GetDeviceState), reads);
    EXPECT_EQ(Calls(InputObject::Mouse, InputCall::GetDeviceState), 0);
}

TEST_F(InputTest, TheDevicesAreSetUpAsForegroundKeyboardAndExclusiveMouse) {
    pt::RecordDirectInputCalls(true);
    ASSERT_EQ(InitDirectInput(), 0);
    std::vector<std::string> expected = {
        "DirectInput8Create(0x800) = 0x0",
        "DirectInput.CreateDevice(Keyboard) = 0x0",
        "Keyboard.SetDataFormat() = 0x0",
        "Keyboard.SetCooperativeLevel(6) = 0x0",
        "Keyboard.Acquire() = 0x0",
        "DirectInput.CreateDevice(Mouse) = 0x0",
        "Mouse.SetDataFormat() = 0x0",
        "Mouse.SetCooperativeLevel(5) = 0x0",
        "Mouse.Acquire() = 0x0",
    };
    EXPECT_EQ(pt::DirectInputCalls(), expected);
    EXPECT_TRUE(pt::RelativeMouseModeOn());
}

// --- mouse ---

TEST_F(InputTest, EachPollTakesTheMovementSinceThePreviousOne) {
    Mouse mouse;
    EXPECT_EQ(mouse.Poll(), E_FAIL);
    EXPECT_EQ(mouse.GetMovement().x, 0);
    EXPECT_EQ(mouse.GetMovement().y, 0);

    MakeDirectInput();
    ASSERT_EQ(mouse.Init(), 0);
    pt::QueueMouseMotion(3, 4);
    pt::QueueMouseMotion(10, -6);
    EXPECT_EQ(mouse.Poll(), 0);
    for (int i = 0; i < 2; ++i) {  // the same pair until the next poll
        EXPECT_EQ(mouse.GetMovement().x, 13);
        EXPECT_EQ(mouse.GetMovement().y, -2);
    }
    pt::QueueMouseMotion(1, 1);
    EXPECT_EQ(mouse.GetMovement().x, 13);
    EXPECT_EQ(mouse.Poll(), 0);
    EXPECT_EQ(mouse.GetMovement().x, 1);
    EXPECT_EQ(mouse.Poll(), 0);
    EXPECT_EQ(mouse.GetMovement().x, 0);
    EXPECT_EQ(mouse.GetMovement().y, 0);
}

// A failed or lost read gives no movement: the last one would otherwise move the
// cursor and turn the look camera again in every frame.
TEST_F(InputTest, AFailedPollGivesNoMovement) {
    MakeDirectInput();
    Mouse mouse;
    ASSERT_EQ(mouse.Init(), 0);
    struct Case {
        const char* what;
        std::vector<HRESULT> reads;
        std::vector<HRESULT> acquires;
        HRESULT result;
        int x;  // 5 queued before the poll
    } cases[] = {
        {"not acquired", {DIERR_NOTACQUIRED}, {}, E_FAIL, 0},
        {"other failure", {E_FAIL}, {}, E_FAIL, 0},
        {"lost, acquired again", {DIERR_INPUTLOST}, {}, 0, 5},
        {"lost, refused", {DIERR_INPUTLOST}, {DIERR_OTHERAPPHASPRIO}, 0, 0},
        {"lost, and the second read fails", {DIERR_INPUTLOST, DIERR_NOTACQUIRED}, {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pt::QueueMouseMotion(7, 7);
        ASSERT_EQ(mouse.Poll(), 0);
        ASSERT_EQ(mouse.GetMovement().x, 7);
        pt::QueueMouseMotion(5, 5);
        pt::ScriptDirectInput(InputObject::Mouse, InputCall::GetDeviceState, c.reads);
        pt::ScriptDirectInput(InputObject::Mouse, InputCall::Acquire, c.acquires);
        EXPECT_EQ(mouse.Poll(), c.result);
        EXPECT_EQ(mouse.GetMovement().x, c.x);
        EXPECT_EQ(mouse.GetMovement().y, c.x);
        pt::ScriptDirectInput(InputObject::Mouse, InputCall::GetDeviceState, {});
        pt::ScriptDirectInput(InputObject::Mouse, InputCall::Acquire, {});
        mouse.Poll();  // takes what is left
    }

    // Focus lost and back: the poll that meets the lost input acquires again.
    pt::SetInputFocus(false);
    pt::QueueMouseMotion(4, 4);
    EXPECT_EQ(mouse.Poll(), 0);
    EXPECT_EQ(mouse.GetMovement().x, 0);
    EXPECT_FALSE(pt::RelativeMouseModeOn());
    pt::SetInputFocus(true);
    EXPECT_EQ(mouse.Poll(), 0);
    EXPECT_TRUE(pt::RelativeMouseModeOn());
    pt::QueueMouseMotion(2, -3);
    EXPECT_EQ(mouse.Poll(), 0);
    EXPECT_EQ(mouse.GetMovement().x, 2);
    EXPECT_EQ(mouse.GetMovement().y, -3);
}

TEST_F(InputTest, ButtonsAnswerFromTheLastPoll) {
    MakeDirectInput();
    Mouse mouse;
    ASSERT_EQ(mouse.Init(), 0);
    pt::SetMouseButton(0, true);
    EXPECT_EQ(mouse.IsButtonDown(0), 0);  // pressed after the poll
    ASSERT_EQ(mouse.Poll(), 0);
    EXPECT_EQ(mouse.IsButtonDown(0), 1);
    EXPECT_EQ(mouse.IsButtonDown(1), 0);
    pt::SetMouseButton(0, false);
    pt::SetMouseButton(3, true);
    EXPECT_EQ(mouse.IsButtonDown(0), 1);
    ASSERT_EQ(mouse.Poll(), 0);
    EXPECT_EQ(mouse.IsButtonDown(0), 0);
    EXPECT_EQ(mouse.IsButtonDown(3), 1);
    pt::SetMouseButton(4, true);
    ASSERT_EQ(mouse.Poll(), 0);
    for (int button : {-1, 4, 100}) EXPECT_EQ(mouse.IsButtonDown(button), 0) << button;
}

TEST_F(InputTest, TheMouseCursorIsClampedToItsOwnBoundsAndHandedToTheDevice) {
    MakeDevice();
    MakeDirectInput();
    Mouse mouse;
    ASSERT_EQ(mouse.Init(), 0);
    int x = 1, y = 1;
    mouse.GetCursorPos(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    struct Case {
        const char* what;
        void (*act)(Mouse&);
        int x, y;
    } cases[] = {
        {"set below and above", [](Mouse& m) { m.SetCursorPos(-5, 2000); }, 0, 1023},
        {"set above and below", [](Mouse& m) { m.SetCursorPos(1500, -1); }, 1279, 0},
        {"set inside", [](Mouse& m) { m.SetCursorPos(1279, 1023); }, 1279, 1023},
        {"update past the bounds",
         [](Mouse& m) {
             m.SetCursorPos(1270, 10);
             pt::QueueMouseMotion(20, -30);
             m.Poll();
             m.UpdateCursor();
         },
         1279, 0},
        {"move without a clamp",
         [](Mouse& m) {
             m.SetCursorPos(1270, 10);
             m.MoveCursor(20, -30);
         },
         1290, -20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pt::ClearD3D9Calls();
        c.act(mouse);
        mouse.GetCursorPos(&x, &y);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
        ASSERT_FALSE(pt::D3D9Calls().empty());
        EXPECT_EQ(pt::D3D9Calls().back(),
                  "SetCursorPosition(" + std::to_string(c.x) + "," + std::to_string(c.y) + ",0)");
    }

    // The cursor-shown flag is never set: nothing is shown, nothing is asked.
    pt::ClearD3D9Calls();
    EXPECT_EQ(mouse.ShowCursor(), 0);
    EXPECT_TRUE(pt::D3D9Calls().empty());

    // Without a device the cursor still moves, and nothing is called.
    g_Device->Release();
    g_Device = NULL;
    mouse.SetCursorPos(-1, -1);
    mouse.MoveCursor(3, 4);
    mouse.UpdateCursor();  // with the last poll's (20, -30)
    mouse.GetCursorPos(&x, &y);
    EXPECT_EQ(x, 23);
    EXPECT_EQ(y, 0);
}

}  // namespace
