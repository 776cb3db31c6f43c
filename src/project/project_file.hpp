// The project file PLAN.kernavisto.json beside the drawing: what the user set
// up and typed (type lists, initial parameters, pickets with their elements
// and point objects named by handle, the point values, the picket list, the
// picket and point in work), so that a restart loses nothing. The format is
// described in docs/project-file.md.
//
// Reading is in two steps: parse() checks the text and gives plain data
// without touching anything; restore() puts it into a workspace whose drawing
// is open. Neither changes the drawing.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/workspace.hpp"

namespace project {

// The format this program writes; files of a later version are refused.
// Version 2: point values are what the user typed (a build no longer writes
// chainages and interpolated heights into them) and a picket has its key.
inline constexpr int kFormatVersion = 2;
inline constexpr std::string_view kFormatName = "kernavisto-project";

// PLAN.dxf (or PLAN.dwg) -> PLAN.kernavisto.json in the same folder.
std::filesystem::path projectFilePath(const std::filesystem::path& drawing);

// The file's content, handles still as text.
struct PointData {
    std::optional<std::string> object;  // handle; none for points the editor added
    model::PointRow values{};
    model::Crossed crossed;  // the crossed utility; written only when something is set
};
struct PiketData {
    // Handles, from the picket start to its end; none for an element already
    // missing when the file was written (the picket stays broken).
    std::vector<std::optional<std::string>> elements;
    std::vector<PointData> points;
    std::optional<std::string> key;  // model::Piket::key; files before version 2 have none
};
struct RowData {
    std::string caption;
    int stateIndex = 0;
};
struct ProjectData {
    int version = kFormatVersion;
    std::array<std::vector<std::string>, model::kTypeListCount> typeLists;
    std::array<int, model::kTypeListCount> typeListIndex{0, 0, 0, 0};
    std::string depthText, pipeText, beddingText;
    bool hideWhilePicking = false;
    // The plan's units; absent in files written before the program had them.
    std::optional<std::string> planUnits;
    // How the profile is laid out on sheets; absent in files written before
    // the program had sheet options (one sheet, 1:500 and 1:100).
    std::optional<model::SheetOptions> sheet;
    // The last choice of "Отметки по съёмке"; absent until the user made one.
    std::optional<model::SurveyChoice> survey;
    // The kind table of crossings; absent in files written before the program
    // had it (the default table).
    std::optional<model::CrossKindTable> crossKinds;
    // The rules the profile is checked against; absent in files written
    // before the program had checks (the defaults).
    std::optional<model::CheckRules> checks;
    std::vector<PiketData> pikets;
    int workPiket = -1;
    int workPoint = 0;
    std::vector<RowData> rows;
    int selectedRow = -1;
};

// The workspace's state as file content (handles of the project drawing).
ProjectData capture(const model::Workspace& ws);
std::string toJson(const ProjectData& data);

// Checks and reads the text of a project file. cad::Error with a message
// naming what is wrong (never quoting the file's bytes) when the text is not
// a project file, is damaged, or comes from a later version of the program.
ProjectData parse(std::string_view text);

// A picket whose drawing objects are not all in the drawing any more.
struct BrokenPiket {
    int index = 0;        // into Workspace::pikets
    std::string caption;  // of its row ("Пикет 3"), or made from the index when it has none
    std::string reason;   // "в чертеже нет объекта 1A2 (элемент 1)"
};
struct RestoreReport {
    std::vector<BrokenPiket> broken;
    std::vector<std::string> notes;  // rows dropped, indexes put right
};

// Puts the data into ws: the type lists, the initial parameters, the picket
// table, the picket list and the picket and point in work. Handles are looked
// up in ws.doc (which must be open); a missing one leaves a null reference and
// marks the picket's row as broken, with the reason. The drawing is not
// changed. Nothing is taken into work: that is the caller's step.
RestoreReport restore(model::Workspace& ws, const ProjectData& data);

// Writes the workspace's project file atomically (a temporary file in the
// same folder, flushed, then renamed over the old one). cad::Error naming the
// file when it cannot be written; the old file then stays as it was.
void save(const model::Workspace& ws, const std::filesystem::path& path);

// Reads a project file and restores it into ws. cad::Error (naming the file)
// when it cannot be read or parsed; ws is then unchanged.
RestoreReport load(model::Workspace& ws, const std::filesystem::path& path);

// The report as lines for the user (empty when all went well).
std::vector<std::string> describe(const RestoreReport& report);

// What opening a drawing does after the drawing is open (the desktop's
// "Открыть проект"): restores the project file beside it, when there is one.
// Never throws over the project file: no file gives nothing; an unreadable,
// damaged or newer one gives its message and leaves ws as it was, so the
// drawing stays open and usable. The lines are for the user.
std::vector<std::string> restoreBeside(model::Workspace& ws, const std::filesystem::path& drawing);

// What saving the drawing does afterwards: writes the project file beside the
// drawing's new path. cad::Error when it cannot (the drawing is saved already).
void saveBeside(const model::Workspace& ws, const std::filesystem::path& drawing);

}  // namespace project
