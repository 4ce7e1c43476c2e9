// What every particle system shares: the use count, the shader with its
// declaration, the two textures and the dust emitter's clock.
#pragma once

#include <d3d9.h>

extern DWORD g_ParticleUseCount;  // systems created and not yet released
extern IDirect3DVertexShader9* g_ParticleShader;
extern IDirect3DVertexDeclaration9* g_ParticleDeclaration;
extern IDirect3DTexture9** g_ParticleTextures;  // two, by particle type
extern DWORD g_DustTimerMs;                     // dust emitter's accumulated time
