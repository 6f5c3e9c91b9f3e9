// The check sequence. The order is part of the report format: sections
// appear in the order their checks ran, and the front end relies on it.
#include "driver/sequence.h"

#include "checks/graphics/graphics_checks.h"
#include "driver/settings.h"
#include "isolate/run_isolated.h"
#include "libprobe/library_steps.h"
#include "report/report.h"
#include "target/target.h"

// The X11 outcome decides whether OpenGL is tried at all; a broken OpenGL
// check is followed by the DRI search here, since its child could not tell.
static void check_graphics() {
    switch (run_isolated(check_x11_display, nullptr)) {
    case TEST_BROKEN:
        report_issue("X11NotWorking", "X11 does not work");
        return;
    case TEST_FAILED:
        return;
    case TEST_PASSED:
        break;
    }
    if (run_isolated(check_opengl, nullptr) == TEST_BROKEN) {
        report_issue("OpenglNotWorking", "OpenGL does not work");
        find_dri_drivers();
    }
}

void run_check_sequence() {
    target_bits = build_target_bits;
    arch_suffix = build_arch_suffix;
    check_library_table();
    check_alternative_libraries();
    check_mdns_library();
    check_vulkan_library();
    check_graphics();
}
