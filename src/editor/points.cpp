// Adding a crossing point picked in the drawing, put in among the points by
// its place along the route, and deleting the current point.
#include <cstddef>
#include <string>

#include "cad/error.hpp"
#include "editor/editor.hpp"
#include "editor/editor_detail.hpp"
#include "model/primitives.hpp"
#include "model/route_path.hpp"
#include "model/value_checks.hpp"

namespace editor {

void addPoint(model::Workspace& ws) {
    model::Piket* piket = ws.piketInWork();
    if (!piket) return;
    // Both fields are read before anything is asked or changed, so a field
    // that is not a number leaves no half-made point behind.
    const double depth =
        model::readNumberField(ws.controls.depthText, ws.decimalSeparator,
                               "Глубина верха трубопровода, м", model::kDepthLimit);
    const double pipe = model::readNumberField(ws.controls.pipeText, ws.decimalSeparator,
                                               "Трубы, мм", model::kDiameterLimit);

    ws.ui.focusDrawing();
    cad::Point3 picked;
    try {
        picked = ws.prompter.getPoint("Укажите пересечение");
    } catch (const cad::Cancelled&) {
        return;
    }
    model::checkPlace(picked.x, picked.y, ws.controls.planUnits, "Указанная точка");
    // A picket passes each place of its route once (the project file holds
    // it to that): a second point on a point's place is said, not added.
    for (std::size_t k = 0; k < piket->points.size(); ++k) {
        const model::PiketPoint& p = piket->points[k];
        if (p.x == picked.x && p.y == picked.y) {
            throw cad::Error("В этом месте уже есть точка " + std::to_string(k + 1) +
                             ": пересечение не добавлено");
        }
    }

    model::PiketPoint point;
    point.x = picked.x;
    point.y = picked.y;
    if (depth != model::kAuto) point.depth = depth;  // a typed -1 is the automatic depth
    point.pipe = pipe;
    // The point goes in where its projection onto the route falls, so a route
    // that comes back near itself keeps its order.
    const std::size_t at = model::insertionIndex(*piket, picked);
    piket->points.insert(piket->points.begin() + static_cast<std::ptrdiff_t>(at), point);
    // No drawing object lies under an added point.
    piket->pointObjects.insert(piket->pointObjects.begin() + static_cast<std::ptrdiff_t>(at),
                               cad::EntityRef{});

    ws.controls.pointCountText = std::to_string(piket->pointCount());
    ws.workPoint = static_cast<int>(at);
    ws.controls.reliefText = detail::kAutoText;
    ws.controls.casingText = detail::numberText(ws, 0.0);
    ws.controls.pointPipeText = model::FixDecimalText(ws.controls.pipeText, ws.decimalSeparator);

    ws.controls.pointNumberText = std::to_string(ws.workPoint + 1);
    detail::showCrossed(ws);
    MoveMarker(ws, picked.x, picked.y);
}

void deletePoint(model::Workspace& ws) {
    model::Piket* piket = detail::piketWithPoints(ws);
    if (!piket) return;
    detail::currentPoint(ws, *piket);  // keeps workPoint inside the points
    const auto d = static_cast<std::ptrdiff_t>(ws.workPoint);
    piket->points.erase(piket->points.begin() + d);
    piket->pointObjects.erase(piket->pointObjects.begin() + d);
    if (ws.workPoint > 0) --ws.workPoint;
    ws.controls.pointCountText = std::to_string(piket->pointCount());
    if (piket->pointCount() > 0)
        ShowWorkPoint(ws, false);
    else
        detail::showCrossed(ws);
}

}  // namespace editor
