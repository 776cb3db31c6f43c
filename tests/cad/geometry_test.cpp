// Geometry of entities: object coordinate systems, lengths, end points, bounds
// and crossings of every pair of curve kinds, near the origin and at plan
// coordinates far from it.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "cad/geometry.hpp"

using namespace cad;

namespace {

constexpr double kPi = std::numbers::pi;

Entity make(Geometry g) {
    Entity e;
    e.geom = std::move(g);
    return e;
}

Entity line(double x1, double y1, double x2, double y2) {
    return make(LineGeom{{x1, y1, 0}, {x2, y2, 0}});
}

Entity poly(std::vector<PolyVertex> v, bool closed = false) {
    PolylineGeom p;
    p.vertices = std::move(v);
    p.closed = closed;
    return make(p);
}

Entity arc(double cx, double cy, double r, double a0, double a1, Point3 n = kWorldZ) {
    return make(ArcGeom{{cx, cy, 0}, r, a0, a1, n});
}

Entity circle(double cx, double cy, double r) {
    return make(CircleGeom{{cx, cy, 0}, r, kWorldZ});
}

Entity ellipse(double cx, double cy, double mx, double my, double ratio) {
    EllipseGeom e;
    e.center = {cx, cy, 0};
    e.majorAxis = {mx, my, 0};
    e.ratio = ratio;
    e.startParam = 0;
    e.endParam = 2 * kPi;
    return make(e);
}

Entity spline(int degree, std::vector<Point3> ctrl, std::vector<double> knots,
              std::vector<double> weights = {}) {
    SplineGeom s;
    s.degree = degree;
    s.controlPoints = std::move(ctrl);
    s.knots = std::move(knots);
    s.weights = std::move(weights);
    return make(s);
}

Entity fitSpline(std::vector<Point3> fit) {
    SplineGeom s;
    s.fitPoints = std::move(fit);
    return make(s);
}

Entity insert(std::string name, Point3 at, double rotation = 0, Point3 scale = {1, 1, 1}) {
    InsertGeom g;
    g.blockName = std::move(name);
    g.insertion = at;
    g.rotation = rotation;
    g.scale = scale;
    return make(g);
}

// Moves an entity by (dx, dy) in world coordinates.
void shift(Entity& e, double dx, double dy) {
    cad::visitGeom(
        [&](auto& g) {
            using G = std::decay_t<decltype(g)>;
            if constexpr (std::is_same_v<G, LineGeom>) {
                g.start.x += dx, g.start.y += dy, g.end.x += dx, g.end.y += dy;
            } else if constexpr (std::is_same_v<G, PolylineGeom>) {
                for (auto& v : g.vertices) v.x += dx, v.y += dy;
            } else if constexpr (std::is_same_v<G, ArcGeom> || std::is_same_v<G, CircleGeom>) {
                g.center.x += g.extrusion.z < 0 ? -dx : dx;  // OCS x runs the other way
                g.center.y += dy;
            } else if constexpr (std::is_same_v<G, EllipseGeom>) {
                g.center.x += dx, g.center.y += dy;
            } else if constexpr (std::is_same_v<G, SplineGeom>) {
                for (auto& p : g.controlPoints) p.x += dx, p.y += dy;
                for (auto& p : g.fitPoints) p.x += dx, p.y += dy;
            } else if constexpr (std::is_same_v<G, InsertGeom>) {
                g.insertion.x += dx, g.insertion.y += dy;
            }
        },
        e.geom);
}

// A drawing holding blocks for inserts.
struct Blocks {
    DrawingData d;
    void add(const std::string& name, std::vector<Entity> ents, Point3 base = {}) {
        Block b;
        b.name = name;
        b.base = base;
        for (Entity& e : ents) {
            b.entities.push_back(EntityId{static_cast<std::uint32_t>(d.entities.size())});
            d.entities.push_back(std::move(e));
        }
        d.blockIndex[name] = d.blocks.size();
        d.blocks.push_back(std::move(b));
    }
};

const Blocks& sharedBlocks() {
    static const Blocks blocks = [] {
        Blocks b;
        // A 2-unit line whose base is its start: inserted it starts at the insertion point.
        b.add("Палка", {line(1, 0, 3, 0)}, {1, 0, 0});
        b.add("Дуга", {arc(0, 0, 1, 0, 90)});
        b.add("Круг", {circle(0, 0, 1)});
        b.add("Внешний", {insert("Палка", {0, 0, 0}, 90)});
        b.add("Сам", {line(0, 0, 10, 0), insert("Сам", {0, 0, 0}, 0)});
        b.add("Пинг", {line(0, 0, 10, 0), insert("Понг", {0, 0, 0}, 10)});
        b.add("Понг", {line(0, 0, 0, 10), insert("Пинг", {0, 0, 0}, 10)});
        return b;
    }();
    return blocks;
}

struct CrossCase {
    const char* name;
    Entity a;
    Entity b;
    std::vector<Point3> expect;  // in order along a
    double tol = 1e-9;           // flattened curves are within 0.001 of the true one
};

const double r2 = std::sqrt(2.0) / 2;
const double r3 = std::sqrt(3.0);
// Where the ellipse x²/100 + y²/25 = 1 meets the circle x² + y² = 56.25.
const double ey = std::sqrt(0.4375 / 0.03);
const double ex = std::sqrt(56.25 - 0.4375 / 0.03);

std::vector<CrossCase> crossCases() {
    Entity arrayed = insert("Палка", {0, 0, 0}, 90);
    geomAs<InsertGeom>(arrayed.geom).columns = 3;
    // Cells step along the block's own x, which the rotation turns upwards.
    geomAs<InsertGeom>(arrayed.geom).columnSpacing = 5;
    return {
        {"LineLineCross", line(0, 0, 10, 10), line(0, 10, 10, 0), {{5, 5, 0}}},
        {"LineLineTouchAtEnds", line(0, 0, 10, 0), line(10, 0, 10, 5), {{10, 0, 0}}},
        {"LineLineTJunction", line(0, 0, 10, 0), line(4, 0, 4, 5), {{4, 0, 0}}},
        {"LineLineTJunctionReversed", line(4, 5, 4, 0), line(0, 0, 10, 0), {{4, 0, 0}}},
        {"LineLineParallel", line(0, 0, 10, 0), line(0, 1, 10, 1), {}},
        {"LineLineNotExtended", line(0, 0, 10, 0), line(11, -1, 11, 1), {}},
        {"LineLineNotExtendedOther", line(0, 0, 10, 0), line(5, 1, 5, 3), {}},
        {"CollinearPartial", line(0, 0, 10, 0), line(5, 0, 15, 0), {{5, 0, 0}, {10, 0, 0}}},
        {"CollinearContained", line(0, 0, 10, 0), line(6, 0, 3, 0), {{3, 0, 0}, {6, 0, 0}}},
        {"CollinearContainingReversed",
         line(6, 0, 3, 0),
         line(0, 0, 10, 0),
         {{6, 0, 0}, {3, 0, 0}}},
        {"CollinearTouchingOneEnd", line(0, 0, 10, 0), line(10, 0, 20, 0), {{10, 0, 0}}},
        {"CollinearDisjoint", line(0, 0, 10, 0), line(11, 0, 20, 0), {}},
        {"CollinearDiagonal", line(0, 0, 9, 3), line(3, 1, 12, 4), {{3, 1, 0}, {9, 3, 0}}},
        {"LineCircleTwo", line(-10, 0, 10, 0), circle(0, 0, 5), {{-5, 0, 0}, {5, 0, 0}}},
        {"LineCircleOrderAlongLine", line(10, 0, -10, 0), circle(0, 0, 5), {{5, 0, 0}, {-5, 0, 0}}},
        {"LineCircleTangent", line(-10, 5, 10, 5), circle(0, 0, 5), {{0, 5, 0}}},
        {"LineCircleMiss", line(-10, 6, 10, 6), circle(0, 0, 5), {}},
        {"LineInsideCircle", line(-1, 0, 1, 0), circle(0, 0, 5), {}},
        {"LineEndsOnCircle", line(0, 0, 3, 4), circle(0, 0, 5), {{3, 4, 0}}},
        {"CircleLineOrderAlongCircle",
         circle(0, 0, 5),
         line(-10, 3, 10, 3),
         {{4, 3, 0}, {-4, 3, 0}}},
        {"LineArcOneOfTwo", line(-10, 3, 10, 3), arc(0, 0, 5, 0, 90), {{4, 3, 0}}},
        {"ArcLineAtArcStart", arc(0, 0, 5, 0, 90), line(5, 0, 10, 0), {{5, 0, 0}}},
        {"ArcAcrossZero", arc(0, 0, 5, 300, 60), line(0, 0, 10, 0), {{5, 0, 0}}},
        {"ArcLineTangent", arc(0, 0, 5, 0, 180), line(-10, 5, 10, 5), {{0, 5, 0}}},
        {"CircleCircleTwo", circle(0, 0, 5), circle(8, 0, 5), {{4, 3, 0}, {4, -3, 0}}},
        {"CircleCircleOuterTangent", circle(0, 0, 5), circle(10, 0, 5), {{5, 0, 0}}},
        {"CircleCircleInnerTangent", circle(0, 0, 5), circle(2, 0, 3), {{5, 0, 0}}},
        {"CircleCircleConcentric", circle(0, 0, 5), circle(0, 0, 3), {}},
        {"CircleCircleSame", circle(0, 0, 5), circle(0, 0, 5), {}},
        {"CircleCircleApart", circle(0, 0, 5), circle(20, 0, 5), {}},
        {"CircleInsideCircle", circle(0, 0, 5), circle(1, 0, 2), {}},
        {"ArcArcOverlap",
         arc(0, 0, 5, 0, 90),
         arc(0, 0, 5, 45, 180),
         {{5 * r2, 5 * r2, 0}, {0, 5, 0}}},
        {"ArcArcTouchAtEnds", arc(0, 0, 5, 0, 90), arc(0, 10, 5, 180, 270), {{0, 5, 0}}},
        {"ArcCircleBothOffTheArc", arc(0, 0, 5, 90, 270), circle(8, 0, 5), {}},
        {"BulgeDown", poly({{0, 0, 0, 1}, {10, 0, 0, 0}}), line(5, -10, 5, 10), {{5, -5, 0}}},
        {"BulgeUp", poly({{0, 0, 0, -1}, {10, 0, 0, 0}}), line(5, -10, 5, 10), {{5, 5, 0}}},
        {"BulgeQuarter",
         poly({{5, 0, 0, std::tan(kPi / 8)}, {0, 5, 0, 0}}),
         line(0, 0, 10, 10),
         {{5 * r2, 5 * r2, 0}}},
        {"PolylineLastBulgeIgnoredWhenOpen",
         poly({{0, 0, 0, 0}, {10, 0, 0, 1}}),
         line(5, -10, 5, 10),
         {{5, 0, 0}}},
        {"ClosedPolylineOrder",
         poly({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true),
         line(-5, 5, 15, 5),
         {{10, 5, 0}, {0, 5, 0}}},
        {"ClosingSegment",
         poly({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true),
         line(-5, 5, 5, 5),
         {{0, 5, 0}}},
        {"ClosingBulge",
         poly({{0, 0}, {10, 0, 0, -1}}, true),
         line(5, -10, 5, 10),
         {{5, 0, 0}, {5, -5, 0}}},
        {"PolylineVertexOnce", poly({{0, 0}, {5, 5}, {10, 0}}), line(0, 5, 10, 5), {{5, 5, 0}}},
        {"PolylinePolyline",
         poly({{0, 0}, {10, 0}, {10, 10}}),
         poly({{5, -5}, {5, 5}, {15, 5}}),
         {{5, 0, 0}, {10, 5, 0}}},
        {"PolylineArcBulgeVsCircle",
         poly({{-5, 0, 0, -1}, {5, 0}}),
         circle(0, 5, 5),
         {{-2.5 * r3, 2.5, 0}, {2.5 * r3, 2.5, 0}}},
        {"MirroredArc", arc(3, 0, 2, 0, 90, {0, 0, -1}), line(-10, 1, 0, 1), {{-3 - r3, 1, 0}}},
        {"MirroredArcMissesUnmirroredPlace",
         arc(3, 0, 2, 0, 90, {0, 0, -1}),
         line(0, 1, 10, 1),
         {}},
        {"EllipseLineAxis",
         ellipse(0, 0, 10, 0, 0.5),
         line(0, -20, 0, 20),
         {{0, 5, 0}, {0, -5, 0}},  // along the ellipse: anticlockwise from its major axis
         2e-3},
        {"EllipseLineSlant",
         ellipse(0, 0, 10, 0, 0.5),
         line(-20, 2.5, 20, 2.5),
         {{10 * std::sqrt(0.75), 2.5, 0}, {-10 * std::sqrt(0.75), 2.5, 0}},
         5e-3},
        {"EllipseAroundCircle", ellipse(0, 0, 0, 10, 0.5), circle(0, 0, 4), {}},
        {"EllipseCircleFour",
         ellipse(0, 0, 10, 0, 0.5),
         circle(0, 0, 7.5),
         {{ex, ey, 0}, {-ex, ey, 0}, {-ex, -ey, 0}, {ex, -ey, 0}},
         5e-3},
        {"SplineBezierVertical",
         spline(2, {{0, 0}, {10, 20}, {20, 0}}, {0, 0, 0, 1, 1, 1}),
         line(10, -5, 10, 15),
         {{10, 10, 0}},
         1e-3},
        {"SplineBezierHorizontal",
         spline(2, {{0, 0}, {10, 20}, {20, 0}}, {0, 0, 0, 1, 1, 1}),
         line(-5, 5, 25, 5),
         {{10 - 5 * std::sqrt(2.0), 5, 0}, {10 + 5 * std::sqrt(2.0), 5, 0}},
         3e-3},
        {"SplineRationalQuarterCircle",
         spline(2, {{10, 0}, {10, 10}, {0, 10}}, {0, 0, 0, 1, 1, 1}, {1, r2, 1}),
         line(0, 0, 20, 20),
         {{10 * r2, 10 * r2, 0}},
         2e-3},
        {"SplineDegreeOneIsAPolyline",
         spline(1, {{0, 0}, {10, 10}, {20, 0}}, {0, 0, 1, 2, 2}),
         line(0, 5, 20, 5),
         {{5, 5, 0}, {15, 5, 0}},
         1e-9},
        {"SplineBadKnotsStillEvaluated",
         spline(1, {{0, 0}, {10, 10}, {20, 0}}, {7}),
         line(0, 5, 20, 5),
         {{5, 5, 0}, {15, 5, 0}},
         1e-9},
        {"SplineFitPoints",
         fitSpline({{0, 0}, {10, 10}, {20, 0}}),
         line(10, -5, 10, 15),
         {{10, 10, 0}},
         1e-3},
        {"SplineSpline",
         spline(1, {{0, 0}, {10, 10}}, {0, 0, 1, 1}),
         spline(2, {{0, 10}, {5, 5}, {10, 0}}, {0, 0, 0, 1, 1, 1}),
         {{5, 5, 0}},
         1e-3},
        {"InsertRotatedScaled",
         insert("Палка", {10, 10, 0}, 90, {2, 2, 2}),
         line(5, 12, 15, 12),
         {{10, 12, 0}}},
        {"InsertEndsExactly",
         insert("Палка", {10, 10, 0}, 90, {2, 2, 2}),
         line(5, 14, 15, 14),
         {{10, 14, 0}}},
        {"InsertMirroredArc",
         insert("Дуга", {0, 0, 0}, 0, {-1, 1, 1}),
         line(-2, 0.5, 2, 0.5),
         {{-std::sqrt(0.75), 0.5, 0}}},
        {"InsertStretchedCircle",
         insert("Круг", {0, 0, 0}, 0, {2, 1, 1}),
         line(-5, 0, 5, 0),
         {{2, 0, 0}, {-2, 0, 0}},
         2e-3},
        {"InsertNested", insert("Внешний", {100, 0, 0}, 90), line(99, -1, 99, 1), {{99, 0, 0}}},
        {"InsertArrayFirstCell", arrayed, line(-5, 1, 5, 1), {{0, 1, 0}}},
        {"InsertArraySecondCell", arrayed, line(-1, -1, 1, 13), {{0, 6, 0}}},
        {"LineThroughNestedInsert",
         line(99, -1, 99, 1),
         insert("Внешний", {100, 0, 0}, 90),
         {{99, 0, 0}}},
        {"InsertSelfInserting", insert("Сам", {0, 0, 0}), line(5, -1, 5, 1), {{5, 0, 0}}},
        {"InsertMutualRecursion", insert("Пинг", {0, 0, 0}), line(5, -1, 5, 1), {{5, 0, 0}}},
        {"InsertMissingBlock", insert("Нет", {0, 0, 0}), line(5, -1, 5, 1), {}},
    };
}

class Crossing : public ::testing::TestWithParam<std::tuple<CrossCase, Point3>> {};

TEST_P(Crossing, FindsExpectedPointsInOrder) {
    CrossCase c = std::get<0>(GetParam());
    const Point3 off = std::get<1>(GetParam());
    shift(c.a, off.x, off.y);
    shift(c.b, off.x, off.y);
    auto got = intersectEntities(sharedBlocks().d, c.a, c.b);
    ASSERT_EQ(got.size(), c.expect.size()) << c.name;
    // Near the far origin a flattened curve is still within its own tolerance; the
    // analytic cases keep ten significant digits of the millimetre.
    double tol = c.tol + 1e-10 * (std::fabs(off.x) + std::fabs(off.y));
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].x, c.expect[i].x + off.x, tol) << c.name << " point " << i;
        EXPECT_NEAR(got[i].y, c.expect[i].y + off.y, tol) << c.name << " point " << i;
    }
}

std::string crossName(const ::testing::TestParamInfo<Crossing::ParamType>& info) {
    return std::string(std::get<0>(info.param).name) +
           (std::get<1>(info.param).x == 0 ? "" : "_FarAway");
}

INSTANTIATE_TEST_SUITE_P(Pairs, Crossing,
                         ::testing::Combine(::testing::ValuesIn(crossCases()),
                                            ::testing::Values(Point3{0, 0, 0},
                                                              Point3{512345.678, 6012345.678, 0})),
                         crossName);

// Crossings at an end point must come back as that end point, to the last bit, so
// that rounding and removing repeats later treat them as the same point.
TEST(CrossingExactness, EndPointsComeBackExactly) {
    const DrawingData d;
    const Point3 a0{500000.123, 6000000.456, 0}, a1{500731.987, 6000917.333, 0};
    // A point on the line, rounded to doubles: it lies off the line by a hair.
    const Point3 mid = a0 + (a1 - a0) * 0.37;
    const Point3 far{500100.5, 6000800.25, 0};
    struct Case {
        const char* name;
        Entity a, b;
        Point3 expect;
    };
    const Case cases[] = {
        {"T-junction", make(LineGeom{a0, a1}), make(LineGeom{mid, far}), mid},
        {"T-junction reversed", make(LineGeom{far, mid}), make(LineGeom{a0, a1}), mid},
        {"shared end, steep", make(LineGeom{a0, a1}), make(LineGeom{a1, far}), a1},
        {"shared end, almost parallel", make(LineGeom{a0, a1}),
         make(LineGeom{a1, a1 + (a1 - a0) * 0.5 + Point3{0, 1e-2, 0}}), a1},
        {"polyline vertex", poly({{a0.x, a0.y}, {mid.x, mid.y}, {far.x, far.y}}),
         make(LineGeom{mid, {mid.x + 10, mid.y - 3, 0}}), mid},
    };
    for (const Case& c : cases) {
        auto got = intersectEntities(d, c.a, c.b);
        ASSERT_EQ(got.size(), 1u) << c.name;
        EXPECT_EQ(got[0].x, c.expect.x) << c.name;
        EXPECT_EQ(got[0].y, c.expect.y) << c.name;
    }
}

TEST(CrossingExactness, ArcEndTouchingLineComesBackAsArcEnd) {
    const DrawingData d;
    Entity a = arc(500010.25, 6000020.75, 12.5, 33.3, 147.1);
    Point3 end = *entityEnd(a);
    Entity l = make(LineGeom{end, {end.x - 40, end.y + 7, 0}});  // leaving the circle
    auto got = intersectEntities(d, a, l);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], end);
    got = intersectEntities(d, l, a);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], end);
}

TEST(CrossingExactness, ZFollowsTheFirstEntity) {
    const DrawingData d;
    Entity a = make(LineGeom{{0, 0, 0}, {10, 0, 10}});
    auto got = intersectEntities(d, a, line(4, -1, 4, 1));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NEAR(got[0].z, 4.0, 1e-12);
}

TEST(CrossingGuards, SelfInsertingBlocksFinishQuickly) {
    const auto start = std::chrono::steady_clock::now();
    Entity self = insert("Сам", {0, 0, 0});
    Box2 b = entityBounds(sharedBlocks().d, self);
    EXPECT_DOUBLE_EQ(b.maxX, 10.0);
    auto got = intersectEntities(sharedBlocks().d, self, insert("Пинг", {0, 0, 0}));
    EXPECT_FALSE(got.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Ocs, ArbitraryAxisAlgorithm) {
    // Z down: x is mirrored, y kept.
    Point3 p = ocsToWcs({3, 4, 5}, {0, 0, -1});
    EXPECT_DOUBLE_EQ(p.x, -3);
    EXPECT_DOUBLE_EQ(p.y, 4);
    EXPECT_DOUBLE_EQ(p.z, -5);
    // Extrusion along X: |Nx| >= 1/64, so Ax = Z × N = (0, 1, 0) and Ay = N × Ax = (0, 0, 1).
    p = ocsToWcs({1, 2, 3}, {2, 0, 0});
    EXPECT_NEAR(p.x, 3, 1e-15);
    EXPECT_NEAR(p.y, 1, 1e-15);
    EXPECT_NEAR(p.z, 2, 1e-15);
    // Nearly Z: Ax = Y × N stays close to X and the map keeps lengths.
    Point3 n{0.01, 0.0, 1.0};
    Point3 q = ocsToWcs({1, 0, 0}, n);
    EXPECT_NEAR(norm(q), 1.0, 1e-12);
    EXPECT_NEAR(dot(q, n), 0.0, 1e-12);
    EXPECT_GT(q.x, 0.99);
    // The default extrusion leaves coordinates untouched, bit for bit.
    Point3 big{512345.678901, 6012345.678901, 1.5};
    EXPECT_EQ(ocsToWcs(big, kWorldZ), big);
}

TEST(Ends, StartAndEndPointsInWorld) {
    struct Case {
        const char* name;
        Entity e;
        std::optional<Point3> start, end;
    };
    PolylineGeom lifted;
    lifted.vertices = {{1, 2}, {3, 4}};
    lifted.elevation = 7;
    lifted.extrusion = {0, 0, -1};
    const Case cases[] = {
        {"line", line(1, 2, 3, 4), Point3{1, 2, 0}, Point3{3, 4, 0}},
        {"arc", arc(10, 0, 2, 90, 180), Point3{10, 2, 0}, Point3{8, 0, 0}},
        {"mirrored arc", arc(3, 0, 2, 0, 90, {0, 0, -1}), Point3{-5, 0, 0}, Point3{-3, 2, 0}},
        {"open polyline", poly({{0, 0}, {5, 5}, {9, 1}}), Point3{0, 0, 0}, Point3{9, 1, 0}},
        {"polyline in OCS", make(lifted), Point3{-1, 2, -7}, Point3{-3, 4, -7}},
        {"closed polyline", poly({{0, 0}, {5, 5}, {9, 1}}, true), std::nullopt, std::nullopt},
        {"circle", circle(0, 0, 1), std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        auto s = entityStart(c.e), e = entityEnd(c.e);
        ASSERT_EQ(s.has_value(), c.start.has_value()) << c.name;
        ASSERT_EQ(e.has_value(), c.end.has_value()) << c.name;
        if (!s) continue;
        EXPECT_NEAR(s->x, c.start->x, 1e-12) << c.name;
        EXPECT_NEAR(s->y, c.start->y, 1e-12) << c.name;
        EXPECT_NEAR(s->z, c.start->z, 1e-12) << c.name;
        EXPECT_NEAR(e->x, c.end->x, 1e-12) << c.name;
        EXPECT_NEAR(e->y, c.end->y, 1e-12) << c.name;
        EXPECT_NEAR(e->z, c.end->z, 1e-12) << c.name;
    }
}

TEST(Length, EveryKindThatHasOne) {
    PolylineGeom p3;
    p3.is3d = true;
    p3.lightweight = false;
    p3.vertices = {{0, 0, 0, 5}, {1, 2, 2, 0}};  // bulges mean nothing in 3D
    struct Case {
        const char* name;
        Entity e;
        std::optional<double> length;
    };
    const Case cases[] = {
        {"line", line(0, 0, 3, 4), 5.0},
        {"arc quarter", arc(0, 0, 2, 0, 90), kPi},
        {"arc across zero", arc(0, 0, 2, 270, 90), 2 * kPi},
        {"circle", circle(0, 0, 2), 4 * kPi},
        {"polyline straight", poly({{0, 0}, {3, 4}, {3, 10}}), 11.0},
        {"polyline semicircle", poly({{0, 0, 0, 1}, {10, 0}}), 5 * kPi},
        {"polyline negative bulge", poly({{0, 0, 0, -std::tan(kPi / 8)}, {5, 5}}), 5 * kPi / 2},
        {"closed polyline", poly({{0, 0}, {3, 0}, {3, 4}}, true), 12.0},
        {"closed polyline closing bulge", poly({{0, 0}, {10, 0, 0, 1}}, true), 10 + 5 * kPi},
        {"3D polyline", make(p3), 3.0},
        {"text", make(TextGeom{}), std::nullopt},
    };
    for (const Case& c : cases) {
        auto l = entityLength(c.e);
        ASSERT_EQ(l.has_value(), c.length.has_value()) << c.name;
        if (l) {
            EXPECT_NEAR(*l, *c.length, 1e-12) << c.name;
        }
    }
}

// Route elements may be elliptical arcs and open splines: they have ends and
// a length; a whole ellipse and a closed spline have no ends.
TEST(EndsAndLength, EllipticalArcsAndSplines) {
    EllipseGeom quarter;
    quarter.center = {10, 0, 0};
    quarter.majorAxis = {4, 0, 0};
    quarter.ratio = 0.5;
    quarter.startParam = 0;
    quarter.endParam = kPi / 2;
    Entity arcOfEllipse = make(quarter);
    auto s = entityStart(arcOfEllipse), e = entityEnd(arcOfEllipse);
    ASSERT_TRUE(s && e);
    EXPECT_NEAR(s->x, 14, 1e-12);
    EXPECT_NEAR(s->y, 0, 1e-12);
    EXPECT_NEAR(e->x, 10, 1e-12);
    EXPECT_NEAR(e->y, 2, 1e-12);
    // A quarter of an ellipse with semi-axes 4 and 2: 4.84422...
    EXPECT_NEAR(*entityLength(arcOfEllipse), 4.844224110273838, 1e-3);
    EllipseGeom whole = quarter;
    whole.endParam = 2 * kPi;
    EXPECT_FALSE(entityStart(make(whole)));

    SplineGeom spline;
    spline.degree = 1;
    spline.controlPoints = {{0, 0, 0}, {3, 4, 0}, {3, 10, 0}};
    spline.knots = {0, 0, 1, 2, 2};
    Entity open = make(spline);
    s = entityStart(open);
    e = entityEnd(open);
    ASSERT_TRUE(s && e);
    EXPECT_NEAR(s->x, 0, 1e-9);
    EXPECT_NEAR(e->y, 10, 1e-9);
    EXPECT_NEAR(*entityLength(open), 11.0, 1e-6);
    spline.flags = 1;
    EXPECT_FALSE(entityStart(make(spline)));
}

// Block names are case-blind as CAD programs fold them, Cyrillic included.
TEST(Blocks, NamedInAnotherCaseAreFound) {
    const DrawingData& d = sharedBlocks().d;
    ASSERT_NE(cad::findBlock(d, "ПАЛКА"), nullptr);
    EXPECT_EQ(cad::findBlock(d, "ПАЛКА")->name, "Палка");
    EXPECT_EQ(cad::findBlock(d, "пинг")->name, "Пинг");
    EXPECT_EQ(cad::findBlock(d, "Палки"), nullptr);
}

TEST(Bounds, CurvesTextsAndInserts) {
    const DrawingData& d = sharedBlocks().d;
    TextGeom t;
    t.text = "Ø%%c12";  // 4 characters once the code is read
    t.insertion = {100, 200, 0};
    t.height = 2.5;
    t.widthFactor = 0.8;
    TextGeom up = t;
    up.rotation = 90;
    // 19 characters in a box 7 wide: taken as 19 wide, 3 lines and 1 to spare,
    // baselines 5/3 of the height apart below the top.
    MTextGeom boxed;
    boxed.text = "один два три четыре";
    boxed.insertion = {0, 0, 0};
    boxed.height = 1;
    boxed.rectWidth = 7;
    struct Case {
        const char* name;
        Entity e;
        Box2 expect;
        double tol;
    };
    const Case cases[] = {
        {"line", line(3, 4, 1, 2), {1, 2, 3, 4}, 0},
        {"arc through the top",
         arc(0, 0, 2, 45, 135),
         {-std::sqrt(2.0), std::sqrt(2.0), std::sqrt(2.0), 2},
         1e-12},
        {"arc across zero", arc(0, 0, 2, 270, 90), {0, -2, 2, 2}, 1e-12},
        {"mirrored arc", arc(3, 0, 2, 0, 90, {0, 0, -1}), {-5, 0, -3, 2}, 1e-12},
        {"circle", circle(1, 1, 2), {-1, -1, 3, 3}, 0},
        {"bulge", poly({{0, 0, 0, 1}, {10, 0}}), {0, -5, 10, 0}, 1e-12},
        {"ellipse", ellipse(0, 0, 0, 10, 0.5), {-5, -10, 5, 10}, 1e-3},
        {"text", make(t), {100, 200, 108, 202.5}, 1e-9},
        {"rotated text", make(up), {97.5, 200, 100, 208}, 1e-9},
        {"wrapped mtext", make(boxed), {0, -6, 7, 0}, 1e-9},
        {"insert rotated and scaled",
         insert("Палка", {10, 10, 0}, 90, {2, 2, 2}),
         {10, 10, 10, 14},
         1e-12},
        {"nested insert", insert("Внешний", {100, 0, 0}, 90), {98, 0, 100, 0}, 1e-12},
        {"missing block", insert("Нет", {5, 6, 0}), {5, 6, 5, 6}, 0},
    };
    for (const Case& c : cases) {
        Box2 b = entityBounds(d, c.e);
        EXPECT_NEAR(b.minX, c.expect.minX, c.tol) << c.name;
        EXPECT_NEAR(b.minY, c.expect.minY, c.tol) << c.name;
        EXPECT_NEAR(b.maxX, c.expect.maxX, c.tol) << c.name;
        EXPECT_NEAR(b.maxY, c.expect.maxY, c.tol) << c.name;
    }
}

TEST(Flattening, CurvesStayWithinTolerance) {
    // A full ellipse: every point lies on it, none farther than the tolerance between.
    EllipseGeom e;
    e.center = {500000, 6000000, 0};
    e.majorAxis = {300, 400, 0};  // a = 500
    e.ratio = 0.4;
    e.endParam = 2 * kPi;
    auto pts = ellipsePoints(e, 0.001);
    ASSERT_GT(pts.size(), 10u);
    EXPECT_EQ(pts.front(), pts.back());
    for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
        Point3 mid = (pts[i] + pts[i + 1]) * 0.5 - e.center;
        // In the ellipse's own axes the mid-chord point is inside, by less than the tolerance.
        double u = (mid.x * 0.6 + mid.y * 0.8) / 500, v = (-mid.x * 0.8 + mid.y * 0.6) / 200;
        double k = std::hypot(u, v);
        EXPECT_LT(k, 1.0);
        EXPECT_GT(k, 1.0 - 0.001 / 200);
    }
    // A clamped cubic starts and ends at its end control points.
    SplineGeom s;
    s.degree = 3;
    s.controlPoints = {{0, 0, 0}, {1, 3, 0}, {4, 3, 0}, {6, -1, 0}, {8, 0, 0}};
    s.knots = {0, 0, 0, 0, 0.5, 1, 1, 1, 1};
    auto sp = splinePoints(s, 0.001);
    ASSERT_GT(sp.size(), 10u);
    EXPECT_NEAR(norm(sp.front() - s.controlPoints.front()), 0, 1e-12);
    EXPECT_NEAR(norm(sp.back() - s.controlPoints.back()), 0, 1e-12);
}

}  // namespace
