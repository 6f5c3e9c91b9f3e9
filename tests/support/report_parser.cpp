#include "report_parser.h"

#include <sstream>

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
            report.sections.push_back({line.substr(1, line.size() - 2), {}, blanks > 1});
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
