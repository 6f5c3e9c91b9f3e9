// State of the OpenGL check, shared by its legacy-context half and its
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
extern void *libgl_handle;
extern Window probe_window;
extern GLXContext legacy_context;
extern bool d3d10_capable;

int init_opengl();
int check_opengl(const char *arg);
void drain_gl_errors();
void probe_core_profile();

// glGetString as text; "" where the driver answers null (indirect Mesa does).
const char *gl_string(GLenum name);
