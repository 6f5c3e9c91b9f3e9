// The fault matrix of both programs: every library they load, under every way
// a library can fail while it is being loaded, grouped so that one run faults
// many libraries at once. Each row states what its run's report holds, step
// by step, and the whole report is compared byte for byte.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "fixture_dir.h"
#include "media_support.h"
#include "mesa_oracle.h"
#include "paths.h"
#include "probe_support.h"
#include "program_test.h"
#include "run_program.h"
#include "xvfb.h"

namespace {

enum class Fault { real, unloadable, crash, abort, exit0, exit1, exit163, hang };

// What the library steps write for a probed library: its child passes (exit
// 0 included), fails (163 is the failed-check code, whoever calls exit) or
// breaks.
enum class Probe { nothing, missing, broken };

struct FaultKind {
    Fault fault;
    const char *name;
    const char *fixture; // nullptr: made unloadable by the test's dlopen interposer
    Probe probe;
};

const FaultKind load_faults[] = {
    {Fault::unloadable, "unloadable", nullptr, Probe::missing},
    {Fault::crash, "crashes", "on_load_crash", Probe::broken},
    {Fault::abort, "aborts", "on_load_abort", Probe::broken},
    {Fault::exit0, "exits 0", "on_load_exit0", Probe::nothing},
    {Fault::exit1, "exits 1", "on_load_exit1", Probe::broken},
    {Fault::exit163, "exits 163", "on_load_exit163", Probe::missing},
};
const FaultKind hang = {Fault::hang, "hangs", "on_load_hang", Probe::broken};

const FaultKind &kind_of(Fault fault) {
    for (const auto &kind : load_faults)
        if (kind.fault == fault) return kind;
    return hang;
}

// Soname to fault for one run; a library not named is the machine's own,
// present and working (as the library step tests find it here).
using Plan = std::map<std::string, Fault>;

Probe probe_of(const Plan &plan, const std::string &soname) {
    auto at = plan.find(soname);
    return at == plan.end() ? Probe::nothing : kind_of(at->second).probe;
}

const std::vector<Alternatives> alternatives = alternative_lists();

constexpr const char *libpulse = "libpulse.so.0";
constexpr const char *libasound = "libasound.so.2";
constexpr const char *libgstreamer = "libgstreamer-1.0.so.0";
constexpr const char *libgcc_s = "libgcc_s.so.1";
constexpr const char *libpthread = "libpthread.so.0";
constexpr const char *libx11 = "libX11.so.6";
constexpr const char *libgl = "libGL.so.1";
constexpr const char *libnss_mdns = "libnss_mdns.so.2";
constexpr const char *libvulkan = "libvulkan.so.1";

// Every library the library steps probe in their own children: the table
// rows, each distinct candidate, mdns and vulkan.
std::vector<std::string> probed_sonames(const ProgramUnderTest &p) {
    std::vector<std::string> sonames;
    for (const auto &row : library_rows(p))
        sonames.push_back(row.soname);
    for (const auto &list : alternatives)
        for (const char *soname : list.sonames)
            if (std::find(sonames.begin(), sonames.end(), soname) == sonames.end())
                sonames.push_back(soname);
    sonames.push_back(libnss_mdns);
    sonames.push_back(libvulkan);
    return sonames;
}

// --- Expected sections, stated per row --------------------------------------

struct Section {
    enum Kind { issue, missing, broken, property, pack } kind;
    const char *id;      // issue or library id, or property key
    const char *detail;  // soname, property value, or the pack's name
    const char *element; // a pack's first element
    // Written only when the run faults this library (a sanitized tarvek64
    // keeps its own libgcc_s and libstdc++ real).
    const char *cause;
};

Section issue(const char *id, const char *cause = nullptr) {
    return {Section::issue, id, nullptr, nullptr, cause};
}
Section missing(const char *lib_id, const char *soname) {
    return {Section::missing, lib_id, soname, nullptr, nullptr};
}
Section broken(const char *lib_id, const char *soname) {
    return {Section::broken, lib_id, soname, nullptr, nullptr};
}
Section property(const char *key, const char *value) {
    return {Section::property, key, value, nullptr, nullptr};
}
Section pack(const char *id, const char *pack_name, const char *element) {
    return {Section::pack, id, pack_name, element, nullptr};
}

using Sections = std::vector<Section>;

Sections operator+(Sections a, const Sections &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The fresh Xvfb at depth 24 without resources.
const Sections display = {property("display.depth", "24"), property("display.dpi", "-1.0")};

// No GStreamer library: every pack lacks its first element.
const Sections no_gstreamer = [] {
    Sections sections = {missing("LibGstreamer1", libgstreamer)};
    for (const auto &plugin_pack : plugin_packs())
        sections.push_back(pack(plugin_pack.issue_id, plugin_pack.pack_name, plugin_pack.elements[0]));
    return sections;
}();

std::string library_section(const ProgramUnderTest &p, Probe probe, const char *lib_id,
                            const char *soname) {
    switch (probe) {
    case Probe::nothing:
        return "";
    case Probe::missing:
        return missing_library_section(p, lib_id, soname);
    case Probe::broken:
        return broken_library_section(p, lib_id, soname);
    }
    return "";
}

std::string section_bytes(const ProgramUnderTest &p, const Section &s) {
    switch (s.kind) {
    case Section::issue:
        return issue_section(p, s.id);
    case Section::missing:
        return missing_library_section(p, s.id, s.detail);
    case Section::broken:
        return broken_library_section(p, s.id, s.detail);
    case Section::property:
        return property_section(s.id, s.detail);
    case Section::pack:
        return issue_section(p, s.id,
                             std::string("The ") + s.detail + " " + std::to_string(p.bits) +
                                 "-bit GStreamer plugins appear to be missing " + s.element);
    }
    return "";
}

// --- Rows --------------------------------------------------------------------

struct MatrixRow {
    std::string name;
    Plan plan;
    bool pulse_running = false;
    bool display = false;
    // What the run writes: the library steps (each probed library as its
    // fault kind says; the alternative lists and the vulkan property as
    // stated here), BrokenLDT16 (modify_ldt is refused with EINVAL), then
    // the sections of the later steps.
    bool alternatives_missing = false;
    const char *vulkan_present = "yes";
    Sections later;
    int watchdogs = 0;           // time-outs the run must see
    double hang_seconds = 5.0;    // what they cost together
    bool dri_search_last = false; // the OpenGL check broke: the search ends the trace
};

std::string expected_report(const ProgramUnderTest &p, const MatrixRow &row) {
    std::string out;
    for (const auto &table_row : library_rows(p))
        out += library_section(p, probe_of(row.plan, table_row.soname), table_row.lib_id,
                               table_row.soname);
    if (row.alternatives_missing)
        for (const auto &list : alternatives)
            out += missing_library_section(p, list.lib_id, list.sonames[0]);
    out += library_section(p, probe_of(row.plan, libnss_mdns), "LibNss_mdns2", libnss_mdns);
    out += library_section(p, probe_of(row.plan, libvulkan), "LibVulkan", libvulkan);
    out += arch_property_section(p, "vulkan.present", row.vulkan_present);
    out += issue_section(p, "BrokenLDT16");
    for (const auto &section : row.later)
        if (!section.cause || row.plan.count(section.cause)) out += section_bytes(p, section);
    return out;
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
struct RunOutcome {
    Fault fault;
    bool alternatives_missing;
    const char *vulkan_present;
    Sections later;
};

// The audio and GStreamer checks' children broke in their libraries.
const Sections media_broken = {broken("LibAsound", libasound), broken("LibGstreamer1", libgstreamer)};

// libasound, libgstreamer, libgcc_s and libX11, without a PulseAudio server
// or a display. The audio check's child ends inside the loader unless the
// library is simply unloadable; a thread check ending there is the driver's
// finding only when it breaks, as are the audio and GStreamer checks.
const RunOutcome first_run_outcomes[] = {
    {Fault::unloadable, true, "no",
     Sections{missing("LibAsound", libasound)} + no_gstreamer +
         Sections{missing("LibGcc_s", libgcc_s), missing("LibX11", libx11)}},
    {Fault::crash, true, "no",
     media_broken + Sections{issue("PthreadCancelNotWorking", libgcc_s), issue("X11NotWorking")}},
    {Fault::abort, true, "no",
     media_broken + Sections{issue("PthreadCancelNotWorking", libgcc_s), issue("X11NotWorking")}},
    {Fault::exit0, false, "yes", {}},
    {Fault::exit1, true, "no",
     media_broken + Sections{issue("PthreadCancelNotWorking", libgcc_s), issue("X11NotWorking")}},
    {Fault::exit163, true, "no", {}},
};

// libpulse, libgstreamer, libpthread and libGL, with PulseAudio said to run
// (the test's ALSA default device is "pulse") and a display. libGL that never
// loaded has no handle, so the child writes no OpenglNotWorking of its own.
const RunOutcome second_run_outcomes[] = {
    {Fault::unloadable, true, "no",
     Sections{missing("LibPulse", libpulse)} + no_gstreamer +
         Sections{missing("LibPthread", libpthread)} + display +
         Sections{missing("LibGL", libgl)}},
    {Fault::crash, true, "no",
     Sections{broken("LibPulse", libpulse), broken("LibGstreamer1", libgstreamer),
              issue("PthreadCancelNotWorking")} + display +
         Sections{issue("OpenglNotWorking")}},
    {Fault::abort, true, "no",
     Sections{broken("LibPulse", libpulse), broken("LibGstreamer1", libgstreamer),
              issue("PthreadCancelNotWorking")} + display +
         Sections{issue("OpenglNotWorking")}},
    {Fault::exit0, false, "yes", display},
    {Fault::exit1, true, "no",
     Sections{broken("LibPulse", libpulse), broken("LibGstreamer1", libgstreamer),
              issue("PthreadCancelNotWorking")} + display +
         Sections{issue("OpenglNotWorking")}},
    {Fault::exit163, true, "no", Sections{missing("LibPulse", libpulse)} + display},
};

bool has_issue(const Sections &sections, const char *id) {
    return std::any_of(sections.begin(), sections.end(), [id](const Section &s) {
        return s.kind == Section::issue && std::string(s.id) == id;
    });
}

MatrixRow outcome_row(const ProgramUnderTest &p, const std::string &libraries,
                      const std::vector<std::string> &sonames, const RunOutcome &outcome) {
    MatrixRow row{std::string(kind_of(outcome.fault).name) + ": probes, " + libraries};
    add(p, row.plan, probed_sonames(p), outcome.fault);
    add(p, row.plan, sonames, outcome.fault);
    row.alternatives_missing = outcome.alternatives_missing;
    row.vulkan_present = outcome.vulkan_present;
    row.later = outcome.later;
    row.dri_search_last = has_issue(outcome.later, "OpenglNotWorking");
    return row;
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

class FaultMatrix : public ProgramTest<ProgramUnderTest> {
  protected:
    // Under the seccomp helper, so that the LDT probe meets the same refusal
    // on any kernel.
    RunResult run(const MatrixRow &row, const XvfbServer *server) {
        const auto &p = GetParam();
        FixtureDir dir;
        RunOptions options;
        options.args = {"--debug"};
        options.timeout_seconds = 60;
        options.wrapper = {seccomp_helper_path(), "22"};
        for (const auto &[soname, fault] : row.plan) {
            if (fault == Fault::unloadable)
                options.blocked_sonames.push_back(soname);
            else
                dir.install(soname, kind_of(fault).fixture, p.bits);
        }
        options.library_path = dir.library_path();
        CommandShims shims(row.pulse_running);
        shims.apply(options);
        if (row.display)
            options.set_env["DISPLAY"] = server->display();
        else
            options.unset_env = {"DISPLAY"};
        return run_program(p, options);
    }

    void check(const MatrixRow &row, const XvfbServer *server = nullptr) {
        const auto &p = GetParam();
        SCOPED_TRACE(row.name);
        RunResult r = run(row, server);
        EXPECT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
        EXPECT_EQ(r.exit_code(), 0);
        EXPECT_EQ(r.out, expected_report(p, row));
        EXPECT_EQ(count_of(r.err, "Wait for test child timed out\n"),
                  static_cast<size_t>(row.watchdogs))
            << r.err;
        // Hangs run side by side: any number of them costs one watchdog's
        // five seconds and nothing more.
        double hang_seconds = row.watchdogs ? row.hang_seconds : 0.0;
        EXPECT_GE(r.seconds, hang_seconds - 0.1);
        EXPECT_LT(r.seconds, hang_seconds + 3.0);
        // The DRI search in the main process is the last thing the run
        // traces; this machine's Mesa has drivers, so it finds one.
        if (row.dri_search_last) {
            std::string dri = expected_dri_search(p.bits).trace;
            EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), dri.size())), dri);
        }
    }
};

TEST_P(FaultMatrix, ProbesAudioGstreamerUnwinderAndX11UnderEachFault) {
    for (const auto &outcome : first_run_outcomes)
        check(outcome_row(GetParam(), "libasound, libgstreamer, libgcc_s, libX11",
                          {libasound, libgstreamer, libgcc_s, libx11}, outcome));
}

TEST_P(FaultMatrix, ProbesPulseGstreamerPthreadAndOpenglUnderEachFault) {
    XvfbServer server;
    ASSERT_TRUE(server.running());
    for (const auto &outcome : second_run_outcomes) {
        MatrixRow row = outcome_row(GetParam(), "libpulse, libgstreamer, libpthread, libGL",
                                    {libpulse, libgstreamer, libpthread, libgl}, outcome);
        row.pulse_running = true;
        row.display = true;
        check(row, &server);
    }
}

// A hang costs the watchdog's five seconds, so only a few libraries hang,
// two to a run. Every other probed library is unloadable here: the real X
// libraries of the table would load the hanging libX11 themselves.
TEST_P(FaultMatrix, HangingTableLibraryAndLibX11EachEndAfterTheWatchdog) {
    const auto &p = GetParam();
    MatrixRow row{"libXxf86vm and libX11 hang"};
    add(p, row.plan, probed_sonames(p), Fault::unloadable);
    add(p, row.plan, {libgstreamer}, Fault::unloadable);
    row.plan["libXxf86vm.so.1"] = Fault::hang;
    row.plan[libx11] = Fault::hang;
    row.alternatives_missing = true;
    row.vulkan_present = "no";
    row.later = no_gstreamer + Sections{issue("X11NotWorking")};
    row.watchdogs = 2;
    check(row);
}

// libpulse hangs in the probe that the audio check nests, whose time-out the
// check outlasts: libpulse is named broken as a crashing one is. Real
// libraries everywhere else, but for GStreamer and the mdns library this
// machine lacks.
TEST_P(FaultMatrix, HangingLibPulseInsideTheAudioCheckAndLibGlEachEndAfterTheWatchdog) {
    XvfbServer server;
    ASSERT_TRUE(server.running());
    MatrixRow row{"libpulse and libGL hang"};
    row.plan[libgstreamer] = Fault::unloadable;
    row.plan[libnss_mdns] = Fault::unloadable;
    row.plan[libpulse] = Fault::hang;
    row.plan[libgl] = Fault::hang;
    row.pulse_running = true;
    row.display = true;
    row.later = Sections{broken("LibPulse", libpulse)} + no_gstreamer + display +
                Sections{issue("OpenglNotWorking")};
    row.watchdogs = 2;
    row.dri_search_last = true;
    check(row, &server);
}

// A hanging libasound ends the audio check at its own limit, which outlasts
// its server test and nested probe: the driver names libasound broken.
TEST_P(FaultMatrix, HangingLibAsoundEndsTheAudioCheckAtItsLimit) {
    MatrixRow row{"libasound hangs"};
    row.plan[libgstreamer] = Fault::unloadable;
    row.plan[libnss_mdns] = Fault::unloadable;
    row.plan["libopenal.so.1"] = Fault::unloadable; // it would load the stand-in
    row.plan[libasound] = Fault::hang;
    row.later = Sections{broken("LibAsound", libasound)} + no_gstreamer;
    row.watchdogs = 1;
    row.hang_seconds = 12.0;
    check(row);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, FaultMatrix, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
