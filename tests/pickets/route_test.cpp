// Pickets over routes as survey drawings have them: polylines whose vertices
// and arcs the picket follows, routes that come back near themselves, and
// route layers that also hold labels and marks.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "cad/geometry.hpp"
#include "model/route_path.hpp"
#include "pickets/pickets.hpp"
#include "plan.hpp"

using namespace pickets;
using namespace pickets::testing;
using cad::EntityRef;
using cad::Point3;

namespace {

EntityRef polyline(Plan& plan, const std::string& layer, std::vector<cad::PolyVertex> vertices,
                   bool closed = false) {
    cad::Entity e;
    e.dxfType = "LWPOLYLINE";
    e.layer = layer;
    cad::PolylineGeom g;
    g.vertices = std::move(vertices);
    g.closed = closed;
    e.geom = g;
    return plan.d.addEntity(e);
}

// The plan as drawn, a picket by its end points between (x0, y0) and (x1, y1);
// the pickets added (one when the search reached the start).
int addBetween(Plan& plan, double x0, double y0, double x1, double y1) {
    plan.snapshot();
    plan.pick(x0, y0);
    plan.pick(x1, y1);
    addByEndPoints(plan.ws);
    return plan.ws.piketCount();
}

// 100 m out along y = 0, 10 m across, 100 m back along y = 10 m (millimetres),
// crossed by four pipes that each cut both legs.
struct UTurn {
    Plan plan;
    std::vector<EntityRef> route;

    explicit UTurn(bool asPolyline) {
        if (asPolyline) {
            route.push_back(polyline(
                plan, kRoute,
                {{0, 0, 0, 0}, {100000, 0, 0, 0}, {100000, 10000, 0, 0}, {0, 10000, 0, 0}}));
        } else {
            route.push_back(plan.route(0, 0, 100000, 0));
            route.push_back(plan.route(100000, 0, 100000, 10000));
            route.push_back(plan.route(100000, 10000, 0, 10000));
        }
        for (double x : {20000.0, 40000.0, 60000.0, 80000.0}) plan.line(kWater, x, -5000, x, 15000);
        plan.snapshot();
    }
};

}  // namespace

TEST(RouteOrder, AUTurnKeepsItsPointsInOrderAlongTheRoute) {
    for (bool asPolyline : {true, false}) {
        UTurn u(asPolyline);
        model::Piket p = piketOf(u.route);
        Point3 start{0, 0, 0}, end{0, 10000, 0};
        BuildPiketPoints(u.plan.ws, p, start, end, 1.0);
        EXPECT_TRUE(u.plan.ui.messages.empty());
        // Ends, the two corners and eight crossings.
        ASSERT_EQ(p.pointCount(), 12) << asPolyline;
        std::vector<Point3> expected{{0, 0, 0},          {20000, 0, 0},     {40000, 0, 0},
                                     {60000, 0, 0},      {80000, 0, 0},     {100000, 0, 0},
                                     {100000, 10000, 0}, {80000, 10000, 0}, {60000, 10000, 0},
                                     {40000, 10000, 0},  {20000, 10000, 0}, {0, 10000, 0}};
        for (std::size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(model::rowOf(p.points[k])[model::kX], expected[k].x)
                << asPolyline << " point " << k;
            EXPECT_EQ(model::rowOf(p.points[k])[model::kY], expected[k].y)
                << asPolyline << " point " << k;
        }
        EXPECT_EQ(model::chainages(p).back(), 210000.0) << asPolyline;
        // A corner of the polyline is a point of the polyline itself.
        if (asPolyline) {
            EXPECT_EQ(p.pointObjects[5], u.route[0]);
        }

        // A point picked near the way back goes in on the way back.
        EXPECT_EQ(model::insertionIndex(p, {50000, 10003, 0}), 9u) << asPolyline;
        EXPECT_EQ(model::insertionIndex(p, {50000, 2, 0}), 3u) << asPolyline;
        EXPECT_EQ(model::insertionIndex(p, {100100, 5000, 0}), 6u) << asPolyline;
    }
}

TEST(RouteOrder, ElementsPickedOutOfOrderAndAGapStillRunFromTheStart) {
    Plan plan;
    EntityRef far = plan.route(40000, 0, 41000, 0);
    EntityRef b = plan.route(2000, 0, 1000, 0);
    EntityRef a = plan.route(0, 0, 1000, 0);
    plan.snapshot();
    model::Piket p = piketOf({far, b, a});
    Point3 start{0, 0, 0}, end{41000, 0, 0};
    BuildPiketPoints(plan.ws, p, start, end, 1.0);
    EXPECT_EQ(xsOf(p), (std::vector<double>{0, 1000, 2000, 40000, 41000}));
}

TEST(RoutePolyline, EveryVertexIsAPointAndChainageRunsAlongItsArcs) {
    Plan plan;
    // Out 100 m, a half circle of 10 m radius, 100 m back; drawn from the far end.
    EntityRef route =
        polyline(plan, kRoute,
                 {{0, 20000, 0, 0}, {100000, 20000, 0, -1.0}, {100000, 0, 0, 0}, {0, 0, 0, 0}});
    EntityRef pipe = plan.line(kWater, 105000, 10000, 120000, 10000);  // across the arc
    plan.snapshot();
    model::Piket p = piketOf({route});
    Point3 start{0, 0, 0}, end{0, 20000, 0};
    BuildPiketPoints(plan.ws, p, start, end, 1.0);
    ASSERT_EQ(p.pointCount(), 5);
    for (const EntityRef& o :
         {p.pointObjects[0], p.pointObjects[1], p.pointObjects[3], p.pointObjects[4]})
        EXPECT_EQ(o, route);
    EXPECT_EQ(p.pointObjects[2], pipe);
    EXPECT_EQ(model::rowOf(p.points[0])[model::kDepth], 1.0);  // the start keeps the start depth
    EXPECT_EQ(model::rowOf(p.points[1])[model::kX], 100000.0);
    EXPECT_EQ(model::rowOf(p.points[1])[model::kY], 0.0);
    EXPECT_EQ(model::rowOf(p.points[2])[model::kX], 110000.0);
    EXPECT_EQ(model::rowOf(p.points[4])[model::kY], 20000.0);

    const double halfCircle = std::numbers::pi * 10000.0;
    std::vector<double> ch = model::chainages(p);
    double length = ch.back();
    EXPECT_NEAR(ch[2], 100000.0 + halfCircle / 2, 0.01);
    EXPECT_NEAR(ch[3], 100000.0 + halfCircle, 0.01);
    EXPECT_NEAR(length, *cad::entityLength(route.entity()), 0.01);
    // Straight stretches keep the straight distance between the points.
    EXPECT_EQ(ch[1], 100000.0);
    EXPECT_EQ(ch[4] - ch[3], 100000.0);
}

TEST(RouteSearch, RouteLayerWithLabelsMarksAndCurvesIsSearched) {
    Plan plan;
    EntityRef a = plan.route(0, 0, 1000, 0);
    // A polyline drawn against the route keeps its direction in the drawing.
    EntityRef b = polyline(plan, kRoute, {{3000, 0, 0, 0}, {2000, 500, 0, 0}, {1000, 0, 0, 0}});
    cad::Entity arc;
    arc.dxfType = "ARC";
    arc.layer = kRoute;
    arc.geom = cad::ArcGeom{{3500, 0, 0}, 500, 0, 180};  // from (4000, 0) to (3000, 0)
    EntityRef c = plan.d.addEntity(arc);
    cad::Entity text;
    text.dxfType = "TEXT";
    text.layer = kRoute;
    cad::TextGeom t;
    t.text = "К-1";
    t.insertion = {1000, 5000, 0};
    t.height = 250;
    text.geom = t;
    plan.d.addEntity(text);
    cad::Entity circle;
    circle.dxfType = "CIRCLE";
    circle.layer = kRoute;
    circle.geom = cad::CircleGeom{{1000, 5000, 0}, 300};
    plan.d.addEntity(circle);
    cad::Entity point;
    point.dxfType = "POINT";
    point.layer = kRoute;
    point.geom = cad::PointGeom{{3000, 5000, 0}};
    plan.d.addEntity(point);
    polyline(plan, kRoute, {{900, 4000, 0, 0}, {1100, 4000, 0, 0}, {1000, 4200, 0, 0}}, true);
    ASSERT_EQ(addBetween(plan, 0, 0, 4000, 0), 1);
    EXPECT_TRUE(plan.ui.messages.empty()) << plan.ui.messages.front();
    const model::Piket& p = plan.ws.pikets[0];
    EXPECT_EQ(p.elements, (std::vector<EntityRef>{a, b, c}));
    EXPECT_EQ(b.startPoint(), (Point3{3000, 0, 0}));  // not turned
    EXPECT_EQ(xsOf(p), (std::vector<double>{0, 1000, 2000, 3000, 4000}));
}

// CoordKey keeps four figures: on a survey in metres with coordinates in the
// millions every end within a kilometre would touch, and the search jumped
// from the last pipe of a sewer straight to the first, leaving out the one
// between them.
TEST(RouteSearch, SurveyCoordinatesTouchOnlyWhereTheEndsMeet) {
    Plan plan;
    plan.ws.controls.planUnits = model::PlanUnits::Metres;
    EntityRef a = plan.route(3221746.816, 540970.568, 3221763.0977, 540995.0288);
    EntityRef b = plan.route(3221763.0977, 540995.0288, 3221797.2891, 541045.224);
    EntityRef c = plan.route(3221797.2891, 541045.224, 3221813.152, 541068.735);
    ASSERT_EQ(addBetween(plan, 3221746.816, 540970.568, 3221813.152, 541068.735), 1);
    EXPECT_EQ(plan.ws.pikets[0].elements, (std::vector<EntityRef>{a, b, c}));
}

// Where a CoordKey cell is no wider than a metre of terrain, ends that do not
// quite meet still touch as before: 0.4 mm apart at millimetre coordinates in
// the millions.
TEST(RouteSearch, JointsThatDoNotQuiteMeetStillTouchInAMillimetrePlan) {
    Plan plan;
    plan.route(1234000, 0, 1234567.0, 0);
    plan.route(1234567.4, 0, 1236000, 0);
    ASSERT_EQ(addBetween(plan, 1234000, 0, 1236000, 0), 1);
    EXPECT_EQ(plan.ws.pikets[0].elementCount(), 2);
}

namespace {

EntityRef arcOn(Plan& plan, Point3 centre, double radius, double from, double to) {
    cad::Entity arc;
    arc.dxfType = "ARC";
    arc.layer = kRoute;
    arc.geom = cad::ArcGeom{centre, radius, from, to};
    return plan.d.addEntity(arc);
}

struct ArcWay {
    bool fromLine;  // the picket starts at the line's free end, else at the arc's
};

class RouteArc : public ::testing::TestWithParam<ArcWay> {};

}  // namespace

// A line and a quarter arc drawn from the line's end: the arc is never turned
// in the drawing, so picked from the arc's side the picket runs against the
// arc's drawn direction. Its start depth belongs to the picket's start either way.
TEST_P(RouteArc, TheStartDepthGoesToThePicketsStartWhicheverWayTheArcRuns) {
    Plan plan;
    plan.ws.controls.depthText = "1.5";
    plan.route(100000, 100000, 110000, 100000);
    arcOn(plan, {110000, 105000, 0}, 5000, 270, 0);  // from (110000, 100000) to (115000, 105000)
    plan.line(kWater, 105000, 90000, 105000, 110000);
    const bool fromLine = GetParam().fromLine;
    const Point3 start = fromLine ? Point3{100000, 100000, 0} : Point3{115000, 105000, 0};
    const Point3 end = fromLine ? Point3{115000, 105000, 0} : Point3{100000, 100000, 0};
    ASSERT_EQ(addBetween(plan, start.x, start.y, end.x, end.y), 1);
    EXPECT_TRUE(plan.ui.messages.empty()) << plan.ui.messages.front();
    const model::Piket& p = plan.ws.pikets[0];
    ASSERT_EQ(p.pointCount(), 4);  // both ends, the joint and the crossing
    EXPECT_EQ(model::rowOf(p.points[0])[model::kX], start.x);
    EXPECT_EQ(model::rowOf(p.points[0])[model::kY], start.y);
    EXPECT_EQ(model::rowOf(p.points[0])[model::kDepth], 1.0);
    for (int i = 1; i < p.pointCount(); ++i)
        EXPECT_EQ(model::rowOf(p.points[i])[model::kDepth], 1.5) << i;
}

// Joints at the origin of a site's local system, and next to a coordinate
// where CoordKey changes its length: the end an arc computes lies a rounding
// error off the drawn joint.
TEST_P(RouteArc, AnArcJoinsALineAtAZeroCoordinate) {
    Plan plan;
    EntityRef line = plan.route(0, 0, 10000, 0);
    EntityRef arc = arcOn(plan, {10000, 5000, 0}, 5000, 270, 0);  // to (15000, 5000)
    const bool fromLine = GetParam().fromLine;
    const Point3 a{0, 0, 0}, b{15000, 5000, 0};
    const Point3 start = fromLine ? a : b, end = fromLine ? b : a;
    ASSERT_EQ(addBetween(plan, start.x, start.y, end.x, end.y), 1) << plan.ui.messages.front();
    EXPECT_TRUE(plan.ui.messages.empty()) << plan.ui.messages.front();
    const model::Piket& p = plan.ws.pikets[0];
    EXPECT_EQ(p.elements,
              fromLine ? (std::vector<EntityRef>{line, arc}) : (std::vector<EntityRef>{arc, line}));
    EXPECT_EQ(p.pointCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(BothWays, RouteArc, ::testing::Values(ArcWay{true}, ArcWay{false}),
                         [](const ::testing::TestParamInfo<ArcWay>& way) {
                             return std::string(way.param.fromLine ? "FromTheLine" : "FromTheArc");
                         });

// Ends a few hundredths apart across a place where the key changes its
// length touch; ends further apart keep the specified key, which differs there.
TEST(RouteSearch, EndsWithinTheJointToleranceTouchWhateverTheirKeys) {
    {
        Plan plan;
        plan.route(0, 500, 9999.97, 500);  // key 10000 against 1000 for 10000.0
        plan.route(10000.0, 500, 20000, 500);
        ASSERT_EQ(addBetween(plan, 0, 500, 20000, 500), 1);
        EXPECT_EQ(plan.ws.pikets[0].elementCount(), 2);
    }
    {
        Plan plan;
        plan.route(0, 500, 9999.9, 500);
        plan.route(10000.0, 500, 20000, 500);
        EXPECT_EQ(addBetween(plan, 0, 500, 20000, 500), 0);
        EXPECT_EQ(plan.ui.messages, (std::vector<std::string>{kStartNotFound}));
    }
}
