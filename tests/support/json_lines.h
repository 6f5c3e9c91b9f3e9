// Every document of --json a test makes is read by a real JSON parser
// (python3's, json_lines.py), which gives it back as lines to compare.
#pragma once

#include <string>

#include "report_parser.h"

// The document's lines, or "error: " and the parser's message; the finding
// and property lines of one side, made from its plain report.
std::string json_lines(const std::string &document);
std::string report_lines(const ParsedReport &report, int bits);
