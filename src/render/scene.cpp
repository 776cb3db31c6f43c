#include "render/scene.hpp"

#include <algorithm>
#include <iterator>
#include <unordered_set>

#include "render/scene_data.hpp"

namespace render {

using namespace scene_detail;

QTransform ScreenMap::transform() const {
    return QTransform(scale, 0, 0, -scale, -originX * scale, originY * scale);
}

cad::Box2 ScreenMap::worldRect(double width, double height) const {
    cad::Box2 b;
    b.add(originX, originY);
    b.add(originX + width / scale, originY - height / scale);
    return b;
}

ScreenMap ScreenMap::fit(const cad::Box2& box, double width, double height, double margin) {
    ScreenMap m;
    if (box.empty() || !(width > 0) || !(height > 0)) {
        m.scale = 1.0;
        m.originX = -width / 2;
        m.originY = height / 2;
        return m;
    }
    double bw = std::max(box.maxX - box.minX, 1e-9), bh = std::max(box.maxY - box.minY, 1e-9);
    double usable = 1.0 - 2 * margin;
    m.scale = std::min(width * usable / bw, height * usable / bh);
    double cx = (box.minX + box.maxX) / 2, cy = (box.minY + box.maxY) / 2;
    m.originX = cx - width / 2 / m.scale;
    m.originY = cy + height / 2 / m.scale;
    return m;
}

Scene::Scene() : d_(std::make_unique<Data>()) {}
Scene::~Scene() = default;

void Scene::clear() {
    d_ = std::make_unique<Data>();
}

void Scene::Data::adoptNew(const cad::DrawingData& drawing, std::vector<cad::EntityId>& ids) {
    for (std::size_t i = modelSpaceSeen; i < drawing.modelSpace.size(); ++i) {
        cad::EntityId id = drawing.modelSpace[i];
        if (id.v >= drawing.entities.size() || itemOf[id.v] != kNone) continue;
        itemOf[id.v] = static_cast<std::uint32_t>(items.size());
        Item item;
        item.id = id;
        items.push_back(item);
        ids.push_back(id);
    }
    modelSpaceSeen = drawing.modelSpace.size();
}

namespace {

// The place of (x, y) along a Hilbert curve through a 2¹⁶ × 2¹⁶ grid.
std::uint32_t hilbert(std::uint32_t x, std::uint32_t y) {
    std::uint32_t d = 0;
    for (std::uint32_t s = 1u << 15; s > 0; s >>= 1) {
        const std::uint32_t rx = (x & s) ? 1 : 0, ry = (y & s) ? 1 : 0;
        d += s * s * ((3 * rx) ^ ry);
        if (ry == 0) {
            if (rx == 1) {
                x = s - 1 - (x & (s - 1));
                y = s - 1 - (y & (s - 1));
            }
            std::swap(x, y);
        }
        x &= s - 1;
        y &= s - 1;
    }
    return d;
}

}  // namespace

void PackedIndex::build(FlatArray<Item>& items, FlatArray<std::uint32_t> entries) {
    order = FlatArray<std::uint32_t>{};
    levels.clear();
    if (entries.empty()) return;
    cad::Box2 all;
    for (std::uint32_t i : entries) all.add(items[i].bounds);
    const double w = all.maxX - all.minX, h = all.maxY - all.minY;
    const double kx = w > 0 ? 65535.0 / w : 0.0, ky = h > 0 ? 65535.0 / h : 0.0;
    {
        // The curve's place in the high half, the item in the low: one sort
        // of plain numbers.
        FlatArray<std::uint64_t> keyed;
        keyed.resize(entries.size());
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const cad::Box2& b = items[entries[k]].bounds;
            auto grid = [](double v) {  // a plan too wide for doubles gives NaN: 0
                return v > 0 ? static_cast<std::uint32_t>(std::min(v, 65535.0)) : 0u;
            };
            const std::uint32_t gx = grid(((b.minX + b.maxX) / 2 - all.minX) * kx);
            const std::uint32_t gy = grid(((b.minY + b.maxY) / 2 - all.minY) * ky);
            keyed[k] = std::uint64_t{hilbert(gx, gy)} << 32 | entries[k];
        }
        entries = FlatArray<std::uint32_t>{};
        std::sort(keyed.begin(), keyed.end());
        order.resize(keyed.size());
        for (std::size_t k = 0; k < keyed.size(); ++k) {
            order[k] = static_cast<std::uint32_t>(keyed[k]);
        }
    }
    for (std::uint32_t i : order) items[i].indexed = Indexed::Packed;
    // The leaves' boxes, then each level's from the one below.
    FlatArray<cad::Box2> level;
    level.resize((order.size() + kFanout - 1) / kFanout);
    for (std::size_t k = 0; k < order.size(); ++k) level[k / kFanout].add(items[order[k]].bounds);
    levels.push_back(std::move(level));
    while (levels.back().size() > 1) {
        const FlatArray<cad::Box2>& below = levels.back();
        FlatArray<cad::Box2> up;
        up.resize((below.size() + kFanout - 1) / kFanout);
        for (std::size_t k = 0; k < below.size(); ++k) up[k / kFanout].add(below[k]);
        levels.push_back(std::move(up));
    }
}

void Scene::build(const cad::DrawingData& drawing) {
    clear();
    Data& d = *d_;
    d.itemOf.assign(drawing.entities.size(), kNone);
    std::vector<cad::EntityId> ids;
    ids.reserve(drawing.modelSpace.size());
    d.adoptNew(drawing, ids);
    d.record(drawing, ids);
    FlatArray<std::uint32_t> entries;
    for (std::uint32_t i = 0; i < d.items.size(); ++i) {
        const Item& item = d.items[i];
        if (item.primCount == 0 || item.bounds.empty()) continue;
        entries.push_back(i);
        d.extents.add(item.bounds);
    }
    d.packed.build(d.items, std::move(entries));
    // What the tables grew by beyond their records goes back.
    d.items.shrinkToFit();
    d.prims.shrinkToFit();
    d.points.shrinkToFit();
    d.arcs.shrinkToFit();
    d.texts.shrinkToFit();
    d.glyphs.shrinkToFit();
    d.glyphX.shrinkToFit();
    d.loops.shrinkToFit();
    d.lods.shrinkToFit();
}

void Scene::update(const cad::DrawingData& drawing, const std::vector<cad::EntityId>& ids) {
    Data& d = *d_;
    if (d.itemOf.size() < drawing.entities.size()) d.itemOf.resize(drawing.entities.size(), kNone);
    std::vector<cad::EntityId> redo;
    bool shrunk = false;
    auto take = [&](cad::EntityId id) {
        if (id.v >= drawing.entities.size()) return;
        std::uint32_t idx = d.itemOf[id.v];
        if (idx == kNone) return;
        Item& item = d.items[idx];
        if (item.indexed == Indexed::Tree) d.tree.remove(idx);
        if (item.indexed != Indexed::No) shrunk = true;
        item.indexed = Indexed::No;
        item.primCount = 0;
        item.bounds = cad::Box2{};
        redo.push_back(id);
    };
    d.adoptNew(drawing, redo);
    // Entities just adopted are recorded anyway; the rest are taken once,
    // however often they were named (a set: thousands may come at once).
    std::unordered_set<std::uint32_t> queued;
    for (cad::EntityId id : redo) queued.insert(id.v);
    for (cad::EntityId id : ids) {
        if (id.v < d.itemOf.size() && d.itemOf[id.v] != kNone && queued.insert(id.v).second) {
            take(id);
        }
    }
    d.record(drawing, redo);
    for (cad::EntityId id : redo) {
        std::uint32_t idx = d.itemOf[id.v];
        const Item& item = d.items[idx];
        if (item.primCount == 0 || item.bounds.empty()) continue;
        d.tree.insert(idx);
        d.items[idx].indexed = Indexed::Tree;
        d.extents.add(item.bounds);
    }
    if (shrunk) {
        d.extents = cad::Box2{};
        for (const Item& item : d.items) {
            if (item.primCount > 0) d.extents.add(item.bounds);
        }
    }
}

std::size_t Scene::itemCount() const {
    return d_->items.size();
}

bool Scene::knows(cad::EntityId id) const {
    return id.v < d_->itemOf.size() && d_->itemOf[id.v] != kNone;
}

std::optional<std::uint32_t> Scene::itemOf(cad::EntityId id) const {
    if (!knows(id)) return std::nullopt;
    return d_->itemOf[id.v];
}

cad::EntityId Scene::entityOf(std::uint32_t item) const {
    return d_->items.at(item).id;
}

cad::Box2 Scene::boundsOf(std::uint32_t item) const {
    return d_->items.at(item).bounds;
}

cad::Box2 Scene::extents() const {
    return d_->extents;
}

cad::Box2 Scene::extentsWithout(const std::vector<cad::EntityId>& left) const {
    if (left.empty()) return d_->extents;
    cad::Box2 box;
    for (const Item& item : d_->items) {
        if (item.primCount == 0 || std::find(left.begin(), left.end(), item.id) != left.end())
            continue;
        box.add(item.bounds);
    }
    return box;
}

std::vector<std::uint32_t> Scene::query(const cad::Box2& box) const {
    std::vector<std::uint32_t> out;
    if (box.empty()) return out;
    d_->packed.query(box, d_->items, [&](std::uint32_t i) { out.push_back(i); });
    d_->tree.query(bgi::intersects(toBBox(box)), std::back_inserter(out));
    std::sort(out.begin(), out.end());
    return out;
}

bool Scene::inside(std::uint32_t index, const cad::Box2& box) const {
    const Item& item = d_->items.at(index);
    return item.primCount > 0 && !item.bounds.empty() && contains(box, item.bounds);
}

}  // namespace render
