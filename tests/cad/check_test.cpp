// Broken invariants: a test or debug build stops with the place; the text a
// release build reports names the place from src/ on.
#include <gtest/gtest.h>

#include "cad/check.hpp"

namespace {

int checkedHalf(int even) {
    KV_ASSERT(even % 2 == 0);
    return even / 2;
}

TEST(Check, AHeldInvariantPassesItsValueThrough) {
    EXPECT_EQ(checkedHalf(8), 4);
}

TEST(CheckDeathTest, ABrokenInvariantStopsNamingThePlaceAndTheCondition) {
    EXPECT_DEATH(checkedHalf(7), "check_test\\.cpp:10\\): even % 2 == 0");
}

TEST(Check, TheReportNamesTheFileFromSrcOnAndTheLine) {
    EXPECT_EQ(cad::detail::brokenInvariantText("a < b", "/work/kv/src/model/runner.cpp", 42),
              "Внутренняя ошибка программы (src/model/runner.cpp:42): a < b");
    EXPECT_EQ(cad::detail::brokenInvariantText("x", "tool.cpp", 7),
              "Внутренняя ошибка программы (tool.cpp:7): x");
}

}  // namespace
