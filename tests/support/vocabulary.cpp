#include "vocabulary.h"

#include <fstream>
#include <regex>
#include <sstream>

std::string read_text_file(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

static std::string page_section(const std::string &page, const std::string &heading) {
    size_t start = page.find(".SH " + heading + "\n");
    if (start == std::string::npos) return "";
    size_t end = page.find("\n.SH ", start + 1);
    return page.substr(start, end == std::string::npos ? end : end - start);
}

std::set<std::string> manual_page_entries(const std::string &page, const std::string &heading) {
    std::set<std::string> found;
    std::string section = page_section(page, heading);
    std::regex entry(R"(\n\.TP\n\.B ([^\s]+)\n)");
    for (std::sregex_iterator it(section.begin(), section.end(), entry), last; it != last; ++it)
        found.insert((*it)[1]);
    return found;
}

// roff writes a hyphen as \-.
std::map<std::string, std::string> manual_page_titles(const std::string &page) {
    std::map<std::string, std::string> titles;
    std::string section = page_section(page, "ISSUES");
    std::regex entry(R"re(\n\.TP\n\.B ([^\s]+)\n"([^"\n]*)":)re");
    for (std::sregex_iterator it(section.begin(), section.end(), entry), last; it != last; ++it)
        titles[(*it)[1]] = std::regex_replace((*it)[2].str(), std::regex(R"(\\-)"), "-");
    return titles;
}

const Vocabulary &documented_vocabulary() {
    static const Vocabulary vocabulary = [] {
        std::string page = read_text_file(TARVEK_MANUAL_PAGE);
        return Vocabulary{manual_page_entries(page, "ISSUES"),
                          manual_page_entries(page, "LIBRARIES"),
                          manual_page_entries(page, "PROPERTIES"), manual_page_titles(page)};
    }();
    return vocabulary;
}
