// Registry repair: one short read of each 32-bit cache file, a scan over
// its NUL-terminated strings, and unlink when the marker count condemns it.
#include "checks/gstreamer/registry_repair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "report/report.h"
#include "target/target.h"

static const char *const registry_files[] = {"registry.i586.bin", "registry.i686.bin", nullptr};
static const char marker[] = "BLACKLIST";
constexpr size_t marker_length = sizeof marker - 1;
// Strings that start within this many bytes of the end of what was read are
// not looked into.
constexpr size_t scan_margin = 10;

int count_registry_markers(const char *data, size_t length) {
    size_t n = length < registry_read_size ? length : registry_read_size;
    // A short read (10 bytes or fewer, a failed read included) is not
    // scanned; testing first keeps n - 10 from wrapping around.
    if (n <= scan_margin) return 0;
    char text[registry_read_size];
    memcpy(text, data, n);
    if (n < registry_read_size) text[n] = '\0';
    text[registry_read_size - 1] = '\0';
    const size_t bound = n - scan_margin;
    int count = 0;
    size_t position = 0;
    while (position < bound) {
        const char *hit = strstr(text + position, marker);
        if (!hit) {
            position += strlen(text + position) + 1;
            continue;
        }
        if (++count >= registry_broken_count) break;
        position = static_cast<size_t>(hit - text) + marker_length;
    }
    return count;
}

// Sized for whatever HOME holds; null when memory is short.
static char *registry_path(const char *home, const char *file) {
    static const char format[] = "%s/.cache/gstreamer-1.0/%s";
    int length = snprintf(nullptr, 0, format, home, file);
    if (length < 0) return nullptr;
    char *path = static_cast<char *>(malloc(static_cast<size_t>(length) + 1));
    if (path) snprintf(path, static_cast<size_t>(length) + 1, format, home, file);
    return path;
}

// The kernel's own stat: fstat has no version as old as the oldest C library
// we run on. The 32-bit program's struct stat is the kernel's stat64.
static bool is_regular_file(int fd) {
    struct stat st;
#ifdef SYS_fstat64
    long result = syscall(SYS_fstat64, fd, &st);
#else
    long result = syscall(SYS_fstat, fd, &st);
#endif
    return result == 0 && S_ISREG(st.st_mode);
}

// One read only: the head of the file decides. A failed read counts as no
// bytes. False when the file cannot be opened or is not a regular file: the
// open does not block, so a FIFO in the cache's place cannot hold the check
// until its watchdog, and neither a FIFO nor a device is read.
static bool read_head(const char *path, char *buffer, size_t *n) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    if (!is_regular_file(fd)) {
        debug_trace("%s is not a regular file\n", path);
        close(fd);
        return false;
    }
    ssize_t got = read(fd, buffer, registry_read_size);
    close(fd);
    *n = got > 0 ? static_cast<size_t>(got) : 0;
    return true;
}

static void repair_registry_file(const char *path) {
    char buffer[registry_read_size];
    size_t n = 0;
    if (!read_head(path, buffer, &n)) return;
    debug_trace("checking %s\n", path);
    if (count_registry_markers(buffer, n) >= registry_broken_count) {
        debug_trace("%s is broken. Deleting it.\n", path);
        unlink(path);
    }
}

void repair_gstreamer_registry() {
    const char *home = getenv("HOME");
    // Both cache names are those of the 32-bit GStreamer; the 64-bit
    // program leaves every file alone.
    if (target_bits != 32) return;
    if (!home) {
        debug_trace("cannot check the GStreamer registry because $HOME is not set\n");
        return;
    }
    for (int i = 0; registry_files[i]; ++i) {
        char *path = registry_path(home, registry_files[i]);
        if (!path) continue;
        repair_registry_file(path);
        free(path);
    }
}
