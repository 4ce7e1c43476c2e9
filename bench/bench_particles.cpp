// A thousand live particles on the null device, through the program's own
// particle system, shader file and bitmaps: the update of a frame, the
// particle pass of a frame (lock, fill, the shader run on every vertex,
// draw), and the whole of it with the frame's emission. The aim: under
// 0.2 ms of CPU a frame for the whole. Run with --benchmark_repetitions=N:
// each result then also reports its min and median.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>

#include "particles/ParticleSystem.h"
#include "bench/bench_stats.h"
#include "platform/testing.h"
#include "tests/support/device_fixtures.h"

namespace {

constexpr int kLive = 1000;

struct Pass {
    IDirect3DDevice9* device = nullptr;
    ParticleSystem system;
    D3DXMATRIX view, projection;
    bool ok = false;

    Pass() {
        // The system opens ..\Particle.vsh and ..\Data\ from the program's folder.
        if (chdir(BRANTO_BIN_DIR) != 0) return;
        device = device_fixtures::NullDevice(1024, 768, false);
        const D3DXVECTOR3 zero(0, 0, 0);
        if (!device || system.Create(device, &zero, 0, 32) != 1) return;
        // As the follow camera sees the character.
        const D3DXVECTOR3 eye(0, 2, 2), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 4, 1024.0f / 768.0f, 1.0f, 10000.0f);
        // Endless particles spread about the character, dust and sparks alike.
        for (int i = 0; i < kLive; ++i) {
            const D3DXVECTOR3 p(float(i % 40) * 0.05f - 1.0f, float(i / 40) * 0.05f, 0.1f * float(i % 3));
            const D3DXVECTOR3 v(0.01f, 0.0f, -0.01f);
            system.AddParticle(0, &p, i % 2 ? 0.3f : 0.1f, i % 2 ? 0xFF222222 : 0x00F4AE0B, 0, &v);
        }
        ok = true;
    }
    ~Pass() {
        system.Release();
        if (device) device->Release();
    }

    void Draw() {
        system.BeginRender(&view, &projection);
        system.Render();
        system.EndRender();
    }
};

Pass& ThePass() {
    static Pass pass;
    return pass;
}

void Report(benchmark::State& state) { state.counters["particles"] = kLive; }

void Update(benchmark::State& state) {
    Pass& pass = ThePass();
    if (!pass.ok) return state.SkipWithError("no particle system (is the run tree built?)");
    for (auto _ : state) pass.system.Update(16);
    Report(state);
}

void Render(benchmark::State& state) {
    Pass& pass = ThePass();
    if (!pass.ok) return state.SkipWithError("no particle system (is the run tree built?)");
    for (auto _ : state) pass.Draw();
    Report(state);
}

// Emit (a burst and a puff, short-lived), update, and the particle pass.
void Frame(benchmark::State& state) {
    Pass& pass = ThePass();
    if (!pass.ok) return state.SkipWithError("no particle system (is the run tree built?)");
    const D3DXVECTOR3 hand(0.2f, 0.8f, 0.1f), feet(0, 0, 0);
    for (auto _ : state) {
        pass.system.EmitSparks(&hand, 0.0f);
        pass.system.EmitDust(&feet, 16);
        pass.system.Update(16);
        pass.Draw();
    }
    Report(state);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench_stats::Register({{"Particles/update", Update}, {"Particles/pass", Render}, {"Particles/frame", Frame}});
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
