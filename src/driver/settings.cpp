// Storage of the process-wide settings declared in settings.h.
#include "driver/settings.h"

const char *program_name = nullptr;
int debug_enabled = 0;
int target_bits = 0;
const char *arch_suffix = nullptr;
