// Measures one program against its floor: the figures of summary.h.
#pragma once

#include <string>

#include "measure.h"
#include "summary.h"

struct BenchTarget {
    const char *name;
    const char *program_path;
    const char *floor_path;
    int bits;
};

struct BenchSettings {
    int runs = 7;
    int memory_runs = 3;
    std::string work_dir; // scratch files; traces and reports stay here
    std::string preload;  // the fork-counting shim, with $LIB in it
    ForkLogFile *fork_log = nullptr;
};

// false, with a message on stderr, when a measurement could not be made.
bool benchmark_program(const BenchTarget &target, const BenchSettings &settings,
                       ProgramFigures *figures);
