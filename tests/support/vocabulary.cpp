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

std::set<std::string> manual_page_entries(const std::string &page, const std::string &heading) {
    std::set<std::string> found;
    size_t start = page.find(".SH " + heading + "\n");
    if (start == std::string::npos) return found;
    size_t end = page.find("\n.SH ", start + 1);
    std::string section = page.substr(start, end == std::string::npos ? end : end - start);
    std::regex entry(R"(\n\.TP\n\.B ([^\s]+)\n)");
    for (std::sregex_iterator it(section.begin(), section.end(), entry), last; it != last; ++it)
        found.insert((*it)[1]);
    return found;
}

const Vocabulary &documented_vocabulary() {
    static const Vocabulary vocabulary = [] {
        std::string page = read_text_file(TARVEK_MANUAL_PAGE);
        return Vocabulary{manual_page_entries(page, "ISSUES"),
                          manual_page_entries(page, "LIBRARIES"),
                          manual_page_entries(page, "PROPERTIES")};
    }();
    return vocabulary;
}
