#include "app/Timer.h"

#include "app/Globals.h"

namespace {

void ReportNoHighResolutionTimer() {
    OutputDebugStringA("The system does not support high resolution timing");
    OutputDebugStringA("\n");
}

}  // namespace

HRESULT InitTimer() {
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    QueryPerformanceFrequency(&frequency);
    g_TimerFrequency = frequency.QuadPart;
    if (g_TimerFrequency == 0) {
        ReportNoHighResolutionTimer();
        return E_FAIL;
    }
    return S_OK;
}

void UpdateFrameCounter() {
    LARGE_INTEGER now;
    now.QuadPart = 0;
    QueryPerformanceCounter(&now);
    if (now.QuadPart == 0) ReportNoHighResolutionTimer();
    g_FrameCount += 1;
    if (now.QuadPart - g_LastRateStamp >= g_TimerFrequency) {
        g_FramesPerSecond = g_FrameCount;
        g_FrameCount = 0;
        g_LastRateStamp = now.QuadPart;
    }
}
