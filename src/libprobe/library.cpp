// Load probes: one isolated child per soname, so a library whose
// initialisation crashes or hangs is reported broken instead of killing us.
#include "libprobe/library.h"

#include "report/report.h"
#include "target/target.h"

// The loader may give no message at all; never hand a null to %s.
static const char *loader_message() {
    const char *message = dlerror();
    return message ? message : "(no message from the dynamic loader)";
}

void *open_library(const char *soname) {
    // RTLD_NOW: a library whose symbols cannot all be resolved is as good as
    // missing to an application, so it must fail here, not at first call.
    void *handle = dlopen(soname, RTLD_NOW);
    if (!handle) {
        debug_trace("%s\n", loader_message());
        return nullptr;
    }
    debug_trace("found %d-bit %s\n", target_bits, soname);
    return handle;
}

void *open_or_report_missing_library(const char *lib_id, const char *soname,
                                     std::span<const NamedSlot> slots, bool *loaded) {
    void *handle = open_library(soname);
    if (loaded) *loaded = handle != nullptr;
    if (handle && bind_library(handle, slots)) return handle;
    report_missing_library(lib_id, soname);
    return nullptr;
}

int probe_library_load(const char *soname) {
    void *handle = open_library(soname);
    if (!handle) return 0;
    dlclose(handle);
    return 1;
}

void check_library(const char *lib_id, const char *soname) {
    switch (run_isolated(probe_library_load, soname)) {
    case TEST_PASSED:
        break;
    case TEST_FAILED:
        report_missing_library(lib_id, soname);
        break;
    case TEST_BROKEN:
        report_broken_library(lib_id, soname);
        break;
    }
}

int check_library_alternatives(const char *lib_id, const char *missing_soname,
                               const char *const *candidates) {
    for (int i = 0; candidates[i]; ++i) {
        if (run_isolated(probe_library_load, candidates[i]) != TEST_PASSED) continue;
        // Probes started ahead that a probe in list order would never make.
        for (int j = i + 1; candidates[j]; ++j) drop_isolated(probe_library_load, candidates[j]);
        return i;
    }
    report_missing_library(lib_id, missing_soname);
    return -1;
}
