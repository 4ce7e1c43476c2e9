#include "particles/ParticleSystem.h"

#include <new>

#include "app/Device.h"
#include "particles/ParticleShared.h"

DWORD g_ParticleUseCount = 0;
IDirect3DVertexShader9* g_ParticleShader = NULL;
IDirect3DVertexDeclaration9* g_ParticleDeclaration = NULL;
IDirect3DTexture9** g_ParticleTextures = NULL;
DWORD g_DustTimerMs = 0;

namespace {

const char kShaderFile[] = "..\\Particle.vsh";
const char* const kTextureFiles[2] = {"..\\Data\\Particle_Smoke.bmp", "..\\Data\\Particle_Spare1.bmp"};
const D3DCOLOR kColorKey = 0xFF000000;  // opaque black is see-through
// Every index of a batch must fit in 16 bits.
const DWORD kMaxCapacity = 16384;

const D3DVERTEXELEMENT9 kParticleDeclaration[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 1},
    {0, 20, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};

// Releases a device object when there is one and forgets it.
template <class T>
void ReleaseAndClear(T*& object) {
    if (object) object->Release();
    object = NULL;
}

// Frees a list from its first particle on, one at a time.
void DeleteList(Particle* p) {
    while (p) {
        Particle* next = p->Next;
        p->Next = NULL;
        p->Prev = NULL;
        delete p;
        p = next;
    }
}

void FreeSharedObjects() {
    if (g_ParticleTextures) {
        for (int i = 0; i < 2; ++i) ReleaseAndClear(g_ParticleTextures[i]);
        delete[] g_ParticleTextures;
        g_ParticleTextures = NULL;
    }
    ReleaseAndClear(g_ParticleShader);
    ReleaseAndClear(g_ParticleDeclaration);
}

// The four corners of a particle, newest particle first in the buffer.
void WriteQuad(const Particle& p, ParticleVertex* v) {
    const float h = p.Size * 0.5f;
    const float corners[4][4] = {{-h, +h, 0, 0}, {+h, +h, 1, 0}, {-h, -h, 0, 1}, {+h, -h, 1, 1}};
    for (int i = 0; i < 4; ++i) {
        v[i].Center = p.Position;
        v[i].CornerX = corners[i][0];
        v[i].CornerY = corners[i][1];
        v[i].Color = p.Color;
        v[i].U = corners[i][2];
        v[i].V = corners[i][3];
    }
}

}  // namespace

Particle::~Particle() {
    // Iteratively, so that a long list does not take a call per particle.
    Particle* rest = Next;
    Next = NULL;
    Prev = NULL;
    DeleteList(rest);
}

ParticleSystem::ParticleSystem()
    : Device(NULL),
      Flags(0),
      VertexBuffer(NULL),
      IndexBuffer(NULL),
      Vector(0.0f, 0.0f, 0.0f),
      Capacity(0),
      Head(NULL),
      Counted(false) {}

ParticleSystem::~ParticleSystem() { Release(); }

int ParticleSystem::Create(IDirect3DDevice9* device, const D3DXVECTOR3* vector, DWORD flags, DWORD capacity) {
    Device = device;
    if (!device) return 0;
    // A batch of no particles would never be drawn; more than the limit would
    // wrap the 16-bit indices.
    if (capacity == 0 || capacity > kMaxCapacity) return 0;
    Vector = vector ? *vector : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    Flags = flags;
    Capacity = capacity;
    ReleaseBuffers();  // a system created again keeps no old buffers

    if (!g_ParticleTextures) {
        // Zeroed: a texture that cannot be loaded stays null.
        g_ParticleTextures = new IDirect3DTexture9*[2]();
        for (int i = 0; i < 2; ++i)
            D3DXCreateTextureFromFileExA(device, kTextureFiles[i], D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                         D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, kColorKey,
                                         NULL, NULL, &g_ParticleTextures[i]);
    }

    // Buffers the device refuses leave the system not ready, with nothing of its own.
    device->CreateVertexBuffer(Capacity * 4 * sizeof(ParticleVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                               D3DPOOL_DEFAULT, &VertexBuffer, NULL);
    device->CreateIndexBuffer(Capacity * 6 * sizeof(WORD), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                              &IndexBuffer, NULL);
    WORD* index = NULL;
    if (!VertexBuffer || !IndexBuffer || FAILED(IndexBuffer->Lock(0, 0, reinterpret_cast<void**>(&index), 0)) ||
        !index) {
        ReleaseBuffers();
        return 0;
    }
    // Triangles (0, 1, 2) and (3, 2, 1) of each quad.
    for (DWORD i = 0; i < Capacity; ++i) {
        const WORD first = static_cast<WORD>(i * 4);
        WORD* q = index + i * 6;
        q[0] = first;
        q[1] = first + 1;
        q[2] = first + 2;
        q[3] = first + 3;
        q[4] = first + 2;
        q[5] = first + 1;
    }
    IndexBuffer->Unlock();

    if (!g_ParticleShader) {
        CreateVertexShaderFromFile(&g_ParticleShader, device, kShaderFile, kParticleDeclaration,
                                   &g_ParticleDeclaration);
        if (!g_ParticleShader) {
            ReleaseAndClear(g_ParticleDeclaration);
            return 0;
        }
    }

    if (!Counted) {
        ++g_ParticleUseCount;
        Counted = true;
    }
    return 1;
}

void ParticleSystem::Release() {
    // Only a system that counted takes its use back; with none left (or none
    // ever counted) the shared objects go.
    if (Counted) {
        Counted = false;
        if (g_ParticleUseCount != 0) --g_ParticleUseCount;
    }
    if (g_ParticleUseCount == 0) FreeSharedObjects();

    Device = NULL;
    ReleaseBuffers();
    Capacity = 0;
    Clear();
}

void ParticleSystem::ReleaseBuffers() {
    ReleaseAndClear(VertexBuffer);
    ReleaseAndClear(IndexBuffer);
}

void ParticleSystem::AddParticle(DWORD type, const D3DXVECTOR3* position, float size, D3DCOLOR color, DWORD lifeMs,
                                 const D3DXVECTOR3* velocity) {
    // Out of memory, the particle is simply not made.
    Particle* p = new (std::nothrow) Particle;
    if (!p) return;
    p->Type = type;
    p->Position = position ? *position : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    p->Velocity = velocity ? *velocity : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    p->LifeMs = lifeMs;
    p->Size = size;
    p->Color = color;
    p->Prev = NULL;
    p->Next = Head;
    if (Head) Head->Prev = p;
    Head = p;
}

void ParticleSystem::Clear() {
    DeleteList(Head);
    Head = NULL;
}

void ParticleSystem::Update(DWORD elapsedMs) {
    if (!Head) return;
    const float seconds = static_cast<float>(elapsedMs) * 0.001f;
    Particle* p = Head;
    while (p) {
        Particle* next = p->Next;
        bool dies = false;
        if (p->LifeMs != 0) {
            if (p->LifeMs <= elapsedMs)
                dies = true;
            else
                p->LifeMs -= elapsedMs;
        }
        // Dying ones move too, before they go.
        p->Position.x += p->Velocity.x * seconds;
        p->Position.y += p->Velocity.y * seconds;
        p->Position.z += p->Velocity.z * seconds;
        if (dies) {
            if (p->Prev)
                p->Prev->Next = next;
            else
                Head = next;
            if (next) next->Prev = p->Prev;
            // Unlinked first: deleting a particle frees its successors.
            p->Next = NULL;
            p->Prev = NULL;
            delete p;
        }
        p = next;
    }
}

int ParticleSystem::BeginRender(const D3DXMATRIX* view, const D3DXMATRIX* projection) {
    if (!Device || !g_ParticleShader || !g_ParticleDeclaration || !view || !projection) return 0;
    Device->SetFVF(0);
    Device->SetVertexShader(g_ParticleShader);
    Device->SetVertexDeclaration(g_ParticleDeclaration);

    // Particle positions are world positions: no world matrix takes part.
    D3DXMATRIX m;
    D3DXMatrixMultiply(&m, view, projection);
    D3DXMatrixTranspose(&m, &m);
    Device->SetVertexShaderConstantF(0, static_cast<const float*>(m), 4);

    // The camera's right and up in world space: the view's first two columns.
    D3DXVECTOR4 right(view->_11, view->_21, view->_31, 0.0f);
    D3DXVECTOR4 up(view->_12, view->_22, view->_32, 0.0f);
    D3DXVec4Normalize(&right, &right);
    D3DXVec4Normalize(&up, &up);
    Device->SetVertexShaderConstantF(4, static_cast<const float*>(right), 1);
    Device->SetVertexShaderConstantF(5, static_cast<const float*>(up), 1);
    return 1;
}

void ParticleSystem::Draw(DWORD count) {
    Device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, count * 4, 0, count * 2);
}

ParticleVertex* ParticleSystem::LockVertices() {
    void* v = NULL;
    if (FAILED(VertexBuffer->Lock(0, 0, &v, D3DLOCK_DISCARD))) return NULL;
    if (!v) VertexBuffer->Unlock();
    return static_cast<ParticleVertex*>(v);
}

void ParticleSystem::Render() {
    if (!Device || !VertexBuffer || !Head) return;
    // Without the shared objects (never made, or already freed) the particle
    // buffer has no vertex format to be drawn with.
    if (!g_ParticleTextures || !g_ParticleShader || !g_ParticleDeclaration) return;

    Device->SetStreamSource(0, VertexBuffer, 0, sizeof(ParticleVertex));
    Device->SetIndices(IndexBuffer);
    for (DWORD pass = 0; pass < 2; ++pass) {
        // A pass whose buffer cannot be had is skipped.
        ParticleVertex* v = LockVertices();
        if (!v) continue;
        bool textured = false;
        DWORD count = 0;
        for (Particle* p = Head; p && v; p = p->Next) {
            if (p->Type != pass) continue;
            if (!textured) {
                Device->SetTexture(0, g_ParticleTextures[pass]);
                textured = true;
            }
            WriteQuad(*p, v);
            v += 4;
            if (++count == Capacity) {
                VertexBuffer->Unlock();
                Draw(count);
                count = 0;
                v = LockVertices();
            }
        }
        if (!v) continue;
        VertexBuffer->Unlock();
        if (count != 0) Draw(count);
    }
}

void ParticleSystem::EndRender() {
    if (!Device) return;
    Device->SetVertexShader(NULL);
    Device->SetVertexDeclaration(NULL);
}
