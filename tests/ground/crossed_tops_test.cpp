// "Верх сетей по съёмке": which height text gives a crossing its crossed top,
// which texts it passes over, and what it never replaces.
#include <gtest/gtest.h>

#include <string>

#include "cad/application.hpp"
#include "cad/error.hpp"
#include "cad/prompter.hpp"
#include "ground/crossed_tops.hpp"
#include "model/crossed.hpp"
#include "recording_ui.hpp"
#include "survey_fixture.hpp"

namespace {

using namespace ground_test;

const std::string kWater = "Водопровод";

class CrossedTops : public OnePiket {
  protected:
    CrossedTops() {
        ws.controls.typeLists[static_cast<std::size_t>(model::TypeList::Connections)] = {kWater};
    }

    // A point of the route at x (millimetres of the plan) whose object lies
    // on `layer`.
    void addPoint(double x, const std::string& layer) {
        model::PiketPoint p;
        p.x = x;
        p.y = 0.0;
        ws.pikets[0].points.push_back(p);
        cad::EntityRef line = doc.addLine({x, -5000, 0}, {x, 5000, 0});
        line.setLayer(layer);
        ws.pikets[0].pointObjects.push_back(line);
    }
    const model::Crossed& crossed(std::size_t k) { return model::crossedAt(ws.pikets[0], k); }
};

TEST_F(CrossedTops, TheNearestTextOnTheCrossedLayerWithinReachAndNeverOverATypedTop) {
    addPoint(0, kWater);
    addHeightText(doc, "147.00", 300, 0);           // closer, but a ground height
    addHeightText(doc, "148.20", 0, 600, kWater);   // the pipe's top
    addHeightText(doc, "146.00", 0, -900, kWater);  // farther
    addPoint(20000, kWater);
    addHeightText(doc, "145.50", 20000, 1500, kWater);  // beyond 1 m
    addPoint(40000, kWater);
    addHeightText(doc, "144.10", 40000, 200, kWater);
    model::Crossed typed;
    typed.top = model::CrossedValue{150.0, model::FoundBy::Typed};
    model::setCrossed(ws.pikets[0], 2, typed);
    addPoint(60000, "Разметка");  // no crossing
    addHeightText(doc, "143.00", 60000, 100, "Разметка");

    ground::CrossedTopsReport r = ground::crossedTopsFromSurvey(ws);
    EXPECT_EQ(r.found, std::vector<int>{1});
    EXPECT_EQ(r.none, std::vector<int>{2});
    EXPECT_EQ(r.kept, std::vector<int>{3});
    ASSERT_TRUE(crossed(0).top);
    EXPECT_EQ(crossed(0).top->value, 148.2);
    EXPECT_EQ(crossed(0).top->foundBy, model::FoundBy::Survey);
    EXPECT_FALSE(crossed(1).top);
    EXPECT_EQ(crossed(2).top, typed.top);
    EXPECT_TRUE(crossed(3).empty());
    const std::string text = ground::reportText(r);
    EXPECT_NE(text.find("найден у 1 из 3 пересечений (точки 1)"), std::string::npos) << text;
    EXPECT_NE(text.find("Нет отметки верха рядом с пересечением у точек: 2"), std::string::npos);

    // Farther reach: the second crossing gets its text, and the first, read
    // from the survey before, is read anew; the typed top still stays.
    r = ground::crossedTopsFromSurvey(ws, 2.0);
    EXPECT_EQ(r.found, (std::vector<int>{1, 2}));
    EXPECT_EQ(crossed(1).top->value, 145.5);
    EXPECT_EQ(crossed(2).top, typed.top);

    // In a plan drawn in metres the same figures lie hundreds of metres
    // away: nothing is near, and what the survey gave before stays.
    ws.controls.planUnits = model::PlanUnits::Metres;
    r = ground::crossedTopsFromSurvey(ws, 2.0);
    EXPECT_EQ(r.none, (std::vector<int>{1, 2}));
    EXPECT_EQ(crossed(0).top->value, 148.2);
    EXPECT_THROW(ground::crossedTopsFromSurvey(ws, 0.0), cad::Error);
}

}  // namespace
