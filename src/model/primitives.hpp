// The small routines every operation shares: reading a typed number whatever
// decimal separator the user typed, showing a number in the general form with
// the separator in force, the coarse four-digit form of a coordinate, and the
// two primitives through which sheets and profiles put lines and texts into
// the drawing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cad/drawing.hpp"
#include "model/value_checks.hpp"
#include "model/workspace.hpp"

namespace model {

// The decimal separator of the system's number format (',' or '.').
char systemDecimalSeparator();

// Every ',' and '.' of the text replaced by the separator; nothing else touched.
std::string FixDecimalText(std::string_view text, char decimalSeparator);

// Converts a text that has passed FixDecimalText under the given separator:
// an optional sign, digits with at most one separator, an optional exponent,
// blanks around allowed. nullopt when the text is not such a number.
std::optional<double> parseNumber(std::string_view text, char decimalSeparator);

// parseNumber(FixDecimalText(text)), or cad::Error naming the field when the
// text is not a number: «"abc" не является числом (поле ...)».
double readNumberField(std::string_view text, char decimalSeparator, std::string_view fieldName);

// The same, and cad::Error naming the field and its limit (value_checks.hpp)
// when the number lies outside it.
double readNumberField(std::string_view text, char decimalSeparator, std::string_view fieldName,
                       ValueLimit limit);

// The general form: up to 15 significant digits, no trailing zeros, the
// exponent form only for very large or very small magnitudes.
std::string formatNumber(double value, char decimalSeparator);

// The value with `decimals` digits after the separator (printf's "%.*f").
std::string fixedNumber(double value, int decimals, char decimalSeparator);

// Round half to even; Trunc towards zero.
double roundHalfEven(double x);

// The coordinate rounded to keep four leading characters of its integer part
// (a minus sign counts), the rest zeros: 123456.7 -> 123500, -12345.6 -> -12300.
std::int64_t FourDigitRound(double x);

// Whether the layer is one of the list's (a type list of Controls); names
// compare exactly, as the lists were filled from the drawing's own names.
bool onLayerList(std::string_view layer, const std::vector<std::string>& list);
// The same for an object's layer; a null object (a point the crossing editor
// added) is on no list.
bool onLayerList(const cad::EntityRef& object, const std::vector<std::string>& list);

// A line from (x1, y1) to (x2, y2) of the sheet's layout in the sheet
// drawing, on layer "Kernavisto". Layout coordinates are millimetres of a 1:1
// sheet with its lower-left corner at 0, 0; the line lands in the drawing's
// units at the sheet's origin (sheetPoint).
cad::EntityRef AddLineEntity(Workspace& ws, double x1, double y1, double x2, double y2);

// A text whose baseline starts at (x, y) of the layout; rotation in radians;
// height in layout millimetres; lands on the drawing's current layer.
cad::EntityRef AddTextEntity(Workspace& ws, const std::string& text, double x, double y,
                             double rotation, double widthFactor, double height);

}  // namespace model
