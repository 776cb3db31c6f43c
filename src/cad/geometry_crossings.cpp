// Crossings of two entities and the distance from a point to one, worked out
// piece by piece: segment with segment, segment with arc, arc with arc.
#include <vector>

#include "cad/geometry_pieces.hpp"

namespace cad {

namespace {

using namespace geometry_detail;

struct Candidate {
    double param = 0.0;  // along the first entity: piece index + fraction
    Point3 p;
};

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

}  // namespace

using geometry_detail::Piece;
using geometry_detail::piecesOf;

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

}  // namespace cad
