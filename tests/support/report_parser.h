// Reads a report as the front end does: bracketed section names, quoted
// "name"="value" lines, each section ended by an empty line.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ReportSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
    bool preceded_by_extra_blank = false;
};

struct ParsedReport {
    std::vector<ReportSection> sections;
    std::string error;  // empty when well-formed
    bool ok() const { return error.empty(); }
};

ParsedReport parse_report(const std::string &text);

// Section names in report order, for compact assertions.
std::vector<std::string> section_names(const ParsedReport &report);
