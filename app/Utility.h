// Error report and small numeric routines.
#pragma once

#include <windows.h>

// "ERROR: ", the message and a line feed on the debugger output.
void ReportError(const char* message);

// Difference of the truncated magnitudes of a and b, larger minus smaller as
// ordered by the floats themselves (so values of opposite sign do not give their
// distance).
float IntDistance(float a, float b);
float FloatDistance(float a, float b);
float SnapAngle(float x);

// Fills a rectangle of locked 32-bit pixels; no clipping.
void FillRect(const RECT* rect, DWORD colour, int pitch, DWORD* bits);
