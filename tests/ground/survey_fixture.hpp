// Survey entities put into an in-memory drawing the way a surveyor's drawing
// holds them: height texts, POINTs, block references and 3D polylines.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cad/application.hpp"
#include "cad/drawing.hpp"
#include "cad/prompter.hpp"
#include "model/workspace.hpp"
#include "recording_ui.hpp"

namespace ground_test {

inline const std::string kHeights = "Отметки";

inline cad::EntityRef addHeightText(cad::Drawing& d, const std::string& text, double x, double y,
                                    const std::string& layer = kHeights, double height = 800.0) {
    cad::EntityRef e = d.addText(text, {x, y, 0.0}, height);
    e.setLayer(layer);
    return e;
}

inline cad::EntityRef addPoint(cad::Drawing& d, double x, double y, double z,
                               const std::string& layer = kHeights) {
    cad::Entity e;
    e.dxfType = "POINT";
    e.layer = layer;
    e.geom = cad::PointGeom{{x, y, z}};
    return d.addEntity(std::move(e));
}

inline cad::EntityRef add3dPolyline(cad::Drawing& d, const std::vector<cad::Point3>& vertices,
                                    const std::string& layer = kHeights) {
    cad::Entity e;
    e.dxfType = "POLYLINE";
    e.layer = layer;
    cad::PolylineGeom g;
    g.is3d = true;
    g.lightweight = false;
    for (const cad::Point3& p : vertices) g.vertices.push_back({p.x, p.y, p.z, 0.0});
    e.geom = std::move(g);
    return d.addEntity(std::move(e));
}

inline cad::EntityRef addCircle(cad::Drawing& d, double x, double y, double z,
                                const std::string& layer = kHeights) {
    cad::Entity e;
    e.dxfType = "CIRCLE";
    e.layer = layer;
    e.geom = cad::CircleGeom{{x, y, z}, 350.0};
    return d.addEntity(std::move(e));
}

// A flat polyline lifted to its height, as contour lines are drawn.
inline cad::EntityRef addContour(cad::Drawing& d, const std::vector<std::pair<double, double>>& xy,
                                 double elevation, const std::string& layer = kHeights) {
    cad::Entity e;
    e.dxfType = "LWPOLYLINE";
    e.layer = layer;
    cad::PolylineGeom g;
    g.elevation = elevation;
    for (const auto& [x, y] : xy) g.vertices.push_back({x, y, 0.0, 0.0});
    e.geom = std::move(g);
    return d.addEntity(std::move(e));
}

// A workspace over one drawing, both the plan and the sheets, with one
// empty picket in work.
class OnePiket : public testing::Test {
  protected:
    OnePiket() : ws(app, prompter, ui) {
        ws.doc = &doc;
        ws.sheetDoc = &doc;
        ws.pikets.emplace_back();
        ws.workPiket = 0;
    }

    cad::Application app;
    cad::ScriptedPrompter prompter;
    testutil::RecordingUi ui;
    cad::Drawing doc;
    model::Workspace ws;
};

}  // namespace ground_test
