// The report under stress from the libraries' own processes, their output,
// the limits of the run and interruptions from outside (stopped, ended while
// a write blocks, refused every fork); each row as the report integrity rows are.
#include <csignal>

#include "fault_stage.h"
#include "graphics_report.h"
#include "report_sections.h"
#include "program_test.h"

namespace {

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
    as_reference, // byte for byte the first run's, and nothing timed out
    opengl_cut,   // the OpenGL sections written before the fault, then the verdict
    none,         // nothing at all on standard output
    prefix,       // the first run's, up to where it stops
    unforked,     // every check refused its fork: the slow library broken
};

// Captured library output kept per check, and room for the trace besides.
constexpr size_t stderr_bound = (2 << 20) + (256 << 10);

using Row = FaultRow<Report>;

const Row rows[] = {
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
    {"StoppedForSixSeconds", Display::none, stopped_for_six_seconds, Report::as_reference, 0, 10,
     ""},
    {"SigtermWhileStderrIsStuck", Display::none, sigterm_while_stderr_is_stuck, Report::prefix,
     128 + SIGTERM, 4, ""},
    {"EveryForkRefused", Display::none, every_fork_refused, Report::unforked, 0, 9,
     "Unable to fork for test\n"},
};

void expect_report(const Row &row, const Stage &s, const RunResult &reference, const RunResult &r) {
    switch (row.report) {
    case Report::as_reference:
        EXPECT_EQ(r.out, reference.out);
        EXPECT_EQ(r.err.find("timed out"), std::string::npos) << r.err.substr(0, 4096);
        break;
    case Report::opengl_cut:
        EXPECT_EQ(graphics_part(r.out),
                  opengl_cut(s.p, s.options.set_env.count("FAKE_GL_EXTENSIONS")
                                      ? long_extensions()
                                      : short_extensions));
        break;
    case Report::none: {
        std::ifstream file(s.dir.file("report"));
        EXPECT_EQ(r.out + std::string(std::istreambuf_iterator<char>(file), {}), "");
        break;
    }
    case Report::prefix:
        EXPECT_EQ(reference.out.compare(0, r.out.size(), r.out), 0) << r.out;
        break;
    case Report::unforked:
        EXPECT_NE(r.out.find(broken_library_section(s.p, "LibOdbc", "libodbc.so.2")),
                  std::string::npos);
        break;
    }
}

class ReportUnderStress : public ProgramTest<std::tuple<ProgramUnderTest, Row>> {};

TEST_P(ReportUnderStress, FaultLeavesTheReportExactAndNothingBehind) {
    const auto &[program, row] = GetParam();
    if (row.report == Report::unforked && geteuid() != 0) GTEST_SKIP() << "needs root";
    Stage s(program, row.display);
    auto [reference, r] = run_fault_row(s, row);
    expect_report(row, s, reference, r);
    EXPECT_EQ(r.out.find("Scribbled"), std::string::npos);
    EXPECT_LT(r.err.size(), reference.err.size() + stderr_bound);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReportUnderStress,
    ::testing::Combine(::testing::ValuesIn(programs_under_test()), ::testing::ValuesIn(rows)),
    ProgramRowName());

}  // namespace
