// Reading DXF into the model: every entity kind the engine understands, the
// common properties, tables, blocks and the header values the writer needs.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "cad/dxf/encoding.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/dxf_test_util.hpp"
#include "cad/error.hpp"

using namespace cad;
using namespace dxftest;

namespace {

struct KindCase {
    const char* name;
    Tags body;
    std::function<void(const DrawingData&, const Entity&)> check;
};

class EntityKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(EntityKinds, ParseIntoGeometry) {
    const KindCase& c = GetParam();
    DrawingData d = readDxf(r12(c.body, {"Трасса"}));
    ASSERT_FALSE(d.modelSpace.empty());
    const Entity& e = d.entities[d.modelSpace.front().v];
    // The entity's tag range starts at its 0 tag and ends at the next entity.
    EXPECT_EQ(d.tags.code(e.tagBegin), 0);
    EXPECT_EQ(d.tags.value(e.tagBegin), e.dxfType);
    EXPECT_EQ(d.tags.code(e.tagEnd), 0);
    c.check(d, e);
}

const double kPi = std::acos(-1.0);

INSTANTIATE_TEST_SUITE_P(
    Dxf, EntityKinds,
    ::testing::Values(
        KindCase{"Line",
                 {{0, "LINE"},
                  {5, "2A"},
                  {8, "Трасса"},
                  {62, "3"},
                  {370, "90"},
                  {60, "1"},
                  {10, "1.5"},
                  {20, "2"},
                  {30, "0"},
                  {11, " 4 "},
                  {21, "6"},
                  {31, "0"}},
                 [](const DrawingData& d, const Entity& e) {
                     auto& g = geomAs<LineGeom>(e.geom);
                     EXPECT_EQ(g.start, (Point3{1.5, 2, 0}));
                     EXPECT_EQ(g.end, (Point3{4, 6, 0}));
                     EXPECT_EQ(e.handle, 0x2Au);
                     EXPECT_EQ(e.layer, "Трасса");
                     EXPECT_EQ(e.color, 3);
                     EXPECT_EQ(e.lineweight, 90);
                     EXPECT_FALSE(e.visible);
                     EXPECT_EQ(d.entityByHandle.find(0x2A)->v, d.modelSpace[0].v);
                 }},
        KindCase{"LwPolyline",
                 {{0, "LWPOLYLINE"},
                  {5, "30"},
                  {8, "0"},
                  {90, "3"},
                  {70, "1"},
                  {38, "12.5"},
                  {10, "0"},
                  {20, "0"},
                  {42, "1"},
                  {10, "10"},
                  {20, "0"},
                  {10, "10"},
                  {20, "5"}},
                 [](const DrawingData&, const Entity& e) {
                     auto& g = geomAs<PolylineGeom>(e.geom);
                     ASSERT_EQ(g.vertices.size(), 3u);
                     EXPECT_TRUE(g.closed);
                     EXPECT_TRUE(g.lightweight);
                     EXPECT_EQ(g.elevation, 12.5);
                     EXPECT_EQ(g.vertices[0].bulge, 1.0);
                     EXPECT_EQ(g.vertices[1].bulge, 0.0);
                     EXPECT_EQ(g.vertices[2].y, 5.0);
                 }},
        KindCase{"Polyline2dWithVertices",
                 {{0, "POLYLINE"}, {5, "40"}, {8, "0"},      {66, "1"},     {10, "0"}, {20, "0"},
                  {30, "7"},       {70, "0"}, {0, "VERTEX"}, {5, "41"},     {8, "0"},  {10, "1"},
                  {20, "2"},       {30, "7"}, {42, "-0.5"},  {0, "VERTEX"}, {5, "42"}, {8, "0"},
                  {10, "3"},       {20, "4"}, {30, "7"},     {0, "VERTEX"}, {5, "43"}, {8, "0"},
                  {10, "9"},       {20, "9"}, {70, "16"},    {0, "SEQEND"}, {5, "44"}, {8, "0"}},
                 [](const DrawingData& d, const Entity& e) {
                     auto& g = geomAs<PolylineGeom>(e.geom);
                     ASSERT_EQ(g.vertices.size(), 2u);  // the frame point (16) is not drawn
                     EXPECT_FALSE(g.lightweight);
                     EXPECT_FALSE(g.is3d);
                     EXPECT_EQ(g.elevation, 7.0);
                     EXPECT_EQ(g.vertices[0].bulge, -0.5);
                     EXPECT_EQ(g.vertices[0].z, 0.0);
                     // VERTEX and SEQEND belong to the polyline's tag range.
                     EXPECT_EQ(d.tags.value(e.tagEnd), "ENDSEC");
                     EXPECT_EQ(d.modelSpace.size(), 1u);
                 }},
        KindCase{"Polyline3d",
                 {{0, "POLYLINE"}, {8, "0"},      {66, "1"}, {10, "0"}, {20, "0"}, {30, "0"},
                  {70, "9"},       {0, "VERTEX"}, {8, "0"},  {10, "1"}, {20, "2"}, {30, "3"},
                  {70, "32"},      {0, "VERTEX"}, {8, "0"},  {10, "4"}, {20, "5"}, {30, "6"},
                  {70, "32"},      {0, "SEQEND"}, {8, "0"}},
                 [](const DrawingData&, const Entity& e) {
                     auto& g = geomAs<PolylineGeom>(e.geom);
                     EXPECT_TRUE(g.is3d);
                     EXPECT_TRUE(g.closed);
                     ASSERT_EQ(g.vertices.size(), 2u);
                     EXPECT_EQ(g.vertices[1].z, 6.0);
                 }},
        KindCase{"ArcCircleEllipse",
                 {{0, "ARC"}, {8, "0"},    {10, "1"},  {20, "1"},   {30, "0"},   {40, "2"},
                  {50, "10"}, {51, "100"}, {210, "0"}, {220, "0"},  {230, "-1"}, {0, "CIRCLE"},
                  {8, "0"},   {10, "5"},   {20, "5"},  {30, "0"},   {40, "3"},   {0, "ELLIPSE"},
                  {8, "0"},   {10, "0"},   {20, "0"},  {30, "0"},   {11, "4"},   {21, "0"},
                  {31, "0"},  {40, "0.5"}, {41, "0"},  {42, "3.14"}},
                 [](const DrawingData& d, const Entity& e) {
                     auto& a = geomAs<ArcGeom>(e.geom);
                     EXPECT_EQ(a.radius, 2.0);
                     EXPECT_EQ(a.endAngle, 100.0);
                     EXPECT_EQ(a.extrusion, (Point3{0, 0, -1}));
                     auto& c = geomAs<CircleGeom>(d.entities[d.modelSpace[1].v].geom);
                     EXPECT_EQ(c.radius, 3.0);
                     auto& el = geomAs<EllipseGeom>(d.entities[d.modelSpace[2].v].geom);
                     EXPECT_EQ(el.majorAxis, (Point3{4, 0, 0}));
                     EXPECT_EQ(el.ratio, 0.5);
                     EXPECT_EQ(el.endParam, 3.14);
                 }},
        KindCase{"Spline",
                 {{0, "SPLINE"}, {8, "0"},  {70, "8"}, {71, "2"}, {72, "6"}, {73, "3"}, {40, "0"},
                  {40, "0"},     {40, "0"}, {40, "1"}, {40, "1"}, {40, "1"}, {10, "0"}, {20, "0"},
                  {30, "0"},     {10, "1"}, {20, "1"}, {30, "0"}, {10, "2"}, {20, "0"}, {30, "0"}},
                 [](const DrawingData&, const Entity& e) {
                     auto& g = geomAs<SplineGeom>(e.geom);
                     EXPECT_EQ(g.degree, 2);
                     EXPECT_EQ(g.knots.size(), 6u);
                     EXPECT_EQ(g.controlPoints.size(), 3u);
                     EXPECT_TRUE(g.weights.empty());
                 }},
        KindCase{"TextAndAttdef",
                 {{0, "TEXT"},   {8, "0"},   {10, "1"},   {20, "2"},     {30, "0"},     {40, "2.5"},
                  {1, "154,32"}, {50, "90"}, {41, "0.8"}, {7, "ROMANS"}, {72, "1"},     {11, "3"},
                  {21, "2"},     {31, "0"},  {73, "2"},   {0, "ATTDEF"}, {8, "0"},      {10, "0"},
                  {20, "0"},     {30, "0"},  {40, "1"},   {1, "x"},      {3, "prompt"}, {2, "TAG"},
                  {73, "5"},     {74, "3"}},
                 [](const DrawingData& d, const Entity& e) {
                     auto& tx = geomAs<TextGeom>(e.geom);
                     EXPECT_EQ(tx.text, "154,32");
                     EXPECT_EQ(tx.height, 2.5);
                     EXPECT_EQ(tx.rotation, 90.0);
                     EXPECT_EQ(tx.widthFactor, 0.8);
                     EXPECT_EQ(tx.style, "ROMANS");
                     EXPECT_TRUE(tx.hasAlignment);
                     EXPECT_EQ(tx.vAlign, 2);
                     auto& a = geomAs<TextGeom>(d.entities[d.modelSpace[1].v].geom);
                     EXPECT_EQ(a.vAlign, 3);  // 74 for attributes; their 73 is a length
                 }},
        KindCase{"MTextChunks",
                 {{0, "MTEXT"},
                  {8, "0"},
                  {10, "1"},
                  {20, "2"},
                  {30, "0"},
                  {40, "3"},
                  {41, "50"},
                  {71, "5"},
                  {3, "first "},
                  {3, "second "},
                  {1, "last"},
                  {11, "0"},
                  {21, "1"},
                  {31, "0"}},
                 [](const DrawingData&, const Entity& e) {
                     auto& m = geomAs<MTextGeom>(e.geom);
                     EXPECT_EQ(m.text, "first second last");
                     EXPECT_EQ(m.attachment, 5);
                     EXPECT_NEAR(m.rotation, 90.0, 1e-12);
                 }},
        KindCase{"DimensionPointSolidOther",
                 {{0, "DIMENSION"}, {8, "0"},  {2, "*D1"}, {10, "1"},    {20, "2"}, {30, "0"},
                  {11, "3"},        {21, "4"}, {31, "0"},  {70, "2"},    {1, "<>"}, {3, "ISO"},
                  {13, "5"},        {23, "6"}, {33, "0"},  {14, "7"},    {24, "8"}, {34, "0"},
                  {0, "POINT"},     {8, "0"},  {10, "9"},  {20, "8"},    {30, "7"}, {0, "SOLID"},
                  {8, "0"},         {10, "0"}, {20, "0"},  {11, "1"},    {21, "0"}, {12, "0"},
                  {22, "1"},        {13, "1"}, {23, "1"},  {0, "XLINE"}, {5, "9A"}, {8, "Трасса"},
                  {10, "0"},        {20, "0"}, {30, "0"},  {11, "1"},    {21, "0"}, {31, "0"}},
                 [](const DrawingData& d, const Entity& e) {
                     auto& g = geomAs<DimensionGeom>(e.geom);
                     EXPECT_EQ(g.blockName, "*D1");
                     EXPECT_EQ(g.dimType, 2);
                     EXPECT_EQ(g.p14, (Point3{7, 8, 0}));
                     EXPECT_EQ(g.style, "ISO");
                     auto& p = geomAs<PointGeom>(d.entities[d.modelSpace[1].v].geom);
                     EXPECT_EQ(p.position, (Point3{9, 8, 7}));
                     auto& s = geomAs<SolidGeom>(d.entities[d.modelSpace[2].v].geom);
                     EXPECT_EQ(s.corners[3], (Point3{1, 1, 0}));
                     const Entity& x = d.entities[d.modelSpace[3].v];
                     EXPECT_TRUE(holdsGeom<OtherGeom>(x.geom));
                     EXPECT_EQ(x.dxfType, "XLINE");
                     EXPECT_EQ(x.handle, 0x9Au);
                     EXPECT_EQ(x.layer, "Трасса");
                 }},
        KindCase{"HatchEdgesBecomeBulges",
                 {{0, "HATCH"},
                  {8, "0"},
                  {10, "0"},
                  {20, "0"},
                  {30, "2"},
                  {210, "0"},
                  {220, "0"},
                  {230, "1"},
                  {2, "SOLID"},
                  {70, "1"},
                  {71, "0"},
                  {91, "2"},
                  // loop 1: two lines and a counter-clockwise half circle
                  {92, "1"},
                  {93, "3"},
                  {72, "1"},
                  {10, "0"},
                  {20, "0"},
                  {11, "10"},
                  {21, "0"},
                  {72, "2"},
                  {10, "10"},
                  {20, "5"},
                  {40, "5"},
                  {50, "270"},
                  {51, "90"},
                  {73, "1"},
                  {72, "1"},
                  {10, "10"},
                  {20, "10"},
                  {11, "0"},
                  {21, "0"},
                  {97, "0"},
                  // loop 2: a polyline loop with a bulge
                  {92, "2"},
                  {72, "1"},
                  {73, "1"},
                  {93, "2"},
                  {10, "0"},
                  {20, "0"},
                  {42, "1"},
                  {10, "4"},
                  {20, "0"},
                  {42, "1"},
                  {97, "0"},
                  {75, "0"},
                  {76, "1"},
                  {98, "1"},
                  {10, "99"},
                  {20, "99"}},
                 [](const DrawingData&, const Entity& e) {
                     auto& h = geomAs<HatchGeom>(e.geom);
                     EXPECT_TRUE(h.solid);
                     EXPECT_EQ(h.elevation, 2.0);
                     ASSERT_EQ(h.loops.size(), 2u);
                     ASSERT_EQ(h.loops[0].vertices.size(), 3u);
                     EXPECT_NEAR(h.loops[0].vertices[1].x, 10.0, 1e-12);
                     EXPECT_NEAR(h.loops[0].vertices[1].y, 0.0, 1e-12);
                     EXPECT_NEAR(h.loops[0].vertices[1].bulge, 1.0, 1e-12);  // tan(180°/4)
                     EXPECT_TRUE(h.loops[0].closed);
                     ASSERT_EQ(h.loops[1].vertices.size(), 2u);
                     EXPECT_EQ(h.loops[1].vertices[1].bulge, 1.0);
                     EXPECT_EQ(h.loops[1].elevation, 2.0);
                 }},
        KindCase{"ClockwiseHatchArc",
                 {{0, "HATCH"}, {8, "0"},   {10, "0"}, {20, "0"},  {30, "0"}, {2, "ANSI31"},
                  {70, "0"},    {91, "1"},  {92, "1"}, {93, "2"},  {72, "2"}, {10, "0"},
                  {20, "0"},    {40, "1"},  {50, "0"}, {51, "90"}, {73, "0"}, {72, "1"},
                  {10, "0"},    {20, "-1"}, {11, "1"}, {21, "0"},  {97, "0"}},
                 [](const DrawingData&, const Entity& e) {
                     // Clockwise arcs store 360 - angle: from 0° clockwise to -90°.
                     auto& h = geomAs<HatchGeom>(e.geom);
                     ASSERT_EQ(h.loops.size(), 1u);
                     ASSERT_EQ(h.loops[0].vertices.size(), 2u);
                     EXPECT_NEAR(h.loops[0].vertices[0].x, 1.0, 1e-12);
                     EXPECT_NEAR(h.loops[0].vertices[0].bulge, std::tan(-kPi / 8), 1e-12);
                 }},
        // From R2010 a spline edge ends with its fit point count, 0 here; the
        // edges after it and the loop's source objects are still read.
        KindCase{
            "HatchSplineEdgeFollowedByLines",
            {{0, "HATCH"}, {8, "0"},    {10, "0"}, {20, "0"},  {30, "0"}, {2, "SOLID"}, {70, "1"},
             {91, "1"},    {92, "5"},   {93, "3"}, {72, "4"},  {94, "1"}, {73, "0"},    {74, "0"},
             {95, "4"},    {96, "2"},   {40, "0"}, {40, "0"},  {40, "1"}, {40, "1"},    {10, "0"},
             {20, "0"},    {10, "10"},  {20, "0"}, {97, "0"},  {72, "1"}, {10, "10"},   {20, "0"},
             {11, "10"},   {21, "5"},   {72, "1"}, {10, "10"}, {20, "5"}, {11, "0"},    {21, "0"},
             {97, "1"},    {330, "1F"}, {75, "1"}, {76, "1"},  {98, "0"}},
            [](const DrawingData&, const Entity& e) {
                auto& h = geomAs<HatchGeom>(e.geom);
                ASSERT_EQ(h.loops.size(), 1u);
                const auto& v = h.loops[0].vertices;
                ASSERT_EQ(v.size(), 18u);  // 16 along the spline, then the two lines
                EXPECT_NEAR(v[0].x, 0.0, 1e-12);
                EXPECT_NEAR(v[8].x, 5.0, 1e-12);
                EXPECT_EQ(v[16].x, 10.0);
                EXPECT_EQ(v[16].y, 0.0);
                EXPECT_EQ(v[17].x, 10.0);
                EXPECT_EQ(v[17].y, 5.0);
            }},
        // Ellipse edges give true angles from the major axis, not parameters:
        // 45° on an ellipse of axes 10 and 5 is the point (4.472, 4.472).
        KindCase{"HatchEllipseEdgesCounterClockwiseAndClockwise",
                 {{0, "HATCH"}, {8, "0"},   {10, "0"},   {20, "0"},   {30, "0"},   {2, "SOLID"},
                  {70, "1"},    {91, "2"},  {92, "1"},   {93, "2"},   {72, "3"},   {10, "0"},
                  {20, "0"},    {11, "10"}, {21, "0"},   {40, "0.5"}, {50, "45"},  {51, "90"},
                  {73, "1"},    {72, "1"},  {10, "0"},   {20, "5"},   {11, "0"},   {21, "0"},
                  {97, "0"},    {92, "1"},  {93, "2"},   {72, "3"},   {10, "0"},   {20, "0"},
                  {11, "10"},   {21, "0"},  {40, "0.5"}, {50, "270"}, {51, "315"}, {73, "0"},
                  {72, "1"},    {10, "0"},  {20, "0"},   {11, "0"},   {21, "5"},   {97, "0"}},
                 [](const DrawingData&, const Entity& e) {
                     auto& h = geomAs<HatchGeom>(e.geom);
                     ASSERT_EQ(h.loops.size(), 2u);
                     const double r = 10 / std::sqrt(5.0);
                     for (const PolylineGeom& loop : h.loops) {
                         ASSERT_EQ(loop.vertices.size(), 17u);  // 16 along the ellipse, 1 line
                         for (std::size_t i = 0; i < 16; ++i) {
                             const PolyVertex& v = loop.vertices[i];
                             EXPECT_NEAR(v.x * v.x / 100 + v.y * v.y / 25, 1.0, 1e-12);
                             // Every point lies between the 45° and 90° rays.
                             EXPECT_GE(v.y, v.x - 1e-9);
                             EXPECT_GE(v.x, -1e-9);
                         }
                     }
                     // Counter-clockwise from 45° towards 90°; clockwise from 90° to 45°.
                     EXPECT_NEAR(h.loops[0].vertices[0].x, r, 1e-12);
                     EXPECT_NEAR(h.loops[0].vertices[0].y, r, 1e-12);
                     EXPECT_LT(h.loops[0].vertices[15].x, 1.0);
                     EXPECT_NEAR(h.loops[1].vertices[0].x, 0.0, 1e-12);
                     EXPECT_NEAR(h.loops[1].vertices[0].y, 5.0, 1e-12);
                     EXPECT_GT(h.loops[1].vertices[15].x, r - 1.0);
                 }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DxfReader, InsertTakesItsAttributesAndBlocksAreRead) {
    Tags blocks{{0, "BLOCK"}, {8, "0"},  {2, "КОЛОДЕЦ"}, {70, "2"},     {10, "1"},
                {20, "2"},    {30, "0"}, {0, "CIRCLE"},  {8, "0"},      {10, "0"},
                {20, "0"},    {30, "0"}, {40, "1"},      {0, "ENDBLK"}, {8, "0"}};
    Tags body{{0, "INSERT"}, {8, "0"},  {66, "1"},   {2, "КОЛОДЕЦ"}, {10, "5"}, {20, "6"},
              {30, "0"},     {41, "2"}, {50, "45"},  {0, "ATTRIB"},  {8, "0"},  {10, "0"},
              {20, "0"},     {30, "0"}, {40, "1"},   {1, "К-1"},     {2, "N"},  {70, "0"},
              {0, "SEQEND"}, {8, "0"},  {0, "LINE"}, {8, "0"},       {10, "0"}, {20, "0"},
              {11, "1"},     {21, "1"}};
    DrawingData d = readDxf(r12(body, {}, blocks));
    ASSERT_EQ(d.blocks.size(), 1u);
    const Block& b = d.blocks[0];
    EXPECT_EQ(b.name, "КОЛОДЕЦ");
    EXPECT_EQ(b.base, (Point3{1, 2, 0}));
    EXPECT_EQ(b.flags, 2);
    ASSERT_EQ(b.entities.size(), 1u);
    EXPECT_EQ(d.entities[b.entities[0].v].dxfType, "CIRCLE");
    EXPECT_EQ(d.tags.value(b.tagBegin), "BLOCK");
    EXPECT_EQ(d.tags.value(b.tagEnd), "ENDSEC");
    ASSERT_EQ(d.modelSpace.size(), 2u);  // the ATTRIB and SEQEND are part of the INSERT
    const Entity& ins = d.entities[d.modelSpace[0].v];
    auto& g = geomAs<InsertGeom>(ins.geom);
    EXPECT_EQ(g.blockName, "КОЛОДЕЦ");
    EXPECT_EQ(g.scale, (Point3{2, 1, 1}));
    EXPECT_EQ(g.rotation, 45.0);
    EXPECT_EQ(d.tags.value(ins.tagEnd), "LINE");
    EXPECT_TRUE(d.issues.empty());
}

// A block without its owner's handle finds its record by name; in a file in
// a Windows code page the record's name is read as text first, as the
// block's is.
TEST(DxfReader, BlockFindsItsRecordByACyrillicName) {
    Tags tables{{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"},        {2, "BLOCK_RECORD"},
                {5, "1"},       {70, "1"},     {0, "BLOCK_RECORD"}, {5, "1F"},
                {2, "Колодец"}, {0, "ENDTAB"}, {0, "ENDSEC"}};
    Tags blocks{{0, "SECTION"}, {2, "BLOCKS"}, {0, "BLOCK"}, {5, "20"},    {8, "0"},
                {2, "КОЛОДЕЦ"}, {70, "0"},     {10, "0"},    {20, "0"},    {30, "0"},
                {0, "ENDBLK"},  {5, "21"},     {8, "0"},     {0, "ENDSEC"}};
    DrawingData d = readDxf(cad::encodeText(
        dxf(concat({header("AC1015", "ANSI_1251", "100"), tables, blocks, entities({}), eof()})),
        "ANSI_1251"));
    ASSERT_EQ(d.blocks.size(), 1u);
    EXPECT_EQ(d.blocks[0].name, "КОЛОДЕЦ");
    EXPECT_EQ(d.blocks[0].recordHandle, 0x1Fu);
}

// A rational spline edge, the quarter of a unit circle, closed by two lines:
// hatch edges go through the evaluator of SPLINE entities, weights and all.
TEST(HatchSplineEdges, RationalEdgeKeepsToItsCurve) {
    Tags body{{0, "HATCH"}, {8, "0"}, {2, "SOLID"}, {70, "1"}, {91, "1"}, {92, "1"}, {93, "3"}};
    body.insert(body.end(), {{72, "4"}, {94, "2"}, {73, "1"}, {74, "0"}, {95, "6"}, {96, "3"}});
    for (const char* knot : {"0", "0", "0", "1", "1", "1"}) body.push_back({40, knot});
    const std::pair<const char*, const char*> corners[3] = {{"1", "0"}, {"1", "1"}, {"0", "1"}};
    for (const auto& [x, y] : corners) body.insert(body.end(), {{10, x}, {20, y}});
    for (const char* w : {"1", "0.70710678118654752", "1"}) body.push_back({42, w});
    // Lines from (0, 1) down to the origin and across to (1, 0).
    body.insert(body.end(), {{72, "1"}, {10, "0"}, {20, "1"}, {11, "0"}, {21, "0"}});
    body.insert(body.end(), {{72, "1"}, {10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}});
    body.push_back({97, "0"});
    DrawingData d = readDxf(r12(body, {}));
    ASSERT_FALSE(d.modelSpace.empty());
    const auto& h = geomAs<HatchGeom>(d.entities[d.modelSpace.front().v].geom);
    ASSERT_EQ(h.loops.size(), 1u);
    const auto& v = h.loops[0].vertices;
    ASSERT_EQ(v.size(), 26u);  // 24 along the spline, then the two lines
    for (std::size_t i = 0; i < 24; ++i) {
        EXPECT_NEAR(std::hypot(v[i].x, v[i].y), 1.0, 1e-12) << i;
    }
    EXPECT_EQ(v[0].x, 1.0);
    EXPECT_EQ(v[0].y, 0.0);
    EXPECT_NEAR(v[12].x, std::sqrt(0.5), 1e-12);  // the middle, by symmetry
    EXPECT_NEAR(v[12].y, std::sqrt(0.5), 1e-12);
    EXPECT_EQ(v[24].x, 0.0);
    EXPECT_EQ(v[24].y, 1.0);
    EXPECT_EQ(v[25].x, 0.0);
    EXPECT_EQ(v[25].y, 0.0);
}

TEST(DxfReader, HeaderLayersAndPlacesForTheWriter) {
    std::string file = encodeText(
        dxf(concat({header("AC1009", "ANSI_1251", "2F", "Трасса"), layerTable({"0", "Трасса"}),
                    entities({{0, "LINE"},
                              {5, "2E"},
                              {8, "Трасса"},
                              {10, "0"},
                              {20, "0"},
                              {11, "1"},
                              {21, "0"}}),
                    eof()}),
            "\r\n"),
        "ANSI_1251");
    DrawingData d = readDxf(file);
    EXPECT_EQ(d.version, "AC1009");
    EXPECT_TRUE(d.crlf);
    EXPECT_EQ(d.currentLayer, "Трасса");
    EXPECT_EQ(d.handseed, 0x2Fu);
    ASSERT_EQ(d.layers.size(), 2u);
    EXPECT_EQ(d.layers.at(d.findLayer("Трасса")).color, 7);
    EXPECT_EQ(d.tags.value(d.layout.handseedValue), "2F");
    EXPECT_EQ(d.tags.value(d.layout.clayerValue), encodeText("Трасса", "ANSI_1251"));
    EXPECT_EQ(d.codepage, "ANSI_1251");
    EXPECT_EQ(d.tags.value(d.layout.layerTableCount), "2");
    EXPECT_EQ(d.tags.value(d.layout.layerTableEnd), "ENDTAB");
    EXPECT_EQ(d.tags.value(d.layout.entitiesEnd), "ENDSEC");
    EXPECT_EQ(d.tags.value(d.layout.eof), "EOF");
    EXPECT_EQ(d.layout.maxHandle, 0x2Eu);
}

// A LINE on layer "0" from (0,0) to (1,0), with no handle (as R12 allows)
// and the tags given after its layer.
Tags unitLine(const Tags& more = {}) {
    return concat({{{0, "LINE"}, {8, "0"}}, more, {{10, "0"}, {20, "0"}, {11, "1"}, {21, "0"}}});
}

TEST(DxfReader, PaperSpaceAndModelSpaceAreApart) {
    DrawingData d = readDxf(r12(concat({unitLine({{67, "1"}}), unitLine()})));
    EXPECT_EQ(d.modelSpace.size(), 1u);
    EXPECT_EQ(d.paperSpace.size(), 1u);
    EXPECT_TRUE(d.entities[d.paperSpace[0].v].paperSpace);
}

TEST(DxfReader, R12EntitiesWithoutHandlesGetDistinctOnesInMemoryOnly) {
    std::string file = r12(concat({unitLine(), unitLine()}));
    DrawingData d = readDxf(file);
    ASSERT_EQ(d.modelSpace.size(), 2u);
    Handle a = d.entities[d.modelSpace[0].v].handle, b = d.entities[d.modelSpace[1].v].handle;
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    EXPECT_GT(d.handseed, std::max(a, b));
    EXPECT_TRUE(d.issues.empty());
    EXPECT_EQ(d.layout.maxHandle, 0u);  // nothing of that is in the tags
}

}  // namespace

// The progress of a reading, for the desktop program's progress bar: from
// the file to the model, never back, ending at 1 once the drawing is read.
TEST(ReadProgress, RisesToOneAsTheFileIsRead) {
    std::string path = std::string(KV_SOURCE_DIR) + "/examples/plan.dxf";
    std::vector<double> seen;
    cad::DrawingData d = cad::readDxfFile(path, [&](double f) { seen.push_back(f); });
    EXPECT_FALSE(d.modelSpace.empty());
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.back(), 1.0);
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
    EXPECT_GT(seen.front(), 0.0);
    // Stopping it: the exception leaves the reading as it is.
    struct Stop {};
    EXPECT_THROW(cad::readDxfFile(path,
                                  [](double f) {
                                      if (f > 0.3) throw Stop{};
                                  }),
                 Stop);
}
