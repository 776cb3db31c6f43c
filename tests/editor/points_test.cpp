// Adding a picked point with the nearest-neighbour ordering, and deleting the
// current point.
#include <ostream>
#include <string>
#include <vector>

#include "editor_fixture.hpp"
#include "model/primitives.hpp"

using namespace editor_test;

namespace {

class Points : public EditorFixture {
  protected:
    std::vector<Xy> order() {
        std::vector<Xy> out;
        for (const model::PiketPoint& p : piket().points) out.push_back({p.x, p.y});
        return out;
    }
    void expectOrder(const std::vector<Xy>& expected) {
        std::vector<Xy> got = order();
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].x, expected[k].x) << "point " << k;
            EXPECT_EQ(got[k].y, expected[k].y) << "point " << k;
        }
        EXPECT_EQ(piket().pointObjects.size(), got.size());
    }
    void add(double x, double y) {
        prompter.pushPoint({x, y, 0});
        editor::addPoint(ws);
    }
};

TEST_F(Points, APointBetweenStartAndEndGoesBetween) {
    piketInWork({{0, 0}, {100, 0}});
    cad::EntityRef endObject = piket().pointObjects[1];
    add(40, 1);
    expectOrder({{0, 0}, {40, 1}, {100, 0}});
    EXPECT_EQ(ws.workPoint, 1);
    EXPECT_EQ(ws.controls.pointNumberText, "2");
    EXPECT_EQ(ws.controls.pointCountText, "3");
    EXPECT_TRUE(piket().pointObjects[1].isNull());
    EXPECT_EQ(piket().pointObjects[2], endObject);
    EXPECT_EQ(markerCentre().x, 40.0);
    EXPECT_EQ(markerCentre().y, 1.0);
    EXPECT_TRUE(view.requests.empty());
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_EQ(prompter.prompts[0], "Укажите пересечение");
    EXPECT_EQ(ui.calls.front(), "focus:drawing");
}

TEST_F(Points, APointIsOrderedInAfterACloserPoint) {
    piketInWork({{0, 0}, {50, 0}, {100, 0}});
    add(70, 0);
    expectOrder({{0, 0}, {50, 0}, {70, 0}, {100, 0}});
    EXPECT_EQ(ws.controls.pointNumberText, "3");
    EXPECT_EQ(ws.workPoint, 2);
}

TEST_F(Points, TheNewPointTakesTheInitialParameters) {
    piketInWork({{0, 0}, {100, 0}});
    ws.controls.depthText = "1.75";
    ws.controls.pipeText = "159.5";
    add(33.333333, 0.123456789);
    const model::PointRow row = model::rowOf(piket().points[1]);
    EXPECT_EQ(row[model::kX], 33.333333);
    EXPECT_EQ(row[model::kY], 0.123456789);
    EXPECT_EQ(row[model::kRelief], model::kAuto);
    EXPECT_EQ(row[model::kDepth], 1.75);
    EXPECT_EQ(row[model::kPipe], 159.5);
    for (int k = 5; k < 10; ++k) EXPECT_EQ(row[static_cast<std::size_t>(k)], 0.0) << k;
    EXPECT_EQ(ws.controls.reliefText, "Авто");
    EXPECT_EQ(ws.controls.casingText, "0");
    EXPECT_EQ(ws.controls.pointPipeText, "159,5");
}

TEST_F(Points, AddingToAPicketWithoutPointsMakesPointZero) {
    piketInWork({});
    add(5, 6);
    expectOrder({{5, 6}});
    EXPECT_EQ(ws.workPoint, 0);
    EXPECT_EQ(ws.controls.pointCountText, "1");
    EXPECT_EQ(ws.controls.pointNumberText, "1");
}

// With one point before the addition the bound is 0: no point is closer, and
// the order stays as it was (the new point last) instead of an exchange with
// a stale index.
TEST_F(Points, AStepWithoutACloserPointKeepsTheOrder) {
    piketInWork({{0, 0}});
    add(30, 0);
    expectOrder({{0, 0}, {30, 0}});
    EXPECT_EQ(ws.workPoint, 1);
    EXPECT_EQ(ws.controls.pointNumberText, "2");
}

TEST_F(Points, APointBeyondTheEndStaysLastAndTheStartStaysFirst) {
    piketInWork({{0, 0}, {100, 0}});
    add(150, 0);
    expectOrder({{0, 0}, {100, 0}, {150, 0}});
    EXPECT_EQ(ws.workPoint, 2);
}

TEST_F(Points, EqualDistancesTakeTheFirstPoint) {
    piketInWork({{0, 0}, {100, 0}});
    add(50, 10);
    add(50, -10);  // as near to point 0 as (50, 10), found later
    expectOrder({{0, 0}, {50, 10}, {50, -10}, {100, 0}});
    EXPECT_EQ(ws.workPoint, 2);
}

TEST_F(Points, ACasingStaysWithItsPointWhenAPointIsOrderedInBefore) {
    piketInWork({{0, 0}, {60, 0}, {100, 0}});
    piket().points[1].casing = 325.0;
    cad::EntityRef object = piket().pointObjects[1];
    add(20, 0);
    expectOrder({{0, 0}, {20, 0}, {60, 0}, {100, 0}});
    EXPECT_EQ(value(2, model::kCasing), 325.0);
    EXPECT_EQ(piket().pointObjects[2], object);
    EXPECT_EQ(value(1, model::kCasing), 0.0);
}

struct BadField {
    const char* depth;
    const char* pipe;
};

void PrintTo(const BadField& f, std::ostream* os) {
    *os << "depth \"" << f.depth << "\" pipe \"" << f.pipe << "\"";
}

class PointsBadFields : public Points, public testing::WithParamInterface<BadField> {};

TEST_P(PointsBadFields, AreRefusedBeforeAnythingIsAddedOrAsked) {
    piketInWork({{0, 0}, {100, 0}});
    ws.controls.depthText = GetParam().depth;
    ws.controls.pipeText = GetParam().pipe;
    ws.controls.pointCountText = "2";
    prompter.pushPoint({40, 0, 0});
    EXPECT_THROW(editor::addPoint(ws), cad::Error);
    expectOrder({{0, 0}, {100, 0}});
    EXPECT_EQ(ws.controls.pointCountText, "2");
    EXPECT_EQ(ws.workPoint, 0);
    EXPECT_TRUE(prompter.prompts.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, PointsBadFields,
                         testing::Values(BadField{"один", "110"}, BadField{"1", ""},
                                         BadField{"1.000,5", "110"}));

// A point picked where the plan's numbers no longer tell 0.01 mm apart, or
// on a point the picket has (the project file would refuse the picket).
TEST_F(Points, APointFarFromTheOriginOrOnAPointIsRefused) {
    piketInWork({{0, 0}, {100, 0}});
    ws.controls.pointCountText = "2";
    for (cad::Point3 at : {cad::Point3{1e15, 0, 0}, cad::Point3{100, 0, 0}}) {
        prompter.pushPoint(at);
        EXPECT_THROW(editor::addPoint(ws), cad::Error) << at.x;
        expectOrder({{0, 0}, {100, 0}});
        EXPECT_EQ(ws.controls.pointCountText, "2");
    }
}

TEST_F(Points, EscAtThePointPromptChangesNothing) {
    piketInWork({{0, 0}, {100, 0}});
    ws.workPoint = 1;
    ws.controls.reliefText = "shown";
    ws.controls.pointCountText = "2";
    Xy before = markerCentre();
    prompter.pushCancel();
    EXPECT_NO_THROW(editor::addPoint(ws));
    expectOrder({{0, 0}, {100, 0}});
    EXPECT_EQ(ws.workPoint, 1);
    EXPECT_EQ(ws.controls.reliefText, "shown");
    EXPECT_EQ(ws.controls.pointCountText, "2");
    EXPECT_EQ(markerCentre().x, before.x);
    EXPECT_TRUE(ui.messages.empty());
}

// Deleting: which point becomes current, and what the panel shows.
struct DeleteCase {
    int points;
    int current;           // point deleted (0-based)
    int expectedCurrent;   // afterwards
    double expectedShown;  // X of the point shown
};

void PrintTo(const DeleteCase& c, std::ostream* os) {
    *os << "point " << c.current + 1 << " of " << c.points;
}

class PointsDelete : public Points, public testing::WithParamInterface<DeleteCase> {};

TEST_P(PointsDelete, MakesTheNeighbourCurrent) {
    const DeleteCase& c = GetParam();
    std::vector<Xy> at;
    for (int k = 0; k < c.points; ++k) at.push_back({100.0 * k, 0});
    piketInWork(at);
    for (int k = 0; k < c.points; ++k)
        piket().points[static_cast<std::size_t>(k)].relief = model::Relief::typed(k);
    ws.workPoint = c.current;
    editor::deletePoint(ws);
    EXPECT_EQ(piket().pointCount(), c.points - 1);
    EXPECT_EQ(piket().pointObjects.size(), static_cast<std::size_t>(c.points - 1));
    EXPECT_EQ(ws.workPoint, c.expectedCurrent);
    EXPECT_EQ(ws.controls.pointCountText, std::to_string(c.points - 1));
    EXPECT_EQ(ws.controls.pointNumberText, std::to_string(c.expectedCurrent + 1));
    EXPECT_EQ(markerCentre().x, c.expectedShown);
    EXPECT_EQ(ws.controls.reliefText, model::formatNumber(c.expectedShown / 100.0, ','));
    for (int k = 0; k < c.points - 1; ++k) {
        EXPECT_NE(value(k, model::kX), 100.0 * c.current) << "deleted point still there";
    }
    EXPECT_TRUE(view.requests.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, PointsDelete,
                         testing::Values(DeleteCase{4, 0, 0, 100.0},  // first: the next one
                                         DeleteCase{4, 3, 2, 200.0},  // last: the one before
                                         DeleteCase{4, 2, 1, 100.0}));

TEST_F(Points, DeletingTheOnlyPointLeavesTheFieldsAndThenDoesNothing) {
    piketInWork({{10, 20}}, 4.0);
    editor::open(ws);
    editor::deletePoint(ws);
    EXPECT_EQ(piket().pointCount(), 0);
    EXPECT_TRUE(piket().pointObjects.empty());
    EXPECT_EQ(ws.controls.pointCountText, "0");
    EXPECT_EQ(ws.controls.pointNumberText, "1");
    EXPECT_EQ(ws.controls.reliefText, "4");
    EXPECT_EQ(markerCentre().x, 10.0);
    EXPECT_NO_THROW(editor::deletePoint(ws));
    EXPECT_EQ(ws.workPoint, 0);
}

TEST_F(Points, ACasingStaysWithItsPointWhenAnEarlierPointIsDeleted) {
    piketInWork({{0, 0}, {50, 0}, {100, 0}});
    piket().points[2].casing = 530.0;
    ws.workPoint = 1;
    editor::deletePoint(ws);
    EXPECT_EQ(value(1, model::kX), 100.0);
    EXPECT_EQ(value(1, model::kCasing), 530.0);
}

TEST_F(Points, DeletingLeavesTheDrawingAlone) {
    piketInWork({{0, 0}, {50, 0}, {100, 0}});
    cad::EntityRef object = piket().pointObjects[1];
    std::size_t entities = drawing->modelSpace().size();
    ws.workPoint = 1;
    editor::deletePoint(ws);
    EXPECT_EQ(drawing->modelSpace().size(), entities);
    EXPECT_NO_THROW(object.layer());
}

}  // namespace
