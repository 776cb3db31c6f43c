#include "cad/handle.hpp"

#include <charconv>

namespace cad {

std::string formatHandle(Handle h) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, h, 16);
    (void)ec;
    std::string s(buf, end);
    for (char& c : s) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

bool parseHandle(std::string_view hex, Handle& out) {
    while (!hex.empty() && hex.back() == ' ') hex.remove_suffix(1);
    while (!hex.empty() && hex.front() == ' ') hex.remove_prefix(1);
    if (hex.empty() || hex.size() > 16) return false;
    auto [ptr, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), out, 16);
    return ec == std::errc() && ptr == hex.data() + hex.size();
}

}  // namespace cad
