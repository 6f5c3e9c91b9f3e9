// Package tools through the runner's outside program: the same bounds, the
// same group killed at the time bound, nothing of theirs in this process.
// The runner takes a full path, so the tool is found in PATH here.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "isolate/outside_program.h"
#include "model/package_query.h"

extern char **environ;

// ldconfig -p and dpkg -S of many files answer in hundreds of kilobytes.
constexpr size_t query_output_bound = 8u << 20;

// Without stat(), whose only version in newer C libraries is too new.
static bool is_folder(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

// The first executable file of that name in PATH (PATH unset: the C
// library's default); a name with a '/' is taken as it is. Nothing found
// leaves the name, whose start then fails with "No such file or directory".
static std::string tool_path(const std::string &name) {
    if (name.find('/') != std::string::npos) return name;
    const char *path = getenv("PATH");
    std::string folders = path ? path : "/bin:/usr/bin";
    size_t start = 0;
    for (;;) {
        size_t end = folders.find(':', start);
        std::string folder = folders.substr(start, end == std::string::npos ? end : end - start);
        std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0 && !is_folder(candidate)) return candidate;
        if (end == std::string::npos) return name;
        start = end + 1;
    }
}

// The environment as it is, but the C locale: the answers are parsed.
static std::vector<std::string> tool_environment() {
    std::vector<std::string> environment;
    for (char **entry = environ; *entry; ++entry)
        if (strncmp(*entry, "LC_ALL=", 7) != 0) environment.push_back(*entry);
    environment.push_back("LC_ALL=C");
    return environment;
}

static std::vector<char *> pointers(std::vector<std::string> *strings) {
    std::vector<char *> result;
    for (std::string &text : *strings) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// Why a finished tool gave no answer; empty when it exited by itself.
static std::string query_failure(const OutsideResult &result, int seconds) {
    if (result.start_error) return std::string("did not start: ") + strerror(result.start_error);
    if (result.timed_out) return "did not answer within " + std::to_string(seconds) + " s";
    if (!result.ended) return "ended, and how is not known";
    if (WIFSIGNALED(result.wait_status))
        return "was killed by signal " + std::to_string(WTERMSIG(result.wait_status));
    if (result.output_truncated)
        return "printed more than " + std::to_string(query_output_bound >> 20) + " MiB";
    return "";
}

bool run_query(const std::vector<std::string> &argv, int seconds, std::string *output,
               std::string *problem) {
    std::vector<std::string> args = argv;
    args[0] = tool_path(argv[0]);
    std::vector<std::string> environment = tool_environment();
    std::vector<char *> arg_pointers = pointers(&args), env_pointers = pointers(&environment);
    OutsideProgram program = start_outside_program(arg_pointers.data(), env_pointers.data(),
                                                   query_output_bound,
                                                   static_cast<unsigned>(seconds), false);
    OutsideResult result;
    finish_outside_program(&program, &result);
    *output = result.output;
    *problem = query_failure(result, seconds);
    return problem->empty();
}
