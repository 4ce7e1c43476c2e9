#include "program_fixtures.h"

#include <cstdint>

#include "platform/testing.h"

namespace program_fixtures {

HINSTANCE const kInstance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));

HWND MakeProgramWindow(const char* title, WNDPROC proc) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = "BRANTO";
    if (!RegisterClassExA(&wc)) return nullptr;
    return CreateWindowExA(0, "BRANTO", title, 0x00CA0000, 0, 0, 1024, 768, NULL, NULL, NULL, NULL);
}

void ArrangeProgram() {
    namespace pt = platform_testing;
    pt::ResetWin32();
    pt::ResetD3D9();
    pt::ResetD3DXFont();
    pt::ResetDirectInput();
    pt::SetHeadlessWindows(true);
    pt::UseNullD3D9();
    pt::SetMessageBoxAnswer(IDNO);
}

int RunProgram() {
    char commandLine[] = "";
    return WinMain(kInstance, NULL, commandLine, SW_SHOWNORMAL);
}

int RunFrames(std::function<bool(unsigned frame)> each) {
    platform_testing::SetD3D9PresentHook([each](unsigned frame) {
        if (each(frame)) platform_testing::SetAsyncKeyState(VK_ESCAPE, true, true);
    });
    return RunProgram();
}

}  // namespace program_fixtures
