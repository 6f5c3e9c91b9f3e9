// A run interrupted from outside: stopped, ended while a write blocks, refused
// every fork. Each row runs a program as it is, then so, and states the second
// run's report, status, time to the report's end of file and what it left running.
#include <dirent.h>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <tuple>

#include "fixture_dir.h"
#include "media_support.h"
#include "program_test.h"
#include "report_sections.h"

namespace {

enum class Report { as_reference, prefix, every_check_unforked };
struct Row {
    const char *name;
    const char *launcher;  // a shell script in the row's directory; "$@" the program
    Report report;  // as_reference: and no time-out in the trace
    int exit_code;
    double max_seconds;  // to the report's end of file
};

const Row rows[] = {
    // Every process of the run stopped 0.1 s in, as in a paused container; 6 s later, on.
    {"StoppedForSixSeconds",
     "setsid \"$@\" & sleep 0.1; pkill -STOP -s $!; sleep 6; pkill -CONT -s $!; wait $!",
     Report::as_reference, 0, 10},
    // Megabytes of GStreamer's log for a stderr pipe that nobody reads.
    {"SigtermWhileStderrIsStuck",
     "mkfifo err; exec 4<>err; GST_DEBUG='*:9' \"$@\" 2>err & sleep 2; kill $!; wait $!",
     Report::prefix, 128 + SIGTERM, 4},
    // The user's process limit used up by others: every fork refused (EAGAIN),
    // and the thread a sanitizer's leak check needs.
    {"EveryForkRefused",
     "ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 exec setpriv --reuid=64997 --regid=64997 "
     "--clear-groups prlimit --nproc=1 \"$@\"",
     Report::every_check_unforked, 0, 9},
};

// Processes that still carry the row's marker; killed either way.
int left_running(const std::string &marker) {
    int left = 0;
    DIR *proc = opendir("/proc");
    for (const dirent *entry; proc && (entry = readdir(proc));) {
        std::ifstream file(std::string("/proc/") + entry->d_name + "/environ");
        std::string environment{std::istreambuf_iterator<char>(file), {}};
        if (atoi(entry->d_name) > 0 && environment.find(marker) != std::string::npos)
            left += kill(atoi(entry->d_name), SIGKILL) == 0;
    }
    if (proc) closedir(proc);
    return left;
}

class RunInterruptions : public ProgramTest<std::tuple<ProgramUnderTest, Row>> {};

TEST_P(RunInterruptions, ReportAsUninterruptedAndNothingLeft) {
    const auto &[p, row] = GetParam();
    if (row.report == Report::every_check_unforked && geteuid() != 0) GTEST_SKIP() << "needs root";
    TempDir dir;
    // A check still at work when the run is stopped, whatever else is quick.
    FixtureDir libs;
    libs.install("libodbc.so.2", "on_load_slow");
    RunOptions o{.args = {"--debug"}, .set_env = {{"HOME", dir.path()}, {"TARVEK_ROW", dir.path()}},
                 .unset_env = {"DISPLAY"}, .library_path = libs.library_path(), .timeout_seconds = 30,
                 .working_dir = dir.path()};
    RunResult reference = run_program(p, o);
    ASSERT_EQ(reference.exit_code(), 0) << reference.err;
    o.wrapper = {"/bin/sh", "-c", row.launcher, "sh"};
    RunResult r = run_program(p, o);
    EXPECT_EQ(r.exit_code(), row.exit_code) << "status " << r.status << "\n" << r.err;
    EXPECT_LT(r.seconds, row.max_seconds);
    EXPECT_EQ(left_running("TARVEK_ROW=" + dir.path()), 0);
    if (row.report == Report::as_reference) {
        EXPECT_EQ(r.out, reference.out);
        EXPECT_EQ(r.err.find("timed out"), std::string::npos) << r.err;
    } else if (row.report == Report::prefix) {
        EXPECT_EQ(reference.out.compare(0, r.out.size(), r.out), 0) << r.out;
    } else {
        EXPECT_NE(r.out.find(broken_library_section(p, "LibOdbc", "libodbc.so.2")),
                  std::string::npos);
        EXPECT_NE(r.err.find("Unable to fork for test\n"), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Interruptions, RunInterruptions,
    ::testing::Combine(::testing::ValuesIn(programs_under_test()), ::testing::ValuesIn(rows)),
    ProgramRowName());

}  // namespace
