// Launchers leave the program in odd states. None of them may crash the main
// process, change its exit status, or make it wait on a watchdog.
#include <gtest/gtest.h>

#include "report_parser.h"
#include "run_program.h"

namespace {

class Hostile : public ::testing::TestWithParam<ProgramUnderTest> {};

// A closed, full or abandoned stdout loses the report but not the run: the
// sequence still completes (the trace on stderr proves it) and ends with 0.
// Dying by SIGPIPE instead would end the run midway with children left over.
TEST_P(Hostile, UndeliverableReportStillCompletesTheRun) {
    RunResult reference = run_program(GetParam(), {.args = {"--debug"}});
    ASSERT_EQ(reference.exit_code(), 0);
    struct Case {
        const char *name;
        StdoutTarget target;
    };
    for (const Case &c : {Case{"stdout closed", StdoutTarget::closed},
                          Case{"stdout on /dev/full", StdoutTarget::dev_full},
                          Case{"stdout reader gone", StdoutTarget::reader_gone}}) {
        RunOptions options;
        options.args = {"--debug"};
        options.stdout_target = c.target;
        RunResult r = run_program(GetParam(), options);
        EXPECT_TRUE(WIFEXITED(r.status)) << c.name << ": status " << r.status;
        EXPECT_EQ(r.exit_code(), 0) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err, reference.err) << c.name;
        EXPECT_LT(r.seconds, 4.0) << c.name;
    }
}

TEST_P(Hostile, ManyAndVeryLongArguments) {
    const std::string n = GetParam().name;
    std::string long_arg(100000, 'x');
    RunOptions options;
    options.argv0 = n;
    options.args.assign(2000, "--debug");
    options.args.push_back(long_arg);
    RunResult r = run_program(GetParam(), options);
    EXPECT_EQ(r.exit_code(), 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, n + ":error: unknown option '" + long_arg + "'\n" + n +
                         ":error: try '" + n + " --help' for more information\n");

    RunOptions many;
    many.args.assign(5000, "--debug");
    RunResult full = run_program(GetParam(), many);
    EXPECT_EQ(full.exit_code(), 0);
    EXPECT_TRUE(parse_report(full.out).ok());
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, Hostile, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
