#include "report_sections.h"

#include "vocabulary.h"

std::string property_section(const std::string &key, const std::string &value) {
    return "[Properties]\n\"" + key + "\"=\"" + value + "\"\n\n";
}

std::string arch_property_section(const ProgramUnderTest &p, const std::string &key,
                                  const std::string &value) {
    return property_section(key + p.suffix, value);
}

std::string issue_section(const ProgramUnderTest &p, const std::string &issue_id,
                          const std::string &title) {
    return "[" + issue_id + p.suffix + "]\n\"Title\"=\"" + title + "\"\n\n";
}

std::string issue_section(const ProgramUnderTest &p, const std::string &issue_id) {
    const auto &titles = documented_vocabulary().titles;
    auto title = titles.find(issue_id);
    return issue_section(p, issue_id,
                         title == titles.end() ? "(no title in the manual page)" : title->second);
}

static std::string library_section(const ProgramUnderTest &p, const std::string &kind,
                                   const std::string &lib_id, const std::string &soname) {
    return "[" + kind + lib_id + p.suffix + "]\n\"Lib\"=\"" + soname + "\"\n\"Title\"=\"" + kind +
           " " + std::to_string(p.bits) + "-bit " + soname + " library\"\n\n";
}

std::string missing_library_section(const ProgramUnderTest &p, const std::string &lib_id,
                                    const std::string &soname) {
    return library_section(p, "Missing", lib_id, soname);
}

// The writer sets a broken library apart with an empty line before it.
std::string broken_library_section(const ProgramUnderTest &p, const std::string &lib_id,
                                   const std::string &soname) {
    return "\n" + library_section(p, "Broken", lib_id, soname);
}

struct RawSection {
    std::string label;
    std::string text;
};

static std::string label_of(const std::string &text) {
    size_t open = text.find('[');
    size_t close = text.find(']', open);
    if (open == std::string::npos || close == std::string::npos) return "";
    std::string name = text.substr(open + 1, close - open - 1);
    if (name != "Properties") return name;
    size_t key = text.find('"', close);
    size_t end = text.find('"', key + 1);
    return key == std::string::npos || end == std::string::npos
               ? name
               : text.substr(key + 1, end - key - 1);
}

// Each section with the empty lines before it and the one that ends it; the
// pieces joined give the report back unchanged.
static std::vector<RawSection> split_report(const std::string &out) {
    std::vector<RawSection> sections;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t start = pos;
        while (pos < out.size() && out[pos] == '\n')
            ++pos;
        size_t end = out.find("\n\n", pos);
        end = end == std::string::npos ? out.size() : end + 2;
        std::string text = out.substr(start, end - start);
        sections.push_back({label_of(text), text});
        pos = end;
    }
    return sections;
}

static bool starts_with_any(const std::string &label, const std::vector<std::string> &prefixes) {
    for (const auto &prefix : prefixes)
        if (label.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

std::string report_slice(const std::string &out, const std::vector<std::string> &from,
                         const std::string &through) {
    std::string slice;
    bool started = from.empty();
    for (const auto &section : split_report(out)) {
        if (!started && !starts_with_any(section.label, from)) continue;
        started = true;
        slice += section.text;
        if (!through.empty() && starts_with_any(section.label, {through})) break;
    }
    return slice;
}

std::string sections_labelled(const std::string &out, const std::vector<std::string> &prefixes) {
    std::string joined;
    for (const auto &section : split_report(out))
        if (starts_with_any(section.label, prefixes)) joined += section.text;
    return joined;
}
