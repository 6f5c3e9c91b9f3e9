// Parsing is exact and whole-word: no abbreviations, no values, no "--".
#include "driver/command_line.h"

#include <cstdio>
#include <cstring>

#include "report/report.h"

const char *program_name = nullptr;
const char *program_path = nullptr;

// argc may be 0 (execve allows an empty vector): then there is no argv[0]
// to read, and the program has no name at all.
static const char *name_from_argv0(int argc, char **argv) {
    if (argc < 1 || !argv[0]) return "";
    const char *slash = strrchr(argv[0], '/');
    return slash ? slash + 1 : argv[0];
}

static bool asks_for_help(const char *arg) {
    return strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0 || strcmp(arg, "-?") == 0;
}

CommandLineVerdict parse_command_line(int argc, char **argv) {
    program_name = name_from_argv0(argc, argv);
    program_path = argc >= 1 ? argv[0] : nullptr;
    bool help = false;
    bool version = false;
    bool bad = false;
    bool json = false;
    bool explain = false;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const char *arg = argv[i];
        if (strcmp(arg, "--debug") == 0) {
            set_debug_enabled(1);
        } else if (asks_for_help(arg)) {
            help = true;
        } else if (strcmp(arg, "--version") == 0) {
            version = true;
        } else if (strcmp(arg, "--json") == 0) {
            json = true;
        } else if (strcmp(arg, "--explain") == 0) {
            explain = true;
        } else {
            fprintf(stderr, "%s:error: unknown option '%s'\n", program_name, arg);
            bad = true;
        }
    }
    // As with --help, unknown options are still named, but do not fail the run.
    if (help) return SHOW_USAGE;
    if (version) return SHOW_VERSION;
    if (json && explain && !bad)
        fprintf(stderr, "%s:error: '--json' and '--explain' cannot be given together\n",
                program_name);
    if (bad || (json && explain)) return BAD_OPTION;
    return json ? PRINT_JSON : explain ? PRINT_EXPLAINED : RUN_CHECKS;
}

void print_usage() {
    fprintf(report_stream, "Usage: %s [--debug] [--help]\n", program_name);
    fputs("\n"
          "Checks the system environment for issues that may affect Windows applications.\n"
          "\n"
          "Options:\n"
          "  --debug       Outputs detailed debugging information.\n"
          "  --json        Prints what was found, of every word size it can check, as JSON.\n"
          "  --explain     Explains what was found and what to do about it.\n"
          "  --help, -h    Shows this help message\n",
          report_stream);
}

void print_version() {
    fprintf(report_stream, "%s %s\n", program_name, TARVEK_VERSION);
}

void print_try_help() {
    fprintf(stderr, "%s:error: try '%s --help' for more information\n", program_name,
            program_name);
}
