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
#include "cad/error.hpp"
#include "cad/handle.hpp"
#include "cad/platform.hpp"

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
    // For the reader's reservations and fresh handles: the zero tags and the
    // largest handle in use (of 5 and 105, but for $HANDSEED's value).
    std::size_t zeros = 0;
    Handle maxHandle = 0;
};

inline constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};

// Splits a whole file into tags. The buffer is taken over: ASCII values are
// moved down inside it, so no second copy of the file is ever made.
// Throws cad::Error naming the line for a group code that is not a number.
TokenizedDxf tokenizeDxf(std::string bytes);

// Counts the tags anew (zeros, maxHandle), as after tags were changed.
void countTags(TokenizedDxf& t);

// What readTokenized throws when the file itself fails to be read, told
// apart from bytes that do not split into tags (cad::Error).
class FileReadError : public Error {
  public:
    using Error::Error;
};

// Reads `size` bytes of an opened file and splits them as tokenizeDxf does.
// An ASCII file of halvedFrom bytes or more is read and split in two halves
// at once, on two threads. FileReadError, naming the file by `name`, when it
// cannot be read or is shorter than `size`.
inline constexpr std::size_t kHalvedFrom = 8u << 20;
TokenizedDxf readTokenized(RegularFile& in, std::size_t size, std::string_view name,
                           std::size_t halvedFrom = kHalvedFrom);

// Line number of the group code of tag i in an ASCII file (two lines a tag).
inline std::size_t tagLine(const TokenizedDxf& t, std::size_t i) {
    return t.firstLine + 2 * i;
}

}  // namespace cad
