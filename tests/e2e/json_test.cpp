// --json holds every section of both programs' plain reports, and says why
// when the 32-bit program beside tarvek64 gives no answer of its own.
#include <sys/stat.h>

#include <filesystem>

#include "json_lines.h"
#include "media_support.h"
#include "paths.h"
#include "probe_support.h"
#include "program_test.h"
#include "xvfb.h"

namespace {

std::string side_lines(const RunResult &plain, int bits) {
    return "side\t" + std::to_string(bits) + "\tchecked\n" + report_lines(parse_report(plain.out), bits);
}

TEST(Json, HoldsEverySectionOfThePlainReportsOfBothPrograms) {
    const ProgramUnderTest &tarvek = programs_under_test()[0], &tarvek64 = programs_under_test()[1];
    if (const char *why = why_not_runnable(tarvek)) GTEST_SKIP() << "needs a 32-bit program: " << why;
    XvfbServer server;
    ASSERT_TRUE(server.running());
    // A library made unloadable for both: a finding on each side, and status 3.
    RunOptions options{.set_env = {{"DISPLAY", server.display()}}, .blocked_sonames = {"libcups.so.2"}};
    RunResult json = run_program(tarvek64, {.args = {"--json"}, .set_env = options.set_env,
                                            .blocked_sonames = options.blocked_sonames, .check_report = false});
    std::string sides = side_lines(run_program(tarvek, options), 32) + side_lines(run_program(tarvek64, options), 64);
    std::string lines = json_lines(json.out);
    ASSERT_EQ(lines.rfind("schema\t1\nversion\t" TARVEK_VERSION "\ndistribution\t", 0), 0u) << lines;
    EXPECT_EQ(lines.substr(lines.find("\nside\t") + 1), sides);
    EXPECT_NE(sides.find("property\t32\topengl.version\t"), std::string::npos);
    EXPECT_NE(sides.find("finding\t32\tmissing\tMissingLibCups\t"), std::string::npos);
    EXPECT_EQ(json.exit_code(), sides.find("\nfinding\t") == std::string::npos ? 0 : 3);
}

// Too few descriptors for a check's channels: it writes straight to the
// report, which a report kept in memory cannot take. The side says so, and
// no library is called broken for it.
TEST(Json, ChecksWithoutChannelsLeaveTheSideNotCheckedNotBroken) {
    const ProgramUnderTest &tarvek64 = programs_under_test()[1];
    RunResult json = run_wrapped(tarvek64, "/bin/sh", {"-c", "ulimit -n 5 && exec \"$@\"", "sh"},
                                 {.args = {"--json"}, .check_report = false});
    std::string lines = json_lines(json.out);
    EXPECT_NE(lines.find("side\t64\tnot checked: the report could not be kept whole in memory\n"),
              std::string::npos) << lines;
    EXPECT_EQ(lines.find("\tbroken\t"), std::string::npos) << lines;
}

struct SiblingRow {
    const char *name;
    const char *fake; // FAKE_SIBLING (fake_sibling.sh), or how the file is made
    std::string why;  // after "<folder>/tarvek --json: "
};

class JsonSibling : public ::testing::TestWithParam<SiblingRow> {};

TEST_P(JsonSibling, DocumentSaysWhyThe32BitSideWasNotChecked) {
    const std::string kind = GetParam().fake;
    TempDir dir;
    std::filesystem::copy_file(tarvek64_path, dir.file("tarvek64"));
    if (kind == "not-a-program") dir.write("tarvek", "\x7f" "ELF\1\1\1");
    if (kind != "absent" && kind != "not-a-program")
        std::filesystem::copy_file(
            kind == "64-bit" ? tarvek64_path : TARVEK_SOURCE_DIR "/tests/fixtures/fake_sibling.sh",
            dir.file("tarvek"));
    chmod(dir.file("tarvek").c_str(), kind == "unexecutable" ? 0644 : 0755);
    ProgramUnderTest program = programs_under_test()[1];
    std::string path = dir.file("tarvek64");
    program.path = path.c_str();
    RunResult r = run_program(program, {.args = {"--json"}, .set_env = {{"FAKE_SIBLING", kind}},
                                        .unset_env = {"DISPLAY"}, .check_report = false});
    std::string own = side_lines(run_program(programs_under_test()[1], {.unset_env = {"DISPLAY"}}), 64);
    std::string lines = json_lines(r.out);
    EXPECT_NE(lines.find("\nside\t32\tnot checked: " + dir.file("tarvek") + " --json: " +
                         GetParam().why + "\n" + own), std::string::npos) << lines;
    EXPECT_EQ(r.exit_code(), own.find("\nfinding\t") == std::string::npos ? 0 : 3) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Rows, JsonSibling, ::testing::Values(
    SiblingRow{"Absent", "absent", "cannot be started: No such file or directory"},
    SiblingRow{"NotExecutable", "unexecutable", "cannot be started: Permission denied"},
    SiblingRow{"NotForThisKernel", "not-a-program",
               "cannot be started: Exec format error (this kernel does not run 32-bit programs)"},
    SiblingRow{"Crashes", "crash", "ended by signal 11 (Segmentation fault)"},
    SiblingRow{"Hangs", "hang", "no answer within 30 seconds; stopped"},
    SiblingRow{"PrintsGarbage", "garbage", "not JSON: unexpected character at byte 0"},
    SiblingRow{"IsAnotherVersion", "version", "another version (0.9.0, schema 1)"},
    SiblingRow{"Is64Bit", "64-bit", "not started: a 64-bit program"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
