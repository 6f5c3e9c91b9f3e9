// --json: the checks with their report kept in memory, and the model of
// every word size this program can check (run_checks_for_model) as JSON.
#pragma once

#include "model/run_model.h"

// Writes the document on the report stream; returns the exit status.
int print_model_json(const RunModel &model);
