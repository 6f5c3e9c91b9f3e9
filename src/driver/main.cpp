// Entry point: the command line, then the whole check sequence once (its
// report, or with --json the document made from it).
#include "driver/command_line.h"
#include "driver/model_run.h"
#include "driver/sequence.h"
#include "driver/startup.h"
#include "model/explain.h"
#include "model/run_model.h"

static int run(int argc, char **argv) {
    switch (parse_command_line(argc, argv)) {
    case SHOW_USAGE:
        print_usage();
        return 0;
    case SHOW_VERSION:
        print_version();
        return 0;
    case BAD_OPTION:
        print_try_help();
        return 2;
    case PRINT_JSON:
        return print_model_json(run_checks_for_model());
    case PRINT_EXPLAINED:
        return explain_run(run_checks_for_model());
    case RUN_CHECKS:
        break;
    }
    run_check_sequence();
    return 0;
}

int main(int argc, char **argv) {
    start_process();
    return finish_process(run(argc, argv));
}
