// The report read back as its writers make it: bracketed section names,
// lines of "name"="value", empty lines between sections. Values are not
// escaped, so one that holds a line break goes on over the next lines until
// one ends in a double quote.
#include <utility>

#include "model/run_model.h"

namespace {

struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
};

bool starts_with(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(const std::string &text, const std::string &suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The line that starts at *at, which is moved past its line break.
std::string next_line(const std::string &text, size_t *at) {
    size_t end = text.find('\n', *at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(*at, end - *at);
    *at = end + 1;
    return line;
}

// Lines outside a section, or in one but not of the pair form, are not the
// writers' and are passed over.
std::vector<Section> split_sections(const std::string &report) {
    std::vector<Section> sections;
    bool open = false;
    for (size_t at = 0; at < report.size();) {
        std::string line = next_line(report, &at);
        if (line.empty()) {
            open = false;
        } else if (!open && line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            sections.push_back({line.substr(1, line.size() - 2), {}});
            open = true;
        } else if (size_t separator = line.find("\"=\"");
                   open && line.front() == '"' && separator != std::string::npos && separator > 0) {
            std::string value = line.substr(separator + 3);
            while (!ends_with(value, "\"") && at < report.size())
                value += "\n" + next_line(report, &at);
            if (ends_with(value, "\"")) value.pop_back();
            sections.back().values.push_back({line.substr(1, separator - 1), value});
        }
    }
    return sections;
}

const std::string *value_of(const Section &section, const char *name) {
    for (const auto &[key, value] : section.values)
        if (key == name) return &value;
    return nullptr;
}

Finding finding_of(const Section &section, const std::string &suffix) {
    Finding finding = {FINDING_ISSUE, section.name, section.name, "", ""};
    if (!suffix.empty() && ends_with(finding.id, suffix))
        finding.id.resize(finding.id.size() - suffix.size());
    if (const std::string *title = value_of(section, "Title")) finding.title = *title;
    const std::string *soname = value_of(section, "Lib");
    // An issue may begin with "Missing" too (MissingDriDrivers): a library
    // section is told by its Lib line.
    for (auto [kind, prefix] : {std::pair{FINDING_MISSING, "Missing"}, {FINDING_BROKEN, "Broken"}}) {
        if (!soname || !starts_with(finding.id, prefix)) continue;
        finding.kind = kind;
        finding.id.erase(0, std::string(prefix).size());
        finding.soname = *soname;
    }
    return finding;
}

} // namespace

WordSizeModel model_from_report(int bits, const std::string &report) {
    WordSizeModel side;
    side.bits = bits;
    side.checked = true;
    for (const Section &section : split_sections(report)) {
        if (section.name != "Properties") {
            side.findings.push_back(finding_of(section, bits == 64 ? ".amd64" : ""));
            continue;
        }
        for (const auto &[key, value] : section.values) side.properties.push_back({key, value});
    }
    return side;
}

int model_exit_status(const RunModel &model) {
    for (const WordSizeModel &side : model.sides)
        if (!side.findings.empty()) return found_something_status;
    return 0;
}
