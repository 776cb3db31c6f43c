#include "cad/handle.hpp"

#include <charconv>

#include "cad/text_util.hpp"

namespace cad {

std::string formatHandle(Handle h) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, h, 16);
    (void)ec;
    return upperAscii(std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

bool parseHandle(std::string_view hex, Handle& out) {
    while (!hex.empty() && hex.back() == ' ') hex.remove_suffix(1);
    while (!hex.empty() && hex.front() == ' ') hex.remove_prefix(1);
    if (hex.empty() || hex.size() > 16) return false;
    auto [ptr, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), out, 16);
    return ec == std::errc() && ptr == hex.data() + hex.size();
}

}  // namespace cad
