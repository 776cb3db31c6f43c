// Geometry of entities. Every curve kind is cut into pieces in world XY: line
// segments and circular arcs (ellipses and splines are flattened, arcs seen
// through a map that does not keep circles too). Lengths, bounds and crossings
// are computed on those pieces.
//
// Plans sit far from the origin (X ≈ 5e5, Y ≈ 6e6 in millimetres), so every
// computation works on differences from a nearby point of the same piece and
// tolerances grow with the magnitude of the coordinates.
#include "cad/geometry.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "cad/mtext.hpp"
#include "cad/text_util.hpp"

namespace cad {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kFlattenTolerance = 0.001;  // drawing units
constexpr std::size_t kMaxPieces = 4'000'000;
constexpr int kMaxArrayCells = 100'000;

double radians(double degrees) {
    return degrees * kPi / 180.0;
}

// Angle reduced into [0, 2 pi).
double wrapAngle(double a) {
    a = std::fmod(a, kTwoPi);
    if (a < 0) a += kTwoPi;
    if (a >= kTwoPi) a = 0.0;
    return a;
}

// Sweep of an arc from start to end degrees counter-clockwise, in (0, 2 pi].
double arcSweep(double startDeg, double endDeg) {
    double s = std::fmod(endDeg - startDeg, 360.0);
    if (s < 0) s += 360.0;
    if (s <= 1e-12) s = 360.0;
    return radians(s);
}

Point3 normalized(Point3 v) {
    double n = norm(v);
    return n > 0 ? v * (1.0 / n) : kWorldZ;
}

// One straight or circular piece of a curve, in world coordinates.
struct Piece {
    Point3 a, b;          // ends; for a full circle both are its point at a0
    bool aExact = false;  // a is a real vertex of the entity (snap target)
    bool bExact = false;
    bool isArc = false;
    bool fullCircle = false;
    double cx = 0.0, cy = 0.0;  // arc centre
    double r = 0.0;             // arc radius
    double a0 = 0.0;            // arc start angle, radians in XY
    double sweep = 0.0;         // signed, positive counter-clockwise
    Box2 box;
};

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

struct PieceSink {
    std::vector<Piece>& out;
    double flattenTolerance = kFlattenTolerance;
    bool full() const { return out.size() >= kMaxPieces; }

    void segment(Point3 a, Point3 b, bool aExact, bool bExact) {
        if (full()) return;
        Piece p;
        p.a = a;
        p.b = b;
        p.aExact = aExact;
        p.bExact = bExact;
        p.box.add(a);
        p.box.add(b);
        out.push_back(p);
    }

    // A chain of world points; only its first and last point may be exact vertices.
    void chain(const std::vector<Point3>& pts, bool endsExact) {
        for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
            segment(pts[i], pts[i + 1], endsExact && i == 0, endsExact && i + 2 == pts.size());
        }
    }

    // An arc given in a local plane (z = centre.z) and mapped to world by m. The
    // end points are given so that they come out exactly as the neighbouring pieces.
    void arc(const Transform& m, Point3 centre, double r, double a0, double sweep, Point3 localA,
             Point3 localB, bool exactEnds, bool wholeCircle) {
        if (full()) return;
        double k = 1.0;
        bool mirrored = false;
        if (m.keepsCircles(k, mirrored)) {
            Piece p;
            p.isArc = true;
            p.fullCircle = wholeCircle;
            Point3 c = m.apply(centre);
            p.cx = c.x;
            p.cy = c.y;
            p.r = r * k;
            Point3 dir = m.applyVector({std::cos(a0), std::sin(a0), 0.0});
            p.a0 = wrapAngle(std::atan2(dir.y, dir.x));
            p.sweep = mirrored ? -sweep : sweep;
            p.a = m.apply(localA);
            p.b = wholeCircle ? p.a : m.apply(localB);
            p.aExact = exactEnds && !wholeCircle;
            p.bExact = exactEnds && !wholeCircle;
            p.box = arcBox(p);
            out.push_back(p);
            return;
        }
        // Seen through a stretch or a tilt the arc is part of an ellipse: flatten.
        double rr = std::max(r * m.maxScale(), 1e-12);
        double step = 2.0 * std::acos(std::max(-1.0, 1.0 - flattenTolerance / rr));
        int n = static_cast<int>(std::ceil(std::fabs(sweep) / std::max(step, 1e-6)));
        n = std::clamp(n, 4, 20000);
        std::vector<Point3> pts;
        pts.reserve(n + 1);
        pts.push_back(m.apply(localA));
        for (int i = 1; i < n; ++i) {
            double t = a0 + sweep * i / n;
            pts.push_back(
                m.apply({centre.x + r * std::cos(t), centre.y + r * std::sin(t), centre.z}));
        }
        pts.push_back(wholeCircle ? pts.front() : m.apply(localB));
        chain(pts, exactEnds && !wholeCircle);
    }
};

// Centre, radius, start angle and sweep of the bulge arc from p to q (local 2D).
struct BulgeArc {
    Point3 centre;
    double r = 0.0;
    double a0 = 0.0;
    double sweep = 0.0;
};

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

bool hasBulge(double bulge) {
    return std::isfinite(bulge) && std::fabs(bulge) > 1e-12;
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

// A box in a block's own coordinates, X, Y and Z.
struct LocalBox {
    double lo[3] = {std::numeric_limits<double>::infinity(),
                    std::numeric_limits<double>::infinity(),
                    std::numeric_limits<double>::infinity()};
    double hi[3] = {-std::numeric_limits<double>::infinity(),
                    -std::numeric_limits<double>::infinity(),
                    -std::numeric_limits<double>::infinity()};

    bool empty() const { return !(lo[0] <= hi[0]); }
    void add(Point3 p) {
        const double v[3] = {p.x, p.y, p.z};
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], v[i]);
            hi[i] = std::max(hi[i], v[i]);
        }
    }
    template <class F>
    void corners(F f) const {
        for (int k = 0; k < 8; ++k) {
            f(Point3{(k & 1) ? hi[0] : lo[0], (k & 2) ? hi[1] : lo[1], (k & 4) ? hi[2] : lo[2]});
        }
    }
};

struct Walk {
    const DrawingData* drawing = nullptr;
    std::vector<const Block*> stack;  // blocks being expanded, against self-insertion
    std::size_t expanded = 0;         // block entities visited, against kMaxBlockExpansion
    std::unordered_map<const Block*, LocalBox> own;  // blocks' own bounds, once worked out

    bool exhausted() const { return expanded >= kMaxBlockExpansion; }
};

void entityPieces(Walk& walk, const Entity& e, const Transform& t, PieceSink& sink);

// Visits the live entities of a block, guarding against too deep nesting and
// blocks that insert themselves; visit returns false to stop early.
template <class Visit>
void forEachBlockEntity(Walk& walk, const Block& block, Visit visit) {
    if (!walk.drawing || static_cast<int>(walk.stack.size()) >= kMaxBlockDepth) return;
    if (std::find(walk.stack.begin(), walk.stack.end(), &block) != walk.stack.end()) return;
    walk.stack.push_back(&block);
    for (EntityId id : block.entities) {
        if (walk.exhausted()) break;
        if (id.v >= walk.drawing->entities.size()) continue;
        const Entity& sub = walk.drawing->entities[id.v];
        if (sub.erased) continue;
        ++walk.expanded;
        if (!visit(sub)) break;
    }
    walk.stack.pop_back();
}

void blockPieces(Walk& walk, const Block& block, const Transform& t, PieceSink& sink) {
    forEachBlockEntity(walk, block, [&](const Entity& sub) {
        entityPieces(walk, sub, t, sink);
        return !sink.full();
    });
}

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
                double k = std::max(t.maxScale(), 1e-12);
                std::vector<Point3> pts = ellipsePoints(g, sink.flattenTolerance / k);
                for (auto& p : pts) p = t.apply(p);
                bool full = pts.size() > 1 && pts.front() == pts.back();
                sink.chain(pts, !full);
            } else if constexpr (std::is_same_v<G, SplineGeom>) {
                double k = std::max(t.maxScale(), 1e-12);
                std::vector<Point3> pts = splinePoints(g, sink.flattenTolerance / k);
                for (auto& p : pts) p = t.apply(p);
                bool closed = pts.size() > 2 && pts.front() == pts.back();
                sink.chain(pts, !closed);
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

// ---------------------------------------------------------------- crossings

struct Candidate {
    double param = 0.0;  // along the first entity: piece index + fraction
    Point3 p;
};

double cross2(double ax, double ay, double bx, double by) {
    return ax * by - ay * bx;
}

// Fraction along a piece of a point on (or near) it, in [0, 1].
double fractionOn(const Piece& pc, Point3 p) {
    if (pc.isArc) {
        double ang = std::atan2(p.y - pc.cy, p.x - pc.cx);
        double d = pc.sweep >= 0 ? wrapAngle(ang - pc.a0) : wrapAngle(pc.a0 - ang);
        double span = std::fabs(pc.sweep);
        if (d > span) d = (d - span < kTwoPi - d) ? span : 0.0;
        return span > 0 ? d / span : 0.0;
    }
    double rx = pc.b.x - pc.a.x, ry = pc.b.y - pc.a.y;
    double len2 = rx * rx + ry * ry;
    if (len2 == 0) return 0.0;
    double t = ((p.x - pc.a.x) * rx + (p.y - pc.a.y) * ry) / len2;
    return std::clamp(t, 0.0, 1.0);
}

// Whether angle `ang` lies on the arc, with `slack` radians at either end.
bool angleOnArc(const Piece& pc, double ang, double slack) {
    if (pc.fullCircle) return true;
    double d = pc.sweep >= 0 ? wrapAngle(ang - pc.a0) : wrapAngle(pc.a0 - ang);
    return d <= std::fabs(pc.sweep) + slack || d >= kTwoPi - slack;
}

// Distance in XY from p to the piece.
double distanceTo(const Piece& pc, Point3 p) {
    if (pc.isArc) {
        double dx = p.x - pc.cx, dy = p.y - pc.cy;
        double rho = std::hypot(dx, dy);
        if (rho == 0 || angleOnArc(pc, std::atan2(dy, dx), 0.0)) return std::fabs(rho - pc.r);
        return std::min(planeDistance(p, pc.a), planeDistance(p, pc.b));
    }
    double rx = pc.b.x - pc.a.x, ry = pc.b.y - pc.a.y;
    double qx = p.x - pc.a.x, qy = p.y - pc.a.y;
    double len2 = rx * rx + ry * ry;
    double t = len2 > 0 ? std::clamp((qx * rx + qy * ry) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(qx - rx * t, qy - ry * t);
}

// Crossings of the carrying line / circle of two pieces (never for collinear or
// concentric pairs: their shared stretches come from the end point checks).
// Points are written relative to nothing: world coordinates, computed from
// differences to keep precision.
int rawSegSeg(const Piece& A, const Piece& B, double tol, Point3 out[2]) {
    double rx = A.b.x - A.a.x, ry = A.b.y - A.a.y;
    double sx = B.b.x - B.a.x, sy = B.b.y - B.a.y;
    double lr = std::hypot(rx, ry), ls = std::hypot(sx, sy);
    if (lr <= tol || ls <= tol) return 0;
    double qx = B.a.x - A.a.x, qy = B.a.y - A.a.y;
    // Distances of B's ends from A's line and of A's ends from B's line.
    double dBa = cross2(rx, ry, qx, qy) / lr;
    double dBb = cross2(rx, ry, qx + sx, qy + sy) / lr;
    if (std::fabs(dBa) <= tol && std::fabs(dBb) <= tol) return 0;
    double dAa = cross2(sx, sy, -qx, -qy) / ls;
    double dAb = cross2(sx, sy, rx - qx, ry - qy) / ls;
    if (std::fabs(dAa) <= tol && std::fabs(dAb) <= tol) return 0;
    double den = cross2(rx, ry, sx, sy);
    if (std::fabs(den) <= 1e-15 * lr * ls) return 0;
    // Same side of the other's line beyond tolerance: no crossing.
    if ((dBa > tol && dBb > tol) || (dBa < -tol && dBb < -tol)) return 0;
    if ((dAa > tol && dAb > tol) || (dAa < -tol && dAb < -tol)) return 0;
    double t = cross2(qx, qy, sx, sy) / den;
    out[0] = {A.a.x + rx * t, A.a.y + ry * t, A.a.z + (A.b.z - A.a.z) * t};
    return 1;
}

int rawSegArc(const Piece& S, const Piece& C, double tol, Point3 out[2]) {
    double rx = S.b.x - S.a.x, ry = S.b.y - S.a.y;
    double lr = std::hypot(rx, ry);
    if (lr <= tol) return 0;
    double ux = rx / lr, uy = ry / lr;
    double dx = C.cx - S.a.x, dy = C.cy - S.a.y;  // centre relative to the segment start
    double along = dx * ux + dy * uy;
    double h = cross2(ux, uy, dx, dy);  // signed distance of the centre from the line
    double ah = std::fabs(h);
    if (ah > C.r + tol) return 0;
    double z0 = S.a.z, dz = S.b.z - S.a.z;
    auto at = [&](double s) { return Point3{S.a.x + ux * s, S.a.y + uy * s, z0 + dz * (s / lr)}; };
    if (std::fabs(ah - C.r) <= tol) {
        out[0] = at(along);
        return 1;
    }
    double half = std::sqrt((C.r - ah) * (C.r + ah));
    out[0] = at(along - half);
    out[1] = at(along + half);
    return 2;
}

int rawArcArc(const Piece& A, const Piece& B, double tol, Point3 out[2]) {
    double dx = B.cx - A.cx, dy = B.cy - A.cy;
    double d = std::hypot(dx, dy);
    if (d <= tol) return 0;  // concentric
    double sum = A.r + B.r, diff = std::fabs(A.r - B.r);
    if (d > sum + tol || d < diff - tol) return 0;
    double ux = dx / d, uy = dy / d;
    double z = A.a.z;
    if (std::fabs(d - sum) <= tol) {
        out[0] = {A.cx + ux * A.r, A.cy + uy * A.r, z};
        return 1;
    }
    if (std::fabs(d - diff) <= tol) {
        double s = A.r >= B.r ? A.r : -A.r;
        out[0] = {A.cx + ux * s, A.cy + uy * s, z};
        return 1;
    }
    double a = (d * d + A.r * A.r - B.r * B.r) / (2 * d);
    double h = std::sqrt(std::max(0.0, A.r * A.r - a * a));
    double mx = A.cx + ux * a, my = A.cy + uy * a;
    out[0] = {mx + uy * h, my - ux * h, z};
    out[1] = {mx - uy * h, my + ux * h, z};
    return 2;
}

bool onPiece(const Piece& pc, Point3 p, double tol) {
    return distanceTo(pc, p) <= 2 * tol;
}

// The piece's own point at the fraction, for the Z of a crossing.
double zAt(const Piece& pc, double f) {
    return pc.isArc ? pc.a.z : pc.a.z + (pc.b.z - pc.a.z) * f;
}

class Crossings {
  public:
    Crossings(const std::vector<Piece>& a, const std::vector<Piece>& b, double tol)
        : A_(a), B_(b), tol_(tol) {}

    void pair(std::size_t ia, std::size_t ib) {
        const Piece& pa = A_[ia];
        const Piece& pb = B_[ib];
        Point3 raw[2];
        int n = 0;
        if (!pa.isArc && !pb.isArc) {
            n = rawSegSeg(pa, pb, tol_, raw);
        } else if (!pa.isArc) {
            n = rawSegArc(pa, pb, tol_, raw);
        } else if (!pb.isArc) {
            n = rawSegArc(pb, pa, tol_, raw);
        } else {
            n = rawArcArc(pa, pb, tol_, raw);
        }
        for (int i = 0; i < n; ++i) {
            if (onPiece(pa, raw[i], tol_) && onPiece(pb, raw[i], tol_)) add(ia, ib, raw[i]);
        }
        // Ends lying on the other piece: touching ends, T-junctions and the ends of
        // collinear or concentric overlaps.
        if (!pa.fullCircle) {
            if (distanceTo(pb, pa.a) <= tol_) add(ia, ib, pa.a);
            if (distanceTo(pb, pa.b) <= tol_) add(ia, ib, pa.b);
        }
        if (!pb.fullCircle) {
            if (distanceTo(pa, pb.a) <= tol_) add(ia, ib, pb.a);
            if (distanceTo(pa, pb.b) <= tol_) add(ia, ib, pb.b);
        }
    }

    std::vector<Point3> result() {
        std::stable_sort(found_.begin(), found_.end(),
                         [](const Candidate& x, const Candidate& y) { return x.param < y.param; });
        std::vector<Point3> out;
        for (const Candidate& c : found_) {
            bool dup = false;
            for (const Point3& q : out) {
                if (planeDistance(q, c.p) <= tol_) {
                    dup = true;
                    break;
                }
            }
            if (!dup) out.push_back(c.p);
        }
        return out;
    }

  private:
    // Snaps to an exact vertex within tolerance, the first entity's first.
    void add(std::size_t ia, std::size_t ib, Point3 p) {
        const Piece& pa = A_[ia];
        const Piece& pb = B_[ib];
        double f = fractionOn(pa, p);
        Point3 q = p;
        const Point3* snap = nullptr;
        double best = tol_;
        auto consider = [&](const Point3& v, bool exact) {
            if (!exact) return;
            double d = planeDistance(v, p);
            if (d <= best) {
                best = d;
                snap = &v;
            }
        };
        consider(pa.a, pa.aExact);
        consider(pa.b, pa.bExact);
        if (!snap) {
            best = tol_;
            consider(pb.a, pb.aExact);
            consider(pb.b, pb.bExact);
        }
        if (snap) {
            q = *snap;
            f = fractionOn(pa, q);
        } else {
            q.z = zAt(pa, f);
        }
        found_.push_back({static_cast<double>(ia) + f, q});
    }

    const std::vector<Piece>& A_;
    const std::vector<Piece>& B_;
    double tol_;
    std::vector<Candidate> found_;
};

double magnitude(const Box2& b) {
    if (b.empty()) return 0.0;
    return std::max({std::fabs(b.minX), std::fabs(b.maxX), std::fabs(b.minY), std::fabs(b.maxY),
                     b.maxX - b.minX, b.maxY - b.minY});
}

Box2 grow(Box2 b, double d) {
    if (b.empty()) return b;
    b.minX -= d;
    b.minY -= d;
    b.maxX += d;
    b.maxY += d;
    return b;
}

void piecesOf(const DrawingData* drawing, const Entity& e, std::vector<Piece>& out) {
    out.clear();
    PieceSink sink{out};
    Walk walk;
    walk.drawing = drawing;
    entityPieces(walk, e, Transform{}, sink);
}

// ---------------------------------------------------------------- splines

// Homogeneous point for rational evaluation.
struct HPoint {
    double x = 0, y = 0, z = 0, w = 0;
};

class SplineCurve {
  public:
    explicit SplineCurve(const SplineGeom& s) {
        const std::size_t n = s.controlPoints.size();
        if (n >= 2) {
            bool drawable = s.degree <= kMaxSplineDegree && n <= kMaxSplineControlPoints;
            degree_ = drawable ? std::clamp(s.degree, 1, static_cast<int>(n) - 1) : 1;
            for (std::size_t i = 0; i < n; ++i) {
                double w = s.weights.size() == n && s.weights[i] > 0 ? s.weights[i] : 1.0;
                const Point3& p = s.controlPoints[i];
                ctrl_.push_back({p.x * w, p.y * w, p.z * w, w});
            }
            knots_ = s.knots;
            bool valid = knots_.size() == n + degree_ + 1;
            for (std::size_t i = 1; valid && i < knots_.size(); ++i) {
                valid = std::isfinite(knots_[i]) && knots_[i] >= knots_[i - 1];
            }
            if (valid) valid = knots_[degree_] < knots_[n];
            if (!valid) clampedUniformKnots(n);
            ok_ = true;
        } else if (s.fitPoints.size() >= 2) {
            fitInterpolation(s.fitPoints);
            ok_ = true;
        }
    }

    bool ok() const { return ok_; }

    // Parameter breaks: the curve is smooth between consecutive ones.
    std::vector<double> breaks() const {
        std::vector<double> b;
        if (!fitParams_.empty()) return fitParams_;
        std::size_t n = ctrl_.size();
        for (std::size_t i = degree_; i <= n; ++i) {
            if (b.empty() || knots_[i] > b.back()) b.push_back(knots_[i]);
        }
        return b;
    }

    Point3 at(double u) const { return fitParams_.empty() ? deBoor(u) : fitAt(u); }

  private:
    void clampedUniformKnots(std::size_t n) {
        knots_.assign(n + degree_ + 1, 0.0);
        std::size_t inner = n - degree_;
        for (std::size_t i = 0; i < knots_.size(); ++i) {
            if (i <= static_cast<std::size_t>(degree_)) {
                knots_[i] = 0.0;
            } else if (i >= n) {
                knots_[i] = 1.0;
            } else {
                knots_[i] = static_cast<double>(i - degree_) / static_cast<double>(inner);
            }
        }
    }

    Point3 deBoor(double u) const {
        const std::size_t n = ctrl_.size();
        const int p = degree_;
        u = std::clamp(u, knots_[p], knots_[n]);
        // Span k with knots[k] <= u < knots[k + 1], k in [p, n - 1].
        auto span =
            std::upper_bound(knots_.begin() + p + 1, knots_.begin() + static_cast<long>(n), u);
        std::size_t k = static_cast<std::size_t>(span - knots_.begin()) - 1;
        std::array<HPoint, 32> d{};
        int deg = std::min(p, 31);
        for (int j = 0; j <= deg; ++j) d[j] = ctrl_[k - p + j];
        for (int r = 1; r <= deg; ++r) {
            for (int j = deg; j >= r; --j) {
                std::size_t i = k - p + j;
                double den = knots_[i + p - r + 1] - knots_[i];
                double alpha = den > 0 ? (u - knots_[i]) / den : 0.0;
                d[j].x = (1 - alpha) * d[j - 1].x + alpha * d[j].x;
                d[j].y = (1 - alpha) * d[j - 1].y + alpha * d[j].y;
                d[j].z = (1 - alpha) * d[j - 1].z + alpha * d[j].z;
                d[j].w = (1 - alpha) * d[j - 1].w + alpha * d[j].w;
            }
        }
        const HPoint& h = d[deg];
        double w = h.w != 0 ? h.w : 1.0;
        return {h.x / w, h.y / w, h.z / w};
    }

    // A cubic through the fit points, chord-length parameters, natural ends.
    void fitInterpolation(const std::vector<Point3>& pts) {
        fit_ = pts;
        const std::size_t n = pts.size();
        fitParams_.assign(n, 0.0);
        for (std::size_t i = 1; i < n; ++i) {
            double d = norm(pts[i] - pts[i - 1]);
            fitParams_[i] = fitParams_[i - 1] + (d > 0 ? d : 1e-9);
        }
        // Second derivatives by the tridiagonal system of a natural cubic spline.
        m_.assign(n, Point3{});
        if (n < 3) return;
        std::vector<double> c(n, 0.0);
        std::vector<Point3> rhs(n, Point3{});
        std::vector<double> diag(n, 1.0);
        for (std::size_t i = 1; i + 1 < n; ++i) {
            double h0 = fitParams_[i] - fitParams_[i - 1];
            double h1 = fitParams_[i + 1] - fitParams_[i];
            Point3 g = (pts[i + 1] - pts[i]) * (6.0 / h1) - (pts[i] - pts[i - 1]) * (6.0 / h0);
            diag[i] = 2 * (h0 + h1);
            // Forward elimination (Thomas algorithm).
            double lower = h0;
            double prevUpper = (i >= 2) ? c[i - 1] : 0.0;
            double denom = diag[i] - lower * prevUpper;
            c[i] = h1 / denom;
            rhs[i] = (g - rhs[i - 1] * lower) * (1.0 / denom);
        }
        for (std::size_t i = n - 2; i >= 1; --i) {
            m_[i] = rhs[i] - m_[i + 1] * c[i];
            if (i == 1) break;
        }
    }

    Point3 fitAt(double u) const {
        const std::size_t n = fit_.size();
        u = std::clamp(u, fitParams_.front(), fitParams_.back());
        auto span = std::upper_bound(fitParams_.begin() + 1,
                                     fitParams_.begin() + static_cast<long>(n) - 1, u);
        std::size_t i = static_cast<std::size_t>(span - fitParams_.begin()) - 1;
        double h = fitParams_[i + 1] - fitParams_[i];
        double a = (fitParams_[i + 1] - u) / h, b = (u - fitParams_[i]) / h;
        return fit_[i] * a + fit_[i + 1] * b +
               (m_[i] * (a * a * a - a) + m_[i + 1] * (b * b * b - b)) * (h * h / 6.0);
    }

    bool ok_ = false;
    int degree_ = 3;
    std::vector<HPoint> ctrl_;
    std::vector<double> knots_;
    std::vector<Point3> fit_;
    std::vector<double> fitParams_;
    std::vector<Point3> m_;
};

double chordDeviation(Point3 a, Point3 b, Point3 m) {
    Point3 ab = b - a;
    double len = norm(ab);
    if (len == 0) return norm(m - a);
    return norm(cross(ab, m - a)) / len;
}

void refine(const SplineCurve& c, double u0, Point3 p0, double u1, Point3 p1, double tol, int depth,
            std::vector<Point3>& out) {
    double um = 0.5 * (u0 + u1);
    Point3 pm = c.at(um);
    // Quarter points too, so that an S-bend whose middle lies on the chord is seen.
    Point3 q1 = c.at(0.5 * (u0 + um)), q3 = c.at(0.5 * (um + u1));
    double dev = std::max(
        {chordDeviation(p0, p1, pm), chordDeviation(p0, p1, q1), chordDeviation(p0, p1, q3)});
    if (depth >= 18 || dev <= tol) {
        out.push_back(p1);
        return;
    }
    refine(c, u0, p0, um, pm, tol, depth + 1, out);
    refine(c, um, pm, u1, p1, tol, depth + 1, out);
}

// ---------------------------------------------------------------- bounds

void addMapped(Box2& box, const Transform& m, Point3 p) {
    box.add(m.apply(p));
}

// Local box of a single-line text around its anchor, in text units before rotation.
struct TextFrame {
    double x0, x1, y0, y1;  // relative to the anchor, along and across the baseline
    Point3 anchor;          // OCS
    double angle;           // radians
};

TextFrame textFrame(const TextGeom& t) {
    double h = t.height > 0 ? t.height : 1.0;
    double wf = t.widthFactor > 0 ? t.widthFactor : 1.0;
    double w = h * wf * static_cast<double>(codePoints(decodeTextCodes(t.text)));
    TextFrame f{0, w, 0, h, t.insertion, radians(t.rotation)};
    bool aligned = t.hasAlignment && (t.hAlign != 0 || t.vAlign != 0);
    if (!aligned) return f;
    if (t.hAlign == 3 || t.hAlign == 5) {  // aligned / fit between the two points
        Point3 d = t.alignment - t.insertion;
        double len = std::hypot(d.x, d.y);
        f.angle = len > 0 ? std::atan2(d.y, d.x) : f.angle;
        f.x1 = len;
        return f;
    }
    f.anchor = t.alignment;
    double shiftX = 0.0;
    if (t.hAlign == 1 || t.hAlign == 4) shiftX = -w / 2;
    if (t.hAlign == 2) shiftX = -w;
    double shiftY = 0.0;
    if (t.hAlign == 4 && t.vAlign == 0) shiftY = -h / 2;
    if (t.vAlign == 1) shiftY = h / 3;  // the anchor sits under the descenders
    if (t.vAlign == 2) shiftY = -h / 2;
    if (t.vAlign == 3) shiftY = -h;
    f.x0 += shiftX;
    f.x1 += shiftX;
    f.y0 += shiftY;
    f.y1 += shiftY;
    return f;
}

void addFrame(Box2& box, const Transform& m, const TextFrame& f, double ox = 0.0, double oy = 0.0) {
    double c = std::cos(f.angle), s = std::sin(f.angle);
    for (double x : {f.x0, f.x1}) {
        for (double y : {f.y0, f.y1}) {
            double lx = x + ox, ly = y + oy;
            addMapped(box, m,
                      {f.anchor.x + lx * c - ly * s, f.anchor.y + lx * s + ly * c, f.anchor.z});
        }
    }
}

void entityBox(Walk& walk, const Entity& e, const Transform& t, Box2& box);

// The cells of an insert's array at its four corners: every other cell lies
// between them, the offsets being linear in column and row.
template <class F>
void cornerCells(int cols, int rows, F f) {
    for (int r : {0, rows - 1}) {
        for (int c : {0, cols - 1}) {
            f(c, r);
            if (cols == 1) break;
        }
        if (rows == 1) break;
    }
}

// A block's bounds in its own coordinates, nested blocks taken by their own
// bounds in turn: a box that holds it, found in one pass over each block.
LocalBox ownBox(Walk& walk, const Block& block, std::size_t depth) {
    if (auto it = walk.own.find(&block); it != walk.own.end()) return it->second;
    walk.own[&block] = LocalBox{};  // a block met again on the way adds nothing
    LocalBox lb;
    Walk plain;  // for entities that are not blocks
    Transform zOnly;
    zOnly.m[0][0] = zOnly.m[1][1] = zOnly.m[2][2] = 0.0;
    zOnly.m[0][2] = 1.0;  // Z into X: the Z range as an X range
    auto nested = [&](const Block* child, int cols, int rows, auto cellTransform) {
        if (!child || depth + 1 >= static_cast<std::size_t>(kMaxBlockDepth)) return;
        LocalBox cb = ownBox(walk, *child, depth + 1);
        if (cb.empty()) return;
        cornerCells(cols, rows, [&](int c, int r) {
            Transform m = cellTransform(c, r);
            cb.corners([&](Point3 p) { lb.add(m.apply(p)); });
        });
    };
    for (EntityId id : block.entities) {
        if (!walk.drawing || id.v >= walk.drawing->entities.size()) continue;
        const Entity& sub = walk.drawing->entities[id.v];
        if (sub.erased) continue;
        if (auto* ins = geomIf<InsertGeom>(sub.geom)) {
            const Block* child = findBlock(*walk.drawing, ins->blockName);
            if (!child) {
                lb.add(ocsTransform(ins->extrusion).apply(ins->insertion));
                continue;
            }
            int cols = std::max(1, ins->columns), rows = std::max(1, ins->rows);
            if (static_cast<long long>(cols) * rows > kMaxArrayCells) cols = rows = 1;
            nested(child, cols, rows,
                   [&](int c, int r) { return insertTransform(*ins, child->base, c, r); });
            continue;
        }
        if (auto* dim = geomIf<DimensionGeom>(sub.geom)) {
            if (const Block* child = findBlock(*walk.drawing, dim->blockName)) {
                nested(child, 1, 1, [](int, int) { return Transform{}; });
                continue;
            }
        }
        Box2 xy, z;
        entityBox(plain, sub, Transform{}, xy);
        if (xy.empty()) continue;
        entityBox(plain, sub, zOnly, z);
        lb.add({xy.minX, xy.minY, z.empty() ? 0.0 : z.minX});
        lb.add({xy.maxX, xy.maxY, z.empty() ? 0.0 : z.maxX});
    }
    walk.own[&block] = lb;
    return lb;
}

void addOwnBox(Walk& walk, const Block& block, const Transform& t, Box2& box) {
    LocalBox lb = ownBox(walk, block, walk.stack.size());
    if (!lb.empty()) lb.corners([&](Point3 p) { addMapped(box, t, p); });
}

void blockBox(Walk& walk, const Block& block, const Transform& t, Box2& box) {
    forEachBlockEntity(walk, block, [&](const Entity& sub) {
        entityBox(walk, sub, t, box);
        return true;
    });
    // Cut short by the budget: what was not visited lies within the block's own bounds.
    if (walk.exhausted()) addOwnBox(walk, block, t, box);
}

void piecesBox(Walk& walk, const Entity& e, const Transform& t, Box2& box) {
    std::vector<Piece> pieces;
    PieceSink sink{pieces};
    entityPieces(walk, e, t, sink);
    for (const Piece& p : pieces) box.add(p.box);
}

void entityBox(Walk& walk, const Entity& e, const Transform& t, Box2& box) {
    visitGeom(
        [&](const auto& g) {
            using G = std::decay_t<decltype(g)>;
            if constexpr (std::is_same_v<G, LineGeom> || std::is_same_v<G, PolylineGeom> ||
                          std::is_same_v<G, ArcGeom> || std::is_same_v<G, CircleGeom> ||
                          std::is_same_v<G, EllipseGeom> || std::is_same_v<G, SplineGeom>) {
                piecesBox(walk, e, t, box);
            } else if constexpr (std::is_same_v<G, TextGeom>) {
                addFrame(box, t * ocsTransform(g.extrusion), textFrame(g));
            } else if constexpr (std::is_same_v<G, MTextGeom>) {
                std::string plain = plainMText(g.text);
                double h = g.height > 0 ? g.height : 1.0;
                // A character is taken as wide as it is high, more than any font
                // gives; in a box, a paragraph takes as many lines as that width
                // needs, and one more for the room wrapping between words leaves.
                std::size_t lines = 0, longest = 0;
                for (std::size_t from = 0; from <= plain.size();) {
                    std::size_t nl = std::min(plain.find('\n', from), plain.size());
                    std::size_t chars = codePoints(std::string_view(plain).substr(from, nl - from));
                    double width = h * static_cast<double>(chars);
                    if (g.rectWidth > 0 && width > g.rectWidth) {
                        lines += static_cast<std::size_t>(std::ceil(width / g.rectWidth)) + 1;
                    } else {
                        lines += 1;
                        longest = std::max(longest, chars);
                    }
                    from = nl + 1;
                }
                double w = std::max(h * static_cast<double>(longest), g.rectWidth);
                double th = h + (static_cast<double>(lines) - 1) * h * 5.0 / 3.0;
                int att = std::clamp(g.attachment, 1, 9);
                int col = (att - 1) % 3, row = (att - 1) / 3;
                double x0 = -w * col / 2.0, y1 = th * row / 2.0;
                double angle = radians(g.rotation);
                bool defaultDirection = g.xDirection.x == 1 && g.xDirection.y == 0;
                if (!defaultDirection && (g.xDirection.x != 0 || g.xDirection.y != 0)) {
                    angle = std::atan2(g.xDirection.y, g.xDirection.x);
                }
                TextFrame f{x0, x0 + w, y1 - th, y1, g.insertion, angle};
                addFrame(box, t, f);
            } else if constexpr (std::is_same_v<G, InsertGeom>) {
                const Block* block = walk.drawing ? findBlock(*walk.drawing, g.blockName) : nullptr;
                if (!block) {
                    addMapped(box, t * ocsTransform(g.extrusion), g.insertion);
                    return;
                }
                int cols = std::max(1, g.columns), rows = std::max(1, g.rows);
                if (static_cast<long long>(cols) * rows > kMaxArrayCells) cols = rows = 1;
                for (int r = 0; r < rows; ++r) {
                    for (int c = 0; c < cols; ++c) {
                        if (walk.exhausted()) {
                            cornerCells(cols, rows, [&](int cc, int rr) {
                                addOwnBox(walk, *block, t * insertTransform(g, block->base, cc, rr),
                                          box);
                            });
                            return;
                        }
                        blockBox(walk, *block, t * insertTransform(g, block->base, c, r), box);
                    }
                }
            } else if constexpr (std::is_same_v<G, DimensionGeom>) {
                const Block* block = walk.drawing ? findBlock(*walk.drawing, g.blockName) : nullptr;
                if (block) {
                    blockBox(walk, *block, t, box);
                } else {
                    for (const Point3& p : {g.definition, g.textMidpoint, g.p13, g.p14}) {
                        addMapped(box, t, p);
                    }
                }
            } else if constexpr (std::is_same_v<G, HatchGeom>) {
                for (const PolylineGeom& loop : g.loops) {
                    PolylineGeom pl = loop;
                    pl.extrusion = g.extrusion;
                    pl.elevation = g.elevation;
                    pl.is3d = false;
                    std::vector<Piece> pieces;
                    PieceSink sink{pieces};
                    polylinePieces(pl, t, sink);
                    for (const Piece& p : pieces) box.add(p.box);
                }
            } else if constexpr (std::is_same_v<G, PointGeom>) {
                addMapped(box, t, g.position);
            } else if constexpr (std::is_same_v<G, SolidGeom>) {
                Transform m = t * ocsTransform(g.extrusion);
                for (const Point3& p : g.corners) addMapped(box, m, p);
            }
        },
        e.geom);
}

}  // namespace

// ---------------------------------------------------------------- Transform

Point3 Transform::apply(Point3 p) const {
    if (isIdentity()) return p;
    return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
            m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
            m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
}

Point3 Transform::applyVector(Point3 v) const {
    return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
            m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
            m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

bool Transform::isIdentity() const {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            if (m[i][j] != (i == j ? 1.0 : 0.0)) return false;
        }
    }
    return true;
}

bool Transform::keepsCircles(double& scale, bool& mirrored) const {
    double ax = m[0][0], ay = m[1][0], bx = m[0][1], by = m[1][1];
    double la = std::hypot(ax, ay), lb = std::hypot(bx, by);
    if (la == 0 || lb == 0) return false;
    if (std::fabs(la - lb) > 1e-12 * std::max(la, lb)) return false;
    if (std::fabs(ax * bx + ay * by) > 1e-12 * la * lb) return false;
    scale = la;
    mirrored = cross2(ax, ay, bx, by) < 0;
    return true;
}

double Transform::maxScale() const {
    double la = std::hypot(m[0][0], m[1][0]), lb = std::hypot(m[0][1], m[1][1]);
    double lc = std::hypot(m[0][2], m[1][2]);
    return std::max({la, lb, lc});
}

Transform operator*(const Transform& a, const Transform& b) {
    if (b.isIdentity()) return a;
    if (a.isIdentity()) return b;
    Transform r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            double v = 0.0;
            for (int k = 0; k < 3; ++k) v += a.m[i][k] * b.m[k][j];
            if (j == 3) v += a.m[i][3];
            r.m[i][j] = v;
        }
    }
    return r;
}

Transform ocsTransform(Point3 extrusion) {
    Transform t;
    double len = norm(extrusion);
    if (!(len > 0) || !std::isfinite(len)) return t;
    Point3 n = extrusion * (1.0 / len);
    if (n.x == 0 && n.y == 0 && n.z == 1) return t;
    constexpr double kLimit = 1.0 / 64.0;
    Point3 ax = (std::fabs(n.x) < kLimit && std::fabs(n.y) < kLimit) ? cross({0, 1, 0}, n)
                                                                     : cross({0, 0, 1}, n);
    ax = normalized(ax);
    Point3 ay = normalized(cross(n, ax));
    const Point3 cols[3] = {ax, ay, n};
    for (int j = 0; j < 3; ++j) {
        t.m[0][j] = cols[j].x;
        t.m[1][j] = cols[j].y;
        t.m[2][j] = cols[j].z;
    }
    return t;
}

Transform translation(Point3 o) {
    Transform t;
    t.m[0][3] = o.x;
    t.m[1][3] = o.y;
    t.m[2][3] = o.z;
    return t;
}

Transform insertTransform(const InsertGeom& g, Point3 base, int column, int row) {
    // OCS(N) · T(insertion) · Rz(rotation) · T(cell offset) · S(scale) · T(-base)
    Transform local;
    double a = radians(g.rotation);
    double c = std::cos(a), s = std::sin(a);
    double sx = g.scale.x, sy = g.scale.y, sz = g.scale.z;
    double ox = column * g.columnSpacing, oy = row * g.rowSpacing;
    // Rz · (S(p - base) + offset) + insertion
    double px = -sx * base.x + ox, py = -sy * base.y + oy, pz = -sz * base.z;
    local.m[0][0] = c * sx;
    local.m[0][1] = -s * sy;
    local.m[0][2] = 0.0;
    local.m[0][3] = c * px - s * py + g.insertion.x;
    local.m[1][0] = s * sx;
    local.m[1][1] = c * sy;
    local.m[1][2] = 0.0;
    local.m[1][3] = s * px + c * py + g.insertion.y;
    local.m[2][0] = 0.0;
    local.m[2][1] = 0.0;
    local.m[2][2] = sz;
    local.m[2][3] = pz + g.insertion.z;
    return ocsTransform(g.extrusion) * local;
}

const Block* findBlock(const DrawingData& d, std::string_view name) {
    auto it = d.blockIndex.find(std::string(name));
    if (it != d.blockIndex.end() && it->second < d.blocks.size()) return &d.blocks[it->second];
    auto same = [&](const std::string& other) {
        if (other.size() != name.size()) return false;
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(other[i])) !=
                std::tolower(static_cast<unsigned char>(name[i]))) {
                return false;
            }
        }
        return true;
    };
    for (const Block& b : d.blocks) {
        if (same(b.name)) return &b;
    }
    return nullptr;
}

// ---------------------------------------------------------------- public API

Point3 ocsToWcs(Point3 p, Point3 extrusion) {
    return ocsTransform(extrusion).apply(p);
}

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

Box2 entityBounds(const DrawingData& drawing, const Entity& e) {
    Box2 box;
    Walk walk;
    walk.drawing = &drawing;
    entityBox(walk, e, Transform{}, box);
    return box;
}

std::optional<double> distanceToEntity(const DrawingData& drawing, const Entity& e, Point3 p) {
    std::vector<Piece> pieces;
    piecesOf(&drawing, e, pieces);
    if (pieces.empty()) return std::nullopt;
    double best = std::numeric_limits<double>::infinity();
    for (const Piece& pc : pieces) best = std::min(best, distanceTo(pc, p));
    return best;
}

std::vector<Point3> intersectEntities(const DrawingData& drawing, const Entity& a,
                                      const Entity& b) {
    // Kept between calls: a long route cut afresh for every crossing search would
    // otherwise fetch new pages from the system each time.
    thread_local std::vector<Piece> pa, pb;
    thread_local std::vector<std::size_t> order;
    piecesOf(&drawing, a, pa);
    if (pa.empty()) return {};
    piecesOf(&drawing, b, pb);
    if (pb.empty()) return {};
    Box2 boxA, boxB;
    for (const Piece& p : pa) boxA.add(p.box);
    for (const Piece& p : pb) boxB.add(p.box);
    Box2 all = boxA;
    all.add(boxB);
    const double tol = std::max(1e-9, 1e-10 * magnitude(all));
    if (!grow(boxA, tol).intersects(boxB)) return {};

    Crossings crossings(pa, pb, tol);
    // Pieces of the second entity sorted by their left edge: each piece of the
    // first only meets those whose x-range overlaps its own.
    order.resize(pb.size());
    double widest = 0.0;
    for (std::size_t i = 0; i < pb.size(); ++i) {
        order[i] = i;
        widest = std::max(widest, pb[i].box.maxX - pb[i].box.minX);
    }
    std::sort(order.begin(), order.end(),
              [&](std::size_t x, std::size_t y) { return pb[x].box.minX < pb[y].box.minX; });
    for (std::size_t ia = 0; ia < pa.size(); ++ia) {
        Box2 ba = grow(pa[ia].box, tol);
        if (!ba.intersects(boxB)) continue;
        double from = ba.minX - widest;
        auto it = std::lower_bound(order.begin(), order.end(), from,
                                   [&](std::size_t i, double x) { return pb[i].box.minX < x; });
        for (; it != order.end() && pb[*it].box.minX <= ba.maxX; ++it) {
            if (ba.intersects(pb[*it].box)) crossings.pair(ia, *it);
        }
    }
    return crossings.result();
}

std::vector<Issue> blockLimitIssues(const DrawingData& d) {
    // For every block, how many levels of blocks it spans and how many block
    // entities expanding it visits, worked out children first without recursion.
    struct Child {
        std::size_t block;
        double cells;
    };
    const std::size_t nb = d.blocks.size();
    auto childOf = [&](const Entity& e) -> std::optional<Child> {
        if (e.erased) return std::nullopt;
        const Block* b = nullptr;
        double cells = 1.0;
        if (auto* ins = geomIf<InsertGeom>(e.geom)) {
            b = findBlock(d, ins->blockName);
            long long cols = std::max(1, ins->columns), rows = std::max(1, ins->rows);
            if (cols * rows <= kMaxArrayCells) cells = static_cast<double>(cols * rows);
        } else if (auto* dim = geomIf<DimensionGeom>(e.geom)) {
            b = findBlock(d, dim->blockName);
        }
        if (!b) return std::nullopt;
        return Child{static_cast<std::size_t>(b - d.blocks.data()), cells};
    };
    std::vector<int> levels(nb, 0);
    std::vector<double> visits(nb, 0.0);
    std::vector<char> state(nb, 0);                         // 0 new, 1 on the path, 2 done
    std::vector<std::pair<std::size_t, std::size_t>> path;  // block, next entity
    for (std::size_t root = 0; root < nb; ++root) {
        if (state[root]) continue;
        path.emplace_back(root, 0);
        state[root] = 1;
        while (!path.empty()) {
            auto [b, next] = path.back();
            const Block& block = d.blocks[b];
            if (next >= block.entities.size()) {
                int level = 0;
                double count = 0.0;
                for (EntityId id : block.entities) {
                    if (id.v >= d.entities.size() || d.entities[id.v].erased) continue;
                    count += 1.0;
                    if (auto c = childOf(d.entities[id.v]); c && state[c->block] == 2) {
                        level = std::max(level, levels[c->block]);
                        count += c->cells * visits[c->block];
                    }
                }
                levels[b] = level + 1;
                visits[b] = count;
                state[b] = 2;
                path.pop_back();
                continue;
            }
            ++path.back().second;
            EntityId id = block.entities[next];
            if (id.v >= d.entities.size()) continue;
            if (auto c = childOf(d.entities[id.v]); c && state[c->block] == 0) {
                state[c->block] = 1;
                path.emplace_back(c->block, 0);
            }
        }
    }
    std::vector<Issue> out;
    std::vector<char> told(nb, 0);
    for (const std::vector<EntityId>* space : {&d.modelSpace, &d.paperSpace}) {
        for (EntityId id : *space) {
            if (id.v >= d.entities.size()) continue;
            const Entity& e = d.entities[id.v];
            auto c = childOf(e);
            if (!c || told[c->block]) continue;
            const std::string name = validUtf8(d.blocks[c->block].name);
            if (levels[c->block] > kMaxBlockDepth) {
                told[c->block] = 1;
                out.push_back({"block-depth", 0, e.handle,
                               "Вставки в блоке «" + name + "» вложены глубже " +
                                   std::to_string(kMaxBlockDepth) +
                                   " уровней: более глубокие вставки не показываются и не "
                                   "учитываются в границах и пересечениях"});
            }
            if (c->cells * visits[c->block] > static_cast<double>(kMaxBlockExpansion)) {
                told[c->block] = 1;
                out.push_back({"block-size", 0, e.handle,
                               "Вставка блока «" + name + "» раскрывается более чем в " +
                                   std::to_string(kMaxBlockExpansion) +
                                   " объектов: границы взяты по самому блоку, пересечения "
                                   "ищутся только среди первых " +
                                   std::to_string(kMaxBlockExpansion) + " из них"});
            }
        }
    }
    return out;
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

std::vector<Point3> splinePoints(const SplineGeom& s, double tolerance) {
    SplineCurve c(s);
    if (!c.ok()) return {};
    std::vector<double> br = c.breaks();
    if (br.size() < 2) return {};
    double tol = std::max(tolerance, 1e-12);
    std::vector<Point3> out;
    out.push_back(c.at(br.front()));
    for (std::size_t i = 0; i + 1 < br.size(); ++i) {
        Point3 p0 = out.back();
        Point3 p1 = c.at(br[i + 1]);
        refine(c, br[i], p0, br[i + 1], p1, tol, 0, out);
        if (out.size() > 200000) break;
    }
    // Exact control or fit end points where the curve is clamped to them.
    if (!s.fitPoints.empty() && s.controlPoints.size() < 2) {
        out.front() = s.fitPoints.front();
        out.back() = s.fitPoints.back();
    }
    if ((s.flags & 1) && out.size() > 2 && norm(out.back() - out.front()) <= tol) {
        out.back() = out.front();
    }
    return out;
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

std::string decodeTextCodes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && s[i + 1] == '%') {
            char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i + 2])));
            if (c == 'c') {
                out += "\xC3\x98";  // Ø
                i += 2;
                continue;
            }
            if (c == 'd') {
                out += "\xC2\xB0";  // °
                i += 2;
                continue;
            }
            if (c == 'p') {
                out += "\xC2\xB1";  // ±
                i += 2;
                continue;
            }
            if (c == '%') {
                out += '%';
                i += 2;
                continue;
            }
            if (c == 'u' || c == 'o' || c == 'k') {
                i += 2;
                continue;
            }
            if (std::isdigit(static_cast<unsigned char>(c)) && i + 4 < s.size() &&
                std::isdigit(static_cast<unsigned char>(s[i + 3])) &&
                std::isdigit(static_cast<unsigned char>(s[i + 4]))) {
                int code = (s[i + 2] - '0') * 100 + (s[i + 3] - '0') * 10 + (s[i + 4] - '0');
                if (code < 128) {
                    out += static_cast<char>(code);
                } else {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                i += 4;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

}  // namespace cad
