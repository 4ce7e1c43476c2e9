#include "tests/support/own_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace own_display {

namespace {

pid_t g_server = 0;

void Stop() {
    if (g_server <= 0) return;
    ::kill(g_server, SIGTERM);
    ::waitpid(g_server, nullptr, 0);
    g_server = 0;
}

}  // namespace

Result Start(int width, int height, std::string* why) {
    if (g_server > 0) {
        *why = "this process already has its own X server";
        return Result::Failed;
    }
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        *why = "no pipe";
        return Result::Failed;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd = std::to_string(pipeFds[1]);
    const pid_t pid = ::fork();
    if (pid < 0) {
        *why = "no fork";
        return Result::Failed;
    }
    if (pid == 0) {
        // Gone with the test, however it ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::close(pipeFds[0]);
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            ::dup2(devnull, STDOUT_FILENO);
            ::dup2(devnull, STDERR_FILENO);
        }
        // The server picks a free display number and writes it once it listens.
        // -noreset: a client that connects while the server resets (as it does
        // whenever its last client leaves) is refused.
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                 "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string number;
    for (;;) {
        pollfd p = {pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) break;
        char c;
        if (::read(pipeFds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    ::close(pipeFds[0]);
    if (number.empty()) {
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
            *why = "Xvfb is not installed";
            return Result::Missing;
        }
        *why = "Xvfb did not start";
        return Result::Failed;
    }
    g_server = pid;
    std::atexit(Stop);
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    ::setenv("SDL_VIDEODRIVER", "x11", 1);
    return Result::Started;
}

}  // namespace own_display
