// /etc/os-release: lines of KEY=VALUE, the value bare or in single or
// double quotes (in double quotes a backslash takes the next character as
// it is), comments and empty lines between.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "model/run_model.h"

namespace {

constexpr size_t largest_os_release = 65536;

bool unquote(const std::string &raw, std::string *value) {
    value->clear();
    if (raw.empty() || (raw[0] != '"' && raw[0] != '\'')) {
        *value = raw;
        return raw.find_first_of("\"'\\` \t") == std::string::npos;
    }
    char quote = raw[0];
    if (raw.size() < 2 || raw.back() != quote) return false;
    for (size_t i = 1; i + 1 < raw.size(); ++i) {
        char c = raw[i];
        if (c == quote) return false;
        if (quote == '"' && c == '\\' && i + 2 < raw.size()) c = raw[++i];
        *value += c;
    }
    return true;
}

bool valid_key(const std::string &key) {
    return !key.empty() && key.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") ==
                               std::string::npos;
}

// Sets the field the key names; false for a line that is not KEY=VALUE.
bool take_line(const std::string &line, Distribution *distribution) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') return true;
    size_t equals = line.find('=');
    std::string value;
    if (equals == std::string::npos || !valid_key(line.substr(start, equals - start)) ||
        !unquote(line.substr(equals + 1), &value))
        return false;
    std::string key = line.substr(start, equals - start);
    if (key == "ID") distribution->id = value;
    if (key == "ID_LIKE") distribution->id_like = value;
    if (key == "VERSION_ID") distribution->version_id = value;
    if (key == "PRETTY_NAME") distribution->pretty_name = value;
    return true;
}

} // namespace

Distribution read_distribution(const char *path) {
    Distribution distribution;
    FILE *file = fopen(path, "re");
    // The file's fallback place, where /etc has none.
    if (!file && errno == ENOENT && strcmp(path, "/etc/os-release") == 0)
        file = fopen(path = "/usr/lib/os-release", "re");
    if (!file) {
        distribution.problem = std::string(path) + ": " + strerror(errno);
        return distribution;
    }
    std::string text(largest_os_release + 1, '\0');
    text.resize(fread(text.data(), 1, text.size(), file));
    bool failed = ferror(file);
    fclose(file);
    if (failed || text.size() > largest_os_release) {
        distribution.problem = std::string(path) + (failed ? ": cannot be read" : ": too large");
        return distribution;
    }
    int number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        ++number;
        if (!take_line(text.substr(at, end - at), &distribution)) {
            distribution = Distribution{};
            distribution.problem = std::string(path) + ": line " + std::to_string(number) +
                                   " is not KEY=VALUE";
            return distribution;
        }
        at = end + 1;
    }
    distribution.known = !distribution.id.empty();
    if (!distribution.known) distribution.problem = std::string(path) + ": no ID";
    return distribution;
}
