#include "app/Globals.h"

HWND g_hWnd = NULL;
HINSTANCE g_hInstance = NULL;
HRESULT g_Result = 0;

IDirect3D9* g_D3D = NULL;
IDirect3DDevice9* g_Device = NULL;
D3DPRESENT_PARAMETERS g_PresentParams = {};
IDirect3DSurface9* g_BackBuffer = NULL;

int g_ScreenWidth = 1024;
int g_ScreenHeight = 768;
int g_ModeWidth = 1024;
int g_ModeHeight = 768;
int g_ModeBitDepth = 16;

int g_CursorX = 0;
int g_CursorY = 0;

DWORD g_FrameStartMs = 0;
DWORD g_LastUpdateEndMs = 0;

LONGLONG g_TimerFrequency = 0;
int g_FrameCount = 0;
LONGLONG g_LastRateStamp = 0;
int g_FramesPerSecond = 0;
char g_FrameRateText[12] = "";
