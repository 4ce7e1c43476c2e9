// SIGTERM and SIGINT end the program through its own quit path: the handler
// only notes the request, and the message queue then closes every window as
// the user would (queue.cpp). A second signal of the same kind ends the process
// at once.
//
// SDL shows a message box from a forked helper process and waits for it,
// retrying through signals. So that a box neither holds up the quit nor
// outlives the program, a helper forked while a box is up asks the kernel to
// kill it when we die, leaves signals to their default, and tells us its pid
// through a shared page, and the handler kills it.
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <new>

#include "native.h"
#include "win32_internal.h"

namespace win32_internal {
namespace {

static_assert(std::atomic<int>::is_always_lock_free, "shared between processes");

// Shared with the helper: it is written there after the fork.
struct Shared {
    std::atomic<int> quit;
    std::atomic<int> helper;  // pid of the helper while a box is up, else 0
};

Shared* g_shared = nullptr;
volatile sig_atomic_t g_requested = 0;
bool g_taken = false;
bool g_boxUp = false;  // copied into the child at the fork
pid_t g_self = 0;

void OnSignal(int) {
    g_requested = 1;
    if (!g_shared) return;
    g_shared->quit.store(1);
    const int helper = g_shared->helper.load();
    if (helper > 0) kill(helper, SIGKILL);
}

// In the child of every fork; only async-signal-safe calls.
void InForkedChild() {
    if (!g_boxUp || !g_shared) return;
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != g_self) _exit(1);  // the program died before the line above
    g_shared->helper.store(getpid());
    if (g_shared->quit.load()) _exit(1);  // the handler ran before it knew the pid
}

}  // namespace

bool QuitRequested() { return g_requested != 0; }

bool TakeQuitRequest() {
    if (!g_requested || g_taken) return false;
    g_taken = true;
    return true;
}

BoxHelperWatch::BoxHelperWatch() {
    if (!g_shared) return;
    g_shared->helper.store(0);
    g_boxUp = true;
}

BoxHelperWatch::~BoxHelperWatch() {
    g_boxUp = false;
    if (g_shared) g_shared->helper.store(0);
}

void ResetQuitRequest() {
    g_requested = 0;
    g_taken = false;
}

}  // namespace win32_internal

void win32_native::EndOnSignals() {
    using namespace win32_internal;
    if (g_shared) return;
    void* page = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) return;
    g_shared = new (page) Shared{{0}, {0}};
    g_self = getpid();
    pthread_atfork(nullptr, nullptr, InForkedChild);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls: file reads and waits go on; the loop picks the request up.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
