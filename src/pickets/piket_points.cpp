// The points of a picket: element ends, crossings with the objects of the type
// layers, rounding, duplicates, the start to the front and nearest-neighbour
// order. The crossings come from a spatial index over the elements' boxes; the
// index only picks the pairs worth intersecting, and the points come out in the
// order of the plain loop (objectList order, then element order), which stays
// here as the reference.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include <boost/geometry/geometries/box.hpp>
#include <boost/geometry/geometries/point.hpp>
#include <boost/geometry/index/rtree.hpp>

#include "cad/geometry.hpp"
#include "model/primitives.hpp"
#include "pickets/detail.hpp"
#include "pickets/pickets.hpp"

namespace pickets {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

long long CoordKey(double v) {
    if (!std::isfinite(v)) return 0;
    double whole = std::trunc(v);
    if (whole == 0.0) whole = 0.0;  // Trunc(-0.7) is 0, written "0"
    char text[400];
    int length = std::snprintf(text, sizeof text, "%.0f", whole);
    int exponent = 4 - length;
    double scaled = v;
    if (exponent > 0) {
        scaled = v * std::pow(10.0, exponent);
    } else if (exponent < 0) {
        scaled = v / std::pow(10.0, -exponent);
    }
    return static_cast<long long>(model::roundHalfEven(scaled));
}

std::string sequencePrompt(int elementCount) {
    return "(" + std::to_string(elementCount) +
           ") \"Укажите последовательно элементы пикета от начала до конца\" Выход ESC";
}

namespace {

double round2(double v) {
    return model::roundHalfEven(v * 100.0) / 100.0;
}

// The points being built, kept as two parallel lists like the picket's own.
struct PointList {
    std::vector<model::PointRow> rows;
    std::vector<cad::EntityRef> objects;
    detail::InitialValues values;

    void add(const cad::EntityRef& object, double x, double y, double depth) {
        model::PointRow row{};
        row[model::kX] = round2(x);
        row[model::kY] = round2(y);
        row[model::kRelief] = model::kSameAsPrevious;
        row[model::kDepth] = depth;
        row[model::kPipe] = values.pipe;
        rows.push_back(row);
        objects.push_back(object);
    }
    void addCrossings(const cad::EntityRef& object, const double* flat, std::size_t count) {
        for (std::size_t i = 0; i + 2 < count; i += 3)
            add(object, flat[i], flat[i + 1], values.depth);
    }
    void swap(std::size_t a, std::size_t b) {
        std::swap(rows[a], rows[b]);
        std::swap(objects[a], objects[b]);
    }
};

std::vector<std::string> typeLayers(const model::Controls& c) {
    std::vector<std::string> layers;
    for (const auto* list : {&c.comboBox2, &c.comboBox3, &c.comboBox4, &c.comboBox5}) {
        layers.insert(layers.end(), list->begin(), list->end());
    }
    return layers;
}

// Every object of objectList on a type layer against every element, through
// the drawing operations and nothing else.
void crossingsPlain(const model::Workspace& ws, const model::Piket& piket,
                    const std::vector<std::string>& layers, PointList& out) {
    for (const cad::EntityRef& object : ws.objectList) {
        std::string layer;
        try {
            layer = object.layer();
        } catch (const cad::Error&) {
            continue;
        }
        if (!detail::onLayerList(layer, layers)) continue;
        for (const cad::EntityRef& element : piket.elements) {
            std::vector<double> flat;
            try {
                if (element.handle() == object.handle()) continue;
                flat = element.intersectWith(object);
            } catch (const cad::Error&) {
                continue;
            }
            out.addCrossings(object, flat.data(), flat.size());
        }
    }
}

using IndexPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using IndexBox = bg::model::box<IndexPoint>;
using IndexValue = std::pair<IndexBox, std::size_t>;

// The same pairs in the same order as crossingsPlain, but each object is only
// intersected with the elements whose boxes meet its own.
void crossingsIndexed(const model::Workspace& ws, const model::Piket& piket,
                      const std::vector<std::string>& layers, PointList& out) {
    cad::Drawing* drawing = nullptr;
    for (const cad::EntityRef& element : piket.elements) {
        if (element.isNull()) continue;
        if (drawing && element.drawing() != drawing) {
            crossingsPlain(ws, piket, layers, out);  // elements from several drawings
            return;
        }
        drawing = element.drawing();
    }
    // Every call on a closed drawing fails, so every pair is skipped.
    if (!drawing || !drawing->isOpen()) return;
    const cad::DrawingData& data = drawing->data();

    struct Element {
        const cad::Entity* entity;
        cad::Handle handle;
    };
    std::vector<Element> elements;
    std::vector<IndexValue> boxes;
    std::vector<std::size_t> unboxed;  // tried against every object
    for (const cad::EntityRef& ref : piket.elements) {
        const cad::Entity* entity = nullptr;
        try {
            entity = &ref.entity();
        } catch (const cad::Error&) {
            // Its pairs all fail; keep the place so element order stays.
        }
        elements.push_back({entity, entity ? entity->handle : 0});
        if (!entity) continue;
        cad::Box2 b = cad::entityBounds(data, *entity);
        if (b.empty()) {
            unboxed.push_back(elements.size() - 1);
            continue;
        }
        // Crossings are found within a tolerance that grows with the
        // coordinates; a wider box only adds candidates, never loses one.
        double magnitude =
            std::max({std::abs(b.minX), std::abs(b.maxX), std::abs(b.minY), std::abs(b.maxY), 1.0});
        double grow = 1e-8 * magnitude;
        boxes.push_back({IndexBox({b.minX - grow, b.minY - grow}, {b.maxX + grow, b.maxY + grow}),
                         elements.size() - 1});
    }
    bgi::rtree<IndexValue, bgi::quadratic<16>> tree(boxes.begin(), boxes.end());

    std::vector<IndexValue> hits;
    std::vector<std::size_t> candidates;
    for (const cad::EntityRef& object : ws.objectList) {
        if (object.drawing() != drawing) continue;  // no pair of another drawing intersects
        cad::EntityId id = object.id();
        if (!id.valid() || id.v >= data.entities.size()) continue;
        const cad::Entity& entity = data.entities[id.v];
        if (entity.erased) continue;
        if (!detail::onLayerList(entity.layer, layers)) continue;

        candidates = unboxed;
        cad::Box2 b = cad::entityBounds(data, entity);
        if (b.empty()) {
            for (std::size_t k = 0; k < elements.size(); ++k) candidates.push_back(k);
        } else {
            hits.clear();
            tree.query(bgi::intersects(IndexBox({b.minX, b.minY}, {b.maxX, b.maxY})),
                       std::back_inserter(hits));
            for (const IndexValue& h : hits) candidates.push_back(h.second);
        }
        if (candidates.empty()) continue;
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        for (std::size_t k : candidates) {
            const Element& e = elements[k];
            if (!e.entity || e.handle == entity.handle) continue;
            std::vector<cad::Point3> crossing;
            try {
                crossing = cad::intersectEntities(data, *e.entity, entity);
            } catch (const cad::Error&) {
                continue;
            }
            for (const cad::Point3& p : crossing) out.add(object, p.x, p.y, out.values.depth);
        }
    }
}

// Keeps the first of every group of points with the same X and Y.
void removeDuplicates(PointList& list) {
    struct Key {
        double x, y;
        bool operator==(const Key& o) const { return x == o.x && y == o.y; }
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const {
            // +0.0 turns -0.0 into 0.0, which compares equal to it.
            double x = k.x + 0.0, y = k.y + 0.0;
            std::uint64_t a, b;
            std::memcpy(&a, &x, sizeof a);
            std::memcpy(&b, &y, sizeof b);
            return std::hash<std::uint64_t>{}(a * 0x9E3779B97F4A7C15ull ^ b);
        }
    };
    std::unordered_set<Key, KeyHash> seen;
    seen.reserve(list.rows.size());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list.rows.size(); ++i) {
        Key key{list.rows[i][model::kX], list.rows[i][model::kY]};
        // A NaN equals nothing, so it is never a duplicate.
        bool comparable = key.x == key.x && key.y == key.y;
        if (comparable && !seen.insert(key).second) continue;
        if (kept != i) {
            list.rows[kept] = list.rows[i];
            list.objects[kept] = list.objects[i];
        }
        ++kept;
    }
    list.rows.resize(kept);
    list.objects.resize(kept);
}

// Each next point is the nearest of the remaining ones, if nearer than the bound.
void nearestNeighbourOrder(PointList& list, double bound) {
    std::vector<model::PointRow>& rows = list.rows;
    std::size_t n = rows.size();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        double xi = rows[i][model::kX], yi = rows[i][model::kY];
        std::size_t best = n;
        double bestDistance = bound;
        // The root is monotonic, so a larger square can never give a smaller
        // distance: the root is taken only where it may win.
        double bestSquare = std::numeric_limits<double>::infinity();
        for (std::size_t j = i + 1; j < n; ++j) {
            double dx = rows[j][model::kX] - xi, dy = rows[j][model::kY] - yi;
            double square = dx * dx + dy * dy;
            if (square > bestSquare) continue;
            double distance = std::sqrt(square);
            if (distance < bestDistance) {
                bestDistance = distance;
                bestSquare = square;
                best = j;
            }
        }
        if (best != n && best != i + 1) list.swap(i + 1, best);
    }
}

}  // namespace

namespace detail {

bool onLayerList(const std::string& layer, const std::vector<std::string>& layers) {
    return std::find(layers.begin(), layers.end(), layer) != layers.end();
}

InitialValues readInitialValues(const model::Workspace& ws) {
    InitialValues v;
    v.depth = model::readNumberField(ws.controls.edit2, ws.decimalSeparator, kDepthFieldName);
    v.pipe = model::readNumberField(ws.controls.edit8, ws.decimalSeparator, kPipeFieldName);
    return v;
}

}  // namespace detail

void BuildPiketPoints(model::Workspace& ws, model::Piket& piket, cad::Point3& start,
                      cad::Point3& end, double startDepth, BuildOptions options) {
    PointList list;
    list.values = detail::readInitialValues(ws);
    std::vector<std::string> layers = typeLayers(ws.controls);

    for (const cad::EntityRef& element : piket.elements) {
        cad::Point3 s = element.startPoint();
        cad::Point3 e = element.endPoint();
        list.add(element, s.x, s.y, startDepth);
        list.add(element, e.x, e.y, list.values.depth);
    }
    if (options.useIndex) {
        crossingsIndexed(ws, piket, layers, list);
    } else {
        crossingsPlain(ws, piket, layers, list);
    }

    start.x = round2(start.x);
    start.y = round2(start.y);
    end.x = round2(end.x);
    end.y = round2(end.y);

    removeDuplicates(list);

    bool startFound = false;
    if (list.rows.size() >= 2) {
        for (std::size_t i = 0; i < list.rows.size(); ++i) {
            if (list.rows[i][model::kX] == start.x && list.rows[i][model::kY] == start.y) {
                if (i > 0) list.swap(0, i);
                startFound = true;
                break;
            }
        }
    }

    if (list.rows.size() > 1) {
        double dx = start.x - end.x, dy = start.y - end.y;
        nearestNeighbourOrder(list, std::sqrt(dx * dx + dy * dy) + 10000.0);
    }

    piket.points = std::move(list.rows);
    piket.pointObjects = std::move(list.objects);
    if (!startFound) ws.ui.message(kStartNotFound);
}

}  // namespace pickets
