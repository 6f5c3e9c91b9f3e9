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

pid_t proc_parent(pid_t pid) {
    char pid_text[16], stat[512];
    snprintf(pid_text, sizeof pid_text, "%d", static_cast<int>(pid));
    const char *fields = proc_stat_after_name(pid_text, stat, sizeof stat);
    int ppid = -1;
    if (!fields || sscanf(fields, " %*c %d", &ppid) != 1) return -1;
    return ppid;
}
