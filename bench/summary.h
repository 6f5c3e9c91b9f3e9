// What the benchmark found for one program, the targets it is judged by, and
// the text it prints.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#define TARVEK_BENCH_PRINTF(format_index, first_arg)                                               \
    __attribute__((format(printf, format_index, first_arg)))

double median(std::vector<double> values);
// The median of program[i] / floor[i]: each run is paired with the floor run
// made right beside it, so a burst of load from elsewhere on the machine
// spoils one pair rather than shifting one side's median.
double paired_ratio(const std::vector<double> &program, const std::vector<double> &floor);

struct ProgramFigures {
    std::string name; // "tarvek64"
    int bits = 0;
    int runs = 0;
    std::vector<double> wall_s, floor_wall_s;   // timed runs
    std::vector<double> steps_s, floor_steps_s; // runs under the fork log
    std::vector<double> logged_wall_s;          // the same runs, start to exit
    std::vector<long> peak_kb, floor_peak_kb;   // memory runs
    std::vector<int> total_forks, main_forks;   // runs under the fork log
    int probes = 0;                             // library-step probes (fork pairs)
    int traced_probes = 0;                      // of which the trace named
    bool steps_followed = false;                // a later step forked after them
    std::string steps_end_line;                 // the trace line that ended them
    int missing_sections = 0, broken_sections = 0;
    int watchdog_timeouts = 0;
    double longest_run_s = 0;
};

// A run this long has waited on a watchdog, whatever the trace says.
constexpr double watchdog_wait_s = 5.0;
constexpr double steps_ratio_target = 1.3;
constexpr double whole_run_target_s = 1.0;

enum class Verdict { met, missed, not_judged };

struct Targets {
    Verdict steps_ratio, whole_run, no_watchdog;
};

Targets judge(const ProgramFigures &figures);
bool every_library_present(const ProgramFigures &figures);
void print_figures(FILE *out, const ProgramFigures &figures, const Targets &targets);
