// The report under stress from the libraries' own processes, their output
// and the limits of the run; each row as the report integrity rows are.
#include "fault_stage.h"
#include "graphics_report.h"
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

enum class Report {
    as_reference, // byte for byte the first run's
    opengl_cut,   // the OpenGL sections written before the fault, then the verdict
    none,         // nothing at all on standard output
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
};

void expect_report(const Row &row, const Stage &s, const RunResult &reference, const RunResult &r) {
    switch (row.report) {
    case Report::as_reference:
        EXPECT_EQ(r.out, reference.out);
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
    }
}

class ReportUnderStress : public ProgramTest<std::tuple<ProgramUnderTest, Row>> {};

TEST_P(ReportUnderStress, FaultLeavesTheReportExactAndNothingBehind) {
    const auto &[program, row] = GetParam();
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
