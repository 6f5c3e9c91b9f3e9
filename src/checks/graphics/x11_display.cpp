// The X11 display check: depth and Xft resolution of the default screen.
// libX11 is loaded here, in the check child, never in the main process.
#include "checks/graphics/x11_display.h"

#include <cstdlib>

#include "libprobe/library.h"
#include "report/report.h"

X11Functions x11;
Display *x11_display;

static constexpr auto x11_slots = NAMED_SLOTS(X11_ENTRY_POINTS, x11);

int open_x11_display() {
    if (!open_or_report_missing_library("LibX11", "libX11.so.6", x11_slots)) return 0;
    x11_display = x11.XOpenDisplay(nullptr);
    if (!x11_display) {
        debug_trace("XOpenDisplay failed\n");
        return 0;
    }
    return 1;
}

// Unset means -1.0; a value that is not a number reads as 0.0, as strtod has it.
static double xft_dpi() {
    const char *value = x11.XGetDefault(x11_display, "Xft", "dpi");
    return value ? strtod(value, nullptr) : -1.0;
}

int check_x11_display(const char *) {
    if (!open_x11_display()) return 0;
    int screen = DefaultScreen(x11_display);
    int planes = DefaultDepth(x11_display, screen);
    debug_trace("default screen=%d, planes=%d\n", screen, planes);
    report_property("display.depth", "%d", planes);
    report_property("display.dpi", "%.1f", xft_dpi());
    if (planes < 24) report_issue("X11LowDepth", "Low X11 Screen Depth");
    x11.XCloseDisplay(x11_display);
    return 1;
}

// Xlib's default handler prints the error and ends the process; requests that
// are allowed to fail run with this one in place instead.
int ignore_x_error(Display *, XErrorEvent *) { return 0; }
