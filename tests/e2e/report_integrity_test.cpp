// The report is the program's alone, exact under stress. Each row runs a
// program once without and once with one fault of the world around it (a
// library, its processes or its output, a limit, a launcher that stops,
// ends or starves the run) and states what the second run must give: its
// report, its exit status, how long a reader waits for the end of the
// report, and what it may leave behind (nothing: no process, no core file).
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <tuple>

#include "fault_stage.h"
#include "graphics_report.h"
#include "paths.h"
#include "program_test.h"
#include "report_sections.h"

namespace {

void launched_as(Stage &s, const std::string &mode) {
    s.wrapper = std::string(fixture_root) + "/helpers/launch_as";
    s.wrapper_args = {mode};
}

// What the fake libGL answers, and a list long enough to span buffers.
constexpr const char *short_extensions =
    "GL_ARB_shading_language_100 GL_EXT_texture_compression_s3tc GL_ARB_texture_float";

std::string long_extensions() {
    std::string extensions = short_extensions;
    for (int i = 0; extensions.size() < 12 * 1024; ++i)
        extensions += " GL_FAKE_long_extension_name_" + std::to_string(i);
    return extensions;
}

// The graphics part of a report whose OpenGL check broke after its legacy
// queries: the sections written before, then the verdict.
std::string opengl_cut(const ProgramUnderTest &p, const std::string &extensions) {
    return property_section("display.depth", "24") + property_section("display.dpi", "-1.0") +
           property_section("opengl.vendor", "Fake GL Vendor") +
           property_section("opengl.version", "2.1 Fake GL") +
           property_section("opengl.renderer", "Fake GL Renderer") +
           property_section("opengl.glsl_version", "1.30") +
           property_section("opengl.extensions", extensions) + issue_section(p, "OpenglNotWorking");
}

// The faults. Each changes the stage of the second run.
void library_prints(Stage &s) { s.libs.install("libodbc.so.2", "on_load_noise"); }
void libgl_prints(Stage &s) { s.options.set_env["FAKE_GL_CREATE_CONTEXT"] = "noise"; }
void library_prints_without_memory_files(Stage &s) {
    library_prints(s);
    launched_as(s, "no-memfd");
}
void library_starts_daemon(Stage &s) { s.libs.install("libodbc.so.2", "on_load_daemon"); }
void library_starts_daemon_and_hangs(Stage &s) {
    s.libs.install("libodbc.so.2", "on_load_daemon_hang");
}
void pulseaudio_check_hangs(Stage &s) {
    s.dir.write("pulseaudio", "#!/bin/sh\necho $$ >>\"$TARVEK_TEST_PIDS\"\nsleep 30 &\n"
                              "echo $! >>\"$TARVEK_TEST_PIDS\"\nwait\n");
    chmod(s.dir.file("pulseaudio").c_str(), 0755);
    s.options.set_env["PATH"] = s.dir.path() + ":" + s.options.set_env["PATH"];
}
// The launcher ends the program a second into a hang, by its pid alone
// (SIGQUIT, which a shell's background job starts ignoring, let in again).
void signal_during_hang(Stage &s, const char *signal) {
    library_starts_daemon_and_hangs(s);
    s.wrapper = "/bin/sh";
    s.wrapper_args = {"-c",
                      std::string("env --default-signal=QUIT \"$@\" & sleep 1; kill -") + signal +
                          " $!; wait $!",
                      "sh"};
}
void sigterm_during_hang(Stage &s) { signal_during_hang(s, "TERM"); }
void sigquit_during_hang(Stage &s) { signal_during_hang(s, "QUIT"); }
void sigusr1_during_hang(Stage &s) { signal_during_hang(s, "USR1"); }
void sigalrm_during_hang(Stage &s) { signal_during_hang(s, "ALRM"); }
void library_traces_itself(Stage &s) { s.libs.install("libodbc.so.2", "on_load_traceme"); }
void helper_joins_launchers_group(Stage &s) {
    s.libs.install("libodbc.so.2", "on_load_join_launcher");
}
// The run at idle priority on one processor beside a busy loop: its checks
// wait far longer for the processor than they work, and none is the hang.
void starved_of_processor(Stage &s) {
    s.wrapper = "/bin/sh";
    s.wrapper_args = {"-c",
                      "taskset -c 0 sh -c 'while :; do :; done' & b=$!; "
                      "taskset -c 0 chrt --idle 0 \"$@\"; s=$?; kill $b; wait $b; exit $s",
                      "sh"};
}
// The run on a terminal of its own (its stdin), the report and the trace
// kept in files; a library that sets the terminal's modes and takes it.
void library_takes_the_terminal(Stage &s) {
    s.libs.install("libodbc.so.2", "on_load_terminal");
    s.wrapper = "/bin/sh";
    s.wrapper_args = {"-c",
                      "script -qec \"$* >$HOME/out 2>$HOME/err\" /dev/null >/dev/null; s=$?; "
                      "cat $HOME/out; cat $HOME/err >&2; exit $s",
                      "sh"};
}
// A user of its own per program: the limit counts every process of a user.
void process_limit_two(Stage &s) {
    std::string id = std::to_string(s.p.bits == 32 ? 64999 : 64998);
    s.wrapper = "/usr/bin/setpriv";
    s.wrapper_args = {"--reuid=" + id, "--regid=" + id, "--clear-groups", "/usr/bin/prlimit",
                      "--nproc=2"};
}
void descriptor_limit_four(Stage &s) {
    s.wrapper = "/usr/bin/prlimit";
    s.wrapper_args = {"--nofile=4:4096"};
}
void crash_with_core_dumps_on(Stage &s) {
    s.libs.install("libodbc.so.2", "on_load_crash");
    s.wrapper = "/usr/bin/prlimit";
    s.wrapper_args = {"--core=unlimited"};
}
void nonblocking_stdout_read_slowly(Stage &s) { launched_as(s, "slow-reader"); }
void registry_cache_is_a_fifo(Stage &s) {
    std::string cache = s.dir.file("home/.cache");
    mkdir(cache.c_str(), 0755);
    mkdir((cache + "/gstreamer-1.0").c_str(), 0755);
    mkfifo((cache + "/gstreamer-1.0/registry.i586.bin").c_str(), 0644);
}
void sigalrm_blocked_timer_running(Stage &s) { launched_as(s, "alarm"); }
// The name-service file is a FIFO nobody writes: the search never ends.
void nsswitch_never_ends(Stage &s) {
    mkfifo(s.dir.file("nsswitch.conf").c_str(), 0644);
    s.dir.write("egrep", "#!/bin/sh\necho $$ >>\"$TARVEK_TEST_PIDS\"\nexec grep -E \"$1\" " +
                             s.dir.file("nsswitch.conf") + "\n");
    chmod(s.dir.file("egrep").c_str(), 0755);
    s.options.set_env["PATH"] = s.dir.path() + ":" + s.options.set_env["PATH"];
}
// 12 KB of extensions, more than a stdio buffer, before the core-profile
// context crashes: every section written before the crash is whole.
void libgl_crashes_after_long_output(Stage &s) {
    s.options.set_env["FAKE_GL_EXTENSIONS"] = long_extensions();
    s.options.set_env["FAKE_GL_CREATE_CORE"] = "crash";
}

void libgl_forks_a_child_that_exits(Stage &s) {
    s.options.set_env["FAKE_GL_CREATE_CORE"] = "fork-exit";
}
void libgl_exits_1_after_long_output(Stage &s) {
    s.options.set_env["FAKE_GL_EXTENSIONS"] = long_extensions();
    s.options.set_env["FAKE_GL_CREATE_CORE"] = "exit1";
}
void library_floods_stderr(Stage &s) { s.libs.install("libodbc.so.2", "on_load_flood"); }
// Standard output a regular file, as a redirection to a file gives it.
void file_size_limit_zero(Stage &s) {
    s.wrapper = "/bin/sh";
    s.wrapper_args = {"-c", "/usr/bin/prlimit --fsize=0 \"$@\" >\"$0\"", s.dir.file("report")};
}
void libgl_scribbles_and_closes_descriptors(Stage &s) {
    s.options.set_env["FAKE_GL_CREATE_CORE"] = "scribble";
}

// A check still at work while the run is interrupted, whatever else is quick;
// the launcher a shell script, "$@" the program.
void interrupted(Stage &s, const char *launcher) {
    s.libs.install("libodbc.so.2", "on_load_slow");
    s.wrapper = "/bin/sh";
    s.wrapper_args = {"-c", launcher, "sh"};
}
// Every process of the run stopped 0.1 s in, as in a paused container; 6 s later, on.
void stopped_for_six_seconds(Stage &s) {
    interrupted(s, "setsid \"$@\" & sleep 0.1; pkill -STOP -s $!; sleep 6; pkill -CONT -s $!; "
                   "wait $!");
}
// Megabytes of GStreamer's log for a stderr pipe that nobody reads.
void sigterm_while_stderr_is_stuck(Stage &s) {
    interrupted(s, "err=$HOME/err; mkfifo $err; exec 4<>$err; GST_DEBUG='*:9' \"$@\" 2>$err & "
                   "sleep 2; kill $!; wait $!");
}
// The user's process limit used up by others: every fork refused (EAGAIN),
// and the thread a sanitizer's leak check needs.
void every_fork_refused(Stage &s) {
    interrupted(s, "ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 exec setpriv --reuid=64997 "
                   "--regid=64997 --clear-groups prlimit --nproc=1 \"$@\"");
}

enum class Report {
    as_reference,       // byte for byte the first run's
    in_time,            // the first run's, and nothing timed out
    prefix,             // what it holds is the first run's start, unchanged
    odbc_broken,        // libodbc.so.2 named broken
    no_broken_library,  // no library named broken
    opengl_cut,         // the OpenGL sections written before the fault, then the verdict
    none,               // nothing at all on standard output
};

// Captured library output kept per check, and room for the trace besides.
constexpr size_t stderr_bound = (2 << 20) + (256 << 10);

// A row: the fault, the expected report, exit status, time until the
// report's end of file, and a text stderr holds.
struct Row {
    const char *name;
    Display display;
    void (*fault)(Stage &);
    Report report;
    int exit_code;
    double max_seconds;
    const char *stderr_holds;
};

const Row rows[] = {
    {"LibraryPrintsInItsConstructor", Display::none, library_prints, Report::as_reference, 0, 4,
     "noise from a constructor through printf\n"},
    {"LibglPrintsWhenCalled", Display::fake_gl, libgl_prints, Report::as_reference, 0, 4,
     "noise from libGL through write\n"},
    {"LibraryPrintsWithoutMemoryFiles", Display::none, library_prints_without_memory_files,
     Report::as_reference, 0, 4, "noise from a constructor through write\n"},
    {"LibraryStartsADaemon", Display::none, library_starts_daemon, Report::as_reference, 0, 4, ""},
    {"LibraryStartsADaemonAndHangs", Display::none, library_starts_daemon_and_hangs,
     Report::odbc_broken, 0, 9, "Wait for test child timed out\n"},
    {"PulseaudioCheckHangs", Display::none, pulseaudio_check_hangs, Report::as_reference, 0, 9,
     "pulseaudio --check timed out\n"},
    {"SigtermDuringAHang", Display::none, sigterm_during_hang, Report::prefix, 128 + SIGTERM, 3,
     ""},
    {"SigquitDuringAHang", Display::none, sigquit_during_hang, Report::prefix, 128 + SIGQUIT, 3,
     ""},
    {"Sigusr1DuringAHang", Display::none, sigusr1_during_hang, Report::prefix, 128 + SIGUSR1, 3,
     ""},
    {"SigalrmDuringAHang", Display::none, sigalrm_during_hang, Report::prefix, 128 + SIGALRM, 3,
     ""},
    {"LibraryTracesItself", Display::none, library_traces_itself, Report::as_reference, 0, 4, ""},
    {"HelperJoinsTheLaunchersGroup", Display::none, helper_joins_launchers_group,
     Report::as_reference, 0, 4, ""},
    {"StarvedOfProcessor", Display::none, starved_of_processor, Report::in_time, 0, 35, ""},
    {"LibraryTakesTheTerminal", Display::none, library_takes_the_terminal, Report::as_reference, 0, 4,
     ""},
    {"ProcessLimitTwo", Display::none, process_limit_two, Report::no_broken_library, 0, 20,
     "Unable to fork watchdog for test\n"},
    {"DescriptorLimitFour", Display::mesa, descriptor_limit_four, Report::as_reference, 0, 6, ""},
    {"CoreDumpsOn", Display::none, crash_with_core_dumps_on, Report::odbc_broken, 0, 4, ""},
    {"NonBlockingStdoutReadSlowly", Display::mesa, nonblocking_stdout_read_slowly,
     Report::as_reference, 0, 10, ""},
    {"RegistryCacheIsAFifo", Display::none, registry_cache_is_a_fifo, Report::as_reference, 0, 4,
     ""},
    {"SigalrmBlockedWithATimerRunning", Display::none, sigalrm_blocked_timer_running,
     Report::as_reference, 0, 4, ""},
    {"NsswitchNeverEnds", Display::none, nsswitch_never_ends, Report::as_reference, 0, 9,
     " returned 9\n"},
    {"LibglCrashesAfterLongOutput", Display::fake_gl, libgl_crashes_after_long_output,
     Report::opengl_cut, 0, 4, ""},
    {"LibglForksAChildThatExits", Display::fake_gl, libgl_forks_a_child_that_exits,
     Report::as_reference, 0, 4, ""},
    {"LibglExitsOneAfterLongOutput", Display::fake_gl, libgl_exits_1_after_long_output,
     Report::opengl_cut, 0, 4, ""},
    {"LibraryFloodsStderr", Display::none, library_floods_stderr, Report::as_reference, 0, 6,
     " bytes of output dropped"},
    {"FileSizeLimitZero", Display::none, file_size_limit_zero, Report::none, 1, 9,
     "cannot write the report: File too large\n"},
    {"LibglScribblesAndClosesDescriptors", Display::fake_gl,
     libgl_scribbles_and_closes_descriptors, Report::opengl_cut, 0, 4, ""},
    {"StoppedForSixSeconds", Display::none, stopped_for_six_seconds, Report::in_time, 0, 10, ""},
    {"SigtermWhileStderrIsStuck", Display::none, sigterm_while_stderr_is_stuck, Report::prefix,
     128 + SIGTERM, 4, ""},
    {"EveryForkRefused", Display::none, every_fork_refused, Report::odbc_broken, 0, 9,
     "Unable to fork for test\n"},
};

void expect_report(const Row &row, const Stage &s, const RunResult &reference, const RunResult &r) {
    const auto &p = s.p;
    switch (row.report) {
    case Report::as_reference:
        EXPECT_EQ(r.out, reference.out);
        break;
    case Report::in_time:
        EXPECT_EQ(r.out, reference.out);
        EXPECT_EQ(r.err.find("timed out"), std::string::npos) << r.err.substr(0, 4096);
        break;
    case Report::prefix:
        EXPECT_EQ(reference.out.compare(0, r.out.size(), r.out), 0) << r.out;
        break;
    case Report::odbc_broken:
        EXPECT_NE(r.out.find(broken_library_section(p, "LibOdbc", "libodbc.so.2")),
                  std::string::npos);
        break;
    case Report::no_broken_library:
        EXPECT_EQ(r.out.find("[Broken"), std::string::npos) << r.out;
        break;
    case Report::opengl_cut:
        EXPECT_EQ(graphics_part(r.out),
                  opengl_cut(p, s.options.set_env.count("FAKE_GL_EXTENSIONS") ? long_extensions()
                                                                               : short_extensions));
        break;
    case Report::none: {
        std::ifstream file(s.dir.file("report"));
        EXPECT_EQ(r.out + std::string(std::istreambuf_iterator<char>(file), {}), "");
        break;
    }
    }
}

// Runs the row's two runs and asserts what every row states of the second
// but its report: status, time, stderr, nothing left behind.
std::tuple<RunResult, RunResult> run_fault_row(Stage &s, const Row &row) {
    EXPECT_TRUE(!s.server || s.server->running());
    RunResult reference = s.run();
    EXPECT_EQ(reference.exit_code(), 0) << reference.err.substr(0, 4096);
    row.fault(s);
    RunResult r = s.run();
    EXPECT_EQ(r.exit_code(), row.exit_code) << "status " << r.status << "\n"
                                            << r.err.substr(0, 4096);
    EXPECT_LT(r.seconds, row.max_seconds);
    EXPECT_NE(r.err.find(row.stderr_holds), std::string::npos) << r.err.substr(0, 4096);
    EXPECT_EQ(s.left_behind(), std::vector<std::string>{});
    return {reference, r};
}

class ReportIntegrity : public ProgramTest<std::tuple<ProgramUnderTest, Row>> {};

TEST_P(ReportIntegrity, FaultLeavesTheReportWholeAndNothingBehind) {
    const auto &[program, row] = GetParam();
    if ((row.fault == process_limit_two || row.fault == every_fork_refused) && geteuid() != 0)
        GTEST_SKIP() << "needs root to change user";
    if (row.fault == crash_with_core_dumps_on) {
        std::ifstream pattern("/proc/sys/kernel/core_pattern");
        std::string line;
        std::getline(pattern, line);
        if (line.empty() || line[0] == '|' || line.find('/') != std::string::npos)
            GTEST_SKIP() << "cores do not go to the current directory here: " << line;
    }
    Stage s(program, row.display);
    auto [reference, r] = run_fault_row(s, row);
    expect_report(row, s, reference, r);
    EXPECT_EQ(r.out.find("noise"), std::string::npos);
    EXPECT_EQ(r.out.find("Scribbled"), std::string::npos);
    EXPECT_LT(r.err.size(), reference.err.size() + stderr_bound);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReportIntegrity,
    ::testing::Combine(::testing::ValuesIn(programs_under_test()), ::testing::ValuesIn(rows)),
    ProgramRowName());

}  // namespace
