// The group codes an entity kind keeps straight in members of its geometry,
// for the kinds whose fields are the whole of their data: the reader fills
// the members from these tables and the emitter writes new entities from
// them, so that each of these codes is declared once (reader_fields.cpp).
#pragma once

#include <array>
#include <string>
#include <variant>

#include "cad/entity.hpp"

namespace cad::dxf_read {

// A code that an entity kind keeps straight in a member of its geometry:
// a number, a whole number, a point (with its y and z after it), or a text,
// as written or, for names, with the blanks around it dropped.
template <class G>
struct Field {
    int code;
    std::variant<double G::*, int G::*, Point3 G::*, std::string G::*> member;
    bool name = false;
};

// In the order a new entity writes them, after its subclass marker.
extern const std::array<Field<LineGeom>, 2> kLineFields;
extern const std::array<Field<PointGeom>, 1> kPointFields;

}  // namespace cad::dxf_read
