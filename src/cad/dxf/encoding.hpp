// Text of DXF files: legacy code pages ($DWGCODEPAGE) to UTF-8 and back
// through iconv, and the \U+XXXX and \M+NXXXX escapes.
#pragma once

#include <string>
#include <string_view>

namespace cad {

// The iconv name for a $DWGCODEPAGE value ("ANSI_1251" -> "CP1251",
// "DOS866" -> "CP866"); empty when the code page is unknown.
std::string iconvName(std::string_view dwgCodepage);

// Decodes text of a file with the given $DWGCODEPAGE ("UTF-8" for AC1021
// and later) into UTF-8, resolving \U+XXXX and \M+NXXXX escapes.
std::string decodeText(std::string_view raw, std::string_view codepage);

// Encodes UTF-8 text for a file with the given code page; a character the
// code page cannot hold is written as \U+XXXX.
std::string encodeText(std::string_view utf8, std::string_view codepage);

// DXF values hold control characters as a caret and a letter (^J a line
// feed, ^I a tab) and a caret itself as "^ ". decodeCarets turns that form
// into the characters; encodeCarets turns characters into it.
std::string decodeCarets(std::string_view s);
std::string encodeCarets(std::string_view s);

// The code page text of a file is written in: "UTF-8" for AC1021 and later,
// else its $DWGCODEPAGE, or "ANSI_1252" (the DXF default) when that is
// missing or unknown.
std::string fileTextCodepage(std::string_view version, std::string_view dwgCodepage);

}  // namespace cad
