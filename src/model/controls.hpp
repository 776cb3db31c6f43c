// The main window's state as plain data: what its panels show and what the
// operations read from and write to them. The window mirrors this both ways
// and maps each member to its component in one place; tests assert on it
// directly. Members are named by what they hold.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace model {

enum class PanelId { Project, InitialParameters, Types, Pikets, Editor };

// The four object types, each with its list of layers.
enum class TypeList { Route, Connections, Communications, Other };
inline constexpr std::size_t kTypeListCount = 4;

// The units the plan is drawn in. Survey plans are often drawn in metres;
// the program measures the terrain in millimetres.
enum class PlanUnits { Millimetres, Centimetres, Metres };

struct PiketRow {
    std::string caption;  // "Пикет N"
    int stateIndex = 0;   // index into Workspace::pikets
    friend bool operator==(const PiketRow&, const PiketRow&) = default;
};

struct Controls {
    // Type layer lists (route, connections, communications, other crossings),
    // indexed by TypeList.
    std::array<std::vector<std::string>, kTypeListCount> typeLists{{
        {"Трасса - Kernavisto"},
        {"Подводы - Kernavisto"},
        {"Водопровод - Kernavisto", "Теплотрасса - Kernavisto"},
        {"Асфальт - Kernavisto"},
    }};
    // Selected item of each list, -1 when none; each list shows its first item at start.
    std::array<int, kTypeListCount> typeListIndex{0, 0, 0, 0};

    std::vector<std::string>& typeList(TypeList t) {
        return typeLists[static_cast<std::size_t>(t)];
    }
    const std::vector<std::string>& typeList(TypeList t) const {
        return typeLists[static_cast<std::size_t>(t)];
    }
    int& typeListSelection(TypeList t) { return typeListIndex[static_cast<std::size_t>(t)]; }

    // Initial parameters.
    std::string depthText = "1";    // depth of the pipe top, m
    std::string pipeText = "110";   // pipe diameter, mm
    std::string beddingText = "0";  // bedding, m (nothing reads it)

    // Units of the plan drawing: what it measures is converted to millimetres
    // of terrain, and the sheet is drawn in these units at the same paper size.
    PlanUnits planUnits = PlanUnits::Millimetres;
    // Where the sheet's lower-left corner stands in the drawing, drawing units.
    double sheetOriginX = 0.0;
    double sheetOriginY = 0.0;

    bool hideWhilePicking = false;  // "Скрывать элементы"
    std::string projectFile;        // file name of the project drawing

    // Picket list.
    std::vector<PiketRow> piketRows;
    int selectedRow = -1;  // index into piketRows, -1 when none
    // Pickets whose rows show them as broken, by index into Workspace::pikets:
    // why they cannot be used (a drawing object the project file names is gone).
    std::map<int, std::string> brokenPikets;

    std::string statusText;  // the status bar's first panel

    // Crossing editor.
    std::string pointCountText = "0";   // point count
    std::string pointNumberText = "0";  // current point number (1-based)
    std::string reliefText;             // relief height
    std::string casingText;             // casing diameter
    std::string pointPipeText;          // pipe diameter
    // The crossed utility of the point in work (model::crossedAt): its top, m,
    // and diameter, mm, empty when not set; its kind, 0 "по слою" (from the
    // kind table) or 1 + the index into kCrossKinds.
    std::string crossTopText;
    std::string crossDiameterText;
    int crossKindIndex = 0;
    std::string crossedFoundText;  // how the values were found, the kind the table gives
    std::string crossedNote;       // why the point takes no crossed values; empty when it does
    bool liveRebuild = false;  // "Перестраивать сразу": a change of values rebuilds

    PanelId front = PanelId::Project;

    // Enabled flags of the buttons the operations switch.
    bool typesEnabled = false;          // "Выбор типов коммуникаций"
    bool piketsEnabled = false;         // "Пикеты"
    bool buildEnabled = false;          // "Построить профиль"
    bool editorEnabled = false;         // "Параметры пересечений пикета"
    bool takeIntoWorkEnabled = true;    // "Взять в работу"
    bool initialParamsEnabled = false;  // "Первоначальные параметры"
    bool hideSelectedEnabled = true;    // "Скрыть выбранное"
    bool showAllEnabled = true;         // "Показать все"

    friend bool operator==(const Controls&, const Controls&) = default;
};

}  // namespace model
