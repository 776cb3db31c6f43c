// Tags to the drawing model. One pass over the tags fills entities, layers,
// blocks and the places the writer needs (DxfLayout); the tags themselves
// stay untouched. A file with faults is repaired the way a careful DXF
// library would, each repair listed as an Issue:
//  - repairs that change tags (a duplicate or missing handle, a missing
//    SEQEND / ENDSEC / ENDTAB / ENDBLK / EOF, tags outside any section, a
//    number that is not a finite number, an x without its y) are edits of the
//    tag stream: they are applied to the TagStore and the tags are read
//    again, so that the writer, which only copies tags, writes them;
//  - a layer the LAYER table lacks is added as a created layer (tagBegin ==
//    kNoTags): the writer adds its table entry like any new layer;
//  - an INSERT of a block that does not exist, or one that makes a block
//    insert itself, is erased: the writer leaves its tags out.
#include "cad/dxf_reader.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <numbers>
#include <unordered_set>
#include <variant>

#include <unistd.h>

#include "cad/drawing.hpp"
#include "cad/dxf_tokenizer.hpp"
#include "cad/encoding.hpp"
#include "cad/error.hpp"
#include "cad/geometry.hpp"
#include "cad/platform.hpp"
#include "cad/text_util.hpp"

namespace cad {

namespace {

struct Edit {
    enum Kind { Insert, Delete, Replace } kind = Insert;
    std::size_t at = 0;     // tag index: insert before it, delete from it, replace its value
    std::size_t count = 0;  // Delete: how many tags
    std::vector<std::pair<int, std::string>> tags;  // Insert: the tags; Replace: one value
};

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

std::string hexHandle(Handle h) {
    return formatHandle(h);
}

// Points of a B-spline (de Boor), for hatch edges drawn as polylines.
std::vector<Point3> sampleSpline(int degree, const std::vector<double>& knots,
                                 const std::vector<Point3>& ctrl,
                                 const std::vector<double>& weights, int segments) {
    std::size_t n = ctrl.size();
    if (degree < 1 || degree > kMaxSplineDegree || n > kMaxSplineControlPoints ||
        n < static_cast<std::size_t>(degree) + 1 ||
        knots.size() != n + static_cast<std::size_t>(degree) + 1) {
        return ctrl;
    }
    auto p = static_cast<std::size_t>(degree);
    double t0 = knots[p], t1 = knots[n];
    if (!(t1 > t0)) return ctrl;
    bool rational = weights.size() == n;
    std::vector<Point3> out;
    out.reserve(static_cast<std::size_t>(segments) + 1);
    std::vector<Point3> d(p + 1);
    std::vector<double> w(p + 1);
    for (int s = 0; s <= segments; ++s) {
        double t = t0 + (t1 - t0) * s / segments;
        auto span = std::upper_bound(knots.begin() + static_cast<long>(p) + 1,
                                     knots.begin() + static_cast<long>(n), t);
        std::size_t k = static_cast<std::size_t>(span - knots.begin()) - 1;
        for (std::size_t j = 0; j <= p; ++j) {
            double wj = rational ? weights[j + k - p] : 1.0;
            d[j] = ctrl[j + k - p] * wj;
            w[j] = wj;
        }
        for (std::size_t r = 1; r <= p; ++r) {
            for (std::size_t j = p; j >= r; --j) {
                double den = knots[j + 1 + k - r] - knots[j + k - p];
                double a = den > 0 ? (t - knots[j + k - p]) / den : 0.0;
                d[j] = d[j - 1] * (1.0 - a) + d[j] * a;
                w[j] = w[j - 1] * (1.0 - a) + w[j] * a;
            }
        }
        out.push_back(w[p] != 0.0 ? d[p] * (1.0 / w[p]) : d[p]);
    }
    return out;
}

// Eight points for each control point, fewer for high degrees: a point costs
// the square of the degree.
int hatchSplineSegments(int degree, std::size_t controlPoints) {
    long long p = std::clamp(degree, 1, kMaxSplineDegree) + 1;
    long long most = std::max(16LL, 20'000'000 / (p * p));
    return static_cast<int>(std::clamp(8 * static_cast<long long>(controlPoints), 16LL, most));
}

std::string splineLimitMessage(Handle h, int degree) {
    std::string what = h ? "Сплайн " + hexHandle(h) : std::string("Сплайн в контуре штриховки");
    return what + " степени " + std::to_string(degree) + " (CAD-программы строят не выше " +
           std::to_string(kMaxSplineDegree) + ") или с более чем " +
           std::to_string(kMaxSplineControlPoints) +
           " управляющими точками взят по своим управляющим точкам";
}

// A code that an entity kind reads straight into a member of its geometry:
// a number, a whole number, a point (with its y and z after it), or a text,
// as written or, for names, with the blanks around it dropped.
template <class G>
struct Field {
    int code;
    std::variant<double G::*, int G::*, Point3 G::*, std::string G::*> member;
    bool name = false;
};

class Reader {
  public:
    Reader(TokenizedDxf& tok, const std::vector<std::uint32_t>* origIndex)
        : tok_(tok), s_(tok.tags), origIndex_(origIndex) {}

    DrawingData run();
    std::vector<Edit> edits;
    std::vector<Issue> editIssues;

  private:
    // ---- tag access
    std::size_t n() const { return s_.tags.size(); }
    int code(std::size_t i) const { return s_.tags[i].code; }
    std::string_view val(std::size_t i) const { return s_.value(i); }
    bool at0(std::size_t i, std::string_view what) const {
        return i < n() && code(i) == 0 && trimmed(val(i)) == what;
    }
    bool sectionBreak(std::size_t i) const {
        return i >= n() ||
               (code(i) == 0 && (at0(i, "SECTION") || at0(i, "EOF") || at0(i, "ENDSEC")));
    }
    // The closing tag (102 "}") of the {APP ... } group opened at k, whose
    // codes have meanings of their own; end when it is not closed.
    std::size_t appGroupEnd(std::size_t k, std::size_t end) const {
        while (k + 1 < end && !(code(k + 1) == 102 && trimmed(val(k + 1)) == "}")) ++k;
        return k + 1;
    }
    std::size_t nextZero(std::size_t i) const {
        while (i < n() && code(i) != 0) ++i;
        return i;
    }

    // ---- reporting
    std::size_t lineOf(std::size_t i) const {
        if (tok_.binary) return 0;
        std::size_t orig = origIndex_ && i < origIndex_->size() ? (*origIndex_)[i] : i;
        return tagLine(tok_, orig);
    }
    void issue(std::string codeName, std::size_t at, Handle h, std::string message) {
        d_.issues.push_back(
            Issue{std::move(codeName), at == kNoIndex ? 0 : lineOf(at), h, validUtf8(message)});
    }
    void editIssue(std::string codeName, std::size_t at, Handle h, std::string message) {
        editIssues.push_back(
            Issue{std::move(codeName), at == kNoIndex ? 0 : lineOf(at), h, validUtf8(message)});
    }
    std::string where(std::size_t i) const {
        if (tok_.binary) return "тег " + std::to_string(i + 1);
        return "строка " + std::to_string(lineOf(i));
    }
    void insertTags(std::size_t at, std::vector<std::pair<int, std::string>> tags) {
        edits.push_back(Edit{Edit::Insert, at, 0, std::move(tags)});
    }
    void replaceValue(std::size_t at, std::string value) {
        edits.push_back(Edit{Edit::Replace, at, 0, {{code(at), std::move(value)}}});
    }

    // ---- numbers: a bad value becomes 0, in the model and in the tags
    double num(std::size_t i) {
        std::string_view v = trimmed(val(i));
        double x = 0.0;
        auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), x);
        if (ec == std::errc() && p == v.data() + v.size() && std::isfinite(x)) return x;
        badNumber(i);
        return 0.0;
    }
    int inum(std::size_t i) {
        std::string_view v = trimmed(val(i));
        long long x = 0;
        auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), x);
        if (ec == std::errc() && p == v.data() + v.size() && x >= -2147483648LL &&
            x <= 2147483647LL) {
            return static_cast<int>(x);
        }
        double dx = 0.0;
        auto [p2, ec2] = std::from_chars(v.data(), v.data() + v.size(), dx);
        if (ec2 == std::errc() && p2 == v.data() + v.size() && std::isfinite(dx) &&
            dx == std::trunc(dx) && std::fabs(dx) < 2147483647.0) {
            return static_cast<int>(dx);
        }
        badNumber(i);
        return 0;
    }
    void badNumber(std::size_t i) {
        replaceValue(i, "0");
        editIssue("bad-number", i, 0,
                  where(i) + ": значение «" + std::string(cutUtf8(trimmed(val(i)), 40)) +
                      "» кода " + std::to_string(code(i)) + " не число; записан 0");
    }
    // x at k; y and z follow when present. Leaves k on the last tag read.
    Point3 point(std::size_t& k, std::size_t end) {
        Point3 p;
        int c = code(k);
        p.x = num(k);
        if (k + 1 < end && code(k + 1) == c + 10) {
            p.y = num(++k);
            if (k + 1 < end && code(k + 1) == c + 20) p.z = num(++k);
        }
        return p;
    }

    // ---- an entity's own tags
    // Each tag from gb to ge, {APP} groups skipped, up to XDATA (1001) or an
    // embedded object (101). fn(code, k) may move k on to the last tag it read.
    template <class Fn>
    void eachTag(std::size_t gb, std::size_t ge, Fn&& fn) {
        for (std::size_t k = gb; k < ge; ++k) {
            int c = code(k);
            if (c == 102) {
                k = appGroupEnd(k, ge);
                continue;
            }
            if (c == 1001 || c == 101) break;
            fn(c, k);
        }
    }
    // The fields of a kind from its tags; every other code goes to more(code, k).
    template <class G, std::size_t N, class More>
    void readFields(G& g, std::size_t gb, std::size_t ge, const std::array<Field<G>, N>& fields,
                    More&& more) {
        eachTag(gb, ge, [&](int c, std::size_t& k) {
            for (const Field<G>& f : fields) {
                if (f.code != c) continue;
                std::visit([&](auto member) { readField(g.*member, f.name, k, ge); }, f.member);
                return;
            }
            more(c, k);
        });
    }
    void readField(double& to, bool, std::size_t& k, std::size_t) { to = num(k); }
    void readField(int& to, bool, std::size_t& k, std::size_t) { to = inum(k); }
    void readField(Point3& to, bool, std::size_t& k, std::size_t end) { to = point(k, end); }
    void readField(std::string& to, bool name, std::size_t& k, std::size_t) {
        to = name ? text(trimmed(val(k))) : text(val(k));
    }

    // ---- text
    std::string text(std::string_view raw) {
        if (!textCodepageKnown_ && !warnedCodepage_) {
            for (char c : raw) {
                if (static_cast<unsigned char>(c) >= 0x80) {
                    warnedCodepage_ = true;
                    issue("no-codepage", kNoIndex, 0,
                          d_.codepage.empty() || iconvName(d_.codepage).empty()
                              ? "Кодовая страница файла не указана или неизвестна («" +
                                    d_.codepage + "»): текст прочитан как ANSI_1252"
                              : "Текст прочитан как ANSI_1252");
                    break;
                }
            }
        }
        std::string utf8 = decodeText(raw, textCodepage_);
        if (utf8.find('^') != std::string::npos) utf8 = decodeCarets(utf8);
        return utf8;
    }
    const Name& layerName(std::string_view raw) {
        auto it = layerNames_.find(raw);
        if (it != layerNames_.end()) return it->second;
        std::string name = text(trimmed(raw));
        if (name.empty()) name = "0";
        return layerNames_.emplace(raw, Name(name)).first->second;
    }

    // ---- handles
    Handle fresh() {
        nextFresh_ = std::max(nextFresh_, headerSeed_);
        return nextFresh_++;
    }
    // Reads the handle at tag i for an entity or a table entry: a missing,
    // malformed or duplicate handle is replaced by a fresh one.
    Handle claimHandle(std::size_t i, std::string_view kind, bool isEntity) {
        Handle h = 0;
        std::string_view v = val(i);
        bool ok = parseHandle(v, h) && h != 0;
        bool dup = ok && (usedHandles_.contains(h) || d_.entityByHandle.contains(h));
        if (ok && !dup) {
            // Entities are found through entityByHandle, where entity() puts them.
            if (!isEntity) usedHandles_.insert(h, EntityId{});
            maxClaimed_ = std::max(maxClaimed_, h);
            if (h < freshFloor_) maxOriginal_ = std::max(maxOriginal_, h);
            return h;
        }
        Handle nh = fresh();
        if (!isEntity) usedHandles_.insert(nh, EntityId{});
        maxClaimed_ = std::max(maxClaimed_, nh);
        replaceValue(i, hexHandle(nh));
        if (dup) {
            editIssue("duplicate-handle", i, nh,
                      where(i) + ": " + std::string(kind) + " с дескриптором " +
                          std::string(cutUtf8(trimmed(v), 20)) +
                          ", который уже занят; дан новый дескриптор " + hexHandle(nh));
        } else {
            editIssue("bad-handle", i, nh,
                      where(i) + ": " + std::string(kind) + " с неверным дескриптором «" +
                          std::string(cutUtf8(trimmed(v), 20)) + "»; дан новый дескриптор " +
                          hexHandle(nh));
        }
        return nh;
    }

    // ---- sections
    void section(std::size_t& i);
    void header(std::size_t& i);
    void tables(std::size_t& i);
    void table(std::size_t& i);
    void blocks(std::size_t& i);
    void block(std::size_t& i);
    void entities(std::size_t& i);
    void skipSection(std::size_t& i);
    void objects(std::size_t& i);
    void endSection(std::size_t& i, std::string_view name);
    EntityId entity(std::size_t& i, std::size_t blockIndex);
    void commonProps(Entity& e, std::size_t begin, std::size_t end0, std::size_t& geomBegin);
    void geometry(Entity& e, std::size_t gb, std::size_t ge);
    void polyline(Entity& e, std::size_t gb, std::size_t ge, std::size_t end0, std::size_t end);
    void hatch(HatchGeom& h, std::size_t gb, std::size_t ge);
    void checkPoints(std::size_t begin, std::size_t end);
    void closeCutTail();
    std::size_t closeSubEntities(std::size_t end0, std::string_view sub, const Entity& owner,
                                 std::size_t ownerBegin);
    void afterRead();

    TokenizedDxf& tok_;
    TagStore& s_;
    const std::vector<std::uint32_t>* origIndex_;
    DrawingData d_;
    std::string textCodepage_ = "ANSI_1252";
    bool textCodepageKnown_ = false;
    bool warnedCodepage_ = false;
    bool hasSubclasses_ = false;  // R13 and later write subclass markers (100)
    std::unordered_map<std::string_view, Name> layerNames_;  // raw value -> UTF-8 name
    std::unordered_map<std::string_view, Name> typeNames_;   // raw 0 value -> entity type
    HandleMap usedHandles_;  // handles of everything but entities (the id is unused)
    std::unordered_map<std::string, Handle> blockRecords_;  // upper-case name -> handle
    Handle headerSeed_ = 1;
    Handle nextFresh_ = 1;
    Handle maxHandle_ = 0;
    Handle maxClaimed_ = 0;   // largest handle of the tags that is really in use
    Handle maxOriginal_ = 0;  // the same, leaving out handles given by repairs

  public:
    // Handles from here on were given by the repairs of an earlier pass.
    Handle freshFloor_ = ~Handle(0);
    Handle firstFresh() const { return std::max(maxHandle_ + 1, headerSeed_); }

  private:
    bool layerTableSeen_ = false;
    std::string_view lastSection_;       // name of the section read last
    std::size_t lastEndsec_ = kNoIndex;  // and its ENDSEC
};

DrawingData Reader::run() {
    d_.binary = tok_.binary;
    d_.crlf = tok_.crlf;
    d_.version.clear();
    d_.codepage.clear();

    // Largest handle in use and a count of zero tags, before anything needs
    // a fresh handle or a reservation.
    std::size_t zeros = 0;
    for (std::size_t i = 0; i < n(); ++i) {
        int c = code(i);
        if (c == 0) {
            ++zeros;
        } else if ((c == 5 && !(i > 0 && code(i - 1) == 9)) || c == 105) {
            // (a 5 right after a 9 is $HANDSEED's value, not a handle in use)
            Handle h = 0;
            if (parseHandle(val(i), h)) maxHandle_ = std::max(maxHandle_, h);
        }
    }
    nextFresh_ = maxHandle_ + 1;
    d_.entities.reserve(zeros);
    adviseHugePages(d_.entities.data(), d_.entities.capacity() * sizeof(Entity));
    PrefaultPages prefault(d_.entities.data(), d_.entities.capacity() * sizeof(Entity));
    d_.entityByHandle.reserve(zeros);

    if (!tok_.sawEof) closeCutTail();

    std::size_t i = 0;
    bool eof = false;
    while (i < n() && !eof) {
        if (at0(i, "SECTION")) {
            section(i);
        } else if (at0(i, "EOF")) {
            d_.layout.eof = i;
            eof = true;
        } else if (code(i) == 999) {
            lastSection_ = {};
            ++i;  // a comment
        } else {
            // Tags outside any section: dropped, as every reader would.
            std::size_t j = i + 1;
            while (j < n() && !at0(j, "SECTION") && !at0(j, "EOF") && code(j) != 999) ++j;
            edits.push_back(Edit{Edit::Delete, i, j - i, {}});
            editIssue(
                "outside-section", i, 0,
                where(i) + ": " + std::to_string(j - i) + " тегов вне разделов файла удалены");
            i = j;
        }
    }
    if (!eof) {
        insertTags(n(), {{0, "EOF"}});
        std::string why = tok_.droppedCode ? "оборванный последний тег отброшен, " : std::string();
        editIssue("truncated", n() ? n() - 1 : kNoIndex, 0,
                  "Файл обрывается без конца (EOF): " + why + "конец файла добавлен");
    }
    if (tok_.junkAfterEof) {
        editIssue("junk-after-eof", d_.layout.eof, 0,
                  "После конца файла (EOF) есть ещё данные: они отброшены");
    }
    afterRead();
    d_.tags = std::move(s_);
    return std::move(d_);
}

void Reader::section(std::size_t& i) {
    std::size_t start = i;
    ++i;
    std::string_view name;
    if (i < n() && code(i) == 2) name = trimmed(val(i++));
    // The same section again right after the first (nothing but stray tags
    // between): one section, as every reader takes it.
    if (!name.empty() && name == lastSection_ && lastEndsec_ != kNoIndex) {
        edits.push_back(Edit{Edit::Delete, lastEndsec_, 1, {}});
        edits.push_back(Edit{Edit::Delete, start, 2, {}});
        editIssue("duplicate-section", start, 0,
                  where(start) + ": раздел " + std::string(name) +
                      " повторён; два раздела соединены в один");
    }
    if (name == "HEADER") {
        header(i);
    } else if (name == "TABLES") {
        tables(i);
    } else if (name == "BLOCKS") {
        blocks(i);
    } else if (name == "ENTITIES") {
        entities(i);
    } else if (name == "OBJECTS") {
        d_.layout.objectsBegin = start;
        objects(i);
    } else {
        skipSection(i);
    }
    lastEndsec_ = at0(i, "ENDSEC") ? i : kNoIndex;
    endSection(i, name);
    lastSection_ = name;
}

void Reader::endSection(std::size_t& i, std::string_view name) {
    if (at0(i, "ENDSEC")) {
        ++i;
        return;
    }
    // Ended by the next section, EOF or the end of the file.
    insertTags(i, {{0, "ENDSEC"}});
    editIssue("missing-endsec", i < n() ? i : (n() ? n() - 1 : kNoIndex), 0,
              "Раздел " + std::string(name) + " не закрыт (нет ENDSEC): конец раздела добавлен");
    if (name == "ENTITIES" && d_.layout.entitiesEnd == kNoIndex) d_.layout.entitiesEnd = i;
}

void Reader::skipSection(std::size_t& i) {
    while (!sectionBreak(i)) ++i;
}

// Objects are carried along untouched; only their handles are claimed, so
// that a handle used twice is found wherever it is.
void Reader::objects(std::size_t& i) {
    while (!sectionBreak(i)) {
        if (code(i) != 0) {
            ++i;
            continue;
        }
        std::size_t end = nextZero(i + 1);
        for (std::size_t k = i + 1; k < end; ++k) {
            if (code(k) == 5) {
                claimHandle(k, std::string(trimmed(val(i))), false);
                break;
            }
            if (code(k) == 102 || code(k) == 100) break;  // the handle comes first
        }
        i = end;
    }
}

void Reader::header(std::size_t& i) {
    std::string_view var;
    for (; !sectionBreak(i); ++i) {
        int c = code(i);
        if (c == 9) {
            var = trimmed(val(i));
            continue;
        }
        if (var == "$ACADVER" && c == 1) {
            d_.version = std::string(trimmed(val(i)));
        } else if (var == "$DWGCODEPAGE" && c == 3) {
            d_.codepage = std::string(trimmed(val(i)));
        } else if (var == "$HANDSEED" && c == 5) {
            d_.layout.handseedValue = i;
            Handle h = 0;
            if (parseHandle(val(i), h)) headerSeed_ = h;
        } else if (var == "$CLAYER" && c == 8) {
            d_.layout.clayerValue = i;
        }
    }
    if (!d_.version.empty() && d_.version >= "AC1012") hasSubclasses_ = true;
    // The header fixes how text is read; everything after depends on it.
    if (!d_.version.empty() && d_.version >= "AC1021") {
        textCodepage_ = "UTF-8";
        textCodepageKnown_ = true;
    } else if (!iconvName(d_.codepage).empty()) {
        textCodepage_ = d_.codepage;
        textCodepageKnown_ = true;
    }
    if (d_.layout.clayerValue != kNoIndex) d_.currentLayer = layerName(val(d_.layout.clayerValue));
}

void Reader::tables(std::size_t& i) {
    while (!sectionBreak(i)) {
        if (at0(i, "TABLE")) {
            table(i);
        } else {
            ++i;
        }
    }
}

void Reader::table(std::size_t& i) {
    std::size_t head = i++;
    std::string_view name;
    std::size_t countTag = kNoIndex;
    Handle tableHandle = 0;
    for (; i < n() && code(i) != 0; ++i) {
        if (code(i) == 2 && name.empty()) name = trimmed(val(i));
        if (code(i) == 70 && countTag == kNoIndex) countTag = i;
        if (code(i) == 5) tableHandle = claimHandle(i, "таблица", false);
    }
    bool isLayer = name == "LAYER";
    bool isRecord = name == "BLOCK_RECORD";
    if (isLayer) {
        layerTableSeen_ = true;
        d_.layout.layerTableCount = countTag;
        d_.layout.layerTable = tableHandle;
    } else if (isRecord) {
        d_.layout.blockRecordTableCount = countTag;
        d_.layout.blockRecordTable = tableHandle;
    }
    (void)head;
    while (i < n() && code(i) == 0 && !at0(i, "ENDTAB") && !sectionBreak(i) && !at0(i, "TABLE")) {
        std::size_t begin = i;
        std::size_t end = nextZero(i + 1);
        Layer layer;
        std::string_view entryName;
        Handle h = 0;
        for (std::size_t k = begin + 1; k < end; ++k) {
            int c = code(k);
            if (c == 102) {  // {APP ... } groups hold other meanings of the codes
                k = appGroupEnd(k, end);
                continue;
            }
            // DIMSTYLE keeps its handle in 105: its 5 is a block name (DIMBLK).
            if ((c == 5 && name != "DIMSTYLE") || (c == 105 && name == "DIMSTYLE")) {
                h = claimHandle(k, "запись таблицы " + std::string(name), false);
            } else if (c == 2) {
                entryName = val(k);
            } else if (isLayer) {
                if (c == 62) layer.color = inum(k);
                if (c == 70) layer.flags = inum(k);
                if (c == 370) layer.lineweight = inum(k);
                if (c == 6) layer.linetype = text(trimmed(val(k)));
            }
        }
        if (isLayer) {
            layer.name = layerName(entryName);
            layer.handle = h;
            layer.tagBegin = static_cast<std::uint32_t>(begin);
            layer.tagEnd = static_cast<std::uint32_t>(end);
            if (!d_.layerIndex.count(layer.name)) {
                d_.layerIndex[layer.name] = d_.layers.size();
                d_.layers.push_back(std::move(layer));
            }
        } else if (isRecord) {
            std::string key = upperAscii(trimmed(entryName));
            blockRecords_.emplace(key, h);
            if (key == "*MODEL_SPACE") d_.layout.modelSpaceRecord = h;
        }
        i = end;
    }
    if (at0(i, "ENDTAB")) {
        if (isLayer) d_.layout.layerTableEnd = i;
        if (isRecord) d_.layout.blockRecordTableEnd = i;
        i = nextZero(i + 1);
        return;
    }
    insertTags(i, {{0, "ENDTAB"}});
    editIssue("missing-endtab", i < n() ? i : n() - 1, 0,
              "Таблица " + std::string(name) + " не закрыта (нет ENDTAB): конец таблицы добавлен");
    if (isLayer) d_.layout.layerTableEnd = i;
    if (isRecord) d_.layout.blockRecordTableEnd = i;
}

void Reader::blocks(std::size_t& i) {
    while (!sectionBreak(i)) {
        if (at0(i, "BLOCK")) {
            block(i);
        } else if (code(i) == 0) {
            // An entity outside BLOCK .. ENDBLK: kept in the tags, read as nothing.
            i = nextZero(i + 1);
        } else {
            ++i;
        }
    }
    d_.layout.blocksEnd = i;
}

void Reader::block(std::size_t& i) {
    Block b;
    b.tagBegin = static_cast<std::uint32_t>(i);
    std::size_t headEnd = nextZero(i + 1);
    Handle owner = 0;
    for (std::size_t k = i + 1; k < headEnd; ++k) {
        int c = code(k);
        if (c == 102) {
            k = appGroupEnd(k, headEnd);
            continue;
        }
        if (c == 1001) break;
        switch (c) {
            case 2:
                b.name = text(trimmed(val(k)));
                break;
            case 3:
                if (b.name.empty()) b.name = text(trimmed(val(k)));
                break;
            case 5:
                b.handle = claimHandle(k, "блок", false);
                break;
            case 10:
                b.base = point(k, headEnd);
                break;
            case 70:
                b.flags = inum(k);
                break;
            case 330:
                parseHandle(val(k), owner);
                break;
            default:
                break;
        }
    }
    checkPoints(i + 1, headEnd);
    std::size_t blockIndex = d_.blocks.size();
    d_.blocks.push_back(std::move(b));
    i = headEnd;
    while (i < n() && !at0(i, "ENDBLK") && !sectionBreak(i) && !at0(i, "BLOCK")) {
        if (code(i) != 0) {
            ++i;
            continue;
        }
        EntityId id = entity(i, blockIndex);
        d_.blocks[blockIndex].entities.push_back(id);
    }
    Block& blk = d_.blocks[blockIndex];
    if (at0(i, "ENDBLK")) {
        std::size_t endEnd = nextZero(i + 1);
        for (std::size_t k = i + 1; k < endEnd; ++k) {
            if (code(k) == 5) claimHandle(k, "конец блока", false);
        }
        i = endEnd;
    } else {
        std::vector<std::pair<int, std::string>> tags{{0, "ENDBLK"}};
        if (hasSubclasses_) {
            tags.emplace_back(5, hexHandle(fresh()));
            if (owner) tags.emplace_back(330, hexHandle(owner));
            tags.emplace_back(100, "AcDbEntity");
        }
        tags.emplace_back(8, "0");
        if (hasSubclasses_) tags.emplace_back(100, "AcDbBlockEnd");
        insertTags(i, std::move(tags));
        editIssue("missing-endblk", i < n() ? i : n() - 1, blk.handle,
                  "Блок «" + blk.name + "» не закрыт (нет ENDBLK): конец блока добавлен");
    }
    blk.tagEnd = static_cast<std::uint32_t>(i);
    blk.recordHandle = owner;
    if (!blk.recordHandle) {
        auto it = blockRecords_.find(upperAscii(blk.name));
        if (it != blockRecords_.end()) blk.recordHandle = it->second;
    }
    if (!d_.blockIndex.count(blk.name)) d_.blockIndex[blk.name] = blockIndex;
}

void Reader::entities(std::size_t& i) {
    while (!sectionBreak(i)) {
        if (code(i) != 0) {
            ++i;
            continue;
        }
        EntityId id = entity(i, kNoIndex);
        if (d_.entities[id.v].paperSpace) {
            d_.paperSpace.push_back(id);
        } else {
            d_.modelSpace.push_back(id);
        }
    }
    d_.layout.entitiesEnd = i;
}

// The tags after a POLYLINE (VERTEX ... SEQEND) or an INSERT with attributes
// (ATTRIB ... SEQEND) belong to it. A missing SEQEND is added.
std::size_t Reader::closeSubEntities(std::size_t j, std::string_view sub, const Entity& owner,
                                     std::size_t ownerBegin) {
    while (at0(j, sub)) {
        std::size_t e = nextZero(j + 1);
        checkPoints(j + 1, e);
        for (std::size_t k = j + 1; k < e; ++k) {
            if (code(k) == 5) claimHandle(k, std::string(sub), false);
        }
        j = e;
    }
    if (at0(j, "SEQEND")) {
        std::size_t e = nextZero(j + 1);
        for (std::size_t k = j + 1; k < e; ++k) {
            if (code(k) == 5) claimHandle(k, "SEQEND", false);
        }
        return e;
    }
    std::vector<std::pair<int, std::string>> tags{{0, "SEQEND"}};
    if (hasSubclasses_ || owner.handle) {
        Handle h = fresh();
        tags.emplace_back(5, hexHandle(h));
    }
    if (hasSubclasses_) {
        tags.emplace_back(330, hexHandle(owner.handle));
        tags.emplace_back(100, "AcDbEntity");
    }
    // The layer exactly as the owner has it in the file.
    std::string rawLayer = "0";
    for (std::size_t k = ownerBegin + 1, e = nextZero(ownerBegin + 1); k < e; ++k) {
        if (code(k) == 8) {
            rawLayer = std::string(val(k));
            break;
        }
    }
    tags.emplace_back(8, rawLayer);
    insertTags(j, std::move(tags));
    editIssue("missing-seqend", ownerBegin, owner.handle,
              where(ownerBegin) + ": у " + owner.dxfType + " нет SEQEND; конец добавлен");
    return j;
}

EntityId Reader::entity(std::size_t& i, std::size_t /*blockIndex*/) {
    std::size_t begin = i;
    std::size_t end0 = nextZero(i + 1);
    Entity e;
    std::string_view type = trimmed(val(begin));
    auto known = typeNames_.find(type);
    if (known == typeNames_.end()) known = typeNames_.emplace(type, Name(type)).first;
    e.dxfType = known->second;
    std::size_t geomBegin = begin + 1;
    commonProps(e, begin, end0, geomBegin);
    std::size_t end = end0;
    if (e.dxfType == "POLYLINE") {
        end = closeSubEntities(end0, "VERTEX", e, begin);
    } else if (e.dxfType == "INSERT" && at0(end0, "ATTRIB")) {
        end = closeSubEntities(end0, "ATTRIB", e, begin);
    }
    checkPoints(begin + 1, end0);
    geometry(e, geomBegin, end0);
    if (e.dxfType == "POLYLINE") polyline(e, geomBegin, end0, end0, end);
    e.tagBegin = static_cast<std::uint32_t>(begin);
    e.tagEnd = static_cast<std::uint32_t>(end);
    EntityId id{static_cast<std::uint32_t>(d_.entities.size())};
    d_.entityByHandle.insert(e.handle, id);
    d_.entities.push_back(std::move(e));
    i = end;
    return id;
}

void Reader::commonProps(Entity& e, std::size_t begin, std::size_t end0, std::size_t& geomBegin) {
    bool sawEntity = false;
    bool sawHandle = false;
    for (std::size_t k = begin + 1; k < end0; ++k) {
        int c = code(k);
        if (c == 102) {
            k = appGroupEnd(k, end0);
            continue;
        }
        if (c == 1001) break;
        if (c == 100) {
            hasSubclasses_ = true;
            if (trimmed(val(k)) == "AcDbEntity") {
                sawEntity = true;
                continue;
            }
            geomBegin = k;
            break;
        }
        switch (c) {
            case 5:
                if (!sawHandle) e.handle = claimHandle(k, e.dxfType, true);
                sawHandle = true;
                break;
            case 8:
                e.layer = layerName(val(k));
                break;
            case 60:
                e.visible = inum(k) == 0;
                break;
            case 62:
                e.color = inum(k);
                break;
            case 67:
                e.paperSpace = inum(k) == 1;
                break;
            case 370:
                e.lineweight = inum(k);
                break;
            default:
                break;
        }
    }
    (void)sawEntity;
    if (!sawHandle) {
        if (hasSubclasses_ || (!d_.version.empty() && d_.version >= "AC1012")) {
            Handle h = fresh();
            usedHandles_.insert(h, EntityId{});
            insertTags(begin + 1, {{5, hexHandle(h)}});
            editIssue("missing-handle", begin, h,
                      where(begin) + ": у " + e.dxfType + " нет дескриптора; дан дескриптор " +
                          hexHandle(h));
            e.handle = h;
        } else {
            // R12 files may go without handles: one in memory only, so that
            // every entity can be named; nothing is written for it.
            e.handle = fresh();
        }
    }
}

// Every x (10..18) must be followed by its y; a missing y is added as 0.
void Reader::checkPoints(std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) {
        int c = code(k);
        if (c == 1001) return;  // XDATA has its own rules
        if (c >= 10 && c <= 18 && !(k + 1 < end && code(k + 1) == c + 10)) {
            insertTags(k + 1, {{c + 10, "0"}});
            editIssue("missing-y", k, 0,
                      where(k) + ": за координатой X (код " + std::to_string(c) +
                          ") нет Y; добавлен Y = 0");
        }
    }
}

// A file cut off ends inside a record: its last tags may be half of a point
// or of a binary chunk, and groups opened in it are not closed. What is half
// goes and what is open is closed, so that only whole tags are written;
// the repairs that follow add the ends of the record's section and file.
void Reader::closeCutTail() {
    std::size_t last = n();
    while (last > 0 && code(last - 1) != 0) --last;
    // An entity, table entry or object cut off inside goes whole: how much
    // of it is missing is unknown, and what is there (a line without its
    // end, a hatch without its loops) would be wrong geometry. It is known
    // to be cut when the file ends inside one of its tags, or when it is an
    // entity whose data has not begun (only the AcDbEntity part is there).
    // A file cut between two tags may have lost nothing of its last record.
    bool cutInside = tok_.droppedCode && tok_.cutCode > 0;
    std::string_view lastMarker;
    for (std::size_t k = last; k < n(); ++k) {
        if (code(k) == 100) lastMarker = trimmed(val(k));
    }
    if (lastMarker == "AcDbEntity") cutInside = true;
    if (last > 0 && last < n() && cutInside) {
        std::string_view kind = trimmed(val(last - 1));
        static constexpr std::string_view kStructure[] = {"SECTION", "ENDSEC", "TABLE",
                                                          "ENDTAB",  "BLOCK",  "ENDBLK"};
        if (std::find(std::begin(kStructure), std::end(kStructure), kind) == std::end(kStructure)) {
            Handle h = 0;
            for (std::size_t k = last; k < n(); ++k) {
                if (code(k) == 5 || code(k) == 105) {
                    parseHandle(val(k), h);
                    break;
                }
            }
            edits.push_back(Edit{Edit::Delete, last - 1, n() - last + 1, {}});
            editIssue("truncated-record", last - 1, h,
                      where(last - 1) + ": файл оборван внутри " + std::string(kind) +
                          (h ? " " + hexHandle(h) : std::string()) + "; неполный объект удалён");
            return;
        }
    }
    std::size_t end = n();
    auto drop = [&](std::string why) {
        --end;
        edits.push_back(Edit{Edit::Delete, end, 1, {}});
        editIssue("truncated-tag", end, 0, where(end) + ": " + why + " отброшен");
    };
    auto isPointX = [](int c) {
        return (c >= 10 && c <= 18) || (c >= 110 && c <= 112) || (c >= 210 && c <= 213) ||
               (c >= 1010 && c <= 1013);
    };
    auto isChunk = [](int c) { return (c >= 310 && c <= 319) || c == 1004; };
    while (end > last) {
        int c = code(end - 1);
        std::string_view v = trimmed(val(end - 1));
        if (isPointX(c)) {
            drop("X точки без Y (код " + std::to_string(c) + ")");
        } else if (isChunk(c) &&
                   (v.size() % 2 != 0 ||
                    v.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)) {
            drop("оборванный кусок двоичных данных (код " + std::to_string(c) + ")");
        } else {
            break;
        }
    }
    int appOpen = 0, xdataOpen = 0;
    for (std::size_t k = last; k < end; ++k) {
        std::string_view v = trimmed(val(k));
        if (code(k) == 102 && !v.empty()) {
            if (v.front() == '{') ++appOpen;
            if (v == "}" && appOpen > 0) --appOpen;
        } else if (code(k) == 1002) {
            if (v == "{") ++xdataOpen;
            if (v == "}" && xdataOpen > 0) --xdataOpen;
        }
    }
    std::vector<std::pair<int, std::string>> closing;
    for (; xdataOpen > 0; --xdataOpen) closing.emplace_back(1002, "}");
    for (; appOpen > 0; --appOpen) closing.emplace_back(102, "}");
    if (!closing.empty()) {
        insertTags(n(), closing);
        editIssue("truncated-group", n() - 1, 0,
                  "Файл оборван внутри группы тегов: группа закрыта");
    }
}

// The codes each kind reads straight into a member of its geometry.
const std::array<Field<LineGeom>, 2> kLineFields{{{10, &LineGeom::start}, {11, &LineGeom::end}}};
const std::array<Field<PolylineGeom>, 2> kLwPolylineFields{
    {{38, &PolylineGeom::elevation}, {210, &PolylineGeom::extrusion}}};
const std::array<Field<ArcGeom>, 5> kArcFields{{{10, &ArcGeom::center},
                                                {40, &ArcGeom::radius},
                                                {50, &ArcGeom::startAngle},
                                                {51, &ArcGeom::endAngle},
                                                {210, &ArcGeom::extrusion}}};
const std::array<Field<EllipseGeom>, 6> kEllipseFields{{{10, &EllipseGeom::center},
                                                        {11, &EllipseGeom::majorAxis},
                                                        {40, &EllipseGeom::ratio},
                                                        {41, &EllipseGeom::startParam},
                                                        {42, &EllipseGeom::endParam},
                                                        {210, &EllipseGeom::extrusion}}};
const std::array<Field<SplineGeom>, 3> kSplineFields{
    {{70, &SplineGeom::flags}, {71, &SplineGeom::degree}, {210, &SplineGeom::extrusion}}};
const std::array<Field<TextGeom>, 9> kTextFields{{{1, &TextGeom::text},
                                                  {7, &TextGeom::style, true},
                                                  {10, &TextGeom::insertion},
                                                  {40, &TextGeom::height},
                                                  {41, &TextGeom::widthFactor},
                                                  {50, &TextGeom::rotation},
                                                  {51, &TextGeom::oblique},
                                                  {72, &TextGeom::hAlign},
                                                  {210, &TextGeom::extrusion}}};
const std::array<Field<MTextGeom>, 7> kMTextFields{{{7, &MTextGeom::style, true},
                                                    {10, &MTextGeom::insertion},
                                                    {40, &MTextGeom::height},
                                                    {41, &MTextGeom::rectWidth},
                                                    {50, &MTextGeom::rotation},
                                                    {71, &MTextGeom::attachment},
                                                    {210, &MTextGeom::extrusion}}};
const std::array<Field<InsertGeom>, 8> kInsertFields{{{2, &InsertGeom::blockName, true},
                                                      {10, &InsertGeom::insertion},
                                                      {50, &InsertGeom::rotation},
                                                      {70, &InsertGeom::columns},
                                                      {71, &InsertGeom::rows},
                                                      {44, &InsertGeom::columnSpacing},
                                                      {45, &InsertGeom::rowSpacing},
                                                      {210, &InsertGeom::extrusion}}};
const std::array<Field<DimensionGeom>, 11> kDimensionFields{{{2, &DimensionGeom::blockName, true},
                                                             {70, &DimensionGeom::dimType},
                                                             {10, &DimensionGeom::definition},
                                                             {11, &DimensionGeom::textMidpoint},
                                                             {13, &DimensionGeom::p13},
                                                             {14, &DimensionGeom::p14},
                                                             {15, &DimensionGeom::p15},
                                                             {16, &DimensionGeom::p16},
                                                             {1, &DimensionGeom::text},
                                                             {3, &DimensionGeom::style, true},
                                                             {210, &DimensionGeom::extrusion}}};
const std::array<Field<PointGeom>, 1> kPointFields{{{10, &PointGeom::position}}};
const std::array<Field<SolidGeom>, 1> kSolidFields{{{210, &SolidGeom::extrusion}}};

void Reader::geometry(Entity& e, std::size_t gb, std::size_t ge) {
    const std::string& t = e.dxfType;
    auto none = [](int, std::size_t&) {};
    if (t == "LINE") {
        LineGeom g;
        readFields(g, gb, ge, kLineFields, none);
        e.geom = g;
    } else if (t == "LWPOLYLINE") {
        PolylineGeom g;
        readFields(g, gb, ge, kLwPolylineFields, [&](int c, std::size_t& k) {
            switch (c) {
                case 90:  // the vertex count: room made once (never more than the tags allow)
                    g.vertices.reserve(std::min<std::size_t>(
                        static_cast<std::size_t>(std::max(inum(k), 0)), (ge - k) / 2));
                    break;
                case 10: {
                    Point3 p = point(k, ge);
                    g.vertices.push_back(PolyVertex{p.x, p.y, 0.0, 0.0});
                    break;
                }
                case 42:
                    if (!g.vertices.empty()) g.vertices.back().bulge = num(k);
                    break;
                case 70:
                    g.closed = (inum(k) & 1) != 0;
                    break;
                default:
                    break;
            }
        });
        e.geom = std::move(g);
    } else if (t == "POLYLINE") {
        e.geom = PolylineGeom{};  // filled by polyline()
    } else if (t == "ARC" || t == "CIRCLE") {
        ArcGeom g;
        readFields(g, gb, ge, kArcFields, none);
        if (t == "ARC") {
            e.geom = g;
        } else {
            e.geom = CircleGeom{g.center, g.radius, g.extrusion};
        }
    } else if (t == "ELLIPSE") {
        EllipseGeom g;
        g.endParam = 2 * std::numbers::pi;
        readFields(g, gb, ge, kEllipseFields, none);
        e.geom = g;
    } else if (t == "SPLINE") {
        SplineGeom g;
        bool anyWeight = false;
        readFields(g, gb, ge, kSplineFields, [&](int c, std::size_t& k) {
            if (c == 40) g.knots.push_back(num(k));
            if (c == 41) {
                double w = num(k);
                anyWeight = anyWeight || w != 1.0;
                g.weights.push_back(w);
            }
            if (c == 10) g.controlPoints.push_back(point(k, ge));
            if (c == 11) g.fitPoints.push_back(point(k, ge));
        });
        if (!anyWeight) g.weights.clear();
        if (g.degree > kMaxSplineDegree || g.controlPoints.size() > kMaxSplineControlPoints) {
            issue("spline-limit", gb, e.handle, splineLimitMessage(e.handle, g.degree));
        }
        e.geom = std::move(g);
    } else if (t == "TEXT" || t == "ATTRIB" || t == "ATTDEF") {
        TextGeom g;
        bool attrib = t != "TEXT";
        readFields(g, gb, ge, kTextFields, [&](int c, std::size_t& k) {
            if (c == 11) {
                g.alignment = point(k, ge);
                g.hasAlignment = true;
            }
            // Text's vertical alignment is 73; an attribute's is 74 (its 73 is the field length).
            if (c == (attrib ? 74 : 73)) g.vAlign = inum(k);
        });
        e.geom = std::move(g);
    } else if (t == "MTEXT") {
        MTextGeom g;
        std::string raw;
        std::string_view last;
        bool sawX = false;
        readFields(g, gb, ge, kMTextFields, [&](int c, std::size_t& k) {
            if (c == 3) raw.append(val(k));  // 3 ... then 1: the text in pieces
            if (c == 1) last = val(k);
            if (c == 11) {
                g.xDirection = point(k, ge);
                sawX = true;
            }
        });
        raw.append(last);
        g.text = text(raw);
        if (sawX) {
            g.rotation = std::atan2(g.xDirection.y, g.xDirection.x) * 180.0 / std::numbers::pi;
        } else {
            double a = g.rotation * std::numbers::pi / 180.0;
            g.xDirection = Point3{std::cos(a), std::sin(a), 0.0};
        }
        e.geom = std::move(g);
    } else if (t == "INSERT") {
        InsertGeom g;
        readFields(g, gb, ge, kInsertFields, [&](int c, std::size_t& k) {
            if (c == 41) g.scale.x = num(k);
            if (c == 42) g.scale.y = num(k);
            if (c == 43) g.scale.z = num(k);
        });
        e.geom = std::move(g);
    } else if (t == "DIMENSION") {
        DimensionGeom g;
        readFields(g, gb, ge, kDimensionFields, none);
        e.geom = std::move(g);
    } else if (t == "HATCH") {
        HatchGeom g;
        hatch(g, gb, ge);
        e.geom = std::move(g);
    } else if (t == "POINT") {
        PointGeom g;
        readFields(g, gb, ge, kPointFields, none);
        e.geom = g;
    } else if (t == "SOLID" || t == "TRACE") {
        SolidGeom g;
        readFields(g, gb, ge, kSolidFields, [&](int c, std::size_t& k) {
            if (c >= 10 && c <= 13) g.corners[c - 10] = point(k, ge);
        });
        e.geom = g;
    } else {
        e.geom = OtherGeom{};
    }
}

void Reader::polyline(Entity& e, std::size_t gb, std::size_t ge, std::size_t end0,
                      std::size_t end) {
    PolylineGeom g;
    g.lightweight = false;
    int flags = 0;
    for (std::size_t k = gb; k < ge; ++k) {
        int c = code(k);
        if (c == 1001) break;
        if (c == 70) flags = inum(k);
        if (c == 10) g.elevation = point(k, ge).z;
        if (c == 210) g.extrusion = point(k, ge);
    }
    g.closed = (flags & 1) != 0;
    g.is3d = (flags & 8) != 0;
    std::size_t j = end0;
    while (at0(j, "VERTEX") && j < end) {
        std::size_t ve = nextZero(j + 1);
        PolyVertex v;
        int vflags = 0;
        bool subclasses = false;
        for (std::size_t k = j + 1; k < ve; ++k) {
            int c = code(k);
            if (c == 1001) break;
            if (c == 100) subclasses = true;
            if (c == 10) {
                Point3 p = point(k, ve);
                v.x = p.x;
                v.y = p.y;
                v.z = p.z;
            }
            if (c == 42) v.bulge = num(k);
            if (c == 70) vflags = inum(k);
        }
        (void)subclasses;
        // Spline frame points (16) and polyface face records (128 without 64)
        // are not points of the line.
        bool frame = (vflags & 16) != 0;
        bool faceRecord = (vflags & 128) != 0 && (vflags & 64) == 0;
        if (!frame && !faceRecord) g.vertices.push_back(v);
        j = ve;
    }
    if (!g.is3d) {
        for (PolyVertex& v : g.vertices) v.z = 0.0;
    }
    e.geom = std::move(g);
}

void Reader::hatch(HatchGeom& h, std::size_t gb, std::size_t ge) {
    bool loopsDone = false;
    for (std::size_t k = gb; k < ge; ++k) {
        int c = code(k);
        if (c == 1001) break;
        if (c == 102) {
            k = appGroupEnd(k, ge);
            continue;
        }
        if (c == 10 && !loopsDone) {
            h.elevation = point(k, ge).z;
        } else if (c == 210) {
            h.extrusion = point(k, ge);
        } else if (c == 2) {
            h.pattern = text(trimmed(val(k)));
        } else if (c == 70) {
            h.solid = inum(k) == 1;
        } else if (c == 91 && !loopsDone) {
            loopsDone = true;
            int loops = inum(k);
            ++k;
            for (int l = 0; l < loops && k < ge && code(k) == 92; ++l) {
                int flags = inum(k++);
                PolylineGeom loop;
                loop.closed = true;
                loop.elevation = h.elevation;
                loop.extrusion = h.extrusion;
                if (flags & 2) {  // a polyline loop
                    while (k < ge) {
                        int cc = code(k);
                        if (cc == 10) {
                            Point3 p = point(k, ge);
                            loop.vertices.push_back(PolyVertex{p.x, p.y, 0.0, 0.0});
                        } else if (cc == 42) {
                            if (!loop.vertices.empty()) loop.vertices.back().bulge = num(k);
                        } else if (cc == 73) {
                            loop.closed = inum(k) != 0 || true;
                        } else if (cc != 72 && cc != 93) {
                            break;
                        }
                        ++k;
                    }
                } else {
                    int edges = 0;
                    if (k < ge && code(k) == 93) edges = inum(k++);
                    for (int ed = 0; ed < edges && k < ge && code(k) == 72; ++ed) {
                        int type = inum(k++);
                        Point3 a, b;
                        double r = 0, s0 = 0, s1 = 0, ratio = 1;
                        bool ccw = true;
                        if (type == 4) {
                            int degree = 3;
                            std::vector<double> knots, weights;
                            std::vector<Point3> ctrl, fit;
                            bool fitCount = false;
                            while (k < ge) {
                                int cc = code(k);
                                if (cc == 94) {
                                    degree = inum(k);
                                } else if (cc == 40) {
                                    knots.push_back(num(k));
                                } else if (cc == 10) {
                                    ctrl.push_back(point(k, ge));
                                } else if (cc == 42) {
                                    weights.push_back(num(k));
                                } else if (cc == 11) {
                                    fit.push_back(point(k, ge));
                                } else if (cc == 12 || cc == 13) {
                                    point(k, ge);
                                } else if (cc == 97 && !fitCount &&
                                           !(k + 1 < ge && code(k + 1) == 330)) {
                                    // R2010 on: the fit point count, even when it is 0, then
                                    // the fit points and tangents. A 97 followed by 330s is
                                    // the loop's count of source objects instead.
                                    fitCount = true;
                                } else if (cc != 73 && cc != 74 && cc != 95 && cc != 96) {
                                    break;
                                }
                                ++k;
                            }
                            if (degree > kMaxSplineDegree ||
                                ctrl.size() > kMaxSplineControlPoints) {
                                issue("spline-limit", gb, 0, splineLimitMessage(0, degree));
                            }
                            std::vector<Point3> pts =
                                ctrl.empty()
                                    ? fit
                                    : sampleSpline(degree, knots, ctrl, weights,
                                                   hatchSplineSegments(degree, ctrl.size()));
                            for (std::size_t q = 0; q + 1 < pts.size(); ++q) {
                                loop.vertices.push_back(PolyVertex{pts[q].x, pts[q].y, 0.0, 0.0});
                            }
                            continue;
                        }
                        while (k < ge) {
                            int cc = code(k);
                            if (cc == 10) {
                                a = point(k, ge);
                            } else if (cc == 11) {
                                b = point(k, ge);
                            } else if (cc == 40) {
                                if (type == 2)
                                    r = num(k);
                                else
                                    ratio = num(k);
                            } else if (cc == 50) {
                                s0 = num(k);
                            } else if (cc == 51) {
                                s1 = num(k);
                            } else if (cc == 73 && type != 1) {
                                ccw = inum(k) != 0;
                            } else {
                                break;
                            }
                            ++k;
                        }
                        constexpr double kDeg = std::numbers::pi / 180.0;
                        if (type == 1) {
                            loop.vertices.push_back(PolyVertex{a.x, a.y, 0.0, 0.0});
                        } else if (type == 2) {
                            // Clockwise arcs keep their angles as 360 - angle.
                            double from = ccw ? s0 : -s0;
                            double sweep = std::fmod(s1 - s0, 360.0);
                            if (sweep <= 0) sweep += 360.0;
                            if (!ccw) sweep = -sweep;
                            Point3 p{a.x + r * std::cos(from * kDeg),
                                     a.y + r * std::sin(from * kDeg), 0.0};
                            loop.vertices.push_back(
                                PolyVertex{p.x, p.y, 0.0, std::tan(sweep * kDeg / 4.0)});
                        } else if (type == 3) {
                            // The angles are true angles from the major axis (clockwise
                            // ones as 360 - angle); points are walked by the ellipse's
                            // parameter, atan2(sin a / ratio, cos a).
                            double sweepAngle = std::fmod(s1 - s0, 360.0);
                            if (sweepAngle <= 0) sweepAngle += 360.0;
                            auto param = [&](double degrees) {
                                double rad = degrees * kDeg;
                                return ratio != 0.0
                                           ? std::atan2(std::sin(rad) / ratio, std::cos(rad))
                                           : rad;
                            };
                            double from = param(ccw ? s0 : -s0);
                            double sweep = 2 * std::numbers::pi;
                            if (sweepAngle < 360.0) {
                                sweep = std::remainder(param(ccw ? s1 : -s1) - from,
                                                       2 * std::numbers::pi);
                                if (ccw && sweep <= 0) sweep += 2 * std::numbers::pi;
                                if (!ccw && sweep >= 0) sweep -= 2 * std::numbers::pi;
                            } else if (!ccw) {
                                sweep = -sweep;
                            }
                            Point3 minor{-b.y * ratio, b.x * ratio, 0.0};
                            constexpr int kSteps = 16;
                            for (int q = 0; q < kSteps; ++q) {
                                double t = from + sweep * q / kSteps;
                                loop.vertices.push_back(PolyVertex{
                                    a.x + b.x * std::cos(t) + minor.x * std::sin(t),
                                    a.y + b.y * std::cos(t) + minor.y * std::sin(t), 0.0, 0.0});
                            }
                        }
                    }
                }
                // Source boundary objects of an associative hatch.
                if (k < ge && code(k) == 97) {
                    ++k;
                    while (k < ge && code(k) == 330) ++k;
                }
                h.loops.push_back(std::move(loop));
            }
            --k;
        }
    }
}

void Reader::afterRead() {
    DrawingData& d = d_;
    if (d.version.empty()) d.version = "AC1009";
    if (d.codepage.empty()) d.codepage = "ANSI_1252";

    // Layers: every layer an entity names must be in the table.
    std::unordered_map<std::string, std::size_t> folded;
    for (std::size_t l = 0; l < d.layers.size(); ++l)
        folded.emplace(upperAscii(d.layers[l].name), l);
    // The name of the layer in the table, which is added when missing.
    auto ensureLayer = [&](const std::string& name, Handle h, std::size_t at) -> std::string {
        auto exact = d.layerIndex.find(name);
        if (exact != d.layerIndex.end()) return name;
        auto f = folded.find(upperAscii(name));
        if (f != folded.end()) return d.layers[f->second].name;  // layer names ignore case
        Layer layer;
        layer.name = name;
        if (layerTableSeen_) {
            layer.handle = fresh();
            issue("missing-layer", at, h, "Слоя «" + name + "» нет в таблице слоёв: слой добавлен");
        }
        folded.emplace(upperAscii(name), d.layers.size());
        d.layerIndex[name] = d.layers.size();
        d.layers.push_back(std::move(layer));
        return name;
    };
    // Entities share a handful of layer names: each is looked up once.
    std::unordered_map<const std::string*, Name> resolved;
    for (Entity& e : d.entities) {
        auto it = resolved.find(&e.layer.str());
        if (it == resolved.end()) {
            Name table(ensureLayer(e.layer, e.handle, e.tagBegin));
            it = resolved.emplace(&e.layer.str(), table).first;
        }
        e.layer = it->second;
    }
    if (d.layout.clayerValue != kNoIndex)
        d.currentLayer = ensureLayer(d.currentLayer, 0, d.layout.clayerValue);

    // INSERTs of missing blocks, and INSERTs that make a block contain itself.
    auto insertTarget = [&](const Entity& e) -> std::size_t {
        if (e.erased) return kNoIndex;
        auto* ins = geomIf<InsertGeom>(e.geom);
        if (!ins) return kNoIndex;
        auto it = d.blockIndex.find(ins->blockName);
        if (it != d.blockIndex.end()) return it->second;
        for (std::size_t b = 0; b < d.blocks.size(); ++b) {
            if (iequals(d.blocks[b].name, ins->blockName)) return b;
        }
        return d.blocks.size();  // missing
    };
    for (Entity& e : d.entities) {
        if (e.dxfType != "INSERT") continue;
        if (insertTarget(e) == d.blocks.size()) {
            e.erased = true;
            issue("missing-block", e.tagBegin, e.handle,
                  "Вставка " + hexHandle(e.handle) + " ссылается на несуществующий блок «" +
                      geomAs<InsertGeom>(e.geom).blockName + "»: вставка удалена");
        }
    }
    // Depth-first walk over blocks; an INSERT that reaches a block on the
    // current path closes a cycle and is erased.
    std::vector<int> state(d.blocks.size(), 0);              // 0 new, 1 on path, 2 done
    std::vector<std::pair<std::size_t, std::size_t>> stack;  // block, next entity
    for (std::size_t root = 0; root < d.blocks.size(); ++root) {
        if (state[root]) continue;
        stack.emplace_back(root, 0);
        state[root] = 1;
        while (!stack.empty()) {
            auto& [b, next] = stack.back();
            if (next >= d.blocks[b].entities.size()) {
                state[b] = 2;
                stack.pop_back();
                continue;
            }
            Entity& e = d.entities[d.blocks[b].entities[next++].v];
            std::size_t target = insertTarget(e);
            if (target >= d.blocks.size()) continue;
            if (state[target] == 1) {
                e.erased = true;
                issue("block-cycle", e.tagBegin, e.handle,
                      "Блок «" + d.blocks[b].name + "» через вставку " + hexHandle(e.handle) +
                          " содержит сам себя: вставка удалена");
            } else if (state[target] == 0) {
                state[target] = 1;
                stack.emplace_back(target, 0);
            }
        }
    }

    Handle maxUsed = maxClaimed_;
    d.layout.maxHandle = maxUsed;
    d.handseed = std::max({headerSeed_, maxUsed + 1, nextFresh_});
    if (d.layout.handseedValue != kNoIndex && headerSeed_ <= maxOriginal_) {
        issue("handseed-low", d.layout.handseedValue, 0,
              "$HANDSEED (" + hexHandle(headerSeed_) + ") не больше занятых дескрипторов: будет " +
                  hexHandle(d.handseed));
    }
    if (!d.layerIndex.count(d.currentLayer)) d.currentLayer = "0";
}

// Applies the edits of one pass; returns the original index of every new tag.
std::vector<std::uint32_t> applyEdits(TagStore& s, std::vector<Edit>& edits,
                                      const std::vector<std::uint32_t>* prevOrig) {
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.at < b.at; });
    std::vector<Tag> out;
    std::vector<std::uint32_t> orig;
    out.reserve(s.tags.size() + edits.size() * 4);
    orig.reserve(out.capacity());
    auto origOf = [&](std::size_t i) -> std::uint32_t {
        if (prevOrig && i < prevOrig->size()) return (*prevOrig)[i];
        if (prevOrig && !prevOrig->empty()) return prevOrig->back();
        return static_cast<std::uint32_t>(i);
    };
    auto add = [&](int code, std::string_view v, std::uint32_t o) {
        out.push_back(s.appendValue(code, v));
        orig.push_back(o);
    };
    std::size_t e = 0;
    std::size_t skipUntil = 0;
    for (std::size_t i = 0; i <= s.tags.size(); ++i) {
        bool replaced = false;
        std::string replacement;
        for (; e < edits.size() && edits[e].at == i; ++e) {
            Edit& ed = edits[e];
            if (ed.kind == Edit::Insert) {
                for (auto& [c, v] : ed.tags) add(c, v, origOf(i));
            } else if (ed.kind == Edit::Delete) {
                skipUntil = std::max(skipUntil, i + ed.count);
            } else {
                replaced = true;
                replacement = ed.tags[0].second;
            }
        }
        if (i == s.tags.size()) break;
        if (i < skipUntil) continue;
        if (replaced) {
            add(s.tags[i].code, replacement, origOf(i));
        } else {
            out.push_back(s.tags[i]);
            orig.push_back(origOf(i));
        }
    }
    s.tags = std::move(out);
    return orig;
}

}  // namespace

DrawingData readDxf(std::string_view bytes) {
    return readDxfBuffer(std::string(bytes));
}

DrawingData readDxfBuffer(std::string bytes) {
    // Vertices and texts take about half a plan's size in small blocks.
    PrefaultHeap heap(bytes.size() / 2);
    TokenizedDxf tok = tokenizeDxf(std::move(bytes));
    if (tok.tags.size() == 0) throw Error("Файл пуст или не является файлом DXF");
    std::vector<Issue> repairs;
    std::vector<std::uint32_t> orig;
    Handle freshFloor = ~Handle(0);
    for (int pass = 0;; ++pass) {
        Reader reader(tok, orig.empty() ? nullptr : &orig);
        reader.freshFloor_ = freshFloor;
        bool last = pass >= 3;
        DrawingData d = reader.run();
        for (auto& is : reader.editIssues) repairs.push_back(std::move(is));
        if (reader.edits.empty() || last) {
            d.issues.insert(d.issues.begin(), repairs.begin(), repairs.end());
            for (Issue& is : blockLimitIssues(d)) d.issues.push_back(std::move(is));
            return d;
        }
        // Repairs that change tags: apply them and read the repaired tags again.
        if (freshFloor == ~Handle(0)) freshFloor = reader.firstFresh();
        tok.tags = std::move(d.tags);
        orig = applyEdits(tok.tags, reader.edits, orig.empty() ? nullptr : &orig);
        tok.sawEof = true;
        tok.junkAfterEof = false;
        tok.droppedCode = false;
    }
}

namespace {

// Bytes of file this machine can read: the file, its tags and its entities
// take about three times its size, and half the memory is left to the rest.
std::uintmax_t readableFileSize() {
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return std::numeric_limits<std::uintmax_t>::max();
    return static_cast<std::uintmax_t>(pages) * static_cast<std::uintmax_t>(pageSize) / 6;
}

std::string megabytes(std::uintmax_t bytes) {
    return std::to_string((bytes + (1u << 20) - 1) >> 20);
}

}  // namespace

void checkDrawingFile(const std::filesystem::path& path) {
    if (path.empty()) throw Error("Не указан файл чертежа");
    const std::string name = validUtf8(path.string());
    std::error_code ec;
    std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (st.type() == std::filesystem::file_type::not_found) {
        throw Error("Файл «" + name + "» не найден");
    }
    if (ec) throw Error("Не удалось открыть файл «" + name + "»: " + validUtf8(ec.message()));
    if (std::filesystem::is_directory(st)) throw Error("«" + name + "» — папка, а не файл чертежа");
    if (!std::filesystem::is_regular_file(st)) {
        throw Error("«" + name +
                    "» — не обычный файл (канал, устройство или сокет): чертёж читается только "
                    "из файла");
    }
    std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) throw Error("Не удалось прочитать файл «" + name + "»: " + validUtf8(ec.message()));
    if (size > readableFileSize()) {
        throw Error("Файл «" + name + "» (" + megabytes(size) +
                    " МБ) слишком велик: памяти этой машины хватает на чертежи до " +
                    megabytes(readableFileSize()) + " МБ");
    }
}

DrawingData readDxfFile(const std::filesystem::path& path) {
    // Refused before a byte is read: a folder, a pipe that would block, a file
    // larger than memory.
    checkDrawingFile(path);
    const std::string name = validUtf8(path.string());
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error("Не удалось открыть файл «" + name + "»");
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::uintmax_t>(size) > readableFileSize()) {
        throw Error("Не удалось прочитать файл «" + name + "»");
    }
    in.seekg(0, std::ios::beg);
    // The whole file in one read, into the buffer the tags will keep.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    adviseHugePages(bytes.data(), bytes.capacity());
    PrefaultPages prefault(bytes.data(), bytes.capacity());
    bytes.resize(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(bytes.data(), size)) {
        throw Error("Не удалось прочитать файл «" + name + "»");
    }
    try {
        return readDxfBuffer(std::move(bytes));
    } catch (const Error& e) {
        throw Error("Файл «" + validUtf8(path.filename().string()) + "»: " + e.what());
    }
}

}  // namespace cad
