#include "json_lines.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

static std::string escaped(const std::string &text) {
    std::string out;
    for (char c : text)
        out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
    return out;
}

std::string json_lines(const std::string &document) {
    char path[] = "/tmp/tarvek-json-XXXXXX";
    FILE *file = fdopen(mkstemp(path), "w");
    if (!file || fwrite(document.data(), 1, document.size(), file) != document.size() || fclose(file))
        return "error: cannot write the document";
    std::string out, command = "python3 " TARVEK_SOURCE_DIR "/tests/support/json_lines.py ";
    FILE *pipe = popen((command + path + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    int status = pipe ? pclose(pipe) : -1;
    unlink(path);
    return status == 0 ? out : "error: " + out;
}

std::string report_lines(const ParsedReport &report, int bits) {
    std::string findings, properties, b = std::to_string(bits) + "\t";
    for (const ReportSection &s : report.sections) {
        if (s.name == "Properties") {
            properties += "property\t" + b + escaped(s.values[0].first) + "\t" + escaped(s.values[0].second) + "\n";
            continue;
        }
        std::string id = s.name.substr(0, s.name.size() - (bits == 64 ? 6 : 0)), kind = "issue";
        std::string soname = "-", title = s.values.back().second;
        if (s.values.front().first == "Lib") {
            soname = s.values.front().second;
            kind = id.starts_with("Missing") ? "missing" : "broken";
            id = id.substr(kind.size());
        }
        findings += "finding\t" + b + kind + "\t" + escaped(s.name) + "\t" + escaped(id) + "\t" +
                    escaped(soname) + "\t" + escaped(title) + "\n";
    }
    return findings + properties;
}
