// Small shared steps of the editor's operations.
#pragma once

#include <string>

#include "model/workspace.hpp"

namespace editor::detail {

inline constexpr const char* kAutoText = "Авто";

// The picket in work when it has points, else nullptr.
model::Piket* piketWithPoints(model::Workspace& ws);

// The current point's row. workPoint is kept inside the points first: it can
// be left over from an earlier picket in work with more points.
model::PiketPoint& currentPoint(model::Workspace& ws, model::Piket& piket);

// A value as the fields show it: the general form with the separator in force.
std::string numberText(const model::Workspace& ws, double value);

// Shows the current point's crossed utility in its fields, or empties them
// and says why the point takes none.
void showCrossed(model::Workspace& ws);

}  // namespace editor::detail
