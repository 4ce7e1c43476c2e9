// The program's shared state: every global object and every global that more
// than one routine uses.
#pragma once

#include <d3dx9.h>
#include <dinput.h>

#include "app/Camera.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "particles/ParticleSystem.h"
#include "scene/Animation.h"
#include "scene/SceneFrame.h"

struct HierarchyFrame;
struct MeshContainer;

// Global objects, constructed before WinMain in this order and destroyed in
// reverse at exit.
extern Keyboard g_Keyboard;
extern Mouse g_Mouse;
extern Camera g_FollowCamera;  // follows the character
extern Camera g_LookCamera;    // turned by the mouse
extern SceneFrame g_Character;
extern SceneFrame g_Level;
extern AnimationCollection g_Animations;  // the character's animation sets
extern ParticleSystem g_DustParticles;   // dust where the character walks
extern ParticleSystem g_SparkParticles;  // sparks of the sword

extern HWND g_hWnd;
extern HINSTANCE g_hInstance;
extern HRESULT g_Result;

// The Direct3D object, the device and the surfaces, owned by the application.
extern IDirect3D9* g_D3D;
extern IDirect3DDevice9* g_Device;
extern D3DPRESENT_PARAMETERS g_PresentParams;
extern IDirect3DSurface9* g_BackBuffer;
extern IDirect3DSurface9* g_MiniMapSurface;
extern ID3DXFont* g_Font;

extern IDirectInput8A* g_DirectInput;

// Screen, font and device mode; constants of the program, kept as variables.
extern int g_ScreenWidth;
extern int g_ScreenHeight;
extern int g_FontPointSize;
extern int g_ModeWidth;
extern int g_ModeHeight;
extern int g_ModeBitDepth;

// Frame-rate measurement.
extern LONGLONG g_TimerFrequency;
extern int g_FrameCount;
extern LONGLONG g_LastRateStamp;
extern int g_FramesPerSecond;
extern char g_FrameRateText[12];

// The loaded trees and meshes of the character and the level.
extern MeshContainer* g_CharacterMesh;
extern HierarchyFrame* g_CharacterFrames;
extern MeshContainer* g_LevelMesh;
extern HierarchyFrame* g_LevelFrames;

// The program's own cursor position, in pixels.
extern int g_CursorX;
extern int g_CursorY;

// Millisecond stamps of the frame driver and the frame times made from them.
extern DWORD g_FrameStartMs;
extern DWORD g_LastUpdateEndMs;
extern DWORD g_ElapsedMs;    // since the first frame: the animation clock
extern DWORD g_FrameDeltaMs; // outside the update since the previous frame, plus 1

extern BYTE g_UseFollowCamera;  // 1: the view comes from g_FollowCamera
extern BYTE g_CollisionFlag;    // 1 when the frame's ray test hit

extern float g_CharacterX;
extern float g_CharacterZ;
extern D3DXVECTOR3 g_CharacterPos;
extern D3DXVECTOR3 g_CameraTarget;
extern D3DXVECTOR3 g_CameraOffset;  // x offset, height, z offset
extern D3DXMATRIX g_Projection;
