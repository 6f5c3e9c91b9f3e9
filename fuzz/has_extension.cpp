// Extension lookup on whatever a driver lists: the bytes up to the first NUL
// are the list, the bytes after it the name looked for. Without a NUL the
// whole input is the list and also looked up with a null name and list.
#include <cstddef>
#include <cstdint>
#include <string>

#include "checks/graphics/gl_text.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static bool has_whitespace(const std::string &text) {
    for (unsigned char c : text)
        if (reference_space(c)) return true;
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    size_t split = text.find('\0');
    if (split == std::string::npos) {
        if (has_extension(text.c_str(), nullptr) != 0) __builtin_trap();
        if (has_extension(nullptr, text.c_str()) != 0) __builtin_trap();
        return 0;
    }
    std::string list = text.substr(0, split);
    std::string name = text.substr(split + 1);
    name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
    int found = has_extension(list.c_str(), name.c_str());
    if (found != 0 && found != 1) __builtin_trap();
    if (found != reference_has_extension(list, name)) __builtin_trap();
    // A real entry is never missed, however the list around it looks.
    if (!has_whitespace(name) && reference_whole_entry(list, name) && !found) __builtin_trap();
    return 0;
}
