// Object snap for point prompts: the end points, midpoints, crossings and
// centres of the entities near the cursor, or the nearest point on one.
// End points and crossings at an end are the entity's own coordinates,
// bit for bit, so that a picket picked by its ends meets its elements exactly.
#pragma once

#include <optional>
#include <vector>

#include "cad/drawing_data.hpp"

namespace app {

enum class SnapKind { End, Intersection, Mid, Center, Nearest };

struct Snap {
    cad::Point3 point;
    SnapKind kind = SnapKind::Nearest;
};

// candidates: model-space entities near the cursor, in drawing order.
// aperture: how far from the cursor a snap point may lie, in world units.
std::optional<Snap> findSnap(const cad::DrawingData& drawing,
                             const std::vector<cad::EntityId>& candidates, cad::Point3 cursor,
                             double aperture);

}  // namespace app
