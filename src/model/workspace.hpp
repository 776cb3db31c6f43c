// The working state of a running program (the drawing in hand, the object
// list snapshot, the picket table, the picket and point in work, the values
// the profile run keeps) and the ports through which operations reach the
// user: prompts in the drawing and the user-interface port.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cad/application.hpp"
#include "cad/prompter.hpp"
#include "model/check_rules.hpp"
#include "model/controls.hpp"
#include "model/crossed.hpp"
#include "model/object_list.hpp"
#include "model/piket_point.hpp"
#include "model/ui.hpp"

namespace model {

struct Piket {
    std::vector<cad::EntityRef> elements;      // route elements from start to end
    std::vector<cad::EntityRef> pointObjects;  // a null reference for points added by the editor
    std::vector<PiketPoint> points;            // entry k belongs to pointObjects[k]
    // Marks the picket's sheet and profile in the drawing (model::piketKey),
    // taken when the picket is defined.
    std::string key;
    // The rows of the picket's newest build: the typed values with the
    // chainages and the interpolated heights and depths. The build computes
    // them from `points` and never writes them back; empty before a build.
    std::vector<PointRow> built;

    int pointCount() const { return static_cast<int>(points.size()); }
    int elementCount() const { return static_cast<int>(elements.size()); }
    friend bool operator==(const Piket&, const Piket&) = default;
};

// A point row as the state dump shows it: the typed values, and where the
// newest build computed something (the chainage, a height or depth typed as
// automatic) what it computed.
inline PointRow shownRow(const Piket& piket, std::size_t k) {
    PointRow row = rowOf(piket.points[k]);
    if (piket.built.size() != piket.points.size()) return row;
    const PointRow& built = piket.built[k];
    row[kChainage] = built[kChainage];
    for (int v : {kRelief, kDepth}) {
        if (row[static_cast<std::size_t>(v)] == kAuto) {
            row[static_cast<std::size_t>(v)] = built[static_cast<std::size_t>(v)];
        }
    }
    return row;
}

// How the profile is laid out on sheets. The default is one sheet at 1:500
// along the route and 1:100 in height, however long the picket.
struct SheetOptions {
    bool split = false;                          // a long picket goes on as many sheets as it needs
    double horizontalScale = 500.0;              // 1:500, 1:1000 or 1:2000 along the route
    double verticalScale = 100.0;                // 1:100 or 1:200 in height
    bool datumPerSheet = false;                  // every sheet its own datum, from its own heights
    std::optional<double> datum = std::nullopt;  // the user's datum for every sheet, whole metres
    bool checkMarks = false;  // the checks' findings marked on the sheet (a red ring and number)
    friend bool operator==(const SheetOptions&, const SheetOptions&) = default;
};

// The user's last choice in "Отметки по съёмке", offered again the next
// time and kept with the project.
struct SurveyChoice {
    std::vector<std::string> layers;  // the layers of the spot heights
    double stepMetres = 0.0;          // ground points every so many metres; 0 adds none
    double maxEdgeMetres = 100.0;     // longer triangles are no part of the surface; 0 keeps all
    double nearMetres = 1.0;  // a point just off the surface takes a spot this near; 0: none
    bool replace = false;     // also replace relief heights set by hand

    friend bool operator==(const SurveyChoice&, const SurveyChoice&) = default;
};

struct Workspace {
    Workspace(cad::Application& app, cad::Prompter& prompter, Ui& ui)
        : app(app), prompter(prompter), ui(ui) {}

    cad::Application& app;
    cad::Prompter& prompter;
    Ui& ui;
    Controls controls;

    cad::Drawing* doc = nullptr;       // the drawing opened as the project (acadDoc)
    cad::Drawing* sheetDoc = nullptr;  // where sheets and profiles are drawn (sheetSpace)
    ObjectList objectList;             // every object when the project was opened
    cad::EntityRef markLine1;
    cad::EntityRef markLine2;

    // The picket table. A deleted list row leaves its picket here, so the
    // count only grows until "Новый проект" empties the table.
    std::vector<Piket> pikets;
    int workPiket = -1;
    int workPoint = 0;

    double piketLength = 0.0;
    double prevChainage = 0.0;
    double horizonLevel = 0.0;
    SheetOptions sheetOptions;
    std::optional<SurveyChoice> surveyChoice;  // none until the user first chose
    CrossKindTable crossKinds;                 // the kind of a crossing from its layer
    CheckRules checkRules;                     // what the profile is checked against
    int sheetCount = 1;                        // sheets of the newest profile, one below the other
    bool profileBuilt = false;  // the picket in work has its profile (the layers exist)
    std::vector<cad::EntityRef> pointLines;      // newest profile only
    std::vector<cad::EntityRef> profileObjects;  // newest profile run, creation order

    // A picket end typed or picked this near an end of a route element takes
    // that end (plan units), in the window as in the command line (--snap).
    double endSnapTolerance = 0.05;

    // The decimal separator in force (',' or '.'), found from the system at start.
    char decimalSeparator = ',';

    // Reaction to a changed selection in the sheet drawing (the crossing editor
    // sets it); taking a picket into work connects it to sheetDoc's event.
    std::function<void(Workspace&)> selectionHandler;
    int selectionConnection = 0;  // id of that connection on sheetDoc, 0 when none

    // True while an operation runs under runOperation (no second one may start).
    bool operationRunning = false;
    // True while "Скрывать элементы" keeps every object but the route hidden;
    // a failed operation shows the objects again.
    bool objectsHiddenForPicking = false;

    int piketCount() const { return static_cast<int>(pikets.size()); }

    Piket* piketInWork() {
        if (workPiket < 0 || workPiket >= static_cast<int>(pikets.size())) return nullptr;
        return &pikets[static_cast<std::size_t>(workPiket)];
    }
};

// A workspace without a window: the view only records what was asked of it
// and prompts are answered from a script. The command line runs on it with
// a Ui that prints; tests with one that records.
template <class UiType>
struct HeadlessWorkspace {
    cad::RecordingView view;
    cad::Application app{&view};
    cad::ScriptedPrompter prompter;
    UiType ui;
    Workspace ws{app, prompter, ui};
};

}  // namespace model
