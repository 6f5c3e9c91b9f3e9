// Setting up the OpenGL check: libGL bound by name, a 1x1 window that is
// never mapped, and a legacy context made current on it.
#include "checks/graphics/opengl.h"

#include "checks/graphics/x11_display.h"
#include "libprobe/library.h"
#include "report/report.h"

GLFunctions gl;

// RGBA, double-buffered, at least one bit of each colour and of depth.
// clang-format off
static int legacy_visual_attribs[] = {
    GLX_RGBA,
    GLX_RED_SIZE, 1,
    GLX_GREEN_SIZE, 1,
    GLX_BLUE_SIZE, 1,
    GLX_DEPTH_SIZE, 1,
    GLX_DOUBLEBUFFER,
    None,
};
// clang-format on

constexpr unsigned long probe_window_mask = CWBackPixel | CWBorderPixel | CWEventMask | CWColormap;
constexpr long probe_window_events = StructureNotifyMask | ExposureMask | KeyPressMask;

static constexpr auto gl_slots = NAMED_SLOTS(GL_ENTRY_POINTS, gl);

static Window create_probe_window(XVisualInfo *visual_info) {
    Window root = RootWindow(x11_display, DefaultScreen(x11_display));
    XSetWindowAttributes attributes = {};
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.colormap = x11.XCreateColormap(x11_display, root, visual_info->visual, AllocNone);
    attributes.event_mask = probe_window_events;
    return x11.XCreateWindow(x11_display, root, 0, 0, 1, 1, 0, visual_info->depth, InputOutput,
                             visual_info->visual, probe_window_mask, &attributes);
}

// Fills in the window and the context as far as it gets.
static bool make_legacy_context_current(OpenglSetup *setup) {
    XVisualInfo *visual_info =
        gl.glXChooseVisual(x11_display, DefaultScreen(x11_display), legacy_visual_attribs);
    if (!visual_info) {
        debug_trace("glXChooseVisual() failed\n");
        return false;
    }
    setup->window = create_probe_window(visual_info);
    if (!setup->window) {
        debug_trace("XCreateWindow() failed\n");
        return false;
    }
    setup->legacy_context = gl.glXCreateContext(x11_display, visual_info, nullptr, True);
    if (!setup->legacy_context) {
        debug_trace("glXCreateContext() failed\n");
        return false;
    }
    if (gl.glXMakeCurrent(x11_display, setup->window, setup->legacy_context) != True) {
        debug_trace("glXMakeCurrent() failed\n");
        setup->legacy_context = nullptr;
        return false;
    }
    return true;
}

OpenglSetup init_opengl() {
    OpenglSetup setup = {};
    if (!open_x11_display()) return setup;
    if (!open_or_report_missing_library("LibGL", "libGL.so.1", gl_slots, &setup.libgl_loaded))
        return setup;
    setup.ready = make_legacy_context_current(&setup);
    return setup;
}

// Each glGetError clears one recorded error; afterwards the next call tells
// only what the following request did.
void drain_gl_errors() {
    while (gl.glGetError() != GL_NO_ERROR) {
    }
}

const char *gl_string(GLenum name) {
    const GLubyte *text = gl.glGetString(name);
    return text ? reinterpret_cast<const char *>(text) : "";
}
