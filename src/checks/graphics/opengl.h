// The parts of the OpenGL check: setup, the legacy-context half and the
// core-profile half. libGL is bound by name; it is never linked.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include "libprobe/binding.h"

// Bound by name, in this order. Two more come from glXGetProcAddress.
#define GL_ENTRY_POINTS(X)                                                                         \
    X(glGetError)                                                                                  \
    X(glGetString)                                                                                 \
    X(glGetIntegerv)                                                                               \
    X(glXChooseVisual)                                                                             \
    X(glXCreateContext)                                                                            \
    X(glXIsDirect)                                                                                 \
    X(glXMakeCurrent)                                                                              \
    X(glXDestroyContext)                                                                           \
    X(glXQueryExtensionsString)                                                                    \
    X(glXChooseFBConfig)                                                                           \
    X(glXGetProcAddress)

struct GLFunctions {
    GL_ENTRY_POINTS(TYPED_SLOT)
    PFNGLXCREATECONTEXTATTRIBSARBPROC glXCreateContextAttribsARB;
    PFNGLGETSTRINGIPROC glGetStringi;
};

extern GLFunctions gl;

// What the setup leaves to the rest of the check.
struct OpenglSetup {
    bool ready;         // the legacy context is current on the window
    bool libgl_loaded;  // a failure from here on is OpenGL's own
    Window window;      // 1x1, never mapped; core contexts are made current on it too
    GLXContext legacy_context;
};

OpenglSetup init_opengl();
void drain_gl_errors();
// Direct rendering, the legacy context's strings, the driver's age and the
// capabilities; leaves no context current.
void probe_legacy_context(GLXContext legacy_context);
// The core-profile properties; true when they suffice for Direct3D 10.
bool probe_core_profile(Window window);

// glGetString as text; "" where the driver answers null (indirect Mesa does).
const char *gl_string(GLenum name);
