// What differs between tarvek (32-bit x86) and tarvek64 (x86-64): facts of
// each program, fixed when it is compiled. The build compiles every source
// once per word size with TARVEK_TARGET_BITS set.
#pragma once

#if TARVEK_TARGET_BITS == 32
inline constexpr int target_bits = 32;
inline constexpr const char *arch_suffix = "";
#elif TARVEK_TARGET_BITS == 64
inline constexpr int target_bits = 64;
inline constexpr const char *arch_suffix = ".amd64";
#else
#error "TARVEK_TARGET_BITS must be 32 or 64"
#endif

// Library table rows that only the 64-bit program probes, each expanded at
// its alphabetical place in the table (the 32-bit table simply lacks them).
#if TARVEK_TARGET_BITS == 64
#define TARGET_ROWS_AFTER_CAPI20 {"LibCrypt", "libcrypt.so.1"},
#define TARGET_ROWS_AFTER_FONTCONFIG {"LibGmp", "libgmp.so.10"},
#define TARGET_ROWS_AFTER_KRB5 {"LibNsl", "libnsl.so.1"},
#define TARGET_ROWS_AFTER_UDEV {"LibUnwind2", "libunwind.so.8"},
#else
#define TARGET_ROWS_AFTER_CAPI20
#define TARGET_ROWS_AFTER_FONTCONFIG
#define TARGET_ROWS_AFTER_KRB5
#define TARGET_ROWS_AFTER_UDEV
#endif
