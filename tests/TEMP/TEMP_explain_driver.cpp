// Temporary: `tarvek64 --explain` before the option is merged. Runs the two
// plain programs beside it (argv[1] the folder) and explains both.
#include <cstdio>
#include <string>

#include "model/explain.h"
#include "model/package_query.h"

int main(int argc, char **argv) {
    std::string folder = argc > 1 ? argv[1] : ".";
    RunModel model;
    model.version = "1.0.0";
    model.distribution = read_distribution();
    for (int bits : {32, 64}) {
        std::string out, problem;
        std::string program = folder + (bits == 32 ? "/tarvek" : "/tarvek64");
        if (run_query({program}, 60, &out, &problem)) {
            model.sides.push_back(model_from_report(bits, out));
        } else {
            WordSizeModel side;
            side.bits = bits, side.why_not_checked = program + " " + problem;
            model.sides.push_back(side);
        }
    }
    return explain_run(model);
}

// Without exceptions a failed container operation can only end the
// program; defined here, libstdc++'s exception objects (and the unwinder's
// newer glibc symbols) stay out of the link.
#include <cstdlib>
namespace std {
[[noreturn]] void __throw_out_of_range_fmt(const char *, ...) { abort(); }
[[noreturn]] void __throw_length_error(const char *) { abort(); }
[[noreturn]] void __throw_logic_error(const char *) { abort(); }
[[noreturn]] void __throw_bad_alloc() { abort(); }
[[noreturn]] void __throw_bad_array_new_length() { abort(); }
[[noreturn]] void __throw_out_of_range(const char *) { abort(); }
[[noreturn]] void __throw_invalid_argument(const char *) { abort(); }
} // namespace std
void *operator new(std::size_t size) {
    void *p = malloc(size ? size : 1);
    if (!p) abort();
    return p;
}
void operator delete(void *p) noexcept { free(p); }
void operator delete(void *p, std::size_t) noexcept { free(p); }
