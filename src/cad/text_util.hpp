// Small text helpers shared by the DXF emitter, the dimension builder, the
// canvas walk and the geometry of texts.
#pragma once

#include <cctype>
#include <cstddef>
#include <string_view>

namespace cad {

// Without blanks, tabs and a stray carriage return at either end.
inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// ASCII case-insensitive equality, as DXF compares table and version names.
inline bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Characters of UTF-8 text (its code points).
inline std::size_t codePoints(std::string_view utf8) {
    std::size_t n = 0;
    for (char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// Width of a line of text of capital height h where no font is at hand:
// 0.8 of the height a character.
inline double estimatedTextWidth(std::string_view utf8, double h) {
    return 0.8 * h * static_cast<double>(codePoints(utf8));
}

}  // namespace cad
