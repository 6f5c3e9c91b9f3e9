// The check sequence. The order is part of the report format: sections
// appear in the order their checks ran, and the front end relies on it.
#include "driver/sequence.h"

#include "checks/audio/audio_check.h"
#include "checks/graphics/graphics_checks.h"
#include "checks/gstreamer/gstreamer_check.h"
#include "checks/system/kernel_limits.h"
#include "checks/system/thread_cancel.h"
#include "driver/check_breaks.h"
#include "isolate/run_isolated.h"
#include "libprobe/library_steps.h"
#include "report/report.h"

// A cancel that crashes or stalls the child is the finding; a reported
// error or a missing library is not (the latter has its own section).
static void check_thread_cancellation() {
    if (run_isolated(check_thread_cancel, nullptr) == TEST_BROKEN)
        report_issue("PthreadCancelNotWorking", "pthread_cancel() does not work");
}

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
        report_opengl_not_working();
        find_dri_drivers();
    }
}

// Every isolated check that needs no other's outcome is started ahead of
// the sequence, the longest first: GStreamer, then the graphics chain, whose
// OpenGL check starts the moment X11 passes. The sequence below then takes
// their outcomes in its own order and writes what follows from them then,
// so the report and the trace read as if the checks had run one by one.
static void start_independent_checks() {
    start_isolated(check_gstreamer, nullptr);
    start_isolated(check_x11_display, nullptr);
    start_isolated_after(check_x11_display, nullptr, check_opengl, nullptr);
    start_isolated(check_audio, nullptr);
    start_isolated(check_thread_cancel, nullptr);
    start_library_probes();
}

// The audio check's time covers its server test and its nested libpulse
// probe, each bounded by the watchdog time, and the ALSA calls after them:
// a hang in either is then told by the check itself.
constexpr unsigned audio_check_seconds = 2 * watchdog_seconds + 2;

void run_check_sequence() {
    set_check_time_limit(check_audio, audio_check_seconds);
    start_independent_checks();
    check_library_table();
    check_alternative_libraries();
    check_mdns_library();
    check_vulkan_library();
    probe_ldt16();
    check_address_space_limit();
    run_check_telling_breaks(check_audio);
    run_check_telling_breaks(check_gstreamer);
    check_thread_cancellation();
    check_graphics();
}
