// The whole program's frame on the null device, as the message loop runs it
// (RunFrame: the frame counter, the mouse, the update and the drawing, with
// Present), on the generated data: the character standing, walking up and
// down, and striking with the sword. The aim: under 0.1 ms of CPU a frame
// standing and walking. The ray test of a frame has its own measure (the aim:
// under 10 us). Run with --benchmark_repetitions=N: each result then also
// reports its min and median.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>

#include "app/Application.h"
#include "app/Globals.h"
#include "app/Main.h"
#include "bench/bench_stats.h"
#include "platform/testing.h"
#include "tests/support/program_fixtures.h"

namespace pt = platform_testing;

namespace {

constexpr DWORD kFrameMs = 16;

double g_StartUpMs = 0;

// The program started once, as WinMain starts it, on a headless window; how
// long the start-up took is reported with each result.
bool Started() {
    static const bool started = [] {
        // The program opens ..\Data\Ninja.x and the rest from its own folder.
        if (chdir(BRANTO_BIN_DIR) != 0) return false;
        program_fixtures::ArrangeProgram();
        pt::RecordD3D9Calls(false);  // the shipped program logs nothing
        pt::SetFakeClockMs(100000);
        g_hWnd = program_fixtures::MakeProgramWindow();
        const auto begin = std::chrono::steady_clock::now();
        const bool ok = g_hWnd && InitApplication(g_hWnd) == 1;
        g_StartUpMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        return ok;
    }();
    return started;
}

void ReleaseKeys() {
    for (int key : {DIK_UP, DIK_DOWN, DIK_LEFT, DIK_RIGHT, DIK_A, DIK_S, DIK_D, DIK_E, DIK_C}) pt::SetKeyByte(key, 0);
}

// One frame as the loop runs it, the clock moving on by a frame's time.
void Frame() {
    pt::AdvanceFakeClockMs(kFrameMs);
    RunFrame();
}

void Standing(benchmark::State& state) {
    if (!Started()) return state.SkipWithError("the program did not start (is the run tree built?)");
    ReleaseKeys();
    for (auto _ : state) Frame();
    state.counters["start-up ms"] = g_StartUpMs;
}

// Down then Up in turns of a hundred frames, so the character walks to and
// fro in the open and every frame takes a step.
void Walking(benchmark::State& state) {
    if (!Started()) return state.SkipWithError("the program did not start (is the run tree built?)");
    ReleaseKeys();
    unsigned n = 0;
    for (auto _ : state) {
        if (n % 100 == 0) {
            const bool down = (n / 100) % 2 == 0;
            pt::SetKeyByte(DIK_DOWN, down ? 0x80 : 0);
            pt::SetKeyByte(DIK_UP, down ? 0 : 0x80);
        }
        ++n;
        Frame();
    }
    ReleaseKeys();
}

// A held: the sword set every frame and a burst of sparks each 980 ms.
void Striking(benchmark::State& state) {
    if (!Started()) return state.SkipWithError("the program did not start (is the run tree built?)");
    ReleaseKeys();
    pt::SetKeyByte(DIK_A, 0x80);
    for (auto _ : state) Frame();
    ReleaseKeys();
}

// The character's ray against the level, as a frame makes it.
void RayTest(benchmark::State& state) {
    if (!Started()) return state.SkipWithError("the program did not start (is the run tree built?)");
    ReleaseKeys();
    Frame();  // the device holds the level's world matrix, as in every frame
    for (auto _ : state) benchmark::DoNotOptimize(g_Character.RayTest(g_Level));
    state.counters["triangles"] = g_LevelMesh ? g_LevelMesh->MeshData.pMesh->GetNumFaces() : 0;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench_stats::Register({{"Frame/standing", Standing},
                           {"Frame/walking", Walking},
                           {"Frame/striking", Striking},
                           {"Frame/ray test", RayTest}});
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
