// The device's cost per frame: its own checks on the null back end, and whole
// frames of the OpenGL back end in a headless context (software rendering).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/testing.h"
#include "tests/support/device_fixtures.h"

namespace {

struct MeshVertex {  // the loader's meshes: D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1
    float x, y, z, nx, ny, nz, u, v;
};
constexpr DWORD kMeshFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

struct Scene {
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    IDirect3DTexture9* tex = nullptr;
    UINT vertices = 0;
    UINT triangles = 0;

    // A grid of `cells` x `cells` quads over most of the screen, in front of the camera.
    bool Make(bool null, UINT cells) {
        platform_testing::ResetD3D9();
        platform_testing::UseNullD3D9(null);
        platform_testing::RecordD3D9Calls(false);
        platform_testing::UseHeadlessD3D9(true);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d || FAILED(device_fixtures::CreateWindowedDevice(d3d, 1024, 768, &dev))) return false;
        vertices = (cells + 1) * (cells + 1);
        triangles = cells * cells * 2;
        dev->CreateVertexBuffer(vertices * sizeof(MeshVertex), 0, kMeshFvf, D3DPOOL_MANAGED, &vb, nullptr);
        dev->CreateIndexBuffer(triangles * 3 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr);
        Fill(0.0f);
        WORD* idx = nullptr;
        ib->Lock(0, 0, reinterpret_cast<void**>(&idx), 0);
        for (UINT y = 0; y < cells; ++y)
            for (UINT x = 0; x < cells; ++x) {
                WORD a = WORD(y * (cells + 1) + x), b = WORD(a + 1), c = WORD(a + cells + 1), d = WORD(c + 1);
                const WORD quad[6] = {a, b, c, c, b, d};
                std::memcpy(idx, quad, sizeof quad);
                idx += 6;
            }
        ib->Unlock();
        dev->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr);
        D3DLOCKED_RECT lr;
        tex->LockRect(0, &lr, nullptr, 0);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                reinterpret_cast<DWORD*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x] =
                    ((x ^ y) & 16) ? 0xFFC08040 : 0xFF404080;
        tex->UnlockRect(0);
        D3DMATERIAL9 m = {};
        m.Diffuse = m.Ambient = {1, 1, 1, 1};
        dev->SetMaterial(&m);
        dev->SetRenderState(D3DRS_AMBIENT, 0xFFC8C8C8);
        dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        return true;
    }

    // Rewrites every vertex, as the software skinning does each frame.
    void Fill(float phase) {
        MeshVertex* v = nullptr;
        vb->Lock(0, 0, reinterpret_cast<void**>(&v), 0);
        const UINT side = static_cast<UINT>(std::sqrt(static_cast<double>(vertices)));
        for (UINT y = 0; y < side; ++y)
            for (UINT x = 0; x < side; ++x) {
                float fx = float(x) / float(side - 1) * 1.8f - 0.9f, fy = 0.9f - float(y) / float(side - 1) * 1.8f;
                *v++ = {fx, fy, 0.5f + 0.1f * std::sin(phase + fx), 0, 0, -1, fx, fy};
            }
        vb->Unlock();
    }

    void Frame(UINT subsets) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        dev->BeginScene();
        dev->SetFVF(kMeshFvf);
        dev->SetStreamSource(0, vb, 0, sizeof(MeshVertex));
        dev->SetIndices(ib);
        dev->SetTexture(0, tex);
        const UINT per = triangles / subsets;
        for (UINT s = 0; s < subsets; ++s)
            dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, vertices, s * per * 3, per);
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
    }

    ~Scene() {
        if (tex) tex->Release();
        if (vb) vb->Release();
        if (ib) ib->Release();
        if (dev) dev->Release();
        if (d3d) d3d->Release();
        platform_testing::ResetD3D9();
    }
};

// The device's own work for a frame of the given size: state, checks of every
// index against the buffers.
void BM_NullFrame(benchmark::State& state) {
    Scene scene;
    if (!scene.Make(true, static_cast<UINT>(state.range(0)))) return state.SkipWithError("no device");
    for (auto _ : state) scene.Frame(10);
    state.counters["triangles"] = scene.triangles;
}
BENCHMARK(BM_NullFrame)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

// A whole frame drawn: the vertex buffer rewritten (as skinning does), ten
// subsets, and the back buffer read once so the frame is finished.
void BM_GlFrame(benchmark::State& state) {
    Scene scene;
    if (!scene.Make(false, static_cast<UINT>(state.range(0)))) return state.SkipWithError("no OpenGL");
    IDirect3DSurface9* back = nullptr;
    scene.dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    float phase = 0.0f;
    for (auto _ : state) {
        scene.Fill(phase += 0.1f);
        scene.Frame(10);
        D3DLOCKED_RECT lr;
        back->LockRect(&lr, nullptr, D3DLOCK_READONLY);
        benchmark::DoNotOptimize(*static_cast<DWORD*>(lr.pBits));
        back->UnlockRect();
    }
    back->Release();
    state.counters["triangles"] = scene.triangles;
}
BENCHMARK(BM_GlFrame)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
