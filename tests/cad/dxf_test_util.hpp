// Small DXF fixtures for the reader and writer tests: a file from a list of
// group code / value pairs, in R12 or R2000 dress.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cad/dxf/encoding.hpp"

namespace dxftest {

using Tags = std::vector<std::pair<int, std::string>>;

inline std::string dxf(const Tags& tags, const char* eol = "\n") {
    std::string out;
    for (const auto& [code, value] : tags) {
        std::string c = std::to_string(code);
        out += std::string(c.size() < 3 ? 3 - c.size() : 0, ' ') + c + eol + value + eol;
    }
    return out;
}

inline Tags concat(std::initializer_list<Tags> parts) {
    Tags out;
    for (const Tags& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// HEADER with $ACADVER, optional $DWGCODEPAGE, $HANDSEED and $CLAYER.
inline Tags header(const std::string& version, const std::string& codepage = "",
                   const std::string& handseed = "FFF", const std::string& clayer = "0") {
    Tags t{{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, version}};
    if (!codepage.empty()) t.insert(t.end(), {{9, "$DWGCODEPAGE"}, {3, codepage}});
    t.insert(t.end(), {{9, "$HANDSEED"}, {5, handseed}, {9, "$CLAYER"}, {8, clayer}});
    t.insert(t.end(), {{0, "ENDSEC"}});
    return t;
}

// A LAYER table (R12 style, no handles) with the given layer names.
inline Tags layerTable(const std::vector<std::string>& names) {
    Tags t{{0, "SECTION"},
           {2, "TABLES"},
           {0, "TABLE"},
           {2, "LAYER"},
           {70, std::to_string(names.size())}};
    for (const std::string& n : names) {
        t.insert(t.end(), {{0, "LAYER"}, {2, n}, {70, "0"}, {62, "7"}, {6, "CONTINUOUS"}});
    }
    t.insert(t.end(), {{0, "ENDTAB"}, {0, "ENDSEC"}});
    return t;
}

inline Tags entities(const Tags& body) {
    return concat({{{0, "SECTION"}, {2, "ENTITIES"}}, body, {{0, "ENDSEC"}}});
}

inline Tags eof() {
    return {{0, "EOF"}};
}

// An R12 drawing in ANSI_1251: header, layer table with "0" and the given
// layers, blocks when given, entities. Texts are given in UTF-8.
inline std::string r12(const Tags& body, std::vector<std::string> layers = {},
                       const Tags& blocks = {}) {
    layers.insert(layers.begin(), "0");
    Tags blockSection;
    if (!blocks.empty()) {
        blockSection = concat({{{0, "SECTION"}, {2, "BLOCKS"}}, blocks, {{0, "ENDSEC"}}});
    }
    std::string utf8 = dxf(concat(
        {header("AC1009", "ANSI_1251"), layerTable(layers), blockSection, entities(body), eof()}));
    return cad::encodeText(utf8, "ANSI_1251");
}

}  // namespace dxftest
