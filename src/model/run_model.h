// What one run found, as data rather than report text: the findings and
// properties of each word size, the distribution it ran on. Built from the
// report the checks wrote (the same sections, one path whatever the output),
// so that --json and --explain say exactly what the report says.
#pragma once

#include <string>
#include <vector>

enum FindingKind {
    FINDING_MISSING, // "[Missing<id><suffix>]": a library that is not there
    FINDING_BROKEN,  // "[Broken<id><suffix>]": there, but it crashes or hangs when used
    FINDING_ISSUE,   // "[<id><suffix>]": anything else the report names
};

struct Finding {
    FindingKind kind;
    std::string section; // the section's name as the report has it: "MissingLibGL.amd64"
    std::string id;      // without the kind's prefix and the suffix: "LibGL", "NonPulseAudioAlsa"
    std::string soname;  // the "Lib" line of a library section; empty for an issue
    std::string title;   // the "Title" line
};

struct Property {
    std::string key; // as the report has it, suffix included: "vulkan.present.amd64"
    std::string value;
};

// One word size's side of a run.
struct WordSizeModel {
    int bits = 0;               // 32 or 64
    bool checked = false;       // false: why_not_checked says why
    std::string why_not_checked;
    std::vector<Finding> findings;
    std::vector<Property> properties;
};

// /etc/os-release, as far as it could be read.
struct Distribution {
    bool known = false;   // false: problem says why (absent, unreadable, malformed)
    std::string problem;
    std::string id;       // ID
    std::string id_like;  // ID_LIKE, space-separated
    std::string version_id;
    std::string pretty_name;
};

struct RunModel {
    std::string version; // the program's own
    Distribution distribution;
    std::vector<WordSizeModel> sides; // 32-bit first where present
};

// A plain report (the exact bytes a run without options writes) as one side
// of the model. Sections it does not know are kept as issues.
WordSizeModel model_from_report(int bits, const std::string &report);

// /etc/os-release, or the file given (tests).
Distribution read_distribution(const char *path = "/etc/os-release");

// Runs this program's checks with their report kept in memory instead of
// written and, in the 64-bit program, the 32-bit program's --json beside
// them: the model of every word size this run could check.
RunModel run_checks_for_model();

// The exit status of --json and --explain for that model: 0 when no side
// found anything, else found_something_status (a side that could not be
// checked is said in the document, and changes no status).
constexpr int found_something_status = 3;
int model_exit_status(const RunModel &model);
