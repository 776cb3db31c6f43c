// The developed plan: full marks for crossings, half marks on the side a
// connection leaves to, the coarse coordinate equality, and the bend angles.
#include <algorithm>
#include <cmath>

#include "fixture.hpp"
#include "profile/steps.hpp"

using namespace profile_test;

namespace {

class PlanMarks : public ProfileFixture {
  protected:
    // A connection line on the connections layer with a lineweight of its own.
    cad::EntityRef connection(cad::Point3 a, cad::Point3 b) {
        cad::EntityRef c = doc.addLine(a, b);
        c.setLayer(kConnectionLayer);
        c.setLineweight(35);
        return c;
    }
};

struct SideCase {
    cad::Point3 start;  // of the connection, one end on point (10000, 0)
    cad::Point3 end;
    double markTop;  // y of the mark's end; it starts on the plan line
};

void PrintTo(const SideCase& c, std::ostream* os) {
    *os << "connection (" << c.start.x << ", " << c.start.y << ") - (" << c.end.x << ", " << c.end.y
        << ")";
}

class ConnectionSide : public PlanMarks, public testing::WithParamInterface<SideCase> {};

TEST_P(ConnectionSide, HalfMarkPointsToTheSideTheConnectionLeavesTo) {
    addPoint(0, 0, 100);
    addPointWith(connection(GetParam().start, GetParam().end), 10000, 0, 100);
    addPoint(20000, 0, 100);
    profile::build(ws);
    auto mark = lineFrom(65000, 12500, 65000, GetParam().markTop);
    ASSERT_TRUE(mark);
    EXPECT_EQ(mark->layer, kConnectionLayer);
    EXPECT_EQ(mark->lineweight, 35);
}

INSTANTIATE_TEST_SUITE_P(
    RouteGoingEast, ConnectionSide,
    testing::Values(SideCase{{10000, 0, 0}, {10000, 100000, 0}, 20500},   // north: up
                    SideCase{{10000, 0, 0}, {10000, -100000, 0}, 4500},   // south: down
                    SideCase{{10000, 100000, 0}, {10000, 0, 0}, 20500},   // reversed north
                    SideCase{{10000, -100000, 0}, {10000, 0, 0}, 4500}),  // reversed south
    [](const testing::TestParamInfo<SideCase>& p) { return "Case" + std::to_string(p.index); });

TEST_F(PlanMarks, CoordinatesCompareByTheirFourLeadingDigits) {
    // 512349.9 and 512345.67 are both 512300: the start lies on the point and
    // the far end is to the north.
    addPoint(400000, 300000, 100);
    addPointWith(connection({512349.9, 300000, 0}, {512349.9, 400000, 0}), 512345.67, 300000, 100);
    // 512355.0 is 512400: neither end lies on this point, so the far end of
    // the earlier connection (north of a route going east) decides: up.
    addPointWith(connection({512355.0, 300000, 0}, {512355.0, 200000, 0}), 612345.67, 300000, 100);
    profile::build(ws);
    const double x1 = 55000 + 112345.67;
    const double x2 = x1 + 100000;
    EXPECT_TRUE(lineFrom(x1, 12500, x1, 20500));
    EXPECT_TRUE(lineFrom(x2, 12500, x2, 20500));
}

TEST_F(PlanMarks, CrossingsGetFullMarksLookingLikeTheirObject) {
    addPoint(0, 0, 100);
    addPoint(10000, 0, 100, 1.0, kWaterLayer);
    piket().pointObjects[0].setLineweight(50);
    profile::build(ws);
    auto start = lineFrom(55000, 4500, 55000, 20500);
    ASSERT_TRUE(start);
    EXPECT_EQ(start->layer, kRouteLayer);
    EXPECT_EQ(start->lineweight, 50);
    auto crossing = lineFrom(65000, 4500, 65000, 20500);
    ASSERT_TRUE(crossing);
    EXPECT_EQ(crossing->layer, kWaterLayer);
}

TEST_F(PlanMarks, AConnectionAlongTheRouteLineGetsAFullMark) {
    addPoint(0, 0, 100);
    addPointWith(connection({10000, 0, 0}, {30000, 0, 0}), 10000, 0, 100);
    addPoint(20000, 0, 100);
    profile::build(ws);
    EXPECT_TRUE(ui.messages.empty());
    auto mark = lineFrom(65000, 4500, 65000, 20500);
    ASSERT_TRUE(mark);
    EXPECT_EQ(mark->layer, kConnectionLayer);
}

TEST_F(PlanMarks, APointAddedByTheEditorGetsAFullSheetMarkAndNoPicketLabel) {
    addPoint(0, 0, 100);
    addPoint(10000, 0, 100, 1.0, "");  // no point object
    addPoint(20000, 0, 100);
    profile::build(ws);
    EXPECT_TRUE(ui.messages.empty());
    auto mark = lineFrom(65000, 4500, 65000, 20500);
    ASSERT_TRUE(mark);
    EXPECT_EQ(mark->layer, "Kernavisto");
    // The run went on to the picket row: the route point at 20 m has its label,
    // the added point has none.
    std::vector<double> labelX;
    for (const DrawnText& t : textsAtY(25450)) labelX.push_back(t.at.x);
    EXPECT_EQ(labelX, (std::vector<double>{75625, 55625}));
}

// Bends of the developed plan, from the points alone.
profile::detail::Rows piketThrough(std::vector<cad::Point3> pts) {
    profile::detail::Rows p;
    double chainage = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        if (i > 0) chainage += std::hypot(pts[i].x - pts[i - 1].x, pts[i].y - pts[i - 1].y);
        model::PointRow row{};
        row[model::kX] = pts[i].x;
        row[model::kY] = pts[i].y;
        row[model::kChainage] = chainage;
        p.points.push_back(row);
        p.pointObjects.emplace_back();
    }
    return p;
}

TEST(Bend, LeftTurnOf135DegreesRaisesBothLegsByHalfTheTurn) {
    auto bend = profile::detail::bendAt(piketThrough({{0, 0}, {100000, 0}, {200000, 100000}}), 1);
    ASSERT_TRUE(bend);
    EXPECT_EQ(bend->angle, 135);
    EXPECT_EQ(bend->vertex, (cad::Point3{155000, 12500, 0}));
    EXPECT_DOUBLE_EQ(bend->first.x, 153000);
    EXPECT_DOUBLE_EQ(bend->second.x, 157000);
    EXPECT_NEAR(bend->first.y, 12500 + 828.43, 0.005);
    EXPECT_NEAR(bend->second.y, 12500 + 828.43, 0.005);
    EXPECT_EQ(bend->textPoint, (cad::Point3{155000, 14500, 0}));
}

TEST(Bend, RightTurnHangsTheLegsBelowThePlanLine) {
    auto bend = profile::detail::bendAt(piketThrough({{0, 0}, {10000, 0}, {10000, -10000}}), 1);
    ASSERT_TRUE(bend);
    EXPECT_EQ(bend->angle, 90);
    EXPECT_NEAR(bend->first.y, 10500, 1e-6);
    EXPECT_EQ(bend->textPoint.y, 10500);
}

TEST(Bend, NoneWhereTheRouteRunsStraightOrPointsCoincide) {
    using profile::detail::bendAt;
    EXPECT_FALSE(bendAt(piketThrough({{0, 0}, {1000, 0}, {2000, 0}}), 1));
    EXPECT_FALSE(bendAt(piketThrough({{0, 0}, {1000, 0}}), 1));
    EXPECT_FALSE(bendAt(piketThrough({{0, 0}, {1000, 0}, {1000, 0}, {1000, 3000}}), 1));
    EXPECT_FALSE(bendAt(piketThrough({{0, 0}, {1000, 0}, {1000, 0}, {1000, 3000}}), 2));
    EXPECT_FALSE(bendAt(piketThrough({{0, 0}, {1000, 0}, {0, 0}}), 1));  // doubles back
}

TEST(Bend, ACosineRoundedPastMinusOneCountsAsStraight) {
    const cad::Point3 a{0, 0}, v{123456.78, 37037.034}, b{334273.01264722017, 100281.90379416605};
    // The premise: these three points in a line give a cosine below -1.
    auto dist = [](cad::Point3 p, cad::Point3 q) {
        return std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y));
    };
    const double d1 = dist(v, a), d2 = dist(v, b), d3 = dist(a, b);
    ASSERT_LT((d1 * d1 + d2 * d2 - d3 * d3) / (2 * d1 * d2), -1.0);
    EXPECT_FALSE(profile::detail::bendAt(piketThrough({a, v, b}), 1));
}

}  // namespace

namespace {

TEST_F(PlanMarks, BendsAreDimensionedWithTextHeight700OutsideProfileObjects) {
    addPoint(0, 0, 100);
    addPoint(100000, 0, 100);
    addPoint(200000, 100000, 100);
    addPoint(300000, 100000, 100);
    profile::build(ws);
    ASSERT_TRUE(ui.messages.empty()) << ui.messages[0];
    std::vector<const cad::DimensionGeom*> dims;
    for (const cad::EntityRef& e : doc.modelSpace()) {
        if (const auto* d = cad::geomIf<cad::DimensionGeom>(e.entity().geom)) {
            dims.push_back(d);
            EXPECT_EQ(std::count(ws.profileObjects.begin(), ws.profileObjects.end(), e), 0);
        }
    }
    // Left at point 1 (135 degrees), right at point 2.
    ASSERT_EQ(dims.size(), 2u);
    EXPECT_EQ(dims[0]->p15, (cad::Point3{155000, 12500, 0}));
    EXPECT_EQ(dims[0]->definition, (cad::Point3{155000, 14500, 0}));
    EXPECT_NEAR(std::min(dims[0]->p13.x, dims[0]->p14.x), 153000, 1e-6);
    EXPECT_NEAR(dims[0]->p13.y, 12500 + 828.43, 0.005);
    EXPECT_EQ(dims[0]->textHeight, 700.0);
    const double x2 = 55000 + 100000 + std::hypot(100000, 100000);
    EXPECT_NEAR(dims[1]->p15.x, x2, 1e-6);
    EXPECT_NEAR(dims[1]->definition.y, 10500, 1e-6);
    EXPECT_NEAR(dims[1]->p13.y, 12500 - 828.43, 0.005);
    EXPECT_EQ(dims[1]->textHeight, 700.0);
}

}  // namespace
