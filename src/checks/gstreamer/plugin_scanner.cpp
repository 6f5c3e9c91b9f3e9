// The helper is named by GST_PLUGIN_SCANNER_1_0 or GST_PLUGIN_SCANNER when
// either is set; otherwise it is installed beside the library, where the
// distribution's layout puts it for that library's word size.
#include "checks/gstreamer/plugin_scanner.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "target/target.h"

// Relative to the library's directory: Debian's multiarch libexec, a libdir
// of its own (lib32 included), and a libexec beside the libdir.
static const char *const installed_scanners[] = {
    "gstreamer1.0/gstreamer-1.0/gst-plugin-scanner",
    "gstreamer-1.0/gst-plugin-scanner",
    "../libexec/gstreamer-1.0/gst-plugin-scanner",
    nullptr,
};

// A helper of the other word size cannot load this one's plugins: GStreamer
// would blacklist every one of them.
static bool is_scanner_of_this_word_size(const char *path) {
    if (access(path, X_OK) != 0) return false;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    unsigned char ident[EI_NIDENT] = {};
    ssize_t got = read(fd, ident, sizeof ident);
    close(fd);
    return got == EI_NIDENT && memcmp(ident, ELFMAG, SELFMAG) == 0 &&
           ident[EI_CLASS] == (target_bits == 64 ? ELFCLASS64 : ELFCLASS32);
}

static const char *scanner_named_by_environment() {
    static const char *const names[] = {"GST_PLUGIN_SCANNER_1_0", "GST_PLUGIN_SCANNER"};
    for (const char *name : names) {
        const char *value = getenv(name);
        if (value && *value) return value;
    }
    return nullptr;
}

static bool installed_scanner_found(void *gstreamer_function) {
    Dl_info info = {};
    if (!dladdr(gstreamer_function, &info) || !info.dli_fname) return false;
    const char *slash = strrchr(info.dli_fname, '/');
    int dir_length = slash ? static_cast<int>(slash - info.dli_fname) : 1;
    const char *dir = slash ? info.dli_fname : ".";
    for (int i = 0; installed_scanners[i]; ++i) {
        char path[4096];
        int length = snprintf(path, sizeof path, "%.*s/%s", dir_length, dir, installed_scanners[i]);
        if (length > 0 && static_cast<size_t>(length) < sizeof path &&
            is_scanner_of_this_word_size(path))
            return true;
    }
    return false;
}

bool registry_scan_in_helper(void *gstreamer_function) {
    const char *fork = getenv("GST_REGISTRY_FORK");
    if (fork && strcmp(fork, "no") == 0) return false;
    if (const char *named = scanner_named_by_environment()) return is_scanner_of_this_word_size(named);
    return installed_scanner_found(gstreamer_function);
}
