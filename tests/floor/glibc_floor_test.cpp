// Both programs start on every x86 Linux with glibc 2.17 or newer: they need
// no newer symbol version and no library but libc and libdl, and they run to
// a complete report on a real older userland, constructors and destructors
// included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

#include "floor_paths.h"
#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"

namespace {

const ProgramUnderTest startup_probes[] = {
    {"startup_probe32", startup_probe32_path, 32, ""},
    {"startup_probe64", startup_probe64_path, 64, ".amd64"},
};

const char *const probe_output = "preinit function\nconstructor function\nobject constructed\n"
                                 "main\nobject destroyed\ndestructor function\n";

const ProgramUnderTest *program_named(const std::string &name) {
    for (const auto &program : programs_under_test())
        if (program.name == name) return &program;
    for (const auto &probe : startup_probes)
        if (probe.name == name) return &probe;
    return nullptr;
}

std::string command_output(const std::string &command) {
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

// The newest "GLIBC_x.y[.z]" named anywhere in the text, as numbers.
std::vector<int> newest_glibc_version(const std::string &text) {
    std::vector<int> newest;
    for (size_t at = text.find("GLIBC_"); at != std::string::npos;
         at = text.find("GLIBC_", at + 1)) {
        std::vector<int> version;
        std::istringstream digits(text.substr(at + 6, 12));
        for (int part; digits >> part;) {
            version.push_back(part);
            if (digits.peek() != '.') break;
            digits.get();
        }
        newest = std::max(newest, version);
    }
    return newest;
}

std::set<std::string> needed_libraries(const std::string &path) {
    std::set<std::string> needed;
    std::istringstream lines(command_output("readelf -d '" + path + "'"));
    for (std::string line; std::getline(lines, line);) {
        size_t name = line.find('[');
        if (line.find("(NEEDED)") != std::string::npos && name != std::string::npos)
            needed.insert(line.substr(name + 1, line.find(']') - name - 1));
    }
    return needed;
}

TEST(GlibcFloor, NothingNewerThanGlibc217AndOnlyLibcAndLibdl) {
    const std::vector<int> floor = {2, 17};
    for (const char *name : {"tarvek", "tarvek64", "startup_probe32", "startup_probe64"}) {
        SCOPED_TRACE(name);
        const std::string path = program_named(name)->path;
        std::string symbols = command_output("objdump -T '" + path + "'");
        std::string references = command_output("readelf -V '" + path + "'");
        ASSERT_NE(symbols.find("GLIBC_2."), std::string::npos) << symbols;
        EXPECT_LE(newest_glibc_version(symbols), floor) << symbols;
        EXPECT_LE(newest_glibc_version(references), floor) << references;
        EXPECT_EQ(needed_libraries(path), (std::set<std::string>{"libc.so.6", "libdl.so.2"}));
    }
}

class StartupProbe : public ProgramTest<ProgramUnderTest> {};

TEST_P(StartupProbe, RunsConstructorsAndDestructorsAroundMain) {
    RunResult run = run_program(GetParam(), {.check_report = false});
    EXPECT_EQ(run.exit_code(), 0);
    EXPECT_EQ(run.out, probe_output);
}

INSTANTIATE_TEST_SUITE_P(GlibcFloor, StartupProbe, ::testing::ValuesIn(startup_probes),
                         [](const auto &info) { return std::string(info.param.name); });

// A Debian 11 minbase tree (glibc 2.31) with the i386 C library added: no
// X11, sound or GStreamer, so a full run names those libraries missing.
struct UserlandRun {
    const char *program;
    std::vector<std::string> args;
    std::string out;                    // a report's start, a probe's whole output
    std::vector<std::string> sections;  // in the report
};

// Each program with the start-up probe of its word size.
class OlderUserland : public ProgramTest<ProgramUnderTest> {};

TEST_P(OlderUserland, BullseyeRunsTheProgramToTheEnd) {
    RunResult made = run_program({"userland.sh", userland_script, 64, ""},
                                 {.args = {"make", "bullseye"}, .timeout_seconds = 1500});
    ASSERT_EQ(made.exit_code(), 0) << "the bullseye userland could not be made:\n" << made.err;
    const std::vector<UserlandRun> rows = {
        {"tarvek", {"--help"}, "Usage: tarvek [--debug] [--help]\n", {}},
        {"tarvek64", {"--help"}, "Usage: tarvek64 [--debug] [--help]\n", {}},
        {"tarvek", {}, "[MissingLibFreetype]\n", {"MissingLibX11", "MissingLibStdc"}},
        {"tarvek64", {}, "[MissingLibFreetype.amd64]\n", {"MissingLibX11.amd64"}},
        {"startup_probe32", {}, probe_output, {}},
        {"startup_probe64", {}, probe_output, {}},
    };
    for (const auto &row : rows) {
        if (program_named(row.program)->bits != GetParam().bits) continue;
        SCOPED_TRACE(row.program + ::testing::PrintToString(row.args));
        const ProgramUnderTest *program = program_named(row.program);
        bool probe = std::string(row.program).rfind("startup_probe", 0) == 0;
        RunResult run = run_program(*program, {.args = row.args,
                                               .wrapper = {userland_script, "run", "bullseye"},
                                               .check_report = !probe});
        EXPECT_EQ(run.exit_code(), 0) << run.err;
        EXPECT_EQ(probe ? run.out : run.out.substr(0, row.out.size()), row.out) << run.err;
        std::vector<std::string> names = section_names(parse_report(run.out));
        for (const auto &section : row.sections)
            EXPECT_NE(std::find(names.begin(), names.end(), section), names.end()) << section;
    }
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, OlderUserland, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
