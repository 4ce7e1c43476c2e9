// The body of one frame.
#pragma once

#include <windows.h>

void UpdateAndRender();
// Turns the mouse-look camera by the mouse movement of the frame; returns 0.
int UpdateMouseLook();
