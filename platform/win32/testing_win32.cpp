#include "testing_win32.h"

#include "win32_internal.h"

namespace platform_testing {

using namespace win32_internal;

void ResetWin32() {
    ResetWindows();
    ResetQueue();
    ResetQuitRequest();
    ResetKeys();
    ResetCursor();
    ResetMessageBoxes();
    ResetClock();
    ResetDebugOutput();
    ResetGdi();
    TheDebugOutput().capture = true;
}

void SetMessageBoxAnswer(int answer) {
    TheMessageBoxes().preset = true;
    TheMessageBoxes().answer = answer;
}

void ClearMessageBoxAnswer() { TheMessageBoxes().preset = false; }

const std::vector<MessageBoxRecord>& MessageBoxes() { return TheMessageBoxes().shown; }

void SetHeadlessWindows(bool headless) { SetHeadless(headless); }
void SetHeadlessFocus(bool focused) { win32_internal::SetHeadlessFocus(focused); }
void FailRegisterClass(bool fail) { SetRegisterClassFails(fail); }
void FailCreateWindow(bool fail) { SetCreateWindowFails(fail); }
void RefuseFullscreen(bool refuse) { SetFullscreenRefused(refuse); }

void PressCloseButton(HWND window) {
    if (LiveWindow(window)) PostToQueue(window, WM_CLOSE, 0, 0);
}

int CursorDisplayCount() { return win32_internal::CursorDisplayCount(); }

void SetAsyncKeyState(int virtualKey, bool down, bool pressedSinceLastQuery) {
    SetKeyState(virtualKey, down, pressedSinceLastQuery);
}

void PressKey(HWND window, int virtualKey) {
    bool wasDown = KeyIsDown(virtualKey);
    KeyTransition(virtualKey, true);
    LPARAM lp = 1 | (wasDown ? (1 << 30) : 0);
    if (LiveWindow(window)) PostToQueue(window, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), lp);
}

void ReleaseKey(HWND window, int virtualKey) {
    KeyTransition(virtualKey, false);
    LPARAM lp = static_cast<LPARAM>(static_cast<int32_t>(0xC0000001u));
    if (LiveWindow(window)) PostToQueue(window, WM_KEYUP, static_cast<WPARAM>(virtualKey), lp);
}

void SetFakeClockMs(uint64_t ms) {
    TheClock().fake = true;
    TheClock().fakeNs = ms * 1000000u;
}

void AdvanceFakeClockMs(uint64_t ms) { AdvanceFakeClockNs(ms * 1000000u); }

void AdvanceFakeClockNs(uint64_t ns) {
    TheClock().fake = true;
    TheClock().fakeNs += ns;
}

void ForcePerformanceCounterZero(bool zero) { TheClock().counterZero = zero; }
void ForcePerformanceFrequencyZero(bool zero) { TheClock().frequencyZero = zero; }

void CaptureDebugOutput(bool capture) { TheDebugOutput().capture = capture; }
const std::vector<std::string>& DebugOutput() { return TheDebugOutput().written; }

std::string DebugOutputText() {
    std::string all;
    for (const std::string& s : TheDebugOutput().written) all += s;
    return all;
}

void ClearDebugOutput() {
    TheDebugOutput().written.clear();
    ForgetReportedLines();
}

void SetScreenDpi(int dpi) { SetDpi(dpi); }

}  // namespace platform_testing
