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

// Structure only: any bracketed name, any quoted pairs.
ParsedReport parse_report(const std::string &text);

// Structure and vocabulary, as the front end reads a report of a program of
// the given word size: every section name, key and library title is one
// the program can write.
ParsedReport parse_report_strictly(const std::string &text, int bits);

// Section names in report order, for compact assertions.
std::vector<std::string> section_names(const ParsedReport &report);
