#include "app/view/snap.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <tuple>

#include "cad/geometry.hpp"

namespace app {

namespace {

// Crossings are looked for among this many entities nearest the cursor.
constexpr std::size_t kMaxCrossingCandidates = 24;

struct Found {
    Snap snap;
    double distance;
    bool preferred;  // an end the prompt asked for
};

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

cad::Point3 closestOnSegment(cad::Point3 p, cad::Point3 a, cad::Point3 b) {
    double dx = b.x - a.x, dy = b.y - a.y;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return {a.x + t * dx, a.y + t * dy, a.z + t * (b.z - a.z)};
}

class Collector {
  public:
    Collector(cad::Point3 cursor, double aperture) : cursor_(cursor), aperture_(aperture) {}

    // The entity whose points are added next.
    void from(cad::EntityId id, bool preferredEnds) {
        entity_ = id;
        preferredEnds_ = preferredEnds;
    }

    void add(cad::Point3 p, SnapKind kind) {
        double d = cad::planeDistance(p, cursor_);
        if (!(d <= aperture_)) return;
        const bool preferred = kind == SnapKind::End && preferredEnds_;
        found_.push_back({{p, kind, entity_}, d, preferred});
    }

    std::vector<Snap> result() {
        // Preferred ends, then exact points, then nearest points; within each
        // by distance, the kind and then drawing order breaking a tie.
        auto rank = [](const Found& f) {
            return f.preferred ? 0 : f.snap.kind == SnapKind::Nearest ? 2 : 1;
        };
        std::stable_sort(found_.begin(), found_.end(), [&](const Found& a, const Found& b) {
            if (rank(a) != rank(b)) return rank(a) < rank(b);
            if (a.distance != b.distance) return a.distance < b.distance;
            return static_cast<int>(a.snap.kind) < static_cast<int>(b.snap.kind);
        });
        std::vector<Snap> out;
        for (const Found& f : found_) {
            const bool seen = std::any_of(out.begin(), out.end(), [&](const Snap& s) {
                return s.point.x == f.snap.point.x && s.point.y == f.snap.point.y;
            });
            if (!seen) out.push_back(f.snap);
        }
        return out;
    }

    // The points of one straight piece.
    void segment(cad::Point3 a, cad::Point3 b) {
        add({(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2}, SnapKind::Mid);
        add(closestOnSegment(cursor_, a, b), SnapKind::Nearest);
    }

    // An arc given by world centre, radius and the world points of its start,
    // middle and end (the middle tells which way it runs when mirrored).
    void arc(cad::Point3 centre, double radius, cad::Point3 start, cad::Point3 mid, cad::Point3 end,
             bool full) {
        add(centre, SnapKind::Center);
        double dx = cursor_.x - centre.x, dy = cursor_.y - centre.y;
        double len = std::hypot(dx, dy);
        if (!(len > 0)) return;
        cad::Point3 onCircle{centre.x + radius * dx / len, centre.y + radius * dy / len, centre.z};
        if (full) {
            add(onCircle, SnapKind::Nearest);
            return;
        }
        add(mid, SnapKind::Mid);
        auto angle = [&](cad::Point3 p) { return std::atan2(p.y - centre.y, p.x - centre.x); };
        auto ccwFrom = [](double from, double to) {
            double a = std::fmod(to - from, 2 * std::numbers::pi);
            return a < 0 ? a + 2 * std::numbers::pi : a;
        };
        double a0 = angle(start), am = angle(mid), a1 = angle(end), ac = angle(onCircle);
        bool ccw = ccwFrom(a0, am) <= ccwFrom(a0, a1);
        bool on = ccw ? ccwFrom(a0, ac) <= ccwFrom(a0, a1) : ccwFrom(ac, a0) <= ccwFrom(a1, a0);
        if (on) add(onCircle, SnapKind::Nearest);
    }

    cad::Point3 cursor() const { return cursor_; }

  private:
    cad::Point3 cursor_;
    double aperture_;
    cad::EntityId entity_{};
    bool preferredEnds_ = false;
    std::vector<Found> found_;
};

void polylinePoints(const cad::Entity& e, const cad::PolylineGeom& g, Collector& c) {
    if (g.vertices.empty()) return;
    auto world = [&](const cad::PolyVertex& v) {
        if (g.is3d) return cad::Point3{v.x, v.y, v.z};
        return cad::ocsToWcs({v.x, v.y, g.elevation}, g.extrusion);
    };
    std::size_t n = g.vertices.size();
    for (std::size_t i = 0; i < n; ++i) {
        cad::Point3 p = world(g.vertices[i]);
        if (!g.closed && i == 0) p = *cad::entityStart(e);
        if (!g.closed && i + 1 == n) p = *cad::entityEnd(e);
        c.add(p, SnapKind::End);
    }
    std::size_t pieces = g.closed ? n : n - 1;
    for (std::size_t i = 0; i < pieces; ++i) {
        const cad::PolyVertex& v0 = g.vertices[i];
        const cad::PolyVertex& v1 = g.vertices[(i + 1) % n];
        cad::Point3 a = world(v0), b = world(v1);
        if (v0.bulge == 0 || g.is3d) {
            c.segment(a, b);
            continue;
        }
        // A bulge arc in the polyline's own plane: its centre, middle and the
        // nearest point, found there and carried into the world.
        double chord = std::hypot(v1.x - v0.x, v1.y - v0.y);
        if (!(chord > 0)) continue;
        double sweep = 4 * std::atan(v0.bulge);
        double radius = chord / (2 * std::sin(std::fabs(sweep) / 2));
        double ux = (v1.x - v0.x) / chord, uy = (v1.y - v0.y) / chord;
        // An anticlockwise arc (positive bulge) swells to the right of its chord.
        double sagitta = v0.bulge * chord / 2;
        cad::Point3 midOcs{(v0.x + v1.x) / 2 + uy * sagitta, (v0.y + v1.y) / 2 - ux * sagitta,
                           g.elevation};
        double back = v0.bulge > 0 ? radius : -radius;
        cad::Point3 centreOcs{midOcs.x - uy * back, midOcs.y + ux * back, g.elevation};
        cad::Point3 centre = cad::ocsToWcs(centreOcs, g.extrusion);
        cad::Point3 mid = cad::ocsToWcs(midOcs, g.extrusion);
        c.arc(centre, radius, a, mid, b, false);
    }
}

void entityPoints(const cad::Entity& e, Collector& c) {
    if (auto* l = cad::geomIf<cad::LineGeom>(e.geom)) {
        c.add(l->start, SnapKind::End);
        c.add(l->end, SnapKind::End);
        c.segment(l->start, l->end);
    } else if (auto* p = cad::geomIf<cad::PolylineGeom>(e.geom)) {
        polylinePoints(e, *p, c);
    } else if (auto* a = cad::geomIf<cad::ArcGeom>(e.geom)) {
        if (!(a->radius > 0)) return;
        cad::Point3 start = *cad::entityStart(e), end = *cad::entityEnd(e);
        c.add(start, SnapKind::End);
        c.add(end, SnapKind::End);
        double sweep = std::fmod(a->endAngle - a->startAngle, 360.0);
        if (sweep <= 0) sweep += 360.0;
        double midAngle = radians(a->startAngle + sweep / 2);
        cad::Point3 midOcs{a->center.x + a->radius * std::cos(midAngle),
                           a->center.y + a->radius * std::sin(midAngle), a->center.z};
        c.arc(cad::ocsToWcs(a->center, a->extrusion), a->radius, start,
              cad::ocsToWcs(midOcs, a->extrusion), end, false);
    } else if (auto* ci = cad::geomIf<cad::CircleGeom>(e.geom)) {
        if (!(ci->radius > 0)) return;
        cad::Point3 centre = cad::ocsToWcs(ci->center, ci->extrusion);
        c.arc(centre, ci->radius, centre, centre, centre, true);
    } else if (auto* pt = cad::geomIf<cad::PointGeom>(e.geom)) {
        c.add(pt->position, SnapKind::End);
    }
}

}  // namespace

std::vector<Snap> findSnaps(const cad::DrawingData& drawing,
                            const std::vector<cad::EntityId>& candidates, cad::Point3 cursor,
                            double aperture, const SnapPreference& prefer) {
    Collector c(cursor, aperture);
    std::vector<std::tuple<double, const cad::Entity*, cad::EntityId>> near;
    for (cad::EntityId id : candidates) {
        if (id.v >= drawing.entities.size()) continue;
        const cad::Entity& e = drawing.entities[id.v];
        if (e.erased || !e.visible) continue;
        const bool preferred =
            std::any_of(prefer.endLayers.begin(), prefer.endLayers.end(),
                        [&](const std::string& layer) { return e.layer == layer; });
        c.from(id, preferred);
        entityPoints(e, c);
        cad::Box2 b = cad::entityBounds(drawing, e);
        double dx = std::max({b.minX - cursor.x, 0.0, cursor.x - b.maxX});
        double dy = std::max({b.minY - cursor.y, 0.0, cursor.y - b.maxY});
        near.emplace_back(std::hypot(dx, dy), &e, id);
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    if (near.size() > kMaxCrossingCandidates) near.resize(kMaxCrossingCandidates);
    for (std::size_t i = 0; i < near.size(); ++i) {
        c.from(std::get<2>(near[i]), false);
        for (std::size_t j = i + 1; j < near.size(); ++j) {
            for (cad::Point3 p :
                 cad::intersectEntities(drawing, *std::get<1>(near[i]), *std::get<1>(near[j]))) {
                c.add(p, SnapKind::Intersection);
            }
        }
    }
    return c.result();
}

std::optional<Snap> findSnap(const cad::DrawingData& drawing,
                             const std::vector<cad::EntityId>& candidates, cad::Point3 cursor,
                             double aperture) {
    std::vector<Snap> all = findSnaps(drawing, candidates, cursor, aperture);
    if (all.empty()) return std::nullopt;
    return all.front();
}

}  // namespace app
