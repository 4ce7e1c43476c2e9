// The keyboard questions and the mouse poll of one frame: every question is a
// whole read of the keyboard, and a frame asks a few dozen of them.
#include <benchmark/benchmark.h>

#include "app/Globals.h"
#include "input/DirectInput.h"
#include "platform/testing.h"

namespace {

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

bool Ready() {
    static bool ready = [] {
        platform_testing::SetHeadlessWindows(true);
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "BRANTO";
        RegisterClassExA(&wc);
        g_hWnd = CreateWindowExA(0, "BRANTO", "", 0x00CA0000, 0, 0, 1024, 768, NULL, NULL, NULL, NULL);
        return g_hWnd && InitDirectInput() == 0;
    }();
    return ready;
}

void BM_FrameOfInput(benchmark::State& state) {
    if (!Ready()) {
        state.SkipWithError("no input devices");
        return;
    }
    const int keys[] = {DIK_C,  DIK_S,    DIK_D,     DIK_E,  DIK_A,  DIK_UP,
                        DIK_DOWN, DIK_LEFT, DIK_RIGHT, DIK_D,  DIK_E,  DIK_A};
    platform_testing::SetKeyByte(DIK_UP, 0x80);
    for (auto _ : state) {
        g_Mouse.Poll();
        int down = 0;
        for (int round = 0; round < 4; ++round)
            for (int key : keys) down += g_Keyboard.IsKeyDown(key);
        benchmark::DoNotOptimize(down);
    }
    state.SetItemsProcessed(state.iterations() * 48);
}
BENCHMARK(BM_FrameOfInput);

}  // namespace

BENCHMARK_MAIN();
