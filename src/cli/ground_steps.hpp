// "Отметки по съёмке" as a step of `kernavisto-cli profile`: --ground-layer
// (repeatable), --ground-step, --ground-max-edge and --ground-replace. It runs
// after the editor steps, so heights those steps set count as set by hand.
// --cross-survey[=DIST] then reads the crossed utilities' tops from the
// survey ("Верх сетей по съёмке"), never over a top typed or picked.
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
    std::string crossSurvey;  // --cross-survey's distance, m; empty: 1
    CLI::Option* crossSurveyOption = nullptr;

    void add(CLI::App& cmd);
    bool requested() const { return !layers.empty(); }
    ground::GroundOptions groundOptions() const;
    bool crossSurveyRequested() const {
        return crossSurveyOption && crossSurveyOption->count() > 0;
    }
    // The distance --cross-survey gives; cad::Error when it is no number.
    double crossReach() const;
};

}  // namespace cli
