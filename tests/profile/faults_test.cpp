// Runs that could only draw garbage are refused with a message and change
// nothing; odd input inside a run is survived.
#include <algorithm>
#include <cmath>

#include "fixture.hpp"
#include "profile/steps.hpp"

using namespace profile_test;

namespace {

class Faults : public ProfileFixture {
  protected:
    std::size_t drawn() { return doc.modelSpace().size(); }
};

// A second run replaces the first profile instead of drawing over it, but
// never takes away what was changed by hand, and says so.
TEST_F(Faults, ARebuildReplacesTheProfileButKeepsWhatWasChangedByHand) {
    piket().key = "p1";
    addPoint(0, 0, 100.0);
    addPoint(10000, 0, 101.0);
    addPoint(20000, 0, 100.5);
    profile::build(ws);
    const std::size_t once = drawn();
    ASSERT_GT(once, 20u);
    profile::build(ws);
    EXPECT_EQ(drawn(), once);
    EXPECT_TRUE(ui.messages.empty());
    cad::EntityRef moved =
        *std::find_if(ws.profileObjects.begin(), ws.profileObjects.end(),
                      [](const cad::EntityRef& e) { return e.dxfType() == "LINE"; });
    moved.setStartPoint({1.0, 2.0, 0.0});
    profile::build(ws);
    EXPECT_EQ(drawn(), once + 1);
    EXPECT_TRUE(moved.exists());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("изменённых вручную: 1."), std::string::npos) << ui.messages[0];
}

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

// The picket row labels every 100 m: a route of 2000 km would be twenty
// thousand labels, one point at 1e15 mm ten billion of them (the memory grew
// without end). Both are refused before anything is drawn or computed.
TEST_F(Faults, ARouteTooLongOrTooFarFromTheOriginIsRefusedUntouched) {
    const struct {
        double x;
        const char* words;
    } cases[] = {{2e9, "длиннее 1000 км"}, {1e15, "дальше 100 000 км"}};
    for (const auto& c : cases) {
        piket().points.clear();
        piket().pointObjects.clear();
        ui.messages.clear();
        addPoint(0, 0, 100);
        addPoint(c.x, 0, 101, 1.0, "");
        const std::size_t before = drawn();
        profile::build(ws);
        ASSERT_EQ(ui.messages.size(), 1u) << c.x;
        EXPECT_NE(ui.messages[0].find(c.words), std::string::npos) << ui.messages[0];
        EXPECT_EQ(drawn(), before);
        EXPECT_EQ(value(1, model::kChainage), 0.0);
        EXPECT_FALSE(ws.profileBuilt);
    }
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
    piket().points.assign(2, model::pointOf(row));
    piket().points[1].x = 10000;
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
    for (const model::PointRow& p : piket().built) {
        for (double v : p) EXPECT_TRUE(std::isfinite(v));
    }
}

// A height never given (-2) or an automatic one with no known height on a
// side would be drawn as ground at -2 m or -1 m: the run is refused, naming
// the points as the editor numbers them, and nothing is drawn or changed.
TEST_F(Faults, UnknownHeightsAndDepthsAreRefusedNamingThePoints) {
    struct Case {
        std::vector<double> relief;
        std::vector<double> depth;
        const char* message;
    };
    const Case cases[] = {
        {{-2, -2, -2, -2, 101.5, 101.0, -1, 100.0, 99.0, 99.5, 99.4, 99.0, 98.0, 97.0, -2},
         {},
         "Нет отметки земли в точках 1–4, 15: "},
        {{100, -1}, {}, "Нет отметки земли в точке 2: "},
        {{-1, 100, 101, -1}, {}, "Нет отметки земли в точках 1, 4: "},
        {{100, 101, 102}, {1.0, 1.2, -1}, "Нет глубины верха трубопровода в точке 3: "},
        {{100, 101, 102}, {-1, 1.2, -2}, "Нет глубины верха трубопровода в точках 1, 3: "},
    };
    for (const Case& c : cases) {
        ws.pikets.assign(1, model::Piket{});
        ws.profileBuilt = false;
        ui.messages.clear();
        for (std::size_t k = 0; k < c.relief.size(); ++k) {
            addPoint(10000.0 * static_cast<double>(k), 0, c.relief[k],
                     k < c.depth.size() ? c.depth[k] : 1.0);
        }
        const std::vector<model::PiketPoint> before = piket().points;
        const std::size_t drawnBefore = drawn();
        profile::build(ws);
        ASSERT_EQ(ui.messages.size(), 1u) << c.message;
        EXPECT_EQ(ui.messages[0].rfind(c.message, 0), 0u) << ui.messages[0];
        EXPECT_GT(ui.messages[0].size(), std::string(c.message).size() + 20);  // what to do
        EXPECT_EQ(piket().points, before) << c.message;
        EXPECT_EQ(drawn(), drawnBefore) << c.message;
        EXPECT_FALSE(ws.profileBuilt);
        EXPECT_FALSE(doc.hasLayer("Vline-Kernavisto"));
    }
}

TEST_F(Faults, AutomaticHeightsBetweenKnownOnesAreStillInterpolated) {
    addPoint(0, 0, 100.0, 1.0);
    addPoint(15000, 0, -1, -1);
    addPoint(30000, 0, 102.0, 2.0);
    profile::build(ws);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_DOUBLE_EQ(value(1, model::kRelief), 101.0);
    EXPECT_DOUBLE_EQ(value(1, model::kDepth), 1.5);
    EXPECT_EQ(ws.horizonLevel, 95.0);
}

TEST(PointNumbers, RunsOfThreeOrMoreAreJoinedByADash) {
    using profile::detail::pointNumbers;
    EXPECT_EQ(pointNumbers({0, 1, 2, 3, 14}), "1–4, 15");
    EXPECT_EQ(pointNumbers({0, 1}), "1, 2");
    EXPECT_EQ(pointNumbers({4}), "5");
    EXPECT_EQ(pointNumbers({0, 2, 3, 4, 6, 7}), "1, 3–5, 7, 8");
}

}  // namespace
