// The C start-up file calls __libc_start_main, and glibc 2.34 gave it a new
// version that runs the program's constructors itself; the start-up file of
// 2.34 and later passes it no init function. Linked with
// -Wl,--wrap=__libc_start_main, that call lands here instead and goes on to
// the old version, which every glibc from 2.17 on has, handing it the init
// function that the start-up file before 2.34 supplied: _init, then the init
// array. The old version runs only what it is handed (and the new glibc runs
// the same when it is handed one), so without this no constructor would run
// on glibc before 2.34.
//
// The preinit array and the destructors are not ours to run: for a
// dynamically linked program the dynamic loader runs the preinit array
// before any of this, and the fini array and _fini at exit, on every glibc;
// __libc_start_main ignores its fini argument there, old version and new.
// Running either here would run it twice.

using MainFn = int (*)(int, char **, char **);
using InitFn = void (*)(int, char **, char **);

extern "C" {
// Defined by the linker and the C start-up files of this very program.
extern const InitFn __init_array_start[] __attribute__((visibility("hidden")));
extern const InitFn __init_array_end[] __attribute__((visibility("hidden")));
void _init();

int old_libc_start_main(MainFn main, int argc, char **argv, InitFn init, void (*fini)(),
                        void (*rtld_fini)(), void *stack_end);
int __wrap___libc_start_main(MainFn main, int argc, char **argv, InitFn init, void (*fini)(),
                             void (*rtld_fini)(), void *stack_end);
}

#if defined(__x86_64__)
__asm__(".symver old_libc_start_main, __libc_start_main@GLIBC_2.2.5");
#elif defined(__i386__)
__asm__(".symver old_libc_start_main, __libc_start_main@GLIBC_2.0");
#endif

static void run_program_constructors(int argc, char **argv, char **envp) {
    _init();
    for (const InitFn *constructor = __init_array_start; constructor != __init_array_end;
         ++constructor)
        (*constructor)(argc, argv, envp);
}

int __wrap___libc_start_main(MainFn main, int argc, char **argv, InitFn init, void (*fini)(),
                             void (*rtld_fini)(), void *stack_end) {
    // A start-up file from before 2.34 hands its own init function: keep it.
    // fini passes through for the same reason (unused in such programs).
    return old_libc_start_main(main, argc, argv, init ? init : run_program_constructors, fini,
                               rtld_fini, stack_end);
}
