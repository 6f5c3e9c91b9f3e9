// The identifiers a report may hold, as the manual page documents them. A
// test elsewhere proves the page lists exactly what the sources can write,
// so reading it here keeps one list, not three.
#pragma once

#include <set>
#include <string>

struct Vocabulary {
    std::set<std::string> issues, libraries, properties;
};

// The ".B name" entries under one heading of a manual page.
std::set<std::string> manual_page_entries(const std::string &page, const std::string &heading);
const Vocabulary &documented_vocabulary();
std::string read_text_file(const std::string &path);
