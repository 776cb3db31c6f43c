// Bytes to tags: the first stage of reading DXF. ASCII files keep every value
// as written (only line ends are dropped); binary files get their values
// turned into the text an ASCII file of the same version would hold. No
// meaning is given to any tag here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "cad/drawing_data.hpp"

namespace cad {

struct TokenizedDxf {
    TagStore tags;
    bool binary = false;
    bool crlf = false;
    bool sawEof = false;        // the stream ended with 0/EOF
    bool junkAfterEof = false;  // something other than blanks followed EOF
    bool droppedCode = false;   // the last tag was cut off by the end of the file and dropped
    // The group code of that tag, as far as it is known: -1 when the cut
    // fell in the code and left it possibly 0 (a record may have ended there).
    int cutCode = -1;
    std::size_t firstLine = 1;  // line of the first group code (ASCII)
};

inline constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};

// Splits a whole file into tags. The buffer is taken over: ASCII values are
// moved down inside it, so no second copy of the file is ever made.
// Throws cad::Error naming the line for a group code that is not a number.
TokenizedDxf tokenizeDxf(std::string bytes);

// Line number of the group code of tag i in an ASCII file (two lines a tag).
inline std::size_t tagLine(const TokenizedDxf& t, std::size_t i) {
    return t.firstLine + 2 * i;
}

}  // namespace cad
