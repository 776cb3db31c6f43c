// "Отметки по съёмке" on the picket in work: which heights it fills, which it
// keeps, the ground points it adds and what it reports.
#include <gtest/gtest.h>

#include <utility>

#include "cad/application.hpp"
#include "cad/error.hpp"
#include "cad/prompter.hpp"
#include "ground/survey_ground.hpp"
#include "model/primitives.hpp"
#include "recording_ui.hpp"
#include "survey_fixture.hpp"

namespace {

using namespace ground_test;

// Ground falling 1 m per 100 m eastwards from 120 m at x = 0 (millimetres).
double plane(double x, double y) {
    return 120.0 - x / 100000.0 + y / 200000.0;
}

double toMillimetre(double metres) {
    return model::roundHalfEven(metres * 1000.0) / 1000.0;
}

// How many heights a fill set, and how many it kept because the user set them.
std::pair<int, int> filledAndKept(const ground::GroundReport& r) {
    return {r.filled, r.keptByHand};
}

class SurveyGround : public OnePiket {
  protected:
    SurveyGround() {
        // Spots every 20 m over 0 .. 200 m by -20 .. 20 m.
        for (int i = 0; i <= 10; ++i) {
            for (int j = -1; j <= 1; ++j) {
                const double x = i * 20000.0;
                const double y = j * 20000.0;
                addHeightText(doc, model::formatNumber(plane(x, y), '.'), x, y);
            }
        }
        options.layers = {kHeights};
    }

    void addRoutePoint(double x, double y, double relief) {
        model::PointRow row{};
        row[model::kX] = x;
        row[model::kY] = y;
        row[model::kRelief] = relief;
        row[model::kDepth] = 1.5;
        row[model::kPipe] = 160.0;
        ws.pikets[0].points.push_back(model::pointOf(row));
        ws.pikets[0].pointObjects.push_back(doc.addLine({x, y, 0}, {x + 1, y, 0}));
    }

    // "Отметки по съёмке" with the options as they stand.
    ground::GroundReport fill() { return ground::fillGroundFromSurvey(ws, options); }

    model::PointRow point(int k) const {
        return model::rowOf(ws.pikets[0].points[static_cast<std::size_t>(k)]);
    }

    ground::GroundOptions options;
};

TEST_F(SurveyGround, FillsAutomaticHeightsAndKeepsThoseSetByHand) {
    addRoutePoint(5000, 3000, model::kSameAsPrevious);
    addRoutePoint(73000, -4000, model::kAuto);
    addRoutePoint(150000, 1000, 99.5);       // typed by the user
    addRoutePoint(250000, 0, model::kAuto);  // beyond the survey
    const ground::GroundReport r = fill();
    EXPECT_EQ(r.texts, 33);
    EXPECT_EQ(filledAndKept(r), std::pair(2, 1));
    EXPECT_EQ(r.outside, std::vector<int>{4});
    EXPECT_DOUBLE_EQ(point(0)[model::kRelief], 119.965);
    EXPECT_DOUBLE_EQ(point(1)[model::kRelief], 119.25);
    EXPECT_EQ(point(2)[model::kRelief], 99.5);
    EXPECT_EQ(point(3)[model::kRelief], model::kAuto);

    // Asked to replace, the hand-set height goes too.
    options.replace = true;
    const ground::GroundReport again = fill();
    EXPECT_EQ(filledAndKept(again), std::pair(3, 0));
    EXPECT_DOUBLE_EQ(point(2)[model::kRelief], 118.505);
}

TEST_F(SurveyGround, HeightsFromTheSurveyAreRefilledButChangedOnesAreNot) {
    addRoutePoint(10000, 0, model::kAuto);
    addRoutePoint(30000, 0, model::kAuto);
    fill();
    ws.pikets[0].points[1].relief = model::Relief::typed(50.0);  // the user typed another height
    EXPECT_EQ(filledAndKept(fill()), std::pair(1, 1));
    EXPECT_EQ(point(1)[model::kRelief], 50.0);
}

TEST_F(SurveyGround, GroundPointsEveryStepBetweenThePoints) {
    addRoutePoint(0, 0, model::kAuto);
    addRoutePoint(35000, 0, model::kAuto);
    addRoutePoint(35000, 41000, 200.0);  // a bend; beyond the survey from y 20 m on
    ws.workPoint = 2;
    options.stepMetres = 10.0;
    const ground::GroundReport r = fill();
    // Chainages 10, 20, 30 m on the first leg; 40 and 50 m on the second, whose
    // 60 and 70 m lie outside the survey.
    ASSERT_EQ(r.added, 5);
    const auto& pts = ws.pikets[0].points;
    ASSERT_EQ(pts.size(), 8u);
    const double xs[] = {0, 10000, 20000, 30000, 35000, 35000, 35000, 35000};
    const double ys[] = {0, 0, 0, 0, 0, 5000, 15000, 41000};
    for (std::size_t k = 0; k < pts.size(); ++k) {
        EXPECT_DOUBLE_EQ(pts[k].x, xs[k]) << k;
        EXPECT_DOUBLE_EQ(pts[k].y, ys[k]) << k;
        const bool added = k == 1 || k == 2 || k == 3 || k == 5 || k == 6;
        EXPECT_EQ(pts[k].kind == model::PointKind::Ground, added) << k;
        EXPECT_EQ(ws.pikets[0].pointObjects[k].isNull(), added) << k;
        if (added) {
            ASSERT_TRUE(pts[k].relief.isTyped()) << k;
            EXPECT_NEAR(pts[k].relief.value, plane(xs[k], ys[k]), 1e-9) << k;
            EXPECT_FALSE(pts[k].depth);
            EXPECT_EQ(pts[k].pipe, 160.0);
        }
    }
    EXPECT_EQ(ws.workPoint, 7);  // still the bend's end point
    EXPECT_EQ(ws.controls.pointCountText, "8");
    EXPECT_EQ(ws.controls.pointNumberText, "8");

    // Run again: the ground points are there already.
    EXPECT_EQ(fill().added, 0);
    EXPECT_EQ(ws.pikets[0].points.size(), 8u);
}

TEST_F(SurveyGround, OutsidePointsAreNamedByTheirNewNumbers) {
    addRoutePoint(0, 0, model::kAuto);
    addRoutePoint(30000, 0, model::kAuto);
    addRoutePoint(30000, 60000, model::kAuto);  // beyond the survey
    options.stepMetres = 10.0;
    const ground::GroundReport r = fill();
    EXPECT_EQ(r.added, 4);  // 10, 20 m; then 40 and 50 m on the second leg (y 10 and 20 m)
    EXPECT_EQ(r.outside, std::vector<int>{7});
    const std::string text = ground::reportText(r);
    EXPECT_NE(text.find("Прочитано отметок: 33"), std::string::npos) << text;
    EXPECT_NE(text.find("Добавлено точек земли: 4"), std::string::npos) << text;
    EXPECT_NE(text.find("Вне поверхности съёмки (отметки не изменены), точки: 7."),
              std::string::npos)
        << text;
}

// A route ends at a manhole whose cover, the last surveyed spot, stands a
// little beside the pipe's end: within reach the end takes the cover's height.
TEST_F(SurveyGround, PointsJustOffTheSurfaceTakeTheSpotBesideThem) {
    addRoutePoint(190000, 0, model::kAuto);
    addRoutePoint(200500, 0, model::kAuto);  // half a metre past the last spots
    addRoutePoint(202000, 0, model::kAuto);  // two metres past them
    ground::GroundReport r = fill();
    EXPECT_EQ(r.nearSpot, std::vector<int>{2});
    EXPECT_EQ(r.outside, std::vector<int>{3});
    EXPECT_EQ(point(1)[model::kRelief], plane(200000, 0));
    EXPECT_EQ(point(1)[model::kSurveyed], 1.0);
    EXPECT_EQ(point(2)[model::kRelief], model::kAuto);
    EXPECT_NE(ground::reportText(r).find("отметка ближайшей съёмочной точки рядом, точки: 2."),
              std::string::npos)
        << ground::reportText(r);

    options.nearMetres = 0.0;  // off: the point is left as it is
    ws.pikets[0].points[1].relief = model::Relief::automatic();
    ws.pikets[0].points[1].survey.reset();
    r = fill();
    EXPECT_TRUE(r.nearSpot.empty());
    EXPECT_EQ(r.outside, (std::vector<int>{2, 3}));
    EXPECT_EQ(point(1)[model::kRelief], model::kAuto);
}

TEST_F(SurveyGround, UnreadableTextsAreReported) {
    addHeightText(doc, "ПК 3", 1000, 1000);
    addRoutePoint(10000, 0, model::kAuto);
    const ground::GroundReport r = fill();
    ASSERT_EQ(r.unread.size(), 1u);
    EXPECT_NE(ground::reportText(r).find("«ПК 3»"), std::string::npos);
}

// A height no ground has, written as a text or carried as the Z of a mark or
// a vertex, would leave the triangles around it without heights (NaN): it is
// listed with the texts that are no heights, and the ground stays the survey's.
TEST_F(SurveyGround, HeightsNoGroundHasAreListedNotTaken) {
    addHeightText(doc, "1e308", 60000, 0);
    addPoint(doc, 100000, 10000, 1e308);
    add3dPolyline(doc, {{40000, -10000, plane(40000, -10000)}, {140000, -10000, -1e308}});
    addRoutePoint(50000, 0, model::kAuto);
    addRoutePoint(110000, 5000, model::kAuto);
    const ground::GroundReport r = fill();
    EXPECT_EQ(r.filled, 2);
    EXPECT_DOUBLE_EQ(point(0)[model::kRelief], 119.5);
    EXPECT_DOUBLE_EQ(point(1)[model::kRelief], toMillimetre(plane(110000, 5000)));
    ASSERT_EQ(r.unread.size(), 3u);
    const std::string report = ground::reportText(r);
    EXPECT_NE(report.find("Не читаются как отметки высот (3)"), std::string::npos) << report;
    EXPECT_NE(report.find("«1e308»"), std::string::npos) << report;
    EXPECT_NE(report.find("«1E308»"), std::string::npos) << report;
    EXPECT_NE(report.find("«-1E308»"), std::string::npos) << report;
}

TEST_F(SurveyGround, RefusesWhatItCannotDo) {
    addRoutePoint(10000, 0, model::kAuto);
    addRoutePoint(20000, 0, model::kAuto);
    auto refuses = [&](const ground::GroundOptions& o, const std::string& words) {
        const model::Piket before = ws.pikets[0];
        try {
            ground::fillGroundFromSurvey(ws, o);
            ADD_FAILURE() << "no refusal: " << words;
        } catch (const cad::Error& e) {
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
        EXPECT_EQ(ws.pikets[0].points, before.points);
    };
    ground::GroundOptions o = options;
    o.layers = {"Пусто"};
    refuses(o, "меньше трёх отметок");
    o = options;
    o.layers.clear();
    refuses(o, "Не задан слой");
    o = options;
    o.stepMetres = -1;
    refuses(o, "Шаг точек земли");
    o.stepMetres = 1e-9;
    refuses(o, "слишком мал");
    o = options;
    o.maxEdgeMetres = NAN;
    refuses(o, "сторона треугольника");
    o = options;
    o.nearMetres = -1;
    refuses(o, "ближайшей отметки");
    ws.workPiket = -1;
    refuses(options, "Нет пикета в работе");
}

}  // namespace
