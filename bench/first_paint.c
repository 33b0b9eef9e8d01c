/* Starts a program and prints, for each window title named, the milliseconds from the launch
 * until that top-level window was mapped and until it was first drawn into (the X DAMAGE
 * extension reports the first drawing), then leaves the program running and prints its PID.
 *   first_paint TITLE[,TITLE...] PROGRAM [ARGS...]
 * Output: "pid N" then "TITLE mapped_ms painted_ms" per title. Exits 1 when they do not all
 * stand within 20 s. libXdamage ships without its header on some systems, so the few
 * declarations it needs are here. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef XID Damage;
Bool XDamageQueryExtension(Display* display, int* event_base, int* error_base);
Damage XDamageCreate(Display* display, Drawable drawable, int level);
enum { kDamageReportNonEmpty = 3, kDamageNotify = 0, kMaxTitles = 8, kMaxWindows = 256 };

struct Title {
    const char* name;
    double mapped, painted;
};

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/* Windows come and go while we ask about them; a question about a gone one is no failure. */
static int IgnoreError(Display* display, XErrorEvent* error) {
    (void)display;
    (void)error;
    return 0;
}

static struct Title* Find(Display* display, Window window, struct Title* titles, int count) {
    char* name = NULL;
    if (!XFetchName(display, window, &name) || !name)
        return NULL;
    struct Title* found = NULL;
    for (int i = 0; i < count; ++i)
        if (strcmp(titles[i].name, name) == 0)
            found = &titles[i];
    XFree(name);
    return found;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: first_paint TITLE[,TITLE...] PROGRAM [ARGS...]\n");
        return 2;
    }
    struct Title titles[kMaxTitles];
    int count = 0;
    for (char* t = strtok(argv[1], ","); t && count < kMaxTitles; t = strtok(NULL, ","))
        titles[count++] = (struct Title){t, -1, -1};
    XSetErrorHandler(IgnoreError);
    Display* display = XOpenDisplay(NULL);
    int damageBase = 0, damageError = 0;
    if (!display || !XDamageQueryExtension(display, &damageBase, &damageError)) {
        fprintf(stderr, "first_paint: no X display with the DAMAGE extension\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const double launch = Now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    printf("pid %d\n", (int)pid);

    int standing = 0;
    while (standing < count && Now() - launch < 20000) {
        if (!XPending(display)) {
            struct pollfd fd = {ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, 100);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        const double at = Now() - launch;
        if (event.type == CreateNotify) {
            XDamageCreate(display, event.xcreatewindow.window, kDamageReportNonEmpty);
        } else if (event.type == MapNotify) {
            struct Title* title = Find(display, event.xmap.window, titles, count);
            if (title && title->mapped < 0)
                title->mapped = at;
        } else if (event.type == damageBase + kDamageNotify) {
            /* The drawable follows the same fields as any event's window. */
            struct Title* title = Find(display, event.xany.window, titles, count);
            if (title && title->mapped >= 0 && title->painted < 0) {
                title->painted = at;
                ++standing;
            }
        }
    }
    for (int i = 0; i < count; ++i)
        printf("%s %.1f %.1f\n", titles[i].name, titles[i].mapped, titles[i].painted);
    return standing == count ? 0 : 1;
}
