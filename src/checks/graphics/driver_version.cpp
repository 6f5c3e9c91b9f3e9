// Driver ages read from vendor version strings: old NVIDIA and fglrx drivers
// are known to break applications that newer ones run.
#include <cstdio>
#include <cstring>

#include "checks/graphics/gl_text.h"

// "2.1.2 NVIDIA 169.09": the driver number follows the word after a blank.
int parse_nvidia_driver_version(const char *version, int *major, int *minor) {
    const char *at = version ? strstr(version, "NVIDIA") : nullptr;
    if (at) at = strchr(at, ' ');
    if (!at) return 0;
    while (*at == ' ')
        ++at;
    if (!*at) return 0;
    return sscanf(at, "%d.%d", major, minor) == 2;
}

// Older than 169.12.
int nvidia_driver_outdated(int major, int minor) {
    return major < 169 || (major == 169 && minor <= 11);
}

// "2.1.7275 Release": GL major, GL minor, then the driver build.
int parse_fglrx_version(const char *version, int *gl_major, int *gl_minor, int *build) {
    return version && sscanf(version, "%d.%d.%d", gl_major, gl_minor, build) == 3;
}

int fglrx_driver_outdated(int build) { return build <= 7275; }
