// Adding a crossing point picked in the drawing, ordered in among the points
// by nearest neighbour, and deleting the current point.
#include <cmath>
#include <string>
#include <utility>

#include "editor/editor.hpp"
#include "editor/editor_detail.hpp"
#include "model/primitives.hpp"

namespace editor {

namespace {

double distance(const model::PointRow& a, const model::PointRow& b) {
    double dx = b[model::kX] - a[model::kX];
    double dy = b[model::kY] - a[model::kY];
    return std::sqrt(dx * dx + dy * dy);
}

// Orders the points from point 0 by nearest neighbour and returns where the
// point at `tracked` ended up. Only points strictly closer than the distance
// from point 0 to the point before the newly appended last one take part:
// with point 0 the picket start and that point its end, a point beyond the
// picket stays where it is. A step that finds no such point changes nothing.
int reorderByNearest(model::Piket& piket, int tracked) {
    const int n = piket.pointCount();
    if (n < 2) return tracked;
    auto row = [&piket](int k) -> model::PointRow& {
        return piket.points[static_cast<std::size_t>(k)];
    };
    const double bound = distance(row(0), row(n - 2));
    for (int i = 0; i <= n - 2; ++i) {
        int nearest = -1;
        double nearestDistance = 0.0;
        for (int j = i + 1; j < n; ++j) {
            double d = distance(row(i), row(j));
            if (d < bound && (nearest < 0 || d < nearestDistance)) {
                nearest = j;
                nearestDistance = d;
            }
        }
        if (nearest < 0 || nearest == i + 1) continue;
        std::swap(row(nearest), row(i + 1));
        std::swap(piket.pointObjects[static_cast<std::size_t>(nearest)],
                  piket.pointObjects[static_cast<std::size_t>(i + 1)]);
        if (tracked == nearest) {
            tracked = i + 1;
        } else if (tracked == i + 1) {
            tracked = nearest;
        }
    }
    return tracked;
}

}  // namespace

void addPoint(model::Workspace& ws) {
    model::Piket* piket = ws.piketInWork();
    if (!piket) return;
    // Both fields are read before anything is asked or changed, so a field
    // that is not a number leaves no half-made point behind.
    const double depth =
        model::readNumberField(ws.controls.depthText, ws.decimalSeparator,
                               "Глубина верха трубопровода, м", model::kFieldRange);
    const double pipe = model::readNumberField(ws.controls.pipeText, ws.decimalSeparator,
                                               "Трубы, мм", model::kFieldRange);

    ws.ui.focusDrawing();
    cad::Point3 picked;
    try {
        picked = ws.prompter.getPoint("Укажите пересечение");
    } catch (const cad::Cancelled&) {
        return;
    }

    model::PointRow row{};
    row[model::kX] = picked.x;
    row[model::kY] = picked.y;
    row[model::kRelief] = model::kAuto;
    row[model::kDepth] = depth;
    row[model::kPipe] = pipe;
    piket->points.push_back(row);
    piket->pointObjects.emplace_back();  // no drawing object lies under an added point

    ws.controls.pointCountText = std::to_string(piket->pointCount());
    ws.workPoint = piket->pointCount() - 1;
    ws.controls.reliefText = detail::kAutoText;
    ws.controls.casingText = detail::numberText(ws, 0.0);
    ws.controls.pointPipeText = model::FixDecimalText(ws.controls.pipeText, ws.decimalSeparator);

    ws.workPoint = reorderByNearest(*piket, ws.workPoint);
    ws.controls.pointNumberText = std::to_string(ws.workPoint + 1);
    MoveMarker(ws, picked.x, picked.y);
}

void deletePoint(model::Workspace& ws) {
    model::Piket* piket = detail::piketWithPoints(ws);
    if (!piket) return;
    detail::currentRow(ws, *piket);  // keeps workPoint inside the points
    const auto d = static_cast<std::ptrdiff_t>(ws.workPoint);
    piket->points.erase(piket->points.begin() + d);
    piket->pointObjects.erase(piket->pointObjects.begin() + d);
    if (ws.workPoint > 0) --ws.workPoint;
    ws.controls.pointCountText = std::to_string(piket->pointCount());
    if (piket->pointCount() > 0) ShowWorkPoint(ws, false);
}

}  // namespace editor
