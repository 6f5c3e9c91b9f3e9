// The command line of both programs: usage text, option errors, exit status.
#include <gtest/gtest.h>

#include <csignal>

#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"

namespace {

class CommandLine : public ProgramTest<ProgramUnderTest> {
  protected:
    RunResult run(std::vector<std::string> args, const char *argv0 = nullptr) {
        RunOptions options;
        options.args = std::move(args);
        options.argv0 = std::string(argv0 ? argv0 : GetParam().name);
        return run_program(GetParam(), options);
    }
};

std::string usage(const std::string &name) {
    return "Usage: " + name + " [--debug] [--help]\n"
           "\n"
           "Checks the system environment for issues that may affect Windows applications.\n"
           "\n"
           "Options:\n"
           "  --debug       Outputs detailed debugging information.\n"
           "  --json        Prints what was found, of every word size it can check, as JSON.\n"
           "  --explain     Explains what was found and what to do about it.\n"
           "  --help, -h    Shows this help message\n";
}

std::string unknown(const std::string &name, const std::string &arg) {
    return name + ":error: unknown option '" + arg + "'\n";
}

std::string try_help(const std::string &name) {
    return name + ":error: try '" + name + " --help' for more information\n";
}

struct HelpCase {
    std::vector<std::string> args;
    std::string err_before_usage;  // unknown-option lines, in argument order
};

TEST_P(CommandLine, HelpWinsOverEverythingElse) {
    const std::string n = GetParam().name;
    const std::vector<HelpCase> cases = {
        {{"--help"}, ""},
        {{"-h"}, ""},
        {{"-?"}, ""},
        {{"--debug", "--help"}, ""},
        {{"-h", "--debug", "-h"}, ""},
        {{"--bogus", "--help"}, unknown(n, "--bogus")},
        {{"--help", "--bogus"}, unknown(n, "--bogus")},
        {{"x", "-?", "y"}, unknown(n, "x") + unknown(n, "y")},
    };
    for (const auto &c : cases) {
        RunResult r = run(c.args);
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(r.exit_code(), 0);
        EXPECT_EQ(r.out, usage(n));
        EXPECT_EQ(r.err, c.err_before_usage);
    }
}

// --version combines as --help does, which wins over it.
TEST_P(CommandLine, VersionPrintsNameAndProjectVersionBeforeAnyCheck) {
    const std::string n = GetParam().name, version = n + " " TARVEK_VERSION "\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--version"}, version},         {{"--debug", "--version", "--version"}, version},
        {{"--version", "-h"}, usage(n)},  {{"--bogus", "--version", "x"}, version},
    };
    for (const auto &[args, out] : cases) {
        RunResult r = run_program(GetParam(), {.args = args, .argv0 = n, .check_report = false});
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(r.exit_code(), 0);
        EXPECT_EQ(r.out, out);
        EXPECT_EQ(r.err, args[0] == "--bogus" ? unknown(n, "--bogus") + unknown(n, "x") : "");
    }
}

TEST_P(CommandLine, UnknownArgumentsAreEachNamedThenTryHelpAndStatus2) {
    const std::string n = GetParam().name;
    for (const std::string arg : {"--bogus", "--debug=1", "--Debug", "-H", "-hh", "-", "--",
                                  "debug", "", "--help=yes", "-?x"}) {
        RunResult r = run({arg});
        SCOPED_TRACE("argument '" + arg + "'");
        EXPECT_EQ(r.exit_code(), 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, unknown(n, arg) + try_help(n));
    }
    RunResult both = run({"--debug", "-x", "--debug", "y"});
    EXPECT_EQ(both.exit_code(), 2);
    EXPECT_EQ(both.out, "");
    EXPECT_EQ(both.err, unknown(n, "-x") + unknown(n, "y") + try_help(n));
}

TEST_P(CommandLine, JsonAndExplainTogetherIsAUsageError) {
    const std::string n = GetParam().name;
    RunResult r = run({"--explain", "--debug", "--json"});
    EXPECT_EQ(r.exit_code(), 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, n + ":error: '--json' and '--explain' cannot be given together\n" + try_help(n));
}

TEST_P(CommandLine, ProgramNameIsTheTextAfterTheLastSlash) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/opt/tools/bin/tarvek", "tarvek"},
        {"./relative/name", "name"},
        {"plain", "plain"},
        {"/ends/in/slash/", ""},
    };
    for (const auto &[argv0, name] : cases) {
        RunResult r = run({"-h"}, argv0.c_str());
        EXPECT_EQ(r.out, usage(name)) << argv0;
        RunResult bad = run({"-z"}, argv0.c_str());
        EXPECT_EQ(bad.err, unknown(name, "-z") + try_help(name)) << argv0;
    }
}

// execve allows an empty argument vector; the program must not read past it.
TEST_P(CommandLine, NoArgumentVectorAtAllRunsAsWithNoOptions) {
    RunOptions options;
    options.empty_argv = true;
    RunResult r = run_program(GetParam(), options);
    EXPECT_EQ(r.exit_code(), 0);
    EXPECT_EQ(r.err, "");
    ParsedReport report = parse_report(r.out);
    EXPECT_TRUE(report.ok()) << report.error;
}

TEST_P(CommandLine, FullRunExitsZeroWithAWellFormedReport) {
    for (bool debug : {false, true}) {
        RunResult r = run(debug ? std::vector<std::string>{"--debug", "--debug"}
                                : std::vector<std::string>{});
        EXPECT_EQ(r.exit_code(), 0);
        ParsedReport report = parse_report(r.out);
        EXPECT_TRUE(report.ok()) << report.error << "\n" << r.out;
        EXPECT_FALSE(report.sections.empty());
        EXPECT_EQ(r.err.empty(), !debug);
    }
}

// A parent may hand us SIGCHLD ignored (the kernel then reaps our children
// and every wait fails) or SIGTERM ignored or blocked (every watchdog would
// live its full 5 s and hold the report's pipe open). Neither may change
// the report or stall the reader.
TEST_P(CommandLine, InheritedSignalStateChangesNothing) {
    RunResult reference = run({});
    struct Case {
        const char *name;
        std::vector<int> ignored, blocked;
    };
    const std::vector<Case> cases = {
        {"SIGCHLD ignored", {SIGCHLD}, {}},
        {"SIGTERM ignored", {SIGTERM}, {}},
        {"SIGTERM and SIGCHLD blocked", {}, {SIGTERM, SIGCHLD}},
    };
    for (const auto &c : cases) {
        RunOptions options;
        options.argv0 = GetParam().name;
        options.ignored_signals = c.ignored;
        options.blocked_signals = c.blocked;
        RunResult r = run_program(GetParam(), options);
        EXPECT_EQ(r.exit_code(), 0) << c.name;
        EXPECT_EQ(r.out, reference.out) << c.name;
        // Reading to end of file must not wait on any watchdog.
        EXPECT_LT(r.seconds, 4.0) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, CommandLine, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
