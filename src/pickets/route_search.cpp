// The backward search from the picked end of a picket to its picked start over
// the route elements. Seeds are the elements that end (or, turned, end) exactly
// at the picked end; from each queued element the search goes on to the
// elements that touch its start, turning those that touch with their own start.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "model/units.hpp"
#include "pickets/detail.hpp"
#include "pickets/pickets.hpp"

namespace pickets::detail {

namespace {

struct RouteElement {
    cad::EntityRef ref;
    cad::Handle handle = 0;
    cad::Point3 start;
    cad::Point3 end;
    bool reversed = false;
    bool queued = false;

    void reverse() {
        std::swap(start, end);
        reversed = !reversed;
    }
};

struct QueueEntry {
    std::size_t element;
    long long parent;  // queue position it was reached from; -1 from the picked end
};

struct KeyPair {
    long long x, y;
    bool operator==(const KeyPair&) const = default;
};
struct KeyPairHash {
    std::size_t operator()(const KeyPair& k) const {
        // Unsigned: the cell number of a far coordinate times the factor overflows.
        return std::hash<unsigned long long>{}(static_cast<unsigned long long>(k.x) * 1000003ULL ^
                                               static_cast<unsigned long long>(k.y));
    }
};

KeyPair keyOf(cad::Point3 p) {
    return {CoordKey(p.x), CoordKey(p.y)};
}

bool samePlace(cad::Point3 a, cad::Point3 b) {
    return a.x == b.x && a.y == b.y;
}

bool within(cad::Point3 a, cad::Point3 b, double reach) {
    return std::abs(a.x - b.x) <= reach && std::abs(a.y - b.y) <= reach;
}

}  // namespace

double touchReach(model::PlanUnits units) {
    return 1000.0 / model::millimetresPerUnit(units);
}

std::optional<RouteChain> findRouteChain(const std::vector<cad::EntityRef>& routeList,
                                         cad::Point3 start, cad::Point3 end, double reach) {
    std::vector<RouteElement> route;
    route.reserve(routeList.size());
    for (const cad::EntityRef& ref : routeList) {
        RouteElement e;
        e.ref = ref;
        e.end = ref.endPoint();
        e.start = ref.startPoint();
        e.handle = ref.entity().handle;
        route.push_back(e);
    }

    // Which elements have an end with a given key: the only ones that can
    // touch a point with that key. Lists stay in route list order.
    std::unordered_map<KeyPair, std::vector<std::size_t>, KeyPairHash> byKey;
    for (std::size_t i = 0; i < route.size(); ++i) {
        KeyPair a = keyOf(route[i].start), b = keyOf(route[i].end);
        byKey[a].push_back(i);
        if (!(b == a)) byKey[b].push_back(i);
    }

    // Ends within the joint tolerance of each other touch whatever their keys:
    // an end computed on an arc lies a rounding error off the drawn joint,
    // and next to a place where the key changes its length (0, 10000, ...)
    // that error alone gives it another key. Cells of the tolerance's size;
    // touching ends lie in neighbouring cells.
    // A coordinate too far out for a cell number has no cell: there its
    // neighbouring numbers lie further apart than the tolerance anyway.
    auto cellable = [](cad::Point3 p) {
        return std::fabs(p.x / kJointTolerance) < 1e18 && std::fabs(p.y / kJointTolerance) < 1e18;
    };
    auto cellOf = [](double v) { return static_cast<long long>(std::floor(v / kJointTolerance)); };
    std::unordered_map<KeyPair, std::vector<std::size_t>, KeyPairHash> byCell;
    for (std::size_t i = 0; i < route.size(); ++i) {
        for (cad::Point3 p : {route[i].start, route[i].end}) {
            if (!cellable(p)) continue;
            std::vector<std::size_t>& list = byCell[{cellOf(p.x), cellOf(p.y)}];
            if (list.empty() || list.back() != i) list.push_back(i);
        }
    }
    auto near = [](cad::Point3 a, cad::Point3 b) {
        return cad::planeDistance(a, b) <= kJointTolerance;
    };
    std::vector<std::size_t> candidates;

    std::vector<QueueEntry> queue;
    auto push = [&](std::size_t i, long long parent) {
        route[i].queued = true;
        queue.push_back({i, parent});
    };
    for (std::size_t i = 0; i < route.size(); ++i) {
        if (samePlace(route[i].end, end)) push(i, -1);
        if (!route[i].queued && samePlace(route[i].start, end)) {
            route[i].reverse();
            push(i, -1);
        }
    }

    std::optional<std::size_t> found;
    for (std::size_t k = 0; k < queue.size(); ++k) {
        const RouteElement& entry = route[queue[k].element];
        cad::Point3 s = entry.start;
        if (samePlace(s, start)) {
            found = k;
            break;
        }
        cad::Handle entryHandle = entry.handle;
        const KeyPair key = keyOf(s);
        // The elements that may touch s, in route list order.
        candidates.clear();
        if (auto touching = byKey.find(key); touching != byKey.end()) {
            candidates = touching->second;
        }
        if (cellable(s)) {
            const long long cx = cellOf(s.x), cy = cellOf(s.y);
            for (long long dx = -1; dx <= 1; ++dx) {
                for (long long dy = -1; dy <= 1; ++dy) {
                    auto cell = byCell.find({cx + dx, cy + dy});
                    if (cell == byCell.end()) continue;
                    candidates.insert(candidates.end(), cell->second.begin(), cell->second.end());
                }
            }
            std::sort(candidates.begin(), candidates.end());
            candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        }
        auto touches = [&](cad::Point3 p) {
            return (keyOf(p) == key && within(p, s, reach)) || near(p, s);
        };
        for (std::size_t i : candidates) {
            RouteElement& e = route[i];
            if (e.handle == entryHandle || e.queued) continue;
            if (touches(e.end)) {
                push(i, static_cast<long long>(k));
            } else if (touches(e.start)) {
                e.reverse();
                push(i, static_cast<long long>(k));
            }
        }
    }
    if (!found) return std::nullopt;

    RouteChain chain;
    for (long long k = static_cast<long long>(*found); k >= 0; k = queue[k].parent) {
        chain.elements.push_back(route[queue[k].element].ref);
    }
    for (const RouteElement& e : route) {
        if (e.reversed) chain.reversed.push_back(e.ref);
    }
    return chain;
}

void reverseInDrawing(const std::vector<cad::EntityRef>& elements) {
    for (const cad::EntityRef& e : elements) {
        // A polyline, an arc or a curve keeps its drawn direction: the picket's
        // points follow the route through it whichever way it was drawn.
        if (!cad::holdsGeom<cad::LineGeom>(e.entity().geom)) continue;
        cad::Point3 s = e.startPoint();
        cad::Point3 t = e.endPoint();
        cad::EntityRef ref = e;
        ref.setStartPoint(t);
        ref.setEndPoint(s);
    }
}

}  // namespace pickets::detail
