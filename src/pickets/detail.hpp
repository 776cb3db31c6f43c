// Pieces the picket operations share inside this folder: the initial values
// read from their fields, the busy indicator and the route-only view that
// undo themselves on every way out of an operation.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/primitives.hpp"
#include "model/workspace.hpp"

namespace pickets::detail {

struct InitialValues {
    double depth = 0.0;  // depth field Edit2, m
    double pipe = 0.0;   // pipe field Edit8, mm
};

// Both fields read before anything is built; cad::Error naming the field otherwise.
InitialValues readInitialValues(const model::Workspace& ws);

using model::onLayerList;

// Shows the busy indicator; hides it again when the operation leaves, also by
// an exception.
class Busy {
  public:
    explicit Busy(model::Ui& ui) : ui_(ui) { show(); }
    ~Busy() { hide(); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
    void show() {
        ui_.setBusy(true);
        shown_ = true;
    }
    void hide() {
        if (!shown_) return;
        ui_.setBusy(false);
        shown_ = false;
    }

  private:
    model::Ui& ui_;
    bool shown_ = false;
};

// "Скрывать элементы" for the length of one action: model::hideForPicking on
// entry; every object shown again by showAll() or on leaving by an exception.
class RouteOnlyView {
  public:
    explicit RouteOnlyView(model::Workspace& ws);
    ~RouteOnlyView();
    RouteOnlyView(const RouteOnlyView&) = delete;
    RouteOnlyView& operator=(const RouteOnlyView&) = delete;
    void showAll();

  private:
    model::Workspace& ws_;
};

// The chain of route elements that joins the picked start to the picked end,
// found by a breadth-first search backwards from the end. Elements are
// touched by CoordKey; an element is queued at most once, so a ring of route
// elements ends the search too. The search works on the points it read and
// changes nothing in the drawing.
// CoordKey keeps four figures of a coordinate: on a survey with coordinates
// in the millions its cell is a kilometre wide and every element of the
// district would touch every other. Ends further apart than reach (drawing
// units; in either axis) therefore never touch, whatever their keys. Ends
// within kJointTolerance of each other always touch.
struct RouteChain {
    std::vector<cad::EntityRef> elements;  // from the picket start to its end
    std::vector<cad::EntityRef> reversed;  // every element the search turned, also off the chain
};
std::optional<RouteChain> findRouteChain(const std::vector<cad::EntityRef>& routeList,
                                         cad::Point3 start, cad::Point3 end, double reach);

// The reach of findRouteChain for a plan: a metre of terrain, which is wider
// than a CoordKey cell wherever the cell itself is sound.
double touchReach(model::PlanUnits units);

// Swaps start and end point of each line among the elements in the drawing;
// other kinds keep the direction they were drawn in.
void reverseInDrawing(const std::vector<cad::EntityRef>& elements);

// Start and end of a picket made of picked elements: the end of the first
// element that does not meet the second, the end of the last that does not
// meet the one before (ends meet when X and Y round to the same whole numbers).
// One element gives its own start and end.
struct Ends {
    cad::Point3 start;
    cad::Point3 end;
};
Ends sequenceEnds(const std::vector<cad::EntityRef>& elements);

// Appends the picket as a new entry of the table and its row to the picket list.
void appendPiket(model::Workspace& ws, model::Piket piket);

}  // namespace pickets::detail
