// Whether the kernel runs 32-bit programs, as the scripts decide, and CTest told it cannot.
#include "fixture_dir.h"
#include "paths.h"
#include "program_test.h"
#include "vocabulary.h"

namespace {

const std::string refusal = "this kernel does not execute 32-bit x86 programs (Exec format error)";
constexpr auto npos = std::string::npos;
struct DetectionRow {
    const char *name;
    int bits;               // of the file the kernel is asked to run
    const char *make;       // shell words that make "$f"
    std::string refusal;
};

const DetectionRow detection_rows[] = {
    {"ElfHeaderForTheVax", 64,
     R"(printf '\177ELF\2\1\1\0\0\0\0\0\0\0\0\0\2\0\113\0' >"$f"; chmod +x "$f")", refusal + "\n"},
    {"TheI386Probe", 32, R"(i386_probe "$f")", ""},
};

class Detection : public ::testing::TestWithParam<DetectionRow> {};

TEST_P(Detection, ExecRefusalSaysWhyTheKernelWouldNotRunTheFile) {
    if (const char *why = why_not_runnable({GetParam().name, "", GetParam().bits, ""}))
        GTEST_SKIP() << "needs a 32-bit program: " << why;
    FixtureDir dir;
    std::string script = std::string(". ") + TARVEK_SOURCE_DIR + "/scripts/runs-32bit.sh && f=" +
                         dir.root() + "/file && " + GetParam().make + " && exec_refusal \"$f\"";
    RunResult r = run_program({"bash", "/bin/bash", 64, ""},
                              {.args = {"-c", script}, .check_report = false});
    EXPECT_EQ(r.exit_code(), 0) << r.err;
    EXPECT_EQ(r.out, GetParam().refusal);
}

INSTANTIATE_TEST_SUITE_P(Rows, Detection, ::testing::ValuesIn(detection_rows),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Kernel32Bit, ForcedCannotSkipsEach32BitCaseWithTheReasonAndRunsThe64BitOnes) {
    const char *configured = why_not_runnable({"tarvek", "", 32, ""});  // the build's own, if any
    const std::string why = configured ? configured : refusal;
    FixtureDir dir;
    RunResult r = run_program({"ctest", ctest_command, 64, ""},
                              {.args = {"-R", "CommandLine.HelpWinsOverEverythingElse|StartupProbe",
                                        "--output-junit", dir.root() + "/ctest.xml"},
                               .set_env = {{"TARVEK_NO_32BIT_RUNS", why}},
                               .working_dir = tests_build_dir, .check_report = false});
    std::string xml = read_text_file(dir.root() + "/ctest.xml");
    for (size_t at = 0; (at = xml.find("<testcase name=\"", at + 1)) != std::string::npos;) {
        std::string one = xml.substr(at, xml.find("</testcase>", at) - at);
        bool needs32 = one.find("/tarvek\" ") != npos || one.find("/startup_probe32\" ") != npos;
        EXPECT_NE(one.find(needs32 ? "status=\"notrun\"" : "status=\"run\""), npos) << one;
        EXPECT_EQ(one.find("\nneeds a 32-bit program: " + why + "\n") != npos, needs32);
    }
    EXPECT_TRUE(xml.find("/tarvek\" ") != npos && xml.find("/tarvek64\" ") != npos) << r.out;
}

}  // namespace
