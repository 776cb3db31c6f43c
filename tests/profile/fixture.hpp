// A workspace with an in-memory plan drawing that also takes the sheet, a
// picket in work filled by hand, and readers for what a profile run drew.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "cad/application.hpp"
#include "cad/prompter.hpp"
#include "model/workspace.hpp"
#include "profile/build.hpp"
#include "recording_ui.hpp"

namespace profile_test {

inline const std::string kRouteLayer = "Трасса - Kernavisto";
inline const std::string kConnectionLayer = "Подводы - Kernavisto";
inline const std::string kWaterLayer = "Водопровод - Kernavisto";

struct DrawnText {
    std::string text;
    cad::Point3 at;
    double rotationDeg = 0.0;
    double height = 0.0;
    double widthFactor = 0.0;
    std::string layer;
};

struct DrawnLine {
    cad::Point3 start;
    cad::Point3 end;
    std::string layer;
    int lineweight = 0;
};

class ProfileFixture : public testing::Test, public testutil::RecordingWorkspace {
  protected:
    ProfileFixture() {
        ws.doc = &doc;
        ws.sheetDoc = &doc;
        doc.addLayer("Kernavisto");
        ws.pikets.emplace_back();
        ws.workPiket = 0;
        ws.workPoint = 0;
    }

    model::Piket& piket() { return ws.pikets[0]; }

    // A point of the picket; its object is a short line on the given layer
    // through the point (an empty layer gives a point without an object).
    void addPoint(double x, double y, double relief, double depth = 1.0,
                  const std::string& layer = kRouteLayer, double pipe = 110.0,
                  double casing = 0.0) {
        cad::EntityRef object;
        if (!layer.empty()) {
            object = doc.addLine({x, y, 0.0}, {x + 1000.0, y, 0.0});
            object.setLayer(layer);
        }
        addPointWith(object, x, y, relief, depth, pipe, casing);
    }

    void addPointWith(cad::EntityRef object, double x, double y, double relief, double depth = 1.0,
                      double pipe = 110.0, double casing = 0.0) {
        model::PointRow row{};
        row[model::kX] = x;
        row[model::kY] = y;
        row[model::kRelief] = relief;
        row[model::kDepth] = depth;
        row[model::kPipe] = pipe;
        row[model::kCasing] = casing;
        piket().pointObjects.push_back(object);
        piket().points.push_back(model::pointOf(row));
    }

    // A value as the newest run computed it (as typed before any run).
    double value(int point, int v) {
        const auto k = static_cast<std::size_t>(point);
        return (piket().built.empty() ? model::rowOf(piket().points[k]) : piket().built[k])[v];
    }

    std::vector<DrawnText> texts() const {
        std::vector<DrawnText> out;
        for (const cad::EntityRef& e : ws.profileObjects) {
            if (const auto* t = cad::geomIf<cad::TextGeom>(e.entity().geom)) {
                out.push_back(
                    {t->text, t->insertion, t->rotation, t->height, t->widthFactor, e.layer()});
            }
        }
        return out;
    }

    std::vector<DrawnLine> lines() const {
        std::vector<DrawnLine> out;
        for (const cad::EntityRef& e : ws.profileObjects) {
            if (const auto* l = cad::geomIf<cad::LineGeom>(e.entity().geom)) {
                out.push_back({l->start, l->end, e.layer(), e.lineweight()});
            }
        }
        return out;
    }

    // Texts whose insertion point has the given y (the row they stand in).
    std::vector<DrawnText> textsAtY(double y) const {
        std::vector<DrawnText> out;
        for (const DrawnText& t : texts()) {
            if (std::fabs(t.at.y - y) < 1e-6) out.push_back(t);
        }
        return out;
    }

    // The run refused with one message holding `words` and drew nothing.
    void expectRefusedWith(const std::string& words) const {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].find(words), std::string::npos) << ui.messages[0];
        EXPECT_TRUE(ws.profileObjects.empty());
    }

    std::optional<DrawnLine> lineFrom(double x1, double y1, double x2, double y2) const {
        for (const DrawnLine& l : lines()) {
            if (std::fabs(l.start.x - x1) < 1e-6 && std::fabs(l.start.y - y1) < 1e-6 &&
                std::fabs(l.end.x - x2) < 1e-6 && std::fabs(l.end.y - y2) < 1e-6) {
                return l;
            }
        }
        return std::nullopt;
    }

    std::size_t dimensionCount() {
        std::size_t n = 0;
        for (const cad::EntityRef& e : doc.modelSpace()) n += e.dxfType() == "DIMENSION";
        return n;
    }

    cad::Drawing doc;
};

}  // namespace profile_test
