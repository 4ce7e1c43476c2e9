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
    // Without a display the program could only fail in odd ways later.
    if (!win32_native::EnsureVideo()) return 1;

    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
    return WinMain(instance, nullptr, &commandLine[0], SW_SHOWNORMAL);
}
