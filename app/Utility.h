// Error report and small numeric routines.
#pragma once

#include <windows.h>

#include <d3dx9.h>

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

// The point at t on the segment ends[0]..ends[1]; t is not clamped. Returns 0.
int LerpPoint(const D3DXVECTOR3* ends, float t, D3DXVECTOR3* out);
// The cubic curve from points[0] to points[1], with control points points[2]
// (next to the start) and points[3] (next to the end). Returns 0.
int BezierPoint(const D3DXVECTOR3* points, float t, D3DXVECTOR3* out);

// Clears one rectangle of the render target (depth and stencil untouched).
void ClearRect(const D3DRECT* rect, D3DCOLOR colour, IDirect3DDevice9* device);
