/* keytime KEY|click TITLE: presses KEY (an X key name such as Return) or
 * clicks the left button where the pointer is, then waits until a window
 * titled TITLE is mapped (the desktop program's completion message), and
 * prints the seconds between. The press is sent through the XTEST extension,
 * so no other process stands between the measurement and the event. */
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

/* Whether `window`, or a window inside it (a window manager's frame holds the
 * program's window), is titled `title`. */
static int titled(Display* display, Window window, const char* title) {
    char* name = NULL;
    int found = 0;
    if (XFetchName(display, window, &name) && name) {
        found = strcmp(name, title) == 0;
        XFree(name);
    }
    Window root, parent, *children = NULL;
    unsigned int count = 0;
    if (!found && XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i)
            found = titled(display, children[i], title);
        if (children)
            XFree(children);
    }
    return found;
}

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: keytime KEY|click TITLE\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "keytime: no display\n");
        return 1;
    }
    Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);
    double start;
    if (strcmp(argv[1], "click") == 0) {
        start = now();
        XTestFakeButtonEvent(display, 1, True, 0);
        XTestFakeButtonEvent(display, 1, False, 0);
    } else {
        KeyCode key = XKeysymToKeycode(display, XStringToKeysym(argv[1]));
        start = now();
        XTestFakeKeyEvent(display, key, True, 0);
        XTestFakeKeyEvent(display, key, False, 0);
    }
    XFlush(display);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify && !event.xmap.override_redirect &&
            titled(display, event.xmap.window, argv[2]))
            break;
    }
    printf("%.6f\n", now() - start);
    XCloseDisplay(display);
    return 0;
}
