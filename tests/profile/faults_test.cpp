// Runs that could only draw garbage are refused with a message and change
// nothing; odd input inside a run is survived.
#include <cmath>

#include "fixture.hpp"

using namespace profile_test;

namespace {

class Faults : public ProfileFixture {
  protected:
    std::size_t drawn() { return doc.modelSpace().size(); }
};

TEST_F(Faults, NoPicketInWorkIsRefused) {
    ws.workPiket = -1;
    const std::size_t before = drawn();
    profile::build(ws);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("Нет пикета в работе"), std::string::npos);
    EXPECT_EQ(drawn(), before);
    EXPECT_FALSE(ws.profileBuilt);
}

TEST_F(Faults, APicketOfOnePointIsRefused) {
    addPoint(5000, 0, 100);
    const std::size_t before = drawn();
    profile::build(ws);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("меньше двух точек"), std::string::npos);
    EXPECT_EQ(drawn(), before);
    EXPECT_FALSE(doc.hasLayer("Vline-Kernavisto"));
}

TEST_F(Faults, APicketWithoutAnyKnownHeightIsRefusedUntouched) {
    addPoint(0, 0, -1);
    addPoint(10000, 0, -1);
    addPoint(20000, 0, -1);
    const std::size_t before = drawn();
    profile::build(ws);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("нет отметки земли"), std::string::npos);
    EXPECT_EQ(drawn(), before);
    EXPECT_EQ(value(2, model::kChainage), 0.0);
    EXPECT_FALSE(ws.profileBuilt);
    EXPECT_TRUE(ws.profileObjects.empty());
}

TEST_F(Faults, ACellOfNoLengthKeepsItsBoundaryWithoutTexts) {
    addPoint(0, 0, 100, 1.0);
    addPoint(5, 0, 100, 1.5);  // half a centimetre on: a cell of 0 m
    addPoint(20000, 0, 100.4, 1.5);
    profile::build(ws);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(lineFrom(55005, 42500, 55005, 37500));
    // Only the second cell (from the zero cell's end on) shows slope and length.
    auto slope = textsAtY(41200);
    ASSERT_EQ(slope.size(), 1u);
    EXPECT_EQ(slope[0].text, "20");
    auto length = textsAtY(37950);
    ASSERT_EQ(length.size(), 1u);
    EXPECT_EQ(length[0].text, "20");
    for (const DrawnText& t : texts()) {
        EXPECT_EQ(t.text.find("INF"), std::string::npos) << t.text;
        EXPECT_EQ(t.text.find("NAN"), std::string::npos) << t.text;
    }
}

TEST_F(Faults, ADrawingWithoutTheRouteLayerGetsIt) {
    cad::Drawing plan;  // has only layer "0"
    plan.addLayer("Kernavisto");
    ws.doc = ws.sheetDoc = &plan;
    model::PointRow row{};
    row[model::kRelief] = 100;
    row[model::kDepth] = 1;
    piket().points = {row, row};
    piket().points[1][model::kX] = 10000;
    piket().pointObjects.assign(2, cad::EntityRef{});
    ASSERT_FALSE(plan.hasLayer("Трасса"));
    profile::build(ws);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(plan.hasLayer("Трасса"));
    auto pipe = lineFrom(55000, 82500 + 5 * 5000 - 5000, 65000, 82500 + 5 * 5000 - 5000);
    ASSERT_TRUE(pipe);
    EXPECT_EQ(pipe->layer, "Трасса");
}

TEST_F(Faults, EveryNumberDrawnIsFinite) {
    // Heights at one chainage, an unknown height after the last known one and
    // a zero-length cell in one picket.
    addPoint(0, 0, 100, 1.0);
    addPoint(0, 0, -1, 1.0);
    addPoint(0, 0, 102, 1.0);
    addPoint(3, 0, 101, 1.0);
    addPoint(9000, 0, -1, 1.2);
    profile::build(ws);
    for (const DrawnLine& l : lines()) {
        EXPECT_TRUE(std::isfinite(l.start.x) && std::isfinite(l.start.y) &&
                    std::isfinite(l.end.x) && std::isfinite(l.end.y));
    }
    for (const model::PointRow& p : piket().points) {
        for (double v : p) EXPECT_TRUE(std::isfinite(v));
    }
}

}  // namespace
