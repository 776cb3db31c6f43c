#include "cad/text_codes.hpp"

namespace cad {

namespace {

// ASCII digits only, whatever the process locale says.
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string decodeTextCodes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && s[i + 1] == '%') {
            char c = s[i + 2];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c == 'c') {
                out += "\xC3\x98";  // Ø
                i += 2;
                continue;
            }
            if (c == 'd') {
                out += "\xC2\xB0";  // °
                i += 2;
                continue;
            }
            if (c == 'p') {
                out += "\xC2\xB1";  // ±
                i += 2;
                continue;
            }
            if (c == '%') {
                out += '%';
                i += 2;
                continue;
            }
            if (c == 'u' || c == 'o' || c == 'k') {
                i += 2;
                continue;
            }
            if (isDigit(c) && i + 4 < s.size() && isDigit(s[i + 3]) && isDigit(s[i + 4])) {
                int code = (s[i + 2] - '0') * 100 + (s[i + 3] - '0') * 10 + (s[i + 4] - '0');
                if (code < 128) {
                    out += static_cast<char>(code);
                } else {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                i += 4;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

}  // namespace cad
