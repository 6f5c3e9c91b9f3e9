// The OpenGL check, core half: the newest context GLX_ARB_create_context can
// make, its strings and extensions, and from them the Direct3D 10 verdict.
#include <cstdlib>

#include "checks/graphics/gl_text.h"
#include "checks/graphics/opengl.h"
#include "checks/graphics/x11_display.h"
#include "report/report.h"

// No depth buffer, unlike the legacy visual.
// clang-format off
static const int core_fbconfig_attribs[] = {
    GLX_RENDER_TYPE, GLX_RGBA_BIT,
    GLX_RED_SIZE, 1,
    GLX_GREEN_SIZE, 1,
    GLX_BLUE_SIZE, 1,
    GLX_DOUBLEBUFFER, 1,
    None,
};
// clang-format on

struct ContextVersion {
    int major;
    int minor;
};

// Newest first; nothing from 3.4 to 3.9 exists.
static const ContextVersion core_context_versions[] = {
    {4, 6}, {4, 5}, {4, 4}, {4, 3}, {4, 2}, {4, 1}, {4, 0}, {3, 3}, {3, 2}, {3, 1}, {3, 0},
};

// Profiles exist from 3.2 on; older requests carry the version alone.
static void build_context_attribs(const ContextVersion &version, int attribs[7]) {
    int n = 0;
    attribs[n++] = GLX_CONTEXT_MAJOR_VERSION_ARB;
    attribs[n++] = version.major;
    attribs[n++] = GLX_CONTEXT_MINOR_VERSION_ARB;
    attribs[n++] = version.minor;
    if (version.major > 3 || (version.major == 3 && version.minor > 1)) {
        attribs[n++] = GLX_CONTEXT_PROFILE_MASK_ARB;
        attribs[n++] = GLX_CONTEXT_CORE_PROFILE_BIT_ARB;
    }
    attribs[n] = None;
}

// A version the driver does not offer may draw an X error; it is swallowed
// while this one request is flushed, and only then.
static GLXContext request_context(GLXFBConfig config, const int *attribs) {
    XErrorHandler previous = x11.XSetErrorHandler(ignore_x_error);
    GLXContext context = gl.glXCreateContextAttribsARB(x11_display, config, nullptr, True, attribs);
    x11.XSync(x11_display, False);
    x11.XSetErrorHandler(previous);
    return context;
}

static GLXContext create_newest_context(GLXFBConfig config) {
    for (const ContextVersion &version : core_context_versions) {
        int attribs[7];
        build_context_attribs(version, attribs);
        GLXContext context = request_context(config, attribs);
        if (context) return context;
    }
    return nullptr;
}

template <typename Slot> static Slot proc_address(const char *name) {
    return reinterpret_cast<Slot>(gl.glXGetProcAddress(reinterpret_cast<const GLubyte *>(name)));
}

// A list that could not be allocated is reported empty, never cut short.
// True when the context can carry Direct3D 10.
static bool describe_core_context() {
    const char *vendor = gl_string(GL_VENDOR);
    const char *version = gl_string(GL_VERSION);
    const char *renderer = gl_string(GL_RENDERER);
    const char *glsl_version = gl_string(GL_SHADING_LANGUAGE_VERSION);
    GLint count = 0;
    gl.glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    char *list = build_extension_list(count, gl.glGetStringi);
    const char *extensions = list ? list : "";
    report_property("opengl.core.vendor", "%s", vendor);
    report_property("opengl.core.version", "%s", version);
    report_property("opengl.core.renderer", "%s", renderer);
    report_property("opengl.core.glsl_version", "%s", glsl_version);
    report_property("opengl.core.extensions", "%s", extensions);
    bool d3d10_capable = d3d10_verdict(version, glsl_version, extensions);
    free(list);
    return d3d10_capable;
}

// Only the first configuration is used. A context that is made but cannot be
// made current ends the probe: no older version is tried. Without a core
// context the verdict is false.
bool probe_core_profile(Window window) {
    const char *glx_extensions =
        gl.glXQueryExtensionsString(x11_display, DefaultScreen(x11_display));
    if (!has_extension(glx_extensions, "GLX_ARB_create_context")) return false;
    gl.glXCreateContextAttribsARB =
        proc_address<PFNGLXCREATECONTEXTATTRIBSARBPROC>("glXCreateContextAttribsARB");
    gl.glGetStringi = proc_address<PFNGLGETSTRINGIPROC>("glGetStringi");
    // Without either entry point no core context can be made or read.
    if (!gl.glXCreateContextAttribsARB || !gl.glGetStringi) return false;
    int config_count = 0;
    GLXFBConfig *configs = gl.glXChooseFBConfig(x11_display, DefaultScreen(x11_display),
                                                core_fbconfig_attribs, &config_count);
    if (!configs) return false;
    // An empty list that is not null has no first entry to read.
    GLXContext context = config_count > 0 ? create_newest_context(configs[0]) : nullptr;
    if (!context || !gl.glXMakeCurrent(x11_display, window, context)) {
        x11.XFree(configs);
        return false;
    }
    bool d3d10_capable = describe_core_context();
    gl.glXMakeCurrent(x11_display, None, nullptr);
    gl.glXDestroyContext(x11_display, context);
    x11.XFree(configs);
    return d3d10_capable;
}
