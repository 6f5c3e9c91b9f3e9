// The check sequence. The order is part of the report format: sections
// appear in the order their checks ran, and the front end relies on it.
#include "driver/sequence.h"

#include "checks/audio/audio_check.h"
#include "checks/gstreamer/gstreamer_check.h"
#include "driver/settings.h"
#include "isolate/run_isolated.h"
#include "libprobe/library_steps.h"
#include "target/target.h"

void run_check_sequence() {
    target_bits = build_target_bits;
    arch_suffix = build_arch_suffix;
    check_library_table();
    check_alternative_libraries();
    check_mdns_library();
    check_vulkan_library();
    run_isolated(check_audio, nullptr);
    run_isolated(check_gstreamer, nullptr);
}
