// Temporary: `tarvek64 --explain` before the option is merged. Runs the two
// plain programs beside it (argv[1] the folder) and explains both.
#include <cstdio>
#include <string>

#include "model/explain.h"
#include "model/package_query.h"

int main(int argc, char **argv) {
    std::string folder = argc > 1 ? argv[1] : ".";
    RunModel model;
    model.version = "1.0.0";
    model.distribution = read_distribution();
    for (int bits : {32, 64}) {
        std::string out, problem;
        std::string program = folder + (bits == 32 ? "/tarvek" : "/tarvek64");
        if (run_query({program}, &out, &problem)) {
            model.sides.push_back(model_from_report(bits, out));
        } else {
            WordSizeModel side;
            side.bits = bits, side.why_not_checked = program + " " + problem;
            model.sides.push_back(side);
        }
    }
    return explain_run(model);
}
