// The fix of each finding, found from the system itself: the package of the
// other word size's copy of a library, else Debian's table for the release,
// each confirmed by the family's own index; else the search to run.
#pragma once

#include <string>
#include <vector>

#include "model/distro_family.h"
#include "model/run_model.h"

enum FixSource {
    FIX_NONE,    // nothing known: the explanation says what to look for
    FIX_SIBLING, // from the package of the other word size's copy
    FIX_TABLE,   // from the table of this Debian release
    FIX_SEARCH,  // no confirmed package: `command` searches for one
    FIX_BROKEN,  // installed but broken: `command` checks its package's files
};

struct FindingFix {
    FixSource source = FIX_NONE;
    std::vector<std::string> packages; // to install, each confirmed by the index
    std::string command;               // printed for a person, never run here
    std::string sibling;               // the other word size's copy asked about
    std::string owner;                 // the package that owns it, as the tool said
};

struct FixLookup {
    std::vector<std::vector<FindingFix>> sides; // as model.sides, one per finding
    std::vector<std::string> notes;             // tools that could not answer, and why
};

// The name a finding has in the table: "LibGL", "NonPulseAudioAlsa",
// "MissingGStreamer1Ugly" (the kind's prefix back on an issue's id).
std::string table_name(const Finding &finding);

// Runs at most four tools (the loader cache, the owner query, the
// architecture, the candidate query), each once for the whole model.
FixLookup look_up_fixes(const RunModel &model, DistroFamily family);
