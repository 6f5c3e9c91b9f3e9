// Whether a thread of this word size can be cancelled without taking the
// process down: glibc's pthread_cancel needs libgcc_s's unwinder.
#pragma once

// A CheckFn; the argument is ignored. 0 when pthread_create or
// pthread_cancel reports an error, nonzero otherwise (also when a library
// is missing: that has a section of its own).
int check_thread_cancel(const char *arg);
