// Checks of the program's own invariants. A false one is a fault of the
// program, never of its input, so it is not a cad::Error with advice for the
// user: tests and debug builds stop at once with the place, so the fault
// cannot hide; release builds report it as an internal error naming the
// place, which the running action shows like any failure and the program
// survives.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cad/error.hpp"

namespace cad {

class InternalError : public Error {
  public:
    using Error::Error;
};

namespace detail {

// "Внутренняя ошибка программы (src/model/x.cpp:12): condition"; the path
// from the source tree's src/ on, when there is one.
inline std::string brokenInvariantText(const char* condition, std::string_view file, int line) {
    const std::size_t src = file.rfind("src/");
    if (src != std::string_view::npos) file.remove_prefix(src);
    return "Внутренняя ошибка программы (" + std::string(file) + ":" + std::to_string(line) +
           "): " + condition;
}

// What KV_ASSERT calls when the condition is false: stop, or throw.
[[noreturn]] inline void stopAtBrokenInvariant(const char* condition, const char* file, int line) {
    std::fputs((brokenInvariantText(condition, file, line) + "\n").c_str(), stderr);
    std::abort();
}

[[noreturn]] inline void throwBrokenInvariant(const char* condition, const char* file, int line) {
    throw InternalError(brokenInvariantText(condition, file, line));
}

}  // namespace detail

}  // namespace cad

// KV_ASSERT(condition): the condition is an invariant of the program. The
// choice is made where the macro is used, so one program may mix both kinds.
#ifdef NDEBUG
#define KV_ASSERT(condition) \
    ((condition) ? void(0) : ::cad::detail::throwBrokenInvariant(#condition, __FILE__, __LINE__))
#else
#define KV_ASSERT(condition) \
    ((condition) ? void(0) : ::cad::detail::stopAtBrokenInvariant(#condition, __FILE__, __LINE__))
#endif
