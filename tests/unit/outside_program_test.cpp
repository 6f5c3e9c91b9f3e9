// An outside program: what it gets, what is kept, its time (failing to start: json_test.cpp).
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "isolate/outside_program.h"

extern char **environ;

namespace {

OutsideResult run(std::vector<const char *> argv, unsigned seconds = 20, char *const *env = environ) {
    argv.push_back(nullptr);
    OutsideProgram program =
        start_outside_program(const_cast<char *const *>(argv.data()), env, 1000, seconds, true);
    OutsideResult result;
    finish_outside_program(&program, &result);
    return result;
}

TEST(OutsideProgram, CapturesBothStreamsUpToTheBoundAndTheRawStatusWithTheEnvironmentGiven) {
    char answer[] = "ANSWER=42";
    char *env[] = {answer, nullptr};
    OutsideResult r = run({"/bin/sh", "-c", "printf \"$ANSWER\"; printf err >&2; cat; kill -SEGV $$"}, 20, env);
    EXPECT_TRUE(r.ended && WIFSIGNALED(r.wait_status) && WTERMSIG(r.wait_status) == SIGSEGV);
    EXPECT_EQ(r.output + r.errors, "42err"); // and cat found stdin at its end at once
    OutsideResult big = run({"/bin/sh", "-c", "head -c 300000 /dev/zero"});
    EXPECT_TRUE(big.ended && big.output.size() == 1000 && big.output_truncated);
}

TEST(OutsideProgram, AHangIsStoppedWithItsWholeGroupAtItsTime) {
    OutsideResult r = run({"/bin/sh", "-c", "sleep 60 & echo $!; wait"}, 1);
    EXPECT_TRUE(r.timed_out && !r.ended);
    pid_t sleeper = std::stoi(r.output);
    // Killed with the group: gone, or a zombie until whoever adopted it reaps it.
    std::string state;
    for (int i = 0; i < 100; ++i, usleep(10000)) {
        std::ifstream stat("/proc/" + std::to_string(sleeper) + "/stat");
        std::string pid, name;
        state.clear();
        if (!(stat >> pid >> name >> state) || state == "Z") break;
    }
    EXPECT_TRUE(state.empty() || state == "Z") << state;
}

} // namespace
