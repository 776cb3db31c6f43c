// Plans drawn in metres: the same route drawn in metres and in millimetres
// gives the same sheet, the metre one a thousandth of the size; the sheet can
// stand elsewhere than at the origin; implausible route lengths are warned of.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "cad/application.hpp"
#include "cad/drawing.hpp"
#include "cad/prompter.hpp"
#include "model/units.hpp"
#include "model/workspace.hpp"
#include "pickets/pickets.hpp"
#include "profile/build.hpp"
#include "recording_ui.hpp"
#include "sheet/sheet.hpp"

namespace {

const std::string kRoute = "Трасса - Kernavisto";
const std::string kWater = "Водопровод - Kernavisto";

// A survey-like plan: a polyline route with an arc, far from the origin, and
// pipes crossing it; every coordinate times `scale` (1 for metres, 1000 for
// millimetres).
struct Plan {
    cad::Application app;
    cad::ScriptedPrompter prompter;
    testutil::RecordingUi ui;
    model::Workspace ws{app, prompter, ui};
    cad::Drawing& d;
    std::size_t planEntities = 0;

    Plan(double scale, model::PlanUnits units) : d(app.add(std::make_unique<cad::Drawing>())) {
        ws.doc = &d;
        ws.decimalSeparator = ',';
        ws.controls.planUnits = units;
        const double x0 = 3222000.0 * scale, y0 = 541000.0 * scale;
        cad::Entity route;
        route.dxfType = "LWPOLYLINE";
        route.layer = kRoute;
        cad::PolylineGeom g;
        g.vertices = {{x0, y0, 0, 0},
                      {x0 + 60 * scale, y0 + 5 * scale, 0, 0.4},
                      {x0 + 110 * scale, y0 + 30 * scale, 0, 0},
                      {x0 + 180 * scale, y0 + 32 * scale, 0, 0}};
        route.geom = g;
        cad::EntityRef r = d.addEntity(route);
        r.setLayer(kRoute);
        for (double x : {20.0, 45.0, 130.0, 160.0}) {
            d.addLine({x0 + x * scale, y0 - 50 * scale, 0}, {x0 + x * scale, y0 + 80 * scale, 0})
                .setLayer(kWater);
        }
        ws.objectList = d.modelSpace();
        prompter.pushEntity(r);
        prompter.pushCancel();
        pickets::addBySequence(ws);
        planEntities = d.modelSpace().size();
        ws.controls.selectedRow = 0;
        sheet::takeIntoWork(ws);
        model::Piket& p = ws.pikets.at(0);
        for (std::size_t k = 0; k < p.points.size(); ++k) {
            p.points[k].relief = model::Relief::typed(150.0 + 0.25 * static_cast<double>(k % 5));
            p.points[k].depth = 1.5 + 0.1 * static_cast<double>(k % 3);
        }
        profile::build(ws);
    }

    // What the sheet and the profile added to the drawing, in drawing order.
    std::vector<cad::EntityRef> sheet() const {
        std::vector<cad::EntityRef> all = d.modelSpace();
        return {all.begin() + static_cast<std::ptrdiff_t>(planEntities), all.end()};
    }
};

bool near(double a, double b) {
    return std::fabs(a - b) <= 1e-6 * std::max({1.0, std::fabs(a), std::fabs(b)});
}

}  // namespace

TEST(PlanUnits, AMetrePlanGivesTheSheetOfTheSamePlanInMillimetresAThousandthTheSize) {
    Plan metres(1.0, model::PlanUnits::Metres);
    Plan millimetres(1000.0, model::PlanUnits::Millimetres);
    ASSERT_TRUE(metres.ui.messages.empty()) << metres.ui.messages.front();
    ASSERT_TRUE(millimetres.ui.messages.empty()) << millimetres.ui.messages.front();
    EXPECT_TRUE(metres.ws.profileBuilt);
    // Lengths are millimetres of terrain in both.
    EXPECT_NEAR(metres.ws.piketLength, millimetres.ws.piketLength, 1e-3);
    EXPECT_GT(metres.ws.piketLength, 180000.0);
    const auto& pm = metres.ws.pikets[0].built;
    const auto& pmm = millimetres.ws.pikets[0].built;
    ASSERT_EQ(pm.size(), pmm.size());
    for (std::size_t k = 0; k < pm.size(); ++k) {
        EXPECT_NEAR(pm[k][model::kChainage], pmm[k][model::kChainage], 1e-3) << k;
    }
    EXPECT_EQ(metres.ws.horizonLevel, millimetres.ws.horizonLevel);

    std::vector<cad::EntityRef> a = metres.sheet(), b = millimetres.sheet();
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GT(a.size(), 100u);
    std::size_t texts = 0, lines = 0, dimensions = 0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        const cad::Entity& ea = a[k].entity();
        const cad::Entity& eb = b[k].entity();
        ASSERT_EQ(ea.dxfType, eb.dxfType) << k;
        EXPECT_EQ(ea.layer, eb.layer) << k;
        if (const auto* la = cad::geomIf<cad::LineGeom>(ea.geom)) {
            const auto& lb = cad::geomAs<cad::LineGeom>(eb.geom);
            EXPECT_TRUE(near(la->start.x * 1000, lb.start.x) &&
                        near(la->start.y * 1000, lb.start.y) && near(la->end.x * 1000, lb.end.x) &&
                        near(la->end.y * 1000, lb.end.y))
                << k;
            ++lines;
        } else if (const auto* ta = cad::geomIf<cad::TextGeom>(ea.geom)) {
            const auto& tb = cad::geomAs<cad::TextGeom>(eb.geom);
            EXPECT_EQ(ta->text, tb.text) << k;
            EXPECT_TRUE(near(ta->insertion.x * 1000, tb.insertion.x) &&
                        near(ta->insertion.y * 1000, tb.insertion.y))
                << k << " " << ta->text;
            EXPECT_TRUE(near(ta->height * 1000, tb.height)) << k;
            ++texts;
        } else if (ea.dxfType == "DIMENSION") {
            ++dimensions;
        }
    }
    EXPECT_GT(texts, 40u);
    EXPECT_GT(lines, 80u);
    EXPECT_GT(dimensions, 0u);  // the route bends
    // The sheet of the metre plan is 630 m by 148.5 m: 1260 x 297 mm at 1:500.
    const auto& frame = cad::geomAs<cad::LineGeom>(a[0].entity().geom);
    EXPECT_TRUE(near(frame.end.x, 630.0));
}

TEST(PlanUnits, TheSheetStandsWhereItIsPut) {
    Plan here(1.0, model::PlanUnits::Metres);
    model::Workspace& ws = here.ws;
    ws.controls.sheetOriginX = 3222000.0;
    ws.controls.sheetOriginY = 540500.0;
    const std::size_t before = here.d.modelSpace().size();
    sheet::takeIntoWork(ws);
    std::vector<cad::EntityRef> all = here.d.modelSpace();
    ASSERT_GT(all.size(), before);
    const auto& frame = cad::geomAs<cad::LineGeom>(all[before].entity().geom);
    EXPECT_EQ(frame.start, (cad::Point3{3222000.0, 540500.0, 0.0}));
    EXPECT_TRUE(near(frame.end.x, 3222630.0));
}

TEST(PlanUnits, AnImplausibleRouteLengthIsWarnedOfWithTheUnitsThatFit) {
    cad::Application app;
    cad::ScriptedPrompter prompter;
    testutil::RecordingUi ui;
    model::Workspace ws{app, prompter, ui};
    // 450 units: in millimetres under a metre of terrain, in metres plausible.
    std::vector<std::string> w = model::unitsWarnings(ws, 450.0);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_NE(w[0].find("0,45 м"), std::string::npos) << w[0];
    EXPECT_NE(w[1].find("--units m"), std::string::npos) << w[1];
    ws.controls.planUnits = model::PlanUnits::Metres;
    EXPECT_TRUE(model::unitsWarnings(ws, 450.0).empty());
    // 450 km of terrain drawn in metres: millimetres would make it 450 m.
    w = model::unitsWarnings(ws, 450000.0);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_NE(w[1].find("--units mm"), std::string::npos) << w[1];
    EXPECT_EQ(model::parsePlanUnits("cm"), model::PlanUnits::Centimetres);
    EXPECT_FALSE(model::parsePlanUnits("km"));
}
