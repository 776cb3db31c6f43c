// One action at a time, the busy indicator hidden however an action ends,
// failures shown, Esc quiet, and objects hidden for picking shown again when
// the action fails.
#include <gtest/gtest.h>

#include <stdexcept>

#include "model/runner.hpp"
#include "recording_ui.hpp"

using namespace model;

namespace {

struct Fixture : testing::Test, testutil::RecordingWorkspace {};

using Runner = Fixture;

}  // namespace

struct EndCase {
    const char* name;
    std::function<void()> body;
    bool completed;
    const char* message;  // nullptr: no message
};

class RunnerEnds : public Fixture, public testing::WithParamInterface<EndCase> {};

TEST_P(RunnerEnds, BusyIndicatorAlwaysHiddenAndFailureShown) {
    const EndCase& c = GetParam();
    EXPECT_EQ(runOperation(ws, c.body), c.completed);
    EXPECT_FALSE(ui.busy);
    EXPECT_FALSE(ws.operationRunning);
    ASSERT_FALSE(ui.calls.empty());
    EXPECT_EQ(ui.calls.front(), "busy:on");
    EXPECT_EQ(ui.calls.back(), "busy:off");
    if (c.message) {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0], c.message);
    } else {
        EXPECT_TRUE(ui.messages.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ends, RunnerEnds,
    testing::Values(
        EndCase{"Completes", [] {}, true, nullptr},
        EndCase{"DrawingError", [] { throw cad::Error("Объект удалён"); }, false, "Объект удалён"},
        EndCase{"Escape", [] { throw cad::Cancelled(); }, false, nullptr},
        EndCase{"OtherException", [] { throw std::runtime_error("x"); }, false, "Ошибка: x"}),
    [](const testing::TestParamInfo<EndCase>& p) { return std::string(p.param.name); });

TEST_F(Runner, SecondActionCannotStartWhileOneRuns) {
    int inner = 0;
    bool innerResult = true;
    bool outer = runOperation(ws, [&] {
        innerResult = runOperation(ws, [&] { ++inner; });
        EXPECT_TRUE(ui.busy);  // the refused one must not hide the indicator
    });
    EXPECT_TRUE(outer);
    EXPECT_FALSE(innerResult);
    EXPECT_EQ(inner, 0);
    EXPECT_FALSE(ui.busy);
    // After the first ends, the next one runs.
    EXPECT_TRUE(runOperation(ws, [&] { ++inner; }));
    EXPECT_EQ(inner, 1);
}

namespace {

struct Plan {
    cad::Drawing doc;
    cad::EntityRef route, water, other, erased;
    explicit Plan(Workspace& ws) {
        route = doc.addLine({0, 0, 0}, {10, 0, 0});
        route.setLayer("Трасса - Kernavisto");
        water = doc.addLine({5, -5, 0}, {5, 5, 0});
        water.setLayer("Водопровод - Kernavisto");
        other = doc.addLine({1, 1, 0}, {2, 2, 0});
        erased = doc.addLine({3, 3, 0}, {4, 4, 0});
        ws.objectList = doc.modelSpace();
        erased.erase();
    }
};

}  // namespace

TEST_F(Runner, HidingForPickingLeavesOnlyTheRouteAndNeedsTheTick) {
    Plan plan(ws);
    EXPECT_FALSE(hideForPicking(ws));  // not ticked
    EXPECT_TRUE(plan.water.visible());
    ws.controls.hideWhilePicking = true;
    ws.controls.typeList(model::TypeList::Route).clear();
    EXPECT_FALSE(hideForPicking(ws));  // no route layer listed
    EXPECT_TRUE(plan.other.visible());
    ws.controls.typeList(model::TypeList::Route) = {"Трасса - Kernavisto"};
    EXPECT_TRUE(hideForPicking(ws));  // the erased object is skipped
    EXPECT_TRUE(plan.route.visible());
    EXPECT_FALSE(plan.water.visible());
    EXPECT_FALSE(plan.other.visible());
    showAfterPicking(ws);
    EXPECT_TRUE(plan.water.visible());
    EXPECT_TRUE(plan.other.visible());
    EXPECT_FALSE(ws.objectsHiddenForPicking);
}

TEST_F(Runner, FailedActionShowsObjectsHiddenForPickingAgain) {
    Plan plan(ws);
    ws.controls.hideWhilePicking = true;
    plan.other.setVisible(false);  // hidden by the user before: shown too, as at a normal end
    EXPECT_FALSE(runOperation(ws, [&] {
        hideForPicking(ws);
        throw cad::Error("Ошибка");
    }));
    EXPECT_TRUE(plan.water.visible());
    EXPECT_TRUE(plan.other.visible());
    EXPECT_FALSE(ws.objectsHiddenForPicking);

    // A failing action that hid nothing leaves visibility alone.
    plan.other.setVisible(false);
    EXPECT_FALSE(runOperation(ws, [&] { throw cad::Error("Ошибка"); }));
    EXPECT_FALSE(plan.other.visible());
}
