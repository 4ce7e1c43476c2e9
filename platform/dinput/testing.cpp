#include "testing_dinput.h"

#include "dinput_internal.h"

namespace platform_testing {

using namespace dinput_internal;

void ResetDirectInput() {
    Backend& b = B();
    for (BYTE& k : b.keys) k = 0;
    for (BYTE& k : b.buttons) k = 0;
    b.focusOverride = -1;
    b.scripts.clear();
    b.counts.clear();
    b.failCreate = false;
    b.failCreateResult = DIERR_GENERIC;
    b.record = false;
    b.log.clear();
    b.hook = nullptr;
}

void SetKeyByte(int dik, BYTE value) {
    if (dik >= 0 && dik < 256) B().keys[dik] = value;
}

void QueueMouseMotion(int dx, int dy) { MouseMotion(dx, dy, 0); }
void QueueMouseWheel(int delta) { MouseMotion(0, 0, delta); }
void SetMouseButton(int button, bool down) { MouseButton(button, down); }

void SetInputFocus(bool focused) { B().focusOverride = focused ? 1 : 0; }
void FollowWindowFocus() { B().focusOverride = -1; }
bool RelativeMouseModeOn() { return B().pointerHolder != nullptr; }

void ScriptDirectInput(InputObject object, InputCall call, std::vector<HRESULT> results) {
    auto& script = B().scripts[std::make_pair(static_cast<int>(object), static_cast<int>(call))];
    script.assign(results.begin(), results.end());
}

void FailDirectInput8Create(bool fail, HRESULT result) {
    B().failCreate = fail;
    B().failCreateResult = result;
}

int DirectInputCallCount(InputObject object, InputCall call) {
    auto& counts = B().counts;
    auto it = counts.find(std::make_pair(static_cast<int>(object), static_cast<int>(call)));
    return it == counts.end() ? 0 : it->second;
}

void RecordDirectInputCalls(bool on) { B().record = on; }
const std::vector<std::string>& DirectInputCalls() { return B().log; }

void SetDirectInputCallHook(std::function<void(const std::string& line)> hook) {
    B().hook = std::move(hook);
}

int DikFromSdlScancode(int scancode) { return DikFromScancode(scancode); }

}  // namespace platform_testing
