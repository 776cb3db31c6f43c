// Ground points from the survey in a profile run: the pipe runs straight
// between the route's points beneath them, the slope row keeps one cell over
// them, and the developed plan marks nothing there.
#include "fixture.hpp"

namespace {

using profile_test::ProfileFixture;

class GroundPoints : public ProfileFixture {
  protected:
    void addGroundPoint(double x, double relief) {
        addPoint(x, 0, relief, model::kAuto, "");
        piket().points.back().kind = model::PointKind::Ground;
    }
};

TEST_F(GroundPoints, PipeStaysStraightAndTheCellWhole) {
    addPoint(0, 0, 100.0, 1.0);
    addGroundPoint(10000, 102.0);
    addGroundPoint(15000, 101.0);
    addPoint(20000, 0, 100.0, 1.2);
    profile::build(ws);
    // Pipe tops 99 and 98.8: 98.9 at 10 m and 98.85 at 15 m under the ground.
    EXPECT_NEAR(value(1, model::kDepth), 3.1, 1e-9);
    EXPECT_NEAR(value(2, model::kDepth), 2.15, 1e-9);
    EXPECT_TRUE(lineFrom(55000, 40000 + 2500, 75000, 40000 - 2500));  // one falling cell
    EXPECT_FALSE(lineFrom(65000, 42500, 65000, 37500));               // no boundary inside
    EXPECT_EQ(textsAtY(41200).size(), 1u);
    // Marks in the developed plan: the start and the last point only.
    std::size_t marks = 0;
    for (const auto& l : lines()) marks += l.start.y == 4500.0 && l.end.y == 20500.0;
    EXPECT_EQ(marks, 2u);
    // The ground line goes through the ground points.
    EXPECT_TRUE(lineFrom(55000, 82500 + 5 * 5000, 65000, 82500 + 7 * 5000));
}

TEST_F(GroundPoints, OrdinaryPointsWithoutDepthKeepTheirInterpolation) {
    addPoint(0, 0, 100.0, 1.0);
    addPoint(10000, 0, 102.0, model::kAuto);
    addPoint(20000, 0, 100.0, 1.2);
    profile::build(ws);
    EXPECT_NEAR(value(1, model::kDepth), 1.1, 1e-9);
}

}  // namespace
