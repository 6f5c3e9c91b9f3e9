// Parsers for the tools' plain-text answers. Anything that does not read as
// an answer is ignored line by line: garbage gives no package, never a
// wrong one.
#include "model/package_answers.h"

#include <cstring>

namespace {

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::string trimmed(const std::string &text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t\r") + 1 - begin);
}

// A package name as the tools print them: no spaces, no control bytes.
bool plausible_name(const std::string &name) {
    if (name.empty() || name.size() > 200) return false;
    for (unsigned char c : name)
        if (c <= ' ' || c >= 0x7f || c == '/' || c == '\'' || c == '"') return false;
    return true;
}

// "\tlibGL.so.1 (libc6,x86-64) => /usr/lib/x86_64-linux-gnu/libGL.so.1"
int cache_line_bits(const std::string &flags) {
    if (flags.compare(0, 5, "libc6") != 0) return 0;
    if (flags.find("x86-64") != std::string::npos) return 64;
    if (flags.find(',') == std::string::npos || flags.find("OS ABI") != std::string::npos)
        return flags.find("x32") == std::string::npos ? 32 : 0;
    return 0;
}

// "lib32-libglvnd 1.7.0-1" after "/path is owned by "
std::string pacman_owner(const std::string &line, const std::string &path) {
    std::string head = path + " is owned by ";
    if (line.compare(0, head.size(), head) != 0) return "";
    std::string rest = line.substr(head.size());
    return rest.substr(0, rest.find(' '));
}

// "libgl1:amd64: /usr/lib/...": the first of a comma-separated list of owners.
std::string dpkg_owner(const std::string &line, const std::string &path) {
    std::string tail = ": " + path;
    if (line.size() <= tail.size() || line.compare(line.size() - tail.size(), tail.size(), tail))
        return "";
    if (line.compare(0, 12, "diversion by") == 0) return "";
    std::string owners = line.substr(0, line.size() - tail.size());
    return owners.substr(0, owners.find(','));
}

} // namespace

std::string cached_library_path(const std::string &ldconfig_output, const std::string &soname,
                                int bits) {
    for (const std::string &line : lines_of(ldconfig_output)) {
        std::string text = trimmed(line);
        size_t open = text.find(" (");
        size_t close = text.find(") => ");
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        if (text.substr(0, open) != soname) continue;
        if (cache_line_bits(text.substr(open + 2, close - open - 2)) != bits) continue;
        std::string path = text.substr(close + 5);
        if (!path.empty() && path[0] == '/') return path;
    }
    return "";
}

std::vector<std::string> owner_query_paths(const std::string &path, const std::string &resolved) {
    std::vector<std::string> paths;
    for (const std::string &p : {path, resolved}) {
        if (p.empty() || p[0] != '/') continue;
        for (const std::string &q : {p, p.compare(0, 5, "/usr/") ? "/usr" + p : p.substr(4)}) {
            bool seen = false;
            for (const std::string &known : paths) seen = seen || known == q;
            if (!seen) paths.push_back(q);
        }
    }
    return paths;
}

std::vector<std::string> owner_query(DistroFamily family, const std::vector<std::string> &paths) {
    std::vector<std::string> argv;
    if (family == FAMILY_DEBIAN) argv = {"dpkg", "-S"};
    if (family == FAMILY_FEDORA || family == FAMILY_SUSE)
        argv = {"rpm", "-qf", "--qf", "%{NAME}.%{ARCH}\\n"};
    if (family == FAMILY_ARCH) argv = {"pacman", "-Qo"};
    if (argv.empty()) return argv;
    argv.insert(argv.end(), paths.begin(), paths.end());
    return argv;
}

std::string owner_of(DistroFamily family, const std::string &output,
                     const std::vector<std::string> &paths, const std::string &path) {
    std::vector<std::string> lines = lines_of(output);
    if (family == FAMILY_FEDORA || family == FAMILY_SUSE) {
        // One line per file asked, in order; a count that differs is not an answer.
        if (lines.size() != paths.size()) return "";
        for (size_t i = 0; i < paths.size(); ++i)
            if (paths[i] == path && plausible_name(lines[i])) return lines[i];
        return "";
    }
    for (const std::string &line : lines) {
        std::string owner = family == FAMILY_DEBIAN ? dpkg_owner(line, path)
                            : family == FAMILY_ARCH ? pacman_owner(line, path)
                                                    : "";
        if (plausible_name(owner)) return owner;
    }
    return "";
}

std::vector<std::string> candidate_query(DistroFamily family,
                                         const std::vector<std::string> &packages) {
    std::vector<std::string> argv;
    if (family == FAMILY_DEBIAN) argv = {"apt-cache", "policy"};
    if (family == FAMILY_FEDORA)
        argv = {"dnf", "-q", "--cacheonly", "repoquery", "--qf", "%{name}.%{arch}\\n"};
    if (family == FAMILY_ARCH) argv = {"pacman", "-Si"};
    if (family == FAMILY_SUSE) argv = {"zypper", "--non-interactive", "--no-refresh", "info"};
    if (argv.empty()) return argv;
    argv.insert(argv.end(), packages.begin(), packages.end());
    return argv;
}

// apt-cache policy: "NAME:ARCH:", the native architecture's as "NAME:",
// then "  Candidate: VERSION" or "  Candidate: (none)".
static bool apt_has_candidate(const std::string &output, const std::string &package,
                              const std::string &native_arch) {
    size_t colon = package.rfind(':');
    std::string header = package + ":";
    if (colon != std::string::npos && package.substr(colon + 1) == native_arch)
        header = package.substr(0, colon) + ":";
    bool in_block = false;
    for (const std::string &line : lines_of(output)) {
        if (!line.empty() && line[0] != ' ') {
            in_block = line == header;
            continue;
        }
        std::string text = trimmed(line);
        if (in_block && text.compare(0, 11, "Candidate: ") == 0)
            return text != "Candidate: (none)" && text.size() > 11;
    }
    return false;
}

bool has_candidate(DistroFamily family, const std::string &output, const std::string &package,
                   const std::string &native_arch) {
    if (family == FAMILY_DEBIAN) return apt_has_candidate(output, package, native_arch);
    for (const std::string &line : lines_of(output)) {
        std::string text = trimmed(line);
        if (family == FAMILY_FEDORA && text == package) return true;
        // pacman -Si and zypper info: "Name            : NAME"
        size_t colon = text.find(':');
        if ((family == FAMILY_ARCH || family == FAMILY_SUSE) && colon != std::string::npos &&
            trimmed(text.substr(0, colon)) == "Name" && trimmed(text.substr(colon + 1)) == package)
            return true;
    }
    return false;
}
