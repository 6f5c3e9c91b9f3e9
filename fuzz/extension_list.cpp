// The core extension list from a fake glGetStringi that serves names taken
// from the input. The first byte sets the count the driver claims, relative
// to the names it has (more, fewer, negative); then NUL-separated entries:
// "\x01" alone is a null name, "\x02" K TEXT a name of (K+1)*257 bytes
// repeating TEXT, anything else the name itself.
#include <GL/gl.h>
#include <GL/glext.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "checks/graphics/gl_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

struct Served {
    bool null;
    std::string name;
};

static std::vector<Served> served;
static GLuint next_index;
static bool out_of_order;

static const GLubyte *APIENTRY fake_get_stringi(GLenum name, GLuint index) {
    if (name != GL_EXTENSIONS || index != next_index) out_of_order = true;
    ++next_index;
    if (index >= served.size() || served[index].null) return nullptr;
    return reinterpret_cast<const GLubyte *>(served[index].name.c_str());
}

constexpr size_t long_names_limit = 1 << 20;

static Served decode_entry(const std::string &entry, size_t *long_bytes) {
    if (entry == "\x01") return Served{true, {}};
    if (entry.size() < 2 || entry[0] != '\x02') return Served{false, entry};
    std::string text = entry.size() > 2 ? entry.substr(2) : "x";
    size_t length = (static_cast<unsigned char>(entry[1]) + 1u) * 257u;
    if (*long_bytes + length > long_names_limit) length = 0;
    *long_bytes += length;
    std::string name = text.substr(0, length);
    while (name.size() < length)
        name += name.substr(0, length - name.size());
    return Served{false, name};
}

static GLint claimed_count(int8_t control, size_t names) {
    if (control == INT8_MIN) return INT_MIN;
    if (control < -64) return control;
    if (control >= 64) return static_cast<GLint>(names);
    return static_cast<GLint>(names) + control;
}

// The names a list of `count` is made of, in index order: a null or empty
// answer adds no entry.
static std::string expected_list(GLint count) {
    std::string list;
    for (GLint i = 0; i < count && static_cast<size_t>(i) < served.size(); ++i) {
        if (served[i].null || served[i].name.empty()) continue;
        if (!list.empty()) list += ' ';
        list += served[i].name;
    }
    return list;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    served.clear();
    std::string text(reinterpret_cast<const char *>(data), size);
    size_t long_bytes = 0;
    for (size_t start = 1; start <= text.size() && size > 1;) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos) end = text.size();
        served.push_back(decode_entry(text.substr(start, end - start), &long_bytes));
        start = end + 1;
    }
    GLint count = claimed_count(size ? static_cast<int8_t>(data[0]) : 0, served.size());
    next_index = 0;
    out_of_order = false;
    char *list = build_extension_list(count, fake_get_stringi);
    // Indexes 0 to count - 1, each asked once, in order.
    if (out_of_order || next_index != static_cast<GLuint>(count < 0 ? 0 : count)) __builtin_trap();
    // Nothing here can exhaust memory, so a null list is a fault.
    if (!list) __builtin_trap();
    bool blank_free = true;
    for (const Served &entry : served)
        if (entry.name.find(' ') != std::string::npos) blank_free = false;
    size_t length = strlen(list);
    if (blank_free && length &&
        (list[0] == ' ' || list[length - 1] == ' ' || strstr(list, "  ")))
        __builtin_trap();
    if (expected_list(count) != list) __builtin_trap();
    free(list);
    return 0;
}
