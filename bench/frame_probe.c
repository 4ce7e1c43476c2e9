/* Preloaded into a program under measurement (LD_PRELOAD): notes the times of
 * the answer to the start question, of the cursor being hidden after it (the
 * program's last step before its message loop), and of every buffer swap, then at exit
 * writes them with the peak memory to the file named by FRAME_PROBE_OUT:
 *   start 0 / answer <ns> / hidden <ns> / swap <ns> ... / peak_kb <VmHWM>
 * Times are nanoseconds since the library was loaded. The program itself is
 * not changed; SDL's own functions are called through. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define MAX_SWAPS (1 << 20)

static uint64_t g_start, g_answer, g_hidden;
static uint64_t* g_swaps; /* wall, CPU, wall, CPU ... */
static size_t g_count;
static pid_t g_pid;

static uint64_t Clock(clockid_t clock) {
    struct timespec t;
    clock_gettime(clock, &t);
    return (uint64_t)t.tv_sec * 1000000000u + (uint64_t)t.tv_nsec;
}
static uint64_t Now(void) { return Clock(CLOCK_MONOTONIC); }

static void* Next(const char* name) {
    void* f = dlsym(RTLD_NEXT, name);
    if (!f) {
        fprintf(stderr, "frame_probe: no %s\n", name);
        abort();
    }
    return f;
}

__attribute__((constructor)) static void ProbeStart(void) {
    g_start = Now();
    g_pid = getpid();
    g_swaps = malloc(sizeof *g_swaps * MAX_SWAPS * 2);
}

int SDL_ShowMessageBox(const SDL_MessageBoxData* data, int* button) {
    static int (*next)(const SDL_MessageBoxData*, int*);
    if (!next) next = (int (*)(const SDL_MessageBoxData*, int*))Next("SDL_ShowMessageBox");
    int r = next(data, button);
    g_answer = Now();
    return r;
}

int SDL_ShowCursor(int toggle) {
    static int (*next)(int);
    if (!next) next = (int (*)(int))Next("SDL_ShowCursor");
    if (toggle == SDL_DISABLE && g_answer && !g_hidden) g_hidden = Now();
    return next(toggle);
}

void SDL_GL_SwapWindow(SDL_Window* window) {
    static void (*next)(SDL_Window*);
    if (!next) next = (void (*)(SDL_Window*))Next("SDL_GL_SwapWindow");
    next(window);
    if (g_swaps && g_count < MAX_SWAPS) {
        g_swaps[2 * g_count] = Now();
        g_swaps[2 * g_count + 1] = Clock(CLOCK_PROCESS_CPUTIME_ID);
        ++g_count;
    }
}

static long PeakKb(void) {
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    if (!f) return kb;
    while (fgets(line, sizeof line, f))
        if (strncmp(line, "VmHWM:", 6) == 0) kb = strtol(line + 6, NULL, 10);
    fclose(f);
    return kb;
}

__attribute__((destructor)) static void ProbeEnd(void) {
    /* The message box's child process inherits the library: only the
     * program itself reports. */
    const char* path = getenv("FRAME_PROBE_OUT");
    if (!path || getpid() != g_pid) return;
    FILE* f = fopen(path, "w");
    if (!f) return;
    fprintf(f, "start 0\n");
    if (g_answer) fprintf(f, "answer %llu\n", (unsigned long long)(g_answer - g_start));
    if (g_hidden) fprintf(f, "hidden %llu\n", (unsigned long long)(g_hidden - g_start));
    for (size_t i = 0; i < g_count; ++i)
        fprintf(f, "swap %llu %llu\n", (unsigned long long)(g_swaps[2 * i] - g_start),
                (unsigned long long)g_swaps[2 * i + 1]);
    fprintf(f, "peak_kb %ld\n", PeakKb());
    fclose(f);
}
