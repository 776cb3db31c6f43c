// One open drawing and references to its entities: the operations the
// program performs on a drawing (entities, layers, selection sets, the
// pick-first selection and its change event, open and save).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "cad/drawing_data.hpp"
#include "cad/error.hpp"

namespace cad {

class Drawing;

// A light reference to one entity. Every access checks that the drawing is
// open and the entity still exists; asking an entity for something it has not
// got throws cad::Error. A reference must not outlive its Drawing object.
class EntityRef {
  public:
    EntityRef() = default;
    EntityRef(Drawing* drawing, EntityId id) : drawing_(drawing), id_(id) {}

    bool isNull() const { return drawing_ == nullptr; }
    // Whether the object can still be read: not null, its drawing open, not
    // erased. Every other member throws cad::Error where this is false.
    bool exists() const;
    Drawing* drawing() const { return drawing_; }
    EntityId id() const { return id_; }
    friend bool operator==(const EntityRef& a, const EntityRef& b) {
        return a.drawing_ == b.drawing_ && a.id_ == b.id_;
    }

    const Entity& entity() const;  // checked read access
    std::string dxfType() const;
    std::string handle() const;  // upper-case hexadecimal, as the file writes it
    std::string layer() const;
    void setLayer(const std::string& name);
    bool visible() const;
    void setVisible(bool visible);
    int lineweight() const;
    void setLineweight(int lineweight);
    int color() const;
    void setColor(int color);
    Point3 startPoint() const;  // lines; also open polylines and arcs (read only)
    Point3 endPoint() const;
    void setStartPoint(Point3 p);  // lines only
    void setEndPoint(Point3 p);
    double length() const;               // lines, polylines, arcs, circles
    std::string textString() const;      // TEXT, MTEXT without formatting codes
    void setRotation(double degrees);    // texts
    void setScaleFactor(double factor);  // texts: the width factor
    void setTextHeight(double height);   // texts
    // Crossing points with another entity, neither extended, as X, Y, Z, X, Y, Z, ...
    std::vector<double> intersectWith(const EntityRef& other) const;
    void update();  // asks the views to redraw the entity
    void erase();

  private:
    Entity& mutableEntity(std::uint32_t changedBit);
    Drawing* drawing_ = nullptr;
    EntityId id_;
};

// A named selection set of a drawing (not saved in the file).
class SelectionSet {
  public:
    SelectionSet(Drawing* drawing, std::string name) : drawing_(drawing), name_(std::move(name)) {}
    const std::string& name() const { return name_; }
    std::size_t count() const { return items_.size(); }
    EntityRef item(std::size_t index) const;  // throws cad::Error outside 0 .. count - 1
    void add(const EntityRef& entity);
    void clear() { items_.clear(); }
    // Mode 5 puts every entity of the drawing in the set (model space, in order).
    void select(int mode);

  private:
    Drawing* drawing_;
    std::string name_;
    std::vector<EntityId> items_;  // of drawing_: a set of a big plan holds a million
};

// What one step of the program did to a drawing, as the drawing was before
// and after it: the entities it changed or erased (both images), the
// entities, layers, blocks and application names it added, the handle seed
// and the current layer. Drawing::undo and Drawing::redo apply it, so that a
// step taken back leaves the drawing, and the file saved from it, as it was.
struct DrawingChange {
    struct State {
        std::size_t entities = 0, modelSpace = 0, paperSpace = 0, layers = 0, blocks = 0,
                    appIds = 0;
        Handle handseed = 0;
        std::string currentLayer;
        bool currentLayerChanged = false;
    };
    struct Touched {
        EntityId id;
        Entity before, after;
        std::optional<EntityMark> markBefore, markAfter;
    };
    struct TouchedBlock {
        std::size_t index = 0;
        Block before, after;
    };
    State before, after;
    std::vector<Touched> touched;  // entities that were there before, by id
    std::vector<TouchedBlock> touchedBlocks;
    std::vector<Entity> added;  // entities the step made, in id order from before.entities
    std::vector<std::optional<EntityMark>> addedMarks;
    std::vector<EntityId> modelSpaceAdded, paperSpaceAdded;
    std::vector<Layer> layersAdded;
    std::vector<Block> blocksAdded;
    std::vector<AppId> appIdsAdded;

    bool empty() const {
        return touched.empty() && touchedBlocks.empty() && added.empty() && layersAdded.empty() &&
               blocksAdded.empty() && appIdsAdded.empty() && before.handseed == after.handseed &&
               before.currentLayer == after.currentLayer;
    }
};

class Drawing {
  public:
    Drawing();  // an empty drawing, never read from a file
    explicit Drawing(DrawingData data, std::filesystem::path path = {});
    Drawing(const Drawing&) = delete;
    Drawing& operator=(const Drawing&) = delete;
    ~Drawing();

    // Reads a DXF file; throws cad::Error with the line number when it cannot.
    static std::unique_ptr<Drawing> open(const std::filesystem::path& path);
    // A new drawing of the given DXF version, ready to be saved.
    static std::unique_ptr<Drawing> create(std::string_view version = "AC1015");

    const std::filesystem::path& path() const { return path_; }
    std::string name() const;  // file name without folders
    bool isOpen() const { return open_; }
    void close();
    bool modified() const { return modified_; }
    void save();  // atomic, keeps the previous file as .bak
    void saveAs(const std::filesystem::path& path);

    const DrawingData& data() const;
    DrawingData& mutableData();  // marks the drawing modified

    // Model space, in drawing order, without erased entities.
    std::vector<EntityRef> modelSpace();
    EntityRef entityByHandle(std::string_view hex);  // null when there is none
    EntityRef addLine(Point3 start, Point3 end);
    EntityRef addText(const std::string& text, Point3 insertion, double height);
    EntityRef addDimAngular(Point3 vertex, Point3 first, Point3 second, Point3 textPoint);
    EntityRef addEntity(Entity entity);  // any kind, on the current layer unless set

    // Blocks. A new block's entities belong to the block, not to model space,
    // and stay on their own layer ("0" when not set). Error when the name is
    // taken. Returns the index into data().blocks.
    std::size_t addBlock(const std::string& name, Point3 base, std::vector<Entity> entities,
                         int flags = 0);
    bool hasBlock(const std::string& name) const;
    // A reference to a block (Error when there is no such block).
    EntityRef addInsert(const std::string& blockName, Point3 insertion, double scale = 1.0,
                        double rotation = 0.0);
    // The text height of a dimension the program made; its block is drawn anew.
    void setDimensionTextHeight(EntityId id, double height);

    // Layers: adding a name that exists returns it and changes nothing.
    void addLayer(const std::string& name);
    bool hasLayer(const std::string& name) const;
    std::vector<std::string> layerNames() const;
    const std::string& currentLayer() const;
    void setCurrentLayer(const std::string& name);

    // Named selection sets.
    std::size_t selectionSetCount() const;
    SelectionSet& selectionSet(std::size_t index);
    SelectionSet& addSelectionSet(const std::string& name);  // Error when the name is taken
    void deleteSelectionSet(std::size_t index);

    // The pick-first selection; changing it raises the selection-changed event.
    const std::vector<EntityRef>& pickFirst() const { return pickFirst_; }
    void setPickFirst(std::vector<EntityRef> entities);
    using SelectionHandler = std::function<void(Drawing&)>;
    int onSelectionChanged(SelectionHandler handler);  // returns an id for disconnecting
    void disconnectSelectionChanged(int id);

    // Called by EntityRef::update, for new entities and as a property of an
    // entity is about to change; the view listens and draws the entity again
    // at its next frame.
    using UpdateHandler = std::function<void(Drawing&, EntityId)>;
    int onUpdate(UpdateHandler handler);
    void notifyUpdate(EntityId id);

    Box2 extents() const;  // of the visible model-space entities

    // The program's mark on an entity it drew (see EntityMark); marking
    // registers the application name kMarkApp in the drawing.
    void setMark(EntityId id, EntityMark mark);
    const EntityMark* mark(EntityId id) const;  // null when the entity has none

    // Recording of one step: every change between beginChange and endChange
    // through the operations of Drawing and EntityRef (not mutableData) is
    // returned by endChange. Calls nest; the outermost pair records.
    void beginChange();
    DrawingChange endChange();
    // Takes a recorded step back, or makes it again; steps are undone newest
    // first and redone in their order. Views are not told: they draw the
    // drawing anew.
    void undo(const DrawingChange& change);
    void redo(const DrawingChange& change);

    void requireOpen() const;  // throws cad::Error on a closed drawing

  private:
    friend class EntityRef;
    friend class SelectionSet;
    // Gives an entity its handle (and the handles its followers need) and
    // stores it; the caller files it in model space or a block.
    EntityId storeEntity(Entity entity);
    std::string newAnonymousBlockName(std::string_view prefix) const;
    // Before an entity or block that was there before the recorded step changes.
    void touch(EntityId id);
    void touchBlock(std::size_t index);
    DrawingChange::State state() const;
    std::unique_ptr<DrawingData> data_;
    std::filesystem::path path_;
    bool open_ = true;
    bool modified_ = false;
    std::vector<std::unique_ptr<SelectionSet>> selectionSets_;
    std::vector<EntityRef> pickFirst_;
    std::vector<std::pair<int, SelectionHandler>> selectionHandlers_;
    std::vector<std::pair<int, UpdateHandler>> updateHandlers_;
    int nextHandlerId_ = 1;
    int recording_ = 0;  // depth of beginChange
    DrawingChange change_;
    std::unordered_set<std::uint32_t> touchedIds_;
    std::unordered_set<std::size_t> touchedBlocks_;
};

}  // namespace cad
