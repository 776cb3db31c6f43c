// Numbers as text without the process locale: a Qt application sets the C
// locale from the environment, after which printf and its kin would write a
// decimal comma into the drawing. Everything here goes through std::to_chars.
#pragma once

#include <charconv>
#include <string>

namespace cad {

// printf's "%.*f": `decimals` digits after the point, rounded to nearest.
inline std::string fixedText(double value, int decimals) {
    char buf[400];  // 309 integer digits of the largest double and the decimals
    return {buf,
            std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals).ptr};
}

}  // namespace cad
