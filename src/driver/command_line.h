// The command line: four options, no values, and the two error messages.
#pragma once

// What the command line asks for.
enum CommandLineVerdict {
    RUN_CHECKS,
    SHOW_USAGE,
    BAD_OPTION,
};

// Sets program_name and debug_enabled; writes the unknown-option messages.
CommandLineVerdict parse_command_line(int argc, char **argv);
void print_usage();
void print_try_help();
