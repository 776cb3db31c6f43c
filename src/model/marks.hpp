// The program's own entities in a drawing: the blank sheet a picket was
// taken into work with and the profile its build drew carry a mark of that
// picket (cad::EntityMark, written as XDATA), so that a rebuild replaces the
// profile and a second take reuses the sheet, also after a restart. An
// entity whose fingerprint no longer matches was changed by hand and is kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cad/drawing.hpp"
#include "model/workspace.hpp"

namespace model {

inline constexpr std::string_view kSheetMark = "SHEET";
inline constexpr std::string_view kProfileMark = "PROFILE";
inline constexpr std::string_view kMarkerMark = "MARKER";  // the marker cross, one a drawing

// What identifies a picket in the marks: its route elements and its ends,
// taken when it is defined and kept with it.
std::string piketKey(const Piket& piket);

// Marks the model-space entities from position `from` of the drawing order on.
void markEntities(cad::Drawing& doc, std::size_t from, std::string_view kind,
                  const std::string& owner);

// Whether the drawing holds an entity of that kind and owner.
bool hasMarked(cad::Drawing& doc, std::string_view kind, const std::string& owner);

struct Removal {
    int removed = 0;
    int kept = 0;  // changed by hand since they were drawn
};
// Erases the unchanged entities of that kind and owner; keeps those changed by hand.
Removal eraseMarked(cad::Drawing& doc, std::string_view kind, const std::string& owner);

}  // namespace model
