#include "cad/mtext.hpp"

namespace cad {

namespace {

// Codes followed by an argument that runs up to a semicolon.
bool takesArgument(char c) {
    switch (c) {
        case 'A':
        case 'C':
        case 'c':
        case 'F':
        case 'f':
        case 'H':
        case 'h':
        case 'Q':
        case 'q':
        case 'T':
        case 't':
        case 'W':
        case 'w':
        case 'p':
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string plainMText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '{' || c == '}') continue;
        if (c != '\\' || i + 1 >= s.size()) {
            out += c;
            continue;
        }
        char code = s[++i];
        if (code == 'P' || code == 'X') {
            out += '\n';
        } else if (code == '~') {
            out += ' ';
        } else if (code == '\\' || code == '{' || code == '}') {
            out += code;
        } else if (code == 'L' || code == 'l' || code == 'O' || code == 'o' || code == 'K' ||
                   code == 'k') {
            // underline, overline, strike-through switches: nothing to show
        } else if (code == 'S') {
            // stacked text up to ';': top and bottom separated by ^, / or #
            std::size_t end = s.find(';', i + 1);
            if (end == std::string_view::npos) end = s.size();
            for (std::size_t k = i + 1; k < end; ++k) {
                char t = s[k];
                if (t == '^' || t == '#') t = '/';
                if (t == '\\' && k + 1 < end) t = s[++k];
                out += t;
            }
            i = end;
        } else if (takesArgument(code)) {
            std::size_t end = s.find(';', i + 1);
            i = end == std::string_view::npos ? s.size() : end;
        } else {
            // an unknown code: keep it as text, as a reader would see it
            out += '\\';
            out += code;
        }
    }
    return out;
}

}  // namespace cad
