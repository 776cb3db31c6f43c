// The points of a picket: element ends, crossings with the objects of the type
// layers, rounding, duplicates, the start to the front and nearest-neighbour
// order. The crossings come from a spatial index over the elements' boxes; the
// index only picks the pairs worth intersecting, and the points come out in the
// order of the plain loop (objectList order, then element order), which stays
// here as the reference.
#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_set>

#include <boost/geometry/geometries/box.hpp>
#include <boost/geometry/geometries/point.hpp>
#include <boost/geometry/index/rtree.hpp>

#include "cad/geometry.hpp"
#include "cad/number_text.hpp"
#include "model/primitives.hpp"
#include "model/route_path.hpp"
#include "model/units.hpp"
#include "model/value_checks.hpp"
#include "pickets/detail.hpp"
#include "pickets/pickets.hpp"

namespace pickets {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

long long CoordKey(double v) {
    if (!std::isfinite(v)) return 0;
    double whole = std::trunc(v);
    if (whole == 0.0) whole = 0.0;  // Trunc(-0.7) is 0, written "0"
    const int length = static_cast<int>(cad::fixedText(whole, 0).size());
    const int exponent = 4 - length;
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

// Coordinates are kept to 0.01 mm of terrain: 0.01 of a unit in a plan drawn
// in millimetres, as finely in one drawn in metres.
double roundPlace(double v, double steps) {
    return model::roundHalfEven(v * steps) / steps;
}

// The points being built, kept as parallel lists like the picket's own, with
// each point's distance along the route from the picket's start.
struct PointList {
    std::vector<model::PiketPoint> rows;
    std::vector<cad::EntityRef> objects;
    std::vector<double> along;
    detail::InitialValues values;
    const model::RoutePath* path = nullptr;
    double steps = 100.0;  // rounding steps a unit

    void add(const cad::EntityRef& object, double x, double y, double depth, double place) {
        model::PiketPoint point;
        point.x = roundPlace(x, steps);
        point.y = roundPlace(y, steps);
        point.relief = model::Relief::asPrevious();
        if (depth != model::kAuto) point.depth = depth;  // a typed -1 is the automatic depth
        point.pipe = values.pipe;
        rows.push_back(point);
        objects.push_back(object);
        along.push_back(place);
    }
    // A crossing lies on the element it was found on; it is placed on that
    // element's stretch, so a route passing near itself cannot mislead.
    void addCrossing(const cad::EntityRef& object, std::size_t element, double x, double y) {
        add(object, x, y, values.depth, path->locateOn(element, {x, y, 0.0}).along);
    }
    void addCrossings(const cad::EntityRef& object, std::size_t element, const double* flat,
                      std::size_t count) {
        for (std::size_t i = 0; i + 2 < count; i += 3)
            addCrossing(object, element, flat[i], flat[i + 1]);
    }
    void swap(std::size_t a, std::size_t b) {
        std::swap(rows[a], rows[b]);
        std::swap(objects[a], objects[b]);
        std::swap(along[a], along[b]);
    }
};

std::vector<std::string> typeLayers(const model::Controls& c) {
    std::vector<std::string> layers;
    for (const auto& list : c.typeLists) {
        layers.insert(layers.end(), list.begin(), list.end());
    }
    return layers;
}

// Every object of objectList on a type layer against every element, through
// the drawing operations and nothing else.
void crossingsPlain(const model::Workspace& ws, const model::Piket& piket,
                    const std::vector<std::string>& layers, PointList& out) {
    for (const cad::EntityRef& object : ws.objectList) {
        if (!object.exists() || !detail::onLayerList(object.layer(), layers)) continue;
        for (std::size_t k = 0; k < piket.elements.size(); ++k) {
            const cad::EntityRef& element = piket.elements[k];
            std::vector<double> flat;
            try {
                if (element.handle() == object.handle()) continue;
                flat = element.intersectWith(object);
            } catch (const cad::Error&) {
                continue;
            }
            out.addCrossings(object, k, flat.data(), flat.size());
        }
    }
}

// A box holding the whole entity in world XY, found from its defining points
// without building its pieces: lines, circles, arcs and polylines in the plan's
// own plane. nullopt for every other kind.
std::optional<cad::Box2> roughBox(const cad::Entity& e) {
    auto flat = [](const cad::Point3& extrusion) { return extrusion == cad::kWorldZ; };
    cad::Box2 b;
    if (const auto* l = cad::geomIf<cad::LineGeom>(e.geom)) {
        b.add(l->start);
        b.add(l->end);
    } else if (const auto* c = cad::geomIf<cad::CircleGeom>(e.geom)) {
        if (!flat(c->extrusion)) return std::nullopt;
        b.add(c->center.x - c->radius, c->center.y - c->radius);
        b.add(c->center.x + c->radius, c->center.y + c->radius);
    } else if (const auto* a = cad::geomIf<cad::ArcGeom>(e.geom)) {
        if (!flat(a->extrusion)) return std::nullopt;
        b.add(a->center.x - a->radius, a->center.y - a->radius);
        b.add(a->center.x + a->radius, a->center.y + a->radius);
    } else if (const auto* p = cad::geomIf<cad::PolylineGeom>(e.geom)) {
        if (!p->is3d && !flat(p->extrusion)) return std::nullopt;
        const auto& v = p->vertices;
        double grow = 0.0;
        for (std::size_t i = 0; i < v.size(); ++i) {
            b.add(v[i].x, v[i].y);
            bool last = i + 1 == v.size();
            if (v[i].bulge == 0.0 || (last && !p->closed)) continue;
            const cad::PolyVertex& w = last ? v[0] : v[i + 1];
            double chord = std::hypot(w.x - v[i].x, w.y - v[i].y);
            double bulge = std::abs(v[i].bulge);
            // Up to a half circle the arc stays within its sagitta of the chord;
            // a larger one within its diameter of either end.
            double radius = chord * (1 + bulge * bulge) / (4 * bulge);
            grow = std::max(grow, bulge <= 1.0 ? chord * bulge / 2 : 2 * radius);
        }
        if (b.empty()) return std::nullopt;
        b.add(b.minX - grow, b.minY - grow);
        b.add(b.maxX + grow, b.maxY + grow);
    } else {
        return std::nullopt;
    }
    if (b.empty() || !std::isfinite(b.minX + b.minY + b.maxX + b.maxY)) return std::nullopt;
    // Room for the tolerance crossings are found within.
    double margin = 1e-8 * std::max({std::abs(b.minX), std::abs(b.maxX), std::abs(b.minY),
                                     std::abs(b.maxY), 1.0});
    b.add(b.minX - margin, b.minY - margin);
    b.add(b.maxX + margin, b.maxY + margin);
    return b;
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
        // An element that is gone has no pairs; it keeps its place so the
        // element order stays.
        const cad::Entity* entity = ref.exists() ? &ref.entity() : nullptr;
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

        // Most objects lie far from the route: a rough box that surely holds
        // the object rules them out before its exact box is worked out.
        if (auto rough = roughBox(entity); rough && unboxed.empty()) {
            if (tree.qbegin(bgi::intersects(IndexBox({rough->minX, rough->minY},
                                                     {rough->maxX, rough->maxY}))) == tree.qend()) {
                continue;
            }
        }
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
            for (const cad::Point3& p : crossing) out.addCrossing(object, k, p.x, p.y);
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
        Key key{list.rows[i].x, list.rows[i].y};
        // A NaN equals nothing, so it is never a duplicate.
        bool comparable = key.x == key.x && key.y == key.y;
        if (comparable && !seen.insert(key).second) continue;
        if (kept != i) {
            list.rows[kept] = list.rows[i];
            list.objects[kept] = list.objects[i];
            list.along[kept] = list.along[i];
        }
        ++kept;
    }
    list.rows.resize(kept);
    list.objects.resize(kept);
    list.along.resize(kept);
}

// Points in the order the route passes them; points at the same place keep
// their order, so the start moved to the front stays first.
void orderAlongRoute(PointList& list) {
    std::vector<std::size_t> order(list.rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&list](std::size_t a, std::size_t b) {
        return list.along[a] < list.along[b];
    });
    PointList sorted;
    sorted.rows.reserve(order.size());
    sorted.objects.reserve(order.size());
    sorted.along.reserve(order.size());
    for (std::size_t i : order) {
        sorted.rows.push_back(list.rows[i]);
        sorted.objects.push_back(std::move(list.objects[i]));
        sorted.along.push_back(list.along[i]);
    }
    list.rows = std::move(sorted.rows);
    list.objects = std::move(sorted.objects);
    list.along = std::move(sorted.along);
}

}  // namespace

namespace detail {

InitialValues readInitialValues(const model::Workspace& ws) {
    InitialValues v;
    v.depth = model::readNumberField(ws.controls.depthText, ws.decimalSeparator, kDepthFieldName,
                                     model::kDepthLimit);
    v.pipe = model::readNumberField(ws.controls.pipeText, ws.decimalSeparator, kPipeFieldName,
                                    model::kDiameterLimit);
    return v;
}

}  // namespace detail

void BuildPiketPoints(model::Workspace& ws, model::Piket& piket, cad::Point3& start,
                      cad::Point3& end, double startDepth, BuildOptions options) {
    PointList list;
    list.values = detail::readInitialValues(ws);
    list.steps = 100.0 * model::millimetresPerUnit(ws.controls.planUnits);
    std::vector<std::string> layers = typeLayers(ws.controls);
    const model::RoutePath path(piket.elements, start);
    list.path = &path;

    for (std::size_t k = 0; k < piket.elements.size(); ++k) {
        const cad::EntityRef& element = piket.elements[k];
        std::vector<model::RoutePath::Vertex> vertices = path.vertices(k);
        if (vertices.size() >= 2) {
            // The ends in the order the route passes them, whichever way the
            // element is drawn (an arc or a polyline is never turned in the
            // drawing), and every vertex of a polyline between them, so the
            // plan and the bend angles show its bends.
            for (std::size_t v = 0; v < vertices.size(); ++v) {
                list.add(element, vertices[v].at.x, vertices[v].at.y,
                         v == 0 ? startDepth : list.values.depth, vertices[v].along);
            }
            continue;
        }
        cad::Point3 s = element.startPoint();
        cad::Point3 e = element.endPoint();
        list.add(element, s.x, s.y, startDepth, path.locateOn(k, s).along);
        list.add(element, e.x, e.y, list.values.depth, path.locateOn(k, e).along);
    }
    // A plan so far from the origin that its numbers no longer tell 0.01 mm
    // of terrain apart would give every length wrong: refused before the
    // crossings are searched. Crossings lie on the elements between their ends.
    for (const model::PiketPoint& point : list.rows) {
        model::checkPlace(point.x, point.y, ws.controls.planUnits, "Элемент пикета");
    }
    if (options.useIndex) {
        crossingsIndexed(ws, piket, layers, list);
    } else {
        crossingsPlain(ws, piket, layers, list);
    }

    start.x = roundPlace(start.x, list.steps);
    start.y = roundPlace(start.y, list.steps);
    end.x = roundPlace(end.x, list.steps);
    end.y = roundPlace(end.y, list.steps);

    removeDuplicates(list);

    bool startFound = false;
    if (list.rows.size() >= 2) {
        for (std::size_t i = 0; i < list.rows.size(); ++i) {
            if (list.rows[i].x == start.x && list.rows[i].y == start.y) {
                if (i > 0) list.swap(0, i);
                startFound = true;
                break;
            }
        }
    }

    if (list.rows.size() > 1) orderAlongRoute(list);

    piket.points = std::move(list.rows);
    piket.pointObjects = std::move(list.objects);
    if (!startFound) ws.ui.message(kStartNotFound);
}

}  // namespace pickets
