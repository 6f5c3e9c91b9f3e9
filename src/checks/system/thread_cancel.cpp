// Runs only in an isolated child: a cancel that aborts or stalls is the very
// finding, and the driver reads it from the child's fate.
#include "checks/system/thread_cancel.h"

#include <pthread.h>
#include <unistd.h>

#include "libprobe/binding.h"
#include "libprobe/library.h"
#include "report/report.h"

#define PTHREAD_ENTRY_POINTS(X) X(pthread_create) X(pthread_cancel)

struct PthreadFunctions {
    PTHREAD_ENTRY_POINTS(TYPED_SLOT)
};

static PthreadFunctions pthread;

static constexpr auto pthread_slots = NAMED_SLOTS(PTHREAD_ENTRY_POINTS, pthread);

// The test thread only sleeps: sleep is a cancellation point, so the cancel
// request has something to act on, and the thread shares nothing with us.
static void *thread_sleep_body(void *) {
    sleep(1);
    return nullptr;
}

// Creates one thread and cancels it at once. The thread is neither joined
// nor detached: the child exits right after this returns.
static int create_and_cancel() {
    pthread_t thread;
    int r = pthread.pthread_create(&thread, nullptr, thread_sleep_body, nullptr);
    if (r != 0) {
        debug_trace("pthread_create failed (%d)\n", r);
        return 0;
    }
    r = pthread.pthread_cancel(thread);
    if (r != 0) {
        debug_trace("pthread_cancel failed (%d)\n", r);
        return 0;
    }
    return 1;
}

int check_thread_cancel(const char *) {
    // The unwinder is only loaded, for pthread_cancel to find: nothing to bind.
    bool have_unwinder = open_or_report_missing_library("LibGcc_s", "libgcc_s.so.1") != nullptr;
    if (!open_or_report_missing_library("LibPthread", "libpthread.so.0", pthread_slots)) return 1;
    // Without the unwinder a cancel is known to abort; the missing library
    // is the finding, so do not stage the crash.
    if (!have_unwinder) return 1;
    return create_and_cancel();
}
