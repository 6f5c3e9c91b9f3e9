// A full run of each program under memcheck, children included: every check
// child and watchdog is a copy of the program and must be as clean as it.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "media_support.h"
#include "paths.h"
#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"
#include "xvfb.h"

namespace {

class Memcheck : public ProgramTest<ProgramUnderTest> {};

std::string logs_with_errors(const std::string &dir) {
    std::string found;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        // Memcheck's reports are the "==PID==" lines; "--PID--" lines are
        // valgrind's own notes (it has no model of modify_ldt on x86-64, for
        // one, and answers ENOSYS, which the LDT probe rightly ignores).
        std::ifstream in(entry.path());
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("==", 0) == 0) found += entry.path().string() + ": " + line + "\n";
    }
    return found;
}

TEST_P(Memcheck, FullRunHasNoErrorsInAnyProcess) {
    if (GetParam().bits == 64 && tarvek64_sanitized) GTEST_SKIP() << "sanitized build";
    char pattern[] = "/tmp/tarvek-memcheck-XXXXXX";
    std::string dir = mkdtemp(pattern);
    // The whole stack, as a user has it: a display with Mesa, a sound server.
    XvfbServer xvfb;
    PulseServer pulse;
    ASSERT_TRUE(xvfb.running());
    ASSERT_TRUE(pulse.ready());
    RunOptions options;
    options.args = {"--debug"};
    options.set_env = pulse.client_env();
    options.set_env["DISPLAY"] = xvfb.display();
    options.wrapper = {"/usr/bin/valgrind", "-q", "--trace-children=yes",
                       // Commands the checks start through the shell are not ours.
                       "--trace-children-skip=*/sh,*/egrep,*/grep,*/pulseaudio",
                       "--suppressions=" TARVEK_SOURCE_DIR "/tests/valgrind/system.supp",
                       "--log-file=" + dir + "/%p.log"};
    options.timeout_seconds = 600;
    RunResult r = run_program(GetParam(), options);
    EXPECT_EQ(r.exit_code(), 0) << r.err;
    EXPECT_TRUE(parse_report(r.out).ok()) << r.out;
    EXPECT_EQ(logs_with_errors(dir), "");
    // One log per process: the children were watched too, not only main.
    auto logs = std::distance(std::filesystem::directory_iterator(dir), {});
    EXPECT_GT(logs, 40);
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, Memcheck, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
