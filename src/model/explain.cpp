// The one place the explanation meets the system: the distribution decides
// the family, the family's tools the fixes.
#include "model/explain.h"

#include <cstdio>

#include "model/explain_text.h"
#include "model/package_lookup.h"
#include "report/report.h"

int explain_run(const RunModel &model) {
    DistroFamily family = distro_family(model.distribution);
    std::string text = render_explanation(model, family, look_up_fixes(model, family));
    // The report's way out, whose write errors the end of the run reports.
    fwrite(text.data(), 1, text.size(), report_stream);
    fflush(report_stream);
    return model_exit_status(model);
}
