// Clocks: milliseconds since boot (32-bit, wrapping) and the performance counter
// in nanoseconds, both from CLOCK_MONOTONIC; tests may substitute a fake time.
#include <time.h>

#include "win32_internal.h"

namespace win32_internal {

Clock& TheClock() {
    static Clock* c = new Clock;
    return *c;
}

namespace {

uint64_t NowNs() {
    if (TheClock().fake) return TheClock().fakeNs;
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

void ResetClock() { TheClock() = Clock(); }

}  // namespace win32_internal

using namespace win32_internal;

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(NowNs() / 1000000u); }

DWORD WINAPI timeGetTime(void) { return static_cast<DWORD>(NowNs() / 1000000u); }

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count) return FALSE;
    if (TheClock().counterZero) {
        count->QuadPart = 0;
        return FALSE;
    }
    count->QuadPart = static_cast<LONGLONG>(NowNs());
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    if (TheClock().frequencyZero) {
        frequency->QuadPart = 0;
        return FALSE;
    }
    frequency->QuadPart = 1000000000;
    return TRUE;
}

HRESULT WINAPI CoInitialize(LPVOID /*reserved*/) { return S_OK; }

void WINAPI CoUninitialize(void) {}
