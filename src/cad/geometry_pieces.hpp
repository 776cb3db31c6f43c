// Entities cut into pieces in world XY (line segments and circular arcs), the
// form in which the engine measures lengths, bounds and crossings; and the walk
// through blocks that inserts expand. Shared by the geometry_*.cpp files only.
//
// Plans sit far from the origin (X ≈ 5e5, Y ≈ 6e6 in millimetres), so every
// computation works on differences from a nearby point of the same piece and
// tolerances grow with the magnitude of the coordinates.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <unordered_map>
#include <vector>

#include "cad/geometry.hpp"

namespace cad::geometry_detail {

inline constexpr double kPi = std::numbers::pi;
inline constexpr double kTwoPi = 2.0 * std::numbers::pi;
inline constexpr double kFlattenTolerance = 0.001;  // drawing units
inline constexpr std::size_t kMaxPieces = 4'000'000;
inline constexpr int kMaxArrayCells = 100'000;

inline double radians(double degrees) {
    return degrees * kPi / 180.0;
}

// Angle reduced into [0, 2 pi).
inline double wrapAngle(double a) {
    a = std::fmod(a, kTwoPi);
    if (a < 0) a += kTwoPi;
    if (a >= kTwoPi) a = 0.0;
    return a;
}

// Sweep of an arc from start to end degrees counter-clockwise, in (0, 2 pi].
inline double arcSweep(double startDeg, double endDeg) {
    double s = std::fmod(endDeg - startDeg, 360.0);
    if (s < 0) s += 360.0;
    if (s <= 1e-12) s = 360.0;
    return radians(s);
}

inline Point3 normalized(Point3 v) {
    double n = norm(v);
    return n > 0 ? v * (1.0 / n) : kWorldZ;
}

inline double cross2(double ax, double ay, double bx, double by) {
    return ax * by - ay * bx;
}

inline bool hasBulge(double bulge) {
    return std::isfinite(bulge) && std::fabs(bulge) > 1e-12;
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

Box2 arcBox(const Piece& p);

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

BulgeArc bulgeArc(Point3 p, Point3 q, double bulge);

void polylinePieces(const PolylineGeom& pl, const Transform& t, PieceSink& sink);

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

// Pieces of an entity mapped by t, inserts and dimensions through their blocks.
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

// The pieces of an entity in world coordinates, into out (cleared first).
void piecesOf(const DrawingData* drawing, const Entity& e, std::vector<Piece>& out);

}  // namespace cad::geometry_detail
