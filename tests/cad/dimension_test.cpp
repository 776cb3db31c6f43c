// Angular dimensions: the DIMENSION's definition points, the block that
// shows it (arc through the text point, extension lines along the legs,
// arrowheads at the arc's ends, the measured angle) and a text height set
// afterwards, checked in our model and by ezdxf.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "cad/drawing.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/dxf_test_util.hpp"
#include "dxf_check_support.hpp"

using namespace cad;

namespace {

const double kHalf = std::tan(22.5 * std::numbers::pi / 180.0) * 2000.0;

struct AngularCase {
    const char* name;
    Point3 vertex, first, second, text;
    const char* shown;  // the measured angle as written
    double from, to;    // the arc, degrees counter-clockwise
};

void PrintTo(const AngularCase& c, std::ostream* os) {
    *os << c.name;
}

double normDeg(double a) {
    a = std::fmod(a, 360.0);
    return a < 0 ? a + 360.0 : a;
}

std::vector<const Entity*> partsOf(const Drawing& d, const std::string& block, const char* type) {
    const DrawingData& data = d.data();
    std::vector<const Entity*> out;
    for (EntityId id : data.blocks.at(data.blockIndex.at(block)).entities) {
        const Entity& e = data.entities[id.v];
        if (!e.erased && e.dxfType == type) out.push_back(&e);
    }
    return out;
}

bool near(Point3 a, Point3 b, double tol = 1e-6) {
    return norm(a - b) <= tol;
}

}  // namespace

class Angular : public ::testing::TestWithParam<AngularCase> {};

TEST_P(Angular, DrawsTheAngleOnTheSideOfTheTextPoint) {
    const AngularCase& c = GetParam();
    auto d = Drawing::create("AC1015");
    EntityRef dim = d->addDimAngular(c.vertex, c.first, c.second, c.text);
    ASSERT_EQ(dim.dxfType(), "DIMENSION");
    const auto& g = geomAs<DimensionGeom>(dim.entity().geom);
    EXPECT_EQ(g.dimType, 5 | 32);
    EXPECT_EQ(g.p15, c.vertex);
    EXPECT_EQ(g.definition, c.text);
    // The legs in counter-clockwise order around the text point.
    const bool swapped = g.p13 == c.second;
    EXPECT_EQ(swapped ? g.p14 : g.p13, c.first);

    const DrawingData& data = d->data();
    ASSERT_TRUE(data.blockIndex.count(g.blockName));
    const Block& block = data.blocks[data.blockIndex.at(g.blockName)];
    EXPECT_EQ(block.flags & 1, 1);
    EXPECT_EQ(block.name.substr(0, 2), "*D");

    const double r = planeDistance(c.vertex, c.text);
    auto arcs = partsOf(*d, g.blockName, "ARC");
    ASSERT_FALSE(arcs.empty());
    const auto& first = geomAs<ArcGeom>(arcs.front()->geom);
    const auto& last = geomAs<ArcGeom>(arcs.back()->geom);
    for (const Entity* a : arcs) {
        EXPECT_TRUE(near(geomAs<ArcGeom>(a->geom).center, c.vertex));
        EXPECT_NEAR(geomAs<ArcGeom>(a->geom).radius, r, 1e-9);
    }
    EXPECT_NEAR(normDeg(first.startAngle), c.from, 1e-6);
    EXPECT_NEAR(normDeg(last.endAngle), c.to, 1e-6);

    auto texts = partsOf(*d, g.blockName, "TEXT");
    ASSERT_EQ(texts.size(), 1u);
    const auto& t = geomAs<TextGeom>(texts[0]->geom);
    EXPECT_EQ(t.text, c.shown);
    EXPECT_EQ(g.textMidpoint, t.alignment);

    // Arrowheads: their tips at the ends of the arc.
    auto solids = partsOf(*d, g.blockName, "SOLID");
    ASSERT_EQ(solids.size(), 2u);
    auto onArc = [&](double deg) {
        double a = deg * std::numbers::pi / 180.0;
        return Point3{c.vertex.x + r * std::cos(a), c.vertex.y + r * std::sin(a), 0};
    };
    EXPECT_TRUE(near(geomAs<SolidGeom>(solids[0]->geom).corners[0], onArc(c.from), 1e-6));
    EXPECT_TRUE(near(geomAs<SolidGeom>(solids[1]->geom).corners[0], onArc(c.to), 1e-6));

    // Extension lines lie on the legs.
    for (const Entity* e : partsOf(*d, g.blockName, "LINE")) {
        const auto& l = geomAs<LineGeom>(e->geom);
        Point3 u = l.start - c.vertex, w = l.end - c.vertex;
        EXPECT_NEAR(cross(u, w).z / (norm(u) * norm(w)), 0.0, 1e-9);
    }
    // The block's parts take the dimension's colour and line weight.
    for (EntityId id : block.entities) {
        EXPECT_EQ(data.entities[id.v].color, 0);
        EXPECT_EQ(data.entities[id.v].layer, "0");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Angular,
    ::testing::Values(AngularCase{"RouteTurnsLeft",
                                  {100000, 12500, 0},
                                  {98000, 12500 + kHalf, 0},
                                  {102000, 12500 + kHalf, 0},
                                  {100000, 14500, 0},
                                  "135°",
                                  22.5,
                                  157.5},
                      AngularCase{"RouteTurnsRight",
                                  {100000, 12500, 0},
                                  {98000, 12500 - kHalf, 0},
                                  {102000, 12500 - kHalf, 0},
                                  {100000, 10500, 0},
                                  "135°",
                                  202.5,
                                  337.5},
                      AngularCase{
                          "Acute", {0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {7, 3, 0}, "45°", 0, 45},
                      AngularCase{"OutsideTheLegsMeasuresTheRest",
                                  {0, 0, 0},
                                  {10, 0, 0},
                                  {0, 10, 0},
                                  {-5, -5, 0},
                                  "270°",
                                  90,
                                  0}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(AngularTextHeight, RedrawsTheBlockAndKeepsTheOverride) {
    auto d = Drawing::create("AC1015");
    d->addLayer("Профиль");
    d->setCurrentLayer("Профиль");
    EntityRef dim = d->addDimAngular({100000, 12500, 0}, {98000, 12500 + kHalf, 0},
                                     {102000, 12500 + kHalf, 0}, {100000, 14500, 0});
    const std::string block = geomAs<DimensionGeom>(dim.entity().geom).blockName;
    const auto oldParts = d->data().blocks[d->data().blockIndex.at(block)].entities;
    const std::string oldText = formatHandle(d->data().entities[oldParts.back().v].handle);

    dim.setTextHeight(700);
    const auto& g = geomAs<DimensionGeom>(dim.entity().geom);
    EXPECT_EQ(g.textHeight, 700);
    auto texts = partsOf(*d, block, "TEXT");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(geomAs<TextGeom>(texts[0]->geom).height, 700);
    EXPECT_EQ(g.textMidpoint, geomAs<TextGeom>(texts[0]->geom).alignment);
    EXPECT_EQ(d->data().blocks[d->data().blockIndex.at(block)].entities.size(), oldParts.size());
    EXPECT_TRUE(d->entityByHandle(oldText).isNull());
    EXPECT_THROW(dim.setTextHeight(0), Error);
    EXPECT_EQ(dim.layer(), "Профиль");

    auto dir = kvtest::scratchDir();
    d->saveAs(dir / "dim.dxf");
    auto back = Drawing::open(dir / "dim.dxf");
    ASSERT_EQ(back->modelSpace().size(), 1u);
    const auto& bg = geomAs<DimensionGeom>(back->modelSpace()[0].entity().geom);
    EXPECT_EQ(bg.blockName, block);
    EXPECT_EQ(bg.p15, (Point3{100000, 12500, 0}));
    ASSERT_TRUE(back->data().blockIndex.count(block));
    EXPECT_EQ(back->data().blocks[back->data().blockIndex.at(block)].entities.size(),
              oldParts.size());

    KV_EZDXF_OR_SKIP(j, dir / "dim.dxf");
    EXPECT_TRUE(j["audit_errors"].empty()) << j["audit_errors"].dump();
    ASSERT_EQ(j["modelspace"].size(), 1u);
    const auto& e = j["modelspace"][0];
    EXPECT_EQ(e["dimtype"], 37);
    EXPECT_EQ(e["dimtxt"].get<double>(), 700.0);
    EXPECT_EQ(e["defpoint4"][0].get<double>(), 100000.0);
    EXPECT_EQ(e["defpoint"][1].get<double>(), 14500.0);
    const auto& parts = j["blocks"][block];
    std::size_t texts700 = 0;
    for (const auto& p : parts) {
        if (p["type"] == "TEXT" && p["height"].get<double>() == 700.0) ++texts700;
    }
    EXPECT_EQ(texts700, 1u);
}

TEST(AngularStyle, TextOnTheArcBreaksItWhenTheStyleSaysSo) {
    // An R12 drawing whose header asks for text centred on the dimension line.
    using namespace dxftest;
    const Tags styleHeader{{0, "SECTION"},  {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1009"},
                           {9, "$DIMTAD"},  {70, "0"},     {9, "$DIMTIH"},  {70, "1"},
                           {9, "$DIMTXT"},  {40, "2.0"},   {9, "$DIMASZ"},  {40, "1.0"},
                           {9, "$DIMADEC"}, {70, "1"},     {0, "ENDSEC"}};
    const std::string file = dxf(concat({styleHeader,
                                         layerTable({"0"}),
                                         {{0, "SECTION"}, {2, "BLOCKS"}, {0, "ENDSEC"}},
                                         entities({}),
                                         eof()}));
    Drawing d(readDxf(file));
    EntityRef dim = d.addDimAngular({0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {50, 50, 0});
    const auto& g = geomAs<DimensionGeom>(dim.entity().geom);
    auto arcs = partsOf(d, g.blockName, "ARC");
    ASSERT_EQ(arcs.size(), 2u);
    auto texts = partsOf(d, g.blockName, "TEXT");
    ASSERT_EQ(texts.size(), 1u);
    const auto& t = geomAs<TextGeom>(texts[0]->geom);
    EXPECT_EQ(t.text, "90.0°");
    EXPECT_EQ(t.height, 2.0);
    EXPECT_EQ(t.rotation, 0.0);
    // The text sits on the arc, in the gap between its two pieces.
    EXPECT_NEAR(planeDistance(t.alignment, {0, 0, 0}), planeDistance({50, 50, 0}, {0, 0, 0}), 1e-9);
    EXPECT_LT(geomAs<ArcGeom>(arcs[0]->geom).endAngle, 45.0);
    EXPECT_GT(geomAs<ArcGeom>(arcs[1]->geom).startAngle, 45.0);
}

TEST(AngularErrors, DegenerateAnglesAreRefused) {
    auto d = Drawing::create("AC1015");
    const std::size_t blocks = d->data().blocks.size();
    EXPECT_THROW(d->addDimAngular({0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}), Error);
    EXPECT_THROW(d->addDimAngular({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}), Error);
    EXPECT_THROW(d->addDimAngular({0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}), Error);
    EXPECT_TRUE(d->modelSpace().empty());
    EXPECT_EQ(d->data().blocks.size(), blocks);
}
