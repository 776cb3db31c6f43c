// What the two halves of the emitter share: the version's rules and the
// text forms of values. Not for use elsewhere.
#pragma once

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "cad/drawing_data.hpp"
#include "cad/dxf/emit.hpp"
#include "cad/dxf/encoding.hpp"
#include "cad/text_util.hpp"

namespace cad::dxf_emit {

// What the drawing's $ACADVER allows. Version names compare as text
// ("AC1009" < "AC1012" < ... < "AC1032").
struct Version {
    bool subclasses;   // R13+: 100 subclass markers and 330 owners
    bool lineweights;  // R2000+: 370
    bool lwpolyline;   // R14+
    explicit Version(const DrawingData& d)
        : subclasses(d.version >= "AC1012"),
          lineweights(d.version >= "AC1015"),
          lwpolyline(d.version >= "AC1014") {}
};

inline std::string textCodepage(const DrawingData& d) {
    return fileTextCodepage(d.version, d.codepage);
}

// A string value in the file's encoding. A TEXT value cannot hold a line
// break; MTEXT writes it as \P.
inline std::string encodeValue(const DrawingData& d, std::string_view utf8, bool mtext = false) {
    std::string clean;
    clean.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
        if (c == '\n' || c == '\r') {
            clean += mtext ? "\\P" : " ";
        } else {
            clean += c;
        }
    }
    return encodeText(encodeCarets(clean), textCodepage(d));
}

// Index of the value tag that follows a header variable (9 $NAME), or kNoIndex.
inline std::size_t headerValue(const TagStore& tags, std::string_view name) {
    for (std::size_t i = 0; i + 1 < tags.size(); ++i) {
        if (tags.code(i) == 0) {
            std::string_view v = trim(tags.value(i));
            if (v == "ENDSEC") return kNoIndex;  // end of the header
            continue;
        }
        if (tags.code(i) == 9 && trim(tags.value(i)) == name) return i + 1;
    }
    return kNoIndex;
}

// Whether new entities and table entries get handles. From R13 on every
// object has one; an R12 file has them when $HANDLING is on, and a file
// without a header is judged by its first entity.
inline bool writesHandles(const DrawingData& d) {
    if (Version(d).subclasses) return true;
    if (d.tags.size() == 0) return true;
    std::size_t h = headerValue(d.tags, "$HANDLING");
    if (h != kNoIndex) return trim(d.tags.value(h)) != "0";
    for (const Entity& e : d.entities) {
        if (e.tagBegin == kNoTags) continue;
        for (std::uint32_t i = e.tagBegin + 1; i < e.tagEnd && d.tags.code(i) != 0; ++i) {
            if (d.tags.code(i) == 5) return true;
        }
        return false;
    }
    return false;
}

// An integer in the style of the value it replaces: CAD programs right-align
// 16-bit integers to six columns, other writers do not pad.
inline std::string intLike(std::string_view original, long long v) {
    std::string s = std::to_string(v);
    std::size_t width = original.size();
    while (width > 0 && (original[width - 1] == '\r')) --width;
    if (!original.empty() && original.front() == ' ' && s.size() < width) {
        s.insert(0, width - s.size(), ' ');
    }
    return s;
}

inline std::string doubleText(double v) {
    std::string buf;
    TagOut t(buf, false);
    t.putDouble(0, v);
    // "  0\n<value>\n": the value between the two line breaks.
    std::size_t first = buf.find('\n');
    return buf.substr(first + 1, buf.size() - first - 2);
}

inline std::string intText(long long v) {
    return std::to_string(v);
}

}  // namespace cad::dxf_emit
