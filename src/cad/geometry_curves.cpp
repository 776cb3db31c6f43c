// Curves cut into pieces, their flattened points, lengths and end points.
#include <string>
#include <type_traits>

#include "cad/geometry_pieces.hpp"

namespace cad {

namespace geometry_detail {

Box2 arcBox(const Piece& p) {
    Box2 b;
    if (p.fullCircle) {
        b.add(p.cx - p.r, p.cy - p.r);
        b.add(p.cx + p.r, p.cy + p.r);
        return b;
    }
    b.add(p.a);
    b.add(p.b);
    // Quadrant points inside the sweep.
    double start = p.sweep >= 0 ? p.a0 : p.a0 + p.sweep;
    double span = std::fabs(p.sweep);
    for (int q = 0; q < 4; ++q) {
        double ang = q * kPi / 2;
        double d = wrapAngle(ang - start);
        if (d <= span) b.add(p.cx + p.r * std::cos(ang), p.cy + p.r * std::sin(ang));
    }
    return b;
}

BulgeArc bulgeArc(Point3 p, Point3 q, double bulge) {
    double dx = q.x - p.x, dy = q.y - p.y;
    // Centre from the chord midpoint along the left normal: L (1 - b²) / (4 b).
    double k = (1.0 - bulge * bulge) / (4.0 * bulge);
    double ox = dx / 2 - dy * k, oy = dy / 2 + dx * k;  // centre relative to p
    BulgeArc a;
    a.centre = {p.x + ox, p.y + oy, p.z};
    a.r = std::hypot(dx, dy) * (1.0 + bulge * bulge) / (4.0 * std::fabs(bulge));
    a.a0 = std::atan2(-oy, -ox);
    a.sweep = 4.0 * std::atan(bulge);
    return a;
}

void polylinePieces(const PolylineGeom& pl, const Transform& t, PieceSink& sink) {
    const auto& v = pl.vertices;
    if (v.empty()) return;
    Transform m = pl.is3d ? t : t * ocsTransform(pl.extrusion);
    auto local = [&](std::size_t i) {
        return Point3{v[i].x, v[i].y, pl.is3d ? v[i].z : pl.elevation};
    };
    if (v.size() == 1) {
        Point3 p = m.apply(local(0));
        sink.segment(p, p, true, true);
        return;
    }
    std::size_t count = pl.closed ? v.size() : v.size() - 1;
    sink.out.reserve(sink.out.size() + count);
    for (std::size_t i = 0; i < count && !sink.full(); ++i) {
        std::size_t j = (i + 1) % v.size();
        Point3 p = local(i), q = local(j);
        bool straight = pl.is3d || !hasBulge(v[i].bulge) || (p.x == q.x && p.y == q.y);
        if (straight) {
            sink.segment(m.apply(p), m.apply(q), true, true);
            continue;
        }
        BulgeArc a = bulgeArc(p, q, v[i].bulge);
        sink.arc(m, a.centre, a.r, a.a0, a.sweep, p, q, true, false);
    }
}

namespace {

// How much finer than the sink's tolerance a curve is flattened in its own
// coordinates for the map t not to stretch the error past it.
double tightening(const Transform& t) {
    return std::max(t.maxScale(), 1e-12);
}

// A flattened curve mapped by t; one of at least `closedFrom` points that comes
// back to its start has no end points to snap to.
void mappedChain(std::vector<Point3> pts, const Transform& t, std::size_t closedFrom,
                 PieceSink& sink) {
    for (auto& p : pts) p = t.apply(p);
    bool closed = pts.size() >= closedFrom && pts.front() == pts.back();
    sink.chain(pts, !closed);
}

void blockPieces(Walk& walk, const Block& block, const Transform& t, PieceSink& sink) {
    forEachBlockEntity(walk, block, [&](const Entity& sub) {
        entityPieces(walk, sub, t, sink);
        return !sink.full();
    });
}

}  // namespace

void entityPieces(Walk& walk, const Entity& e, const Transform& t, PieceSink& sink) {
    visitGeom(
        [&](const auto& g) {
            using G = std::decay_t<decltype(g)>;
            if constexpr (std::is_same_v<G, LineGeom>) {
                sink.segment(t.apply(g.start), t.apply(g.end), true, true);
            } else if constexpr (std::is_same_v<G, PolylineGeom>) {
                polylinePieces(g, t, sink);
            } else if constexpr (std::is_same_v<G, ArcGeom>) {
                if (!(g.radius > 0)) return;
                Transform m = t * ocsTransform(g.extrusion);
                double a0 = radians(g.startAngle);
                double sweep = arcSweep(g.startAngle, g.endAngle);
                double a1 = radians(g.endAngle);
                Point3 pa{g.center.x + g.radius * std::cos(a0),
                          g.center.y + g.radius * std::sin(a0), g.center.z};
                Point3 pb{g.center.x + g.radius * std::cos(a1),
                          g.center.y + g.radius * std::sin(a1), g.center.z};
                sink.arc(m, g.center, g.radius, a0, sweep, pa, pb, true, false);
            } else if constexpr (std::is_same_v<G, CircleGeom>) {
                if (!(g.radius > 0)) return;
                Transform m = t * ocsTransform(g.extrusion);
                Point3 pa{g.center.x + g.radius, g.center.y, g.center.z};
                sink.arc(m, g.center, g.radius, 0.0, kTwoPi, pa, pa, false, true);
            } else if constexpr (std::is_same_v<G, EllipseGeom>) {
                mappedChain(ellipsePoints(g, sink.flattenTolerance / tightening(t)), t, 2, sink);
            } else if constexpr (std::is_same_v<G, SplineGeom>) {
                mappedChain(splinePoints(g, sink.flattenTolerance / tightening(t)), t, 3, sink);
            } else if constexpr (std::is_same_v<G, InsertGeom>) {
                const Block* block = walk.drawing ? findBlock(*walk.drawing, g.blockName) : nullptr;
                if (!block) return;
                int cols = std::max(1, g.columns), rows = std::max(1, g.rows);
                if (static_cast<long long>(cols) * rows > kMaxArrayCells) cols = rows = 1;
                for (int r = 0; r < rows && !walk.exhausted(); ++r) {
                    for (int c = 0; c < cols && !walk.exhausted(); ++c) {
                        blockPieces(walk, *block, t * insertTransform(g, block->base, c, r), sink);
                    }
                }
            } else if constexpr (std::is_same_v<G, DimensionGeom>) {
                const Block* block = walk.drawing ? findBlock(*walk.drawing, g.blockName) : nullptr;
                if (block) blockPieces(walk, *block, t, sink);
            }
        },
        e.geom);
}

void piecesOf(const DrawingData* drawing, const Entity& e, std::vector<Piece>& out) {
    out.clear();
    PieceSink sink{out};
    Walk walk;
    walk.drawing = drawing;
    entityPieces(walk, e, Transform{}, sink);
}

}  // namespace geometry_detail

using namespace geometry_detail;

std::optional<double> entityLength(const Entity& e) {
    if (auto* l = geomIf<LineGeom>(e.geom)) return norm(l->end - l->start);
    if (auto* a = geomIf<ArcGeom>(e.geom)) {
        return a->radius * arcSweep(a->startAngle, a->endAngle);
    }
    if (auto* c = geomIf<CircleGeom>(e.geom)) return kTwoPi * c->radius;
    if (auto* p = geomIf<PolylineGeom>(e.geom)) {
        const auto& v = p->vertices;
        if (v.size() < 2) return 0.0;
        double total = 0.0;
        std::size_t count = p->closed ? v.size() : v.size() - 1;
        for (std::size_t i = 0; i < count; ++i) {
            const PolyVertex& a = v[i];
            const PolyVertex& b = v[(i + 1) % v.size()];
            double chord = p->is3d
                               ? std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) +
                                           (b.z - a.z) * (b.z - a.z))
                               : std::hypot(b.x - a.x, b.y - a.y);
            if (p->is3d || !hasBulge(a.bulge) || chord == 0) {
                total += chord;
            } else {
                double sweep = 4.0 * std::atan(std::fabs(a.bulge));
                double r = chord * (1.0 + a.bulge * a.bulge) / (4.0 * std::fabs(a.bulge));
                total += r * sweep;
            }
        }
        return total;
    }
    // Curves CAD programs give no closed form for: the length of the flattened
    // curve, which the flattening tolerance keeps within far less than a unit.
    std::vector<Point3> flat;
    if (auto* el = geomIf<EllipseGeom>(e.geom)) {
        flat = ellipsePoints(*el, kFlattenTolerance);
    } else if (auto* sp = geomIf<SplineGeom>(e.geom)) {
        flat = splinePoints(*sp, kFlattenTolerance);
    } else {
        return std::nullopt;
    }
    double total = 0.0;
    for (std::size_t i = 1; i < flat.size(); ++i) total += norm(flat[i] - flat[i - 1]);
    return total;
}

namespace {

std::optional<Point3> endPoint(const Entity& e, bool start) {
    if (auto* l = geomIf<LineGeom>(e.geom)) return start ? l->start : l->end;
    if (auto* a = geomIf<ArcGeom>(e.geom)) {
        double ang = radians(start ? a->startAngle : a->endAngle);
        Point3 local{a->center.x + a->radius * std::cos(ang),
                     a->center.y + a->radius * std::sin(ang), a->center.z};
        return ocsToWcs(local, a->extrusion);
    }
    if (auto* p = geomIf<PolylineGeom>(e.geom)) {
        if (p->closed || p->vertices.empty()) return std::nullopt;
        const PolyVertex& v = start ? p->vertices.front() : p->vertices.back();
        if (p->is3d) return Point3{v.x, v.y, v.z};
        return ocsToWcs({v.x, v.y, p->elevation}, p->extrusion);
    }
    if (auto* el = geomIf<EllipseGeom>(e.geom)) {
        // A whole ellipse has no ends; an elliptical arc ends at its parameters.
        double sweep = el->endParam - el->startParam;
        if (sweep == 0.0 || std::fabs(std::fabs(sweep) - kTwoPi) < 1e-9) return std::nullopt;
        double a = norm(el->majorAxis);
        if (!(a > 0) || !std::isfinite(a)) return std::nullopt;
        Point3 minor = cross(normalized(el->extrusion), el->majorAxis) * el->ratio;
        double t = start ? el->startParam : el->endParam;
        return el->center + el->majorAxis * std::cos(t) + minor * std::sin(t);
    }
    if (auto* sp = geomIf<SplineGeom>(e.geom)) {
        if (sp->flags & 1) return std::nullopt;  // closed
        std::vector<Point3> pts = splinePoints(*sp, kFlattenTolerance);
        if (pts.size() < 2 || pts.front() == pts.back()) return std::nullopt;
        return start ? pts.front() : pts.back();
    }
    return std::nullopt;
}

}  // namespace

std::optional<Point3> entityStart(const Entity& e) {
    return endPoint(e, true);
}
std::optional<Point3> entityEnd(const Entity& e) {
    return endPoint(e, false);
}

std::vector<Point3> ellipsePoints(const EllipseGeom& e, double tolerance) {
    Point3 major = e.majorAxis;
    double a = norm(major);
    if (!(a > 0) || !std::isfinite(a)) return {};
    Point3 minor = cross(normalized(e.extrusion), major) * e.ratio;
    double t0 = e.startParam, t1 = e.endParam;
    double sweep = t1 - t0;
    bool full = std::fabs(std::fabs(sweep) - kTwoPi) < 1e-9 || sweep == 0.0;
    if (full) {
        sweep = kTwoPi;
    } else {
        sweep = std::fmod(sweep, kTwoPi);
        if (sweep <= 0) sweep += kTwoPi;
    }
    double tol = std::max(tolerance, a * 1e-12);
    double step = 2.0 * std::acos(std::max(-1.0, 1.0 - tol / a));
    int n = static_cast<int>(std::ceil(sweep / std::max(step, 1e-6)));
    n = std::clamp(n, 8, 50000);
    std::vector<Point3> pts;
    pts.reserve(n + 1);
    for (int i = 0; i <= n; ++i) {
        if (full && i == n) {
            pts.push_back(pts.front());
            break;
        }
        double t = t0 + sweep * i / n;
        pts.push_back(e.center + major * std::cos(t) + minor * std::sin(t));
    }
    return pts;
}

std::vector<Point3> polylinePoints(const PolylineGeom& p, double tolerance) {
    std::vector<Piece> pieces;
    PieceSink sink{pieces, tolerance};
    // Pieces in the polyline's own coordinates: undo nothing, map by identity.
    PolylineGeom local = p;
    local.extrusion = kWorldZ;
    polylinePieces(local, Transform{}, sink);
    std::vector<Point3> out;
    for (const Piece& pc : pieces) {
        if (out.empty()) out.push_back(pc.a);
        if (!pc.isArc) {
            out.push_back(pc.b);
            continue;
        }
        double step = 2.0 * std::acos(std::max(-1.0, 1.0 - std::max(tolerance, 1e-12) / pc.r));
        int n = std::clamp(static_cast<int>(std::ceil(std::fabs(pc.sweep) / std::max(step, 1e-6))),
                           2, 4096);
        for (int i = 1; i < n; ++i) {
            double t = pc.a0 + pc.sweep * i / n;
            out.push_back({pc.cx + pc.r * std::cos(t), pc.cy + pc.r * std::sin(t), pc.a.z});
        }
        out.push_back(pc.b);
    }
    return out;
}

}  // namespace cad
