// Test seams of the DirectInput layer (namespace platform_testing). The shipped
// program never calls these.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dinput.h"

namespace platform_testing {

// Back to the defaults: no keys down, no pending mouse movement, focus taken
// from the window, no scripts, counts and log cleared, no hook.
void ResetDirectInput();

// --- input as if from the devices ---
// The byte the keyboard reports for a key code (0x80 is down; any byte may be
// set, to show that only bit 7 counts).
void SetKeyByte(int dik, BYTE value);
// Movement and wheel (120 per notch) reach every acquired mouse device, as
// the motion events of the window would; each read takes what came since the
// previous one.
void QueueMouseMotion(int dx, int dy);
void QueueMouseWheel(int delta);
// Buttons 0 left, 1 right, 2 middle, 3 and 4 the side buttons.
void SetMouseButton(int button, bool down);

// Whether the devices' window has the focus, whatever the window says.
void SetInputFocus(bool focused);
// The focus of the window again (the default).
void FollowWindowFocus();
// True while the layer holds the pointer for an exclusive mouse.
bool RelativeMouseModeOn();

// --- calls ---
enum class InputObject { DirectInput, Keyboard, Mouse };
enum class InputCall {
    Create,  // DirectInput8Create
    CreateDevice,  // counted under the kind of device asked for
    SetDataFormat,
    SetCooperativeLevel,
    Acquire,
    Unacquire,
    GetDeviceState,
    Poll,
    Release,
};

// The next calls of `call` on objects of that kind answer these results in
// turn, then behave normally again. A failing result makes the call do
// nothing; S_OK lets that call through as usual.
void ScriptDirectInput(InputObject object, InputCall call, std::vector<HRESULT> results);
// Shortcut for DirectInput8Create: fails every time while on.
void FailDirectInput8Create(bool fail, HRESULT result = DIERR_GENERIC);

// Calls since the last reset, per kind of object.
int DirectInputCallCount(InputObject object, InputCall call);

// One readable line per call while recording, e.g. "Keyboard.Acquire() = 0x0",
// "Mouse.GetDeviceState(16) = 0x8007001e", "Keyboard.Release() = 0" (the
// references left).
void RecordDirectInputCalls(bool on);
const std::vector<std::string>& DirectInputCalls();
// Called with each such line, recording or not; stays set until reset (also
// through static destruction, when the program's input objects go).
void SetDirectInputCallHook(std::function<void(const std::string& line)> hook);

// The key code of an SDL scancode (0 when it has none).
int DikFromSdlScancode(int scancode);

}  // namespace platform_testing
