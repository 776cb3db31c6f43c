// "Верх сетей по съёмке": the top of each crossed utility of the picket in
// work read from the survey, as the surveyor writes it beside the pipe or
// cable: a height text on the crossed object's own layer near the crossing.
#pragma once

#include <string>
#include <vector>

#include "model/workspace.hpp"

namespace ground {

struct CrossedTopsReport {
    std::vector<int> found;  // 1-based points whose top came from a text
    std::vector<int> kept;   // crossings whose typed or picked top stayed
    std::vector<int> none;   // crossings with no height text near enough
};

// Reads the height texts (ground::readSpotHeights) of every crossed object's
// layer and gives each crossing point of the picket in work the nearest
// within `reachMetres` of terrain (FoundBy::Survey). A top typed or picked
// stays; one read from the survey before is read anew, and kept when no text
// is near now. Points that are no crossing are left alone. cad::Error (in
// Russian) without a picket in work or an open plan, or when the reach is no
// distance of kSurveyDistanceLimit above 0.
CrossedTopsReport crossedTopsFromSurvey(model::Workspace& ws, double reachMetres = 1.0);

// The report as the user reads it, in Russian, one line per subject.
std::string reportText(const CrossedTopsReport& report);

}  // namespace ground
