#include "driver/check_breaks.h"

#include <sys/wait.h>

#include "checks/audio/audio_check.h"
#include "checks/gstreamer/gstreamer_check.h"
#include "isolate/run_isolated.h"
#include "report/report.h"

struct ToldCheck {
    CheckFn check;
    const char *name;
    const char *lib_id;
    const char *soname;
};

static const ToldCheck told_checks[] = {
    {check_audio, "audio", "LibAsound", "libasound.so.2"},
    {check_gstreamer, "GStreamer", "LibGstreamer1", "libgstreamer-1.0.so.0"},
};

// A status of 0 or the failed check's exit code is a check that returned
// and still broke (its report channel was taken from it).
static void trace_end(const char *name, int status) {
    if (status < 0)
        debug_trace("The %s check broke: its child ended before the check did\n", name);
    else if (WIFSIGNALED(status))
        debug_trace("The %s check broke: its child was ended by signal %d\n", name,
                    WTERMSIG(status));
    else if (status != 0 && status != failed_check_exit_code << 8)
        debug_trace("The %s check broke: a library made its child exit\n", name);
    else
        debug_trace("The %s check broke after it returned\n", name);
}

void run_check_telling_breaks(int (*check)(const char *)) {
    CheckEnd end = run_isolated_end(check, nullptr);
    if (end.outcome != TEST_BROKEN || !end.ran) return;
    for (const ToldCheck &told : told_checks) {
        if (told.check != check) continue;
        trace_end(told.name, end.wait_status);
        report_broken_library(told.lib_id, told.soname);
    }
}
