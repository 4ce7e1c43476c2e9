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

void NoteGone(unsigned long xid) {
    auto it = Ours().find(xid);
    if (it != Ours().end()) it->second.gone = true;
}

// Called by Xlib with its lock held: no Xlib calls here.
int OnXError(Display* display, XErrorEvent* error) {
    if ((error->error_code == BadWindow || error->error_code == BadDrawable) &&
        Ours().count(error->resourceid)) {
        // A window of ours that someone else destroyed: drawing into it or
        // tearing it down must not end the program.
        NoteGone(error->resourceid);
        return 0;
    }
    return g_previous ? g_previous(display, error) : 0;
}

}  // namespace

void Watch(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    Ours()[info.info.x11.window] = Watched{SDL_GetWindowID(window), false, false};
    if (g_installed) return;
    g_installed = true;
    g_previous = XSetErrorHandler(OnXError);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
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
std::vector<uint32_t> TakeGone() { return {}; }

}  // namespace x11_watch

#endif
