// tarvek-bench: runs both programs on the stack the caller set up
// (run-with-stack.sh) and prints the figures their targets are judged by.
// The programs run as a front end runs them: no switch, no trace read.
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_paths.h"

struct Run {
    bool ok = false;    // exited with status 0
    double wall_ms = 0; // start to the reaped exit of the process itself
    double cpu_ms = 0;  // user + system time of the process and of all its descendants
    long peak_kb = -1;  // VmHWM of the process itself, traced runs only
    std::string report; // its standard output
};

static double ms(const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; }
static double cpu_ms(const rusage &u) { return ms(u.ru_utime) + ms(u.ru_stime); }

static double now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The first processor we may run on, alone: where starting checks ahead
// cannot pay, a run must cost no more than the sequential build's.
static void pin_to_one_processor() {
    cpu_set_t set, one;
    CPU_ZERO(&one);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &set)) {
            CPU_SET(cpu, &one);
            sched_setaffinity(0, sizeof one, &one);
            return;
        }
}

// stdin and stderr on /dev/null; LIBRARY_DIR, if any, first on LD_LIBRARY_PATH.
[[noreturn]] static void exec_child(const char *file, int out, const char *library_dir,
                                    bool traced, bool pinned) {
    if (pinned) pin_to_one_processor();
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0), dup2(out, 1), dup2(null, 2);
    const char *old = getenv("LD_LIBRARY_PATH");
    if (library_dir)
        setenv("LD_LIBRARY_PATH",
               (library_dir + (old && *old ? ":" + std::string(old) : "")).c_str(), 1);
    if (!traced || (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0 && raise(SIGSTOP) == 0))
        execl(file, file, nullptr);
    _exit(127);
}

static long vm_hwm_kb(pid_t pid) {
    FILE *status = fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "re");
    long kb = -1;
    char line[256];
    while (status && fgets(line, sizeof line, status) && sscanf(line, "VmHWM: %ld", &kb) != 1) {
    }
    if (status) fclose(status);
    return kb;
}

// Only the process itself is traced, never its children. Its exit stop comes
// before its memory is given back, so VmHWM there is its own final peak; a
// signal sent to it is passed on, so that it runs as it would untraced.
static void resume_traced(pid_t pid, int status, Run *run) {
    int event = status >> 16, pass = 0;
    siginfo_t info;
    if (event == PTRACE_EVENT_EXIT)
        run->peak_kb = vm_hwm_kb(pid);
    else if (event == 0 && ptrace(PTRACE_GETSIGINFO, pid, nullptr, &info) == 0)
        pass = WSTOPSIG(status);
    ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void *>(static_cast<long>(pass)));
}

// What the program left unreaped (the watchdog it killed last, children of a
// check that ended without waiting) comes to us, the subreaper: its CPU time
// is the run's too.
static double reap_the_rest() {
    double total = 0;
    rusage usage;
    while (wait4(-1, nullptr, 0, &usage) > 0)
        total += cpu_ms(usage);
    return total;
}

static Run run(const char *file, const char *library_dir = nullptr, bool traced = false,
               bool pinned = false) {
    Run run;
    int out = memfd_create("report", MFD_CLOEXEC), status = -1;
    rusage usage{};
    double start = now_ms();
    pid_t pid = out < 0 ? -1 : fork();
    if (pid == 0) exec_child(file, out, library_dir, traced, pinned);
    if (pid > 0 && traced && waitpid(pid, &status, 0) == pid) { // stopped before its exec
        long options = PTRACE_O_TRACEEXIT | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL;
        ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void *>(options));
        ptrace(PTRACE_CONT, pid, nullptr, nullptr);
    }
    while (pid > 0 && wait4(pid, &status, 0, &usage) == pid && WIFSTOPPED(status))
        resume_traced(pid, status, &run);
    run.wall_ms = now_ms() - start;
    run.cpu_ms = cpu_ms(usage) + reap_the_rest();
    run.ok = pid > 0 && status == 0;
    char buffer[4096];
    for (ssize_t n = pread(out, buffer, sizeof buffer, 0); n > 0;
         n = pread(out, buffer, sizeof buffer, run.report.size()))
        run.report.append(buffer, n);
    close(out);
    return run;
}

static bool fail(const char *what, const BenchProgram &p, const char *problem) {
    fprintf(stderr, "tarvek-bench: %s of %s %s\n", what, p.name, problem);
    return false;
}

// A run without the OpenGL sections (an X server gone, say) would only look
// fast: it ends the benchmark, as does any run that did not exit cleanly.
static bool usable(const Run &r, const char *what, const BenchProgram &p) {
    if (!r.ok) return fail(what, p, "did not exit with status 0");
    if (r.report.find("\n\"opengl.") == std::string::npos)
        return fail(what, p, "wrote no OpenGL sections");
    return true;
}

// The first COUNT of bench_hang_sonames hang on load: each must be reported
// broken, and the checks after them must still have run.
static bool hang_run(const BenchProgram &p, int count, double *seconds) {
    std::string bits = std::to_string(p.bits);
    Run r = run(p.path, (bench_hang_root + ("/" + bits + "/" + std::to_string(count))).c_str());
    *seconds = r.wall_ms / 1e3;
    if (!usable(r, "a run with hanging libraries", p)) return false;
    for (int i = 0; i < count; ++i)
        if (r.report.find("Broken " + bits + "-bit " + bench_hang_sonames[i]) == std::string::npos)
            return fail("a run with hanging libraries", p, "did not report them all broken");
    return true;
}

enum Column { WALL, CPU, GST, GL, LONGEST, BOUND, TO_BOUND, TO_BASELINE, BASE_CPU, CPU_TO_BASE,
              PINNED_WALL, PINNED_CPU, PINNED_BASE_CPU, PINNED_CPU_TO_BASE, PINNED_TO_BASELINE };
using Rounds = std::vector<std::vector<double>>;

static double median(const Rounds &rounds, Column column) {
    std::vector<double> v;
    for (const auto &round : rounds)
        v.push_back(round[column]);
    std::sort(v.begin(), v.end());
    return (v[(v.size() - 1) / 2] + v[v.size() / 2]) / 2;
}

// Program and baseline swap places every round, so that neither always runs
// second; each ratio compares two runs of one round.
static bool run_pair(const BenchProgram &p, const std::string &baseline, int round, bool pinned,
                     Run *program, Run *base) {
    Run first = run(round % 2 ? baseline.c_str() : p.path, nullptr, false, pinned);
    Run second = run(round % 2 ? p.path : baseline.c_str(), nullptr, false, pinned);
    *program = round % 2 ? second : first;
    *base = round % 2 ? first : second;
    return usable(*program, "a timed run", p) && usable(*base, "a baseline run", p);
}

static bool measure(const BenchProgram &p, const std::string &baseline, int count, int cpus,
                    Rounds *rounds) {
    for (int i = 0; i < count; ++i) {
        Run program, base, pinned, pinned_base;
        if (!run_pair(p, baseline, i, false, &program, &base) ||
            !run_pair(p, baseline, i, true, &pinned, &pinned_base))
            return false;
        Run gst = run(p.gst_work), gl = run(p.gl_work);
        if (!gst.ok || !gl.ok) return fail("the check work", p, "did not exit with status 0");
        double longest = std::max(gst.wall_ms, gl.wall_ms);
        double bound = std::max(longest, program.cpu_ms / cpus);
        rounds->push_back({program.wall_ms, program.cpu_ms, gst.wall_ms, gl.wall_ms, longest, bound,
                           program.wall_ms / bound, program.wall_ms / base.wall_ms, base.cpu_ms,
                           program.cpu_ms / base.cpu_ms, pinned.wall_ms, pinned.cpu_ms,
                           pinned_base.cpu_ms, pinned.cpu_ms / pinned_base.cpu_ms,
                           pinned.wall_ms / pinned_base.wall_ms});
    }
    return true;
}

static const char *verdict(bool met) { return met ? "met" : "MISSED"; }

static bool benchmark(const BenchProgram &p, const std::string &baseline_dir, int count, int cpus) {
    Rounds r;
    Run traced = run(p.path, nullptr, true);
    double hang1 = 0, hang4 = 0;
    if (!usable(traced, "the traced run", p) ||
        !measure(p, baseline_dir + "/" + p.name, count, cpus, &r) || !hang_run(p, 1, &hang1) ||
        !hang_run(p, 4, &hang4))
        return false;
    printf("== %s (%d-bit), %d rounds, medians\n", p.name, p.bits, count);
    printf("whole run            %8.1f ms\n", median(r, WALL));
    printf("main peak memory     %8ld kB  VmHWM of the main process alone\n", traced.peak_kb);
    printf("longest check        %8.1f ms  GStreamer %.1f ms, X11+OpenGL %.1f ms\n",
           median(r, LONGEST), median(r, GST), median(r, GL));
    printf("CPU of the run       %8.1f ms  over %d processors %.1f ms\n", median(r, CPU), cpus,
           median(r, CPU) / cpus);
    printf("critical-path bound  %8.1f ms  whole run / bound %.2fx\n", median(r, BOUND),
           median(r, TO_BOUND));
    printf("vs sequential build  %8.2fx    paired runs\n", median(r, TO_BASELINE));
    printf("CPU vs sequential    free %.1f / %.1f ms %.2fx, pinned %.1f / %.1f ms %.2fx\n",
           median(r, CPU), median(r, BASE_CPU), median(r, CPU_TO_BASE), median(r, PINNED_CPU),
           median(r, PINNED_BASE_CPU), median(r, PINNED_CPU_TO_BASE));
    printf("pinned whole run     %8.1f ms  vs sequential build %.2fx\n", median(r, PINNED_WALL),
           median(r, PINNED_TO_BASELINE));
    printf("hanging libraries    %8.2f s   with 1, %.2f s with 4\n", hang1, hang4);
    printf("target run <= 1.3x bound      %s\n", verdict(median(r, TO_BOUND) <= 1.3));
    printf("target 4 hanging <= 6 s       %s\n", verdict(hang4 <= 6));
    printf("target <= 0.75x sequential    %s\n", verdict(median(r, TO_BASELINE) <= 0.75));
    printf("target pinned CPU <= 1.05x    %s\n", verdict(median(r, PINNED_CPU_TO_BASE) <= 1.05));
    printf("target pinned run <= 1x       %s\n\n", verdict(median(r, PINNED_TO_BASELINE) <= 1.0));
    return fflush(stdout) == 0;
}

int main(int argc, char **argv) {
    bool runs_given = argc == 4 && std::string(argv[2]) == "--runs";
    int rounds = runs_given ? atoi(argv[3]) : 7;
    if ((argc != 2 && !runs_given) || rounds < 1) {
        fputs("Usage: tarvek-bench BASELINE_DIR [--runs N]\n"
              "  BASELINE_DIR holds the sequential tarvek and tarvek64; N rounds (default 7)\n",
              stderr);
        return 2;
    }
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) return perror("tarvek-bench: subreaper"), 1;
    cpu_set_t set;
    int cpus = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    printf("tarvek-bench: %d processors, baseline %s\n\n", cpus, argv[1]);
    for (const BenchProgram &p : bench_programs)
        if (!benchmark(p, argv[1], rounds, cpus)) return 1;
    puts("tarvek-bench: done");
    return 0;
}
