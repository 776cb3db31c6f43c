// Small shared steps of the editor's operations.
#pragma once

#include <optional>
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

// A height the user picks as a text of the drawing: the text as it stands
// and its number, read with either decimal point whatever separator the
// system uses. None when the pick is cancelled, the object carries no text
// or the text is no number: the pick is then simply not taken.
struct PickedHeight {
    std::string text;
    double height = 0.0;
};
std::optional<PickedHeight> pickHeightText(model::Workspace& ws, const char* prompt);

// Shows the current point's crossed utility in its fields, or empties them
// and says why the point takes none.
void showCrossed(model::Workspace& ws);

}  // namespace editor::detail
