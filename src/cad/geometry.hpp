// Geometry of entities in world coordinates: lengths, bounds and crossings.
// Crossings never extend an entity; one that falls on an end point returns that
// end point's exact coordinates. Maps between coordinate systems are in
// transform.hpp, the spline evaluator in spline.hpp.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "cad/drawing_data.hpp"
#include "cad/spline.hpp"
#include "cad/transform.hpp"

namespace cad {

// Length of a line, polyline (bulges included), arc, circle, ellipse or
// spline; nullopt for kinds that have none.
std::optional<double> entityLength(const Entity& e);

// Start and end point of lines, open polylines, arcs, elliptical arcs and open
// splines; nullopt otherwise (closed curves have no ends).
std::optional<Point3> entityStart(const Entity& e);
std::optional<Point3> entityEnd(const Entity& e);

// Bounding box in world XY; blocks are looked up in the drawing for inserts.
Box2 entityBounds(const DrawingData& drawing, const Entity& e);

// Distance in the XY plane from a point to the nearest part of the entity
// (inserts through their blocks); nullopt for kinds that have no lines.
std::optional<double> distanceToEntity(const DrawingData& drawing, const Entity& e, Point3 p);

// Crossing points of two entities in the XY plane, neither extended. Overlapping
// collinear pieces give the overlap's end points; a tangency gives its point once.
// Points come in order along the first entity.
std::vector<Point3> intersectEntities(const DrawingData& drawing, const Entity& a, const Entity& b);

// The block a name refers to (exact name first, then ignoring ASCII case); nullptr if none.
const Block* findBlock(const DrawingData& drawing, std::string_view name);

// Inserts nest no deeper than this; a block that inserts itself stops there too.
inline constexpr int kMaxBlockDepth = 16;

// Block entities one bounds or crossing walk of a single entity expands at
// most. Blocks that insert blocks many times over multiply: past this a bounds
// walk takes each further block by its own bounds, and a crossing walk stops.
inline constexpr std::size_t kMaxBlockExpansion = 200'000;

// Warnings about the blocks model and paper space insert whose nesting or size
// goes past the limits above, one for each such block.
std::vector<Issue> blockLimitIssues(const DrawingData& drawing);

// Points along an ellipse in world coordinates, no farther than `tolerance`
// from the true curve.
std::vector<Point3> ellipsePoints(const EllipseGeom& e, double tolerance);
// Points along a polyline in its own coordinates (OCS, or world for 3D ones),
// bulge arcs flattened; a closed one ends with its first point again.
std::vector<Point3> polylinePoints(const PolylineGeom& p, double tolerance);

}  // namespace cad
