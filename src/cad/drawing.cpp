#include "cad/drawing.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <thread>

#include "cad/followers.hpp"
#include "cad/geometry.hpp"
#include "cad/mtext.hpp"

namespace cad {

// ---- EntityRef -------------------------------------------------------------

namespace {

const char* kindName(const Entity& e) {
    return e.dxfType.empty() ? "?" : e.dxfType.c_str();
}

// A new entity of the type; addEntity puts it on the current layer.
Entity newEntity(const char* dxfType) {
    Entity e;
    e.dxfType = dxfType;
    e.layer = Name();
    return e;
}

[[noreturn]] void notSupported(const Entity& e, const char* property) {
    throw Error(std::string("Объект ") + kindName(e) + " не имеет свойства " + property);
}

}  // namespace

bool EntityRef::exists() const {
    if (!drawing_ || !drawing_->isOpen()) return false;
    const auto& entities = drawing_->data_->entities;
    return id_.valid() && id_.v < entities.size() && !entities[id_.v].erased;
}

const Entity& EntityRef::entity() const {
    if (!drawing_) throw Error("Пустая ссылка на объект чертежа");
    drawing_->requireOpen();
    const auto& entities = drawing_->data_->entities;
    if (!id_.valid() || id_.v >= entities.size()) throw Error("Объект не найден в чертеже");
    const Entity& e = entities[id_.v];
    if (e.erased) throw Error("Объект " + formatHandle(e.handle) + " удалён из чертежа");
    return e;
}

Entity& EntityRef::mutableEntity(std::uint32_t changedBit) {
    entity();  // checks
    drawing_->touch(id_);
    drawing_->modified_ = true;
    Entity& e = drawing_->data_->entities[id_.v];
    e.changed |= changedBit;
    // The change is made by the caller right after: a view that listens
    // looks at the entity again when it next draws, not now.
    drawing_->notifyUpdate(id_);
    return e;
}

std::string EntityRef::dxfType() const {
    return entity().dxfType;
}
std::string EntityRef::handle() const {
    return formatHandle(entity().handle);
}
std::string EntityRef::layer() const {
    return entity().layer;
}

void EntityRef::setLayer(const std::string& name) {
    entity();
    drawing_->addLayer(name);  // a layer the table lacks would make the file invalid
    mutableEntity(kChangedLayer).layer = name;
}

bool EntityRef::visible() const {
    return entity().visible;
}
void EntityRef::setVisible(bool visible) {
    if (entity().visible == visible) return;
    mutableEntity(kChangedVisible).visible = visible;
}

int EntityRef::lineweight() const {
    return entity().lineweight;
}
void EntityRef::setLineweight(int lineweight) {
    mutableEntity(kChangedLineweight).lineweight = lineweight;
}

int EntityRef::color() const {
    return entity().color;
}
void EntityRef::setColor(int color) {
    mutableEntity(kChangedColor).color = color;
}

Point3 EntityRef::startPoint() const {
    const Entity& e = entity();
    if (auto p = entityStart(e)) return *p;
    notSupported(e, "StartPoint");
}

Point3 EntityRef::endPoint() const {
    const Entity& e = entity();
    if (auto p = entityEnd(e)) return *p;
    notSupported(e, "EndPoint");
}

void EntityRef::setStartPoint(Point3 p) {
    const Entity& e = entity();
    if (!holdsGeom<LineGeom>(e.geom)) notSupported(e, "StartPoint");
    geomAs<LineGeom>(mutableEntity(kChangedPoints).geom).start = p;
}

void EntityRef::setEndPoint(Point3 p) {
    const Entity& e = entity();
    if (!holdsGeom<LineGeom>(e.geom)) notSupported(e, "EndPoint");
    geomAs<LineGeom>(mutableEntity(kChangedPoints).geom).end = p;
}

double EntityRef::length() const {
    const Entity& e = entity();
    if (auto l = entityLength(e)) return *l;
    notSupported(e, "Length");
}

std::string EntityRef::textString() const {
    const Entity& e = entity();
    if (auto* t = geomIf<TextGeom>(e.geom)) return t->text;
    if (auto* m = geomIf<MTextGeom>(e.geom)) return plainMText(m->text);
    notSupported(e, "TextString");
}

namespace {

TextGeom& textOf(Entity& e, const char* property) {
    if (auto* t = geomIf<TextGeom>(e.geom)) return *t;
    notSupported(e, property);
}

}  // namespace

void EntityRef::setRotation(double degrees) {
    const Entity& e = entity();
    if (auto* m = geomIf<MTextGeom>(e.geom)) {
        (void)m;
        geomAs<MTextGeom>(mutableEntity(kChangedText).geom).rotation = degrees;
        return;
    }
    if (!holdsGeom<TextGeom>(e.geom)) notSupported(e, "Rotation");
    textOf(mutableEntity(kChangedText), "Rotation").rotation = degrees;
}

void EntityRef::setScaleFactor(double factor) {
    if (!holdsGeom<TextGeom>(entity().geom)) notSupported(entity(), "ScaleFactor");
    if (!(factor > 0.0)) throw Error("Коэффициент сжатия текста должен быть больше нуля");
    textOf(mutableEntity(kChangedText), "ScaleFactor").widthFactor = factor;
}

void EntityRef::setTextHeight(double height) {
    const Entity& e = entity();
    if (!(height > 0.0)) throw Error("Высота текста должна быть больше нуля");
    if (holdsGeom<MTextGeom>(e.geom)) {
        geomAs<MTextGeom>(mutableEntity(kChangedText).geom).height = height;
        return;
    }
    if (holdsGeom<DimensionGeom>(e.geom)) {
        drawing_->setDimensionTextHeight(id_, height);
        return;
    }
    if (!holdsGeom<TextGeom>(e.geom)) notSupported(e, "Height");
    textOf(mutableEntity(kChangedText), "Height").height = height;
}

std::vector<double> EntityRef::intersectWith(const EntityRef& other) const {
    const Entity& a = entity();
    const Entity& b = other.entity();
    if (other.drawing_ != drawing_) throw Error("Объекты принадлежат разным чертежам");
    std::vector<double> flat;
    for (const Point3& p : intersectEntities(*drawing_->data_, a, b)) {
        flat.push_back(p.x);
        flat.push_back(p.y);
        flat.push_back(p.z);
    }
    return flat;
}

void EntityRef::update() {
    entity();
    drawing_->notifyUpdate(id_);
}

void EntityRef::erase() {
    entity();
    drawing_->touch(id_);
    drawing_->modified_ = true;
    Entity& e = drawing_->data_->entities[id_.v];
    e.erased = true;
    drawing_->data_->marks.erase(e.handle);  // an undo gives it back with the entity
    drawing_->notifyUpdate(id_);
}

// ---- SelectionSet ----------------------------------------------------------

EntityRef SelectionSet::item(std::size_t index) const {
    drawing_->requireOpen();
    if (index >= items_.size()) {
        throw Error("Набор «" + name_ + "»: нет элемента с номером " + std::to_string(index));
    }
    return EntityRef(drawing_, items_[index]);
}

void SelectionSet::add(const EntityRef& entity) {
    entity.entity();
    if (entity.drawing() != drawing_) {
        throw Error("Набор «" + name_ + "»: объект другого чертежа в него не входит");
    }
    items_.push_back(entity.id());
}

void SelectionSet::select(int mode) {
    drawing_->requireOpen();
    if (mode != 5) throw Error("Режим выбора " + std::to_string(mode) + " не поддерживается");
    items_.clear();
    const DrawingData& d = *drawing_->data_;
    items_.reserve(d.modelSpace.size());
    for (EntityId id : d.modelSpace) {
        if (!d.entities[id.v].erased) items_.push_back(id);
    }
}

// ---- Drawing ---------------------------------------------------------------

Drawing::Drawing() : data_(std::make_unique<DrawingData>()) {
    Layer zero;
    zero.name = "0";
    data_->layers.push_back(zero);
    data_->layerIndex["0"] = 0;
}

Drawing::Drawing(DrawingData data, std::filesystem::path path)
    : data_(std::make_unique<DrawingData>(std::move(data))), path_(std::move(path)) {}

Drawing::~Drawing() = default;

std::string Drawing::name() const {
    return path_.filename().string();
}

void Drawing::requireOpen() const {
    if (!open_) throw Error("Чертёж закрыт");
}

void Drawing::close() {
    open_ = false;
    selectionSets_.clear();
    pickFirst_.clear();
    // A closed drawing keeps only what references need to fail cleanly:
    // its entities, tags and tables are freed.
    data_ = std::make_unique<DrawingData>();
}

const DrawingData& Drawing::data() const {
    requireOpen();
    return *data_;
}

DrawingData& Drawing::mutableData() {
    requireOpen();
    modified_ = true;
    return *data_;
}

std::vector<EntityRef> Drawing::modelSpace() {
    requireOpen();
    std::vector<EntityRef> out;
    out.reserve(data_->modelSpace.size());
    for (EntityId id : data_->modelSpace) {
        if (!data_->entities[id.v].erased) out.emplace_back(this, id);
    }
    return out;
}

EntityRef Drawing::entityByHandle(std::string_view hex) {
    requireOpen();
    Handle h = 0;
    if (!parseHandle(hex, h)) return {};
    const EntityId* id = data_->entityByHandle.find(h);
    if (!id || data_->entities[id->v].erased) return {};
    return EntityRef(this, *id);
}

EntityId Drawing::storeEntity(Entity entity) {
    // The handles of followers (a polyline's vertices) come just before the
    // entity's own, so that its handle is the largest it uses.
    for (std::size_t k = reservedHandles(entity); k > 0; --k) data_->newHandle();
    entity.handle = data_->newHandle();
    entity.tagBegin = entity.tagEnd = kNoTags;
    entity.changed = 0;
    entity.erased = false;
    EntityId id{static_cast<std::uint32_t>(data_->entities.size())};
    data_->entityByHandle.assign(entity.handle, id);
    data_->entities.push_back(std::move(entity));
    return id;
}

EntityRef Drawing::addEntity(Entity entity) {
    requireOpen();
    modified_ = true;
    if (entity.layer.empty()) entity.layer = data_->currentLayer;
    addLayer(entity.layer);
    // The layer as the table spells it, whatever case it was asked for in.
    entity.layer = data_->layers[data_->findLayer(entity.layer)].name;
    EntityId id = storeEntity(std::move(entity));
    data_->modelSpace.push_back(id);
    notifyUpdate(id);
    return EntityRef(this, id);
}

std::size_t Drawing::addBlock(const std::string& name, Point3 base, std::vector<Entity> entities,
                              int flags) {
    requireOpen();
    if (name.empty()) throw Error("Имя блока не может быть пустым");
    if (hasBlock(name)) throw Error("Блок «" + name + "» уже есть в чертеже");
    modified_ = true;
    Block block;
    block.name = name;
    block.base = base;
    block.flags = flags;
    block.endHandle = data_->newHandle();
    block.handle = data_->newHandle();
    block.recordHandle = data_->newHandle();
    for (Entity& e : entities) {
        if (e.layer.empty()) e.layer = "0";
        addLayer(e.layer);
        e.paperSpace = false;
        block.entities.push_back(storeEntity(std::move(e)));
    }
    data_->blockIndex[name] = data_->blocks.size();
    data_->blocks.push_back(std::move(block));
    return data_->blocks.size() - 1;
}

bool Drawing::hasBlock(const std::string& name) const {
    requireOpen();
    if (data_->blockIndex.count(name)) return true;
    // Block names compare without regard to case, as in CAD programs.
    const std::string key = foldName(name);
    for (const Block& b : data_->blocks) {
        if (foldName(b.name) == key) return true;
    }
    return false;
}

EntityRef Drawing::addInsert(const std::string& blockName, Point3 insertion, double scale,
                             double rotation) {
    if (!hasBlock(blockName)) throw Error("В чертеже нет блока «" + blockName + "»");
    if (!(scale != 0.0) || !std::isfinite(scale)) throw Error("Масштаб вставки блока равен нулю");
    Entity e = newEntity("INSERT");
    InsertGeom g;
    g.blockName = blockName;
    g.insertion = insertion;
    g.scale = {scale, scale, scale};
    g.rotation = rotation;
    e.geom = std::move(g);
    return addEntity(std::move(e));
}

std::string Drawing::newAnonymousBlockName(std::string_view prefix) const {
    // *D1, *D2, ...: one more than the largest number in use.
    unsigned long long top = 0;
    for (const Block& b : data_->blocks) {
        if (b.name.size() <= prefix.size()) continue;
        if (!equalsNoCase(std::string_view(b.name).substr(0, prefix.size()), prefix)) continue;
        unsigned long long n = 0;
        const char* first = b.name.data() + prefix.size();
        const char* last = b.name.data() + b.name.size();
        auto [ptr, ec] = std::from_chars(first, last, n);
        if (ec == std::errc() && ptr == last) top = std::max(top, n);
    }
    return std::string(prefix) + std::to_string(top + 1);
}

EntityRef Drawing::addLine(Point3 start, Point3 end) {
    Entity e = newEntity("LINE");
    e.geom = LineGeom{start, end};
    return addEntity(std::move(e));
}

EntityRef Drawing::addText(const std::string& text, Point3 insertion, double height) {
    if (!(height > 0.0)) throw Error("Высота текста должна быть больше нуля");
    Entity e = newEntity("TEXT");
    TextGeom t;
    t.text = text;
    t.insertion = insertion;
    t.height = height;
    e.geom = std::move(t);
    return addEntity(std::move(e));
}

void Drawing::addLayer(const std::string& name) {
    requireOpen();
    if (name.empty()) throw Error("Имя слоя не может быть пустым");
    if (data_->findLayer(name) != kNoIndex) return;  // also under another case
    modified_ = true;
    Layer layer;
    layer.name = name;
    layer.handle = data_->newHandle();
    data_->layerIndex[foldName(name)] = data_->layers.size();
    data_->layers.push_back(std::move(layer));
}

bool Drawing::hasLayer(const std::string& name) const {
    requireOpen();
    return data_->findLayer(name) != kNoIndex;
}

std::vector<std::string> Drawing::layerNames() const {
    requireOpen();
    std::vector<std::string> names;
    for (const Layer& l : data_->layers) names.push_back(l.name);
    return names;
}

const std::string& Drawing::currentLayer() const {
    requireOpen();
    return data_->currentLayer;
}

void Drawing::setCurrentLayer(const std::string& name) {
    addLayer(name);
    const std::string& inTable = data_->layers[data_->findLayer(name)].name;
    if (data_->currentLayer == inTable) return;
    data_->currentLayer = inTable;
    data_->currentLayerChanged = true;
    modified_ = true;
}

std::size_t Drawing::selectionSetCount() const {
    requireOpen();
    return selectionSets_.size();
}

SelectionSet& Drawing::selectionSet(std::size_t index) {
    requireOpen();
    if (index >= selectionSets_.size()) {
        throw Error("Нет набора выбора с номером " + std::to_string(index));
    }
    return *selectionSets_[index];
}

SelectionSet& Drawing::addSelectionSet(const std::string& name) {
    requireOpen();
    for (auto& s : selectionSets_) {
        if (s->name() == name) throw Error("Набор выбора «" + name + "» уже существует");
    }
    selectionSets_.push_back(std::make_unique<SelectionSet>(this, name));
    return *selectionSets_.back();
}

void Drawing::deleteSelectionSet(std::size_t index) {
    requireOpen();
    if (index >= selectionSets_.size()) {
        throw Error("Нет набора выбора с номером " + std::to_string(index));
    }
    selectionSets_.erase(selectionSets_.begin() + static_cast<std::ptrdiff_t>(index));
}

void Drawing::setPickFirst(std::vector<EntityRef> entities) {
    requireOpen();
    pickFirst_ = std::move(entities);
    // Handlers may connect or disconnect while running: iterate over a copy.
    auto handlers = selectionHandlers_;
    for (auto& [id, handler] : handlers) handler(*this);
}

int Drawing::onSelectionChanged(SelectionHandler handler) {
    selectionHandlers_.emplace_back(nextHandlerId_, std::move(handler));
    return nextHandlerId_++;
}

void Drawing::disconnectSelectionChanged(int id) {
    std::erase_if(selectionHandlers_, [id](const auto& h) { return h.first == id; });
}

int Drawing::onUpdate(UpdateHandler handler) {
    updateHandlers_.emplace_back(nextHandlerId_, std::move(handler));
    return nextHandlerId_++;
}

void Drawing::notifyUpdate(EntityId id) {
    for (auto& [hid, handler] : updateHandlers_) handler(*this, id);
}

Box2 Drawing::extents() const {
    requireOpen();
    const std::vector<EntityId>& ids = data_->modelSpace;
    auto boundsOf = [this, &ids](std::size_t from, std::size_t to) {
        Box2 box;
        for (std::size_t k = from; k < to; ++k) {
            const Entity& e = data_->entities[ids[k].v];
            if (e.erased || !e.visible) continue;
            box.add(entityBounds(*data_, e));
        }
        return box;
    };
    // A big plan is bounded in two halves at once, one on a second core: the
    // bounds only read the drawing.
    constexpr std::size_t kHalvedFrom = 100'000;
    if (ids.size() < kHalvedFrom) return boundsOf(0, ids.size());
    const std::size_t half = ids.size() / 2;
    Box2 second;
    std::exception_ptr failed;
    std::thread other([&] {
        try {
            second = boundsOf(half, ids.size());
        } catch (...) {
            failed = std::current_exception();
        }
    });
    Box2 box;
    try {
        box = boundsOf(0, half);
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (failed) std::rethrow_exception(failed);
    box.add(second);
    return box;
}

}  // namespace cad
