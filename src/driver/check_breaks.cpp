// Marks in a page shared with the main process: a check child notes that it
// started, the fatal signal it met or the exit a library made it take, and
// that its check returned. A kill (the runner's at the time limit, or
// anyone's) and an _exit leave no mark of their own; the runner's trace
// tells a time-out.
#include "driver/check_breaks.h"

#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "checks/audio/audio_check.h"
#include "checks/gstreamer/gstreamer_check.h"
#include "report/report.h"

struct CheckMark {
    volatile sig_atomic_t pid; // of the child, once it started
    volatile sig_atomic_t signal;
    volatile sig_atomic_t exited;
    volatile sig_atomic_t returned;
};

struct MarkedCheck {
    CheckFn body;  // what the sequence runs
    CheckFn check; // what it runs marked
    const char *name;
    const char *lib_id;
    const char *soname;
};

static const MarkedCheck marked_checks[] = {
    {audio_check_body, check_audio, "audio", "LibAsound", "libasound.so.2"},
    {gstreamer_check_body, check_gstreamer, "GStreamer", "LibGstreamer1", "libgstreamer-1.0.so.0"},
};
constexpr int marked_count = sizeof marked_checks / sizeof marked_checks[0];

static CheckMark *marks; // null when the page could not be had
static CheckMark *own_mark;

void prepare_check_marks() {
    void *page = mmap(nullptr, sizeof(CheckMark) * marked_count, PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page != MAP_FAILED) marks = static_cast<CheckMark *>(page);
}

// Children the check forks (its nested probes) inherit the handlers: only
// the check's own child marks.
static bool in_own_child() { return own_mark && own_mark->pid == getpid(); }

static void note_fatal_signal(int signo) {
    if (in_own_child()) own_mark->signal = signo;
    raise(signo); // the default action is back: the child ends as it would have
}

static void note_exit() {
    if (in_own_child()) own_mark->exited = 1;
}

static void watch_own_end() {
    struct sigaction action = {};
    action.sa_handler = note_fatal_signal;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    static const int fatal_signals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
    for (int signo : fatal_signals) sigaction(signo, &action, nullptr);
    // The runner ends a child with _exit: only a library calls exit.
    atexit(note_exit);
}

static int run_marked(int index, const char *arg) {
    if (marks) {
        own_mark = &marks[index];
        own_mark->pid = getpid();
        watch_own_end();
    }
    int result = marked_checks[index].check(arg);
    if (own_mark) own_mark->returned = 1;
    return result;
}

int audio_check_body(const char *arg) { return run_marked(0, arg); }
int gstreamer_check_body(const char *arg) { return run_marked(1, arg); }

static void trace_end(const char *name, const CheckMark *mark) {
    if (!mark)
        debug_trace("The %s check broke\n", name);
    else if (mark->signal)
        debug_trace("The %s check broke: its child was ended by signal %d\n", name, mark->signal);
    else if (mark->exited)
        debug_trace("The %s check broke: a library made its child exit\n", name);
    else if (mark->returned)
        debug_trace("The %s check broke after it returned\n", name);
    else
        debug_trace("The %s check broke: its child ended before the check did\n", name);
}

void report_broken_check(CheckFn body, TestOutcome outcome) {
    if (outcome != TEST_BROKEN) return;
    for (int i = 0; i < marked_count; ++i) {
        if (marked_checks[i].body != body) continue;
        const CheckMark *mark = marks ? &marks[i] : nullptr;
        if (mark && mark->pid == 0) return;
        trace_end(marked_checks[i].name, mark);
        report_broken_library(marked_checks[i].lib_id, marked_checks[i].soname);
    }
}
