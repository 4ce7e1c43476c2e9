// The program's entry: the process starts in the executable's folder, as a
// program started from its icon would, and WinMain's result is the exit status.
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "native.h"
#include "windows.h"

int main(int argc, char** argv) {
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<size_t>(n));
        size_t slash = dir.rfind('/');
        if (slash != std::string::npos) dir.erase(slash == 0 ? 1 : slash);
        if (::chdir(dir.c_str()) != 0) std::perror("chdir");
    }
    // Asked to end by the system, the program quits as if its window were closed.
    win32_native::EndOnSignals();
    // Without a display the program could only fail in odd ways later.
    if (!win32_native::EnsureVideo()) return 1;

    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
    const int status = WinMain(instance, nullptr, &commandLine[0], SW_SHOWNORMAL);
    // WinMain gives 0 also when it could not make its window: not a success.
    std::string why;
    if (status == 0 && win32_native::NoWindowMade(&why)) {
        std::fprintf(stderr, "The program's window could not be made: %s\n", why.c_str());
        return 1;
    }
    return status;
}
