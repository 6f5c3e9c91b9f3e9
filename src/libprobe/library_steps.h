// The driver's library steps, in the order the sequence runs them.
#pragma once

// Queues the vulkan probe, every table row and every candidate soname.
void start_library_probes();

void check_library_table();
void check_alternative_libraries();
void check_mdns_library();
void check_vulkan_library();
