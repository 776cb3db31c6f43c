// Heights that do not fit the profile area: the datum steps where ground or
// pipe would leave it, every line stays inside, the new datum is written at
// the step; a profile that fits is drawn as it always was.
#include <algorithm>

#include "fixture.hpp"
#include "profile/steps.hpp"
#include "sheet/layout.hpp"
#include "sheet/sheets.hpp"

namespace {

using profile_test::DrawnLine;
using profile_test::ProfileFixture;

constexpr double kAreaTop = sheet::kFrameTop - 2500.0;

class DatumSteps : public ProfileFixture {
  protected:
    // Texts of the datum steps ("УГ ..."), in drawing order.
    std::vector<profile_test::DrawnText> stepTexts() const {
        std::vector<profile_test::DrawnText> out;
        for (const auto& t : texts()) {
            if (t.text.rfind("УГ ", 0) == 0) out.push_back(t);
        }
        return out;
    }

    // The lines drawn against the datum: everything above the table.
    std::vector<DrawnLine> profileLines() const {
        std::vector<DrawnLine> out;
        for (const DrawnLine& l : lines()) {
            if (std::max(l.start.y, l.end.y) > sheet::kDatumY + 1e-6) out.push_back(l);
        }
        return out;
    }

    // A step line (not a point line) rises from the datum line at x.
    bool stepLineAt(double x) const {
        const auto drawn = lines();
        return std::any_of(drawn.begin(), drawn.end(), [x](const DrawnLine& l) {
            return std::fabs(l.start.x - x) < 1e-6 && std::fabs(l.end.x - x) < 1e-6 &&
                   l.start.y == sheet::kDatumY && l.layer == "Kernavisto";
        });
    }

    void expectInsideTheArea() const {
        for (const DrawnLine& l : lines()) {
            for (double y : {l.start.y, l.end.y}) {
                if (l.layer == "Трасса" || l.layer == "Vline-Kernavisto" || y > sheet::kDatumY) {
                    EXPECT_GE(y, sheet::kDatumY - 1e-6) << l.start.x << " " << l.layer;
                    EXPECT_LE(y, kAreaTop + 1e-6) << l.start.x << " " << l.layer;
                }
            }
        }
    }

    // The ground line at chainage x (sheet units from the data area's start)
    // drawn over `datum`: its segment's y there matches the height `h`.
    bool groundAt(double x, double h, double datum) const {
        const double y = sheet::kDatumY + (h - datum) * sheet::kUnitsPerMetreUp;
        for (const DrawnLine& l : lines()) {
            if (!l.layer.empty() && l.layer != "Kernavisto") continue;
            if (std::fabs(l.start.x - x) < 1e-6 && std::fabs(l.start.y - y) < 1e-6 &&
                l.end.x > l.start.x) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(DatumSteps, AClimbingGroundStepsAtPointsAndStaysInside) {
    // 40 m of rise over 400 m at 1:100: more than three times the 12.2 m the area holds.
    for (int i = 0; i <= 16; ++i) addPoint(i * 25000.0, 0, 100.0 + 2.5 * i, 1.5);
    profile::build(ws);
    ASSERT_TRUE(ui.messages.empty());
    EXPECT_EQ(ws.horizonLevel, 95.0);  // the picket's datum, as ever
    EXPECT_EQ(textsAtY(sheet::kDatumY + 860).front().text, "95,0");

    const auto steps = stepTexts();
    ASSERT_GE(steps.size(), 3u);
    expectInsideTheArea();
    // Each step stands on a point of the picket, with its vertical line there,
    // and the ground goes on from it over the datum written beside it.
    double previousX = 0.0;
    for (const auto& t : steps) {
        const double datum = std::stod(t.text.substr(std::string("УГ ").size()));
        EXPECT_EQ(t.text, "УГ " + std::to_string(static_cast<int>(datum)) + ",0");
        EXPECT_EQ(t.height, 1250.0);
        EXPECT_EQ(t.widthFactor, 0.7);
        const double x = t.at.x + 250.0;  // a rising datum is written before the step
        EXPECT_GT(x, previousX);
        previousX = x;
        const double chainage = x - sheet::kDataAreaX;
        EXPECT_NEAR(std::remainder(chainage, 25000.0), 0.0, 1e-6) << chainage;
        const double ground = 100.0 + 2.5 * chainage / 25000.0;
        EXPECT_TRUE(groundAt(x, ground, datum)) << t.text;
        EXPECT_TRUE(stepLineAt(x)) << t.text;
    }
    // The table keeps the true heights.
    EXPECT_EQ(textsAtY(sheet::kGroundRow.bottom + 400).back().text, "140");
    // Still one point line a point, ending on its ground.
    ASSERT_EQ(ws.pointLines.size(), 17u);
}

TEST_F(DatumSteps, AFallingGroundStartsFromADatumThatHoldsTheFirstPoint) {
    for (int i = 0; i <= 16; ++i) addPoint(i * 25000.0, 0, 140.0 - 2.5 * i, 1.5);
    profile::build(ws);
    const auto label = textsAtY(sheet::kDatumY + 860);
    ASSERT_FALSE(label.empty());
    // The picket's datum (95) would put the first ground 45 m up: the sheet starts higher.
    EXPECT_NE(label.front().text, "95,0");
    ASSERT_FALSE(stepTexts().empty());
    // A falling datum is written after its step.
    for (const auto& t : stepTexts()) EXPECT_TRUE(stepLineAt(t.at.x - 1500.0)) << t.text;
    expectInsideTheArea();
}

TEST_F(DatumSteps, ACliffBetweenTwoPointsStepsInsideTheSegment) {
    addPoint(0, 0, 100.0, 1.0);
    addPoint(20000, 0, 100.0, 1.0);
    addPoint(40000, 0, 135.0, 1.0);  // 35 m up over 20 m
    addPoint(60000, 0, 135.0, 1.0);
    profile::build(ws);
    const auto steps = stepTexts();
    ASSERT_GE(steps.size(), 2u);
    for (const auto& t : steps) {
        const double x = t.at.x + 250.0;
        EXPECT_GT(x, sheet::kDataAreaX + 20000.0);
        EXPECT_LT(x, sheet::kDataAreaX + 40000.0);
    }
    expectInsideTheArea();
}

TEST_F(DatumSteps, ADeepPipeTakesTheSheetsDatumDown) {
    addPoint(0, 0, 100.0, 1.0);
    addPoint(30000, 0, 100.5, 7.5);  // the pipe top 2 m under the picket's datum of 95
    addPoint(60000, 0, 101.0, 1.0);
    profile::build(ws);
    // A step on the first point would be no step: the sheet starts lower instead.
    EXPECT_TRUE(stepTexts().empty());
    EXPECT_EQ(textsAtY(sheet::kDatumY + 860).front().text, "93,0");
    expectInsideTheArea();
}

TEST_F(DatumSteps, APipeDeeperThanTheAreaIsHighIsDrawnAsItIs) {
    // No datum holds ground and pipe of the middle point: nothing to gain by
    // stepping, and the run neither hangs nor fails.
    addPoint(0, 0, 100.0, 1.0);
    addPoint(30000, 0, 100.0, 20.0);
    addPoint(60000, 0, 100.0, 1.0);
    profile::build(ws);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ws.pointLines.size(), 3u);
}

TEST_F(DatumSteps, AProfileThatFitsIsDrawnAsWithoutSteps) {
    for (int i = 0; i <= 8; ++i) addPoint(i * 50000.0, 0, 100.0 + 0.9 * i, 1.5);
    profile::build(ws);
    EXPECT_TRUE(stepTexts().empty());
    // Ground, pipe and point line of each segment, in that order, over the picket's datum.
    const auto above = profileLines();
    ASSERT_EQ(above.size(), 1u + 3u * 8u);
    for (int i = 1; i <= 8; ++i) {
        const DrawnLine& ground = above[static_cast<std::size_t>(3 * i - 2)];
        EXPECT_DOUBLE_EQ(ground.end.y, sheet::kDatumY + (0.9 * i + 5.0) * 5000.0);
        EXPECT_EQ(above[static_cast<std::size_t>(3 * i - 1)].layer, "Трасса");
        EXPECT_EQ(above[static_cast<std::size_t>(3 * i)].layer, "Vline-Kernavisto");
    }
}

TEST_F(DatumSteps, TheUsersDatumIsAWholeNumberAndStandsOnEverySheet) {
    for (int i = 0; i <= 8; ++i) addPoint(i * 50000.0, 0, 100.0 + 0.5 * i, 1.5);
    ws.sheetOptions.datum = 96.5;
    profile::build(ws);
    expectRefusedWith("целым числом");

    ui.messages.clear();
    ws.sheetOptions.datum = 97.0;
    profile::build(ws);
    EXPECT_EQ(ws.horizonLevel, 97.0);
    EXPECT_EQ(textsAtY(sheet::kDatumY + 860).front().text, "97,0");
    EXPECT_TRUE(lineFrom(sheet::kDataAreaX, sheet::kDatumY, sheet::kDataAreaX,
                         sheet::kDatumY + 3.0 * 5000.0));
    EXPECT_TRUE(stepTexts().empty());
}

TEST_F(DatumSteps, AUsersDatumUnderTheGroundStepsOnTheFirstPoint) {
    for (int i = 0; i <= 8; ++i) addPoint(i * 50000.0, 0, 120.0 + 0.5 * i, 1.5);
    ws.sheetOptions.datum = 150.0;
    profile::build(ws);
    EXPECT_EQ(textsAtY(sheet::kDatumY + 860).front().text, "150,0");
    const auto steps = stepTexts();
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_TRUE(stepLineAt(sheet::kDataAreaX));
    // Everything after the first point's line stands over the datum of the step.
    const double datum = std::stod(steps[0].text.substr(std::string("УГ ").size()));
    EXPECT_LE(datum, 118.0);
    EXPECT_TRUE(groundAt(sheet::kDataAreaX, 120.0, datum));
    expectInsideTheArea();  // the first point's line too
}

TEST_F(DatumSteps, EachSheetOfALongRouteStepsOnItsOwn) {
    // 2 km climbing 60 m at 1:1000 / 1:100 over two sheets.
    for (int i = 0; i <= 40; ++i) addPoint(i * 50000.0, 0, 100.0 + 1.5 * i, 1.5);
    ws.sheetOptions.split = true;
    ws.sheetOptions.horizontalScale = 1000;
    profile::build(ws);
    ASSERT_EQ(ws.sheetCount, 2);
    for (const DrawnLine& l : lines()) {
        for (double y : {l.start.y, l.end.y}) {
            // The sheet the end stands on, and its height on that sheet.
            const double s = std::floor((sheet::kHeight - y) / sheet::kSheetPitch);
            EXPECT_LE(y + s * sheet::kSheetPitch, kAreaTop + 1e-6) << l.start.x;
        }
    }
    EXPECT_GE(stepTexts().size(), 4u);
}

}  // namespace
