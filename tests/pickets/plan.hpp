// An in-memory plan for the picket tests: a drawing with lines on the type
// layers, a workspace over it with a scripted prompter and a recording UI.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cad/application.hpp"
#include "cad/drawing.hpp"
#include "cad/prompter.hpp"
#include "model/ui.hpp"
#include "model/workspace.hpp"
#include "recording_ui.hpp"

namespace pickets::testing {

inline const std::string kRoute = "Трасса - Kernavisto";
inline const std::string kConnections = "Подводы - Kernavisto";
inline const std::string kWater = "Водопровод - Kernavisto";
inline const std::string kAsphalt = "Асфальт - Kernavisto";

struct Plan : testutil::RecordingWorkspace {
    cad::Drawing& d;

    Plan() : d(app.add(std::make_unique<cad::Drawing>())) {
        ws.doc = &d;
        ws.sheetDoc = &d;
        ws.decimalSeparator = '.';
    }

    cad::EntityRef line(const std::string& layer, double x1, double y1, double x2, double y2) {
        cad::EntityRef e = d.addLine({x1, y1, 0}, {x2, y2, 0});
        e.setLayer(layer);
        return e;
    }
    cad::EntityRef route(double x1, double y1, double x2, double y2) {
        return line(kRoute, x1, y1, x2, y2);
    }
    // The object list as opening the project takes it.
    void snapshot() { ws.objectList = d.modelSpace(); }

    void pick(double x, double y) { prompter.pushPoint({x, y, 0}); }
};

// A picket over the elements, not yet built.
inline model::Piket piketOf(std::vector<cad::EntityRef> elements) {
    model::Piket p;
    p.elements = std::move(elements);
    return p;
}

// The x of each of the picket's points, in order.
inline std::vector<double> xsOf(const model::Piket& p) {
    std::vector<double> xs;
    for (const model::PiketPoint& point : p.points) xs.push_back(point.x);
    return xs;
}

}  // namespace pickets::testing
