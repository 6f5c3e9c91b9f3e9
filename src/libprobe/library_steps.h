// The driver's library steps, in the order the sequence runs them.
#pragma once

void check_library_table();
void check_alternative_libraries();
void check_mdns_library();
void check_vulkan_library();
