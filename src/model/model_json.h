// The model as one JSON document, and the one side of it the 64-bit program
// takes from the 32-bit program's document. Strings are written as UTF-8:
// control characters, '"' and '\' escaped, and each byte that is not part
// of well-formed UTF-8 replaced by U+FFFD.
#pragma once

#include <string>

#include "model/run_model.h"

constexpr int model_schema = 1;

std::string model_json(const RunModel &model);

// The side of `bits` from a document of model_json written by `version`;
// false, with the reason in *why, for anything else.
bool side_from_json(const std::string &text, const std::string &version, int bits,
                    WordSizeModel *side, std::string *why);
