// Temporary stand-ins for the model functions of the JSON work, only so that
// --explain can be tried end to end before it is merged; dropped then.
#include <cstdio>

#include "model/run_model.h"

int model_exit_status(const RunModel &model) {
    for (const WordSizeModel &side : model.sides)
        if (!side.findings.empty()) return 3;
    return 0;
}

Distribution read_distribution(const char *path) {
    Distribution d;
    FILE *file = fopen(path, "r");
    if (!file) return d.problem = std::string(path) + " cannot be read", d;
    char line[1024];
    while (fgets(line, sizeof line, file)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '"')) text.pop_back();
        size_t eq = text.find('=');
        if (eq == std::string::npos) continue;
        std::string key = text.substr(0, eq), value = text.substr(eq + 1);
        if (!value.empty() && value[0] == '"') value.erase(0, 1);
        if (key == "ID") d.id = value;
        if (key == "ID_LIKE") d.id_like = value;
        if (key == "VERSION_ID") d.version_id = value;
        if (key == "PRETTY_NAME") d.pretty_name = value;
    }
    fclose(file);
    d.known = !d.id.empty();
    if (!d.known) d.problem = std::string(path) + " has no ID";
    return d;
}

// Sections of a plain report: "[Name]", then "\"Key\"=\"Value\"" lines.
WordSizeModel model_from_report(int bits, const std::string &report) {
    WordSizeModel side;
    side.bits = bits, side.checked = true;
    std::string section;
    std::string suffix = bits == 64 ? ".amd64" : "";
    for (size_t at = 0, end; at < report.size(); at = end + 1) {
        end = report.find('\n', at);
        if (end == std::string::npos) end = report.size();
        std::string line = report.substr(at, end - at);
        if (line.size() > 2 && line[0] == '[') {
            section = line.substr(1, line.size() - 2);
            if (section == "Properties") continue;
            std::string id = section;
            if (!suffix.empty() && id.size() > suffix.size() &&
                id.compare(id.size() - suffix.size(), suffix.size(), suffix) == 0)
                id.resize(id.size() - suffix.size());
            FindingKind kind = FINDING_ISSUE;
            if (id.rfind("MissingLib", 0) == 0) kind = FINDING_MISSING, id.erase(0, 7);
            if (id.rfind("BrokenLib", 0) == 0) kind = FINDING_BROKEN, id.erase(0, 6);
            side.findings.push_back({kind, section, id, "", ""});
            continue;
        }
        size_t mid = line.find("\"=\"");
        if (line.empty() || line[0] != '"' || mid == std::string::npos) continue;
        std::string key = line.substr(1, mid - 1), value = line.substr(mid + 3);
        if (!value.empty()) value.pop_back();
        if (section == "Properties") side.properties.push_back({key, value});
        else if (key == "Lib") side.findings.back().soname = value;
        else if (key == "Title") side.findings.back().title = value;
    }
    return side;
}
