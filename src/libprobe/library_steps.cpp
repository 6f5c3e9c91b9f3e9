// The library steps of the check sequence. Each probe is its own isolated
// child; the sections are written here, in the main process, afterwards.
#include "libprobe/library_steps.h"

#include "isolate/run_isolated.h"
#include "libprobe/library.h"
#include "libprobe/library_table.h"
#include "report/report.h"
#include "target/target.h"

// Of a list of candidates only the first starts ahead: it is the one a
// current system has, and the sequence stops at the first that loads. The
// others, started ahead, were mostly dropped after their work was done.
// A probe only loads: its children need no report channel, and get none.
void start_library_probes() {
    isolate_without_report(probe_library_load);
    start_isolated(probe_library_load, "libvulkan.so.1");
    for (int i = 0; i < library_table_rows; ++i)
        if (has_word_size(library_table[i], target_bits))
            start_isolated(probe_library_load, library_table[i].soname);
    for (int i = 0; i < alternative_library_count; ++i)
        start_isolated(probe_library_load, alternative_libraries[i].sonames[0]);
}

// Rows of the other word size only are skipped without a word.
void check_library_table() {
    for (int i = 0; i < library_table_rows; ++i) {
        const LibraryEntry &row = library_table[i];
        if (has_word_size(row, target_bits)) check_library(row.lib_id, row.soname);
    }
}

// Each list reports under its first soname when nothing in it loads.
void check_alternative_libraries() {
    for (int i = 0; i < alternative_library_count; ++i) {
        const AlternativeLibrary &library = alternative_libraries[i];
        check_library_alternatives(library.lib_id, library.sonames[0], library.sonames);
    }
}

// The mdns resolver only matters when the name-service switch asks for it.
// The pattern is deliberately loose (commented lines and mdns4_minimal
// match too): a false probe costs one fork, a missed one a broken lookup.
// The search has the watchdog's time limit: a name-service file that never
// ends (a FIFO, a hung network file system) must not hold the run.
void check_mdns_library() {
    static const char command[] = "egrep 'hosts:.*mdns4' /etc/nsswitch.conf >/dev/null 2>&1";
    int status = run_shell_command(command);
    if (status != 0) {
        debug_trace("%s returned %d\n", command, status);
        return;
    }
    check_library("LibNss_mdns2", "libnss_mdns.so.2");
}

void check_vulkan_library() {
    TestOutcome outcome = run_isolated(probe_library_load, "libvulkan.so.1");
    if (outcome == TEST_FAILED) report_missing_library("LibVulkan", "libvulkan.so.1");
    if (outcome == TEST_BROKEN) report_broken_library("LibVulkan", "libvulkan.so.1");
    report_arch_property("vulkan.present", "%s", outcome == TEST_PASSED ? "yes" : "no");
}
