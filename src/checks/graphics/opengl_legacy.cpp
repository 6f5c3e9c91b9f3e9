// The OpenGL check, legacy half: direct rendering, the driver's strings, its
// age, and the capabilities that most applications take for granted.
#include <cstdio>
#include <cstring>

#include "checks/graphics/dri_search.h"
#include "checks/graphics/gl_text.h"
#include "checks/graphics/opengl.h"
#include "checks/graphics/x11_display.h"
#include "report/report.h"

// The shading-language version of the legacy context: the text reported and
// the numbers read from it (0.0 where the driver gave none).
struct GlslVersion {
    const char *text;
    unsigned major;
    unsigned minor;
};

static void check_direct_rendering(GLXContext legacy_context) {
    if (gl.glXIsDirect(x11_display, legacy_context) == True) {
        debug_trace("glXIsDirect() is true\n");
        return;
    }
    report_issue("OpenglNoDRI", "OpenGL is not using Direct Rendering");
    find_dri_drivers();
}

static const char *traced_gl_string(GLenum name, const char *what) {
    const char *text = gl_string(name);
    debug_trace("OpenGL %s = '%s'\n", what, text);
    return text;
}

// Old drivers reject the query with GL_INVALID_ENUM; they speak GLSL 1.0.
static GlslVersion query_glsl_version(const char *extensions) {
    GlslVersion glsl = {"unsupported", 0, 0};
    if (!has_extension(extensions, "GL_ARB_shading_language_100")) return glsl;
    drain_gl_errors();
    glsl.text = gl_string(GL_SHADING_LANGUAGE_VERSION);
    GLenum error = gl.glGetError();
    if (error == GL_INVALID_ENUM) {
        glsl = {"1.0.51", 1, 0};
    } else if (error != GL_NO_ERROR) {
        glsl.text = "error";
    } else {
        sscanf(glsl.text, "%u.%u", &glsl.major, &glsl.minor);
    }
    return glsl;
}

static void check_driver_age(const char *vendor, const char *version) {
    int major = 0, minor = 0, build = 0;
    if (strstr(vendor, "NVIDIA")) {
        if (!parse_nvidia_driver_version(version, &major, &minor)) return;
        debug_trace("NVIDIA version %d.%d\n", major, minor);
        if (nvidia_driver_outdated(major, minor))
            report_issue("OpenglOutdatedNvidia", "Outdated NVIDIA OpenGL Driver");
    } else if (strstr(vendor, "ATI Technologies")) {
        if (!parse_fglrx_version(version, &major, &minor, &build)) return;
        debug_trace("Fglrx version %d (OpenGL %d.%d)\n", build, major, minor);
        if (fglrx_driver_outdated(build))
            report_issue("OpenglOutdatedAmd", "Outdated AMD OpenGL Driver");
    }
}

static void check_capabilities(const char *extensions, const GlslVersion &glsl) {
    if (!has_extension(extensions, "GL_EXT_texture_compression_s3tc"))
        report_issue("OpenglNoTextureS3TC", "OpenGL has no S3TC texture support");
    if (!has_extension(extensions, "GL_ARB_texture_float"))
        report_issue("OpenglNoTextureFloat", "OpenGL has no floating point texture support");
    if (glsl.major < 1 || (glsl.major == 1 && glsl.minor <= 29))
        report_issue("OpenglNoGLSL130", "OpenGL shading language version is older than 1.30");
}

void probe_legacy_context(GLXContext legacy_context) {
    check_direct_rendering(legacy_context);
    const char *vendor = traced_gl_string(GL_VENDOR, "vendor");
    const char *version = traced_gl_string(GL_VERSION, "version");
    const char *renderer = traced_gl_string(GL_RENDERER, "renderer");
    const char *extensions = traced_gl_string(GL_EXTENSIONS, "extensions");
    GlslVersion glsl = query_glsl_version(extensions);
    report_property("opengl.vendor", "%s", vendor);
    report_property("opengl.version", "%s", version);
    report_property("opengl.renderer", "%s", renderer);
    report_property("opengl.glsl_version", "%s", glsl.text);
    report_property("opengl.extensions", "%s", extensions);
    check_driver_age(vendor, version);
    check_capabilities(extensions, glsl);
    // Released, not destroyed: it goes with the display connection.
    gl.glXMakeCurrent(x11_display, None, nullptr);
}
