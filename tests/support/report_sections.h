// Report text in the tests: the exact bytes of each kind of section, and a
// report cut into its sections. The writer's own tests pin these formats;
// everything else builds and cuts reports through here.
#pragma once

#include <string>
#include <vector>

#include "run_program.h"

std::string property_section(const std::string &key, const std::string &value);
// A property whose key carries the word-size suffix (vulkan.present).
std::string arch_property_section(const ProgramUnderTest &p, const std::string &key,
                                  const std::string &value);
// With the title the manual page gives the issue.
std::string issue_section(const ProgramUnderTest &p, const std::string &issue_id);
// With a title of its own: the GStreamer titles name a pack and an element.
std::string issue_section(const ProgramUnderTest &p, const std::string &issue_id,
                          const std::string &title);
std::string missing_library_section(const ProgramUnderTest &p, const std::string &lib_id,
                                    const std::string &soname);
std::string broken_library_section(const ProgramUnderTest &p, const std::string &lib_id,
                                   const std::string &soname);

// The sections are told apart by their labels: the bracketed name, or the
// key of a property section, each with its word-size suffix.

// The sections from the first whose label starts with one of `from` (the
// report's start when empty) through the first one after it whose label
// starts with `through` (the report's end when empty), as they were written:
// every line, every empty line.
std::string report_slice(const std::string &out, const std::vector<std::string> &from,
                         const std::string &through = "");
// Only the sections whose label starts with one of `prefixes`, in order.
std::string sections_labelled(const std::string &out, const std::vector<std::string> &prefixes);
