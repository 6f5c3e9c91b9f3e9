// The check sequence. The order is part of the report format: sections
// appear in the order their checks ran, and the front end relies on it.
#include "driver/sequence.h"

#include "checks/audio/audio_check.h"
#include "checks/gstreamer/gstreamer_check.h"
#include "checks/system/kernel_limits.h"
#include "checks/system/thread_cancel.h"
#include "driver/settings.h"
#include "isolate/run_isolated.h"
#include "libprobe/library_steps.h"
#include "report/report.h"
#include "target/target.h"

// A cancel that crashes or stalls the child is the finding; a reported
// error or a missing library is not (the latter has its own section).
static void check_thread_cancellation() {
    if (run_isolated(check_thread_cancel, nullptr) == TEST_BROKEN)
        report_issue("PthreadCancelNotWorking", "pthread_cancel() does not work");
}

void run_check_sequence() {
    target_bits = build_target_bits;
    arch_suffix = build_arch_suffix;
    check_library_table();
    check_alternative_libraries();
    check_mdns_library();
    check_vulkan_library();
    probe_ldt16();
    check_address_space_limit();
    run_isolated(check_audio, nullptr);
    run_isolated(check_gstreamer, nullptr);
    check_thread_cancellation();
}
