// Code pages through iconv. Single-byte pages (the common case: ANSI_1251,
// ANSI_1252, DOS866) are decoded through a 256-entry table built once per
// thread; multi-byte pages go through iconv for each string.
#include "cad/dxf/encoding.hpp"
#include "cad/text_util.hpp"

#include <iconv.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <map>
#include <memory>

namespace cad {

namespace {

bool isUtf8Name(std::string_view up) {
    return up == "UTF-8" || up == "UTF8";
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code point of the well-formed character of n bytes (2 to 4) at the
// start of s.
char32_t codePointOf(std::string_view s, std::size_t n) {
    char32_t v = static_cast<unsigned char>(s[0]) & (0x7Fu >> n);
    for (std::size_t k = 1; k < n; ++k) v = (v << 6) | (static_cast<unsigned char>(s[k]) & 0x3Fu);
    return v;
}

struct IconvHandle {
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    IconvHandle(const std::string& to, const std::string& from) {
        cd = iconv_open(to.c_str(), from.c_str());
    }
    ~IconvHandle() {
        if (ok()) iconv_close(cd);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

// One converter per direction and code page, kept for the thread's life.
iconv_t converter(const std::string& to, const std::string& from) {
    thread_local std::map<std::string, std::unique_ptr<IconvHandle>> cache;
    auto& slot = cache[to + '\n' + from];
    if (!slot) slot = std::make_unique<IconvHandle>(to, from);
    if (!slot->ok()) return reinterpret_cast<iconv_t>(-1);
    iconv(slot->cd, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
    return slot->cd;
}

// Table of a single-byte page: byte -> UTF-8 (empty for bytes the page lacks).
// Null when the page is not single-byte.
const std::array<std::string, 256>* singleByteTable(const std::string& name) {
    thread_local std::map<std::string, std::unique_ptr<std::array<std::string, 256>>> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second.get();
    std::unique_ptr<std::array<std::string, 256>> table;
    iconv_t cd = converter("UTF-8", name);
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        table = std::make_unique<std::array<std::string, 256>>();
        for (int b = 0; b < 256 && table; ++b) {
            char in = static_cast<char>(b);
            char outBuf[8];
            char* ip = &in;
            char* op = outBuf;
            std::size_t il = 1, ol = sizeof outBuf;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            std::size_t r = iconv(cd, &ip, &il, &op, &ol);
            if (r == static_cast<std::size_t>(-1) && errno == EINVAL) {
                table.reset();  // a lead byte: a multi-byte page
                break;
            }
            if (r != static_cast<std::size_t>(-1)) (*table)[b].assign(outBuf, op);
        }
    }
    auto* raw = table.get();
    cache.emplace(name, std::move(table));
    return raw;
}

// Converts with iconv; bytes it cannot convert are taken as Windows-1252.
std::string convertToUtf8(std::string_view raw, const std::string& from) {
    iconv_t cd = converter("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return convertToUtf8(raw, "CP1252");
    std::string out;
    out.resize(raw.size() * 4 + 8);
    char* ip = const_cast<char*>(raw.data());
    std::size_t il = raw.size();
    char* op = out.data();
    std::size_t ol = out.size();
    while (il > 0) {
        if (iconv(cd, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) break;  // cannot happen with 4 bytes a byte
        // Invalid or cut-off sequence: take one byte as Windows-1252.
        std::size_t done = static_cast<std::size_t>(op - out.data());
        std::string one =
            from == "CP1252" ? std::string("?") : convertToUtf8(std::string_view(ip, 1), "CP1252");
        out.resize(done);
        out += one;
        out.resize(done + one.size() + il * 4 + 8);
        op = out.data() + done + one.size();
        ol = out.size() - done - one.size();
        ++ip;
        --il;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(static_cast<std::size_t>(op - out.data()));
    return out;
}

std::string legacyToUtf8(std::string_view raw, const std::string& name) {
    bool ascii = true;
    for (char c : raw) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::string(raw);
    if (const auto* table = singleByteTable(name)) {
        std::string out;
        out.reserve(raw.size() * 2);
        for (char c : raw) {
            auto b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                out += c;
            } else if (!(*table)[b].empty()) {
                out += (*table)[b];
            } else {
                appendUtf8(out, 0xFFFD);
            }
        }
        return out;
    }
    return convertToUtf8(raw, name);
}

// UTF-8 kept as it is; a byte that is not valid UTF-8 is taken as Windows-1252.
std::string repairUtf8(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size();) {
        std::size_t n = utf8CharLength(raw.substr(i));
        if (n) {
            out.append(raw.substr(i, n));
            i += n;
        } else {
            out += legacyToUtf8(raw.substr(i, 1), "CP1252");
            ++i;
        }
    }
    return out;
}

bool hexValue(std::string_view s, std::uint32_t& v) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    return ec == std::errc() && p == s.data() + s.size();
}

bool isHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// \M+NXXXX: a double-byte character of an East Asian page given by N.
std::string mbcsChar(char n, std::uint32_t bytes) {
    static const char* kPages[] = {nullptr, "CP932", "CP950", "CP949", "JOHAB", "CP936"};
    if (n < '1' || n > '5') return {};
    char buf[2] = {static_cast<char>(bytes >> 8), static_cast<char>(bytes & 0xFF)};
    std::string_view raw = bytes > 0xFF ? std::string_view(buf, 2) : std::string_view(buf + 1, 1);
    return convertToUtf8(raw, kPages[n - '0']);
}

// Resolves \U+XXXX (surrogate pairs joined) and \M+NXXXX in UTF-8 text.
std::string resolveEscapes(std::string&& s) {
    if (s.find('\\') == std::string::npos) return std::move(s);
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::string_view rest = std::string_view(s).substr(i);
        std::uint32_t v = 0;
        if (rest.size() >= 7 && rest[0] == '\\' && (rest[1] == 'U' || rest[1] == 'u') &&
            rest[2] == '+' && isHex(rest[3]) && isHex(rest[4]) && isHex(rest[5]) &&
            isHex(rest[6]) && hexValue(rest.substr(3, 4), v)) {
            i += 7;
            std::uint32_t low = 0;
            std::string_view next = std::string_view(s).substr(i);
            if (v >= 0xD800 && v <= 0xDBFF && next.size() >= 7 && next[0] == '\\' &&
                (next[1] == 'U' || next[1] == 'u') && next[2] == '+' &&
                hexValue(next.substr(3, 4), low) && low >= 0xDC00 && low <= 0xDFFF) {
                v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
                i += 7;
            }
            if ((v >= 0xD800 && v <= 0xDFFF) || v == 0) v = 0xFFFD;
            appendUtf8(out, v);
            continue;
        }
        if (rest.size() >= 8 && rest[0] == '\\' && (rest[1] == 'M' || rest[1] == 'm') &&
            rest[2] == '+' && isHex(rest[4]) && isHex(rest[5]) && isHex(rest[6]) &&
            isHex(rest[7]) && hexValue(rest.substr(4, 4), v)) {
            std::string c = mbcsChar(rest[3], v);
            if (!c.empty()) {
                out += c;
                i += 8;
                continue;
            }
        }
        out += s[i++];
    }
    return out;
}

}  // namespace

std::string iconvName(std::string_view dwgCodepage) {
    std::string up = upperAscii(dwgCodepage);
    while (!up.empty() && up.back() == ' ') up.pop_back();
    if (isUtf8Name(up)) return "UTF-8";
    std::string_view v(up);
    auto digits = [](std::string_view d) {
        if (d.empty() || d.size() > 5) return false;
        for (char c : d) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        }
        return true;
    };
    if (v.starts_with("ANSI_") && digits(v.substr(5))) {
        std::string_view n = v.substr(5);
        if (n == "1361") return "JOHAB";
        return "CP" + std::string(n);
    }
    if (v.starts_with("DOS") && digits(v.substr(3))) return "CP" + std::string(v.substr(3));
    if (v.starts_with("ISO8859-") && digits(v.substr(8))) {
        return "ISO-8859-" + std::string(v.substr(8));
    }
    if (v == "MAC-ROMAN") return "MACINTOSH";
    if (v == "ASCII") return "CP1252";  // a superset: files saying ASCII still hold 8-bit bytes
    if (v == "BIG5") return "BIG5";
    if (v == "GB2312") return "CP936";
    if (v == "JOHAB") return "JOHAB";
    if (v == "KSC5601") return "CP949";
    return {};
}

std::string decodeText(std::string_view raw, std::string_view codepage) {
    std::string name = iconvName(codepage);
    if (name.empty()) name = "CP1252";
    std::string utf8;
    if (name == "UTF-8") {
        bool plain = true;
        for (std::size_t i = 0; i < raw.size() && plain;) {
            if (static_cast<unsigned char>(raw[i]) < 0x80) {
                ++i;
                continue;
            }
            std::size_t n = utf8CharLength(raw.substr(i));
            plain = n != 0;
            i += n;
        }
        utf8 = plain ? std::string(raw) : repairUtf8(raw);
    } else {
        utf8 = legacyToUtf8(raw, name);
    }
    return resolveEscapes(std::move(utf8));
}

std::string encodeText(std::string_view utf8, std::string_view codepage) {
    std::string name = iconvName(codepage);
    if (name.empty()) name = "CP1252";
    if (name == "UTF-8") return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    iconv_t cd = converter(name, "UTF-8");
    for (std::size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += utf8[i++];
            continue;
        }
        std::size_t n = utf8CharLength(utf8.substr(i));
        if (n == 0) {  // not UTF-8: keep the byte as it is
            out += utf8[i++];
            continue;
        }
        char32_t cp = codePointOf(utf8.substr(i), n);
        bool done = false;
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            char buf[8];
            char* ip = const_cast<char*>(utf8.data() + i);
            char* op = buf;
            std::size_t il = n, ol = sizeof buf;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1) && il == 0) {
                std::size_t ol2 = sizeof buf - static_cast<std::size_t>(op - buf);
                iconv(cd, nullptr, nullptr, &op, &ol2);  // flush a shift sequence
                out.append(buf, op);
                done = true;
            }
        }
        if (!done) {
            auto escape = [&out](std::uint32_t u) {
                char hex[8];
                auto [e, ec] = std::to_chars(hex, hex + sizeof hex, u, 16);
                (void)ec;
                out += "\\U+";
                for (auto pad = 4 - (e - hex); pad > 0; --pad) out += '0';
                out += upperAscii(std::string_view(hex, static_cast<std::size_t>(e - hex)));
            };
            if (cp >= 0x10000) {  // outside the BMP: a surrogate pair
                escape(0xD800 + ((cp - 0x10000) >> 10));
                escape(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                escape(cp);
            }
        }
        i += n;
    }
    return out;
}

std::string fileTextCodepage(std::string_view version, std::string_view dwgCodepage) {
    if (version >= "AC1021") return "UTF-8";
    return iconvName(dwgCodepage).empty() ? "ANSI_1252" : std::string(dwgCodepage);
}

std::string decodeCarets(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char next = i + 1 < s.size() ? s[i + 1] : '\0';
        if (s[i] == '^' && next == ' ') {
            out += '^';
            ++i;
        } else if (s[i] == '^' && next >= '@' && next <= '_') {
            out += static_cast<char>(next - '@');
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string encodeCarets(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == '^') {
            out += "^ ";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += '^';
            out += static_cast<char>(c + '@');
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace cad
