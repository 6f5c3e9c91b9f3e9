// The command line: five options, no values, and the two error messages.
#pragma once

// What the command line asks for.
enum CommandLineVerdict {
    RUN_CHECKS,
    SHOW_USAGE,
    SHOW_VERSION,
    BAD_OPTION,
};

// argv[0] after its last '/', as the usage and error messages name the
// program; set by parse_command_line.
extern const char *program_name;

// Sets program_name and turns on the trace for "--debug"; writes the
// unknown-option messages.
CommandLineVerdict parse_command_line(int argc, char **argv);
void print_usage();
// "PROGRAM VERSION", the version being the project's.
void print_version();
void print_try_help();
