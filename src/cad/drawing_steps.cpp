// Marks a drawing keeps on its entities, and the recording of a drawing's
// changes as steps that can be undone and redone.
#include "cad/drawing.hpp"

#include <charconv>
#include <cstdio>
#include <optional>
#include <utility>

#include "cad/check.hpp"

namespace cad {

namespace {

// FNV-1a over the values, numbers by their shortest exact text, so that a
// value read back from the file gives the fingerprint it was drawn with.
class Fingerprint {
  public:
    void add(std::string_view s) {
        for (unsigned char c : s) step(c);
        step(0);
    }
    void add(double v) {
        char buf[32];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v == 0.0 ? 0.0 : v);
        add(std::string_view(buf, ec == std::errc() ? static_cast<std::size_t>(end - buf) : 0));
    }
    void add(int v) { add(static_cast<double>(v)); }
    void add(const Point3& p) {
        add(p.x);
        add(p.y);
        add(p.z);
    }
    std::string hex() const {
        char buf[17];
        std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h_));
        return buf;
    }

  private:
    void step(unsigned char c) {
        h_ ^= c;
        h_ *= 0x100000001b3ULL;
    }
    std::uint64_t h_ = 0xcbf29ce484222325ULL;
};

}  // namespace

std::string entityFingerprint(const Entity& e) {
    Fingerprint f;
    f.add(e.dxfType.str());
    f.add(foldName(e.layer.str()));
    f.add(e.color);
    f.add(e.lineweight);
    f.add(e.visible ? 1 : 0);
    if (const auto* l = geomIf<LineGeom>(e.geom)) {
        f.add(l->start);
        f.add(l->end);
    } else if (const auto* t = geomIf<TextGeom>(e.geom)) {
        f.add(t->text);
        f.add(t->insertion);
        if (t->hasAlignment) f.add(t->alignment);
        f.add(t->height);
        f.add(t->rotation);
        f.add(t->widthFactor);
        f.add(t->oblique);
        f.add(t->hAlign);
        f.add(t->vAlign);
        f.add(foldName(t->style));
    } else if (const auto* el = geomIf<EllipseGeom>(e.geom)) {
        f.add(el->center);
        f.add(el->majorAxis);
        f.add(el->ratio);
        f.add(el->startParam);
        f.add(el->endParam);
    } else if (const auto* d = geomIf<DimensionGeom>(e.geom)) {
        // Its block and text height are how it is shown, not where: a
        // CAD program draws the block anew.
        f.add(d->dimType & 0x0F);
        f.add(d->definition);
        for (const Point3& p : {d->p13, d->p14, d->p15, d->p16}) f.add(p);
        f.add(d->text);
    }
    return f.hex();
}

void Drawing::setMark(EntityId id, EntityMark mark) {
    requireOpen();
    const Entity& e = data_->entities.at(id.v);
    touch(id);
    modified_ = true;
    if (!data_->hasAppId(kMarkApp)) {
        data_->appIds.push_back(AppId{std::string(kMarkApp), data_->newHandle(), true});
    }
    data_->marks[e.handle] = std::move(mark);
}

const EntityMark* Drawing::mark(EntityId id) const {
    requireOpen();
    return data_->markOf(data_->entities.at(id.v));
}

DrawingChange::State Drawing::state() const {
    const DrawingData& d = *data_;
    DrawingChange::State s;
    s.entities = d.entities.size();
    s.modelSpace = d.modelSpace.size();
    s.paperSpace = d.paperSpace.size();
    s.layers = d.layers.size();
    s.blocks = d.blocks.size();
    s.appIds = d.appIds.size();
    s.handseed = d.handseed;
    s.currentLayer = d.currentLayer;
    s.currentLayerChanged = d.currentLayerChanged;
    return s;
}

namespace {

std::optional<EntityMark> markCopy(const DrawingData& d, const Entity& e) {
    if (const EntityMark* m = d.markOf(e)) return *m;
    return std::nullopt;
}

void putMark(DrawingData& d, Handle h, const std::optional<EntityMark>& m) {
    if (m) {
        d.marks[h] = *m;
    } else {
        d.marks.erase(h);
    }
}

}  // namespace

void Drawing::touch(EntityId id) {
    if (recording_ == 0 || id.v >= change_.before.entities) return;
    if (!touchedIds_.insert(id.v).second) return;
    const Entity& e = data_->entities[id.v];
    change_.touched.push_back({id, e, Entity{}, markCopy(*data_, e), std::nullopt});
}

void Drawing::touchBlock(std::size_t index) {
    if (recording_ == 0 || index >= change_.before.blocks) return;
    if (!touchedBlocks_.insert(index).second) return;
    change_.touchedBlocks.push_back({index, data_->blocks[index], Block{}});
}

void Drawing::beginChange() {
    requireOpen();
    if (recording_++ > 0) return;
    change_ = DrawingChange{};
    change_.before = state();
    touchedIds_.clear();
    touchedBlocks_.clear();
}

DrawingChange Drawing::endChange() {
    KV_ASSERT(recording_ > 0);
    if (--recording_ > 0) return {};
    if (!open_) {  // closed meanwhile: nothing of it is left to take back
        change_ = DrawingChange{};
        touchedIds_.clear();
        touchedBlocks_.clear();
        return {};
    }
    DrawingData& d = *data_;
    DrawingChange c = std::move(change_);
    change_ = DrawingChange{};
    c.after = state();
    for (DrawingChange::Touched& t : c.touched) {
        t.after = d.entities[t.id.v];
        t.markAfter = markCopy(d, t.after);
    }
    for (DrawingChange::TouchedBlock& b : c.touchedBlocks) b.after = d.blocks[b.index];
    for (std::size_t i = c.before.entities; i < d.entities.size(); ++i) {
        c.added.push_back(d.entities[i]);
        c.addedMarks.push_back(markCopy(d, d.entities[i]));
    }
    c.modelSpaceAdded.assign(
        d.modelSpace.begin() + static_cast<std::ptrdiff_t>(c.before.modelSpace),
        d.modelSpace.end());
    c.paperSpaceAdded.assign(
        d.paperSpace.begin() + static_cast<std::ptrdiff_t>(c.before.paperSpace),
        d.paperSpace.end());
    c.layersAdded.assign(d.layers.begin() + static_cast<std::ptrdiff_t>(c.before.layers),
                         d.layers.end());
    c.blocksAdded.assign(d.blocks.begin() + static_cast<std::ptrdiff_t>(c.before.blocks),
                         d.blocks.end());
    c.appIdsAdded.assign(d.appIds.begin() + static_cast<std::ptrdiff_t>(c.before.appIds),
                         d.appIds.end());
    touchedIds_.clear();
    touchedBlocks_.clear();
    return c;
}

namespace {

void restoreState(DrawingData& d, const DrawingChange::State& s) {
    d.handseed = s.handseed;
    d.currentLayer = s.currentLayer;
    d.currentLayerChanged = s.currentLayerChanged;
}

void putEntity(DrawingData& d, EntityId id, const Entity& image,
               const std::optional<EntityMark>& mark) {
    Entity& e = d.entities[id.v];
    d.marks.erase(e.handle);
    e = image;
    d.entityByHandle.assign(e.handle, id);  // lookups by handle skip erased entities
    putMark(d, e.handle, mark);
}

}  // namespace

void Drawing::undo(const DrawingChange& c) {
    requireOpen();
    KV_ASSERT(recording_ == 0);
    DrawingData& d = *data_;
    if (d.entities.size() != c.after.entities || d.layers.size() != c.after.layers ||
        d.blocks.size() != c.after.blocks) {
        throw Error("Шаг нельзя отменить: чертёж изменён после него");
    }
    for (std::size_t i = c.before.entities; i < d.entities.size(); ++i) {
        d.entityByHandle.erase(d.entities[i].handle);
        d.marks.erase(d.entities[i].handle);
    }
    d.entities.erase(d.entities.begin() + static_cast<std::ptrdiff_t>(c.before.entities),
                     d.entities.end());
    d.modelSpace.resize(c.before.modelSpace);
    d.paperSpace.resize(c.before.paperSpace);
    for (std::size_t i = c.before.layers; i < d.layers.size(); ++i) {
        d.layerIndex.erase(foldName(d.layers[i].name));
    }
    d.layers.resize(c.before.layers);
    for (std::size_t i = c.before.blocks; i < d.blocks.size(); ++i) {
        d.blockIndex.erase(d.blocks[i].name);
    }
    d.blocks.resize(c.before.blocks);
    d.appIds.resize(c.before.appIds);
    for (auto t = c.touched.rbegin(); t != c.touched.rend(); ++t) {
        putEntity(d, t->id, t->before, t->markBefore);
    }
    for (const DrawingChange::TouchedBlock& b : c.touchedBlocks) d.blocks[b.index] = b.before;
    restoreState(d, c.before);
    modified_ = true;  // whatever was saved in between, the file may differ now
}

void Drawing::redo(const DrawingChange& c) {
    requireOpen();
    KV_ASSERT(recording_ == 0);
    DrawingData& d = *data_;
    if (d.entities.size() != c.before.entities || d.layers.size() != c.before.layers ||
        d.blocks.size() != c.before.blocks) {
        throw Error("Шаг нельзя повторить: чертёж изменён после отмены");
    }
    for (std::size_t k = 0; k < c.added.size(); ++k) {
        const Entity& e = c.added[k];
        EntityId id{static_cast<std::uint32_t>(d.entities.size())};
        d.entityByHandle.assign(e.handle, id);
        putMark(d, e.handle, c.addedMarks[k]);
        d.entities.push_back(e);
    }
    d.modelSpace.insert(d.modelSpace.end(), c.modelSpaceAdded.begin(), c.modelSpaceAdded.end());
    d.paperSpace.insert(d.paperSpace.end(), c.paperSpaceAdded.begin(), c.paperSpaceAdded.end());
    for (const Layer& l : c.layersAdded) {
        d.layerIndex[foldName(l.name)] = d.layers.size();
        d.layers.push_back(l);
    }
    for (const Block& b : c.blocksAdded) {
        d.blockIndex[b.name] = d.blocks.size();
        d.blocks.push_back(b);
    }
    d.appIds.insert(d.appIds.end(), c.appIdsAdded.begin(), c.appIdsAdded.end());
    for (const DrawingChange::Touched& t : c.touched) putEntity(d, t.id, t.after, t.markAfter);
    for (const DrawingChange::TouchedBlock& b : c.touchedBlocks) d.blocks[b.index] = b.after;
    restoreState(d, c.after);
    modified_ = true;
}

}  // namespace cad
