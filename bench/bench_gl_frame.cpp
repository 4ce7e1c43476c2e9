// Whole frames of the program on the OpenGL device in a real window (update,
// render with the program's own states, Present), standing, walking and
// striking with the sword, from the generated data. Each repetition runs the
// program once, in a child process (the program's globals live once per
// process); the child times every frame from one Present to the next and the
// benchmark reports them. Needs a display: under Xvfb run, for example,
//   xvfb-run -n 171 -s '-screen 0 1024x768x24' build/bench/bench_gl_frame
// Each result reports mean, median, min and the spread of its repetitions.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "platform/dinput/dinput.h"
#include "platform/testing.h"
#include "tests/support/program_fixtures.h"

namespace {

namespace pt = platform_testing;

constexpr unsigned kWarmUp = 60;  // frames before the timed ones: programs built, textures made

// Runs the program, pressing `keys`, and writes the time of each frame after
// the warm-up (seconds, as doubles) to `out` until `frames` are written.
void RunProgram(int out, const std::vector<int>& keys, unsigned frames) {
    if (chdir(BRANTO_BIN_DIR) != 0) _exit(2);
    program_fixtures::ArrangeProgram();
    pt::SetHeadlessWindows(false);
    pt::UseNullD3D9(false);
    pt::RecordD3D9Calls(false);
    for (int k : keys) pt::SetKeyByte(k, 0x80);
    auto last = std::chrono::steady_clock::now();
    unsigned written = 0;
    program_fixtures::RunFrames([&](unsigned frame) {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - last).count();
        last = now;
        if (frame <= kWarmUp) return false;
        if (write(out, &seconds, sizeof seconds) != sizeof seconds) return true;
        return ++written >= frames;
    });
    close(out);
}

void BM_ProgramFrameGl(benchmark::State& state, std::vector<int> keys) {
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no display: run under Xvfb");
        return;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        RunProgram(fds[1], keys, static_cast<unsigned>(state.max_iterations));
        _exit(0);
    }
    close(fds[1]);
    for (auto _ : state) {
        double seconds = 0;
        if (read(fds[0], &seconds, sizeof seconds) != sizeof seconds) {
            state.SkipWithError("the program ended before its frames were timed");
            break;
        }
        state.SetIterationTime(seconds);
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
}

void Options(benchmark::internal::Benchmark* b) {
    b->UseManualTime()->Iterations(300)->Repetitions(3)->Unit(benchmark::kMillisecond);
    b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

BENCHMARK_CAPTURE(BM_ProgramFrameGl, standing, std::vector<int>{})->Apply(Options);
BENCHMARK_CAPTURE(BM_ProgramFrameGl, walking, std::vector<int>{DIK_UP})->Apply(Options);
BENCHMARK_CAPTURE(BM_ProgramFrameGl, striking, std::vector<int>{DIK_A})->Apply(Options);

}  // namespace

BENCHMARK_MAIN();
