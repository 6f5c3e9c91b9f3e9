// The command line: seven options, no values, and the error messages.
#pragma once

// What the command line asks for.
enum CommandLineVerdict {
    RUN_CHECKS,
    SHOW_USAGE,
    SHOW_VERSION,
    BAD_OPTION,
    PRINT_JSON,    // the checks, then the model as JSON instead of the report
    PRINT_EXPLAINED,
};

// argv[0] after its last '/', as the usage and error messages name the
// program; set by parse_command_line.
extern const char *program_name;
// argv[0] as given: where the program is, when /proc cannot tell.
extern const char *program_path;

// Sets program_name and turns on the trace for "--debug"; writes the
// unknown-option messages, and one when --json and --explain come together.
CommandLineVerdict parse_command_line(int argc, char **argv);
void print_usage();
// "PROGRAM VERSION", the version being the project's.
void print_version();
void print_try_help();
