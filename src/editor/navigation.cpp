// Opening the editor, stepping between points, showing the current point in
// the panel and in the drawing, the keys of the editor's fields, and following
// the selection of a point line in the sheet drawing.
#include <algorithm>
#include <string>

#include "editor/editor.hpp"
#include "editor/editor_detail.hpp"
#include "model/primitives.hpp"

namespace editor {

namespace detail {

model::Piket* piketWithPoints(model::Workspace& ws) {
    model::Piket* piket = ws.piketInWork();
    if (!piket || piket->pointCount() == 0) return nullptr;
    return piket;
}

model::PiketPoint& currentPoint(model::Workspace& ws, model::Piket& piket) {
    ws.workPoint = std::clamp(ws.workPoint, 0, piket.pointCount() - 1);
    return piket.points[static_cast<std::size_t>(ws.workPoint)];
}

std::string numberText(const model::Workspace& ws, double value) {
    return model::formatNumber(value, ws.decimalSeparator);
}

}  // namespace detail

namespace {

constexpr double kMarkerHalf = 300.0;
constexpr double kZoomMagnification = 25000.0;
const char* const kPointLineLayer = "Vline-Kernavisto";

// Makes `index` current and shows it; stepping forward gives a point still
// marked "same as previous" the previous point's relief height (automatic on
// point 0, which has no point before it).
void stepTo(model::Workspace& ws, model::Piket& piket, int index, bool forward) {
    ws.workPoint = std::clamp(index, 0, piket.pointCount() - 1);
    if (forward) {
        auto k = static_cast<std::size_t>(ws.workPoint);
        model::Relief& relief = piket.points[k].relief;
        if (relief.rule == model::Relief::Rule::AsPrevious) {
            relief = k == 0 ? model::Relief::automatic() : piket.points[k - 1].relief;
        }
    }
    ShowWorkPoint(ws);
}

void placeLine(cad::EntityRef& line, cad::Point3 start, cad::Point3 end) {
    line.setStartPoint(start);
    line.setEndPoint(end);
    line.setVisible(true);
    line.update();
}

}  // namespace

void open(model::Workspace& ws) {
    model::Piket* piket = ws.piketInWork();
    if (!piket) return;
    ws.controls.front = model::PanelId::Editor;
    ws.controls.pointCountText = std::to_string(piket->pointCount());
    ws.controls.pointNumberText = piket->pointCount() > 0 ? "1" : "0";
    ws.workPoint = 0;
    detail::showCrossed(ws);
    if (piket->pointCount() == 0) return;
    model::Relief& relief = piket->points[0].relief;
    if (relief.rule == model::Relief::Rule::AsPrevious) relief = model::Relief::automatic();
    previous(ws);
}

void first(model::Workspace& ws) {
    if (model::Piket* piket = detail::piketWithPoints(ws)) stepTo(ws, *piket, 0, false);
}

void previous(model::Workspace& ws) {
    model::Piket* piket = detail::piketWithPoints(ws);
    if (!piket) return;
    int current = std::clamp(ws.workPoint, 0, piket->pointCount() - 1);
    stepTo(ws, *piket, current - 1, false);
}

void next(model::Workspace& ws) {
    model::Piket* piket = detail::piketWithPoints(ws);
    if (!piket) return;
    int current = std::clamp(ws.workPoint, 0, piket->pointCount() - 1);
    stepTo(ws, *piket, current + 1, true);
}

void last(model::Workspace& ws) {
    if (model::Piket* piket = detail::piketWithPoints(ws)) {
        stepTo(ws, *piket, piket->pointCount() - 1, true);
    }
}

void ShowWorkPoint(model::Workspace& ws, bool zoom) {
    model::Piket* piket = detail::piketWithPoints(ws);
    if (!piket) return;
    const model::PiketPoint& point = detail::currentPoint(ws, *piket);
    ws.controls.pointNumberText = std::to_string(ws.workPoint + 1);
    // A point not yet stepped onto shows its marker (-2) until it takes the
    // previous point's height.
    ws.controls.reliefText = point.relief.rule == model::Relief::Rule::Auto
                                 ? std::string(detail::kAutoText)
                                 : detail::numberText(ws, model::rowOf(point)[model::kRelief]);
    ws.controls.casingText = detail::numberText(ws, point.casing);
    ws.controls.pointPipeText = detail::numberText(ws, point.pipe);
    detail::showCrossed(ws);
    double x = point.x;
    double y = point.y;
    if (zoom && ws.doc && ws.app.isActive(*ws.doc)) {
        ws.app.zoomCenter({x, y, 0.0}, kZoomMagnification);
    }
    MoveMarker(ws, x, y);
}

void MoveMarker(model::Workspace& ws, double x, double y) {
    const double h = kMarkerHalf;
    placeLine(ws.markLine1, {x - h, y + h, 0.0}, {x + h, y - h, 0.0});
    placeLine(ws.markLine2, {x + h, y + h, 0.0}, {x - h, y - h, 0.0});
}

void selectPoint(model::Workspace& ws, int index) {
    model::Piket* piket = ws.piketInWork();
    if (!piket) throw cad::Error("Нет пикета в работе");
    if (index < 0 || index >= piket->pointCount()) {
        throw cad::Error("В пикете в работе нет точки " + std::to_string(index + 1) +
                         " (всего точек: " + std::to_string(piket->pointCount()) + ")");
    }
    ws.workPoint = index;
    ShowWorkPoint(ws);
}

bool keyUp(model::Workspace& ws, Field field, Key key) {
    // The arrows act alike in every field; End ("Авто") and Home ("Указать")
    // are the relief height's, but Home in the crossed top picks that.
    const bool crossed =
        field == Field::CrossTop || field == Field::CrossDiameter || field == Field::CrossKind;
    if (crossed && (key == Key::End || key == Key::Home)) {
        if (field != Field::CrossTop || key != Key::Home) return false;
        pickCrossTop(ws);
        return true;
    }
    struct KeyAction {
        Key key;
        void (*act)(model::Workspace&);
    };
    static constexpr KeyAction kActions[] = {
        {Key::Left, first}, {Key::Up, next},     {Key::Down, previous},
        {Key::Right, last}, {Key::End, setAuto}, {Key::Home, pickRelief},
    };
    for (const KeyAction& a : kActions) {
        if (a.key != key) continue;
        a.act(ws);
        return true;
    }
    return false;  // Enter and the other keys do nothing on release
}

bool keyPress(model::Workspace& ws, Field field, Key key) {
    if (key != Key::Enter) return false;
    switch (field) {
        case Field::Relief:
            takeOverRelief(ws);
            break;
        case Field::Casing:
            takeOverCasing(ws);
            break;
        case Field::Pipe:
            takeOverPipe(ws);
            break;
        case Field::CrossTop:
            takeOverCrossTop(ws);
            break;
        case Field::CrossDiameter:
            takeOverCrossDiameter(ws);
            break;
        case Field::CrossKind:
            takeOverCrossKind(ws);
            break;
    }
    return true;
}

void onSelectionChanged(model::Workspace& ws) {
    model::Piket* piket = detail::piketWithPoints(ws);
    if (!piket || !ws.sheetDoc) return;
    // pointLines describes the newest profile, which may have been drawn for
    // fewer points than the picket has now: only lines that exist can match.
    const std::size_t lines =
        std::min(ws.pointLines.size(), static_cast<std::size_t>(piket->pointCount()));
    const std::vector<cad::EntityRef> selected = ws.sheetDoc->pickFirst();
    int found = -1;
    for (const cad::EntityRef& item : selected) {
        ws.ui.processEvents();
        if (item.layer() != kPointLineLayer) continue;
        for (std::size_t j = 0; j < lines; ++j) {
            if (item == ws.pointLines[j]) found = static_cast<int>(j);
        }
    }
    if (found < 0) return;
    ws.workPoint = found;
    ShowWorkPoint(ws);
}

}  // namespace editor
