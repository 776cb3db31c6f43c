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

void Scene::build(const cad::DrawingData& drawing) {
    clear();
    Data& d = *d_;
    d.itemOf.assign(drawing.entities.size(), kNone);
    std::vector<cad::EntityId> ids;
    ids.reserve(drawing.modelSpace.size());
    d.adoptNew(drawing, ids);
    d.record(drawing, ids);
    std::vector<std::uint32_t> entries;
    entries.reserve(d.items.size());
    for (std::uint32_t i = 0; i < d.items.size(); ++i) {
        const Item& item = d.items[i];
        if (item.primCount == 0 || item.bounds.empty()) continue;
        entries.push_back(i);
        d.extents.add(item.bounds);
    }
    d.tree = Tree(entries.begin(), entries.end(), bgi::rstar<16>{}, ItemBox{&d.items});
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
        if (item.primCount > 0 && !item.bounds.empty()) {
            d.tree.remove(idx);
            shrunk = true;
        }
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
    d_->tree.query(bgi::intersects(toBBox(box)), std::back_inserter(out));
    std::sort(out.begin(), out.end());
    return out;
}

bool Scene::inside(std::uint32_t index, const cad::Box2& box) const {
    const Item& item = d_->items.at(index);
    return item.primCount > 0 && !item.bounds.empty() && contains(box, item.bounds);
}

}  // namespace render
