// The fault matrix of both programs: every library they load, under every way
// a library can fail while it is being loaded, grouped so that one run faults
// many libraries at once. Each run's whole report is built from what each
// fault must come to, and compared byte for byte.
#include <asm/ldt.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "fixture_dir.h"
#include "graphics_report.h"
#include "media_support.h"
#include "mesa_oracle.h"
#include "paths.h"
#include "probe_support.h"
#include "run_program.h"
#include "xvfb.h"

namespace {

enum class Fault { real, unloadable, crash, abort, exit0, exit1, exit163, hang };

struct FaultKind {
    Fault fault;
    const char *name;
    const char *fixture; // nullptr: made unloadable by the test's dlopen interposer
};

const FaultKind load_faults[] = {
    {Fault::unloadable, "unloadable", nullptr}, {Fault::crash, "crashes", "on_load_crash"},
    {Fault::abort, "aborts", "on_load_abort"},  {Fault::exit0, "exits 0", "on_load_exit0"},
    {Fault::exit1, "exits 1", "on_load_exit1"}, {Fault::exit163, "exits 163", "on_load_exit163"},
};

const char *fixture_of(Fault fault) {
    if (fault == Fault::hang) return "on_load_hang";
    for (const auto &kind : load_faults)
        if (kind.fault == fault) return kind.fixture;
    return nullptr;
}

// How an isolated child that loads the library ends: exit code 0 is a pass
// and 163 the failed-check code, whoever calls exit; unloadable is a plain
// failure; everything else is broken.
enum class End { passed, failed, broken };

End end_of(Fault fault) {
    switch (fault) {
    case Fault::real:
    case Fault::exit0:
        return End::passed;
    case Fault::unloadable:
    case Fault::exit163:
        return End::failed;
    default:
        return End::broken;
    }
}

// Soname to fault for one run; a library not named is the machine's own,
// present and working (as the library step tests find it here).
using Plan = std::map<std::string, Fault>;

Fault fault_of(const Plan &plan, const std::string &soname) {
    auto at = plan.find(soname);
    return at == plan.end() ? Fault::real : at->second;
}

const std::vector<Alternatives> alternatives = alternative_lists();
const std::vector<Pack> packs = plugin_packs();

constexpr const char *libpulse = "libpulse.so.0";
constexpr const char *libasound = "libasound.so.2";
constexpr const char *libgstreamer = "libgstreamer-1.0.so.0";
constexpr const char *libgcc_s = "libgcc_s.so.1";
constexpr const char *libpthread = "libpthread.so.0";
constexpr const char *libx11 = "libX11.so.6";
constexpr const char *libgl = "libGL.so.1";
constexpr const char *libnss_mdns = "libnss_mdns.so.2";

// Every library the library steps probe in their own children: the table
// rows of this build, each distinct candidate, mdns and vulkan.
std::vector<std::string> probed_sonames(const ProgramUnderTest &p) {
    std::vector<std::string> sonames;
    for (const auto &row : library_rows(p))
        sonames.push_back(row.soname);
    for (const auto &list : alternatives)
        for (const char *soname : list.sonames)
            if (std::find(sonames.begin(), sonames.end(), soname) == sonames.end())
                sonames.push_back(soname);
    sonames.push_back(libnss_mdns);
    sonames.push_back("libvulkan.so.1");
    return sonames;
}

// --- What each step must write, fault by fault -----------------------------

std::string library_sections(const ProgramUnderTest &p, const Plan &plan, const char *lib_id,
                             const char *soname) {
    switch (end_of(fault_of(plan, soname))) {
    case End::passed:
        return "";
    case End::failed:
        return missing_section(p, lib_id, soname);
    case End::broken:
        return broken_section(p, lib_id, soname);
    }
    return "";
}

// The egrep stand-in always finds mdns4 on the hosts line, so mdns is probed.
std::string expected_library_steps(const ProgramUnderTest &p, const Plan &plan) {
    std::string sections;
    for (const auto &row : library_rows(p))
        sections += library_sections(p, plan, row.lib_id, row.soname);
    // A broken candidate is passed over like a missing one: only a load that
    // passes ends the list, and an exhausted list names its first soname.
    for (const auto &list : alternatives) {
        bool loaded = false;
        for (const char *soname : list.sonames)
            if (end_of(fault_of(plan, soname)) == End::passed) {
                loaded = true;
                break;
            }
        if (!loaded) sections += missing_section(p, list.lib_id, list.sonames[0]);
    }
    sections += library_sections(p, plan, "LibNss_mdns2", libnss_mdns);
    End vulkan = end_of(fault_of(plan, "libvulkan.so.1"));
    sections += library_sections(p, plan, "LibVulkan", "libvulkan.so.1");
    return sections + vulkan_property(p, vulkan == End::passed ? "yes" : "no");
}

// The kernel probes are not under test here; what they write on this machine
// is asked of the kernel directly, with the record the program installs.
bool kernel_refuses_16bit_segments() {
    pid_t pid = fork();
    if (pid == 0) {
        user_desc segment = {};
        segment.entry_number = 1;
        segment.base_addr = 0x10000;
        segment.limit = 0xffff;
        segment.contents = 2;
        segment.useable = 1;
        long r = syscall(SYS_modify_ldt, 0x11, &segment, sizeof segment);
        _exit(r < 0 && errno == EINVAL ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

std::string expected_kernel_sections(const ProgramUnderTest &p) {
    std::string sections;
    if (kernel_refuses_16bit_segments())
        sections += issue_section(p, "BrokenLDT16", "Cannot create 16-bit LDT segments");
    rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_max != RLIM_INFINITY)
        sections += issue_section(p, "BadRlimitAS", "Bad virtual memory limit");
    return sections;
}

// With PulseAudio said to run, the default device of the test's ALSA
// configuration is "pulse", so a working libasound adds nothing.
std::string expected_audio(const ProgramUnderTest &p, const Plan &plan, bool pulse_running) {
    std::string sections;
    if (pulse_running) {
        // The nested probe spends the audio check's own five seconds: the
        // check's watchdog, started first, ends the check and all it wrote.
        if (fault_of(plan, libpulse) == Fault::hang) return "";
        sections += library_sections(p, plan, "LibPulse", libpulse);
    }
    switch (fault_of(plan, libasound)) {
    case Fault::real:
        return sections;
    case Fault::unloadable:
        return sections +
               missing_section(p, pulse_running ? "LibAsoundMidi" : "LibAsound", libasound);
    default:
        // The check's child ends inside the loader: whatever it had written
        // (a libpulse section) is lost with its buffer.
        return "";
    }
}

std::string expected_gstreamer(const ProgramUnderTest &p, const Plan &plan) {
    Fault fault = fault_of(plan, libgstreamer);
    // Real GStreamer loads plugins that need half of the faulted libraries;
    // no run of the matrix lets it run.
    EXPECT_NE(fault, Fault::real);
    if (fault != Fault::unloadable) return ""; // the child ends before any section
    std::string sections = missing_section(p, "LibGstreamer1", libgstreamer);
    for (const auto &pack : packs)
        sections +=
            issue_section(p, pack.issue_id,
                          std::string("The ") + pack.pack_name + " " + std::to_string(p.bits) +
                              "-bit GStreamer plugins appear to be missing " + pack.elements[0]);
    return sections;
}

// A thread check that ends inside the loader: only a broken end is the
// driver's finding, and a missing-library section it had written is lost.
std::string cancel_verdict(const ProgramUnderTest &p, Fault fault) {
    return end_of(fault) == End::broken
               ? issue_section(p, "PthreadCancelNotWorking", "pthread_cancel() does not work")
               : "";
}

std::string expected_thread(const ProgramUnderTest &p, const Plan &plan) {
    std::string sections;
    Fault unwinder = fault_of(plan, libgcc_s);
    if (unwinder == Fault::unloadable)
        sections += missing_section(p, "LibGcc_s", libgcc_s);
    else if (unwinder != Fault::real)
        return cancel_verdict(p, unwinder);
    Fault threads = fault_of(plan, libpthread);
    if (threads == Fault::unloadable)
        return sections + missing_section(p, "LibPthread", libpthread);
    if (threads != Fault::real) return cancel_verdict(p, threads);
    return sections; // the real cancel works (and is not tried without libgcc_s)
}

// `display`: a fresh Xvfb at depth 24 without resources.
std::string expected_graphics(const ProgramUnderTest &p, const Plan &plan, bool display) {
    Fault x11 = fault_of(plan, libx11);
    if (x11 == Fault::unloadable) return missing_library_section(p, "LibX11", libx11);
    // Exit 0 passes the X11 check, and the OpenGL check then ends the same
    // way when it loads libX11 in turn; exit 163 fails it and ends the steps.
    if (x11 != Fault::real)
        return end_of(x11) == End::broken ? issue_section(p, "X11NotWorking") : "";
    if (!display) return "";
    std::string sections =
        property_section("display.depth", "24") + property_section("display.dpi", "-1.0");
    Fault gl = fault_of(plan, libgl);
    EXPECT_NE(gl, Fault::real); // real Mesa is the graphics tests' business
    // libGL that never loaded: no handle, so no OpenglNotWorking of the child's.
    if (gl == Fault::unloadable) return sections + missing_library_section(p, "LibGL", libgl);
    if (end_of(gl) != End::broken) return sections;
    sections += issue_section(p, "OpenglNotWorking");
    if (!expected_dri_search(p.bits).found) sections += issue_section(p, "MissingDriDrivers");
    return sections;
}

// --- Runs -------------------------------------------------------------------

struct MatrixRun {
    std::string name;
    Plan plan;
    bool pulse_running = false;
    bool display = false;
    int watchdogs = 0; // time-outs the run must see
};

std::string expected_report(const ProgramUnderTest &p, const MatrixRun &run) {
    return expected_library_steps(p, run.plan) + expected_kernel_sections(p) +
           expected_audio(p, run.plan, run.pulse_running) + expected_gstreamer(p, run.plan) +
           expected_thread(p, run.plan) + expected_graphics(p, run.plan, run.display);
}

// The sanitizer runtimes of a sanitized tarvek64 need libgcc_s and libstdc++
// themselves: a stand-in under those names would end the program before main.
bool program_needs(const ProgramUnderTest &p, const std::string &soname) {
    return p.bits == 64 && tarvek64_sanitized && (soname == libgcc_s || soname == "libstdc++.so.6");
}

void add(const ProgramUnderTest &p, Plan &plan, const std::vector<std::string> &sonames,
         Fault fault) {
    for (const auto &soname : sonames)
        if (fault == Fault::unloadable || !program_needs(p, soname)) plan[soname] = fault;
}

// One library per check child can show its fault: the first one that ends
// a child hides every later one of that child. So the libraries of the
// children are split over two runs, and every probed library is faulted in
// both: a stand-in has no dependencies, so no real library of a later step
// loads a faulted one behind its back (libgstreamer is faulted in both runs
// for that reason too; its plugins need nearly everything).
MatrixRun first_run(const ProgramUnderTest &p, const FaultKind &kind) {
    MatrixRun run{std::string(kind.name) + ": probes, libasound, libgstreamer, libgcc_s, libX11"};
    add(p, run.plan, probed_sonames(p), kind.fault);
    add(p, run.plan, {libasound, libgstreamer, libgcc_s, libx11}, kind.fault);
    return run;
}

MatrixRun second_run(const ProgramUnderTest &p, const FaultKind &kind) {
    MatrixRun run{std::string(kind.name) + ": probes, libpulse, libgstreamer, libpthread, libGL"};
    add(p, run.plan, probed_sonames(p), kind.fault);
    add(p, run.plan, {libpulse, libgstreamer, libpthread, libgl}, kind.fault);
    run.pulse_running = true;
    run.display = true;
    return run;
}

// Stand-ins for the two commands the program runs: egrep finds mdns4 on the
// hosts line, pulseaudio --check says whether a server runs.
class CommandShims {
  public:
    explicit CommandShims(bool pulse_running) {
        dir_.write("egrep", "#!/bin/sh\n[ \"$#\" = 2 ] && [ \"$1\" = 'hosts:.*mdns4' ] && "
                            "[ \"$2\" = /etc/nsswitch.conf ] && exit 0\nexit 99\n");
        dir_.write("pulseaudio", std::string("#!/bin/sh\n[ \"$1\" = --check ] && exit ") +
                                     (pulse_running ? "0" : "1") + "\nexit 2\n");
        dir_.write("asound.conf", "pcm.default {\n type pulse\n}\n");
        chmod(dir_.file("egrep").c_str(), 0755);
        chmod(dir_.file("pulseaudio").c_str(), 0755);
    }
    void apply(RunOptions &options) const {
        const char *path = getenv("PATH");
        options.set_env["PATH"] = dir_.path() + ":" + (path ? path : "/usr/bin:/bin");
        options.set_env["ALSA_CONFIG_PATH"] = dir_.file("asound.conf");
    }

  private:
    TempDir dir_;
};

size_t count_of(const std::string &text, const std::string &line) {
    size_t count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
        ++count;
    return count;
}

class FaultMatrix : public ::testing::TestWithParam<ProgramUnderTest> {
  protected:
    RunResult run(const MatrixRun &matrix_run, const XvfbServer *server) {
        const auto &p = GetParam();
        FixtureDir dir;
        RunOptions options;
        options.args = {"--debug"};
        options.timeout_seconds = 60;
        for (const auto &[soname, fault] : matrix_run.plan) {
            if (fault == Fault::unloadable)
                options.blocked_sonames.push_back(soname);
            else if (fault != Fault::real)
                dir.install(soname, fixture_of(fault), p.bits);
        }
        options.library_path = dir.library_path();
        CommandShims shims(matrix_run.pulse_running);
        shims.apply(options);
        if (matrix_run.display)
            options.set_env["DISPLAY"] = server->display();
        else
            options.unset_env = {"DISPLAY"};
        return run_program(p, options);
    }

    void check(const MatrixRun &matrix_run, const XvfbServer *server = nullptr) {
        const auto &p = GetParam();
        SCOPED_TRACE(matrix_run.name);
        RunResult r = run(matrix_run, server);
        EXPECT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
        EXPECT_EQ(r.exit_code(), 0);
        EXPECT_EQ(r.out, expected_report(p, matrix_run));
        EXPECT_EQ(count_of(r.err, "Wait for test child timed out\n"),
                  static_cast<size_t>(matrix_run.watchdogs))
            << r.err;
        // Each watchdog that fires costs its five seconds and nothing more.
        EXPECT_GE(r.seconds, 5.0 * matrix_run.watchdogs - 0.1);
        EXPECT_LT(r.seconds, 5.0 * matrix_run.watchdogs + 3.0);
        // A broken OpenGL check is followed by the search in the main
        // process, the last thing the run traces.
        if (matrix_run.display && end_of(fault_of(matrix_run.plan, libgl)) == End::broken) {
            std::string dri = expected_dri_search(p.bits).trace;
            EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), dri.size())), dri);
        }
    }
};

TEST_P(FaultMatrix, ProbesAudioGstreamerUnwinderAndX11UnderEachFault) {
    for (const auto &kind : load_faults)
        check(first_run(GetParam(), kind));
}

TEST_P(FaultMatrix, ProbesPulseGstreamerPthreadAndOpenglUnderEachFault) {
    XvfbServer server;
    ASSERT_TRUE(server.running());
    for (const auto &kind : load_faults)
        check(second_run(GetParam(), kind), &server);
}

// A hang costs the watchdog's five seconds, so only a few libraries hang,
// two to a run. Every other probed library is unloadable here: the real X
// libraries of the table would load the hanging libX11 themselves.
TEST_P(FaultMatrix, HangingTableLibraryAndLibX11EachEndAfterTheWatchdog) {
    const auto &p = GetParam();
    MatrixRun run{"libXxf86vm and libX11 hang"};
    add(p, run.plan, probed_sonames(p), Fault::unloadable);
    add(p, run.plan, {libgstreamer}, Fault::unloadable);
    run.plan["libXxf86vm.so.1"] = Fault::hang;
    run.plan[libx11] = Fault::hang;
    run.watchdogs = 2;
    check(run);
}

// libpulse hangs in the probe that the audio check nests: the check's own
// watchdog ends it, and the nested children must go with it instead of
// keeping the report's stdout open. Real libraries everywhere else, but for
// GStreamer and the mdns library this machine lacks.
TEST_P(FaultMatrix, HangingLibPulseInsideTheAudioCheckAndLibGlEachEndAfterTheWatchdog) {
    XvfbServer server;
    ASSERT_TRUE(server.running());
    MatrixRun run{"libpulse and libGL hang"};
    run.plan[libgstreamer] = Fault::unloadable;
    run.plan[libnss_mdns] = Fault::unloadable;
    run.plan[libpulse] = Fault::hang;
    run.plan[libgl] = Fault::hang;
    run.pulse_running = true;
    run.display = true;
    run.watchdogs = 2;
    check(run, &server);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, FaultMatrix, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
