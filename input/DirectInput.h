// The program's DirectInput object, with the keyboard and the mouse made from it.
#pragma once

#include <dinput.h>

// Makes g_DirectInput, then readies g_Keyboard and g_Mouse. 0 or E_FAIL.
HRESULT InitDirectInput();
void ReleaseDirectInput();

// Acquire, repeated while the device answers that its input was lost; the
// last answer. Bounded, so a device that keeps answering so cannot hang a frame.
HRESULT AcquireWhileLost(IDirectInputDevice8A* device);
