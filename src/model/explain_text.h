// The explanation a person reads: pure text from the model and the fixes.
#pragma once

#include <string>

#include "model/distro_family.h"
#include "model/package_lookup.h"
#include "model/run_model.h"

// The sentence of one finding, "{bits}" filled in: from the words table,
// from the plugin pack table, or the section itself when neither knows it.
std::string finding_sentence(const Finding &finding, int bits);

// Whether an OpenGL renderer string names a software rasteriser.
bool is_software_renderer(const std::string &renderer);

std::string render_explanation(const RunModel &model, DistroFamily family,
                               const FixLookup &fixes);
