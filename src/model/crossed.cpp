#include "model/crossed.hpp"

#include "cad/check.hpp"
#include "cad/text_util.hpp"
#include "model/workspace.hpp"

namespace model {

std::optional<CrossKind> crossKindByKey(std::string_view key) {
    for (const CrossKindInfo& k : kCrossKinds) {
        if (k.key == key) return k.kind;
    }
    return std::nullopt;
}

std::string crossKindKeyList() {
    std::string list;
    for (const CrossKindInfo& k : kCrossKinds) {
        if (!list.empty()) list += ", ";
        list += k.key;
    }
    return list;
}

namespace {

struct FoundByInfo {
    FoundBy by;
    std::string_view key;   // in the dump and the project file
    std::string_view text;  // in the window
};
constexpr FoundByInfo kFoundBy[] = {
    {FoundBy::Typed, "typed", "введено"},
    {FoundBy::Picked, "picked", "из текста чертежа"},
    {FoundBy::Survey, "survey", "по съёмке"},
};

const FoundByInfo& foundByInfo(FoundBy by) {
    for (const FoundByInfo& f : kFoundBy) {
        if (f.by == by) return f;
    }
    return kFoundBy[0];
}

// Which of the crossing type lists (connections, communications, other
// crossings) holds the layer, none when no such list does.
std::optional<std::size_t> crossingListOf(const Controls& controls, std::string_view layer) {
    for (std::size_t t = 1; t < kTypeListCount; ++t) {
        for (const std::string& name : controls.typeLists[t]) {
            if (cad::sameName(name, layer)) return t;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string_view foundByKey(FoundBy by) {
    return foundByInfo(by).key;
}

std::optional<FoundBy> foundByByKey(std::string_view key) {
    for (const FoundByInfo& f : kFoundBy) {
        if (f.key == key) return f.by;
    }
    return std::nullopt;
}

std::string_view foundByText(FoundBy by) {
    return foundByInfo(by).text;
}

std::optional<CrossKind> kindOfLayer(const CrossKindTable& table, const Controls& controls,
                                     std::string_view layer) {
    const std::string folded = cad::foldName(layer);
    for (const CrossKindRule& rule : table.rules) {
        if (rule.layerContains.empty()) continue;
        if (folded.find(cad::foldName(rule.layerContains)) != std::string::npos) return rule.kind;
    }
    if (const auto t = crossingListOf(controls, layer)) return table.byType[*t];
    return std::nullopt;
}

namespace {

// The layer of point k's object, nullopt when it has none that can be read.
std::optional<std::string> objectLayer(const Piket& piket, std::size_t k) {
    if (k >= piket.pointObjects.size()) return std::nullopt;
    const cad::EntityRef& object = piket.pointObjects[k];
    if (!object.exists()) return std::nullopt;
    return object.layer();
}

}  // namespace

std::string notCrossingWhy(const Controls& controls, const Piket& piket, std::size_t k) {
    const std::string n = std::to_string(k + 1);
    if (k >= piket.points.size()) return "В пикете нет точки " + n;
    if (k >= piket.pointObjects.size() || piket.pointObjects[k].isNull()) {
        return "Точка " + n + " добавлена вручную: под ней нет пересекаемого объекта";
    }
    const std::optional<std::string> layer = objectLayer(piket, k);
    if (!layer) return "Объект точки " + n + " удалён из чертежа";
    if (!crossingListOf(controls, *layer)) {
        return "Объект точки " + n + " лежит на слое «" + cad::validUtf8(*layer) +
               "», которого нет в списках подводов, коммуникаций и прочих пересечений";
    }
    return {};
}

std::optional<CrossKind> effectiveCrossKind(const CrossKindTable& table, const Controls& controls,
                                            const Piket& piket, std::size_t k) {
    if (const Crossed& c = crossedAt(piket, k); c.kind) return c.kind;
    const std::optional<std::string> layer = objectLayer(piket, k);
    if (!layer) return std::nullopt;
    return kindOfLayer(table, controls, *layer);
}

const Crossed& crossedAt(const Piket& piket, std::size_t k) {
    static const Crossed none;
    return k < piket.points.size() ? piket.points[k].crossed : none;
}

void setCrossed(Piket& piket, std::size_t k, const Crossed& crossed) {
    KV_ASSERT(k < piket.points.size());
    piket.points[k].crossed = crossed;
}

}  // namespace model
