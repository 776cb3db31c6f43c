// Geometry of entities in world coordinates: the arbitrary axis algorithm,
// lengths, bounds and crossings. Crossings never extend an entity; one that
// falls on an end point returns that end point's exact coordinates.
#pragma once

#include <optional>
#include <vector>

#include "cad/drawing_data.hpp"

namespace cad {

// Object coordinate system to world, by the DXF arbitrary axis algorithm.
Point3 ocsToWcs(Point3 p, Point3 extrusion);

// Length of a line, polyline (bulges included), arc or circle; nullopt for
// kinds that have none.
std::optional<double> entityLength(const Entity& e);

// Start and end point of lines, open polylines and arcs; nullopt otherwise.
std::optional<Point3> entityStart(const Entity& e);
std::optional<Point3> entityEnd(const Entity& e);

// Bounding box in world XY; blocks are looked up in the drawing for inserts.
Box2 entityBounds(const DrawingData& drawing, const Entity& e);

// Crossing points of two entities in the XY plane, neither extended. Overlapping
// collinear pieces give the overlap's end points; a tangency gives its point once.
std::vector<Point3> intersectEntities(const DrawingData& drawing, const Entity& a, const Entity& b);

}  // namespace cad
