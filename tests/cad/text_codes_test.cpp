// The %% control codes of texts: each known code becomes its character, the
// style codes vanish, and anything that only looks like a code stands as it is.
#include <gtest/gtest.h>

#include <string>

#include "cad/text_codes.hpp"

using cad::decodeTextCodes;

namespace {

TEST(TextCodes, PercentCodesBecomeSigns) {
    EXPECT_EQ(decodeTextCodes("%%c219 %%D %%p0,5 100%%% %%uподч"), "Ø219 ° ±0,5 100% подч");
    EXPECT_EQ(decodeTextCodes("%%O%%kнад%%U"), "над");
}

TEST(TextCodes, NumberedCodesGiveTheirCharacter) {
    EXPECT_EQ(decodeTextCodes("%%065%%097"), "Aa");
    EXPECT_EQ(decodeTextCodes("%%176"), "\xC2\xB0");  // a code past 127 becomes UTF-8
    EXPECT_EQ(decodeTextCodes("%%0651"), "A1");       // three digits, no more
}

TEST(TextCodes, WhatIsNoCodeStandsAsItIs) {
    EXPECT_EQ(decodeTextCodes("%%"), "%%");
    EXPECT_EQ(decodeTextCodes("50%"), "50%");
    EXPECT_EQ(decodeTextCodes("%%x"), "%%x");
    EXPECT_EQ(decodeTextCodes("%%12"), "%%12");  // too few digits
    EXPECT_EQ(decodeTextCodes("%%12a"), "%%12a");
    EXPECT_EQ(decodeTextCodes("%%Сд"), "%%Сд");  // a Cyrillic С is no %%c
}

}  // namespace
