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
