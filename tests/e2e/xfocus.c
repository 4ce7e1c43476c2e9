/* Takes the keyboard focus away from the other windows, as switching to
   another program does: maps a small window of its own and focuses it. Waits
   up to the given time for a window to ask to be minimised (the request a
   window manager would carry out), prints "iconify <id>" for it, then closes
   its window. Usage: xfocus <seconds> */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>
#include <time.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: xfocus <seconds>\n");
        return 2;
    }
    double seconds = atof(argv[1]);
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "xfocus: cannot open display\n");
        return 1;
    }
    Window root = DefaultRootWindow(d);
    Atom changeState = XInternAtom(d, "WM_CHANGE_STATE", False);
    /* Minimise requests go to the root window for its substructure. */
    XSelectInput(d, root, SubstructureNotifyMask);
    Window w = XCreateSimpleWindow(d, root, 40, 40, 200, 120, 0, 0, WhitePixel(d, DefaultScreen(d)));
    XStoreName(d, w, "xfocus");
    XSelectInput(d, w, StructureNotifyMask);
    XMapRaised(d, w);
    XEvent e;
    do XNextEvent(d, &e);
    while (e.type != MapNotify || e.xmap.window != w);
    XSetInputFocus(d, w, RevertToPointerRoot, CurrentTime);
    XSync(d, False);

    double end = now() + seconds;
    int asked = 0;
    for (;;) {
        while (XPending(d)) {
            XNextEvent(d, &e);
            if (e.type == ClientMessage && e.xclient.message_type == changeState &&
                e.xclient.data.l[0] == IconicState) {
                printf("iconify 0x%lx\n", (unsigned long)e.xclient.window);
                asked = 1;
            }
        }
        double left = end - now();
        if (asked || left <= 0) break;
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(d), &fds);
        struct timeval tv = {(time_t)left, (suseconds_t)((left - (double)(time_t)left) * 1e6)};
        select(ConnectionNumber(d) + 1, &fds, NULL, NULL, &tv);
    }
    XDestroyWindow(d, w);
    XSync(d, False);
    XCloseDisplay(d);
    return 0;
}
