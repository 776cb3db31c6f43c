// The %% control codes of TEXT and of dimension texts, turned into the
// characters they stand for.
#pragma once

#include <string>
#include <string_view>

namespace cad {

// Text with its %% codes replaced: %%c Ø, %%d °, %%p ±, %%% %, %%nnn the
// character of that number; %%u, %%o and %%k (underline, overline, strike
// through) dropped. Anything else stands as it is.
std::string decodeTextCodes(std::string_view text);

}  // namespace cad
