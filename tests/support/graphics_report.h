// The graphics part of a report and of a trace: the graphics steps run last,
// so everything from their first section, or their first line, on.
#pragma once

#include <map>
#include <string>

#include "report_sections.h"
#include "run_program.h"

std::string graphics_part(const std::string &report);
// The trace from the graphics steps' first line (the libX11 load) on.
std::string graphics_trace(const ProgramUnderTest &program, const std::string &err);

// key=value lines, as the gl_query helper prints them.
std::map<std::string, std::string> parse_key_values(const std::string &text);
