#include "report_parser.h"

#include <sstream>

#include "vocabulary.h"

static bool parse_quoted_pair(const std::string &line, std::pair<std::string, std::string> &out) {
    // "name"="value": values are not escaped, so the name ends at the first
    // `"="` and the value runs to the closing quote at the end of the line.
    if (line.size() < 5 || line.front() != '"' || line.back() != '"') return false;
    size_t separator = line.find("\"=\"");
    if (separator == std::string::npos || separator == 0) return false;
    out.first = line.substr(1, separator - 1);
    out.second = line.substr(separator + 3, line.size() - separator - 4);
    return true;
}

ParsedReport parse_report(const std::string &text) {
    ParsedReport report;
    if (!text.empty() && text.back() != '\n') {
        report.error = "report does not end with a line break";
        return report;
    }
    std::istringstream in(text);
    std::string line;
    int line_number = 0;
    int blanks = 0;
    ReportSection *open = nullptr;
    while (std::getline(in, line)) {
        ++line_number;
        std::string where = "line " + std::to_string(line_number) + ": ";
        if (line.empty()) {
            if (open && open->values.empty()) {
                report.error = where + "section " + open->name + " has no values";
                return report;
            }
            open = nullptr;
            ++blanks;
            continue;
        }
        if (!open) {
            if (line.size() < 3 || line.front() != '[' || line.back() != ']') {
                report.error = where + "expected a section name, got: " + line;
                return report;
            }
            // A section's own empty line before it is one more than the
            // line that ends the section before (none at the very start).
            bool extra = blanks > (report.sections.empty() ? 0 : 1);
            report.sections.push_back({line.substr(1, line.size() - 2), {}, extra});
            open = &report.sections.back();
            blanks = 0;
            continue;
        }
        std::pair<std::string, std::string> value;
        if (!parse_quoted_pair(line, value)) {
            report.error = where + "expected \"name\"=\"value\", got: " + line;
            return report;
        }
        open->values.push_back(value);
    }
    if (open) report.error = "last section " + open->name + " is not ended by an empty line";
    return report;
}

std::vector<std::string> section_names(const ParsedReport &report) {
    std::vector<std::string> names;
    for (const auto &section : report.sections) names.push_back(section.name);
    return names;
}

static std::string strip_suffix(const std::string &name, const std::string &suffix, bool *had) {
    *had = suffix.size() && name.size() > suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    return *had ? name.substr(0, name.size() - suffix.size()) : name;
}

static std::string check_library_section(const ReportSection &section, const std::string &kind,
                                         const std::string &lib_id, int bits) {
    if (!documented_vocabulary().libraries.count(lib_id)) return "unknown library " + lib_id;
    if (section.values.size() != 2 || section.values[0].first != "Lib" ||
        section.values[1].first != "Title")
        return section.name + ": expected the Lib and Title lines";
    std::string title = kind + " " + std::to_string(bits) + "-bit " + section.values[0].second +
                        " library";
    if (section.values[1].second != title) return section.name + ": title " + section.values[1].second;
    if (kind == "Broken" && !section.preceded_by_extra_blank)
        return section.name + ": a broken-library section starts with an empty line";
    return "";
}

static std::string check_section(const ReportSection &section, int bits) {
    const Vocabulary &v = documented_vocabulary();
    const std::string suffix = bits == 64 ? ".amd64" : "";
    bool suffixed = false;
    if (section.name == "Properties") {
        if (section.values.size() != 1) return "a property section holds one property";
        std::string key = strip_suffix(section.values[0].first, suffix, &suffixed);
        if (!v.properties.count(key)) return "unknown property " + section.values[0].first;
        // Only vulkan.present carries the word-size suffix.
        if (bits == 64 && (key == "vulkan.present") != suffixed)
            return "property " + section.values[0].first + " has the wrong suffix";
        return "";
    }
    std::string name = strip_suffix(section.name, suffix, &suffixed);
    if (bits == 64 && !suffixed) return section.name + " lacks the .amd64 suffix";
    for (const char *kind : {"Missing", "Broken"}) {
        std::string lib_id = name.substr(std::string(kind).size());
        if (name.rfind(kind, 0) == 0 && lib_id.rfind("Lib", 0) == 0)
            return check_library_section(section, kind, lib_id, bits);
    }
    if (!v.issues.count(name)) return "unknown section " + section.name;
    if (section.values.size() != 1 || section.values[0].first != "Title")
        return section.name + ": an issue holds one Title";
    return "";
}

ParsedReport parse_report_strictly(const std::string &text, int bits) {
    ParsedReport report = parse_report(text);
    for (size_t i = 0; report.ok() && i < report.sections.size(); ++i)
        report.error = check_section(report.sections[i], bits);
    return report;
}
