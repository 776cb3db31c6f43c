// Small text helpers shared by the DXF emitter, the dimension builder, the
// canvas walk and the geometry of texts.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>
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

// Length of the well-formed UTF-8 character starting s (1 to 4 bytes), or 0
// when s does not start one: a stray continuation byte, an overlong form, a
// surrogate, a code point past U+10FFFF or a character cut short.
inline std::size_t utf8CharLength(std::string_view s) {
    if (s.empty()) return 0;
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char c = b(0);
    if (c < 0x80) return 1;
    std::size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                    : c >= 0xE0 && c <= 0xEF ? 3
                    : c >= 0xF0 && c <= 0xF4 ? 4
                                             : 0;
    if (n == 0 || s.size() < n) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
    }
    if (c == 0xE0 && b(1) < 0xA0) return 0;   // overlong
    if (c == 0xED && b(1) >= 0xA0) return 0;  // surrogate
    if (c == 0xF0 && b(1) < 0x90) return 0;   // overlong
    if (c == 0xF4 && b(1) >= 0x90) return 0;  // past U+10FFFF
    return n;
}

// The text as valid UTF-8: each byte that is not part of a well-formed
// character becomes U+FFFD. Text on its way to JSON or to a message passes here.
inline std::string validUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = utf8CharLength(s.substr(i));
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

// At most `bytes` bytes of the text, never ending inside a character.
inline std::string_view cutUtf8(std::string_view s, std::size_t bytes) {
    if (s.size() <= bytes) return s;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end);
}

// Width of a line of text of capital height h where no font is at hand:
// 0.8 of the height a character.
inline double estimatedTextWidth(std::string_view utf8, double h) {
    return 0.8 * h * static_cast<double>(codePoints(utf8));
}

}  // namespace cad
