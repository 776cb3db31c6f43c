// Maps between coordinate systems: object coordinates (the DXF arbitrary axis
// algorithm), block coordinates of an insert's cells, and their compositions.
#pragma once

#include "cad/entity.hpp"

namespace cad {

// Object coordinate system to world, by the DXF arbitrary axis algorithm.
Point3 ocsToWcs(Point3 p, Point3 extrusion);

// An affine map of 3D points: world = m * (x, y, z, 1). Blocks, inserts and
// object coordinate systems are all expressed with it.
struct Transform {
    double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

    Point3 apply(Point3 p) const;
    Point3 applyVector(Point3 v) const;  // without the translation
    bool isIdentity() const;
    // Whether circles lying in planes parallel to XY stay circles when mapped and
    // seen from above; gives the radius factor and whether the sense is reversed.
    bool keepsCircles(double& scale, bool& mirrored) const;
    double maxScale() const;  // largest stretch of the XY part
};

// a ∘ b: b applied first.
Transform operator*(const Transform& a, const Transform& b);

Transform ocsTransform(Point3 extrusion);
Transform translation(Point3 offset);

// Block coordinates to world for one cell (column, row) of an insert.
Transform insertTransform(const InsertGeom& insert, Point3 blockBase, int column, int row);

}  // namespace cad
