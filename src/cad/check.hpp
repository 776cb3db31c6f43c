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

[[noreturn]] inline void brokenInvariant(const char* condition, const char* file, int line) {
#ifdef NDEBUG
    throw InternalError(brokenInvariantText(condition, file, line));
#else
    std::fputs((brokenInvariantText(condition, file, line) + "\n").c_str(), stderr);
    std::abort();
#endif
}

}  // namespace detail

}  // namespace cad

// KV_ASSERT(condition): the condition is an invariant of the program.
#define KV_ASSERT(condition) \
    ((condition) ? void(0) : ::cad::detail::brokenInvariant(#condition, __FILE__, __LINE__))
