// The one place the explanation meets the system: the distribution decides
// the family, the family's tools the fixes.
#include "model/explain.h"

#include <cstdio>

#include "model/explain_text.h"
#include "model/package_lookup.h"

int explain_run(const RunModel &model) {
    DistroFamily family = distro_family(model.distribution);
    std::string text = render_explanation(model, family, look_up_fixes(model, family));
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
    return model_exit_status(model);
}
