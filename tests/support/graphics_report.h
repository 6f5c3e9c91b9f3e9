// Exact bytes of the graphics sections, and the graphics part of a report:
// the graphics steps run last, so everything from their first section on.
#pragma once

#include <map>
#include <string>

#include "run_program.h"

std::string property_section(const std::string &key, const std::string &value);
// Issue sections by identifier; the titles are the report's fixed texts.
std::string issue_section(const ProgramUnderTest &program, const std::string &issue_id);
std::string missing_library_section(const ProgramUnderTest &program, const std::string &lib_id,
                                    const std::string &soname);

std::string graphics_part(const std::string &report);
// The trace from the graphics steps' first line (the libX11 load) on.
std::string graphics_trace(const ProgramUnderTest &program, const std::string &err);

// key=value lines, as the gl_query helper prints them.
std::map<std::string, std::string> parse_key_values(const std::string &text);
