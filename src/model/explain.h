// --explain: the model of a run told to a person, with the fix of each
// finding found from the system itself.
#pragma once

#include "model/run_model.h"

// Writes the explanation on the report stream; returns the exit status
// (that of model_exit_status).
int explain_run(const RunModel &model);
