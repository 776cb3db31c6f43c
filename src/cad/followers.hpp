// Handles kept for the followers of an entity the program creates: a
// polyline saved as POLYLINE (R12, 3D) writes its VERTEX entities and SEQEND
// under the handles just below its own. Whoever numbers a new entity keeps
// this many first, so that the entity's own handle is the largest it uses.
#pragma once

#include <cstddef>

#include "cad/entity.hpp"

namespace cad {

inline std::size_t reservedHandles(const Entity& e) {
    if (auto* p = geomIf<PolylineGeom>(e.geom)) return p->vertices.size() + 1;
    return 0;
}

}  // namespace cad
