// Driver ages from a GL version string (the input up to its first NUL), read
// both as an NVIDIA string and as an fglrx one, and the age rules on what
// was read.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "checks/graphics/gl_text.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// After "NVIDIA": the first blank, then past every blank, some text.
static bool reference_nvidia(const std::string &version, int *major, int *minor) {
    size_t at = version.find("NVIDIA");
    if (at == std::string::npos) return false;
    at = version.find(' ', at);
    if (at == std::string::npos) return false;
    while (at < version.size() && version[at] == ' ')
        ++at;
    if (at == version.size()) return false;
    std::vector<ReferenceNumber> numbers;
    if (reference_scan_dotted(version.c_str() + at, 2, &numbers) != 2) return false;
    *major = reference_as_int(numbers[0]);
    *minor = reference_as_int(numbers[1]);
    return true;
}

static void check_nvidia(const std::string &version) {
    int major = 0, minor = 0, want_major = 0, want_minor = 0;
    int parsed = parse_nvidia_driver_version(version.c_str(), &major, &minor);
    if (parsed != static_cast<int>(reference_nvidia(version, &want_major, &want_minor)))
        __builtin_trap();
    if (!parsed) return;
    if (major != want_major || minor != want_minor) __builtin_trap();
    // Outdated means older than 169.12.
    bool older = std::make_pair(major, minor) < std::make_pair(169, 12);
    if (nvidia_driver_outdated(major, minor) != static_cast<int>(older)) __builtin_trap();
}

static void check_fglrx(const std::string &version) {
    int gl_major = 0, gl_minor = 0, build = 0;
    int parsed = parse_fglrx_version(version.c_str(), &gl_major, &gl_minor, &build);
    std::vector<ReferenceNumber> numbers;
    bool want = reference_scan_dotted(version.c_str(), 3, &numbers) == 3;
    if (parsed != static_cast<int>(want)) __builtin_trap();
    if (!parsed) return;
    if (gl_major != reference_as_int(numbers[0]) || gl_minor != reference_as_int(numbers[1]) ||
        build != reference_as_int(numbers[2]))
        __builtin_trap();
    // Outdated means build 7275 or older.
    if (fglrx_driver_outdated(build) != static_cast<int>(build < 7276)) __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) {
        int a, b, c;
        if (parse_nvidia_driver_version(nullptr, &a, &b) || parse_fglrx_version(nullptr, &a, &b, &c))
            __builtin_trap();
    }
    std::string version(reinterpret_cast<const char *>(data), size);
    version.resize(strlen(version.c_str()));
    check_nvidia(version);
    check_fglrx(version);
    return 0;
}
