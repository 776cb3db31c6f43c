// "Отметки по съёмке" as a step of `kernavisto-cli profile`: --ground-layer
// (repeatable), --ground-step, --ground-max-edge and --ground-replace. It runs
// after the editor steps, so heights those steps set count as set by hand.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "ground/survey_ground.hpp"

namespace cli {

struct GroundStepOptions {
    std::vector<std::string> layers;
    double step = 0.0;
    double maxEdge = 100.0;
    double near = 1.0;
    bool replace = false;

    void add(CLI::App& cmd);
    bool requested() const { return !layers.empty(); }
    ground::GroundOptions groundOptions() const;
};

}  // namespace cli
