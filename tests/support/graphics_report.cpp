#include "graphics_report.h"

#include <cstdlib>
#include <vector>

std::string property_section(const std::string &key, const std::string &value) {
    return "[Properties]\n\"" + key + "\"=\"" + value + "\"\n\n";
}

static const std::map<std::string, std::string> issue_titles = {
    {"X11NotWorking", "X11 does not work"},
    {"X11LowDepth", "Low X11 Screen Depth"},
    {"OpenglNotWorking", "OpenGL does not work"},
    {"OpenglNoDRI", "OpenGL is not using Direct Rendering"},
    {"OpenglOutdatedNvidia", "Outdated NVIDIA OpenGL Driver"},
    {"OpenglOutdatedAmd", "Outdated AMD OpenGL Driver"},
    {"OpenglNoTextureS3TC", "OpenGL has no S3TC texture support"},
    {"OpenglNoTextureFloat", "OpenGL has no floating point texture support"},
    {"OpenglNoGLSL130", "OpenGL shading language version is older than 1.30"},
    {"OpenglNoD3D10", "The OpenGL capabilities are insufficient for Direct3D 10 support"},
    {"MissingDriDrivers", "There are no DRI drivers"},
};

std::string issue_section(const ProgramUnderTest &program, const std::string &issue_id) {
    auto title = issue_titles.find(issue_id);
    if (title == issue_titles.end()) abort();
    return "[" + issue_id + program.suffix + "]\n\"Title\"=\"" + title->second + "\"\n\n";
}

std::string missing_library_section(const ProgramUnderTest &program, const std::string &lib_id,
                                    const std::string &soname) {
    return "[Missing" + lib_id + program.suffix + "]\n\"Lib\"=\"" + soname +
           "\"\n\"Title\"=\"Missing " + std::to_string(program.bits) + "-bit " + soname +
           " library\"\n\n";
}

// Section starts that only the graphics steps write.
static const std::vector<std::string> graphics_starts = {
    "[Properties]\n\"display.",
    "[Properties]\n\"opengl.",
    "[MissingLibX11",
    "[MissingLibGL]",
    "[MissingLibGL.",
    "[X11",
    "[Opengl",
    "[MissingDriDrivers",
};

std::string graphics_part(const std::string &report) {
    size_t first = std::string::npos;
    for (const auto &start : graphics_starts) {
        for (size_t at = report.find(start); at != std::string::npos;
             at = report.find(start, at + 1)) {
            if (at == 0 || report[at - 1] == '\n') {
                first = std::min(first, at);
                break;
            }
        }
    }
    return first == std::string::npos ? "" : report.substr(first);
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
