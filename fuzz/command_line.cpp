// The command line from arbitrary bytes: NUL-separated arguments, the first
// one as argv[0] (or none at all, as execve allows).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "report/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FILE *null_stream = fopen("/dev/null", "w");
    std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> words;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos) end = text.size();
        words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (!words.empty() && words[0] == "argc0") words.clear();
    std::vector<char *> argv;
    for (auto &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    set_debug_enabled(0);
    FILE *saved_out = stdout, *saved_err = stderr;
    stdout = stderr = null_stream;
    CommandLineVerdict verdict = parse_command_line(static_cast<int>(words.size()), argv.data());
    if (verdict == SHOW_USAGE) print_usage();
    if (verdict == BAD_OPTION) print_try_help();
    stdout = saved_out;
    stderr = saved_err;
    // program_name points into argv[0], or at an empty name when there is none.
    if (words.empty() && strcmp(program_name, "") != 0) __builtin_trap();
    if (!words.empty() && (program_name < argv[0] || program_name > argv[0] + words[0].size()))
        __builtin_trap();
    return 0;
}
