// Entry point: the command line, then the whole check sequence once.
#include "driver/command_line.h"
#include "driver/sequence.h"
#include "driver/startup.h"
#include "isolate/run_isolated.h"

int main(int argc, char **argv) {
    harden_standard_streams();
    reset_inherited_signals();
    switch (parse_command_line(argc, argv)) {
    case SHOW_USAGE:
        print_usage();
        return 0;
    case BAD_OPTION:
        print_try_help();
        return 2;
    case RUN_CHECKS:
        break;
    }
    run_check_sequence();
    return 0;
}
