// The one loop that starts, watches and reaps every child of the table:
// each pass reaps what ended, settles outcomes and time-outs, looks at the
// children's work and starts what the bound allows, then waits for the
// next event.
#pragma once

#include "isolate/job_table.h"

// Runs the loop until `job` has ended (the others go on meanwhile).
void wait_for_end(Job *job);
