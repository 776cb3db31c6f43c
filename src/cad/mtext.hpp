// MTEXT formatting codes: the plain text a user reads.
#pragma once

#include <string>
#include <string_view>

namespace cad {

// Removes formatting codes (\P becomes a line break, \~ a space, stacked
// fractions \S1^2; read as 1/2, font and colour switches vanish, braces group).
std::string plainMText(std::string_view text);

}  // namespace cad
