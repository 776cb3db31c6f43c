// Small text helpers shared by the DXF reader and emitter, the drawing, the
// dimension builder, the canvas walk and the geometry of texts: the one home
// of comparing names without regard to case.
#pragma once

#include <algorithm>
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

// ASCII letters in upper case, as DXF spells version, code page, style and
// pattern names; other bytes unchanged.
inline std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// ASCII case-insensitive equality, as DXF compares version and style names.
inline bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// A layer or block name (UTF-8) folded to upper case the way CAD programs
// compare such names: Latin and Cyrillic letters (with Ё, the Ukrainian and
// Belarusian letters and Ґ); everything else as it stands. Two names are
// the same name when their folded forms are equal.
inline std::string foldName(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); ++i) {
        auto b = static_cast<unsigned char>(out[i]);
        if (b >= 'a' && b <= 'z') {
            out[i] = static_cast<char>(b - 'a' + 'A');
        } else if (i + 1 < out.size() && b >= 0xD0 && b <= 0xD2) {
            auto b2 = static_cast<unsigned char>(out[i + 1]);
            unsigned cp = ((b & 0x1Fu) << 6) | (b2 & 0x3Fu);
            if ((b2 & 0xC0) != 0x80) continue;
            unsigned up = cp;
            if (cp >= 0x430 && cp <= 0x44F)
                up = cp - 0x20;  // а..я
            else if (cp >= 0x450 && cp <= 0x45F)
                up = cp - 0x50;  // ѐ..џ (ё, є, і, ї, ў, ...)
            else if (cp == 0x491)
                up = 0x490;  // ґ
            out[i] = static_cast<char>(0xC0 | (up >> 6));
            out[i + 1] = static_cast<char>(0x80 | (up & 0x3F));
            ++i;
        }
    }
    return out;
}

inline bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && foldName(a) == foldName(b);
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

// The text as valid UTF-8, each byte that is not part of a well-formed
// character replaced by `stray`, and so is each control character (below
// U+0020, and DEL) where `printableOnly`; it stops once it has `most` bytes.
inline std::string cleanUtf8(std::string_view s, std::string_view stray, bool printableOnly,
                             std::size_t most = std::string::npos) {
    std::string out;
    out.reserve(std::min(s.size(), most));
    for (std::size_t i = 0; i < s.size() && out.size() < most;) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = utf8CharLength(s.substr(i));
        if (n == 0 || (printableOnly && n == 1 && (c < 0x20 || c == 0x7F))) {
            out += stray;
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

// The text as valid UTF-8: each byte that is not part of a well-formed
// character becomes U+FFFD. Text on its way to JSON or to a message passes here.
inline std::string validUtf8(std::string_view s) {
    return cleanUtf8(s, "\xEF\xBF\xBD", false);
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
