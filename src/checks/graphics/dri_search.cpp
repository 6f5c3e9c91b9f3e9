// DRI driver files by name alone: whether they load is not examined, only
// whether the usual directories hold any for this word size.
#include "checks/graphics/dri_search.h"

#include <dirent.h>

#include <cerrno>
#include <cstring>

#include "report/report.h"
#include "target/target.h"

const char *const dri_dirs_32[] = {"/usr/lib/dri", "/usr/lib/i386-linux-gnu/dri", nullptr};
const char *const dri_dirs_64[] = {"/usr/lib64/dri", "/usr/lib/x86_64-linux-gnu/dri", nullptr};

static const char dri_suffix[] = "_dri.so";
constexpr size_t dri_suffix_length = sizeof dri_suffix - 1;

static int is_dri_driver_name(const char *name) {
    size_t length = strlen(name);
    return length >= dri_suffix_length &&
           memcmp(name + length - dri_suffix_length, dri_suffix, dri_suffix_length) == 0;
}

// Entries in the order the file system gives them; a read error ends the
// listing like its end would.
static int directory_holds_driver(const char *path) {
    debug_trace("checking for %d-bit DRI drivers in %s\n", target_bits, path);
    DIR *dir = opendir(path);
    if (!dir) {
        debug_trace("-> could not open: %s\n", strerror(errno));
        return 0;
    }
    int found = 0;
    while (const dirent *entry = readdir(dir)) {
        if (is_dri_driver_name(entry->d_name)) {
            debug_trace("-> found %s\n", entry->d_name);
            found = 1;
            break;
        }
    }
    closedir(dir);
    return found;
}

int search_dri_dirs(const char *const *dirs) {
    for (int i = 0; dirs[i]; ++i)
        if (directory_holds_driver(dirs[i])) return 1;
    return 0;
}

void find_dri_drivers() {
    if (!search_dri_dirs(target_bits == 32 ? dri_dirs_32 : dri_dirs_64))
        report_issue("MissingDriDrivers", "There are no DRI drivers");
}
