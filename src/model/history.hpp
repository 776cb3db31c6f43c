// Undo and redo of the user's operations, without a window. A step is one
// operation: a copy of the working state before and after it (the pickets
// with their typed points, the fields and lists, the sheet options, the
// picket and point in work, the kind table of crossings) and the drawing's own record of what the
// operation did to it (cad::DrawingChange: entities added, changed, erased).
// Undoing puts both back, so that the drawing saved afterwards is the one the
// session would have saved without the step. No limit on the number of steps.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cad/drawing.hpp"
#include "model/workspace.hpp"

namespace model {

// What a step puts back: everything of Workspace but the ports, the drawings
// themselves (their own record does that) and the running flags.

struct WorkState {
    Controls controls;
    ObjectList objectList;  // shared with the workspace while it stays the same
    cad::EntityRef markLine1, markLine2;
    std::vector<Piket> pikets;
    int workPiket = -1;
    int workPoint = 0;
    double piketLength = 0.0, prevChainage = 0.0, horizonLevel = 0.0;
    SheetOptions sheetOptions;
    std::optional<SurveyChoice> surveyChoice;
    CrossKindTable crossKinds;
    CheckRules checkRules;
    int sheetCount = 1;
    bool profileBuilt = false;
    std::vector<cad::EntityRef> pointLines, profileObjects;
    friend bool operator==(const WorkState&, const WorkState&) = default;
};

// The state of ws; its object list is shared with the workspace, not copied.
WorkState captureState(const Workspace& ws);
void restoreState(Workspace& ws, const WorkState& state);

class History {
  public:
    // Runs `operation` as the step `name` (Russian, as the Edit menu names
    // it): recorded when it changed the state or a drawing, whether it
    // completed or not (what a failed operation did stays, and can be taken
    // back). An operation that opens or closes a drawing forgets every step.
    // Inside a running step (an operation started by another) it just runs.
    bool run(Workspace& ws, const std::string& name, const std::function<bool()>& operation);

    bool canUndo() const { return !done_.empty(); }
    bool canRedo() const { return !undone_.empty(); }
    // The step undo or redo would take; empty when there is none.
    std::string undoName() const { return done_.empty() ? std::string() : done_.back().name; }
    std::string redoName() const { return undone_.empty() ? std::string() : undone_.back().name; }

    // False when there is nothing to undo (redo). cad::Error when a drawing
    // was changed outside the steps so that the step no longer fits it; the
    // steps are forgotten then.
    bool undo(Workspace& ws);
    bool redo(Workspace& ws);
    void clear();

  private:
    struct Step {
        std::string name;
        WorkState before, after;
        std::vector<std::pair<cad::Drawing*, cad::DrawingChange>> drawings;
    };
    std::vector<Step> done_, undone_;
    bool running_ = false;
};

}  // namespace model
