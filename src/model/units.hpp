// The plan's units: conversions of what is measured on the plan to
// millimetres of terrain, the placing of the sheet in the drawing's own units,
// and the warnings when the route's length does not fit the chosen units.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cad/drawing_data.hpp"
#include "model/workspace.hpp"

namespace model {

// Millimetres of terrain in one unit of the plan: 1, 10 or 1000.
double millimetresPerUnit(PlanUnits units);

// "mm", "cm", "m" and back; nullopt for any other text.
std::optional<PlanUnits> parsePlanUnits(std::string_view text);
const char* planUnitsKey(PlanUnits units);
// The units as the messages name them: "мм", "см", "м".
const char* planUnitsName(PlanUnits units);

// The sheet is laid out in millimetres of a 1:1 sheet (plotted at 1:500);
// a point of that layout in the drawing: scaled into the drawing's units and
// moved to the sheet's origin.
cad::Point3 sheetPoint(const Workspace& ws, double x, double y);
// Drawing units of the sheet drawing in one millimetre of the layout.
double sheetScale(const Workspace& ws);

// $INSUNITS of a drawing read from a file (4 mm, 5 cm, 6 m, ...); nullopt
// when the header does not hold it.
std::optional<int> insertionUnits(const cad::DrawingData& drawing);

// Warnings about the units for a route `length` plan units long: its length
// in terrain is not plausible (under 1 m or over 100 km), and which units
// would make it so (the drawing's $INSUNITS first, when it names one). Empty
// when the length looks right. They warn; they never stop anything. The
// units that fit are named with the way to choose them: the command line's
// option, or the window's field.
enum class UnitsChoice { CommandLine, Window };
std::vector<std::string> unitsWarnings(const Workspace& ws, double length,
                                       UnitsChoice choice = UnitsChoice::CommandLine);

}  // namespace model
