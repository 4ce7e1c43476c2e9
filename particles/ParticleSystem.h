// Particle systems: lists of squares that face the camera, move at a constant
// velocity and live a given time, drawn in batches through the particle vertex
// shader. The textures, the shader and its declaration are shared by every
// system: the first one created loads them, the last one released frees them.
#pragma once

#include <d3dx9.h>

struct Particle {
    DWORD Type;  // texture index and drawing pass: 0 or 1
    D3DXVECTOR3 Position;
    D3DXVECTOR3 Velocity;  // world units per second
    DWORD LifeMs;          // remaining life; 0 is endless
    float Size;            // edge of the square in world units
    D3DCOLOR Color;
    Particle* Prev;
    Particle* Next;

    // Frees this particle's successors too: deleting a particle frees the
    // rest of its list.
    ~Particle();
};

// The vertex of stream 0: four per particle, one per corner.
struct ParticleVertex {
    D3DXVECTOR3 Center;     // POSITION0
    float CornerX, CornerY; // POSITION1: offset from the centre
    D3DCOLOR Color;         // COLOR0
    float U, V;             // TEXCOORD0
};

class ParticleSystem {
public:
    ParticleSystem();
    ~ParticleSystem();

    // 1 when the system is ready to draw, 0 when not (a missing device, a
    // capacity outside 1..16384, buffers the device refused, no shader).
    int Create(IDirect3DDevice9* device, const D3DXVECTOR3* vector, DWORD flags, DWORD capacity);
    void Release();

    void AddParticle(DWORD type, const D3DXVECTOR3* position, float size, D3DCOLOR color, DWORD lifeMs,
                     const D3DXVECTOR3* velocity);
    void Clear();
    // Ages and moves every particle by the elapsed time; the dead are freed.
    void Update(DWORD elapsedMs);

    // The shader state for drawing; one call serves every system. 1 when set.
    int BeginRender(const D3DXMATRIX* view, const D3DXMATRIX* projection);
    void Render();
    void EndRender();

    // The emitters: a puff of dust at most every 200 ms of accumulated time,
    // and a burst of five sparks.
    void EmitDust(const D3DXVECTOR3* position, DWORD elapsedMs);
    void EmitSparks(const D3DXVECTOR3* position, float angle);

    IDirect3DDevice9* Device;  // not referenced
    DWORD Flags;
    IDirect3DVertexBuffer9* VertexBuffer;
    IDirect3DIndexBuffer9* IndexBuffer;
    D3DXVECTOR3 Vector;
    DWORD Capacity;  // particles per drawing batch
    Particle* Head;

private:
    void ReleaseBuffers();
    // The whole vertex buffer, its old contents discarded; null when refused.
    ParticleVertex* LockVertices();
    void Draw(DWORD count);

    // Whether this system's Create added to the shared use count, so that
    // only a system that counted takes its use back.
    bool Counted;
};
