// Blocks as inserts find them, and the warnings about blocks nested or
// expanded past what a walk through them follows.
#include <string>
#include <utility>
#include <vector>

#include "cad/geometry_pieces.hpp"
#include "cad/text_util.hpp"

namespace cad {

using geometry_detail::kMaxArrayCells;

const Block* findBlock(const DrawingData& d, std::string_view name) {
    auto it = d.blockIndex.find(std::string(name));
    if (it != d.blockIndex.end() && it->second < d.blocks.size()) return &d.blocks[it->second];
    for (const Block& b : d.blocks) {
        if (sameName(b.name, name)) return &b;  // block names fold as layer names do
    }
    return nullptr;
}

std::vector<Issue> blockLimitIssues(const DrawingData& d) {
    // For every block, how many levels of blocks it spans and how many block
    // entities expanding it visits, worked out children first without recursion.
    struct Child {
        std::size_t block;
        double cells;
    };
    const std::size_t nb = d.blocks.size();
    auto childOf = [&](const Entity& e) -> std::optional<Child> {
        if (e.erased) return std::nullopt;
        const Block* b = nullptr;
        double cells = 1.0;
        if (auto* ins = geomIf<InsertGeom>(e.geom)) {
            b = findBlock(d, ins->blockName);
            long long cols = std::max(1, ins->columns), rows = std::max(1, ins->rows);
            if (cols * rows <= kMaxArrayCells) cells = static_cast<double>(cols * rows);
        } else if (auto* dim = geomIf<DimensionGeom>(e.geom)) {
            b = findBlock(d, dim->blockName);
        }
        if (!b) return std::nullopt;
        return Child{static_cast<std::size_t>(b - d.blocks.data()), cells};
    };
    std::vector<int> levels(nb, 0);
    std::vector<double> visits(nb, 0.0);
    std::vector<char> state(nb, 0);                         // 0 new, 1 on the path, 2 done
    std::vector<std::pair<std::size_t, std::size_t>> path;  // block, next entity
    for (std::size_t root = 0; root < nb; ++root) {
        if (state[root]) continue;
        path.emplace_back(root, 0);
        state[root] = 1;
        while (!path.empty()) {
            auto [b, next] = path.back();
            const Block& block = d.blocks[b];
            if (next >= block.entities.size()) {
                int level = 0;
                double count = 0.0;
                for (EntityId id : block.entities) {
                    if (id.v >= d.entities.size() || d.entities[id.v].erased) continue;
                    count += 1.0;
                    if (auto c = childOf(d.entities[id.v]); c && state[c->block] == 2) {
                        level = std::max(level, levels[c->block]);
                        count += c->cells * visits[c->block];
                    }
                }
                levels[b] = level + 1;
                visits[b] = count;
                state[b] = 2;
                path.pop_back();
                continue;
            }
            ++path.back().second;
            EntityId id = block.entities[next];
            if (id.v >= d.entities.size()) continue;
            if (auto c = childOf(d.entities[id.v]); c && state[c->block] == 0) {
                state[c->block] = 1;
                path.emplace_back(c->block, 0);
            }
        }
    }
    std::vector<Issue> out;
    std::vector<char> told(nb, 0);
    for (const std::vector<EntityId>* space : {&d.modelSpace, &d.paperSpace}) {
        for (EntityId id : *space) {
            if (id.v >= d.entities.size()) continue;
            const Entity& e = d.entities[id.v];
            auto c = childOf(e);
            if (!c || told[c->block]) continue;
            const std::string name = validUtf8(d.blocks[c->block].name);
            if (levels[c->block] > kMaxBlockDepth) {
                told[c->block] = 1;
                out.push_back({"block-depth", 0, e.handle,
                               "Вставки в блоке «" + name + "» вложены глубже " +
                                   std::to_string(kMaxBlockDepth) +
                                   " уровней: более глубокие вставки не показываются и не "
                                   "учитываются в границах и пересечениях"});
            }
            if (c->cells * visits[c->block] > static_cast<double>(kMaxBlockExpansion)) {
                told[c->block] = 1;
                out.push_back({"block-size", 0, e.handle,
                               "Вставка блока «" + name + "» раскрывается более чем в " +
                                   std::to_string(kMaxBlockExpansion) +
                                   " объектов: границы взяты по самому блоку, пересечения "
                                   "ищутся только среди первых " +
                                   std::to_string(kMaxBlockExpansion) + " из них"});
            }
        }
    }
    return out;
}

}  // namespace cad
