#include "model/history.hpp"

#include <algorithm>

#include "cad/error.hpp"

namespace model {

WorkState captureState(const Workspace& ws) {
    WorkState s;
    s.controls = ws.controls;
    s.objectList = ws.objectList;
    s.markLine1 = ws.markLine1;
    s.markLine2 = ws.markLine2;
    s.pikets = ws.pikets;
    s.workPiket = ws.workPiket;
    s.workPoint = ws.workPoint;
    s.piketLength = ws.piketLength;
    s.prevChainage = ws.prevChainage;
    s.horizonLevel = ws.horizonLevel;
    s.sheetOptions = ws.sheetOptions;
    s.surveyChoice = ws.surveyChoice;
    s.crossKinds = ws.crossKinds;
    s.checkRules = ws.checkRules;
    s.sheetCount = ws.sheetCount;
    s.profileBuilt = ws.profileBuilt;
    s.pointLines = ws.pointLines;
    s.profileObjects = ws.profileObjects;
    return s;
}

void restoreState(Workspace& ws, const WorkState& s) {
    ws.controls = s.controls;
    ws.objectList = s.objectList;
    ws.markLine1 = s.markLine1;
    ws.markLine2 = s.markLine2;
    ws.pikets = s.pikets;
    ws.workPiket = s.workPiket;
    ws.workPoint = s.workPoint;
    ws.piketLength = s.piketLength;
    ws.prevChainage = s.prevChainage;
    ws.horizonLevel = s.horizonLevel;
    ws.sheetOptions = s.sheetOptions;
    ws.surveyChoice = s.surveyChoice;
    ws.crossKinds = s.crossKinds;
    ws.checkRules = s.checkRules;
    ws.sheetCount = s.sheetCount;
    ws.profileBuilt = s.profileBuilt;
    ws.pointLines = s.pointLines;
    ws.profileObjects = s.profileObjects;
}

namespace {

// The drawings an operation may change: the project's, the sheet's and the active one.
std::vector<cad::Drawing*> drawingsOf(const Workspace& ws) {
    std::vector<cad::Drawing*> out;
    for (cad::Drawing* d : {ws.doc, ws.sheetDoc, ws.app.active()}) {
        if (d && d->isOpen() && std::find(out.begin(), out.end(), d) == out.end()) {
            out.push_back(d);
        }
    }
    return out;
}

}  // namespace

bool History::run(Workspace& ws, const std::string& name, const std::function<bool()>& operation) {
    if (running_) return operation();
    running_ = true;
    const cad::Drawing* docBefore = ws.doc;
    Step step;
    step.name = name;
    step.before = captureState(ws);
    const std::vector<cad::Drawing*> drawings = drawingsOf(ws);
    for (cad::Drawing* d : drawings) d->beginChange();
    bool completed = false;
    try {
        completed = operation();
    } catch (...) {
        for (cad::Drawing* d : drawings) d->endChange();
        running_ = false;
        clear();
        throw;
    }
    for (cad::Drawing* d : drawings) {
        // A drawing closed by the operation keeps nothing worth undoing.
        cad::DrawingChange change = d->endChange();
        if (d->isOpen() && !change.empty()) step.drawings.emplace_back(d, std::move(change));
    }
    running_ = false;
    if (ws.doc != docBefore || (ws.doc && !ws.doc->isOpen())) {
        clear();
        return completed;
    }
    step.after = captureState(ws);
    // Bringing a panel to the front is no step of its own.
    WorkState shown = step.after;
    shown.controls.front = step.before.controls.front;
    if (step.drawings.empty() && shown == step.before) return completed;
    done_.push_back(std::move(step));
    undone_.clear();
    return completed;
}

bool History::undo(Workspace& ws) {
    if (done_.empty()) return false;
    Step step = std::move(done_.back());
    done_.pop_back();
    try {
        for (auto it = step.drawings.rbegin(); it != step.drawings.rend(); ++it) {
            it->first->undo(it->second);
        }
    } catch (const cad::Error&) {
        clear();
        throw;
    }
    restoreState(ws, step.before);
    undone_.push_back(std::move(step));
    return true;
}

bool History::redo(Workspace& ws) {
    if (undone_.empty()) return false;
    Step step = std::move(undone_.back());
    undone_.pop_back();
    try {
        for (auto& [drawing, change] : step.drawings) drawing->redo(change);
    } catch (const cad::Error&) {
        clear();
        throw;
    }
    restoreState(ws, step.after);
    done_.push_back(std::move(step));
    return true;
}

void History::clear() {
    done_.clear();
    undone_.clear();
}

}  // namespace model
