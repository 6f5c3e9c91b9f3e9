// The standard library's allocation and its error paths, for a program built
// without exceptions. Taken from the static libstdc++, they would bring its
// exception machinery, and with it the unwinder and symbols of the build
// machine's glibc far newer than 2.17 (arc4random, _dl_find_object). Here an
// allocation that fails, or a string or vector asked for the impossible,
// ends the program at once, as an exception nobody catches would.
#include <unistd.h>

#include <cstdlib>
#include <new>
// Declares the functions below, which the library headers call.
#include <bits/functexcept.h>

namespace {

[[noreturn]] void give_up(const char *why) {
    const char prefix[] = "tarvek: ";
    size_t length = 0;
    while (why[length]) ++length;
    if (write(STDERR_FILENO, prefix, sizeof prefix - 1) >= 0 && write(STDERR_FILENO, why, length) >= 0)
        (void)!write(STDERR_FILENO, "\n", 1);
    abort();
}

void *allocate(size_t size) {
    void *memory = malloc(size ? size : 1);
    if (!memory) give_up("out of memory");
    return memory;
}

} // namespace

void *operator new(size_t size) { return allocate(size); }
void *operator new[](size_t size) { return allocate(size); }
void operator delete(void *memory) noexcept { free(memory); }
void operator delete[](void *memory) noexcept { free(memory); }
void operator delete(void *memory, size_t) noexcept { free(memory); }
void operator delete[](void *memory, size_t) noexcept { free(memory); }

namespace std {
void __throw_bad_alloc() { give_up("out of memory"); }
void __throw_bad_array_new_length() { give_up("out of memory"); }
void __throw_length_error(const char *what) { give_up(what); }
void __throw_logic_error(const char *what) { give_up(what); }
void __throw_out_of_range_fmt(const char *what, ...) { give_up(what); }
} // namespace std
