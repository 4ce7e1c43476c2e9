// Debugger output goes to standard error, byte for byte and unbuffered; tests
// can also capture each string written.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "report.h"
#include "win32_internal.h"

namespace win32_internal {

DebugOutput& TheDebugOutput() {
    static DebugOutput* d = new DebugOutput;
    return *d;
}

namespace {

std::set<std::string>& Reported() {
    static std::set<std::string>* lines = new std::set<std::string>;  // immortal: used at exit
    return *lines;
}

}  // namespace

void ForgetReportedLines() { Reported().clear(); }

void ResetDebugOutput() {
    TheDebugOutput() = DebugOutput();
    ForgetReportedLines();
}

}  // namespace win32_internal

void layer::ReportOnce(const std::string& line) {
    if (!win32_internal::Reported().insert(line).second) return;
    OutputDebugStringA((line + "\n").c_str());
}

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
