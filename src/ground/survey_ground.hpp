// "Отметки по съёмке": the relief heights of the picket in work taken from the
// spot heights of a survey drawn in the plan, optionally with ground points
// added every so many metres so that the ground line follows the terrain
// between crossings.
#pragma once

#include <string>
#include <vector>

#include "ground/spot_heights.hpp"
#include "model/workspace.hpp"

namespace ground {

// What the user chooses (layers, step, longest edge, reach of a near spot —
// a route ends at a manhole whose cover stands a little beside the pipe's
// end — and replacing hand-set heights), and what the program knows.
struct GroundOptions : model::SurveyChoice {
    double unitsPerMetre = 0.0;  // drawing units of the plan in a metre; 0: the plan's units
    double labelReach = 4.0;     // text heights between a height text and its mark
};

struct GroundReport {
    int texts = 0;     // height texts read
    int labelled = 0;  // of them, at the mark they label
    int points = 0;    // marks and vertices with a height of their own
    std::vector<UnreadText> unread;
    int filled = 0;             // points that got their height from the surface
    int keptByHand = 0;         // points whose hand-set height was kept
    int added = 0;              // ground points added
    std::vector<int> nearSpot;  // 1-based numbers of points outside that took a near spot
    std::vector<int> outside;   // 1-based numbers of points left without a height
};

// Works on the picket in work and the spot heights of the project drawing.
// A relief height counts as set by hand unless it is automatic, "same as the
// previous point", or still the one the survey gave. Added ground points lie
// on the straight line between their neighbours at whole multiples of the
// step from the picket's start (none closer than a tenth of the step to an
// existing point, none where the surface has no height); they get an
// automatic depth and the diameters of the point before them, and no object.
// The current point of the editor stays the same point.
// cad::Error (in Russian) when there is no picket in work, no layer is given,
// the numbers are not positive where they must be, or the layers hold no
// spot height.
GroundReport fillGroundFromSurvey(model::Workspace& ws, const GroundOptions& options);

// The report as the user reads it, in Russian, one line per subject.
std::string reportText(const GroundReport& report);

}  // namespace ground
