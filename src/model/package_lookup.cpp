// One pass over the model per question, so that each tool runs once
// whatever the number of findings.
#include "model/package_lookup.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "model/debian_packages.h"
#include "model/package_answers.h"
#include "model/package_query.h"

namespace {

struct Lookup {
    const RunModel &model;
    DistroFamily family;
    FixLookup result;
    std::vector<std::vector<std::vector<std::string>>> table_candidates; // per side, per finding
    std::vector<std::string> asked;                         // every candidate, once
};

bool is_library(const Finding &finding) {
    return finding.kind != FINDING_ISSUE && !finding.soname.empty();
}

int other_bits(int bits) { return bits == 32 ? 64 : 32; }

// A tool's answer, or a note saying why there is none.
bool ask(Lookup *lookup, const std::vector<std::string> &argv, const char *what,
         std::string *output, int seconds = query_seconds) {
    std::string problem;
    if (run_query(argv, seconds, output, &problem)) return true;
    lookup->result.notes.push_back("Could not ask " + argv[0] + " " + what + ": it " + problem +
                                   ".");
    return false;
}

std::string resolved(const std::string &path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? buffer : "";
}

// The copy each library finding asks about: the other word size's for a
// missing library, its own for a broken one.
void find_copies(Lookup *lookup) {
    std::string cache;
    bool any = false;
    for (const WordSizeModel &side : lookup->model.sides)
        for (const Finding &finding : side.findings) any = any || is_library(finding);
    if (!any || lookup->family == FAMILY_OTHER) return;
    if (!ask(lookup, {"/sbin/ldconfig", "-p"}, "for the loader's cache", &cache)) return;
    for (size_t s = 0; s < lookup->model.sides.size(); ++s) {
        const WordSizeModel &side = lookup->model.sides[s];
        for (size_t f = 0; f < side.findings.size(); ++f) {
            const Finding &finding = side.findings[f];
            if (!is_library(finding)) continue;
            int bits = finding.kind == FINDING_MISSING ? other_bits(side.bits) : side.bits;
            lookup->result.sides[s][f].sibling = cached_library_path(cache, finding.soname, bits);
        }
    }
}

// Only paths that exist: rpm answers a missing file on stderr alone, which
// would shift its one line per file.
std::vector<std::string> existing_query_paths(const std::string &sibling) {
    std::vector<std::string> paths;
    if (sibling.empty()) return paths;
    for (const std::string &p : owner_query_paths(sibling, resolved(sibling)))
        if (access(p.c_str(), F_OK) == 0) paths.push_back(p);
    return paths;
}

void find_owners(Lookup *lookup) {
    std::vector<std::string> paths;
    for (auto &fixes : lookup->result.sides)
        for (FindingFix &fix : fixes)
            for (const std::string &p : existing_query_paths(fix.sibling)) paths.push_back(p);
    if (paths.empty()) return;
    std::string output;
    std::vector<std::string> argv = owner_query(lookup->family, paths);
    if (!ask(lookup, argv, "which packages own the libraries", &output)) return;
    for (auto &fixes : lookup->result.sides)
        for (FindingFix &fix : fixes)
            for (const std::string &p : existing_query_paths(fix.sibling))
                if (fix.owner.empty()) fix.owner = owner_of(lookup->family, output, paths, p);
}

void add_asked(Lookup *lookup, const std::string &package) {
    for (const std::string &known : lookup->asked)
        if (known == package) return;
    lookup->asked.push_back(package);
}

// The candidates of each finding: the sibling's package, and the table's.
void name_candidates(Lookup *lookup) {
    const Distribution &distribution = lookup->model.distribution;
    bool table = distribution.known && distribution.id == "debian";
    for (size_t s = 0; s < lookup->model.sides.size(); ++s) {
        const WordSizeModel &side = lookup->model.sides[s];
        lookup->table_candidates.emplace_back(side.findings.size());
        for (size_t f = 0; f < side.findings.size(); ++f) {
            const Finding &finding = side.findings[f];
            FindingFix &fix = lookup->result.sides[s][f];
            if (finding.kind == FINDING_BROKEN) {
                if (fix.owner.empty()) continue;
                fix.source = FIX_BROKEN;
                fix.command = verify_command(lookup->family,
                                             package_for_own_word_size(lookup->family, fix.owner));
                continue;
            }
            if (!fix.owner.empty()) {
                std::string name =
                    package_for_other_word_size(lookup->family, fix.owner, other_bits(side.bits));
                if (!name.empty()) fix.packages = {name}, add_asked(lookup, name);
            }
            const char *row = table ? debian_packages_for(table_name(finding).c_str(),
                                                          distribution.version_id.c_str())
                                    : nullptr;
            std::string words = row ? std::string(row) + " " : "";
            for (size_t at = 0, space; (space = words.find(' ', at)) != std::string::npos;
                 at = space + 1) {
                std::string name = words.substr(at, space - at) + ":" +
                                   family_architecture(FAMILY_DEBIAN, side.bits);
                lookup->table_candidates[s][f].push_back(name);
                add_asked(lookup, name);
            }
        }
    }
}

bool all_confirmed(const Lookup &lookup, const std::string &output,
                   const std::vector<std::string> &packages, const std::string &native) {
    for (const std::string &package : packages)
        if (!has_candidate(lookup.family, output, package, native)) return false;
    return !packages.empty();
}

// apt knows no package of an architecture dpkg was not given: the commonest
// reason a whole word size has nothing to install.
void check_foreign_architectures(Lookup *lookup, const std::string &native) {
    std::string foreign;
    for (const std::string &package : lookup->asked) {
        std::string arch = package.substr(package.rfind(':') + 1);
        if (arch == native || (" " + foreign + " ").find(" " + arch + " ") != std::string::npos)
            continue;
        if (foreign.empty() && !ask(lookup, {"dpkg", "--print-foreign-architectures"},
                                    "for its architectures", &foreign))
            return;
        for (char &c : foreign) c = c == '\n' ? ' ' : c;
        if ((" " + foreign + " ").find(" " + arch + " ") != std::string::npos) continue;
        lookup->result.notes.push_back("dpkg has no " + arch + " architecture: add it first with: "
                                       "sudo dpkg --add-architecture " + arch + " && sudo apt update");
        foreign += " " + arch;
    }
}

void confirm_candidates(Lookup *lookup) {
    std::string output, native;
    bool answered = !lookup->asked.empty() &&
                    ask(lookup, candidate_query(lookup->family, lookup->asked),
                        "which packages can be installed", &output, index_query_seconds);
    if (answered && lookup->family == FAMILY_DEBIAN &&
        ask(lookup, {"dpkg", "--print-architecture"}, "for its architecture", &native)) {
        native = native.substr(0, native.find('\n'));
        check_foreign_architectures(lookup, native);
    }
    for (size_t s = 0; s < lookup->model.sides.size(); ++s) {
        const WordSizeModel &side = lookup->model.sides[s];
        for (size_t f = 0; f < side.findings.size(); ++f) {
            FindingFix &fix = lookup->result.sides[s][f];
            const Finding &finding = side.findings[f];
            if (fix.source == FIX_BROKEN || finding.kind == FINDING_BROKEN) continue;
            if (answered && all_confirmed(*lookup, output, fix.packages, native)) {
                fix.source = FIX_SIBLING;
            } else if (answered &&
                       all_confirmed(*lookup, output, lookup->table_candidates[s][f], native)) {
                fix.source = FIX_TABLE;
                fix.packages = lookup->table_candidates[s][f];
            } else {
                fix.packages.clear();
                fix.command = is_library(finding)
                                  ? search_command(lookup->family, finding.soname, side.bits)
                                  : "";
                fix.source = fix.command.empty() ? FIX_NONE : FIX_SEARCH;
            }
        }
    }
}

} // namespace

std::string table_name(const Finding &finding) {
    if (is_library(finding) || finding.kind == FINDING_ISSUE) return finding.id;
    return (finding.kind == FINDING_MISSING ? "Missing" : "Broken") + finding.id;
}

FixLookup look_up_fixes(const RunModel &model, DistroFamily family) {
    Lookup lookup = {model, family, {}, {}, {}};
    for (const WordSizeModel &side : model.sides)
        lookup.result.sides.emplace_back(side.findings.size());
    find_copies(&lookup);
    find_owners(&lookup);
    name_candidates(&lookup);
    confirm_candidates(&lookup);
    return lookup.result;
}
