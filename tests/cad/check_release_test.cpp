// A broken invariant as a release build meets it: an internal error the
// running action shows like any failure, naming the place and the condition.
#define NDEBUG 1  // before every include: this file is built as in release
#include <gtest/gtest.h>

#include <string>

#include "cad/check.hpp"

namespace {

TEST(CheckInRelease, ABrokenInvariantIsAnInternalErrorNamingThePlace) {
    const auto half = [](int even) {
        KV_ASSERT(even % 2 == 0);
        return even / 2;
    };
    EXPECT_EQ(half(6), 3);
    try {
        half(5);
        FAIL() << "no error";
    } catch (const cad::Error& e) {  // shown as any failure of an action
        EXPECT_NE(dynamic_cast<const cad::InternalError*>(&e), nullptr);
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("Внутренняя ошибка программы (", 0), 0u) << text;
        EXPECT_NE(text.find("check_release_test.cpp:14): even % 2 == 0"), std::string::npos)
            << text;
    }
}

}  // namespace
