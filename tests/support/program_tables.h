// The programs' own tables, read from the tables library of the 64-bit core:
// both programs are built from the same rows, and which rows a program
// probes is decided by the same has_word_size it calls. Tests take sonames,
// candidates and plugin elements from here; only the section names are
// written out by hand, once (known_section_names), as the front end knows
// them.
#pragma once

#include <string>
#include <vector>

#include "checks/gstreamer/plugin_packs.h"
#include "libprobe/library_table.h"
#include "run_program.h"

// The library table rows the program probes, in its order.
std::vector<LibraryEntry> library_rows(const ProgramUnderTest &p);
struct Alternatives {
    const char *lib_id;
    std::vector<const char *> sonames; // in probe order, duplicates included
};
std::vector<Alternatives> alternative_lists();

struct Pack {
    const char *issue_id;
    const char *pack_name;
    std::vector<const char *> elements;
};
// The plugin packs in report order.
std::vector<Pack> plugin_packs();

// The sections of the library table and the plugin packs that a program of
// this word size can write, in the order the front end knows (names without
// the suffix).
std::vector<std::string> known_section_names(int bits);
