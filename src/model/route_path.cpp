#include "model/route_path.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "cad/geometry.hpp"

namespace model {

namespace {

struct RawNode {
    cad::Point3 at;
    bool vertex = false;
    // Length along the curve from the node before, where it is known exactly
    // (arcs); -1 for the straight distance.
    double step = -1.0;
};

// Fine enough that the length along a flattened arc differs from the arc's
// by far less than the 0.01 of a unit points are rounded to.
double flattenTolerance(double size) {
    return std::max(size * 1e-6, 1e-9);
}

void addChain(std::vector<RawNode>& out, const std::vector<cad::Point3>& pts) {
    for (std::size_t i = 0; i < pts.size(); ++i) {
        out.push_back({pts[i], i == 0 || i + 1 == pts.size()});
    }
}

// The element's nodes in its drawn direction: its ends, the vertices of a
// polyline, and the flattened inner points of its curves.
std::vector<RawNode> elementNodes(const cad::Entity& e) {
    std::vector<RawNode> out;
    if (const auto* l = cad::geomIf<cad::LineGeom>(e.geom)) {
        out.push_back({l->start, true});
        out.push_back({l->end, true});
    } else if (const auto* p = cad::geomIf<cad::PolylineGeom>(e.geom)) {
        const auto& v = p->vertices;
        auto world = [p](double x, double y, double z) {
            return p->is3d ? cad::Point3{x, y, z}
                           : cad::ocsToWcs({x, y, p->elevation}, p->extrusion);
        };
        std::size_t count = v.empty() ? 0 : (p->closed ? v.size() : v.size() - 1);
        if (!v.empty()) out.push_back({world(v[0].x, v[0].y, v[0].z), true});
        for (std::size_t i = 0; i < count; ++i) {
            const cad::PolyVertex& a = v[i];
            const cad::PolyVertex& b = v[(i + 1) % v.size()];
            if (!p->is3d && a.bulge != 0.0 && std::isfinite(a.bulge)) {
                cad::PolylineGeom arc;
                arc.vertices = {{a.x, a.y, 0.0, a.bulge}, {b.x, b.y, 0.0, 0.0}};
                const double chord = std::hypot(b.x - a.x, b.y - a.y);
                std::vector<cad::Point3> pts = cad::polylinePoints(arc, flattenTolerance(chord));
                // The flattened points stand at equal angles: each step is an
                // equal share of the arc.
                const double bulge = std::abs(a.bulge);
                const double arcLength =
                    chord * (1 + bulge * bulge) / (4 * bulge) * 4 * std::atan(bulge);
                const double step =
                    pts.size() >= 2 ? arcLength / static_cast<double>(pts.size() - 1) : -1.0;
                for (std::size_t k = 1; k + 1 < pts.size(); ++k) {
                    out.push_back({world(pts[k].x, pts[k].y, 0.0), false, step});
                }
                out.push_back({world(b.x, b.y, b.z), true, step});
                continue;
            }
            out.push_back({world(b.x, b.y, b.z), true});
        }
    } else if (const auto* a = cad::geomIf<cad::ArcGeom>(e.geom)) {
        auto s = cad::entityStart(e), t = cad::entityEnd(e);
        if (!s || !t || !(a->radius > 0) || !std::isfinite(a->radius)) return out;
        double sweep = std::fmod(a->endAngle - a->startAngle, 360.0);
        if (sweep <= 0) sweep += 360.0;
        double angleStep =
            2.0 * std::acos(std::max(-1.0, 1.0 - flattenTolerance(a->radius) / a->radius)) * 180.0 /
            3.14159265358979323846;
        int n = std::clamp(static_cast<int>(std::ceil(sweep / std::max(angleStep, 1e-6))), 2, 4096);
        const double step = a->radius * sweep * 3.14159265358979323846 / 180.0 / n;
        out.push_back({*s, true});
        for (int k = 1; k < n; ++k) {
            double ang = (a->startAngle + sweep * k / n) * 3.14159265358979323846 / 180.0;
            cad::Point3 local{a->center.x + a->radius * std::cos(ang),
                              a->center.y + a->radius * std::sin(ang), a->center.z};
            out.push_back({cad::ocsToWcs(local, a->extrusion), false, step});
        }
        out.push_back({*t, true, step});
    } else if (const auto* el = cad::geomIf<cad::EllipseGeom>(e.geom)) {
        if (cad::entityStart(e)) {
            addChain(out, cad::ellipsePoints(*el, flattenTolerance(cad::norm(el->majorAxis))));
        }
    } else if (const auto* sp = cad::geomIf<cad::SplineGeom>(e.geom)) {
        if (cad::entityStart(e)) {
            cad::Box2 b;
            for (const cad::Point3& c : sp->controlPoints) b.add(c);
            for (const cad::Point3& c : sp->fitPoints) b.add(c);
            double size = b.empty() ? 0.0 : std::hypot(b.maxX - b.minX, b.maxY - b.minY);
            addChain(out, cad::splinePoints(*sp, flattenTolerance(size)));
        }
    } else {
        auto s = cad::entityStart(e), t = cad::entityEnd(e);
        if (s && t) {
            out.push_back({*s, true});
            out.push_back({*t, true});
        }
    }
    for (const RawNode& n : out) {
        if (!std::isfinite(n.at.x) || !std::isfinite(n.at.y)) return {};
    }
    return out;
}

}  // namespace

RoutePath::RoutePath(const std::vector<cad::EntityRef>& elements, cad::Point3 start) {
    std::vector<std::vector<RawNode>> raw(elements.size());
    std::vector<bool> isLine(elements.size(), false);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        try {
            raw[i] = elementNodes(elements[i].entity());
            isLine[i] = cad::holdsGeom<cad::LineGeom>(elements[i].entity().geom);
        } catch (const cad::Error&) {
            // An element erased or of a closed drawing: the route goes on without it.
        }
    }
    spans_.resize(elements.size());
    std::vector<bool> used(elements.size(), false);
    cad::Point3 at = start;
    std::size_t next = 0;  // the element the list order would take next
    auto take = [&](std::size_t i) {
        const std::vector<RawNode>& r = raw[i];
        bool reversed = planeDistance(at, r.back().at) < planeDistance(at, r.front().at);
        Span& span = spans_[i];
        span.present = true;
        span.first = nodes_.size();
        for (std::size_t k = 0; k < r.size(); ++k) {
            const RawNode& n = reversed ? r[r.size() - 1 - k] : r[k];
            double step = nodes_.empty() ? 0.0 : planeDistance(nodes_.back().at, n.at);
            if (k > 0) {
                // The step from the node before belongs to the later node as drawn.
                double exact = reversed ? r[r.size() - k].step : n.step;
                if (exact >= 0.0) step = exact;
            }
            double along = nodes_.empty() ? 0.0 : nodes_.back().along + step;
            nodes_.push_back({n.at, along, n.vertex, isLine[i] && k + 1 < r.size()});
        }
        span.last = nodes_.size() - 1;
        used[i] = true;
        at = nodes_.back().at;
    };
    for (;;) {
        while (next < raw.size() && (used[next] || raw[next].empty())) ++next;
        if (next == raw.size()) break;
        auto nearEnd = [&](std::size_t i) {
            return std::min(planeDistance(at, raw[i].front().at),
                            planeDistance(at, raw[i].back().at));
        };
        std::size_t chosen = next;
        // The list is followed while it stays joined; otherwise the nearest
        // element goes on, and the first is the one nearest the start.
        if (nearEnd(next) != 0.0) {
            double best = nearEnd(next);
            for (std::size_t i = next + 1; i < raw.size(); ++i) {
                if (used[i] || raw[i].empty()) continue;
                double d = nearEnd(i);
                if (d < best) {
                    best = d;
                    chosen = i;
                }
            }
        }
        take(chosen);
    }
}

std::vector<RoutePath::Vertex> RoutePath::vertices(std::size_t element) const {
    std::vector<Vertex> out;
    if (element >= spans_.size() || !spans_[element].present) return out;
    const Span& s = spans_[element];
    for (std::size_t k = s.first; k <= s.last; ++k) {
        if (nodes_[k].vertex) out.push_back({nodes_[k].at, nodes_[k].along});
    }
    return out;
}

RoutePath::Place RoutePath::nearestOn(std::size_t firstSegment, std::size_t lastSegment,
                                      cad::Point3 p) const {
    Place best;
    best.offset = std::numeric_limits<double>::infinity();
    if (nodes_.empty()) return best;
    if (nodes_.size() == 1 || firstSegment > lastSegment) {
        std::size_t k = std::min(firstSegment, nodes_.size() - 1);
        return {nodes_[k].along, planeDistance(nodes_[k].at, p), k};
    }
    for (std::size_t k = firstSegment; k <= lastSegment && k + 1 < nodes_.size(); ++k) {
        const Node& a = nodes_[k];
        const Node& b = nodes_[k + 1];
        double dx = b.at.x - a.at.x, dy = b.at.y - a.at.y;
        double len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? ((p.x - a.at.x) * dx + (p.y - a.at.y) * dy) / len2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        cad::Point3 q{a.at.x + t * dx, a.at.y + t * dy, 0.0};
        double offset = planeDistance(q, p);
        if (offset < best.offset) best = {a.along + t * (b.along - a.along), offset, k};
    }
    return best;
}

RoutePath::Place RoutePath::locateOn(std::size_t element, cad::Point3 p) const {
    if (element >= spans_.size() || !spans_[element].present) return locate(p);
    const Span& s = spans_[element];
    if (s.first == s.last)
        return {nodes_[s.first].along, planeDistance(nodes_[s.first].at, p), s.first};
    return nearestOn(s.first, s.last - 1, p);
}

RoutePath::Place RoutePath::locate(cad::Point3 p) const {
    return nearestOn(0, nodes_.size() < 2 ? 0 : nodes_.size() - 2, p);
}

bool RoutePath::locateForward(cad::Point3 p, std::size_t from, double tolerance, Place& out) const {
    for (std::size_t k = from; k + 1 < nodes_.size(); ++k) {
        Place pl = nearestOn(k, k, p);
        if (pl.offset <= tolerance) {
            // A point that is a rounded vertex stands at that vertex: its
            // rounding must not shift it along the route.
            for (std::size_t n : {k, k + 1}) {
                if (nodes_[n].vertex && planeDistance(nodes_[n].at, p) <= tolerance) {
                    pl.along = nodes_[n].along;
                    break;
                }
            }
            out = pl;
            return true;
        }
    }
    return false;
}

bool RoutePath::onOneLineElement(double a, double b) const {
    if (nodes_.size() < 2 || !(a <= b)) return false;
    const double middle = (a + b) / 2;
    auto it = std::upper_bound(nodes_.begin(), nodes_.end(), middle,
                               [](double v, const Node& n) { return v < n.along; });
    if (it == nodes_.begin() || it == nodes_.end()) return false;
    const Node& first = *(it - 1);
    return first.line && a >= first.along - kOnRouteTolerance && b <= it->along + kOnRouteTolerance;
}

namespace {

cad::Point3 placeOf(const PiketPoint& p) {
    return {p.x, p.y, 0.0};
}

RoutePath pathOf(const Piket& piket) {
    if (piket.points.empty()) return RoutePath({}, {});
    return RoutePath(piket.elements, placeOf(piket.points.front()));
}

}  // namespace

std::vector<double> chainages(const Piket& piket, double millimetresPerUnit) {
    RoutePath path = pathOf(piket);
    std::vector<double> out;
    out.reserve(piket.points.size());
    double length = 0.0;
    std::size_t cursor = 0;
    bool prevOn = false;
    double prevAlong = 0.0;
    for (std::size_t i = 0; i < piket.points.size(); ++i) {
        cad::Point3 p = placeOf(piket.points[i]);
        RoutePath::Place place;
        bool on = !path.empty() && path.locateForward(p, cursor, kOnRouteTolerance, place);
        if (i > 0) {
            double step = planeDistance(placeOf(piket.points[i - 1]), p);
            if (on && prevOn && place.along > prevAlong &&
                !path.onOneLineElement(prevAlong, place.along)) {
                step = place.along - prevAlong;
            }
            length += step * millimetresPerUnit;
        }
        if (on) {
            cursor = place.segment;
            prevAlong = place.along;
        }
        prevOn = on;
        out.push_back(length);
    }
    return out;
}

std::size_t insertionIndex(const Piket& piket, cad::Point3 p) {
    const std::size_t n = piket.points.size();
    if (n < 2) return n;
    RoutePath path = pathOf(piket);
    if (path.empty()) {
        // No elements to follow: the picket runs straight from its first point to its last.
        const cad::Point3 a = placeOf(piket.points.front()), b = placeOf(piket.points.back());
        double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
        auto along = [&](cad::Point3 q) {
            return len2 > 0 ? std::clamp(((q.x - a.x) * dx + (q.y - a.y) * dy) / len2, 0.0, 1.0)
                            : 0.0;
        };
        const double mine = along(p);
        std::size_t index = 1;
        double previous = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            cad::Point3 q = placeOf(piket.points[k]);
            double t = along(q);
            double off = len2 > 0 ? std::abs((q.x - a.x) * dy - (q.y - a.y) * dx) / std::sqrt(len2)
                                  : planeDistance(a, q);
            double place = k == 0 ? 0.0 : (off <= kOnRouteTolerance ? t : previous);
            place = std::max(place, previous);
            if (place <= mine) index = k + 1;
            previous = place;
        }
        return std::max<std::size_t>(index, 1);
    }
    const double mine = path.locate(p).along;
    std::size_t cursor = 0;
    double previous = 0.0;
    std::size_t index = 1;
    for (std::size_t k = 0; k < n; ++k) {
        RoutePath::Place place;
        double along = previous;
        if (path.locateForward(placeOf(piket.points[k]), cursor, kOnRouteTolerance, place)) {
            cursor = place.segment;
            along = std::max(place.along, previous);
        }
        if (k == 0) along = 0.0;
        if (along <= mine) index = k + 1;
        previous = along;
    }
    return std::max<std::size_t>(index, 1);
}

}  // namespace model
