// The font through which every text on the screen is drawn.
#pragma once

#include <windows.h>

// Makes g_Font at 14 points for the screen's resolution, bold. S_OK or E_FAIL.
HRESULT CreateTextFont(const char* faceName);
// Draws a zero-terminated text with its top-left corner at (x, y), in a colour
// of four channels where 1.0 and above is full; the font's result (0 without a font).
INT DrawTextAt(int x, int y, const char* text, float r, float g, float b, float a);
// Writes g_FramesPerSecond into g_FrameRateText and draws that (`text` names
// the same buffer and is not read).
INT DrawFrameRate(int x, int y, char* text, float r, float g, float b, float a);
