// The checks run as they run without --json, their report kept in memory
// and read back into the model. In tarvek64 the 32-bit program beside it
// runs its own --json meanwhile, so that one answer holds both word sizes.
#include "driver/model_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver/command_line.h"
#include "driver/sequence.h"
#include "isolate/outside_program.h"
#include "report/output.h"
#include "model/model_json.h"
#include "report/report.h"
#include "target/target.h"

extern char **environ;

// Its document is tens of kilobytes; the time is that of its own checks
// with every watchdog run out, twice over.
constexpr size_t sibling_output_bound = 4 << 20;
constexpr unsigned sibling_seconds = 30;

struct Sibling {
    std::string path; // empty: this program's folder is unknown
    std::string refused;
    OutsideProgram program;
};

// From /proc's link, or from argv[0] where /proc is missing.
static std::string own_folder() {
    char link[4096];
    ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
    std::string own = n > 0 ? std::string(link, static_cast<size_t>(n))
                            : std::string(program_path ? program_path : "");
    size_t slash = own.rfind('/');
    return slash == std::string::npos ? "" : own.substr(0, slash + 1);
}

// A 64-bit program in its place (a copy of this one, say) would run its own
// sibling in turn, and that one its own, without end.
static bool is_64bit_program(const std::string &path) {
    unsigned char head[5] = {};
    FILE *file = fopen(path.c_str(), "re");
    bool elf64 = file && fread(head, 1, 5, file) == 5 && memcmp(head, "\x7f" "ELF", 4) == 0 &&
                 head[4] == 2;
    if (file) fclose(file);
    return elf64;
}

static Sibling start_sibling() {
    Sibling sibling;
    std::string folder = own_folder();
    if (folder.empty()) return sibling;
    sibling.path = folder + "tarvek";
    if (is_64bit_program(sibling.path)) {
        sibling.refused = "not started: a 64-bit program";
        return sibling;
    }
    std::vector<char *> argv = {sibling.path.data(), const_cast<char *>("--json")};
    if (is_debug_enabled()) argv.push_back(const_cast<char *>("--debug"));
    argv.push_back(nullptr);
    sibling.program = start_outside_program(argv.data(), environ, sibling_output_bound,
                                            sibling_seconds, is_debug_enabled());
    return sibling;
}

// Why its answer cannot be taken, as far as its end tells; empty when it
// ended as a run of --json ends.
static std::string sibling_failure(const std::string &path, const OutsideResult &result) {
    int error = result.start_error;
    // The kernel says ENOENT for a program whose loader is missing, too.
    if (error == ENOENT && access(path.c_str(), F_OK) == 0)
        return "cannot be started: its 32-bit loader or C library is missing";
    if (error == ENOEXEC)
        return "cannot be started: " + std::string(strerror(error)) +
               " (this kernel does not run 32-bit programs)";
    if (error) return "cannot be started: " + std::string(strerror(error));
    if (result.timed_out)
        return "no answer within " + std::to_string(sibling_seconds) + " seconds; stopped";
    if (!result.ended) return "ended, and how is not known";
    int status = result.wait_status;
    if (WIFSIGNALED(status))
        return "ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
               strsignal(WTERMSIG(status)) + ")";
    if (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != found_something_status)
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (result.output_truncated)
        return "printed more than " + std::to_string(sibling_output_bound) + " bytes";
    return "";
}

static WordSizeModel finish_sibling(Sibling *sibling) {
    WordSizeModel side;
    side.bits = 32;
    if (sibling->path.empty()) {
        side.why_not_checked = "tarvek --json: the folder of this program is not known";
        return side;
    }
    OutsideResult result;
    finish_outside_program(&sibling->program, &result);
    if (!result.errors.empty())
        debug_trace("%s --json --debug wrote on standard error:\n%s", sibling->path.c_str(),
                    result.errors.c_str());
    std::string why = sibling->refused.empty() ? sibling_failure(sibling->path, result) : sibling->refused;
    if (why.empty() && side_from_json(result.output, TARVEK_VERSION, 32, &side, &why)) return side;
    side = WordSizeModel{};
    side.bits = 32;
    side.why_not_checked = sibling->path + " --json: " + why;
    debug_trace("The 32-bit side was not checked: %s\n", side.why_not_checked.c_str());
    return side;
}

RunModel run_checks_for_model() {
    RunModel model;
    model.version = TARVEK_VERSION;
    model.distribution = read_distribution();
    Sibling sibling;
    if (target_bits == 64) sibling = start_sibling();
    WordSizeModel own;
    own.bits = target_bits;
    own.why_not_checked = "no memory to keep the report in";
    if (keep_report_in_memory()) {
        run_check_sequence();
        std::string report;
        bool whole = take_kept_report(&report);
        own = model_from_report(target_bits, report);
        if (!whole) {
            own.checked = false;
            own.why_not_checked = "the report could not be kept whole in memory";
        }
    }
    if (target_bits == 64) model.sides.push_back(finish_sibling(&sibling));
    model.sides.push_back(own);
    return model;
}

int print_model_json(const RunModel &model) {
    std::string document = model_json(model);
    fwrite(document.data(), 1, document.size(), report_stream);
    return model_exit_status(model);
}
