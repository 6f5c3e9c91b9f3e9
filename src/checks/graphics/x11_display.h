// libX11 bound by name at run time, and the display every graphics check
// starts from. Only check children ever fill this in.
#pragma once

#include <X11/Xlib.h>

#include "libprobe/binding.h"

// Binding order; each name is also the slot's name and type source.
#define X11_ENTRY_POINTS(X)                                                                        \
    X(XCloseDisplay)                                                                               \
    X(XCreateColormap)                                                                             \
    X(XCreateWindow)                                                                               \
    X(XDestroyWindow)                                                                              \
    X(XGetDefault)                                                                                 \
    X(XOpenDisplay)                                                                                \
    X(XSetErrorHandler)                                                                            \
    X(XSync)                                                                                       \
    X(XFree)

struct X11Functions {
    X11_ENTRY_POINTS(TYPED_SLOT)
};

extern X11Functions x11;
extern Display *x11_display;

int open_x11_display();
int check_x11_display(const char *arg);
int ignore_x_error(Display *display, XErrorEvent *event);
