// The identifiers a report may hold, as the manual page documents them. A
// test elsewhere proves the page lists exactly what the sources can write,
// so reading it here keeps one list, not three.
#pragma once

#include <map>
#include <set>
#include <string>

struct Vocabulary {
    std::set<std::string> issues, libraries, properties;
    std::map<std::string, std::string> titles; // issue id to the title the page quotes
};

// The ".B name" entries under one heading of a manual page.
std::set<std::string> manual_page_entries(const std::string &page, const std::string &heading);
// The quoted title that opens an issue's description, where it has a fixed one.
std::map<std::string, std::string> manual_page_titles(const std::string &page);
const Vocabulary &documented_vocabulary();
std::string read_text_file(const std::string &path);
