// Keeping the texts of a table row apart. Texts standing upright in a row
// each take a band of the row as wide as their height; where neighbouring
// points are closer than that, their texts are moved apart along the row as
// little as possible and, where the crowd is dense, made smaller down to a
// floor. No text is ever dropped, and texts that collide with nothing stay
// exactly where they stood.
#pragma once

#include <vector>

namespace profile::detail {

struct LabelSlot {
    double x = 0.0;       // middle of the text's band
    double height = 0.0;  // its text height
};

inline constexpr double kMinTableTextHeight = 750.0;  // 1.5 mm on paper at 1:500

// One slot per centre, in the order given. Texts of one crowd share their
// size: the largest of height, 0.8 height, ... down to the floor that keeps
// every text of the crowd within one text height of its point.
std::vector<LabelSlot> spreadLabels(const std::vector<double>& centres, double height,
                                    double floor = kMinTableTextHeight);

}  // namespace profile::detail
