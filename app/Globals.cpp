#include "app/Globals.h"

// The global objects, defined here alone so that they are built in this order
// and destroyed in the reverse one: the keyboard goes last, after the device.
Keyboard g_Keyboard;
Mouse g_Mouse;
Camera g_FollowCamera;
Camera g_LookCamera;
SceneFrame g_Character;
SceneFrame g_Level;
AnimationCollection g_Animations;
ParticleSystem g_DustParticles;
ParticleSystem g_SparkParticles;

HWND g_hWnd = NULL;
HINSTANCE g_hInstance = NULL;
HRESULT g_Result = 0;

IDirect3D9* g_D3D = NULL;
IDirect3DDevice9* g_Device = NULL;
D3DPRESENT_PARAMETERS g_PresentParams = {};
IDirect3DSurface9* g_BackBuffer = NULL;
IDirect3DSurface9* g_MiniMapSurface = NULL;
ID3DXFont* g_Font = NULL;

IDirectInput8A* g_DirectInput = NULL;

int g_ScreenWidth = 1024;
int g_ScreenHeight = 768;
int g_FontPointSize = 14;
int g_ModeWidth = 1024;
int g_ModeHeight = 768;
int g_ModeBitDepth = 16;

LONGLONG g_TimerFrequency = 0;
int g_FrameCount = 0;
LONGLONG g_LastRateStamp = 0;
int g_FramesPerSecond = 0;
char g_FrameRateText[12] = "";

MeshContainer* g_CharacterMesh = NULL;
HierarchyFrame* g_CharacterFrames = NULL;
MeshContainer* g_LevelMesh = NULL;
HierarchyFrame* g_LevelFrames = NULL;

int g_CursorX = 0;
int g_CursorY = 0;

DWORD g_FrameStartMs = 0;
DWORD g_LastUpdateEndMs = 0;
DWORD g_ElapsedMs = 0;
DWORD g_FrameDeltaMs = 0;

BYTE g_UseFollowCamera = 1;
BYTE g_CollisionFlag = 0;

float g_CharacterX = 0.0f;
float g_CharacterZ = 0.0f;
D3DXVECTOR3 g_CharacterPos(0.0f, 0.0f, 0.0f);
D3DXVECTOR3 g_CameraTarget(0.0f, 0.0f, 0.0f);
D3DXVECTOR3 g_CameraOffset(0.0f, 0.0f, 0.0f);
D3DXMATRIX g_Projection;
