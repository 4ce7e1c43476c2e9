// The program's entry, its window procedure and the per-frame driver.
#pragma once

#include <windows.h>

LRESULT CALLBACK MsgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void RunFrame();
// Moves the program's cursor and keeps it within 0..width-20 by 0..height-20.
void MoveCursor(int dx, int dy);
