// The reader's inside, shared by its parts (reader.cpp: the walk over the
// sections and entities; reader_fields.cpp: the fields of each kind of
// entity; reader_hatch.cpp: hatch boundaries; reader_repair.cpp: the
// repairs and what is checked after the walk). Not for use elsewhere.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <variant>
#include <vector>

#include "cad/drawing.hpp"
#include "cad/dxf/encoding.hpp"
#include "cad/dxf/fields.hpp"
#include "cad/dxf/tokenizer.hpp"
#include "cad/error.hpp"
#include "cad/geometry.hpp"
#include "cad/text_util.hpp"

namespace cad::dxf_read {

struct Edit {
    enum Kind { Insert, Delete, Replace } kind = Insert;
    std::size_t at = 0;     // tag index: insert before it, delete from it, replace its value
    std::size_t count = 0;  // Delete: how many tags
    std::vector<std::pair<int, std::string>> tags;  // Insert: the tags; Replace: one value
};

class Reader {
  public:
    Reader(TokenizedDxf& tok, const std::vector<std::uint32_t>* origIndex)
        : tok_(tok), s_(tok.tags), origIndex_(origIndex) {}

    DrawingData run();
    std::vector<Edit> edits;
    // Told the share of the tags read, scaled into [progressFrom, progressTo].
    const std::function<void(double)>* progress = nullptr;
    double progressFrom = 0.0, progressTo = 1.0;
    std::vector<Issue> editIssues;

  private:
    // ---- tag access
    std::size_t n() const { return s_.size(); }
    int code(std::size_t i) const { return s_.code(i); }
    std::string_view val(std::size_t i) const { return s_.value(i); }
    bool at0(std::size_t i, std::string_view what) const {
        return i < n() && code(i) == 0 && trim(val(i)) == what;
    }
    bool sectionBreak(std::size_t i) const {
        if (i >= n()) return true;
        if (code(i) != 0) return false;
        std::string_view v = trim(val(i));
        return v == "SECTION" || v == "EOF" || v == "ENDSEC";
    }
    // The closing tag (102 "}") of the {APP ... } group opened at k, whose
    // codes have meanings of their own; end when it is not closed.
    std::size_t appGroupEnd(std::size_t k, std::size_t end) const {
        while (k + 1 < end && !(code(k + 1) == 102 && trim(val(k + 1)) == "}")) ++k;
        return k + 1;
    }
    std::size_t nextZero(std::size_t i) const {
        while (i < n() && code(i) != 0) ++i;
        return i;
    }

    void tick(std::size_t i) {
        if (!progress || i < nextTick_) return;
        nextTick_ = i + std::max<std::size_t>(n() / 200, 4096);
        (*progress)(progressFrom + (progressTo - progressFrom) * static_cast<double>(i) /
                                       static_cast<double>(n()));
    }
    std::size_t nextTick_ = 0;

    // ---- reporting
    std::size_t lineOf(std::size_t i) const {
        if (tok_.binary) return 0;
        std::size_t orig = origIndex_ && i < origIndex_->size() ? (*origIndex_)[i] : i;
        return tagLine(tok_, orig);
    }
    Issue makeIssue(std::string codeName, std::size_t at, Handle h,
                    const std::string& message) const {
        return Issue{std::move(codeName), at == kNoIndex ? 0 : lineOf(at), h, validUtf8(message)};
    }
    void issue(std::string codeName, std::size_t at, Handle h, std::string message) {
        d_.issues.push_back(makeIssue(std::move(codeName), at, h, message));
    }
    void editIssue(std::string codeName, std::size_t at, Handle h, std::string message) {
        editIssues.push_back(makeIssue(std::move(codeName), at, h, message));
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
        std::string_view v = trim(val(i));
        double x = 0.0;
        auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), x);
        if (ec == std::errc() && p == v.data() + v.size() && std::isfinite(x)) return x;
        badNumber(i);
        return 0.0;
    }
    int inum(std::size_t i) {
        std::string_view v = trim(val(i));
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
                  where(i) + ": значение «" + std::string(cutUtf8(trim(val(i)), 40)) + "» кода " +
                      std::to_string(code(i)) + " не число; записан 0");
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
    // BLOCK heads and the common properties of entities come before any
    // embedded object: a 101 among them is read past.
    static constexpr bool kThroughEmbedded = true;
    // Each tag from gb to ge, {APP} groups skipped, up to XDATA (1001) or an
    // embedded object (101; on through it where `throughEmbedded`). fn(code, k)
    // may move k on to the last tag it read; an fn that returns bool ends the
    // walk by returning false.
    template <class Fn>
    void eachTag(std::size_t gb, std::size_t ge, Fn&& fn, bool throughEmbedded = false) {
        for (std::size_t k = gb; k < ge; ++k) {
            int c = code(k);
            if (c == 102) {
                k = appGroupEnd(k, ge);
                continue;
            }
            if (c == 1001 || (c == 101 && !throughEmbedded)) break;
            if constexpr (std::is_same_v<std::invoke_result_t<Fn&, int, std::size_t&>, bool>) {
                if (!fn(c, k)) break;
            } else {
                fn(c, k);
            }
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
        to = name ? text(trim(val(k))) : text(val(k));
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
        std::string name = text(trim(raw));
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
        bool tooLarge = ok && h > kMaxHandle;
        ok = ok && !tooLarge;
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
        replaceValue(i, formatHandle(nh));
        if (tooLarge) {
            editIssue("large-handle", i, nh,
                      where(i) + ": " + std::string(kind) + " с дескриптором " +
                          std::string(cutUtf8(trim(v), 20)) +
                          ", после которого нет места для новых; дан новый дескриптор " +
                          formatHandle(nh));
        } else if (dup) {
            editIssue("duplicate-handle", i, nh,
                      where(i) + ": " + std::string(kind) + " с дескриптором " +
                          std::string(cutUtf8(trim(v), 20)) +
                          ", который уже занят; дан новый дескриптор " + formatHandle(nh));
        } else {
            editIssue("bad-handle", i, nh,
                      where(i) + ": " + std::string(kind) + " с неверным дескриптором «" +
                          std::string(cutUtf8(trim(v), 20)) + "»; дан новый дескриптор " +
                          formatHandle(nh));
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
    void programMark(const Entity& e, std::size_t begin, std::size_t end0);
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
    bool seedTooHigh_ = false;  // $HANDSEED left no room and was not taken
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

// What is said of a spline past the limits CAD programs set (hatch edges
// and SPLINE entities alike).
std::string splineLimitMessage(Handle h, int degree);

// Applies the edits of one pass; returns the original index of every new tag.
std::vector<std::uint32_t> applyEdits(TagStore& s, std::vector<Edit>& edits,
                                      const std::vector<std::uint32_t>* prevOrig);

}  // namespace cad::dxf_read
