// Whether the core profile can carry Direct3D 10: OpenGL 3.2 with GLSL 1.50,
// plus four features each either an extension or part of a later core.
#include <cstdint>
#include <cstdio>

#include "checks/graphics/gl_text.h"

// Parsed with %u, so "-1" arrives as a huge number; the signed difference
// keeps such a value from passing for a new version.
bool version_at_least(unsigned major, unsigned minor, unsigned want_major, unsigned want_minor) {
    if (major != want_major) return static_cast<int32_t>(major - want_major) > 0;
    return static_cast<int32_t>(minor - want_minor) >= 0;
}

struct D3D10Feature {
    const char *extension;
    const char *other_extension; // null when only one name provides it
    unsigned core_major;         // the core version that includes it
    unsigned core_minor;
};

static const D3D10Feature d3d10_features[] = {
    {"GL_ARB_shader_bit_encoding", nullptr, 3, 3},
    {"GL_ARB_texture_swizzle", nullptr, 3, 3},
    {"GL_ARB_polygon_offset_clamp", "GL_EXT_polygon_offset_clamp", 4, 6},
    {"GL_ARB_sampler_objects", nullptr, 3, 3},
};

static int parse_version_pair(const char *text, unsigned *major, unsigned *minor) {
    return text && sscanf(text, "%u.%u", major, minor) == 2;
}

static bool has_feature(const D3D10Feature &feature, unsigned major, unsigned minor,
                        const char *extensions) {
    return has_extension(extensions, feature.extension) ||
           (feature.other_extension && has_extension(extensions, feature.other_extension)) ||
           version_at_least(major, minor, feature.core_major, feature.core_minor);
}

bool d3d10_verdict(const char *version, const char *glsl_version, const char *extensions) {
    unsigned major = 0, minor = 0, glsl_major = 0, glsl_minor = 0;
    if (!parse_version_pair(version, &major, &minor)) return false;
    if (!version_at_least(major, minor, 3, 2)) return false;
    if (!parse_version_pair(glsl_version, &glsl_major, &glsl_minor)) return false;
    if (!version_at_least(glsl_major, glsl_minor, 1, 50)) return false;
    for (const D3D10Feature &feature : d3d10_features)
        if (!has_feature(feature, major, minor, extensions)) return false;
    return true;
}
