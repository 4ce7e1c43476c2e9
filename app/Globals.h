// The program's shared state: every global that more than one routine uses.
#pragma once

#include <d3d9.h>

extern HWND g_hWnd;
extern HINSTANCE g_hInstance;
extern HRESULT g_Result;

// The Direct3D object, the device and the back buffer, owned by the application.
extern IDirect3D9* g_D3D;
extern IDirect3DDevice9* g_Device;
extern D3DPRESENT_PARAMETERS g_PresentParams;
extern IDirect3DSurface9* g_BackBuffer;

// Screen and device mode; constants of the program, kept as variables.
extern int g_ScreenWidth;
extern int g_ScreenHeight;
extern int g_ModeWidth;
extern int g_ModeHeight;
extern int g_ModeBitDepth;

// The program's own cursor position, in pixels.
extern int g_CursorX;
extern int g_CursorY;

// Millisecond stamps of the frame driver.
extern DWORD g_FrameStartMs;
extern DWORD g_LastUpdateEndMs;

// Frame-rate measurement.
extern LONGLONG g_TimerFrequency;
extern int g_FrameCount;
extern LONGLONG g_LastRateStamp;
extern int g_FramesPerSecond;
extern char g_FrameRateText[12];
