// The run touches only what it made: a library or a script that signals its
// group reaches its own check alone; the launcher, its jobs and their orphans
// outlive the run; a library's daemon does not, even with /proc hidden. Each
// row runs a program twice under a launcher shell leading a session of its
// own (no group signal reaches the test), without and with one fault.
#include <sys/stat.h>
#include <unistd.h>

#include "fault_stage.h"
#include "program_test.h"
#include "report_sections.h"

namespace {

// Healthy libraries that take their time, so that checks run beside the one
// at fault; the row's directory first on PATH, for a command of its own.
const char *const slow_sonames[] = {"libcapi20.so.3", "libOpenCL.so.1", "libXinerama.so.1",
                                    "libXxf86vm.so.1"};

void slow_libraries_and_own_path(Stage &s) {
    for (const char *soname : slow_sonames) s.libs.install(soname, "on_load_slow");
    s.options.set_env["PATH"] = s.dir.path() + ":" + s.options.set_env["PATH"];
    s.options.timeout_seconds = 20;
}

void pulseaudio_kills_its_group(Stage &s) {
    s.dir.write("pulseaudio", "#!/bin/sh\ntrap 'kill 0' EXIT\nexit 1\n");
    chmod(s.dir.file("pulseaudio").c_str(), 0755);
}
void library_stops_its_group(Stage &s) { s.libs.install("libodbc.so.2", "kill_group_stop"); }
void library_pipes_its_group(Stage &s) { s.libs.install("libodbc.so.2", "kill_group_pipe"); }
void library_starts_a_daemon(Stage &s) { s.libs.install("libodbc.so.2", "on_load_daemon"); }
void library_terminates_its_parent(Stage &s) { s.libs.install("libodbc.so.2", "term_parent"); }
void none(Stage &) {}

// Launchers of "$@", the program; one that waits says so if still there.
const char *const waits = R"("$@"; s=$?; echo launcher alive >&2; exit $s)";
const char *const jobs_then_exec = R"(n=$TARVEK_TEST_PIDS; for i in $(seq 20); do
sleep 30 >&- 2>&- & echo $! >>$n; done; (sleep 0.2; sleep 30 >&- 2>&- & echo $! >>$n) & exec "$@")";
const char *const detaching_daemon_then_exec = R"(n=$TARVEK_TEST_PIDS;
(sleep 0.3; setsid sleep 30 >&- 2>&- & echo $! >>$n) & exec "$@")";
const char *const proc_hidden =
    R"(unshare -m --propagation private sh -c 'mount -t tmpfs none /proc && exec "$@"' sh "$@"
s=$?; echo launcher alive >&2; exit $s)";

struct Row {
    const char *name;
    const char *launcher;
    void (*fault)(Stage &);
    bool odbc_broken;  // libodbc.so.2 named broken; everything else as in the first run
    int noted_alive;   // processes noted in the pids file that outlive the run
    double max_seconds;
};

const Row rows[] = {
    {"PulseaudioWrapperKillsItsGroup", waits, pulseaudio_kills_its_group, false, 0, 5},
    {"LibraryStopsItsGroup", waits, library_stops_its_group, true, 0, 9},
    {"LibrarySendsSigpipeToItsGroup", waits, library_pipes_its_group, true, 0, 5},
    {"LibrarySendsSigtermToItsParent", waits, library_terminates_its_parent, false, 0, 5},
    {"LauncherJobsAndTheirOrphanOutliveTheRun", jobs_then_exec, none, false, 21, 5},
    {"LaunchersDaemonDetachingDuringTheRunOutlivesIt", detaching_daemon_then_exec, none, false, 1, 5},
    {"DaemonInANewSessionEndsWithProcHidden", proc_hidden, library_starts_a_daemon, false, 0, 5},
};

RunResult launch(const Stage &s, const Row &row) {
    std::string script = std::string("echo $$ >\"$HOME/launcher.pid\"\n") + row.launcher;
    return run_wrapped(s.p, "/usr/bin/setsid", {"-w", "/bin/sh", "-c", script, "sh"}, s.options);
}

// How many of the noted processes still run; all of them are ended here.
int end_noted(const Stage &s) {
    int alive = 0;
    std::ifstream pids(s.dir.file("pids"));
    for (int pid; pids >> pid;)
        alive += running(pid) && kill(pid, SIGKILL) == 0;
    unlink(s.dir.file("pids").c_str());
    return alive;
}

std::string without(std::string text, const std::string &part) {
    size_t at = text.find(part);
    return at == std::string::npos ? "<not found:>\n" + part : text.erase(at, part.size());
}

class RunBoundary : public ProgramTest<std::tuple<ProgramUnderTest, Row>> {};

TEST_P(RunBoundary, TouchesOnlyWhatTheRunMade) {
    const auto &[program, row] = GetParam();
    if (row.launcher == proc_hidden && geteuid() != 0) GTEST_SKIP() << "needs root to hide /proc";
    // The sanitizer runtimes read /proc/self as the program starts.
    if (row.launcher == proc_hidden && program.bits == 64 && tarvek64_sanitized)
        GTEST_SKIP() << "sanitized build";
    Stage s(program, Display::none);
    slow_libraries_and_own_path(s);
    RunResult reference = launch(s, row);
    ASSERT_EQ(reference.exit_code(), 0) << reference.err;
    end_noted(s);
    row.fault(s);
    RunResult r = launch(s, row);
    int pid = 0;
    std::ifstream launcher_pid(s.dir.file("home/launcher.pid"));
    if (r.seconds >= s.options.timeout_seconds && launcher_pid >> pid)
        kill(-pid, SIGKILL); // a run stopped for good: its launcher's session goes with the test
    EXPECT_EQ(r.exit_code(), 0) << "status " << r.status << "\n" << r.err;
    EXPECT_LT(r.seconds, row.max_seconds);
    std::string odbc = broken_library_section(s.p, "LibOdbc", "libodbc.so.2");
    EXPECT_EQ(row.odbc_broken ? without(r.out, odbc) : r.out, reference.out);
    EXPECT_EQ(r.err.find("launcher alive\n") != std::string::npos, row.launcher != jobs_then_exec &&
                                                              row.launcher != detaching_daemon_then_exec);
    EXPECT_EQ(end_noted(s), row.noted_alive);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RunBoundary,
    ::testing::Combine(::testing::ValuesIn(programs_under_test()), ::testing::ValuesIn(rows)),
    ProgramRowName());

}  // namespace
