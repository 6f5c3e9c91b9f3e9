#include "graphics_report.h"

// Labels of the sections only the graphics steps write.
std::string graphics_part(const std::string &report) {
    return report_slice(report, {"display.", "opengl.", "MissingLibX11", "MissingLibGL", "X11",
                                 "Opengl", "MissingDriDrivers"});
}

std::string graphics_trace(const ProgramUnderTest &program, const std::string &err) {
    std::string found = "found " + std::to_string(program.bits) + "-bit libX11.so.6\n";
    size_t at = err.find(found);
    return at == std::string::npos ? "" : err.substr(at);
}

std::map<std::string, std::string> parse_key_values(const std::string &text) {
    std::map<std::string, std::string> values;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    return values;
}
