// The floor of reading a DXF: every line split off and every group code
// read; with coordinates, the values of codes 10 to 59 (coordinates, sizes,
// angles) as well, each with from_chars. Nothing is kept. No reader that
// looks at every tag can be faster; bench_dxf and dxf_parse_floor use it.
#pragma once

#include <charconv>
#include <cstring>
#include <string_view>

namespace {

double scanLines(std::string_view s, bool coordinates) {
    const char* p = s.data();
    const char* end = p + s.size();
    double sum = 0;
    int code = 0;
    bool codeLine = true;
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
        if (!nl) nl = end;
        const char* b = p;
        while (b < nl && *b == ' ') ++b;
        if (codeLine) {
            std::from_chars(b, nl, code);
            sum += code;
        } else if (coordinates && code >= 10 && code < 60) {
            double v = 0;
            std::from_chars(b, nl, v);
            sum += v;
        }
        codeLine = !codeLine;
        p = nl + 1;
    }
    return sum;
}

}  // namespace
