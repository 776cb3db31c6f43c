// Opening a plan drawing as the project and starting a new project. The
// project is the drawing itself: opening collects its objects into the object
// list (a snapshot), rebuilds the "Kernavisto" selection set and draws the
// marker cross the crossing editor moves.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "model/workspace.hpp"

namespace model {

inline constexpr const char* kProjectSelectionSet = "Kernavisto";

// Opens the drawing through ws.app and makes it the project. A failure stops
// the opening at that step (cad::Error); the steps done before stay done.
void openProject(Workspace& ws, const std::filesystem::path& path);

// The steps of openProject after the drawing is open: doc becomes the
// project, shown under fileName.
void takeProject(Workspace& ws, cad::Drawing& doc, const std::string& fileName);

// "Новый проект": empties the picket table (one empty entry), removes the
// picket list rows and disables the picket, profile and editor buttons. The
// drawing stays open.
void newProject(Workspace& ws);

// The file name shown for a chosen path: everything after its last '\' or '/'.
std::string displayFileName(std::string_view path);

}  // namespace model
