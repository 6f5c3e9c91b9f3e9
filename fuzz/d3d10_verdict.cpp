// The Direct3D 10 verdict on a core context's strings: the input is the
// version, the shading-language version and the extension list, separated by
// NULs; a missing part is passed as a null string.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "checks/graphics/gl_text.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

struct Text {
    bool present;
    std::string value;
    const char *c_str() const { return present ? value.c_str() : nullptr; }
};

static bool reference_pair(const Text &text, unsigned *major, unsigned *minor) {
    if (!text.present) return false;
    std::vector<ReferenceNumber> numbers;
    if (reference_scan_dotted(text.value.c_str(), 2, &numbers) != 2) return false;
    *major = reference_as_unsigned(numbers[0]);
    *minor = reference_as_unsigned(numbers[1]);
    return true;
}

static bool listed(const Text &extensions, const char *name) {
    return extensions.present && reference_has_extension(extensions.value, name);
}

// OpenGL 3.2 and GLSL 1.50, then each feature by extension or by the core
// version that took it in.
static bool reference_verdict(const Text &version, const Text &glsl, const Text &extensions) {
    unsigned major, minor, glsl_major, glsl_minor;
    if (!reference_pair(version, &major, &minor)) return false;
    if (!reference_at_least(major, minor, 3, 2)) return false;
    if (!reference_pair(glsl, &glsl_major, &glsl_minor)) return false;
    if (!reference_at_least(glsl_major, glsl_minor, 1, 50)) return false;
    bool at_least_33 = reference_at_least(major, minor, 3, 3);
    return (listed(extensions, "GL_ARB_shader_bit_encoding") || at_least_33) &&
           (listed(extensions, "GL_ARB_texture_swizzle") || at_least_33) &&
           (listed(extensions, "GL_ARB_polygon_offset_clamp") ||
            listed(extensions, "GL_EXT_polygon_offset_clamp") ||
            reference_at_least(major, minor, 4, 6)) &&
           (listed(extensions, "GL_ARB_sampler_objects") || at_least_33);
}

// For numbers below 2^31 the rule is the plain order of (major, minor).
static void check_version_at_least(unsigned major, unsigned minor, unsigned want_major,
                                   unsigned want_minor) {
    bool result = version_at_least(major, minor, want_major, want_minor);
    if (result != reference_at_least(major, minor, want_major, want_minor)) __builtin_trap();
    if (!version_at_least(major, minor, major, minor)) __builtin_trap();
    if ((major | minor | want_major | want_minor) < 0x80000000u) {
        bool ordered = major != want_major ? major > want_major : minor >= want_minor;
        if (result != ordered) __builtin_trap();
    }
}

static std::vector<Text> split_parts(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<Text> parts(3, Text{false, {}});
    size_t start = 0;
    for (size_t i = 0; i < parts.size() && start <= text.size(); ++i) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos) end = text.size();
        parts[i] = Text{true, text.substr(start, end - start)};
        start = end + 1;
    }
    return parts;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<Text> parts = split_parts(data, size);
    const Text &version = parts[0], &glsl = parts[1], &extensions = parts[2];
    bool verdict = d3d10_verdict(version.c_str(), glsl.c_str(), extensions.c_str());
    if (verdict != reference_verdict(version, glsl, extensions)) __builtin_trap();
    unsigned numbers[4] = {0, 0, 0, 0};
    reference_pair(version, &numbers[0], &numbers[1]);
    reference_pair(glsl, &numbers[2], &numbers[3]);
    check_version_at_least(numbers[0], numbers[1], numbers[2], numbers[3]);
    check_version_at_least(numbers[2], numbers[3], numbers[0], numbers[1]);
    check_version_at_least(numbers[0], numbers[1], 3, 2);
    return 0;
}
