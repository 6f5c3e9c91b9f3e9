// Extension lists: the legacy context gives one string, the core profile
// gives names one at a time; both end up in the same blank-separated form.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "checks/graphics/gl_text.h"

// A name counts only as a whole entry: "GL_ARB_texture_float" is not found in
// an entry GL_ARB_texture_float_linear. An empty name matches no entry (and
// would otherwise never advance the search).
int has_extension(const char *list, const char *name) {
    if (!list || !name || !*list || !*name) return 0;
    size_t length = strlen(name);
    for (const char *at = strstr(list, name); at; at = strstr(at + length, name)) {
        unsigned char next = static_cast<unsigned char>(at[length]);
        if (next == '\0' || isspace(next)) return 1;
    }
    return 0;
}

constexpr size_t first_extension_capacity = 4096;

// Doubles until `need` more bytes fit; 0 when the capacity would overflow.
static size_t grown_capacity(size_t capacity, size_t used, size_t need) {
    while (capacity - used < need) {
        if (capacity > SIZE_MAX / 2) return 0;
        capacity *= 2;
    }
    return capacity;
}

// A driver may answer null, or an empty name, for an index below its own
// count; such an entry is left out, as an empty name between two blanks (or
// at either end) would break the list's single-blank form.
char *build_extension_list(GLint count, PFNGLGETSTRINGIPROC get_stringi) {
    size_t capacity = first_extension_capacity;
    size_t used = 0;
    char *list = static_cast<char *>(malloc(capacity));
    if (!list) return nullptr;
    for (GLint i = 0; i < count; ++i) {
        const char *name =
            reinterpret_cast<const char *>(get_stringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (!name || !*name) continue;
        size_t need = strlen(name) + 1;
        if (need > capacity - used) {
            size_t grown = grown_capacity(capacity, used, need);
            char *bigger = grown ? static_cast<char *>(realloc(list, grown)) : nullptr;
            if (!bigger) {
                free(list);
                return nullptr;
            }
            list = bigger;
            capacity = grown;
        }
        memcpy(list + used, name, need);
        used += need;
        list[used - 1] = ' ';
    }
    list[used ? used - 1 : 0] = '\0';
    return list;
}
