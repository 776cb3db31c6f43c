// The two ways a drawing operation fails: cad::Error for anything the entity,
// drawing or file cannot do (its text is shown to the user, in Russian), and
// cad::Cancelled when the user pressed Esc or picked nothing at a prompt.
#pragma once

#include <stdexcept>
#include <string>

namespace cad {

class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

class Cancelled : public std::exception {
  public:
    const char* what() const noexcept override { return "Отменено пользователем"; }
};

}  // namespace cad
