// Following the selection of a profile's point line in the sheet drawing.
#include <vector>

#include "editor_fixture.hpp"

using namespace editor_test;

namespace {

class Selection : public EditorFixture {
  protected:
    // Point lines of a profile drawn for the first `count` points.
    void drawPointLines(int count) {
        ws.pointLines.clear();
        for (int k = 0; k < count; ++k) {
            cad::EntityRef line =
                drawing->addLine({55000.0 + 100 * k, 82500, 0}, {55000.0 + 100 * k, 90000, 0});
            line.setLayer("Vline-Kernavisto");
            ws.pointLines.push_back(line);
        }
    }
    void select(std::vector<cad::EntityRef> items) {
        drawing->setPickFirst(std::move(items));
        editor::onSelectionChanged(ws);
    }
};

TEST_F(Selection, TheLaterOfTwoSelectedPointLinesWins) {
    piketInWork({{0, 0}, {100, 0}, {200, 50}, {300, 0}});
    piket().points[2].relief = model::Relief::automatic();
    piket().points[2].casing = 325.0;
    drawPointLines(4);
    select({ws.pointLines[2], ws.pointLines[1]});
    EXPECT_EQ(ws.workPoint, 1);
    select({ws.pointLines[1], ws.pointLines[2]});
    EXPECT_EQ(ws.workPoint, 2);
    EXPECT_EQ(ws.controls.pointNumberText, "3");
    EXPECT_EQ(ws.controls.reliefText, "Авто");
    EXPECT_EQ(ws.controls.casingText, "325");
    EXPECT_EQ(markerCentre().x, 200.0);
    EXPECT_EQ(markerCentre().y, 50.0);
    ASSERT_FALSE(view.requests.empty());
    EXPECT_EQ(view.requests.back().center, (cad::Point3{200, 50, 0}));
    // Each selected object lets the event queue run once.
    int turns = 0;
    for (const std::string& call : ui.calls) turns += call == "events";
    EXPECT_EQ(turns, 4);
}

TEST_F(Selection, MarkerOrOtherLinesChangeNothing) {
    piketInWork({{0, 0}, {100, 0}}, 5.0);
    drawPointLines(2);
    ws.workPoint = 1;
    ws.controls.pointNumberText = "2";
    cad::EntityRef sameGeometryOtherLayer = drawing->addLine({55000, 82500, 0}, {55000, 9e4, 0});
    cad::EntityRef foreignPointLayer = drawing->addLine({1, 1, 0}, {2, 2, 0});
    foreignPointLayer.setLayer("Vline-Kernavisto");  // an older profile's line
    for (auto items : std::vector<std::vector<cad::EntityRef>>{{ws.markLine1},
                                                               {ws.markLine1, ws.markLine2},
                                                               {sameGeometryOtherLayer},
                                                               {foreignPointLayer},
                                                               {}}) {
        select(items);
        EXPECT_EQ(ws.workPoint, 1);
        EXPECT_EQ(ws.controls.pointNumberText, "2");
    }
    EXPECT_TRUE(view.requests.empty());
}

TEST_F(Selection, AnEarlierProfileWithFewerLinesMatchesOnlyItsLines) {
    piketInWork({{0, 0}, {100, 0}});
    drawPointLines(2);
    prompter.pushPoint({50, 0, 0});
    editor::addPoint(ws);  // three points now, two lines
    prompter.pushPoint({70, 0, 0});
    editor::addPoint(ws);  // four points
    select({ws.pointLines[1]});
    EXPECT_EQ(ws.workPoint, 1);
    EXPECT_EQ(ws.controls.pointNumberText, "2");
}

TEST_F(Selection, ALineBeyondTheRemainingPointsNeverNamesAPoint) {
    piketInWork({{0, 0}, {100, 0}, {200, 0}});
    drawPointLines(3);
    ws.workPoint = 2;
    editor::deletePoint(ws);  // two points, three lines
    ws.workPoint = 0;
    select({ws.pointLines[2]});
    EXPECT_EQ(ws.workPoint, 0);
    select({ws.pointLines[2], ws.pointLines[1]});
    EXPECT_EQ(ws.workPoint, 1);
}

TEST_F(Selection, NothingWithoutPointsOrWithoutAPicketInWork) {
    piketInWork({{0, 0}, {100, 0}});
    drawPointLines(2);
    piketInWork({});
    ws.workPoint = 0;
    select({ws.pointLines[1]});
    EXPECT_EQ(ws.workPoint, 0);
    ws.workPiket = -1;
    select({ws.pointLines[1]});
    EXPECT_EQ(ws.workPoint, 0);
    EXPECT_TRUE(ui.calls.empty());
}

TEST_F(Selection, SelectingAPointByNumberSkipsTheSameAsPreviousRule) {
    piketInWork({{0, 0}, {100, 0}, {200, 0}});
    editor::selectPoint(ws, 2);
    EXPECT_EQ(ws.workPoint, 2);
    EXPECT_EQ(ws.controls.reliefText, "-2");
    EXPECT_EQ(value(2, model::kRelief), model::kSameAsPrevious);
    EXPECT_THROW(editor::selectPoint(ws, 3), cad::Error);
    EXPECT_THROW(editor::selectPoint(ws, -1), cad::Error);
    EXPECT_EQ(ws.workPoint, 2);
}

}  // namespace
