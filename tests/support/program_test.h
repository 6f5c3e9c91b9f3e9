// The fixture of tests that run one of the programs, or a helper of its word
// size: where this kernel cannot run 32-bit programs (the test set-up found
// so), each 32-bit case is skipped with the reason, never passed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "run_program.h"

// Why this kernel cannot run the program, or null when it can.
const char *why_not_runnable(const ProgramUnderTest &program);

// The name of a (program, row) case: "tarvek64_RowName".
struct ProgramRowName {
    template <typename Info> std::string operator()(const Info &info) const {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    }
};

template <class Param> class ProgramTest : public ::testing::TestWithParam<Param> {
  protected:
    void SetUp() override {
        if (const char *why = why_not_runnable(program_of(this->GetParam())))
            GTEST_SKIP() << "needs a 32-bit program: " << why;
    }

  private:
    static const ProgramUnderTest &program_of(const ProgramUnderTest &program) { return program; }
    template <class... Rest>
    static const ProgramUnderTest &program_of(const std::tuple<ProgramUnderTest, Rest...> &row) {
        return std::get<0>(row);
    }
};
