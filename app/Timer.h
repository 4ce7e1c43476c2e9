// Frame-rate measurement with the high-resolution performance counter.
#pragma once

#include <windows.h>

HRESULT InitTimer();
// Counts one frame; about once a second publishes the count in g_FramesPerSecond.
void UpdateFrameCounter();
