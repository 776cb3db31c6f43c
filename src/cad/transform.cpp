#include "cad/transform.hpp"

#include "cad/geometry_pieces.hpp"

namespace cad {

using namespace geometry_detail;

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

Point3 ocsToWcs(Point3 p, Point3 extrusion) {
    return ocsTransform(extrusion).apply(p);
}

}  // namespace cad
