// What the programs' OpenGL step should report on this machine, worked out
// independently: the real libGL queried by the gl_query helper of the same
// word size, the real DRI directories listed by the test itself.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "run_program.h"

using GlAnswers = std::map<std::string, std::string>;

// Runs gl_query of the program's word size with the same options (minus
// arguments), with `emptied` bound empty as for the program; empty answers
// when it could not make a context.
GlAnswers query_gl(const ProgramUnderTest &program, RunOptions options,
                   const std::vector<std::string> &emptied = {});

// The directories each word size searches, in order.
const std::vector<std::string> &dri_dirs(int bits);

struct DriExpectation {
    std::string trace;
    bool found = false;
};
// The search as it should go, directories in `emptied` taken as empty.
DriExpectation expected_dri_search(int bits, const std::set<std::string> &emptied = {});

// Runs `target` in a private mount namespace with an empty directory bound
// over each existing directory of `dirs` (needs root: see
// mount_namespaces_available).
RunResult run_with_empty_dirs(const ProgramUnderTest &target, RunOptions options,
                              const std::vector<std::string> &dirs);

// Sections from the first OpenGL section to the end, for a completed check;
// `dri_sections` follows "OpenglNoDRI" when rendering is indirect.
std::string expected_opengl_sections(const ProgramUnderTest &program, const GlAnswers &answers,
                                     const std::string &dri_sections);
// The trace of the OpenGL strings as the legacy context gives them.
std::string expected_string_trace(const GlAnswers &answers);

// Whether this test process may make private mount namespaces.
bool mount_namespaces_available();
