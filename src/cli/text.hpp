// Numbers as the command line prints them: fixed notation (survey coordinates
// such as 3221974.3170 never turn into 3.22197e+06), locale-free.
#pragma once

#include <charconv>
#include <cmath>
#include <string>

namespace cli {

// Fixed notation with `decimals` places, trailing zeros dropped; "nan" and
// "inf" for values that are not numbers.
inline std::string fixedText(double v, int decimals = 4) {
    if (!std::isfinite(v)) return std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf");
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return "?";
    std::string s(buf, end);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

}  // namespace cli
