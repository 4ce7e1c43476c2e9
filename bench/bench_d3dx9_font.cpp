// The program's four texts of a frame through the font, glyphs already in the
// atlas: on the OpenGL device (headless) and, for the library's own share, on
// the null device. Text drawing must stay far below a millisecond per frame.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "platform/d3dx9/d3dx9.h"
#include "platform/testing.h"
#include "tests/support/device_fixtures.h"

namespace {

struct Text {
    LONG x, y;
    const char* text;
};
// As the program places them on a 1024 x 768 screen.
const Text kTexts[] = {
    {81, 30, "Frame Rate:"},
    {204, 30, "123"},
    {819, 30, "ESC to exit"},
    {819, 691, "TNX to MERVO"},
};

class Scene {
public:
    explicit Scene(bool gl) {
        platform_testing::ResetD3D9();
        if (gl) {
            platform_testing::UseHeadlessD3D9();
        } else {
            platform_testing::UseNullD3D9();
            platform_testing::RecordD3D9Calls(false);  // the log would dominate
        }
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d_ || FAILED(device_fixtures::CreateWindowedDevice(d3d_, 1024, 768, &device_))) return;
        if (FAILED(D3DXCreateFontA(device_, -19, 0, FW_BOLD, 0, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   ANTIALIASED_QUALITY, 0, "Viner Hand ITC", &font_)))
            return;
        font_->PreloadCharacters(0x20, 0x7E);
    }
    ~Scene() {
        if (font_) font_->Release();
        if (device_) device_->Release();
        if (d3d_) d3d_->Release();
        platform_testing::ResetD3D9();
    }
    bool Ready() const { return font_ != nullptr; }

    void DrawTexts() {
        for (const Text& t : kTexts) {
            RECT r;
            SetRect(&r, t.x, t.y, 0, 0);
            benchmark::DoNotOptimize(font_->DrawTextA(nullptr, t.text, -1, &r, DT_NOCLIP, 0xFFFFFFFF));
        }
    }
    IDirect3DDevice9* device() const { return device_; }

private:
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    ID3DXFont* font_ = nullptr;
};

// A whole frame, so that the back end's work for the texts is counted too;
// compare with BM_EmptyFrame.
void Frame(benchmark::State& state, bool gl, bool texts) {
    Scene scene(gl);
    if (!scene.Ready()) {
        state.SkipWithError("no device or no font");
        return;
    }
    for (auto _ : state) {
        IDirect3DDevice9* dev = scene.device();
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        dev->BeginScene();
        if (texts) scene.DrawTexts();
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
    }
}

// Only the four calls, the back end's drawing deferred as it may be.
void TextsOnly(benchmark::State& state, bool gl) {
    Scene scene(gl);
    if (!scene.Ready()) {
        state.SkipWithError("no device or no font");
        return;
    }
    scene.device()->BeginScene();
    for (auto _ : state) scene.DrawTexts();
    scene.device()->EndScene();
}

void BM_FourTextsGl(benchmark::State& state) { TextsOnly(state, true); }
void BM_FourTextsNull(benchmark::State& state) { TextsOnly(state, false); }
void BM_FrameWithTextsGl(benchmark::State& state) { Frame(state, true, true); }
void BM_EmptyFrameGl(benchmark::State& state) { Frame(state, true, false); }

BENCHMARK(BM_FourTextsNull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FourTextsGl)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameWithTextsGl)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EmptyFrameGl)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
