// Object snap for point prompts: the end points, midpoints, crossings and
// centres of the entities near the cursor, or the nearest point on one.
// End points and crossings at an end are the entity's own coordinates,
// bit for bit, so that a picket picked by its ends meets its elements exactly.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cad/drawing_data.hpp"

namespace app {

enum class SnapKind { End, Intersection, Mid, Center, Nearest };

struct Snap {
    cad::Point3 point;
    SnapKind kind = SnapKind::Nearest;
    // Whose point it is; of a crossing, the first of the two entities.
    cad::EntityId entity{};
};

// Which snap points a prompt wants first.
struct SnapPreference {
    // The ends of entities on these layers (a picket's start or end wants an
    // end of a route element, not a crossing beside it).
    std::vector<std::string> endLayers;
};

// candidates: model-space entities near the cursor, in drawing order.
// aperture: how far from the cursor a snap point may lie, in world units.
// Every snap point within it, best first: the preferred ends, then the other
// ends, crossings, midpoints and centres by their distance (the kind breaking
// a tie, in that order), then the nearest points on entities. A place found
// more than once is listed once, as its best kind.
std::vector<Snap> findSnaps(const cad::DrawingData& drawing,
                            const std::vector<cad::EntityId>& candidates, cad::Point3 cursor,
                            double aperture, const SnapPreference& prefer = {});

// The best of them.
std::optional<Snap> findSnap(const cad::DrawingData& drawing,
                             const std::vector<cad::EntityId>& candidates, cad::Point3 cursor,
                             double aperture);

}  // namespace app
