// Opening the editor, stepping with the "same as previous" rule, showing a
// point, the marker cross, the zoom and the keys of the three fields.
#include <functional>
#include <ostream>
#include <string>

#include "editor_fixture.hpp"

using namespace editor_test;

namespace {

class Navigation : public EditorFixture {};

TEST_F(Navigation, OpeningWithoutPointsShowsZeroAndLeavesFieldsAndMarker) {
    piketInWork({});
    ws.controls.reliefText = "typed";
    ws.workPoint = 3;
    Xy before = markerCentre();
    editor::open(ws);
    EXPECT_EQ(ws.controls.front, model::PanelId::Editor);
    EXPECT_EQ(ws.controls.pointCountText, "0");
    EXPECT_EQ(ws.controls.pointNumberText, "0");
    EXPECT_EQ(ws.workPoint, 0);
    EXPECT_EQ(ws.controls.reliefText, "typed");
    EXPECT_EQ(markerCentre().x, before.x);
    EXPECT_TRUE(view.requests.empty());
}

TEST_F(Navigation, FivePointWalkCopiesThePreviousHeightOnlyStepping) {
    piketInWork({{0, 0}, {100, 0}, {200, 0}, {300, 0}, {400, 0}});
    editor::open(ws);
    EXPECT_EQ(ws.controls.pointCountText, "5");
    EXPECT_EQ(ws.controls.pointNumberText, "1");
    EXPECT_EQ(ws.controls.reliefText, "Авто");
    EXPECT_EQ(value(0, model::kRelief), model::kAuto);

    editor::last(ws);  // point 4 was never reached: its -2 is copied as -2
    EXPECT_EQ(ws.controls.pointNumberText, "5");
    EXPECT_EQ(ws.controls.reliefText, "-2");
    EXPECT_EQ(value(4, model::kRelief), model::kSameAsPrevious);

    editor::first(ws);
    editor::next(ws);
    EXPECT_EQ(ws.controls.pointNumberText, "2");
    EXPECT_EQ(ws.controls.reliefText, "Авто");
    EXPECT_EQ(value(1, model::kRelief), model::kAuto);
    EXPECT_EQ(value(2, model::kRelief), model::kSameAsPrevious);

    // Stepping back never replaces -2.
    piket().points[0].relief = model::Relief::asPrevious();
    editor::previous(ws);
    EXPECT_EQ(ws.controls.reliefText, "-2");
    EXPECT_EQ(value(0, model::kRelief), model::kSameAsPrevious);
    // Forward onto point 0 (a one-step move that stays there) makes it automatic.
    piketInWork({{0, 0}});
    editor::next(ws);
    EXPECT_EQ(value(0, model::kRelief), model::kAuto);
}

TEST_F(Navigation, SteppingForwardCopiesAKnownHeight) {
    piketInWork({{0, 0}, {100, 0}, {200, 0}});
    piket().points[0].relief = model::Relief::typed(151.25);
    editor::open(ws);
    EXPECT_EQ(ws.controls.reliefText, "151,25");
    editor::next(ws);
    editor::next(ws);
    EXPECT_EQ(value(1, model::kRelief), 151.25);
    EXPECT_EQ(value(2, model::kRelief), 151.25);
    EXPECT_EQ(ws.controls.reliefText, "151,25");
}

TEST_F(Navigation, StepsStopAtBothEndsAndShowThePointAgain) {
    piketInWork({{0, 0}, {100, 0}, {200, 0}}, 10.0);
    editor::open(ws);
    ws.controls.reliefText = "unsaved";
    editor::previous(ws);
    EXPECT_EQ(ws.workPoint, 0);
    EXPECT_EQ(ws.controls.reliefText, "10");
    editor::last(ws);
    editor::next(ws);
    EXPECT_EQ(ws.workPoint, 2);
    EXPECT_EQ(ws.controls.pointNumberText, "3");
}

TEST_F(Navigation, ShowsValuesWithTheSeparatorAndMovesTheMarker) {
    piketInWork({{1000.5, 2000.25}, {3000, 4000}});
    piket().points[1].relief = model::Relief::typed(12.5);
    piket().points[1].pipe = 159.0;
    piket().points[1].casing = 325.5;
    ws.workPoint = 1;
    editor::ShowWorkPoint(ws);
    EXPECT_EQ(ws.controls.pointNumberText, "2");
    EXPECT_EQ(ws.controls.reliefText, "12,5");
    EXPECT_EQ(ws.controls.pointPipeText, "159");
    EXPECT_EQ(ws.controls.casingText, "325,5");
    Xy c = markerCentre();
    EXPECT_EQ(c.x, 3000.0);
    EXPECT_EQ(c.y, 4000.0);
    EXPECT_TRUE(ws.markLine1.visible());
    EXPECT_TRUE(ws.markLine2.visible());
    ASSERT_EQ(view.requests.size(), 1u);
    EXPECT_EQ(view.requests[0].kind, "zoomCenter");
    EXPECT_EQ(view.requests[0].center, (cad::Point3{3000, 4000, 0}));
    EXPECT_EQ(view.requests[0].magnification, 25000.0);
}

TEST_F(Navigation, NoZoomWhenTheProjectDrawingIsNotActiveButTheMarkerMoves) {
    piketInWork({{0, 0}, {500, 700}});
    app.add(std::make_unique<cad::Drawing>());  // another drawing becomes the active one
    editor::open(ws);
    editor::last(ws);
    EXPECT_TRUE(view.requests.empty());
    EXPECT_EQ(markerCentre().x, 500.0);
    EXPECT_EQ(markerCentre().y, 700.0);
}

TEST_F(Navigation, ShowWithoutZoomDoesNotZoom) {
    piketInWork({{0, 0}});
    editor::ShowWorkPoint(ws, false);
    EXPECT_TRUE(view.requests.empty());
    EXPECT_EQ(ws.controls.pointNumberText, "1");
}

TEST_F(Navigation, AnErasedMarkerEndsTheStepWithTheNewPointKept) {
    piketInWork({{0, 0}, {100, 0}}, 5.0);
    editor::open(ws);
    ws.markLine2.erase();
    EXPECT_THROW(editor::next(ws), cad::Error);
    EXPECT_EQ(ws.workPoint, 1);
    EXPECT_EQ(ws.controls.pointNumberText, "2");
}

TEST_F(Navigation, APointLeftOverFromALongerPicketIsKeptInside) {
    piketInWork({{0, 0}, {100, 0}, {200, 0}, {300, 0}, {400, 0}}, 1.0);
    ws.workPoint = 4;
    piketInWork({{0, 0}, {50, 0}}, 2.0);  // taken into work after the first one
    editor::previous(ws);
    EXPECT_EQ(ws.workPoint, 0);
    ws.workPoint = 4;
    editor::ShowWorkPoint(ws);
    EXPECT_EQ(ws.controls.pointNumberText, "2");
}

TEST_F(Navigation, NothingHappensWithoutAPicketInWork) {
    piketInWork({{0, 0}, {100, 0}});
    ws.workPiket = -1;
    ws.controls.reliefText = "12.5";
    ws.controls.casingText = "x";
    ws.controls.pointPipeText = "y";
    model::Controls before = ws.controls;
    const std::function<void(model::Workspace&)> actions[] = {
        editor::open,
        editor::first,
        editor::previous,
        editor::next,
        editor::last,
        editor::takeOverRelief,
        editor::takeOverPipe,
        editor::takeOverCasing,
        editor::setAuto,
        editor::pickRelief,
        editor::addPoint,
        editor::deletePoint,
        editor::onSelectionChanged,
        [](model::Workspace& w) { editor::ShowWorkPoint(w); },
    };
    prompter.pushPoint({10, 10, 0});
    for (const auto& action : actions) action(ws);
    EXPECT_EQ(ws.controls.reliefText, before.reliefText);
    EXPECT_EQ(ws.controls.casingText, before.casingText);
    EXPECT_EQ(ws.controls.pointNumberText, before.pointNumberText);
    EXPECT_EQ(ws.controls.front, before.front);
    EXPECT_EQ(ws.pikets[0].pointCount(), 2);
    EXPECT_TRUE(prompter.prompts.empty());
    EXPECT_TRUE(view.requests.empty());
    EXPECT_THROW(editor::selectPoint(ws, 0), cad::Error);
}

// The keys released in each field: the arrows step, End is "Авто", Home "Указать".
struct KeyCase {
    editor::Key key;
    int startPoint;
    int expectedPoint;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << "key " << static_cast<int>(c.key) << " from point " << c.startPoint + 1;
}

class Keys : public EditorFixture,
             public testing::WithParamInterface<std::tuple<editor::Field, KeyCase>> {};

TEST_P(Keys, ArrowsStepInEveryField) {
    auto [field, c] = GetParam();
    piketInWork({{0, 0}, {100, 0}, {200, 0}, {300, 0}}, 3.0);
    ws.workPoint = c.startPoint;
    ws.controls.reliefText = "unsaved typing";
    EXPECT_TRUE(editor::keyUp(ws, field, c.key));
    EXPECT_EQ(ws.workPoint, c.expectedPoint);
    EXPECT_EQ(ws.controls.reliefText, "3");
}

INSTANTIATE_TEST_SUITE_P(
    Table, Keys,
    testing::Combine(
        testing::Values(editor::Field::Relief, editor::Field::Casing, editor::Field::Pipe),
        testing::Values(KeyCase{editor::Key::Left, 2, 0}, KeyCase{editor::Key::Up, 1, 2},
                        KeyCase{editor::Key::Down, 2, 1}, KeyCase{editor::Key::Right, 1, 3})));

class KeysNavigation : public EditorFixture {};

TEST_F(KeysNavigation, EndInTheCasingFieldMakesTheReliefAutomatic) {
    piketInWork({{0, 0}, {100, 0}}, 3.0);
    piket().points[1].casing = 325.0;
    ws.workPoint = 1;
    EXPECT_TRUE(editor::keyUp(ws, editor::Field::Casing, editor::Key::End));
    EXPECT_EQ(value(1, model::kRelief), model::kAuto);
    EXPECT_EQ(value(1, model::kCasing), 325.0);
    EXPECT_EQ(ws.controls.reliefText, "Авто");
}

TEST_F(KeysNavigation, HomeAsksForTheHeightText) {
    piketInWork({{0, 0}}, 3.0);
    EXPECT_TRUE(editor::keyUp(ws, editor::Field::Pipe, editor::Key::Home));
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_EQ(prompter.prompts[0], "\"Укажите высоту рельефа\" Выход ESC");
    EXPECT_FALSE(editor::keyUp(ws, editor::Field::Pipe, editor::Key::Enter));
    EXPECT_FALSE(editor::keyUp(ws, editor::Field::Pipe, editor::Key::Other));
}

TEST_F(KeysNavigation, EnterTakesOverTheFieldItIsTypedIn) {
    piketInWork({{0, 0}}, 3.0);
    ws.controls.reliefText = "7.5";
    ws.controls.casingText = "530";
    ws.controls.pointPipeText = "225";
    EXPECT_TRUE(editor::keyPress(ws, editor::Field::Casing, editor::Key::Enter));
    EXPECT_EQ(value(0, model::kCasing), 530.0);
    EXPECT_EQ(value(0, model::kRelief), 3.0);
    EXPECT_EQ(value(0, model::kPipe), 110.0);
    EXPECT_TRUE(editor::keyPress(ws, editor::Field::Pipe, editor::Key::Enter));
    EXPECT_EQ(value(0, model::kPipe), 225.0);
    EXPECT_TRUE(editor::keyPress(ws, editor::Field::Relief, editor::Key::Enter));
    EXPECT_EQ(value(0, model::kRelief), 7.5);
    EXPECT_FALSE(editor::keyPress(ws, editor::Field::Relief, editor::Key::Up));
    EXPECT_EQ(ws.workPoint, 0);
}

}  // namespace
