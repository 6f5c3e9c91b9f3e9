// Finds the library steps in a --debug trace: which sonames they probed, and
// at which fork of the main process the first step after them began.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class TraceLineKind {
    loaded,       // "found N-bit SONAME": a probe that loaded
    loader_error, // the dynamic loader's message: a probe that did not
    mdns_search,  // the name-service switch search of the mdns step
    runner,       // the isolated runner's own lines (a time-out, a failed fork)
    other,        // anything else: the library steps are over
};

struct TraceLine {
    TraceLineKind kind;
    std::string soname; // the probed name for loaded, the object named for loader_error
};

TraceLine classify_trace_line(const std::string &line);

struct LibrarySteps {
    std::vector<std::string> sonames; // one per traced probe, in order
    int forks = 0;                    // forks of the main process the library steps made
    bool followed = false;            // a later step forked: the steps end at fork number `forks`
    std::string first_other;          // the first line after them, if any
    int watchdog_timeouts = 0;        // "Wait for test child timed out" anywhere in the trace
};

// stderr_at_fork[k] is the size of the trace file when the main process made
// its fork number k (from 0). The library steps run until the first line of
// kind `other`; they end at the first isolated run that is not theirs.
LibrarySteps find_library_steps(const std::string &trace,
                                const std::vector<int64_t> &stderr_at_fork);
