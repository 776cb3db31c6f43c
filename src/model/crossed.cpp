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

std::optional<CrossKind> kindOfLayer(const CrossKindTable& table, const Controls& controls,
                                     std::string_view layer) {
    const std::string folded = cad::foldName(layer);
    for (const CrossKindRule& rule : table.rules) {
        if (rule.layerContains.empty()) continue;
        if (folded.find(cad::foldName(rule.layerContains)) != std::string::npos) return rule.kind;
    }
    for (std::size_t t = 1; t < kTypeListCount; ++t) {
        for (const std::string& name : controls.typeLists[t]) {
            if (cad::sameName(name, layer)) return table.byType[t];
        }
    }
    return std::nullopt;
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
