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
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, document.data(), document.size()) != (ssize_t)document.size())
        return "error: cannot write the document";
    close(fd);
    std::string command = "python3 " TARVEK_SOURCE_DIR "/tests/support/json_lines.py " +
                          std::string(path) + " 2>&1";
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    int status = pipe ? pclose(pipe) : -1;
    unlink(path);
    return status == 0 ? out : "error: " + out;
}

std::string report_lines(const ParsedReport &report, int bits) {
    std::string findings, properties, b = std::to_string(bits);
    std::string suffix = bits == 64 ? ".amd64" : "";
    for (const ReportSection &s : report.sections) {
        if (s.name == "Properties") {
            for (const auto &[key, value] : s.values)
                properties += "property\t" + b + "\t" + escaped(key) + "\t" + escaped(value) + "\n";
            continue;
        }
        std::string id = s.name.substr(0, s.name.size() - (s.name.ends_with(suffix) ? suffix.size() : 0));
        std::string kind = "issue", soname = "-", title;
        for (const auto &[key, value] : s.values) {
            if (key == "Title") title = value;
            if (key != "Lib") continue;
            soname = value;
            kind = id.starts_with("Missing") ? "missing" : "broken";
            id = id.substr(kind.size());
        }
        findings += "finding\t" + b + "\t" + kind + "\t" + escaped(s.name) + "\t" + escaped(id) +
                    "\t" + escaped(soname) + "\t" + escaped(title) + "\n";
    }
    return findings + properties;
}
