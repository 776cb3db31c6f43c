#include "cad/dxf/tokenizer.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <thread>

#include "cad/error.hpp"
#include "cad/handle.hpp"
#include "cad/platform.hpp"
#include "cad/text_util.hpp"

namespace cad {

namespace {

constexpr std::size_t kMaxText = std::numeric_limits<std::uint32_t>::max();

[[noreturn]] void tooLarge() {
    throw Error("Файл DXF больше 4 ГБ: такие файлы не поддерживаются");
}

// The unused end of a buffer that will not grow again goes back to the system.
void releaseTail(std::string& s) {
    std::size_t used = s.size() + 1;
    if (s.capacity() > used + (1u << 20)) releasePages(s.data() + used, s.capacity() - used);
}

bool blankOnly(const char* p, const char* end) {
    for (; p < end; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != '\x1a' && *p != '\0') {
            return false;
        }
    }
    return true;
}

// A piece of the file for a message: only printable text goes to the user's
// terminal; control bytes become '?' and bytes that are not whole UTF-8 are
// replaced.
std::string quoted(std::string_view s) {
    std::string out = "«";
    for (char c : validUtf8(cutUtf8(s, 40))) {
        const auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u == 0x7F) ? '?' : c;
    }
    return out + "»";
}

// ---- ASCII ---------------------------------------------------------------

// A tag counted: zero tags, and handles in use (of 5 and 105; a 5 right after
// a 9 is $HANDSEED's value, not a handle in use).
void countTag(TokenizedDxf& t, int code, int prev, std::string_view value) {
    if (code == 0) {
        ++t.zeros;
    } else if ((code == 5 && prev != 9) || code == 105) {
        Handle h = 0;
        if (parseHandle(value, h) && h <= kMaxHandle) t.maxHandle = std::max(t.maxHandle, h);
    }
}

// Where a run over the lines stopped.
enum class Stopped {
    End,       // at the end of the data or at 0/EOF
    Limit,     // at the tag that starts at the limit
    Straddle,  // a tag's value would have started at the limit
};

// Lines to tags from `p` on: two lines a tag, each value moved down to
// base + w, until the end of the data or the limit (the start of a line),
// each tag counted on the way.
template <class Tags>
struct AsciiRun {
    char* base;
    const char* end;    // of the data
    const char* limit;  // no tag is started here or after
    const char* p;
    std::size_t w;  // write position: values move down to here
    std::size_t line = 1;
    Tags& tags;
    TokenizedDxf& out;
    int prev = -1;  // the code before

    // The next line, without its line end.
    // Looked for before the limit only, as past it another thread may be at
    // work; a limit before the end stands at the start of a line.
    std::string_view nextLine() {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', limit - p));
        const char* e = nl ? nl : limit;
        std::string_view s(p, static_cast<std::size_t>(e - p));
        if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
        p = nl ? nl + 1 : limit;
        return s;
    }

    // Nothing but blanks from q to the end of the data. Past the limit stands
    // the tag found there, which is no blank.
    bool blankToEnd(const char* q) const { return limit == end && blankOnly(q, end); }

    Stopped run() {
        while (p < end) {
            if (p >= limit) return Stopped::Limit;
            const char* codeStart = p;
            std::string_view codeText = trim(nextLine());
            int code = 0;
            auto [ptr, ec] =
                std::from_chars(codeText.data(), codeText.data() + codeText.size(), code);
            if (ec != std::errc() || ptr != codeText.data() + codeText.size() || codeText.empty()) {
                if (blankToEnd(codeStart)) break;  // blank lines at the end of the file
                throw Error("Строка " + std::to_string(line) +
                            ": ожидался код группы (число), а стоит " + quoted(codeText) +
                            "; файл DXF повреждён");
            }
            if (code < kMinGroupCode || code > kMaxGroupCode) {
                throw Error("Строка " + std::to_string(line) + ": код группы " +
                            std::to_string(code) + " вне допустимых пределов; файл DXF повреждён");
            }
            if (p >= end) {  // the file ends before the value line
                out.droppedCode = true;
                // A code cut short that reads as a number other than 0 was not 0.
                if (end[-1] == '\n' || code != 0) out.cutCode = code;
                break;
            }
            if (p >= limit) {  // the value would be the line at the limit
                p = codeStart;
                return Stopped::Straddle;
            }
            std::string_view value = nextLine();
            if (p == end && end[-1] != '\n' && !value.empty()) {
                // The file ends inside this value: what stands there may be half
                // of it. The end of a file is only whole at EOF, without a line end.
                if (code != 0 || trim(value) != "EOF") {
                    out.droppedCode = true;
                    out.cutCode = code;
                    break;
                }
            }
            if (w + value.size() > kMaxText) tooLarge();
            std::memmove(base + w, value.data(), value.size());
            value = std::string_view(base + w, value.size());
            tags.push(code, value.size());
            w += value.size();
            line += 2;
            countTag(out, code, prev, value);
            if (code == 0 && trim(value) == "EOF") {
                out.sawEof = true;
                out.junkAfterEof = !blankToEnd(p);
                break;
            }
            prev = code;
        }
        return Stopped::End;
    }
};

// The tags of the back half of a file, until they join the front's: codes
// and lengths as they come, in memory of their own.
class BackTags {
  public:
    explicit BackTags(std::size_t capacity)
        : codes_(capacity * sizeof(std::int16_t)),
          lengths_(capacity * sizeof(std::uint32_t)),
          capacity_(capacity) {}
    void push(int code, std::size_t length) {
        if (n_ == capacity_) throw Error("tags past the lines counted");  // cannot be
        static_cast<std::int16_t*>(codes_.data())[n_] = static_cast<std::int16_t>(code);
        static_cast<std::uint32_t*>(lengths_.data())[n_] = static_cast<std::uint32_t>(length);
        ++n_;
    }
    void pushTo(TagStore& tags) const {
        const auto* codes = static_cast<const std::int16_t*>(codes_.data());
        const auto* lengths = static_cast<const std::uint32_t*>(lengths_.data());
        for (std::size_t i = 0; i < n_; ++i) tags.push(codes[i], lengths[i]);
    }

  private:
    ScratchMemory codes_;
    ScratchMemory lengths_;
    std::size_t capacity_;
    std::size_t n_ = 0;
};

std::size_t countLines(const char* p, const char* end) {
    return static_cast<std::size_t>(std::count(p, end, '\n'));
}

// Past the BOM, where the first line starts.
const char* firstLine(const std::string& bytes) {
    const char* p = bytes.data();
    if (bytes.size() >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
    return p;
}

// The tag arrays made room for exactly, two lines a tag: growing by doubling
// would hold the old and the new array at once, which for big files is most
// of the memory.
void reserveTags(TagStore& tags, std::size_t lines) {
    tags.reserve(lines / 2 + 1);
}

bool startsWithCrlf(const char* p, const char* end) {
    const char* firstNl = static_cast<const char*>(std::memchr(p, '\n', end - p));
    return firstNl && firstNl > p && firstNl[-1] == '\r';
}

// The values fill the front of the buffer: shrinking would copy them, so the
// pages behind them are handed back to the system instead.
void keepValues(TokenizedDxf& out, std::string bytes, std::size_t w) {
    bytes.resize(w);
    releaseTail(bytes);
    out.tags.text = std::move(bytes);
}

TokenizedDxf tokenizeAscii(std::string bytes) {
    TokenizedDxf out;
    char* const base = bytes.data();
    const char* const end = base + bytes.size();
    const char* p = firstLine(bytes);
    reserveTags(out.tags, countLines(p, end) + 1);
    auto [codes, codeBytes] = out.tags.codeMemory();
    auto [starts, startBytes] = out.tags.startMemory();
    PrefaultPages prefaultCodes(codes, codeBytes);
    PrefaultPages prefaultStarts(starts, startBytes);
    out.crlf = startsWithCrlf(p, end);
    AsciiRun<TagStore> run{base, end, end, p, 0, 1, out.tags, out};
    run.run();
    keepValues(out, std::move(bytes), run.w);
    return out;
}

// The start of a tag after the line that holds `from`, for a second thread
// to split from: a line "0" and a line starting with a capital letter. In a
// file that reads at all this is a zero tag and its name, as the line after a
// value "0" is a group code, a number. Else the end. Reads nothing before
// `from`.
const char* zeroTagFrom(const char* from, const char* end) {
    auto lineEnd = [end](const char* q) {
        const char* nl = static_cast<const char*>(std::memchr(q, '\n', end - q));
        return nl ? nl : end;
    };
    const char* q = lineEnd(from);
    while (q < end) {
        const char* l1 = q + 1;
        const char* e1 = lineEnd(l1);
        if (e1 >= end) break;
        if (trim(std::string_view(l1, static_cast<std::size_t>(e1 - l1))) == "0" && e1[1] >= 'A' &&
            e1[1] <= 'Z') {
            return l1;
        }
        q = e1;
    }
    return end;
}

// ---- binary ----------------------------------------------------------------

// The type of a group code's value in binary DXF, range by range as the DXF
// reference gives them; None for codes the reference does not define, whose
// values have no known length.
enum class BinType { None, String, Int16, Int32, Int64, Double, Bool, Chunk };

constexpr BinType binTypeOf(int code) {
    auto in = [code](int a, int b) { return code >= a && code <= b; };
    if (in(0, 9) || in(100, 102) || code == 105 || in(300, 309) || in(320, 369) || in(390, 399) ||
        in(410, 419) || in(430, 439) || in(470, 481) || code == 999 || in(1000, 1003) ||
        in(1005, 1009)) {
        return BinType::String;
    }
    if (in(310, 319) || code == 1004) return BinType::Chunk;
    if (in(10, 59) || in(110, 149) || in(210, 239) || in(460, 469) || in(1010, 1059)) {
        return BinType::Double;
    }
    if (in(60, 79) || in(170, 179) || in(270, 289) || in(370, 389) || in(400, 409) ||
        in(1060, 1070)) {
        return BinType::Int16;
    }
    if (in(90, 99) || in(420, 429) || in(440, 459) || code == 1071) return BinType::Int32;
    if (in(160, 169)) return BinType::Int64;
    if (in(290, 299)) return BinType::Bool;
    return BinType::None;
}

constexpr std::array<BinType, 1072> kBinTypes = [] {
    std::array<BinType, 1072> t{};
    for (int c = 0; c < 1072; ++c) t[static_cast<std::size_t>(c)] = binTypeOf(c);
    return t;
}();

BinType binType(int code) {
    return code >= 0 && code < 1072 ? kBinTypes[static_cast<std::size_t>(code)] : BinType::None;
}

class BinaryReader {
  public:
    BinaryReader(std::string_view data) : data_(data), pos_(kBinarySentinel.size()) {}

    TokenizedDxf run() {
        TokenizedDxf out;
        out.binary = true;
        out.crlf = false;
        // R12 writes one-byte group codes, later versions two: the first tag
        // is 0/SECTION, so a zero second byte means two-byte codes.
        wide_ = data_.size() > pos_ + 1 && data_[pos_ + 1] == '\0';
        out.tags.text.reserve(data_.size());
        out.tags.reserve(data_.size() / 8);
        while (pos_ < data_.size()) {
            std::size_t tagStart = tagStart_ = pos_;
            int code = 0;
            bool haveCode = readCode(code);
            if (!haveCode || !readValue(code, out.tags)) {
                // A tag cut short by the end of the file.
                pos_ = tagStart;
                out.droppedCode = true;
                if (haveCode) {
                    out.cutCode = code;
                } else if (pos_ < data_.size() && data_[pos_] != '\0') {
                    out.cutCode = static_cast<unsigned char>(data_[pos_]);  // its low byte
                }
                break;
            }
            if (code == 0 && out.tags.value(out.tags.size() - 1) == "EOF") {
                out.sawEof = true;
                out.junkAfterEof = !blankOnly(data_.data() + pos_, data_.data() + data_.size());
                break;
            }
        }
        if (out.tags.text.size() > kMaxText) tooLarge();
        countTags(out);
        return out;
    }

  private:
    bool need(std::size_t n) const { return data_.size() - pos_ >= n; }
    std::uint64_t le(std::size_t n) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            v |= std::uint64_t(static_cast<unsigned char>(data_[pos_ + i])) << (8 * i);
        }
        pos_ += n;
        return v;
    }
    bool readCode(int& code) {
        if (wide_) {
            if (!need(2)) return false;
            code = static_cast<std::int16_t>(le(2));
            return true;
        }
        if (!need(1)) return false;
        code = static_cast<unsigned char>(data_[pos_++]);
        if (code == 255) {
            if (!need(2)) return false;
            code = static_cast<std::int16_t>(le(2));
        }
        return true;
    }
    template <class T>
    void putNumber(TagStore& s, int code, T v) {
        char buf[40];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
        (void)ec;
        put(s, code, std::string_view(buf, static_cast<std::size_t>(end - buf)));
    }
    void put(TagStore& s, int code, std::string_view v) { s.append(code, v); }
    // A value that cannot be what its code says means the reading is out of
    // step with the file (or the file is damaged there): nothing after it can
    // be trusted, so the read stops instead of looking for a place to go on.
    [[noreturn]] void outOfStep(const std::string& what) const {
        throw Error("Двоичный DXF повреждён: " + what + " (тег по смещению " +
                    std::to_string(tagStart_) + " от начала файла)");
    }

    bool readValue(int code, TagStore& s) {
        switch (binType(code)) {
            case BinType::None:
                outOfStep("код группы " + std::to_string(code) +
                          " не существует, и длина его значения неизвестна");
            case BinType::Int16:
                if (!need(2)) return false;
                putNumber(s, code, static_cast<std::int16_t>(le(2)));
                return true;
            case BinType::Int32:
                if (!need(4)) return false;
                putNumber(s, code, static_cast<std::int32_t>(le(4)));
                return true;
            case BinType::Int64:
                if (!need(8)) return false;
                putNumber(s, code, static_cast<std::int64_t>(le(8)));
                return true;
            case BinType::Bool: {
                if (!need(1)) return false;
                int v = static_cast<unsigned char>(data_[pos_]);
                if (v > 1) {
                    outOfStep("флаг с кодом " + std::to_string(code) + " равен " +
                              std::to_string(v) + ", а не 0 или 1");
                }
                ++pos_;
                putNumber(s, code, v);
                return true;
            }
            case BinType::Double: {
                if (!need(8)) return false;
                std::uint64_t bits = le(8);
                double d;
                std::memcpy(&d, &bits, sizeof d);
                putNumber(s, code, d);
                return true;
            }
            case BinType::Chunk: {
                if (!need(1)) return false;
                std::size_t n = static_cast<unsigned char>(data_[pos_]);
                if (!need(1 + n)) return false;
                ++pos_;
                static const char* hex = "0123456789ABCDEF";
                std::string v;
                v.reserve(2 * n);
                for (std::size_t i = 0; i < n; ++i) {
                    auto b = static_cast<unsigned char>(data_[pos_ + i]);
                    v += hex[b >> 4];
                    v += hex[b & 15];
                }
                pos_ += n;
                put(s, code, v);
                return true;
            }
            case BinType::String: {
                const void* z = std::memchr(data_.data() + pos_, '\0', data_.size() - pos_);
                if (!z) return false;
                std::size_t n = static_cast<const char*>(z) - (data_.data() + pos_);
                std::string_view v = data_.substr(pos_, n);
                bool plain = std::none_of(v.begin(), v.end(), [](char c) {
                    return static_cast<unsigned char>(c) < 0x20 || c == '^';
                });
                if (plain) {
                    put(s, code, v);
                } else {
                    // ASCII DXF writes control characters as ^J and the like,
                    // and a caret as "^ ".
                    std::string escaped;
                    for (char c : v) {
                        if (static_cast<unsigned char>(c) < 0x20) {
                            escaped += '^';
                            escaped += static_cast<char>(c + 0x40);
                        } else if (c == '^') {
                            escaped += "^ ";
                        } else {
                            escaped += c;
                        }
                    }
                    put(s, code, escaped);
                }
                pos_ += n + 1;
                return true;
            }
        }
        return false;
    }

    std::string_view data_;
    std::size_t pos_;
    std::size_t tagStart_ = 0;
    bool wide_ = true;
};

}  // namespace

void countTags(TokenizedDxf& t) {
    t.zeros = 0;
    t.maxHandle = 0;
    for (std::size_t i = 0; i < t.tags.size(); ++i) {
        countTag(t, t.tags.code(i), i > 0 ? t.tags.code(i - 1) : -1, t.tags.value(i));
    }
}

TokenizedDxf tokenizeDxf(std::string bytes) {
    if (std::string_view(bytes).substr(0, kBinarySentinel.size()) == kBinarySentinel) {
        return BinaryReader(bytes).run();
    }
    return tokenizeAscii(std::move(bytes));
}

TokenizedDxf readTokenized(RegularFile& in, std::size_t size, std::string_view name,
                           std::size_t halvedFrom) {
    std::string bytes;
    bytes.reserve(size);
    PrefaultPages prefault(bytes.data(), bytes.capacity());
    bytes.resize(size);
    auto readPart = [&](std::size_t from, std::size_t to) {
        std::size_t got = 0;
        try {
            got = in.readAt(bytes.data() + from, to - from, from);
        } catch (const Error& e) {
            throw FileReadError(e.what());
        }
        if (got != to - from) {
            throw FileReadError("Не удалось прочитать файл «" + std::string(name) +
                                "»: он стал короче при чтении");
        }
    };
    const std::size_t head = std::min<std::size_t>(size, 64 << 10);
    readPart(0, head);
    const bool binary =
        std::string_view(bytes).substr(0, kBinarySentinel.size()) == kBinarySentinel;
    // (reads from a place at once need descriptors)
    if (binary || size < halvedFrom || in.fd() < 0) {
        readPart(head, size);
        return tokenizeDxf(std::move(bytes));
    }

    // A big ASCII file is read and split in two halves at once. The second
    // thread reads the back half, finds a tag's start in it and splits from
    // there into tags of its own, which join the front's. Should the front
    // find that start to be no tag's (only in a file that does not read), the
    // back is read again and split on by the front.
    char* const base = bytes.data();
    const char* const end = base + size;
    const std::size_t mid = std::max(head, size / 2);
    struct Back {
        std::size_t from = 0;  // where its tags start; size: no back
        std::size_t lines = 0;
    };
    std::promise<Back> found;
    std::future<Back> backStart = found.get_future();
    TokenizedDxf back;  // the flags of the file's end and the counts
    std::unique_ptr<BackTags> backTags;
    std::size_t backEnd = 0;  // end of the back's values in the buffer
    bool backRead = false;
    std::thread worker([&] {
        Back b;
        try {
            readPart(mid, size);
            b.from = static_cast<std::size_t>(zeroTagFrom(base + mid, end) - base);
            b.lines = countLines(base + b.from, end);
            found.set_value(b);
        } catch (...) {
            found.set_exception(std::current_exception());
            return;
        }
        if (b.from == size) return;
        try {
            backTags = std::make_unique<BackTags>((b.lines + 1) / 2 + 1);
            AsciiRun<BackTags> run{base, end, end, base + b.from, b.from, 1, *backTags, back};
            run.run();
            backEnd = run.w;
            backRead = true;
        } catch (...) {
            // Split again by the front, which tells the error by its line.
        }
    });
    struct Join {
        std::thread& t;
        ~Join() {
            if (t.joinable()) t.join();
        }
    } join{worker};

    TokenizedDxf out;
    readPart(head, mid);
    const char* p = firstLine(bytes);
    std::size_t frontLines = countLines(p, base + mid);
    const Back b = backStart.get();
    frontLines += countLines(base + mid, base + b.from);
    reserveTags(out.tags, frontLines + b.lines + 1);
    auto [codes, codeBytes] = out.tags.codeMemory();
    auto [starts, startBytes] = out.tags.startMemory();
    PrefaultPages prefaultCodes(codes, codeBytes);
    PrefaultPages prefaultStarts(starts, startBytes);
    out.crlf = startsWithCrlf(p, end);
    AsciiRun<TagStore> run{base, end, base + b.from, p, 0, 1, out.tags, out};
    Stopped stopped = run.run();
    worker.join();
    if (stopped == Stopped::Limit && backRead) {
        std::memmove(base + run.w, base + b.from, backEnd - b.from);
        backTags->pushTo(out.tags);
        run.w += backEnd - b.from;
        out.zeros += back.zeros;
        out.maxHandle = std::max(out.maxHandle, back.maxHandle);
        out.sawEof = back.sawEof;
        out.junkAfterEof = back.junkAfterEof;
        out.droppedCode = back.droppedCode;
        out.cutCode = back.cutCode;
    } else if (stopped != Stopped::End) {
        readPart(b.from, size);
        run.limit = end;
        run.run();
    }
    backTags.reset();
    keepValues(out, std::move(bytes), run.w);
    return out;
}

}  // namespace cad
