// Forced into every unit of both programs (-include): binds the calls whose
// default version in the build machine's glibc is newer than 2.17 to the
// older version that glibc keeps for compatibility, so the programs start on
// every glibc from 2.17 on, old and new alike. glibc 2.34 moved libdl into
// libc and gave dlopen and friends a new version; the old versions are the
// same functions, found in libdl.so.2 before 2.34 and in libc.so.6 after.
// The large-file fcntl of the 32-bit build (fcntl64, new in 2.28) becomes
// the old fcntl: the two differ only in the record-lock commands, which take
// a struct flock64 in fcntl64; F_GETFD, F_SETFD, F_GETFL and F_SETFL, the
// commands we use, pass an int to both alike.
//
// A function whose only version is newer than 2.17 (memfd_create,
// pidfd_open, getrandom, stat since 2.33, ...) has no entry here: call the
// kernel through syscall() instead, with a fallback where it says ENOSYS.
// The glibc-floor test fails a build that needs anything newer.
#pragma once

#if defined(__x86_64__)
__asm__(".symver dlopen, dlopen@GLIBC_2.2.5");
__asm__(".symver dlsym, dlsym@GLIBC_2.2.5");
__asm__(".symver dlclose, dlclose@GLIBC_2.2.5");
__asm__(".symver dlerror, dlerror@GLIBC_2.2.5");
__asm__(".symver dladdr, dladdr@GLIBC_2.2.5");
#elif defined(__i386__)
// dlopen@GLIBC_2.0 is the unchecked variant of the first releases.
__asm__(".symver dlopen, dlopen@GLIBC_2.1");
__asm__(".symver dlsym, dlsym@GLIBC_2.0");
__asm__(".symver dlclose, dlclose@GLIBC_2.0");
__asm__(".symver dlerror, dlerror@GLIBC_2.0");
__asm__(".symver dladdr, dladdr@GLIBC_2.0");
__asm__(".symver fcntl64, fcntl@GLIBC_2.0");
#else
#error "tarvek is built for i386 and x86-64 only"
#endif
