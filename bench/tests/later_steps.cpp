// Stands in for the program once the checks after the library steps are in:
// the real library steps, then the address-space trace line from the main
// process, an audio-like check that nests a load probe, and one more check.
#include <unistd.h>

#include "driver/command_line.h"
#include "isolate/run_isolated.h"
#include "libprobe/library.h"
#include "libprobe/library_steps.h"
#include "report/report.h"

static int audio_like_check(const char *) {
    debug_trace("pulse_running=%d\n", 1);
    check_library("LibPulse", "libpulse.so.0");
    return open_library("libasound.so.2") != nullptr;
}

// Long enough to tell the whole run from the library steps.
static int slow_check(const char *) {
    usleep(50 * 1000);
    return 1;
}

int main(int argc, char **argv) {
    if (parse_command_line(argc, argv) != RUN_CHECKS) return 2;
    check_library_table();
    check_alternative_libraries();
    check_mdns_library();
    check_vulkan_library();
    debug_trace("getrlimit(RLIMIT_AS) returned %d, max=%d\n", 0, -1);
    run_isolated(audio_like_check, nullptr);
    run_isolated(slow_check, nullptr);
    return 0;
}
