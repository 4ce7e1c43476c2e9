// The DirectInput layer on headless windows: creation, the devices' rules,
// what they report, focus and the exclusive mouse, lifetime.
#include <gtest/gtest.h>

#include <SDL_scancode.h>
#include <dinput.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/win32/com_object.h"

namespace pt = platform_testing;
using pt::InputCall;
using pt::InputObject;

namespace {

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

int LiveInput() { return layer::LiveObjects(layer::ObjectFamily::DirectInput); }

class DirectInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        pt::ResetWin32();
        pt::ResetDirectInput();
        pt::SetHeadlessWindows(true);
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "INPUT";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        window_ = CreateWindowExA(0, "INPUT", "", WS_CAPTION, 0, 0, 640, 480, NULL, NULL, NULL, NULL);
        ASSERT_NE(window_, nullptr);
        void* out = nullptr;
        ASSERT_EQ(DirectInput8Create(NULL, 0x0800, IID_IDirectInput8A, &out, NULL), DI_OK);
        di_ = static_cast<IDirectInput8A*>(out);
    }
    void TearDown() override {
        for (IDirectInputDevice8A* d : devices_) d->Release();
        if (di_) di_->Release();
        EXPECT_EQ(LiveInput(), 0);
    }

    // A device set up as the program sets its keyboard (6) or mouse (5) up, acquired.
    IDirectInputDevice8A* Ready(const GUID& guid, DWORD level) {
        IDirectInputDevice8A* d = Make(guid);
        bool keyboard = IsEqualGUID(guid, GUID_SysKeyboard);
        EXPECT_EQ(d->SetDataFormat(keyboard ? &c_dfDIKeyboard : &c_dfDIMouse), DI_OK);
        EXPECT_EQ(d->SetCooperativeLevel(window_, level), DI_OK);
        EXPECT_EQ(d->Acquire(), DI_OK);
        return d;
    }
    IDirectInputDevice8A* Make(const GUID& guid) {
        IDirectInputDevice8A* d = nullptr;
        EXPECT_EQ(di_->CreateDevice(guid, &d, NULL), DI_OK);
        if (d) devices_.push_back(d);
        return d;
    }
    DIMOUSESTATE ReadMouse(IDirectInputDevice8A* mouse) {
        DIMOUSESTATE s;
        std::memset(&s, 0xCD, sizeof s);
        EXPECT_EQ(mouse->GetDeviceState(sizeof s, &s), DI_OK);
        return s;
    }

    HWND window_ = nullptr;
    IDirectInput8A* di_ = nullptr;
    std::vector<IDirectInputDevice8A*> devices_;
};

TEST_F(DirectInputTest, CreationChecksItsArguments) {
    struct Case {
        const char* what;
        DWORD version;
        const IID* iid;
        bool outer;
        HRESULT expected;
    } cases[] = {
        {"older version", 0x0700, &IID_IDirectInput8A, false, DIERR_OLDDIRECTINPUTVERSION},
        {"newer version", 0x0900, &IID_IDirectInput8A, false, DIERR_BETADIRECTINPUTVERSION},
        {"other interface", 0x0800, &IID_IDirectInputDevice8A, false, DIERR_NOINTERFACE},
        {"aggregation", 0x0800, &IID_IDirectInput8A, true, DIERR_NOAGGREGATION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(DirectInput8Create(NULL, c.version, *c.iid, &out, c.outer ? di_ : NULL), c.expected);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(DirectInput8Create(NULL, 0x0800, IID_IDirectInput8A, NULL, NULL), DIERR_INVALIDPARAM);

    IDirectInputDevice8A* d = reinterpret_cast<IDirectInputDevice8A*>(1);
    EXPECT_EQ(di_->CreateDevice(GUID_XAxis, &d, NULL), DIERR_DEVICENOTREG);
    EXPECT_EQ(d, nullptr);
    EXPECT_EQ(di_->CreateDevice(GUID_SysMouse, NULL, NULL), DIERR_INVALIDPARAM);
    EXPECT_EQ(LiveInput(), 1);

    // Objects answer for their own interfaces only.
    void* q = nullptr;
    EXPECT_EQ(di_->QueryInterface(IID_IDirectInput8A, &q), S_OK);
    static_cast<IUnknown*>(q)->Release();
    EXPECT_EQ(di_->QueryInterface(IID_IDirectInputDevice8A, &q), E_NOINTERFACE);
}

TEST_F(DirectInputTest, DevicesNeedTheirFormatAndAValidLevelBeforeAcquiring) {
    IDirectInputDevice8A* keyboard = Make(GUID_SysKeyboard);
    IDirectInputDevice8A* mouse = Make(GUID_SysMouse);
    BYTE keys[256];
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
    EXPECT_EQ(keyboard->Acquire(), DIERR_INVALIDPARAM);  // no data format yet

    // Each kind understands its own standard formats only.
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIMouse), DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->SetDataFormat(&c_dfDIKeyboard), DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->SetDataFormat(NULL), DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->SetDataFormat(&c_dfDIMouse2), DI_OK);
    DIDATAFORMAT copy = c_dfDIMouse;  // a copy of a standard format is that format
    EXPECT_EQ(mouse->SetDataFormat(&copy), DI_OK);
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);

    struct Level {
        DWORD flags;
        HRESULT expected;
    } levels[] = {
        {0, DIERR_INVALIDPARAM},
        {DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, DIERR_INVALIDPARAM},
        {DISCL_NONEXCLUSIVE, DIERR_INVALIDPARAM},
        {DISCL_FOREGROUND | DISCL_BACKGROUND | DISCL_EXCLUSIVE, DIERR_INVALIDPARAM},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | 0x100, DIERR_INVALIDPARAM},
        {DISCL_EXCLUSIVE | DISCL_BACKGROUND, DIERR_UNSUPPORTED},
        {DISCL_NONEXCLUSIVE | DISCL_BACKGROUND, DI_OK},
        {DISCL_EXCLUSIVE | DISCL_FOREGROUND, DI_OK},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY, DI_OK},
    };
    for (const Level& l : levels) {
        SCOPED_TRACE(l.flags);
        EXPECT_EQ(mouse->SetCooperativeLevel(window_, l.flags), l.expected);
    }
    EXPECT_EQ(mouse->SetCooperativeLevel(NULL, 6), E_HANDLE);
    EXPECT_EQ(mouse->SetCooperativeLevel(reinterpret_cast<HWND>(0x1234), 6), E_HANDLE);

    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->Acquire(), S_FALSE);
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);
    EXPECT_EQ(keyboard->GetDeviceState(16, keys), DIERR_INVALIDPARAM);  // not the format's size
    EXPECT_EQ(keyboard->GetDeviceState(256, NULL), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
    EXPECT_EQ(keyboard->Poll(), DI_NOEFFECT);
    EXPECT_EQ(keyboard->Unacquire(), DI_OK);
    EXPECT_EQ(keyboard->Unacquire(), DI_NOEFFECT);
    EXPECT_EQ(keyboard->Poll(), DIERR_NOTACQUIRED);
    EXPECT_EQ(keyboard->GetDeviceState(256, keys), DIERR_NOTACQUIRED);
}

TEST_F(DirectInputTest, TheKeyboardReportsTheKeyBytesByCode) {
    IDirectInputDevice8A* keyboard = Ready(GUID_SysKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    pt::SetKeyByte(DIK_C, 0x80);
    pt::SetKeyByte(DIK_UP, 0x80);
    pt::SetKeyByte(DIK_A, 0x7F);  // reported as it is; only the reader decides what counts
    BYTE keys[256];
    std::memset(keys, 0xCD, sizeof keys);
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    for (int code = 0; code < 256; ++code) {
        BYTE expected = code == DIK_C || code == DIK_UP ? 0x80 : code == DIK_A ? 0x7F : 0;
        EXPECT_EQ(keys[code], expected) << code;
    }
    pt::SetKeyByte(DIK_C, 0);
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_C], 0);
}

TEST_F(DirectInputTest, TheMouseReportsTheMovementSinceTheLastRead) {
    IDirectInputDevice8A* mouse = Ready(GUID_SysMouse, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    pt::QueueMouseMotion(3, 4);
    pt::QueueMouseMotion(10, -6);
    pt::QueueMouseWheel(-120);
    pt::SetMouseButton(1, true);
    DIMOUSESTATE s = ReadMouse(mouse);
    EXPECT_EQ(s.lX, 13);
    EXPECT_EQ(s.lY, -2);
    EXPECT_EQ(s.lZ, -120);
    EXPECT_EQ(s.rgbButtons[0], 0);
    EXPECT_EQ(s.rgbButtons[1], 0x80);
    EXPECT_EQ(s.rgbButtons[2], 0);
    EXPECT_EQ(s.rgbButtons[3], 0);

    // The read took the movement; the button stays down until released.
    s = ReadMouse(mouse);
    EXPECT_EQ(s.lX, 0);
    EXPECT_EQ(s.lY, 0);
    EXPECT_EQ(s.lZ, 0);
    EXPECT_EQ(s.rgbButtons[1], 0x80);

    // Movement while not acquired is not kept for later.
    ASSERT_EQ(mouse->Unacquire(), DI_OK);
    pt::QueueMouseMotion(50, 50);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    EXPECT_EQ(ReadMouse(mouse).lX, 0);

    // However long nobody reads, the sums stay within what a read can hold.
    pt::QueueMouseMotion(INT_MAX, INT_MIN);
    pt::QueueMouseMotion(INT_MAX, INT_MIN);
    s = ReadMouse(mouse);
    EXPECT_EQ(s.lX, INT_MAX);
    EXPECT_EQ(s.lY, INT_MIN);

    // The eight-button format has the same axes.
    ASSERT_EQ(mouse->Unacquire(), DI_OK);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse2), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    pt::QueueMouseMotion(-7, 2);
    pt::SetMouseButton(4, true);
    DIMOUSESTATE2 s2;
    EXPECT_EQ(mouse->GetDeviceState(sizeof(DIMOUSESTATE), &s2), DIERR_INVALIDPARAM);
    ASSERT_EQ(mouse->GetDeviceState(sizeof s2, &s2), DI_OK);
    EXPECT_EQ(s2.lX, -7);
    EXPECT_EQ(s2.lY, 2);
    EXPECT_EQ(s2.rgbButtons[4], 0x80);
}

TEST_F(DirectInputTest, EachMouseDeviceSumsItsOwnMovement) {
    IDirectInputDevice8A* first = Ready(GUID_SysMouse, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    IDirectInputDevice8A* second = Ready(GUID_SysMouse, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    pt::QueueMouseMotion(5, 0);
    EXPECT_EQ(ReadMouse(first).lX, 5);
    pt::QueueMouseMotion(1, 0);
    EXPECT_EQ(ReadMouse(first).lX, 1);
    EXPECT_EQ(ReadMouse(second).lX, 6);
}

// Focus away: every read says the input was lost and Acquire is refused; focus
// back: Acquire succeeds and reads go on. Acquire never says the input was lost.
TEST_F(DirectInputTest, ForegroundDevicesRecoverThroughAcquireWhenTheFocusReturns) {
    IDirectInputDevice8A* keyboard = Ready(GUID_SysKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    IDirectInputDevice8A* mouse = Ready(GUID_SysMouse, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    IDirectInputDevice8A* background = Ready(GUID_SysMouse, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
    BYTE keys[256];
    DIMOUSESTATE s;
    pt::SetKeyByte(DIK_S, 0x80);

    pt::SetInputFocus(false);
    pt::QueueMouseMotion(9, 9);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
        EXPECT_EQ(mouse->GetDeviceState(sizeof s, &s), DIERR_INPUTLOST);
        EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
        EXPECT_EQ(mouse->Acquire(), DIERR_OTHERAPPHASPRIO);
        EXPECT_EQ(mouse->Poll(), DIERR_INPUTLOST);
    }
    EXPECT_EQ(ReadMouse(background).lX, 9);  // a background device keeps reading

    pt::SetInputFocus(true);
    // Still lost until acquired again.
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(mouse->Acquire(), DI_OK);
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_S], 0x80);
    EXPECT_EQ(ReadMouse(mouse).lX, 0);  // what moved while away is gone

    // The window's own focus counts the same way.
    pt::FollowWindowFocus();
    pt::SetHeadlessFocus(false);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
    pt::SetHeadlessFocus(true);
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
}

TEST_F(DirectInputTest, AnExclusiveMouseHoldsThePointerWhileAcquiredWithTheFocus) {
    IDirectInputDevice8A* shared = Ready(GUID_SysMouse, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    EXPECT_FALSE(pt::RelativeMouseModeOn());
    IDirectInputDevice8A* mouse = Ready(GUID_SysMouse, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    EXPECT_TRUE(pt::RelativeMouseModeOn());

    pt::SetInputFocus(false);
    DIMOUSESTATE s;
    EXPECT_EQ(mouse->GetDeviceState(sizeof s, &s), DIERR_INPUTLOST);
    EXPECT_FALSE(pt::RelativeMouseModeOn());
    pt::SetInputFocus(true);
    EXPECT_FALSE(pt::RelativeMouseModeOn());
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    EXPECT_TRUE(pt::RelativeMouseModeOn());

    ASSERT_EQ(mouse->Unacquire(), DI_OK);
    EXPECT_FALSE(pt::RelativeMouseModeOn());
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    // Releasing an acquired device lets the pointer go too.
    devices_.pop_back();
    EXPECT_EQ(mouse->Release(), 0u);
    EXPECT_FALSE(pt::RelativeMouseModeOn());
    (void)shared;
}

TEST_F(DirectInputTest, DevicesKeepTheirDirectInputObjectAliveAndOutliveIt) {
    IDirectInputDevice8A* keyboard = Ready(GUID_SysKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    IDirectInputDevice8A* mouse = Ready(GUID_SysMouse, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    EXPECT_EQ(LiveInput(), 3);
    EXPECT_EQ(di_->Release(), 2u);  // the program's reference; the devices hold the rest
    di_ = nullptr;
    EXPECT_EQ(LiveInput(), 3);

    // As at exit: the devices are still answered and go last.
    pt::SetKeyByte(DIK_E, 0x80);
    BYTE keys[256];
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_E], 0x80);
    EXPECT_EQ(mouse->Unacquire(), DI_OK);
    EXPECT_EQ(mouse->Release(), 0u);
    EXPECT_EQ(keyboard->Unacquire(), DI_OK);
    EXPECT_EQ(keyboard->Release(), 0u);
    devices_.clear();
    EXPECT_EQ(LiveInput(), 0);
}

TEST_F(DirectInputTest, ScriptedResultsCountsAndTheCallLog) {
    pt::RecordDirectInputCalls(true);
    IDirectInputDevice8A* keyboard = Ready(GUID_SysKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    pt::ScriptDirectInput(InputObject::Keyboard, InputCall::GetDeviceState,
                          {S_OK, DIERR_INPUTLOST, DIERR_NOTACQUIRED});
    pt::ScriptDirectInput(InputObject::Mouse, InputCall::Acquire, {DIERR_OTHERAPPHASPRIO});
    pt::SetKeyByte(DIK_D, 0x80);
    BYTE keys[256] = {};
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_D], 0x80);
    std::memset(keys, 0x11, sizeof keys);
    // A scripted failure changes nothing, the buffer included.
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
    EXPECT_EQ(keys[DIK_D], 0x11);
    EXPECT_EQ(keyboard->Acquire(), S_FALSE);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);  // the script is spent

    IDirectInputDevice8A* mouse = Make(GUID_SysMouse);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    ASSERT_EQ(mouse->SetCooperativeLevel(window_, 5), DI_OK);
    EXPECT_EQ(mouse->Acquire(), DIERR_OTHERAPPHASPRIO);
    EXPECT_EQ(mouse->Acquire(), DI_OK);

    EXPECT_EQ(pt::DirectInputCallCount(InputObject::Keyboard, InputCall::GetDeviceState), 4);
    EXPECT_EQ(pt::DirectInputCallCount(InputObject::Keyboard, InputCall::Acquire), 2);
    EXPECT_EQ(pt::DirectInputCallCount(InputObject::Mouse, InputCall::Acquire), 2);
    EXPECT_EQ(pt::DirectInputCallCount(InputObject::Keyboard, InputCall::CreateDevice), 1);
    EXPECT_EQ(pt::DirectInputCallCount(InputObject::Mouse, InputCall::CreateDevice), 1);
    EXPECT_EQ(pt::DirectInputCallCount(InputObject::DirectInput, InputCall::Create), 1);
    EXPECT_EQ(pt::DirectInputCallCount(InputObject::Mouse, InputCall::Release), 0);

    std::vector<std::string> expected = {
        "DirectInput.CreateDevice(Keyboard) = 0x0",
        "Keyboard.SetDataFormat() = 0x0",
        "Keyboard.SetCooperativeLevel(6) = 0x0",
        "Keyboard.Acquire() = 0x0",
        "Keyboard.GetDeviceState(256) = 0x0",
        "Keyboard.GetDeviceState(256) = 0x8007001e",
        "Keyboard.GetDeviceState(256) = 0x8007000c",
        "Keyboard.Acquire() = 0x1",
        "Keyboard.GetDeviceState(256) = 0x0",
        "DirectInput.CreateDevice(Mouse) = 0x0",
        "Mouse.SetDataFormat() = 0x0",
        "Mouse.SetCooperativeLevel(5) = 0x0",
        "Mouse.Acquire() = 0x80070005",
        "Mouse.Acquire() = 0x0",
    };
    EXPECT_EQ(pt::DirectInputCalls(), expected);

    std::vector<std::string> hooked;
    pt::SetDirectInputCallHook([&](const std::string& line) { hooked.push_back(line); });
    devices_.pop_back();
    mouse->Release();
    EXPECT_EQ(hooked, (std::vector<std::string>{"Mouse.Release() = 0"}));
    pt::SetDirectInputCallHook(nullptr);

    pt::FailDirectInput8Create(true);
    void* out = nullptr;
    EXPECT_EQ(DirectInput8Create(NULL, 0x0800, IID_IDirectInput8A, &out, NULL), DIERR_GENERIC);
    EXPECT_EQ(out, nullptr);
    pt::ScriptDirectInput(InputObject::Keyboard, InputCall::CreateDevice, {E_OUTOFMEMORY});
    IDirectInputDevice8A* none = reinterpret_cast<IDirectInputDevice8A*>(1);
    EXPECT_EQ(di_->CreateDevice(GUID_SysKeyboard, &none, NULL), E_OUTOFMEMORY);
    EXPECT_EQ(none, nullptr);
}

TEST(DirectInputKeyCodes, SdlScancodesMapToTheKeyboardsScanCodes) {
    struct Case {
        int scancode;
        int dik;
    } cases[] = {
        {SDL_SCANCODE_ESCAPE, DIK_ESCAPE}, {SDL_SCANCODE_E, 0x12},    {SDL_SCANCODE_A, 0x1E},
        {SDL_SCANCODE_S, 0x1F},            {SDL_SCANCODE_D, 0x20},    {SDL_SCANCODE_C, 0x2E},
        {SDL_SCANCODE_UP, 0xC8},           {SDL_SCANCODE_LEFT, 0xCB}, {SDL_SCANCODE_RIGHT, 0xCD},
        {SDL_SCANCODE_DOWN, 0xD0},         {SDL_SCANCODE_Q, DIK_Q},   {SDL_SCANCODE_Z, DIK_Z},
        {SDL_SCANCODE_1, DIK_1},           {SDL_SCANCODE_0, DIK_0},   {SDL_SCANCODE_F10, DIK_F10},
        {SDL_SCANCODE_F11, DIK_F11},       {SDL_SCANCODE_KP_7, DIK_NUMPAD7},
        {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER}, {SDL_SCANCODE_RETURN, DIK_RETURN},
        {SDL_SCANCODE_LCTRL, DIK_LCONTROL}, {SDL_SCANCODE_RCTRL, DIK_RCONTROL},
        {SDL_SCANCODE_LALT, DIK_LMENU},    {SDL_SCANCODE_RALT, DIK_RMENU},
        {SDL_SCANCODE_KP_DIVIDE, DIK_DIVIDE}, {SDL_SCANCODE_SLASH, DIK_SLASH},
        {SDL_SCANCODE_PAGEDOWN, DIK_NEXT}, {SDL_SCANCODE_NONUSBACKSLASH, DIK_OEM_102},
        {SDL_SCANCODE_UNKNOWN, 0},         {SDL_SCANCODE_F24, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(pt::DikFromSdlScancode(c.scancode), c.dik) << c.scancode;

    // No two keys share a code.
    std::vector<int> owner(256, -1);
    for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
        int dik = pt::DikFromSdlScancode(sc);
        if (dik == 0) continue;
        ASSERT_LT(dik, 256);
        bool alias = (sc == SDL_SCANCODE_NONUSHASH && dik == DIK_BACKSLASH) ||
                     (sc == SDL_SCANCODE_MUTE && dik == DIK_MUTE);
        if (!alias && owner[dik] >= 0) ADD_FAILURE() << sc << " and " << owner[dik] << " -> " << dik;
        if (!alias) owner[dik] = sc;
    }
}

TEST(DirectInputFormats, TheStandardFormatsDescribeTheirRecords) {
    EXPECT_EQ(c_dfDIKeyboard.dwDataSize, 256u);
    EXPECT_EQ(c_dfDIKeyboard.dwNumObjs, 256u);
    EXPECT_EQ(c_dfDIKeyboard.rgodf[DIK_C].dwOfs, static_cast<DWORD>(DIK_C));
    EXPECT_EQ(c_dfDIKeyboard.rgodf[DIK_C].pguid, &GUID_Key);
    EXPECT_EQ(sizeof(DIMOUSESTATE), 16u);
    EXPECT_EQ(c_dfDIMouse.dwDataSize, 16u);
    EXPECT_EQ(c_dfDIMouse.dwFlags, static_cast<DWORD>(DIDF_RELAXIS));
    EXPECT_EQ(c_dfDIMouse.rgodf[1].dwOfs, static_cast<DWORD>(DIMOFS_Y));
    EXPECT_EQ(c_dfDIMouse.rgodf[6].dwOfs, static_cast<DWORD>(DIMOFS_BUTTON3));
    EXPECT_EQ(c_dfDIMouse2.dwDataSize, 20u);
    EXPECT_EQ(c_dfDIMouse2.dwNumObjs, 11u);
}

}  // namespace
