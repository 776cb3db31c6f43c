// Tags for what the program changed. A changed entity keeps every original
// tag in place and only the values of the changed properties are rewritten
// (a missing tag is inserted where the version wants it). What the program
// created is written by emit_new.cpp.
#include "cad/dxf/emit.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numbers>
#include <optional>
#include <variant>
#include <vector>

#include "cad/dxf/emit_support.hpp"
#include "cad/dxf/fields.hpp"
#include "cad/error.hpp"
#include "cad/mtext.hpp"
#include "cad/text_util.hpp"

namespace cad {

using namespace dxf_emit;

void TagOut::putDouble(int code, double value) {
    if (!std::isfinite(value)) {
        throw Error("Нечисловое значение в коде группы " + std::to_string(code) +
                    ": такой чертёж не может быть записан");
    }
    if (value == 0.0) value = 0.0;  // no "-0.0"
    // Fixed notation with the fewest digits that read back to the same double:
    // CAD programs and simple DXF readers all take it, unlike exponent forms.
    // The longest such text (the smallest subnormal) has about 330 characters.
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (ec != std::errc()) throw Error("Не удалось записать число");
    std::string_view text(buf, static_cast<std::size_t>(end - buf));
    if (text.find('.') == std::string_view::npos) {
        std::string withPoint(text);
        withPoint += ".0";
        put(code, withPoint);
    } else {
        put(code, text);
    }
}

void TagOut::putHandle(int code, Handle h) {
    put(code, formatHandle(h));
}

namespace {
// ---- changed entities ---------------------------------------------------------

// Rewrites of one entity's tag range: values replaced, tags inserted after a
// given tag, tags dropped.
class TagEdits {
  public:
    void replace(std::size_t i, std::string value) { replaced_[i] = std::move(value); }
    void insertAfter(std::size_t i, int code, std::string value) {
        inserted_[i].emplace_back(code, std::move(value));
    }
    void drop(std::size_t i) { dropped_.push_back(i); }

    void write(const TagStore& tags, std::size_t begin, std::size_t end, TagOut& out) const {
        for (std::size_t i = begin; i < end; ++i) {
            if (std::find(dropped_.begin(), dropped_.end(), i) == dropped_.end()) {
                auto r = replaced_.find(i);
                out.put(tags.code(i),
                        r != replaced_.end() ? std::string_view(r->second) : tags.value(i));
            }
            auto ins = inserted_.find(i);
            if (ins == inserted_.end()) continue;
            for (const auto& [code, value] : ins->second) out.put(code, value);
        }
    }

  private:
    std::map<std::size_t, std::string> replaced_;
    std::map<std::size_t, std::vector<std::pair<int, std::string>>> inserted_;
    std::vector<std::size_t> dropped_;
};

// The tags of one entity (not its VERTEX or ATTRIB followers) split into the
// part every entity has (layer, colour, ...) and its own geometry, both
// without application groups (102 {...}) and extended data (1001 on).
struct EntityParts {
    std::vector<std::size_t> common;
    std::vector<std::size_t> geometry;
    std::size_t afterHead = kNoIndex;  // where a common tag goes when there is no better place
};

bool isCommonCode(int code) {
    switch (code) {
        case 5:
        case 6:
        case 8:
        case 38:
        case 39:
        case 48:
        case 60:
        case 62:
        case 67:
        case 92:
        case 160:
        case 284:
        case 310:
        case 330:
        case 347:
        case 348:
        case 360:
        case 370:
        case 390:
        case 410:
        case 420:
        case 430:
        case 440:
            return true;
        default:
            return false;
    }
}

EntityParts splitEntity(const TagStore& tags, std::size_t begin, std::size_t end) {
    std::vector<std::size_t> own;
    int groupDepth = 0;
    for (std::size_t i = begin + 1; i < end; ++i) {
        int code = tags.code(i);
        if (code == 0 || code >= 1000 || code == 101) break;  // next entity, XDATA, embedded object
        if (code == 102) {
            std::string_view v = trim(tags.value(i));
            if (!v.empty() && v.front() == '{') ++groupDepth;
            if (v == "}" && groupDepth > 0) --groupDepth;
            continue;
        }
        if (groupDepth == 0) own.push_back(i);
    }
    EntityParts parts;
    parts.afterHead = begin;
    auto marker = std::find_if(own.begin(), own.end(), [&](std::size_t i) {
        return tags.code(i) == 100 && trim(tags.value(i)) == "AcDbEntity";
    });
    if (marker != own.end()) {
        parts.afterHead = *marker;
        auto it = marker + 1;
        for (; it != own.end() && tags.code(*it) != 100; ++it) parts.common.push_back(*it);
        parts.geometry.assign(it, own.end());
        return parts;
    }
    // R12 and writers that leave out the subclass markers: the common tags
    // come first, before the first geometry tag.
    auto it = own.begin();
    for (; it != own.end() && isCommonCode(tags.code(*it)); ++it) {
        parts.common.push_back(*it);
        if (tags.code(*it) == 5) parts.afterHead = *it;
    }
    for (; it != own.end(); ++it) {
        if (tags.code(*it) != 100) parts.geometry.push_back(*it);
    }
    return parts;
}

std::optional<std::size_t> findCode(const TagStore& tags, const std::vector<std::size_t>& in,
                                    int code) {
    for (std::size_t i : in) {
        if (tags.code(i) == code) return i;
    }
    return std::nullopt;
}

// The order in which CAD programs write the common tags; a missing tag is
// inserted after the last present one that comes before it.
int commonRank(int code) {
    static constexpr std::array<int, 16> kOrder = {67,  410, 8,  6,  347, 62,  420, 430,
                                                   440, 370, 48, 60, 92,  310, 284, 390};
    auto it = std::find(kOrder.begin(), kOrder.end(), code);
    return it == kOrder.end() ? -1 : static_cast<int>(it - kOrder.begin());
}

void setCommonInt(const TagStore& tags, const EntityParts& parts, TagEdits& edits, int code,
                  long long value, long long defaultValue) {
    if (auto i = findCode(tags, parts.common, code)) {
        edits.replace(*i, intLike(tags.value(*i), value));
        return;
    }
    if (value == defaultValue) return;
    std::size_t after = parts.afterHead;
    int rank = commonRank(code);
    for (std::size_t i : parts.common) {
        int r = commonRank(tags.code(i));
        if (r >= 0 && r < rank) after = i;
    }
    // CAD programs right-align 16-bit integers; so do we when the file does.
    std::string text = intText(value);
    if (auto layer = findCode(tags, parts.common, 62)) {
        text = intLike(tags.value(*layer), value);
    }
    edits.insertAfter(after, code, text);
}

void setLayer(const DrawingData& d, const EntityParts& parts, const Entity& e, TagEdits& edits) {
    std::string value = encodeValue(d, e.layer);
    if (auto i = findCode(d.tags, parts.common, 8)) {
        edits.replace(*i, value);
    } else {
        edits.insertAfter(parts.afterHead, 8, value);
    }
}

void setDouble(const TagStore& tags, const std::vector<std::size_t>& in, TagEdits& edits, int code,
               double value) {
    if (auto i = findCode(tags, in, code)) edits.replace(*i, doubleText(value));
}

// Rewrites or inserts a double tag; `after` is where a missing one goes.
void setOrInsertDouble(const TagStore& tags, const std::vector<std::size_t>& in, TagEdits& edits,
                       int code, double value, double defaultValue, std::size_t after) {
    if (auto i = findCode(tags, in, code)) {
        edits.replace(*i, doubleText(value));
    } else if (value != defaultValue && after != kNoIndex) {
        edits.insertAfter(after, code, doubleText(value));
    }
}

void setPoint(const TagStore& tags, const EntityParts& parts, TagEdits& edits, int code, Point3 p) {
    setDouble(tags, parts.geometry, edits, code, p.x);
    auto y = findCode(tags, parts.geometry, code + 10);
    if (y) edits.replace(*y, doubleText(p.y));
    if (auto z = findCode(tags, parts.geometry, code + 20)) {
        edits.replace(*z, doubleText(p.z));
    } else if (p.z != 0.0 && y) {
        edits.insertAfter(*y, code + 20, doubleText(p.z));
    }
}

void setTextProperties(const DrawingData& d, const EntityParts& parts, const TextGeom& t,
                       TagEdits& edits) {
    const TagStore& tags = d.tags;
    auto text = findCode(tags, parts.geometry, 1);
    if (text) edits.replace(*text, encodeValue(d, t.text));
    auto height = findCode(tags, parts.geometry, 40);
    setDouble(tags, parts.geometry, edits, 40, t.height);
    // 50 and 41 follow the text value in the order CAD programs write them.
    std::size_t anchor = text ? *text : (height ? *height : kNoIndex);
    auto rotation = findCode(tags, parts.geometry, 50);
    setOrInsertDouble(tags, parts.geometry, edits, 50, t.rotation, 0.0, anchor);
    if (rotation) anchor = *rotation;
    setOrInsertDouble(tags, parts.geometry, edits, 41, t.widthFactor, 1.0, anchor);
}

void setMTextProperties(const TagStore& tags, const EntityParts& parts, const MTextGeom& m,
                        TagEdits& edits) {
    auto height = findCode(tags, parts.geometry, 40);
    setDouble(tags, parts.geometry, edits, 40, m.height);
    if (findCode(tags, parts.geometry, 11)) {
        // A direction vector wins over the rotation angle.
        double r = m.rotation * std::numbers::pi / 180.0;
        // cos 90 degrees is 6e-17 in doubles: write the 0 that was meant.
        auto snap = [](double v) { return std::abs(v) < 1e-15 ? 0.0 : v; };
        setPoint(tags, parts, edits, 11, {snap(std::cos(r)), snap(std::sin(r)), 0.0});
        return;
    }
    setOrInsertDouble(tags, parts.geometry, edits, 50, m.rotation, 0.0,
                      height ? *height : kNoIndex);
}

}  // namespace

void emitChangedEntity(const DrawingData& d, const Entity& e, TagOut& out) {
    if (e.tagBegin == kNoTags) {
        emitNewEntity(d, e, d.layout.modelSpaceRecord, out);
        return;
    }
    const TagStore& tags = d.tags;
    const Version ver(d);
    TagEdits edits;
    EntityParts parts = splitEntity(tags, e.tagBegin, e.tagEnd);

    if (e.changed & kChangedLayer) {
        setLayer(d, parts, e, edits);
        // The vertices and the closing SEQEND of a polyline (and the SEQEND
        // after attributes) carry the layer of their entity.
        for (std::size_t i = e.tagBegin + 1; i < e.tagEnd; ++i) {
            if (tags.code(i) != 0) continue;
            std::string_view type = trim(tags.value(i));
            if (type != "VERTEX" && type != "SEQEND") continue;
            std::size_t next = i + 1;
            while (next < e.tagEnd && tags.code(next) != 0) ++next;
            setLayer(d, splitEntity(tags, i, next), e, edits);
        }
    }
    if (e.changed & kChangedVisible) {
        setCommonInt(tags, parts, edits, 60, e.visible ? 0 : 1, 0);
    }
    if ((e.changed & kChangedLineweight) && ver.lineweights) {
        setCommonInt(tags, parts, edits, 370, e.lineweight, -1);
    }
    if (e.changed & kChangedColor) {
        setCommonInt(tags, parts, edits, 62, e.color, 256);
        // A true colour would win over the colour number.
        for (int code : {420, 430}) {
            if (auto i = findCode(tags, parts.common, code)) edits.drop(*i);
        }
    }
    if ((e.changed & kChangedPoints)) {
        if (auto* line = geomIf<LineGeom>(e.geom)) {
            for (const auto& f : dxf_read::kLineFields) {
                setPoint(tags, parts, edits, f.code, line->*std::get<Point3 LineGeom::*>(f.member));
            }
        }
    }
    if (e.changed & kChangedText) {
        if (auto* t = geomIf<TextGeom>(e.geom)) setTextProperties(d, parts, *t, edits);
        if (auto* m = geomIf<MTextGeom>(e.geom)) setMTextProperties(tags, parts, *m, edits);
    }
    edits.write(tags, e.tagBegin, e.tagEnd, out);
}

}  // namespace cad
