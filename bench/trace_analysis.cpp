// Trace reading. The load probes' lines come from the probe children, the
// mdns and runner lines from the main process; the first line of any other
// kind (the address-space probe always traces one) ends the library steps.
#include "trace_analysis.h"

#include <algorithm>
#include <cstring>

static bool starts_with(const std::string &s, const char *prefix) {
    return s.compare(0, strlen(prefix), prefix) == 0;
}

static bool is_decimal(const std::string &s) {
    size_t i = (!s.empty() && s[0] == '-') ? 1 : 0;
    if (i == s.size()) return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// "found 32-bit libX.so.1" or "found 64-bit libX.so.1", the name without blanks.
static bool parse_found(const std::string &line, std::string *soname) {
    if (!starts_with(line, "found 32-bit ") && !starts_with(line, "found 64-bit ")) return false;
    *soname = line.substr(strlen("found 64-bit "));
    return !soname->empty() && soname->find(' ') == std::string::npos;
}

// The loader's messages name the object first: "libX.so.1: cannot open
// shared object file: ...", "/usr/lib/.../libX.so.1: undefined symbol: ...".
static bool parse_loader_error(const std::string &line, std::string *object) {
    size_t colon = line.find(": ");
    if (colon == std::string::npos || colon == 0) return false;
    std::string name = line.substr(0, colon);
    if (name.find(' ') != std::string::npos || name.find(".so") == std::string::npos) return false;
    *object = name;
    return true;
}

// "egrep 'hosts:.*mdns4' /etc/nsswitch.conf >/dev/null 2>&1 returned 256"
static bool is_mdns_search(const std::string &line) {
    size_t at = line.rfind(" returned ");
    return starts_with(line, "egrep ") && line.find("/etc/nsswitch.conf") != std::string::npos &&
           at != std::string::npos && is_decimal(line.substr(at + strlen(" returned ")));
}

// Lines the runner writes in whatever step it runs: a probe that hangs is
// still a library probe.
static bool is_runner_line(const std::string &line) {
    return line == "Wait for test child timed out" || line == "Unable to fork for test" ||
           line == "Unable to fork watchdog for test" ||
           starts_with(line, "Unable to wait for test child (");
}

TraceLine classify_trace_line(const std::string &line) {
    TraceLine result{TraceLineKind::other, {}};
    if (is_runner_line(line)) {
        result.kind = TraceLineKind::runner;
    } else if (parse_found(line, &result.soname)) {
        result.kind = TraceLineKind::loaded;
    } else if (is_mdns_search(line)) {
        result.kind = TraceLineKind::mdns_search;
    } else if (parse_loader_error(line, &result.soname)) {
        result.kind = TraceLineKind::loader_error;
    }
    return result;
}

// Isolated runs are two forks each, the test child first; run i's window of
// the trace starts where the trace stood at its first fork. The line that
// ends the library steps falls in some run's window: that run was a library
// probe when its probe line came before the line (the main process traced
// after it), and was the next step itself otherwise (its child traced it).
static int library_runs(const std::vector<int64_t> &stderr_at_fork,
                        const std::vector<int64_t> &probe_at, int64_t other_at) {
    int started = 0;
    while (2 * started < static_cast<int>(stderr_at_fork.size()) &&
           stderr_at_fork[2 * started] <= other_at)
        ++started;
    if (started == 0) return 0;
    int64_t window_start = stderr_at_fork[2 * (started - 1)];
    for (int64_t at : probe_at)
        if (at >= window_start && at < other_at) return started;
    return started - 1;
}

LibrarySteps find_library_steps(const std::string &trace,
                                const std::vector<int64_t> &stderr_at_fork) {
    LibrarySteps steps;
    std::vector<int64_t> probe_at;
    int64_t other_at = -1;
    for (size_t at = 0; at < trace.size();) {
        size_t end = trace.find('\n', at);
        if (end == std::string::npos) end = trace.size();
        std::string line = trace.substr(at, end - at);
        if (line.find("Wait for test child timed out") != std::string::npos)
            ++steps.watchdog_timeouts;
        if (other_at < 0) {
            TraceLine parsed = classify_trace_line(line);
            if (parsed.kind == TraceLineKind::other) {
                other_at = static_cast<int64_t>(at);
                steps.first_other = line;
            } else if (parsed.kind == TraceLineKind::loaded ||
                       parsed.kind == TraceLineKind::loader_error) {
                steps.sonames.push_back(parsed.soname);
                probe_at.push_back(static_cast<int64_t>(at));
            }
        }
        at = end + 1;
    }
    int all_forks = static_cast<int>(stderr_at_fork.size());
    steps.forks = other_at < 0
                      ? all_forks
                      : std::min(all_forks, 2 * library_runs(stderr_at_fork, probe_at, other_at));
    steps.followed = steps.forks < all_forks;
    return steps;
}
