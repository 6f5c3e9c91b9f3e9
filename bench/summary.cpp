// Medians, verdicts and the printed figures. The text is read by people and
// by the smoke test: one "label: value" line per figure.
#include "summary.h"

#include <algorithm>
#include <cstdarg>
#include <string>

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double paired_ratio(const std::vector<double> &program, const std::vector<double> &floor) {
    std::vector<double> ratios;
    for (size_t i = 0; i < program.size() && i < floor.size(); ++i)
        if (floor[i] > 0) ratios.push_back(program[i] / floor[i]);
    return median(ratios);
}

static double steps_ratio(const ProgramFigures &f) {
    return paired_ratio(f.steps_s, f.floor_steps_s);
}

static double whole_ratio(const ProgramFigures &f) {
    return paired_ratio(f.wall_s, f.floor_wall_s);
}

static double longest(const std::vector<double> &values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

bool every_library_present(const ProgramFigures &f) {
    return f.missing_sections == 0 && f.broken_sections == 0;
}

static bool waited_on_watchdog(const ProgramFigures &f) {
    return f.watchdog_timeouts > 0 || f.longest_run_s >= watchdog_wait_s;
}

// The run-time targets speak of a system with every library present; with a
// library missing or broken the figures are still printed but not judged.
Targets judge(const ProgramFigures &f) {
    Targets t;
    t.steps_ratio = steps_ratio(f) <= steps_ratio_target ? Verdict::met : Verdict::missed;
    bool present = every_library_present(f);
    t.whole_run = !present                                 ? Verdict::not_judged
                  : longest(f.wall_s) < whole_run_target_s ? Verdict::met
                                                           : Verdict::missed;
    t.no_watchdog = !present                ? Verdict::not_judged
                    : waited_on_watchdog(f) ? Verdict::missed
                                            : Verdict::met;
    return t;
}

static const char *verdict_text(Verdict v) {
    switch (v) {
    case Verdict::met:
        return "met";
    case Verdict::missed:
        return "MISSED";
    case Verdict::not_judged:
        return "not judged (not every library present)";
    }
    return "?";
}

static double ms(double seconds) { return seconds * 1000; }

static long max_kb(const std::vector<long> &values) {
    return values.empty() ? -1 : *std::max_element(values.begin(), values.end());
}

// "label:" padded to one column, then the figure.
TARVEK_BENCH_PRINTF(3, 4)
static void line(FILE *out, const char *label, const char *format, ...) {
    fprintf(out, "%-29s", (std::string(label) + ":").c_str());
    va_list args;
    va_start(args, format);
    vfprintf(out, format, args);
    va_end(args);
    fputc('\n', out);
}

static void print_forks(FILE *out, const ProgramFigures &f) {
    if (f.total_forks.empty()) return;
    int lo = *std::min_element(f.total_forks.begin(), f.total_forks.end());
    int hi = *std::max_element(f.total_forks.begin(), f.total_forks.end());
    int main_lo = *std::min_element(f.main_forks.begin(), f.main_forks.end());
    if (lo % 2 || hi % 2) {
        line(out, "note", "an odd number of forks: something besides the isolated runs forked");
    }
    if (lo == hi) {
        line(out, "isolated runs", "%d (%d forks, %d of them by the main process)", lo / 2, lo,
             main_lo);
    } else {
        line(out, "isolated runs", "%d to %d (%d to %d forks; varies between runs)", lo / 2, hi / 2,
             lo, hi);
    }
}

static void print_steps(FILE *out, const ProgramFigures &f) {
    line(out, "library steps", "%d probes, %.1f ms (floor %.1f ms, steps/floor %.2fx)", f.probes,
         ms(median(f.steps_s)), ms(median(f.floor_steps_s)), steps_ratio(f));
    if (f.steps_followed) {
        line(out, "library steps end", "at fork %d of the main process, after \"%s\"",
             2 * f.probes + 1, f.steps_end_line.c_str());
    } else {
        line(out, "library steps end", "at the program's exit (no later step forks)");
    }
    if (f.traced_probes != f.probes) {
        line(out, "note",
             "the trace names %d probes, the forks show %d; the floor probes the %d named",
             f.traced_probes, f.probes, f.traced_probes);
    }
}

static void print_targets(FILE *out, const ProgramFigures &f, const Targets &t) {
    char label[64];
    snprintf(label, sizeof label, "target steps <= %.1fx floor", steps_ratio_target);
    line(out, label, "%s (%.2fx)", verdict_text(t.steps_ratio), steps_ratio(f));
    snprintf(label, sizeof label, "target whole run < %.0f s", whole_run_target_s);
    line(out, label, "%s (longest %.1f ms)", verdict_text(t.whole_run), ms(longest(f.wall_s)));
    line(out, "target no watchdog wait", "%s", verdict_text(t.no_watchdog));
}

void print_figures(FILE *out, const ProgramFigures &f, const Targets &t) {
    fprintf(out, "== %s (%d-bit), %d run%s\n", f.name.c_str(), f.bits, f.runs,
            f.runs == 1 ? "" : "s");
    line(out, "whole run median", "%.1f ms (floor %.1f ms, run/floor %.2fx; longest run %.1f ms)",
         ms(median(f.wall_s)), ms(median(f.floor_wall_s)), whole_ratio(f), ms(longest(f.wall_s)));
    line(out, "peak memory (main)", "%ld kB (VmHWM of the main process; floor %ld kB)",
         max_kb(f.peak_kb), max_kb(f.floor_peak_kb));
    print_forks(out, f);
    print_steps(out, f);
    if (every_library_present(f)) {
        line(out, "libraries", "every library present");
    } else {
        line(out, "libraries", "%d missing and %d broken sections in the report",
             f.missing_sections, f.broken_sections);
    }
    line(out, "watchdog", "%s (%d time-outs traced, longest run of any kind %.1f ms)",
         waited_on_watchdog(f) ? "WAITED ON" : "no wait", f.watchdog_timeouts, ms(f.longest_run_s));
    print_targets(out, f, t);
}
