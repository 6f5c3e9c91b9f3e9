// Process-wide settings. The driver writes them before the first check; every
// other part, check children included (they inherit them at fork), only reads.
#pragma once

extern const char *program_name;
extern int debug_enabled;
extern int target_bits;
extern const char *arch_suffix;
