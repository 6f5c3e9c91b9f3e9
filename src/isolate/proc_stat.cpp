// One reader of /proc/PID/stat: the process name in its second field makes
// the line unsafe to split on blanks from the start.
#include "isolate/proc_stat.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

const char *proc_stat_after_name(const char *pid, char *text, size_t size) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%s/stat", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    ssize_t n = read(fd, text, size - 1);
    close(fd);
    if (n <= 0) return nullptr;
    text[n] = '\0';
    const char *name_end = strrchr(text, ')');
    return name_end ? name_end + 1 : nullptr;
}
