#include "cad/encoding.hpp"

namespace cad {

std::string iconvName(std::string_view) {
    return {};
}
std::string decodeText(std::string_view raw, std::string_view) {
    return std::string(raw);
}
std::string encodeText(std::string_view utf8, std::string_view) {
    return std::string(utf8);
}

}  // namespace cad
