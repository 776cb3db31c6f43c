// The coordinate key and the points of a picket: crossings with every kind on
// the type layers, rounding, duplicates, the start to the front, the
// nearest-neighbour order, and the spatial index against the plain loop.
#include <gtest/gtest.h>

#include <random>

#include "cad/geometry.hpp"
#include "pickets/detail.hpp"
#include "pickets/pickets.hpp"
#include "plan.hpp"

using namespace pickets;
using namespace pickets::testing;
using cad::EntityRef;
using cad::Point3;

struct KeyCase {
    double v;
    long long key;
};
class CoordKeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(CoordKeyTable, FourSignificantCharactersOfTheIntegerPart) {
    EXPECT_EQ(CoordKey(GetParam().v), GetParam().key) << GetParam().v;
}

INSTANTIATE_TEST_SUITE_P(
    Values, CoordKeyTable,
    ::testing::Values(KeyCase{0.7, 700},    // "0": thousandths
                      KeyCase{-0.7, -700},  // Trunc gives 0, written without a sign
                      KeyCase{0.0, 0}, KeyCase{0.0004, 0},
                      KeyCase{-12.5, -125},   // "-12": the sign counts, tenths
                      KeyCase{-12.25, -122},  // half to even
                      KeyCase{12.25, 1225},   // "12": hundredths
                      KeyCase{2345.5, 2346},  // whole units, half to even
                      KeyCase{2344.5, 2344}, KeyCase{2345.4, 2345}, KeyCase{999.95, 10000},
                      KeyCase{12345.4, 1235},  // five digits: tens
                      KeyCase{12349.9, 1235}, KeyCase{12344.9, 1234},
                      KeyCase{-1234.4, -123},  // "-1234" is five characters
                      KeyCase{512345.67, 5123}, KeyCase{6000000.4, 6000}, KeyCase{1e12, 1000}));

TEST(CoordKey, FiveDigitCoordinatesTouchWithinTenUnits) {
    EXPECT_EQ(CoordKey(12345.4), CoordKey(12349.9));
    EXPECT_NE(CoordKey(12344.9), CoordKey(12345.1));
    EXPECT_EQ(CoordKey(1234.4), CoordKey(1233.6));
    EXPECT_NE(CoordKey(123.44), CoordKey(123.46));
}

namespace {

model::PointRow row(double x, double y, double depth, double pipe) {
    return {x, y, -2, depth, pipe, 0, 0, 0, 0, 0};
}

}  // namespace

TEST(BuildPiketPoints, CrossingsRoundedHalfToEvenAndCarryTheCrossedObject) {
    Plan plan;
    EntityRef a = plan.route(0, 0, 1000, 0);
    // Crossing at x = 100.125 and 100.375 (exact in binary): 10012.5 -> 10012, 10037.5 -> 10038.
    // Both end on the route, so the crossing is their exact end point.
    EntityRef w1 = plan.line(kWater, 100.125, 0, 100.125, 5);
    EntityRef w2 = plan.line(kAsphalt, 300.375, -5, 300.375, 0);
    EntityRef off = plan.line("Прочее", 500, -5, 500, 5);  // on no type layer
    (void)off;
    plan.snapshot();
    Point3 start{0, 0, 0}, end{1000, 0, 0};
    model::Piket p = piketOf({a});
    BuildPiketPoints(plan.ws, p, start, end, 1.0);

    ASSERT_EQ(p.pointCount(), 4);
    EXPECT_EQ(model::rowOf(p.points[0]), row(0, 0, 1.0, 110));
    EXPECT_EQ(model::rowOf(p.points[1]), row(100.12, 0, 1, 110));
    EXPECT_EQ(model::rowOf(p.points[2]), row(300.38, 0, 1, 110));
    EXPECT_EQ(model::rowOf(p.points[3]), row(1000, 0, 1, 110));
    EXPECT_EQ(p.pointObjects[1], w1);
    EXPECT_EQ(p.pointObjects[2], w2);
    EXPECT_TRUE(plan.ui.messages.empty());
}

TEST(BuildPiketPoints, StartAndEndRoundedInPlace) {
    Plan plan;
    EntityRef a = plan.route(0.004, 0, 1000.006, 0.015);
    plan.snapshot();
    Point3 start{0.004, 0, 7}, end{1000.006, 0.015, 0};
    model::Piket p = piketOf({a});
    BuildPiketPoints(plan.ws, p, start, end, 1.0);
    EXPECT_EQ(start, (Point3{0, 0, 7}));
    EXPECT_EQ(end, (Point3{1000.01, 0.02, 0}));
    EXPECT_TRUE(plan.ui.messages.empty());
}

TEST(BuildPiketPoints, DuplicateTypeListsAndRepeatedCrossingsGiveOnePoint) {
    Plan plan;
    EntityRef a = plan.route(0, 0, 1000, 0);
    EntityRef w = plan.line(kWater, 400, -5, 400, 5);
    // The same crossing point from a second object: the earlier one stays.
    EntityRef asphalt = plan.line(kAsphalt, 395, -5, 405, 5);
    plan.snapshot();
    plan.ws.controls.typeList(model::TypeList::Connections) = {kWater, kWater};
    plan.ws.controls.typeList(model::TypeList::Other) = {kAsphalt, kRoute};
    Point3 start{0, 0, 0}, end{1000, 0, 0};
    model::Piket p = piketOf({a});
    BuildPiketPoints(plan.ws, p, start, end, 1.0);
    ASSERT_EQ(p.pointCount(), 3);
    EXPECT_EQ(model::rowOf(p.points[1])[model::kX], 400);
    EXPECT_EQ(p.pointObjects[1], w);
    (void)asphalt;
}

TEST(BuildPiketPoints, StartNotAmongThePointsIsReportedAndTheOrderGoesOn) {
    struct Case {
        const char* name;
        Point3 start;
        bool zeroLength;
    };
    const Case cases[] = {{"start off the route", {5, 5, 0}, false},
                          {"a single point", {0, 0, 0}, true}};
    for (const Case& c : cases) {
        Plan plan;
        EntityRef a = c.zeroLength ? plan.route(0, 0, 0, 0) : plan.route(0, 0, 1000, 0);
        plan.snapshot();
        Point3 start = c.start, end{1000, 0, 0};
        model::Piket p = piketOf({a});
        BuildPiketPoints(plan.ws, p, start, end, 1.0);
        EXPECT_EQ(plan.ui.messages, std::vector<std::string>{kStartNotFound}) << c.name;
        EXPECT_EQ(model::rowOf(p.points.at(0))[model::kX], 0) << c.name;  // first point stays first
        EXPECT_EQ(p.pointObjects.size(), p.points.size());
    }
}

TEST(BuildPiketPoints, StartMovesToTheFrontThenNearestNeighboursWithinTheBound) {
    Plan plan;
    // Elements listed out of order: the start is the second element's end.
    EntityRef b = plan.route(1000, 0, 2000, 0);
    EntityRef a = plan.route(1000, 0, 0, 0);
    // Points farther than the bound from every other keep their places.
    EntityRef far = plan.route(40000, 0, 41000, 0);
    plan.snapshot();
    plan.ws.controls.depthText = "2";
    Point3 start{0, 0, 0}, end{2000, 0, 0};
    model::Piket p = piketOf({b, a, far});
    BuildPiketPoints(plan.ws, p, start, end, 1.0);
    const std::vector<double> xs = xsOf(p);
    // B = 2000 + 10000: 40000 and 41000 are beyond it from 2000, so they stay
    // in the places the earlier steps left them.
    EXPECT_EQ(xs, (std::vector<double>{0, 1000, 2000, 40000, 41000}));
    // Rows move whole, and ends count in the direction of travel: the start is
    // where a, drawn towards it, begins its way (1.0), then b's start (1.0);
    // the ends further on carry the depth field.
    EXPECT_EQ(model::rowOf(p.points[0])[model::kDepth], 1.0);
    EXPECT_EQ(model::rowOf(p.points[1])[model::kDepth], 1.0);
    EXPECT_EQ(model::rowOf(p.points[2])[model::kDepth], 2.0);
    EXPECT_EQ(p.pointObjects[0], a);
    EXPECT_EQ(p.pointObjects[1], b);
}

TEST(BuildPiketPoints, FieldsAreReadBeforeThePicketChanges) {
    Plan plan;
    EntityRef a = plan.route(0, 0, 1000, 0);
    plan.snapshot();
    plan.ws.controls.pipeText = "1l0";
    model::Piket p = piketOf({a});
    Point3 start{0, 0, 0}, end{1000, 0, 0};
    EXPECT_THROW(BuildPiketPoints(plan.ws, p, start, end, 1.0), cad::Error);
    EXPECT_TRUE(p.points.empty());
    EXPECT_EQ(start, (Point3{0, 0, 0}));
}

TEST(BuildPiketPoints, CrossingsWithCurvesAndErasedObjectsSkipped) {
    Plan plan;
    EntityRef a = plan.route(0, 0, 1000, 0);
    cad::Entity arc;
    arc.dxfType = "ARC";
    arc.layer = kWater;
    arc.geom = cad::ArcGeom{{500, 0, 0}, 100, 0, 180};  // crosses at x = 400 and 600
    EntityRef arcRef = plan.d.addEntity(arc);
    cad::Entity poly;
    poly.dxfType = "LWPOLYLINE";
    poly.layer = kConnections;
    cad::PolylineGeom pg;
    pg.vertices = {{200, -50, 0, 0}, {250, 50, 0, 0}, {300, -50, 0, 0}};
    poly.geom = pg;
    EntityRef polyRef = plan.d.addEntity(poly);
    EntityRef gone = plan.line(kWater, 700, -5, 700, 5);
    plan.snapshot();
    gone.erase();  // stays in the object list, skipped
    Point3 start{0, 0, 0}, end{1000, 0, 0};
    model::Piket p = piketOf({a});
    BuildPiketPoints(plan.ws, p, start, end, 1.0);
    EXPECT_EQ(xsOf(p), (std::vector<double>{0, 225, 275, 400, 600, 1000}));
    EXPECT_EQ(p.pointObjects[1], polyRef);
    EXPECT_EQ(p.pointObjects[3], arcRef);
}

namespace {

// A random plan: a zig-zag route of `elements` lines and `objects` objects of
// every kind on type and other layers, many of them crossing the route, some
// through its joints, some sharing its ends.
void randomPlan(Plan& plan, std::mt19937& rng, int elements, int objects,
                std::vector<EntityRef>& route) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const std::vector<std::string> layers{kRoute,   kConnections, kWater,
                                          kAsphalt, "Прочее",     "Теплотрасса - Kernavisto"};
    Point3 p{500000, 6000000, 0};
    std::vector<Point3> joints{p};
    for (int i = 0; i < elements; ++i) {
        Point3 q{p.x + 200 + 800 * u(rng), p.y + (u(rng) - 0.5) * 1600, 0};
        // Drawn either way; the test only needs the elements, not their direction.
        route.push_back(u(rng) < 0.5 ? plan.route(p.x, p.y, q.x, q.y)
                                     : plan.route(q.x, q.y, p.x, p.y));
        p = q;
        joints.push_back(p);
    }
    double width = p.x - 500000 + 2000;
    auto anywhere = [&] {
        return Point3{499000 + u(rng) * width, 6000000 + (u(rng) - 0.5) * 8000, 0};
    };
    for (int i = 0; i < objects; ++i) {
        const std::string& layer = layers[static_cast<std::size_t>(u(rng) * layers.size())];
        Point3 c =
            u(rng) < 0.15 ? joints[static_cast<std::size_t>(u(rng) * joints.size())] : anywhere();
        double r = 50 + u(rng) * 1500;
        double kind = u(rng);
        cad::Entity e;
        e.layer = layer;
        if (kind < 0.45) {
            double ang = u(rng) * 6.283185307179586;
            Point3 d{r * std::cos(ang), r * std::sin(ang), 0};
            e.dxfType = "LINE";
            e.geom = u(rng) < 0.3 ? cad::LineGeom{c, c + d} : cad::LineGeom{c - d, c + d};
        } else if (kind < 0.65) {
            cad::PolylineGeom g;
            Point3 v = c;
            int n = 3 + static_cast<int>(u(rng) * 6);
            for (int k = 0; k < n; ++k) {
                g.vertices.push_back({v.x, v.y, 0, u(rng) < 0.3 ? (u(rng) - 0.5) * 6 : 0.0});
                v = v + Point3{(u(rng) - 0.5) * 2 * r, (u(rng) - 0.5) * 2 * r, 0};
            }
            g.closed = u(rng) < 0.2;
            e.dxfType = "LWPOLYLINE";
            e.geom = g;
        } else if (kind < 0.78) {
            e.dxfType = "ARC";
            e.geom = cad::ArcGeom{c, r, u(rng) * 360, u(rng) * 360};
        } else if (kind < 0.88) {
            e.dxfType = "CIRCLE";
            e.geom = cad::CircleGeom{c, r};
        } else {
            cad::TextGeom t;
            t.text = "Отм. 154,32";
            t.insertion = c;
            t.height = 250;
            e.dxfType = "TEXT";
            e.geom = t;
        }
        plan.d.addEntity(e);
    }
}

}  // namespace

TEST(BuildPiketPoints, SpatialIndexGivesExactlyThePlainLoopsPoints) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 12; ++round) {
        Plan plan;
        std::vector<EntityRef> route;
        randomPlan(plan, rng, 3 + round * 4, 300 + round * 100, route);
        plan.snapshot();
        if (round % 3 == 1) plan.ws.objectList.back().erase();
        if (round % 3 == 2) {
            auto& list = plan.ws.objectList.edit();
            std::reverse(list.begin(), list.end());
        }

        model::Piket indexed = piketOf(route), plain = piketOf(route);
        Point3 s1 = route.front().startPoint(), e1 = route.back().endPoint();
        Point3 s2 = s1, e2 = e1;
        BuildPiketPoints(plan.ws, indexed, s1, e1, 1.0, {.useIndex = true});
        BuildPiketPoints(plan.ws, plain, s2, e2, 1.0, {.useIndex = false});
        ASSERT_GT(plain.pointCount(), 2 * static_cast<int>(route.size())) << round;
        ASSERT_EQ(indexed.points, plain.points) << round;
        ASSERT_EQ(indexed.pointObjects, plain.pointObjects) << round;
    }
}
