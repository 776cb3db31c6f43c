// Spot heights of a survey drawing: the heights written on a layer as texts
// ("151.50"), placed on the POINT, block or circle they label when one stands
// close by, and the marks and polyline vertices that carry their height as Z.
#pragma once

#include <string>
#include <vector>

#include "cad/drawing_data.hpp"

namespace ground {

struct Spot {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;  // metres
};

// A text of a height layer whose value is not a number or no ground height
// (outside model::kReliefLimit); a mark or 3D polyline whose own height is
// none has that height as its text.
struct UnreadText {
    cad::Handle handle = 0;
    std::string text;
};

struct SpotReading {
    std::vector<Spot> spots;  // texts, then POINTs, then 3D vertices, each in drawing order
    int texts = 0;            // height texts read as numbers
    int labelled = 0;         // of those, texts standing at the POINT or block they label
    int points = 0;           // marks and vertices with a height of their own
    std::vector<UnreadText> unread;
};

struct SpotOptions {
    std::vector<std::string> layers;  // an entity counts when it lies on one of them
    // A text labels the nearest POINT, INSERT or CIRCLE within this many text heights
    // of its anchor; surveyors write the height a little beside the mark.
    double labelReach = 4.0;
};

// Reads the spot heights of model space. Texts are read with either decimal
// separator; blanks around the number are allowed. A height outside
// model::kReliefLimit is unread, never a spot. A mark (POINT, INSERT,
// CIRCLE) labelled by a text takes the text's value (the surveyor's figure),
// an unlabelled mark its Z when that is not 0; 3D polylines give every vertex
// with its Z, flat polylines with an elevation (contours) every vertex at it.
SpotReading readSpotHeights(const cad::DrawingData& drawing, const SpotOptions& options);

}  // namespace ground
