// Checks run side by side, yet the report and the trace read as if they had
// run one by one. Each row puts fixture libraries under table or candidate
// sonames and states, literally, the sections about those sonames and the
// trace lines about them ("NN" is the word size) that a run one check at a
// time writes, and how long the run may take.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include "fixture_dir.h"
#include "probe_support.h"
#include "program_test.h"
#include "report_sections.h"
#include "run_program.h"

namespace {

struct Row {
    const char *name;
    std::map<std::string, std::string> fixtures;  // soname -> fixture
    const char *lib_ids;   // whose sections the row is about
    const char *sections;  // "Broken LibX libx.so.1" or "Missing ...", one a line
    const char *trace;     // the trace lines about the row's sonames, in order
    double min_seconds, max_seconds;
};

const Row rows[] = {
    {"CrashAbortExitHangAndNoiseInTheTable",
     {{"libcapi20.so.3", "on_load_hang"},
      {"libodbc.so.2", "on_load_noise"},
      {"libOpenCL.so.1", "on_load_crash"},
      {"libXinerama.so.1", "on_load_abort"},
      {"libXxf86vm.so.1", "on_load_exit1"}},
     "LibCapi20 LibOdbc LibOpencl LibXinerama LibXxf86vm",
     "Broken LibCapi20 libcapi20.so.3\nBroken LibOpencl libOpenCL.so.1\n"
     "Broken LibXinerama libXinerama.so.1\nBroken LibXxf86vm libXxf86vm.so.1\n",
     "Wait for test child timed out\n"
     "noise from a constructor through write\n"
     "found NN-bit libodbc.so.2\n"
     "noise from a constructor through printf\n",
     4.9, 7.5},
    {"FourHangingLibrariesCostOneWatchdog",
     {{"libcapi20.so.3", "on_load_hang"},
      {"libodbc.so.2", "on_load_hang"},
      {"libOpenCL.so.1", "on_load_hang"},
      {"libXxf86vm.so.1", "on_load_hang"}},
     "LibCapi20 LibOdbc LibOpencl LibXxf86vm",
     "Broken LibCapi20 libcapi20.so.3\nBroken LibOdbc libodbc.so.2\n"
     "Broken LibOpencl libOpenCL.so.1\nBroken LibXxf86vm libXxf86vm.so.1\n",
     "Wait for test child timed out\nWait for test child timed out\n"
     "Wait for test child timed out\nWait for test child timed out\n",
     4.9, 7.5},
    // The first candidate loads slowly, or hangs, while later ones load at
    // once: the first in list order that loads still decides, and the
    // probes the list order would not make leave no trace.
    {"LaterCandidatesFinishFirst",
     {{"liblber-2.5.so.0", "on_load_slow"},
      {"liblber-2.4.so.2", "on_load_clean"},
      {"liblber.so.2", "on_load_noise"},
      {"libldap-2.5.so.0", "on_load_hang"},
      {"libldap_r-2.4.so.2", "on_load_crash"},
      {"libldap.so.2", "on_load_clean"}},
     "LibLber2 LibLdap_r2", "",
     "found NN-bit liblber-2.5.so.0\n"
     "Wait for test child timed out\n"
     "found NN-bit libldap.so.2\n",
     4.9, 7.5},
    {"NoCandidateLoads",
     {{"liblber-2.5.so.0", "on_load_crash"},
      {"liblber-2.4.so.2", "on_load_exit1"},
      {"liblber.so.2", "on_load_abort"}},
     "LibLber2", "Missing LibLber2 liblber-2.5.so.0\n", "", 0, 3},
};

std::string expected_sections(const ProgramUnderTest &p, const Row &row) {
    std::istringstream lines(row.sections);
    std::string kind, lib_id, soname, text;
    while (lines >> kind >> lib_id >> soname)
        text += kind == "Broken" ? broken_library_section(p, lib_id, soname)
                                 : missing_library_section(p, lib_id, soname);
    return text;
}

bool about_row(const Row &row, const std::string &line) {
    if (line.find("timed out") != std::string::npos || line.find("noise") != std::string::npos ||
        line.find("Unable to fork for test") != std::string::npos)
        return true;
    for (const auto &[soname, fixture] : row.fixtures)
        if (line.find(soname) != std::string::npos) return true;
    return false;
}

std::string trace_about(const Row &row, const std::string &err) {
    std::istringstream lines(err);
    std::string text;
    for (std::string line; std::getline(lines, line);)
        if (about_row(row, line)) text += line + "\n";
    return text;
}

std::string with_bits(std::string text, int bits) {
    for (size_t at; (at = text.find("NN")) != std::string::npos;)
        text.replace(at, 2, std::to_string(bits));
    return text;
}

// The library sections of the report about the row's libraries.
std::string sections_about(const Row &row, const std::string &out) {
    std::istringstream ids(row.lib_ids);
    std::vector<std::string> labels;
    for (std::string id; ids >> id;) {
        labels.push_back("Broken" + id);
        labels.push_back("Missing" + id);
    }
    return sections_labelled(out, labels);
}

enum class Launch { plain, process_limit };

class SideBySide
    : public ProgramTest<std::tuple<ProgramUnderTest, Row, Launch>> {};

TEST_P(SideBySide, ReportAndTraceKeepTheSequentialOrder) {
    const auto &[p, row, launch] = GetParam();
    if (launch == Launch::process_limit && geteuid() != 0)
        GTEST_SKIP() << "needs root to change user";
    FixtureDir libs;
    for (const auto &[soname, fixture] : row.fixtures) libs.install(soname, fixture);
    RunOptions options;
    options.args = {"--debug"};
    options.library_path = libs.library_path();
    options.unset_env = {"DISPLAY"};
    options.timeout_seconds = 60;
    RunResult r;
    if (launch == Launch::plain) {
        r = run_program(p, options);
    } else {
        chmod(libs.root().c_str(), 0755); // for the other user
        // Two processes for a user of its own (per row and program: the
        // limit counts every process of a user): one child at a time, and a
        // refused fork waits for it instead of breaking the next check.
        // The parameter is a copy: its place in the table is found by name.
        auto same_name = [&](const Row &other) { return std::string(other.name) == row.name; };
        long index = std::find_if(std::begin(rows), std::end(rows), same_name) - rows;
        std::string id = std::to_string(64900 + 2 * index + (p.bits == 32));
        r = run_wrapped(p, "/usr/bin/setpriv",
                        {"--reuid=" + id, "--regid=" + id, "--clear-groups", "/usr/bin/prlimit",
                         "--nproc=2"},
                        options);
    }
    EXPECT_EQ(r.exit_code(), 0) << r.err;
    EXPECT_EQ(sections_about(row, r.out), expected_sections(p, row));
    EXPECT_EQ(trace_about(row, r.err), with_bits(row.trace, p.bits));
    if (launch == Launch::plain) {
        EXPECT_GE(r.seconds, row.min_seconds);
        EXPECT_LT(r.seconds, row.max_seconds);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SideBySide,
    ::testing::Combine(::testing::ValuesIn(programs_under_test()), ::testing::ValuesIn(rows),
                       ::testing::Values(Launch::plain, Launch::process_limit)),
    [](const auto &info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name +
               (std::get<2>(info.param) == Launch::plain ? "" : "_UnderAProcessLimit");
    });

}  // namespace
