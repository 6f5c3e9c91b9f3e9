// Two probes of the running kernel and of our own limits, made in the main
// process: neither loads an outside library, so neither needs a child.
#pragma once

// Reports "BrokenLDT16" when the kernel refuses a 16-bit code segment.
void probe_ldt16();
// Reports "BadRlimitAS" when the address space has a hard limit.
void check_address_space_limit();
