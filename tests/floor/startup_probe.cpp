// Built like the programs, with their start-up path: a preinit function, a
// global object, and a constructor and destructor function, each saying
// when it runs. Before glibc 2.34 nothing but the init function handed to
// __libc_start_main runs the program's constructors, so a wrong hand-over
// shows as a missing line, and anything run twice as an extra one.
#include <unistd.h>

#include <cstring>

static void say(const char *line) {
    ssize_t written = write(STDOUT_FILENO, line, strlen(line));
    (void)written;
}

namespace {
struct Announcer {
    Announcer() { say("object constructed\n"); }
    ~Announcer() { say("object destroyed\n"); }
};
Announcer announcer;
}  // namespace

static void preinit_function(int, char **, char **) { say("preinit function\n"); }
using PreinitFn = void (*)(int, char **, char **);
__attribute__((section(".preinit_array"), used)) static const PreinitFn preinit_entry =
    preinit_function;

__attribute__((constructor)) static void constructor_function() { say("constructor function\n"); }
__attribute__((destructor)) static void destructor_function() { say("destructor function\n"); }

int main() {
    say("main\n");
    return 0;
}
