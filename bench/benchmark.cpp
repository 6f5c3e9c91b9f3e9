// One program's benchmark: a --debug run under the fork log finds the library
// steps and their sonames; then timed, fork-logged and memory runs of the
// program and of its floor take turns, so that drift hits both alike.
#include "benchmark.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "trace_analysis.h"

static std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

static int count_sections(const std::string &report, const char *prefix) {
    int count = 0;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(prefix, 0) == 0) ++count;
    return count;
}

static bool failed(const char *what, const BenchTarget &target, int status) {
    if (status == -1)
        fprintf(stderr, "tarvek-bench: %s of %s could not be started\n", what, target.name);
    else
        fprintf(stderr, "tarvek-bench: %s of %s did not end cleanly (wait status %d)\n", what,
                target.name, status);
    return false;
}

static bool log_was_taken(const ForkLogFile &file, const BenchTarget &target) {
    if (file.log->magic == FORK_LOG_MAGIC && file.log->main_forks <= FORK_LOG_MAX_MAIN_FORKS)
        return true;
    fprintf(stderr, "tarvek-bench: the fork-counting preload did not run in %s\n", target.name);
    return false;
}

static std::vector<int64_t> stderr_sizes(const fork_log &log) {
    std::vector<int64_t> sizes;
    for (uint32_t k = 0; k < log.main_forks; ++k)
        sizes.push_back(log.main[k].stderr_bytes);
    return sizes;
}

// The debug run: report and trace go to files in the work directory.
static bool analyse_debug_run(const BenchTarget &target, const BenchSettings &s, ProgramFigures *f,
                              std::vector<std::string> *sonames) {
    Command debug{{target.program_path, "--debug"},
                  {},
                  s.work_dir + "/" + target.name + ".report",
                  s.work_dir + "/" + target.name + ".trace"};
    reset_fork_log(s.fork_log);
    RunTimes run = run_timed(with_fork_log(debug, *s.fork_log, s.preload));
    if (!run.exited_cleanly()) return failed("the --debug run", target, run.status);
    if (!log_was_taken(*s.fork_log, target)) return false;
    LibrarySteps steps =
        find_library_steps(read_file(debug.stderr_path), stderr_sizes(*s.fork_log->log));
    std::string report = read_file(debug.stdout_path);
    f->missing_sections = count_sections(report, "[Missing");
    f->broken_sections = count_sections(report, "[Broken");
    f->watchdog_timeouts = steps.watchdog_timeouts;
    f->probes = steps.forks / 2;
    f->traced_probes = static_cast<int>(steps.sonames.size());
    f->steps_followed = steps.followed;
    f->steps_end_line = steps.first_other;
    f->longest_run_s = run.seconds();
    *sonames = steps.sonames;
    return true;
}

static void note_run(ProgramFigures *f, const RunTimes &run) {
    f->longest_run_s = std::max(f->longest_run_s, run.seconds());
}

static bool timed_program_run(const BenchTarget &target, const Command &program,
                              ProgramFigures *f) {
    RunTimes run = run_timed(program);
    if (!run.exited_cleanly()) return failed("a timed run", target, run.status);
    note_run(f, run);
    f->wall_s.push_back(run.seconds());
    return true;
}

static bool timed_floor_run(const BenchTarget &target, const Command &floor, ProgramFigures *f) {
    RunTimes run = run_timed(floor);
    if (!run.exited_cleanly()) return failed("a floor run", target, run.status);
    f->floor_wall_s.push_back(run.seconds());
    return true;
}

// The library steps end at the first fork after them, or with the program.
static bool logged_program_run(const BenchTarget &target, const BenchSettings &s,
                               const Command &program, ProgramFigures *f) {
    reset_fork_log(s.fork_log);
    RunTimes run = run_timed(with_fork_log(program, *s.fork_log, s.preload));
    if (!run.exited_cleanly()) return failed("a fork-logged run", target, run.status);
    if (!log_was_taken(*s.fork_log, target)) return false;
    const fork_log &log = *s.fork_log->log;
    int64_t end = f->steps_followed && log.main_forks > static_cast<uint32_t>(2 * f->probes)
                      ? log.main[2 * f->probes].monotonic_ns
                      : run.end_ns;
    note_run(f, run);
    f->steps_s.push_back((end - run.start_ns) / 1e9);
    f->logged_wall_s.push_back(run.seconds());
    f->total_forks.push_back(static_cast<int>(log.total_forks));
    f->main_forks.push_back(static_cast<int>(log.main_forks));
    return true;
}

// The floor's own count proves the preload counts: one fork per probe.
static bool logged_floor_run(const BenchTarget &target, const BenchSettings &s,
                             const Command &floor, size_t probes, ProgramFigures *f) {
    reset_fork_log(s.fork_log);
    RunTimes run = run_timed(with_fork_log(floor, *s.fork_log, s.preload));
    if (!run.exited_cleanly()) return failed("a fork-logged floor run", target, run.status);
    if (!log_was_taken(*s.fork_log, target)) return false;
    if (s.fork_log->log->total_forks != probes) {
        fprintf(stderr, "tarvek-bench: the floor of %s forked %u times for %zu probes\n",
                target.name, s.fork_log->log->total_forks, probes);
        return false;
    }
    f->floor_steps_s.push_back(run.seconds());
    return true;
}

static bool memory_pair(const BenchTarget &target, const Command &program, const Command &floor,
                        ProgramFigures *f) {
    MemoryRun run = run_for_peak_memory(program);
    if (run.status != 0 || run.peak_kb < 0) return failed("a memory run", target, run.status);
    MemoryRun floor_run = run_for_peak_memory(floor);
    if (floor_run.status != 0 || floor_run.peak_kb < 0)
        return failed("a floor memory run", target, floor_run.status);
    f->peak_kb.push_back(run.peak_kb);
    f->floor_peak_kb.push_back(floor_run.peak_kb);
    return true;
}

bool benchmark_program(const BenchTarget &target, const BenchSettings &s, ProgramFigures *f) {
    f->name = target.name;
    f->bits = target.bits;
    f->runs = s.runs;
    std::vector<std::string> sonames;
    if (!analyse_debug_run(target, s, f, &sonames)) return false;
    Command program{{target.program_path}, {}};
    Command floor{{target.floor_path}, {}};
    floor.argv.insert(floor.argv.end(), sonames.begin(), sonames.end());
    run_timed(floor); // warm the page cache for the floor as the debug run did for the program
    // Program and floor swap places every round, so neither always runs
    // right after the other's children have warmed or cooled the machine.
    for (int i = 0; i < s.runs; ++i) {
        bool floor_first = i % 2 == 1;
        bool ok = true;
        if (floor_first) ok = timed_floor_run(target, floor, f);
        ok = ok && timed_program_run(target, program, f);
        if (!floor_first) ok = ok && timed_floor_run(target, floor, f);
        if (floor_first) ok = ok && logged_floor_run(target, s, floor, sonames.size(), f);
        ok = ok && logged_program_run(target, s, program, f);
        if (!floor_first) ok = ok && logged_floor_run(target, s, floor, sonames.size(), f);
        if (!ok) return false;
        if (i < s.memory_runs && !memory_pair(target, program, floor, f)) return false;
    }
    return true;
}
