// Debugger output goes to standard error, byte for byte and unbuffered; tests
// can also capture each string written.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "win32_internal.h"

namespace win32_internal {

DebugOutput& TheDebugOutput() {
    static DebugOutput* d = new DebugOutput;
    return *d;
}

void ResetDebugOutput() { TheDebugOutput() = DebugOutput(); }

}  // namespace win32_internal

void WINAPI OutputDebugStringA(LPCSTR text) {
    if (!text) return;
    size_t left = std::strlen(text);
    const char* p = text;
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
    auto& d = win32_internal::TheDebugOutput();
    if (d.capture) d.written.emplace_back(text);
}
