// Another program run beside the checks, ended every way a program ends.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include "isolate/outside_program.h"

extern char **environ;

namespace {

OutsideResult run(std::vector<const char *> argv, unsigned seconds = 20, size_t bound = 1000,
                  char *const *env = environ) {
    argv.push_back(nullptr);
    OutsideProgram program = start_outside_program(const_cast<char *const *>(argv.data()), env,
                                                   bound, seconds, true);
    OutsideResult result;
    finish_outside_program(&program, &result);
    return result;
}

TEST(OutsideProgram, CapturesBothStreamsAndTheRawStatusWithTheEnvironmentGiven) {
    char answer[] = "ANSWER=42";
    char *env[] = {answer, nullptr};
    OutsideResult r = run({"/bin/sh", "-c", "printf \"$ANSWER\"; printf err >&2; cat; exit 3"}, 20,
                          1000, env);
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.wait_status, 3 << 8);
    EXPECT_EQ(r.output, "42");  // and stdin was at its end at once
    EXPECT_EQ(r.errors, "err");
}

TEST(OutsideProgram, TellsWhyItCouldNotStart) {
    std::string garbage = ::testing::TempDir() + "not-a-program";
    std::ofstream(garbage) << "\x7f" "ELF but no more\n";
    chmod(garbage.c_str(), 0755);
    const std::vector<std::pair<const char *, int>> rows = {
        {"/nonexistent/tarvek", ENOENT}, {"/etc/passwd", EACCES}, {garbage.c_str(), ENOEXEC}};
    for (const auto &[path, error] : rows) {
        OutsideResult r = run({path, "--json"});
        EXPECT_EQ(r.start_error, error) << path;
        EXPECT_FALSE(r.ended || r.timed_out) << path;
    }
}

TEST(OutsideProgram, ACrashIsItsWaitStatus) {
    OutsideResult r = run({"/bin/sh", "-c", "printf half; kill -SEGV $$"});
    ASSERT_TRUE(r.ended);
    EXPECT_TRUE(WIFSIGNALED(r.wait_status) && WTERMSIG(r.wait_status) == SIGSEGV);
    EXPECT_EQ(r.output, "half");
}

TEST(OutsideProgram, OutputPastTheBoundIsDroppedAndSaid) {
    OutsideResult r = run({"/bin/sh", "-c", "head -c 300000 /dev/zero"});
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.output.size(), 1000u);
    EXPECT_TRUE(r.output_truncated);
}

TEST(OutsideProgram, AHangIsStoppedWithItsWholeGroupAtItsTime) {
    OutsideResult r = run({"/bin/sh", "-c", "sleep 60 & echo $!; wait"}, 1);
    EXPECT_TRUE(r.timed_out);
    EXPECT_FALSE(r.ended);
    pid_t sleeper = std::stoi(r.output);
    // Killed with the group: gone, or a zombie until whoever adopted it reaps it.
    std::string state;
    for (int i = 0; i < 100; ++i, usleep(10000)) {
        std::ifstream stat("/proc/" + std::to_string(sleeper) + "/stat");
        std::string pid, name;
        if (!(stat >> pid >> name >> state) || state == "Z") break;
    }
    EXPECT_TRUE(state.empty() || state == "Z") << state;
}

} // namespace
