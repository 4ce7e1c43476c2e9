#include "x11_watch.h"

#include <SDL.h>
#include <SDL_syswm.h>

#if defined(BRANTO_HAVE_X11) && defined(SDL_VIDEO_DRIVER_X11)

#include <X11/Xlib.h>

#include <map>

namespace x11_watch {
namespace {

struct Watched {
    uint32_t sdlId = 0;
    bool gone = false;
    bool told = false;
};

// By X window id. Immortal: X errors may come during static destruction.
std::map<unsigned long, Watched>& Ours() {
    static auto* ours = new std::map<unsigned long, Watched>;
    return *ours;
}

XErrorHandler g_previous = nullptr;
bool g_installed = false;
int g_glxErrors = -1;  // the first error code of GLX, when it is there

void NoteGone(unsigned long xid) {
    auto it = Ours().find(xid);
    if (it != Ours().end()) it->second.gone = true;
}

// Errors that say a window or drawable does not exist (GLX's own included).
bool AboutAMissingWindow(int code) {
    const int kGlxBadDrawable = 2, kGlxBadWindow = 12;
    return code == BadWindow || code == BadDrawable ||
           (g_glxErrors > 0 && (code == g_glxErrors + kGlxBadDrawable || code == g_glxErrors + kGlxBadWindow));
}

// Called by Xlib with its lock held: no Xlib calls here.
int OnXError(Display* display, XErrorEvent* error) {
    if (!AboutAMissingWindow(error->error_code)) return g_previous ? g_previous(display, error) : 0;
    // Drawing into a window someone else destroyed, or tearing it down, must
    // not end the program. SDL, caught in the middle of a call on such a
    // window, may go on to name windows that never were: those too.
    NoteGone(error->resourceid);
    return 0;
}

}  // namespace

void Watch(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    Ours()[info.info.x11.window] = Watched{SDL_GetWindowID(window), false, false};
    if (g_installed) return;
    g_installed = true;
    int opcode = 0, event = 0, error = 0;
    if (XQueryExtension(info.info.x11.display, "GLX", &opcode, &event, &error)) g_glxErrors = error;
    g_previous = XSetErrorHandler(OnXError);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

bool Exists(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
    auto it = Ours().find(info.info.x11.window);
    if (it == Ours().end()) return true;
    XWindowAttributes attributes;
    // A round trip: the error, if any, has come (and noted the window gone) on return.
    if (XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes)) return !it->second.gone;
    it->second.gone = true;
    return false;
}

void Notice(const SDL_Event& event) {
    if (event.type != SDL_SYSWMEVENT || !event.syswm.msg || event.syswm.msg->subsystem != SDL_SYSWM_X11) return;
    const XEvent& x = event.syswm.msg->msg.x11.event;
    if (x.type == DestroyNotify) NoteGone(x.xdestroywindow.window);
}

std::vector<uint32_t> TakeGone() {
    std::vector<uint32_t> out;
    for (auto& entry : Ours()) {
        Watched& w = entry.second;
        if (!w.gone || w.told) continue;
        w.told = true;
        out.push_back(w.sdlId);
    }
    return out;
}

}  // namespace x11_watch

#else

namespace x11_watch {

void Watch(SDL_Window*) {}
void Notice(const SDL_Event&) {}
bool Exists(SDL_Window*) { return true; }
std::vector<uint32_t> TakeGone() { return {}; }

}  // namespace x11_watch

#endif
