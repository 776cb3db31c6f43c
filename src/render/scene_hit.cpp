// Hit tests on what the scene draws, in world units: the pick box and the
// selection window.
#include "render/scene.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "render/scene_data.hpp"

namespace render {

using namespace scene_detail;

namespace {

double segmentDistance(P2 p, P2 a, P2 b) {
    return std::sqrt(segmentDistance2(p, a, b));
}

// Whether the segment meets the box (Liang–Barsky).
bool segmentTouches(P2 a, P2 b, const cad::Box2& box) {
    double t0 = 0, t1 = 1;
    double dx = b.x - a.x, dy = b.y - a.y;
    auto clip = [&](double p, double q) {
        if (p == 0) return q >= 0;
        double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0) return false;
            t1 = std::min(t1, r);
        }
        return true;
    };
    return clip(-dx, a.x - box.minX) && clip(dx, box.maxX - a.x) && clip(-dy, a.y - box.minY) &&
           clip(dy, box.maxY - a.y) && t0 <= t1;
}

// Even-odd point in polygon.
bool insidePolygon(P2 p, const P2* pts, std::size_t n) {
    bool in = false;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        if ((pts[i].y > p.y) != (pts[j].y > p.y) &&
            p.x < (pts[j].x - pts[i].x) * (p.y - pts[i].y) / (pts[j].y - pts[i].y) + pts[i].x) {
            in = !in;
        }
    }
    return in;
}

// The pieces of an entity's drawing put to a probe: strokes from a to b, arcs,
// and areas (a text's box, a fill's loops) that hold the probe's point. A
// probe answers true to end the walk: it has its answer.
template <class Probe>
bool walk(const Scene::Data& d, const Item& item, Probe& probe) {
    auto edges = [&](const P2* q, std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i) {
            if (probe.stroke(q[i], q[(i + 1) % n])) return true;
        }
        return false;
    };
    for (const Prim& prim : d.primsOf(item)) {
        switch (prim.kind) {
            case Kind::Strip:
            case Kind::Loop: {
                const P2* q = &d.points[prim.first];
                if (prim.count == 1 && probe.stroke(q[0], q[0])) return true;
                for (std::uint32_t i = 1; i < prim.count; ++i) {
                    if (probe.stroke(q[i - 1], q[i])) return true;
                }
                if (prim.kind == Kind::Loop && prim.count > 2 &&
                    probe.stroke(q[prim.count - 1], q[0])) {
                    return true;
                }
                break;
            }
            case Kind::Arc:
                if (probe.arc(d.arcs[prim.first])) return true;
                break;
            case Kind::Text: {
                const TextRec& t = d.texts[prim.first];
                if (insidePolygon(probe.point(), t.quad, 4)) return probe.enclosed();
                if (edges(t.quad, 4)) return true;
                break;
            }
            case Kind::Fill: {
                int in = 0;
                for (std::uint32_t l = 0; l < prim.count; ++l) {
                    const LoopRec& loop = d.loops[prim.first + l];
                    const P2* q = &d.points[loop.first];
                    if (insidePolygon(probe.point(), q, loop.count)) ++in;
                    if (edges(q, loop.count)) return true;
                }
                if (in % 2 == 1) return probe.enclosed();
                break;
            }
        }
    }
    return false;
}

// The distance from a point to the nearest stroke, nought inside an area.
struct DistanceProbe {
    P2 p;
    double best = std::numeric_limits<double>::infinity();

    P2 point() const { return p; }
    bool stroke(P2 a, P2 b) {
        best = std::min(best, segmentDistance(p, a, b));
        return false;
    }
    bool arc(const ArcRec& a) {
        double angle = std::atan2(p.y - a.cy, p.x - a.cx);
        if (angleOnArc(angle, a)) {
            best = std::min(best, std::fabs(std::hypot(p.x - a.cx, p.y - a.cy) - a.r));
        }
        for (double t : {a.start, a.start + a.sweep}) {
            best = std::min(best, std::hypot(p.x - (a.cx + a.r * std::cos(t)),
                                             p.y - (a.cy + a.r * std::sin(t))));
        }
        return false;
    }
    bool enclosed() {
        best = 0.0;
        return true;
    }
};

// Whether anything drawn meets a box; an area holding the box's corner holds
// some of the box.
struct TouchProbe {
    const cad::Box2& box;
    std::vector<P2> pts;

    P2 point() const { return {box.minX, box.minY}; }
    bool stroke(P2 a, P2 b) const { return segmentTouches(a, b, box); }
    bool arc(const ArcRec& a) {
        arcPoints(a, std::max(16, static_cast<int>(std::fabs(a.sweep) * 32)), pts);
        for (std::size_t i = 1; i < pts.size(); ++i) {
            if (segmentTouches(pts[i - 1], pts[i], box)) return true;
        }
        return false;
    }
    static bool enclosed() { return true; }
};

}  // namespace

double Scene::distance(std::uint32_t index, cad::Point3 pt) const {
    DistanceProbe probe{{pt.x, pt.y}};
    walk(*d_, d_->items.at(index), probe);
    return probe.best;
}

bool Scene::touches(std::uint32_t index, const cad::Box2& box) const {
    const Item& item = d_->items.at(index);
    if (item.primCount == 0 || item.bounds.empty() || !item.bounds.intersects(box)) return false;
    if (contains(box, item.bounds)) return true;
    TouchProbe probe{box, {}};
    return walk(*d_, item, probe);
}

}  // namespace render
