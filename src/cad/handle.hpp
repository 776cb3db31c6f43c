// DXF handles: hexadecimal numbers naming every object of a drawing (group
// code 5), and the one place they turn into text and back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cad {

using Handle = std::uint64_t;

// The largest handle a drawing may hold. Above it a file's handle is given
// a new one when read: $HANDSEED must stay above every handle, and the
// program must have room to number what it creates.
inline constexpr Handle kMaxHandle = 0x7FFFFFFFFFFFFFFF;

std::string formatHandle(Handle h);                   // upper-case hexadecimal
bool parseHandle(std::string_view hex, Handle& out);  // false when not hexadecimal

}  // namespace cad
