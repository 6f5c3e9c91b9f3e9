// --explain: what the run found, told to a person, with what to do about it.
#pragma once

#include "model/run_model.h"

// Writes the explanation on the report stream; returns the exit status.
int explain_run(const RunModel &model);
