// A picket by its end points: the search over the route, turning elements in
// the drawing, the rows of the picket list, hiding while picking, and the
// ways the action can fail without leaving anything half done.
#include <gtest/gtest.h>

#include <cmath>

#include "model/project.hpp"
#include "model/runner.hpp"
#include "pickets/pickets.hpp"
#include "plan.hpp"
#include "recording_ui.hpp"

using namespace pickets;
using namespace pickets::testing;
using cad::EntityRef;
using cad::Point3;

namespace {

Point3 xy(double x, double y) {
    return {x, y, 0};
}

std::vector<std::string> handles(const std::vector<EntityRef>& list) {
    std::vector<std::string> out;
    for (const EntityRef& e : list) out.push_back(e.handle());
    return out;
}

// Every element runs from the picket start towards its end: each element's
// start is the previous one's end.
void expectChained(const model::Piket& p, Point3 start, Point3 end) {
    ASSERT_FALSE(p.elements.empty());
    EXPECT_EQ(p.elements.front().startPoint(), start);
    for (std::size_t i = 1; i < p.elements.size(); ++i) {
        EXPECT_EQ(p.elements[i].startPoint(), p.elements[i - 1].endPoint()) << i;
    }
    EXPECT_EQ(p.elements.back().endPoint(), end);
}

}  // namespace

TEST(EndPoints, ChainDrawnEitherWayIsTurnedToRunFromStartToEnd) {
    Plan plan;
    EntityRef a = plan.route(0, 0, 1000, 0);         // already right
    EntityRef b = plan.route(2000, 500, 1000, 0);    // backwards
    EntityRef c = plan.route(2000, 500, 3000, 500);  // right
    plan.snapshot();
    plan.pick(0, 0);
    plan.pick(3000, 500);
    addByEndPoints(plan.ws);

    ASSERT_EQ(plan.ws.piketCount(), 1);
    const model::Piket& p = plan.ws.pikets[0];
    EXPECT_EQ(handles(p.elements), handles({a, b, c}));
    expectChained(p, xy(0, 0), xy(3000, 500));
    EXPECT_EQ(b.startPoint(), xy(1000, 0));  // changed in the drawing itself
    EXPECT_TRUE(plan.ui.messages.empty());
    EXPECT_EQ(plan.prompter.prompts, (std::vector<std::string>{kPromptStart, kPromptEnd}));
}

TEST(EndPoints, ElementTouchingThePickedEndWithItsStartIsTurned) {
    Plan plan;
    EntityRef a = plan.route(500, 0, 0, 0);  // its start is the picked end
    plan.snapshot();
    plan.pick(0, 0);
    plan.pick(500, 0);
    // Drawn from the picked end: picking the other way round turns it.
    addByEndPoints(plan.ws);
    ASSERT_EQ(plan.ws.piketCount(), 1);
    EXPECT_EQ(a.endPoint(), xy(500, 0));
    EXPECT_EQ(a.startPoint(), xy(0, 0));
}

TEST(EndPoints, SingleElementGivesItsTwoEndsAndTheCrossings) {
    Plan plan;
    EntityRef a = plan.route(100, 100, 1100, 100);
    EntityRef water = plan.line(kWater, 600, 0, 600, 200);
    plan.snapshot();
    plan.ws.controls.depthText = "2.5";
    plan.ws.controls.pipeText = "160";
    plan.pick(100, 100);
    plan.pick(1100, 100);
    addByEndPoints(plan.ws);

    const model::Piket& p = plan.ws.pikets.at(0);
    ASSERT_EQ(p.elementCount(), 1);
    ASSERT_EQ(p.pointCount(), 3);
    model::PointRow first{100, 100, -2, 1.0, 160, 0, 0, 0, 0, 0};
    model::PointRow crossing{600, 100, -2, 2.5, 160, 0, 0, 0, 0, 0};
    model::PointRow last{1100, 100, -2, 2.5, 160, 0, 0, 0, 0, 0};
    EXPECT_EQ(model::rowOf(p.points[0]), first);
    EXPECT_EQ(model::rowOf(p.points[1]), crossing);
    EXPECT_EQ(model::rowOf(p.points[2]), last);
    EXPECT_EQ(p.pointObjects[0], a);
    EXPECT_EQ(p.pointObjects[1], water);
    EXPECT_EQ(p.pointObjects[2], a);
}

TEST(EndPoints, SharedEndsCountOnceAndOnlyTheFirstPointKeepsDepthOne) {
    Plan plan;
    plan.route(0, 0, 1000, 0);
    plan.route(1000, 0, 1000, 1000);
    plan.route(1000, 1000, 2000, 1000);
    plan.snapshot();
    plan.ws.controls.depthText = "1,8";  // either separator is taken
    plan.pick(0, 0);
    plan.pick(2000, 1000);
    addByEndPoints(plan.ws);

    const model::Piket& p = plan.ws.pikets.at(0);
    // Four distinct ends; the route's own joints also come back as crossings
    // and are removed as duplicates.
    ASSERT_EQ(p.pointCount(), 4);
    std::vector<Point3> expected{xy(0, 0), xy(1000, 0), xy(1000, 1000), xy(2000, 1000)};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(model::rowOf(p.points[i])[model::kX], expected[i].x) << i;
        EXPECT_EQ(model::rowOf(p.points[i])[model::kY], expected[i].y) << i;
        EXPECT_EQ(model::rowOf(p.points[i])[model::kDepth], i == 0 ? 1.0 : 1.8) << i;
        EXPECT_EQ(p.pointObjects[i], p.elements[std::max(0, i - 1)]) << i;
    }
}

TEST(EndPoints, ElementLengthsSurviveTurning) {
    Plan plan;
    plan.route(0, 0, 300.4, 400.3);
    plan.route(900, 400.3, 300.4, 400.3);
    plan.snapshot();
    plan.pick(0, 0);
    plan.pick(900, 400.3);
    addByEndPoints(plan.ws);
    const model::Piket& p = plan.ws.pikets.at(0);
    ASSERT_EQ(p.elementCount(), 2);
    EXPECT_NEAR(p.elements[0].length(), std::hypot(300.4, 400.3), 1e-9);
    EXPECT_DOUBLE_EQ(p.elements[1].length(), 900 - 300.4);
    double wholeUnits = 0;
    for (const EntityRef& e : p.elements) wholeUnits += std::nearbyint(e.length());
    EXPECT_EQ(wholeUnits, 500 + 600);
}

// Two routes of two elements each join the start to the end; which one the
// search takes depends only on the order of the route list.
struct ForkCase {
    bool upperFirst;
};
class EndPointsFork : public ::testing::TestWithParam<ForkCase> {};

TEST_P(EndPointsFork, BreadthFirstAndTheFirstFoundWins) {
    Plan plan;
    auto drawUpper = [&] {
        return std::pair{plan.route(0, 0, 1000, 1000), plan.route(1000, 1000, 2000, 0)};
    };
    auto drawLower = [&] {
        // Drawn from the end backwards, so both get turned on the way.
        return std::pair{plan.route(1000, -1000, 0, 0), plan.route(2000, 0, 1000, -1000)};
    };
    std::pair<EntityRef, EntityRef> upper, lower;
    if (GetParam().upperFirst) {
        upper = drawUpper();
        lower = drawLower();
    } else {
        lower = drawLower();
        upper = drawUpper();
    }
    plan.snapshot();
    plan.pick(0, 0);
    plan.pick(2000, 0);
    addByEndPoints(plan.ws);

    const model::Piket& p = plan.ws.pikets.at(0);
    auto taken = GetParam().upperFirst ? upper : lower;
    EXPECT_EQ(handles(p.elements), handles({taken.first, taken.second}));
    expectChained(p, xy(0, 0), xy(2000, 0));
    // The lower branch is turned whether or not it was taken.
    EXPECT_EQ(lower.second.startPoint(), xy(1000, -1000));
}

INSTANTIATE_TEST_SUITE_P(Order, EndPointsFork, ::testing::Values(ForkCase{true}, ForkCase{false}));

TEST(EndPoints, ShorterBranchWinsAndOtherBranchesStayTurned) {
    Plan plan;
    EntityRef last = plan.route(2000, 0, 3000, 0);
    EntityRef deadEnd = plan.route(2000, 0, 2000, 800);   // its start touches: turned
    EntityRef longWay1 = plan.route(1000, 500, 2000, 0);  // reaches the start in three
    EntityRef longWay2 = plan.route(0, 0, 1000, 500);
    EntityRef shortWay = plan.route(2000, 0, 0, 0);  // reaches it in two, turned
    (void)longWay2;
    plan.snapshot();
    plan.pick(0, 0);
    plan.pick(3000, 0);
    addByEndPoints(plan.ws);

    const model::Piket& p = plan.ws.pikets.at(0);
    EXPECT_EQ(handles(p.elements), handles({shortWay, last}));
    EXPECT_EQ(shortWay.startPoint(), xy(0, 0));
    EXPECT_EQ(deadEnd.endPoint(), xy(2000, 0));  // off the chain, stays turned
    EXPECT_EQ(longWay1.startPoint(), xy(1000, 500));
}

TEST(EndPoints, RingWithoutTheStartEndsTheSearchAndChangesNothing) {
    Plan plan;
    // A closed ring of four elements through the picked end; the start is elsewhere.
    std::vector<EntityRef> ring{plan.route(0, 0, 1000, 0), plan.route(1000, 0, 1000, 1000),
                                plan.route(1000, 1000, 0, 1000), plan.route(0, 0, 0, 1000)};
    EntityRef other = plan.line(kWater, 500, -100, 500, 100);
    other.setVisible(false);  // hidden by the user before
    plan.snapshot();
    plan.ws.controls.hideWhilePicking = true;
    plan.pick(5000, 5000);
    plan.pick(1000, 0);
    addByEndPoints(plan.ws);

    EXPECT_EQ(plan.ws.piketCount(), 0);
    EXPECT_TRUE(plan.ws.pikets.empty());
    EXPECT_TRUE(plan.ws.controls.piketRows.empty());
    EXPECT_EQ(plan.ui.messages, std::vector<std::string>{kStartNotFound});
    EXPECT_FALSE(plan.ui.busy);
    EXPECT_EQ(ring[3].startPoint(), xy(0, 0));  // nothing turned
    EXPECT_EQ(ring[2].startPoint(), xy(1000, 1000));
    EXPECT_TRUE(other.visible());  // shown again, as after a successful add
}

TEST(EndPoints, StartNotReachedOrPromptCancelledAddsNothing) {
    struct Case {
        const char* name;
        std::vector<std::string> routeLayers;
        int answers;  // how many prompts are answered before Esc
        Point3 start;
        std::size_t prompts;
    };
    const Case cases[] = {
        {"no chain to the start", {kRoute}, 2, xy(-500, 0), 2},
        {"empty route list", {}, 2, xy(0, 0), 2},
        {"first prompt cancelled", {kRoute}, 0, xy(0, 0), 1},
        {"second prompt cancelled", {kRoute}, 1, xy(0, 0), 2},
    };
    for (const Case& c : cases) {
        Plan plan;
        EntityRef a = plan.route(1000, 0, 0, 0);
        plan.snapshot();
        plan.ws.controls.typeList(model::TypeList::Route) = c.routeLayers;
        if (c.answers > 0) plan.prompter.pushPoint(c.start);
        if (c.answers > 1) plan.pick(1000, 0);
        addByEndPoints(plan.ws);
        EXPECT_EQ(plan.ws.piketCount(), 0) << c.name;
        EXPECT_TRUE(plan.ws.controls.piketRows.empty()) << c.name;
        EXPECT_EQ(plan.ui.messages, std::vector<std::string>{kStartNotFound}) << c.name;
        EXPECT_EQ(plan.prompter.prompts.size(), c.prompts) << c.name;
        EXPECT_FALSE(plan.ui.busy) << c.name;
        EXPECT_EQ(a.startPoint(), xy(1000, 0)) << c.name;
    }
}

TEST(EndPoints, TwoAddsGiveConsecutiveRowsLinkedToTheirEntries) {
    Plan plan;
    plan.route(0, 0, 1000, 0);
    plan.route(1000, 0, 2000, 0);
    plan.snapshot();
    // After "Новый проект" the table is empty; numbering starts again.
    model::newProject(plan.ws);
    plan.pick(0, 0);
    plan.pick(1000, 0);
    plan.pick(1000, 0);
    plan.pick(2000, 0);
    addByEndPoints(plan.ws);
    addByEndPoints(plan.ws);

    ASSERT_EQ(plan.ws.piketCount(), 2);
    ASSERT_EQ(plan.ws.pikets.size(), 2u);
    const auto& rows = plan.ws.controls.piketRows;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].caption, "Пикет 1");
    EXPECT_EQ(rows[0].stateIndex, 0);
    EXPECT_EQ(rows[1].caption, "Пикет 2");
    EXPECT_EQ(rows[1].stateIndex, 1);
    EXPECT_EQ(model::rowOf(plan.ws.pikets[1].points.at(0))[model::kX], 1000);
}

TEST(EndPoints, FieldThatIsNotANumberStopsBeforeAnything) {
    struct Case {
        const char* depth;
        const char* pipe;
        const char* field;
    };
    const Case cases[] = {{"abc", "110", kDepthFieldName},
                          {"1", "сто", kPipeFieldName},
                          {"", "110", kDepthFieldName}};
    for (const Case& c : cases) {
        Plan plan;
        EntityRef a = plan.route(1000, 0, 0, 0);
        EntityRef water = plan.line(kWater, 500, -100, 500, 100);
        plan.snapshot();
        plan.ws.controls.hideWhilePicking = true;
        plan.ws.controls.depthText = c.depth;
        plan.ws.controls.pipeText = c.pipe;
        plan.pick(0, 0);
        plan.pick(1000, 0);
        try {
            addByEndPoints(plan.ws);
            ADD_FAILURE() << c.field;
        } catch (const cad::Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.field), std::string::npos) << e.what();
        }
        EXPECT_TRUE(plan.prompter.prompts.empty()) << c.field;
        EXPECT_TRUE(plan.ui.calls.empty()) << c.field;
        EXPECT_EQ(a.startPoint(), xy(1000, 0)) << c.field;
        EXPECT_TRUE(water.visible()) << c.field;
        EXPECT_EQ(plan.ws.piketCount(), 0);
        EXPECT_TRUE(plan.ws.controls.piketRows.empty());
    }
}

namespace {

// Answers like the scripted prompter, and notes which objects were visible
// while the user was asked.
class WatchingPrompter : public cad::Prompter {
  public:
    explicit WatchingPrompter(const std::vector<EntityRef>& watched) : watched_(watched) {}
    Point3 getPoint(const std::string& prompt) override {
        std::vector<bool> v;
        for (const EntityRef& e : watched_) v.push_back(e.visible());
        seen.push_back(v);
        if (failWith) throw cad::Error(*failWith);
        return scripted.getPoint(prompt);
    }
    cad::PickedEntity getEntity(const std::string& prompt) override {
        return scripted.getEntity(prompt);
    }
    cad::ScriptedPrompter scripted;
    std::vector<std::vector<bool>> seen;
    std::optional<std::string> failWith;

  private:
    const std::vector<EntityRef>& watched_;
};

}  // namespace

TEST(EndPoints, HideWhilePickingShowsOnlyTheRouteAndEverythingAfterwards) {
    for (bool hide : {false, true}) {
        for (bool fail : {false, true}) {
            cad::Application app;
            testutil::RecordingUi ui;
            cad::Drawing& d = app.add(std::make_unique<cad::Drawing>());
            std::vector<EntityRef> all;
            WatchingPrompter prompter(all);
            model::Workspace ws(app, prompter, ui);
            ws.doc = &d;
            EntityRef r = d.addLine({0, 0, 0}, {1000, 0, 0});
            r.setLayer(kRoute);
            EntityRef w = d.addLine({500, -100, 0}, {500, 100, 0});
            w.setLayer(kWater);
            EntityRef userHidden = d.addLine({0, 50, 0}, {10, 50, 0});
            userHidden.setVisible(false);
            all = {r, w, userHidden};
            ws.objectList = d.modelSpace();
            ws.controls.hideWhilePicking = hide;
            prompter.scripted.pushPoint({0, 0, 0});
            prompter.scripted.pushPoint({1000, 0, 0});
            if (fail) prompter.failWith = "Связь с чертежом потеряна";

            if (fail) {
                EXPECT_THROW(addByEndPoints(ws), cad::Error);
            } else {
                addByEndPoints(ws);
            }
            ASSERT_FALSE(prompter.seen.empty());
            EXPECT_EQ(prompter.seen[0], (std::vector<bool>{true, !hide, false}));
            EXPECT_TRUE(r.visible());
            EXPECT_TRUE(w.visible());
            // Hiding shows everything at the end, also what the user had hidden.
            EXPECT_EQ(userHidden.visible(), hide);
            EXPECT_FALSE(ui.busy);
            EXPECT_EQ(ws.piketCount(), fail ? 0 : 1);
            EXPECT_EQ(ws.controls.piketRows.size(), fail ? 0u : 1u);
        }
    }
}

TEST(EndPoints, BusyIndicatorIsOffWhileAskingAndAtTheEnd) {
    Plan plan;
    plan.route(0, 0, 1000, 0);
    plan.snapshot();
    plan.pick(0, 0);
    plan.pick(1000, 0);
    addByEndPoints(plan.ws);
    EXPECT_EQ(plan.ui.calls,
              (std::vector<std::string>{"busy:on", "events", "busy:off", "focus:drawing",
                                        "focus:drawing", "busy:on", "busy:off"}));
}

TEST(PiketList, DeletingARowKeepsThePicketAndTheNumbering) {
    Plan plan;
    plan.route(0, 0, 1000, 0);
    plan.snapshot();
    for (int i = 0; i < 3; ++i) {
        plan.pick(0, 0);
        plan.pick(1000, 0);
        addByEndPoints(plan.ws);
    }
    auto& c = plan.ws.controls;
    c.selectedRow = -1;
    deleteSelectedRow(plan.ws);
    ASSERT_EQ(c.piketRows.size(), 3u);

    c.selectedRow = 1;
    deleteSelectedRow(plan.ws);
    ASSERT_EQ(c.piketRows.size(), 2u);
    EXPECT_EQ(c.piketRows[1].caption, "Пикет 3");
    EXPECT_EQ(c.piketRows[1].stateIndex, 2);
    EXPECT_EQ(plan.ws.pikets.size(), 3u);

    plan.pick(0, 0);
    plan.pick(1000, 0);
    addByEndPoints(plan.ws);
    ASSERT_EQ(c.piketRows.size(), 3u);
    EXPECT_EQ(c.piketRows[2].caption, "Пикет 4");
    EXPECT_EQ(c.piketRows[2].stateIndex, 3);
}

TEST(EndPoints, FailureUnderTheRunnerIsAMessageAndLeavesNothingHidden) {
    Plan plan;
    plan.route(0, 0, 1000, 0);
    EntityRef label = plan.d.addText("ПК 0", {0, 100, 0}, 250);
    EntityRef w = plan.line(kWater, 500, -5, 500, 5);
    plan.snapshot();
    label.erase();  // its layer can no longer be read
    plan.ws.controls.hideWhilePicking = true;
    plan.pick(0, 0);
    plan.pick(1000, 0);
    EXPECT_FALSE(model::runOperation(plan.ws, [&] { addByEndPoints(plan.ws); }));
    ASSERT_EQ(plan.ui.messages.size(), 1u);
    EXPECT_NE(plan.ui.messages[0].find("удалён"), std::string::npos) << plan.ui.messages[0];
    EXPECT_FALSE(plan.ui.busy);
    EXPECT_TRUE(w.visible());
    EXPECT_EQ(plan.ws.piketCount(), 0);
    EXPECT_TRUE(plan.ws.controls.piketRows.empty());
}

// A picket end typed or picked just off an end of the route takes that end,
// in the window as in the command line; one farther off than the tolerance
// stays where it was given, and the start is not among the points.
TEST(EndPoints, EndsGivenJustOffTheRouteTakeItsEnds) {
    for (const double off : {0.03, 0.2}) {
        Plan plan;
        plan.ws.controls.planUnits = model::PlanUnits::Metres;
        plan.route(3222633.765, 541053.996, 3222480.921, 541075.072);
        plan.snapshot();
        plan.pick(3222633.765 + off, 541053.996);
        plan.pick(3222480.921, 541075.072 - off);
        addByEndPoints(plan.ws);
        if (off < plan.ws.endSnapTolerance) {
            ASSERT_EQ(plan.ws.piketCount(), 1) << off;
            EXPECT_TRUE(plan.ui.messages.empty()) << off;
            EXPECT_DOUBLE_EQ(plan.ws.pikets[0].points.front().x, 3222633.765) << off;
            EXPECT_DOUBLE_EQ(plan.ws.pikets[0].points.back().y, 541075.072) << off;
        } else {
            EXPECT_EQ(plan.ws.piketCount(), 0) << off;
            EXPECT_EQ(plan.ui.messages, std::vector<std::string>{kStartNotFound}) << off;
        }
    }
}

// A plan drawn so far from the origin that its numbers no longer tell 0.01 mm
// of terrain apart (at 1e15 mm neighbouring values are 0.125 mm apart) would
// measure a 5 km route as 5000.125 m: the picket is refused, saying why. Real
// coordinates with a zone number (7.5e9 mm) keep their lengths to the bit.
TEST(EndPoints, PlanFarFromTheOriginIsRefusedNotMeasuredWrong) {
    struct Case {
        double x0;
        model::PlanUnits units;
        bool refused;
    };
    const Case cases[] = {
        {7.5e9, model::PlanUnits::Millimetres, false},
        {1e15, model::PlanUnits::Millimetres, true},
        {7.5e9, model::PlanUnits::Metres, true},  // 7.5e12 mm of terrain
    };
    for (const Case& c : cases) {
        Plan plan;
        plan.ws.controls.planUnits = c.units;
        plan.route(c.x0, 0, c.x0 + 5e6, 0);
        plan.line(kWater, c.x0 + 2e6, -5, c.x0 + 2e6, 5);
        plan.snapshot();
        plan.pick(c.x0, 0);
        plan.pick(c.x0 + 5e6, 0);
        const bool done = model::runOperation(plan.ws, [&] { addByEndPoints(plan.ws); });
        if (!c.refused) {
            EXPECT_TRUE(done) << c.x0;
            ASSERT_EQ(plan.ws.piketCount(), 1) << c.x0;
            const std::vector<double> xs = xsOf(plan.ws.pikets[0]);
            ASSERT_EQ(xs.size(), 3u);
            EXPECT_EQ(xs.back() - xs.front(), 5e6);
            continue;
        }
        EXPECT_FALSE(done) << c.x0;
        ASSERT_EQ(plan.ui.messages.size(), 1u) << c.x0;
        EXPECT_NE(plan.ui.messages[0].find("0,01 мм местности"), std::string::npos)
            << plan.ui.messages[0];
        EXPECT_EQ(plan.ws.piketCount(), 0);
        EXPECT_TRUE(plan.ws.controls.piketRows.empty());
        EXPECT_FALSE(plan.ui.busy);
    }
}
