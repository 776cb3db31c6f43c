// Plain geometric value types shared by the whole engine: points in world
// coordinates and axis-aligned boxes. Nothing here knows about DXF.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace cad {

struct Point3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    friend bool operator==(const Point3&, const Point3&) = default;
};

inline Point3 operator+(Point3 a, Point3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Point3 operator-(Point3 a, Point3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Point3 operator*(Point3 a, double k) {
    return {a.x * k, a.y * k, a.z * k};
}
inline double dot(Point3 a, Point3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Point3 cross(Point3 a, Point3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double norm(Point3 a) {
    return std::sqrt(dot(a, a));
}
inline double planeDistance(Point3 a, Point3 b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Axis-aligned box in the XY plane; empty until something is added.
struct Box2 {
    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    double maxY = -std::numeric_limits<double>::infinity();

    bool empty() const { return minX > maxX || minY > maxY; }
    void add(double x, double y) {
        minX = std::min(minX, x);
        minY = std::min(minY, y);
        maxX = std::max(maxX, x);
        maxY = std::max(maxY, y);
    }
    void add(Point3 p) { add(p.x, p.y); }
    void add(const Box2& b) {
        if (b.empty()) return;
        add(b.minX, b.minY);
        add(b.maxX, b.maxY);
    }
    bool intersects(const Box2& b) const {
        return !(b.minX > maxX || b.maxX < minX || b.minY > maxY || b.maxY < minY);
    }
    friend bool operator==(const Box2&, const Box2&) = default;
};

}  // namespace cad
