// Every document of --json a test makes is read by a real JSON parser
// (python3's), which gives it back as lines to compare.
#pragma once

#include <string>

#include "report_parser.h"

// The document's lines (json_lines.py), or "error: " and the parser's message.
std::string json_lines(const std::string &document);

// The finding and property lines of one side, made from its plain report.
std::string report_lines(const ParsedReport &report, int bits);
