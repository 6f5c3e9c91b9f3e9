// tarvek-bench: times both programs against their floors on whatever stack
// the caller set up (see run-with-stack.sh) and prints the figures.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_paths.h"
#include "benchmark.h"

static const BenchTarget targets[] = {
    {"tarvek64", bench_tarvek64_path, bench_floor64_path, 64},
    {"tarvek", bench_tarvek32_path, bench_floor32_path, 32},
};

struct Options {
    int runs = 7;
    bool strict = false;
    std::string keep_dir;
    std::vector<std::string> only;
};

static void usage(FILE *out) {
    fputs("Usage: tarvek-bench [--runs N] [--program NAME]... [--keep DIR] [--strict]\n"
          "  --runs N        timed runs of each program and floor (default 7)\n"
          "  --program NAME  tarvek64 or tarvek (default both)\n"
          "  --keep DIR      keep each program's --debug report and trace in DIR\n"
          "  --strict        exit with status 3 when a target is missed\n",
          out);
}

static bool parse_options(int argc, char **argv, Options *o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        if (arg == "--runs" && has_value) {
            o->runs = atoi(argv[++i]);
            if (o->runs < 1) return false;
        } else if (arg == "--program" && has_value) {
            o->only.push_back(argv[++i]);
        } else if (arg == "--keep" && has_value) {
            o->keep_dir = argv[++i];
        } else if (arg == "--strict") {
            o->strict = true;
        } else {
            return false;
        }
    }
    return true;
}

static bool selected(const Options &o, const char *name) {
    if (o.only.empty()) return true;
    for (const auto &n : o.only)
        if (n == name) return true;
    return false;
}

// What the runs see of the stack: they inherit exactly this environment.
static void print_stack(FILE *out, const Options &o) {
    const char *display = getenv("DISPLAY");
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    int pulse = system("pulseaudio --check >/dev/null 2>&1");
    fprintf(out, "tarvek-bench: %d run%s of each program and of its floor\n", o.runs,
            o.runs == 1 ? "" : "s");
    fputs("ratios: the median over the runs of each run's time over that of the floor run beside "
          "it\n",
          out);
    fprintf(out, "stack: DISPLAY=%s, XDG_RUNTIME_DIR=%s, PulseAudio %s\n\n",
            display ? display : "(unset)", runtime ? runtime : "(unset)",
            pulse == 0 ? "running" : "not running");
}

static bool all_met(const Targets &t) {
    return t.steps_ratio != Verdict::missed && t.whole_run != Verdict::missed &&
           t.no_watchdog != Verdict::missed;
}

static int run_all(const Options &o, BenchSettings *s) {
    bool missed = false;
    for (const auto &target : targets) {
        if (!selected(o, target.name)) continue;
        ProgramFigures figures;
        if (!benchmark_program(target, *s, &figures)) return 1;
        Targets verdicts = judge(figures);
        print_figures(stdout, figures, verdicts);
        fputc('\n', stdout);
        fflush(stdout);
        missed = missed || !all_met(verdicts);
    }
    return missed && o.strict ? 3 : 0;
}

// The scratch files, as fixed strings, so that a signal handler can remove
// them: a benchmark stopped midway leaves nothing in /tmp.
static std::vector<std::string> scratch_files;
static std::string scratch_dir;

static void remove_scratch() {
    for (const auto &file : scratch_files)
        unlink(file.c_str());
    rmdir(scratch_dir.c_str());
}

static void on_stop_signal(int sig) {
    remove_scratch();
    signal(sig, SIG_DFL);
    raise(sig);
}

static void note_scratch(const char *dir, bool keep_reports) {
    scratch_dir = dir;
    scratch_files.push_back(scratch_dir + "/fork-log");
    if (!keep_reports) {
        for (const auto &target : targets)
            for (const char *kind : {".report", ".trace"})
                scratch_files.push_back(scratch_dir + "/" + target.name + kind);
    }
    signal(SIGTERM, on_stop_signal);
    signal(SIGINT, on_stop_signal);
    signal(SIGHUP, on_stop_signal);
}

int main(int argc, char **argv) {
    Options o;
    if (!parse_options(argc, argv, &o)) {
        usage(stderr);
        return 2;
    }
    if (!o.keep_dir.empty() && mkdir(o.keep_dir.c_str(), 0755) != 0 && errno != EEXIST) {
        perror("tarvek-bench: --keep");
        return 1;
    }
    char scratch[] = "/tmp/tarvek-bench.XXXXXX";
    if (!mkdtemp(scratch)) {
        perror("tarvek-bench: mkdtemp");
        return 1;
    }
    note_scratch(scratch, !o.keep_dir.empty());
    ForkLogFile log;
    BenchSettings s;
    s.runs = o.runs;
    s.memory_runs = o.runs < 3 ? o.runs : 3;
    s.work_dir = o.keep_dir.empty() ? scratch : o.keep_dir;
    s.preload = bench_fork_count_preload;
    s.fork_log = &log;
    int status = 1;
    if (create_fork_log(scratch, &log)) {
        print_stack(stdout, o);
        status = run_all(o, &s);
    } else {
        perror("tarvek-bench: fork log");
    }
    destroy_fork_log(&log);
    remove_scratch();
    return status;
}
