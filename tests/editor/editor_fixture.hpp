// A workspace on an in-memory drawing that is both the project drawing and
// the sheet drawing, with the marker cross made and pickets filled by hand.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "cad/application.hpp"
#include "cad/prompter.hpp"
#include "editor/editor.hpp"
#include "model/workspace.hpp"
#include "recording_ui.hpp"

namespace editor_test {

struct Xy {
    double x;
    double y;
};

class EditorFixture : public testing::Test, public testutil::RecordingWorkspace {
  protected:
    EditorFixture() {
        drawing = &app.add(std::make_unique<cad::Drawing>());
        ws.doc = drawing;
        ws.sheetDoc = drawing;
        // The cross as opening a project leaves it, away from every test point.
        ws.markLine1 = drawing->addLine({-1300, -700, 0}, {-700, -1300, 0});
        ws.markLine2 = drawing->addLine({-700, -700, 0}, {-1300, -1300, 0});
        ws.decimalSeparator = ',';
    }

    // A picket taken into work whose points stand at `at`, every relief height
    // `relief`, depth 1, pipe 110, casing 0; each point lies on a line of its own.
    model::Piket& piketInWork(const std::vector<Xy>& at, double relief = model::kSameAsPrevious) {
        model::Piket piket;
        for (const Xy& p : at) {
            model::PointRow row{};
            row[model::kX] = p.x;
            row[model::kY] = p.y;
            row[model::kRelief] = relief;
            row[model::kDepth] = 1.0;
            row[model::kPipe] = 110.0;
            piket.points.push_back(model::pointOf(row));
            piket.pointObjects.push_back(drawing->addLine({p.x, p.y - 5, 0}, {p.x, p.y + 5, 0}));
        }
        ws.pikets.push_back(std::move(piket));
        ws.workPiket = ws.piketCount() - 1;
        return ws.pikets.back();
    }

    model::Piket& piket() { return ws.pikets.at(static_cast<std::size_t>(ws.workPiket)); }
    double value(int point, int index) {
        return model::rowOf(piket().points.at(static_cast<std::size_t>(point)))
            .at(static_cast<std::size_t>(index));
    }

    // The centre of the marker cross, checked to be the 600 x 600 cross.
    Xy markerCentre() {
        cad::Point3 a = ws.markLine1.startPoint();
        cad::Point3 b = ws.markLine1.endPoint();
        cad::Point3 c = ws.markLine2.startPoint();
        cad::Point3 d = ws.markLine2.endPoint();
        Xy centre{(a.x + b.x) / 2, (a.y + b.y) / 2};
        EXPECT_DOUBLE_EQ(b.x - a.x, 600.0);
        EXPECT_DOUBLE_EQ(a.y - b.y, 600.0);
        EXPECT_DOUBLE_EQ(c.x - d.x, 600.0);
        EXPECT_DOUBLE_EQ(c.y - d.y, 600.0);
        EXPECT_DOUBLE_EQ((c.x + d.x) / 2, centre.x);
        EXPECT_DOUBLE_EQ((c.y + d.y) / 2, centre.y);
        return centre;
    }

    cad::Drawing* drawing = nullptr;
};

}  // namespace editor_test
