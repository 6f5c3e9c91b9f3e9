// The harness's own promises that other tests lean on: a blocked soname
// really is unloadable for that run only, and fixtures stand in by name.
#include <gtest/gtest.h>
#include <cstdlib>
#include <sstream>

#include "fixture_dir.h"
#include "paths.h"
#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"

namespace {

class Harness : public ProgramTest<ProgramUnderTest> {};

TEST_P(Harness, BlockingASonameMakesItMissingForThatRunOnly) {
    const auto &p = GetParam();
    RunOptions blocked;
    blocked.blocked_sonames = {"libvulkan.so.1"};
    RunResult r = run_program(p, blocked);
    std::string expected = std::string("[MissingLibVulkan") + p.suffix +
                           "]\n\"Lib\"=\"libvulkan.so.1\"\n\"Title\"=\"Missing " +
                           std::to_string(p.bits) + "-bit libvulkan.so.1 library\"\n\n" +
                           "[Properties]\n\"vulkan.present" + p.suffix + "\"=\"no\"\n\n";
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
    RunResult again = run_program(p, {});
    EXPECT_EQ(again.out.find("MissingLibVulkan"), std::string::npos) << again.out;
}

TEST_P(Harness, FixtureCrashingOnLoadStandsInForTheVulkanLoader) {
    const auto &p = GetParam();
    FixtureDir dir;
    dir.install("libvulkan.so.1", "on_load_crash");
    RunOptions options;
    options.library_path = dir.library_path();
    RunResult r = run_program(p, options);
    // Every library before it is present here, so the report opens with the
    // broken section and its own leading empty line.
    std::string expected = std::string("\n[BrokenLibVulkan") + p.suffix +
                           "]\n\"Lib\"=\"libvulkan.so.1\"\n\"Title\"=\"Broken " +
                           std::to_string(p.bits) + "-bit libvulkan.so.1 library\"\n\n" +
                           "[Properties]\n\"vulkan.present" + p.suffix + "\"=\"no\"\n\n";
    EXPECT_EQ(r.out.substr(0, expected.size()), expected);
    ParsedReport report = parse_report(r.out);
    EXPECT_TRUE(report.ok()) << report.error;
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, Harness, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

// Each variable meant for the tests reaches this one whole, and CTest sets it for every test.
TEST(TestEnvironment, EveryVariableReachesThisTestAndEveryTestOfTheBuild) {
    auto ctest = [](const char *option) {
        return run_program({"ctest", ctest_command, 64, ""},
                           {.args = {option}, .working_dir = std::string(tests_build_dir) + "/..",
                            .check_report = false}).out;
    };
    std::string listing = ctest("-N"), json = ctest("--show-only=json-v1");
    size_t total = listing.rfind("Total Tests: ");
    ASSERT_NE(total, std::string::npos) << listing;
    size_t tests = strtoul(listing.c_str() + total + 13, nullptr, 10);
    std::istringstream entries(test_environment);
    for (std::string entry; std::getline(entries, entry);) {
        std::string name = entry.substr(0, entry.find('='));
        const char *value = getenv(name.c_str());
        EXPECT_EQ(value ? name + "=" + value : name + " unset", entry);
        size_t carried = 0;
        for (size_t at = 0; (at = json.find('"' + entry + '"', at)) != std::string::npos; ++at)
            ++carried;
        EXPECT_EQ(carried, tests) << entry;
    }
}

}  // namespace
