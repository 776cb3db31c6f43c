// Placeholder until the full geometry lands: lines only.
#include "cad/geometry.hpp"

#include <cmath>

namespace cad {

Point3 ocsToWcs(Point3 p, Point3 extrusion) {
    (void)extrusion;
    return p;
}

std::optional<double> entityLength(const Entity& e) {
    if (auto* l = std::get_if<LineGeom>(&e.geom)) return norm(l->end - l->start);
    return std::nullopt;
}

std::optional<Point3> entityStart(const Entity& e) {
    if (auto* l = std::get_if<LineGeom>(&e.geom)) return l->start;
    return std::nullopt;
}

std::optional<Point3> entityEnd(const Entity& e) {
    if (auto* l = std::get_if<LineGeom>(&e.geom)) return l->end;
    return std::nullopt;
}

Box2 entityBounds(const DrawingData&, const Entity& e) {
    Box2 b;
    if (auto* l = std::get_if<LineGeom>(&e.geom)) {
        b.add(l->start);
        b.add(l->end);
    }
    return b;
}

std::vector<Point3> intersectEntities(const DrawingData&, const Entity& a, const Entity& b) {
    auto* la = std::get_if<LineGeom>(&a.geom);
    auto* lb = std::get_if<LineGeom>(&b.geom);
    if (!la || !lb) return {};
    Point3 r = la->end - la->start, s = lb->end - lb->start;
    double den = r.x * s.y - r.y * s.x;
    if (den == 0.0) return {};
    Point3 q = lb->start - la->start;
    double t = (q.x * s.y - q.y * s.x) / den;
    double u = (q.x * r.y - q.y * r.x) / den;
    if (t < 0 || t > 1 || u < 0 || u > 1) return {};
    return {la->start + r * t};
}

}  // namespace cad
