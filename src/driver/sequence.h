// The fixed order in which every check runs, once per run.
#pragma once

void run_check_sequence();
