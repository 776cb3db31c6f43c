// What the engine writes that was not in the file: numbers, changed
// entities (only the changed tags differ from the original stream), new
// entities, layers and blocks in R12, R2000 and later drawings, and the
// empty-drawing templates, checked by reading back with our reader and with
// ezdxf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>

#include "cad/drawing.hpp"
#include "cad/dxf/emit.hpp"
#include "cad/dxf/encoding.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/dxf/writer.hpp"
#include "cad/error.hpp"
#include "dxf_check_support.hpp"

using namespace cad;
using kvtest::tagDiff;
using kvtest::tagLines;

namespace {

std::string doubleValue(double v) {
    std::string s;
    TagOut out(s, false);
    out.putDouble(10, v);
    return s.substr(s.find('\n') + 1, s.size() - s.find('\n') - 2);
}

}  // namespace

// ---- numbers -------------------------------------------------------------------

class PutDouble : public ::testing::TestWithParam<double> {};

TEST_P(PutDouble, ReadsBackExactlyWithoutExponent) {
    const double v = GetParam();
    std::string text = doubleValue(v);
    EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
    EXPECT_NE(text.find('.'), std::string::npos) << text;
    double back = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_EQ(ec, std::errc()) << text;
    EXPECT_EQ(ptr, text.data() + text.size());
    EXPECT_EQ(back, v) << text;
}

INSTANTIATE_TEST_SUITE_P(Values, PutDouble,
                         ::testing::Values(0.0, 1.0, -2.5, 0.1, 1.0 / 3.0, 500000.0, 5975000.125,
                                           6.123233995736766e-17, 1e-7, 1e20, -1e20, 123456789.123,
                                           DBL_MAX, std::numeric_limits<double>::denorm_min()));

TEST(PutDoubleText, IsShortAndHasNoNegativeZero) {
    EXPECT_EQ(doubleValue(-0.0), "0.0");
    EXPECT_EQ(doubleValue(154.32), "154.32");
    EXPECT_EQ(doubleValue(500000), "500000.0");
    EXPECT_THROW(doubleValue(std::nan("")), Error);
    EXPECT_THROW(doubleValue(INFINITY), Error);
}

// ---- changed entities ------------------------------------------------------------

namespace {

// The end points of the line 2A, (100, 200) and (300, 400), the same in both
// fixtures below.
const std::string kLine2APoints =
    " 10\n100.0\n 20\n200.0\n 30\n0.0\n 11\n300.0\n 21\n400.0\n 31\n0.0\n";

// An R2000 drawing as CAD programs write it: padded integers, reactors,
// extended data whose codes look like point codes, a true colour.
const std::string kR2000 = R"(  0
SECTION
  2
HEADER
  9
$ACADVER
  1
AC1015
  9
$DWGCODEPAGE
  3
ANSI_1251
  9
$HANDSEED
  5
40
  0
ENDSEC
  0
SECTION
  2
TABLES
  0
TABLE
  2
LTYPE
  5
5
330
0
100
AcDbSymbolTable
 70
     1
  0
LTYPE
  5
14
330
5
100
AcDbSymbolTableRecord
100
AcDbLinetypeTableRecord
  2
Continuous
 70
     0
  3
Solid line
 72
    65
 73
     0
 40
0.0
  0
ENDTAB
  0
TABLE
  2
LAYER
  5
2
330
0
100
AcDbSymbolTable
 70
     2
  0
LAYER
  5
10
330
2
100
AcDbSymbolTableRecord
100
AcDbLayerTableRecord
  2
0
 70
     0
 62
     7
  6
Continuous
  0
LAYER
  5
11
330
2
100
AcDbSymbolTableRecord
100
AcDbLayerTableRecord
  2
Pipes
 70
     0
 62
     5
  6
Continuous
  0
ENDTAB
  0
TABLE
  2
APPID
  5
9
330
0
100
AcDbSymbolTable
 70
     1
  0
APPID
  5
12
330
9
100
AcDbSymbolTableRecord
100
AcDbRegAppTableRecord
  2
SURVEY
 70
     0
  0
ENDTAB
  0
TABLE
  2
BLOCK_RECORD
  5
1
330
0
100
AcDbSymbolTable
 70
     1
  0
BLOCK_RECORD
  5
1F
330
1
100
AcDbSymbolTableRecord
100
AcDbBlockTableRecord
  2
*Model_Space
  0
ENDTAB
  0
ENDSEC
  0
SECTION
  2
BLOCKS
  0
BLOCK
  5
20
330
1F
100
AcDbEntity
  8
0
100
AcDbBlockBegin
  2
*Model_Space
 70
     0
 10
0.0
 20
0.0
 30
0.0
  3
*Model_Space
  1

  0
ENDBLK
  5
21
330
1F
100
AcDbEntity
  8
0
100
AcDbBlockEnd
  0
ENDSEC
  0
SECTION
  2
ENTITIES
  0
LINE
  5
2A
102
{ACAD_REACTORS
330
2F
102
}
330
1F
100
AcDbEntity
  8
0
 62
     1
100
AcDbLine
)" + kLine2APoints + R"(1001
SURVEY
1000
point
1010
1.0
1020
2.0
1030
3.0
  0
TEXT
  5
2B
330
1F
100
AcDbEntity
  8
0
100
AcDbText
 10
5.0
 20
6.0
 30
0.0
 40
2.5
  1
154.32
100
AcDbText
 73
     0
  0
LINE
  5
2C
330
1F
100
AcDbEntity
  8
Pipes
 62
     5
420
16711680
100
AcDbLine
 10
0.0
 20
0.0
 30
0.0
 11
1.0
 21
1.0
 31
0.0
  0
MTEXT
  5
2D
330
1F
100
AcDbEntity
  8
0
100
AcDbMText
 10
1.0
 20
2.0
 30
0.0
 40
2.5
 41
0.0
 71
     1
 72
     5
  1
Well K-1
 11
1.0
 21
0.0
 31
0.0
  0
ENDSEC
  0
SECTION
  2
OBJECTS
  0
DICTIONARY
  5
C
330
0
100
AcDbDictionary
  0
ENDSEC
  0
EOF
)";

// An R12 drawing with handles on and a polyline with its vertices.
const std::string kR12 = R"(  0
SECTION
  2
HEADER
  9
$ACADVER
  1
AC1009
  9
$HANDLING
 70
     1
  9
$HANDSEED
  5
40
  0
ENDSEC
  0
SECTION
  2
TABLES
  0
TABLE
  2
LAYER
 70
     2
  0
LAYER
  2
0
 70
     0
 62
     7
  6
CONTINUOUS
  0
LAYER
  2
Pipes
 70
     0
 62
     5
  6
CONTINUOUS
  0
ENDTAB
  0
ENDSEC
  0
SECTION
  2
BLOCKS
  0
ENDSEC
  0
SECTION
  2
ENTITIES
  0
LINE
  5
2A
  8
0
 62
     1
)" + kLine2APoints + R"(  0
TEXT
  5
2B
  8
0
 10
5.0
 20
6.0
 30
0.0
 40
2.5
  1
154.32
  0
POLYLINE
  5
2D
  8
0
 66
     1
 10
0.0
 20
0.0
 30
0.0
  0
VERTEX
  5
2E
  8
0
 10
1.0
 20
1.0
 30
0.0
  0
VERTEX
  5
2F
  8
0
 10
2.0
 20
1.0
 30
0.0
  0
SEQEND
  5
30
  8
0
  0
ENDSEC
  0
EOF
)";

struct ChangeCase {
    const char* name;
    std::string fixture;
    const char* handle;
    std::function<void(EntityRef&)> change;
    std::vector<std::string> expected;  // tagDiff of the saved stream, in any order
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.name;
}

}  // namespace

class ChangedEntity : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangedEntity, OnlyTheChangedTagsDiffer) {
    const ChangeCase& c = GetParam();
    Drawing d(readDxf(c.fixture));
    const auto before = tagLines(d.data().tags);
    EntityRef e = d.entityByHandle(c.handle);
    ASSERT_FALSE(e.isNull());
    c.change(e);
    const std::string saved = writeDxf(d.data());
    auto diff = tagDiff(before, tagLines(readDxf(saved).tags));
    auto expected = c.expected;
    std::sort(diff.begin(), diff.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(diff, expected);

    // The change reads back, and nothing else of the entity moved.
    Drawing back(readDxf(saved));
    EntityRef again = back.entityByHandle(c.handle);
    ASSERT_FALSE(again.isNull());
    EXPECT_EQ(again.layer(), e.layer());
    EXPECT_EQ(again.visible(), e.visible());
    EXPECT_EQ(again.color(), e.color());
    if (c.fixture == kR2000) {
        EXPECT_EQ(again.lineweight(), e.lineweight());
    }
    if (e.dxfType() == "LINE") {
        EXPECT_EQ(again.startPoint(), e.startPoint());
        EXPECT_EQ(again.endPoint(), e.endPoint());
    }
    if (e.dxfType() == "TEXT") {
        const auto& t1 = geomAs<TextGeom>(again.entity().geom);
        const auto& t0 = geomAs<TextGeom>(e.entity().geom);
        EXPECT_EQ(t1.height, t0.height);
        EXPECT_EQ(t1.rotation, t0.rotation);
        EXPECT_EQ(t1.widthFactor, t0.widthFactor);
        EXPECT_EQ(t1.text, t0.text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tags, ChangedEntity,
    ::testing::Values(
        ChangeCase{
            "LayerR2000", kR2000, "2A", [](EntityRef& e) { e.setLayer("Pipes"); }, {"~8:0>Pipes"}},
        ChangeCase{
            "LayerR12", kR12, "2A", [](EntityRef& e) { e.setLayer("Pipes"); }, {"~8:0>Pipes"}},
        ChangeCase{"PolylineLayerGoesToVerticesR12",
                   kR12,
                   "2D",
                   [](EntityRef& e) { e.setLayer("Pipes"); },
                   {"~8:0>Pipes", "~8:0>Pipes", "~8:0>Pipes", "~8:0>Pipes"}},
        ChangeCase{
            "ColourReplacedR2000", kR2000, "2A", [](EntityRef& e) { e.setColor(3); }, {"~62:1>3"}},
        ChangeCase{"ColourDropsTrueColour",
                   kR2000,
                   "2C",
                   [](EntityRef& e) { e.setColor(3); },
                   {"~62:5>3", "-420:16711680"}},
        ChangeCase{
            "ColourInsertedR2000", kR2000, "2B", [](EntityRef& e) { e.setColor(3); }, {"+62:3"}},
        ChangeCase{
            "ColourReplacedR12", kR12, "2A", [](EntityRef& e) { e.setColor(0); }, {"~62:1>0"}},
        ChangeCase{
            "InvisibleR2000", kR2000, "2A", [](EntityRef& e) { e.setVisible(false); }, {"+60:1"}},
        ChangeCase{
            "InvisibleR12", kR12, "2B", [](EntityRef& e) { e.setVisible(false); }, {"+60:1"}},
        ChangeCase{"LineweightR2000",
                   kR2000,
                   "2A",
                   [](EntityRef& e) { e.setLineweight(90); },
                   {"+370:90"}},
        ChangeCase{"NoLineweightInR12", kR12, "2A", [](EntityRef& e) { e.setLineweight(90); }, {}},
        ChangeCase{"PointsKeepExtendedData",
                   kR2000,
                   "2A",
                   [](EntityRef& e) {
                       e.setStartPoint({1.5, -2.25, 0});
                       e.setEndPoint({500000.125, 6000000.5, 7});
                   },
                   {"~10:100.0>1.5", "~20:200.0>-2.25", "~11:300.0>500000.125",
                    "~21:400.0>6000000.5", "~31:0.0>7.0"}},
        ChangeCase{"PointsR12",
                   kR12,
                   "2A",
                   [](EntityRef& e) {
                       e.setEndPoint({3, 4, 0});
                   },
                   {"~11:300.0>3.0", "~21:400.0>4.0"}},
        ChangeCase{"TextPropertiesR2000",
                   kR2000,
                   "2B",
                   [](EntityRef& e) {
                       e.setTextHeight(700);
                       e.setRotation(30);
                       e.setScaleFactor(0.8);
                   },
                   {"~40:2.5>700.0", "+50:30.0", "+41:0.8"}},
        ChangeCase{"TextPropertiesR12",
                   kR12,
                   "2B",
                   [](EntityRef& e) {
                       e.setRotation(90);
                       e.setTextHeight(3);
                   },
                   {"~40:2.5>3.0", "+50:90.0"}},
        ChangeCase{"MTextRotationTurnsItsDirection",
                   kR2000,
                   "2D",
                   [](EntityRef& e) {
                       e.setRotation(90);
                       e.setTextHeight(5);
                   },
                   {"~40:2.5>5.0", "~11:1.0>0.0", "~21:0.0>1.0"}}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(ChangedEntityPadding, KeepsTheFilesRightAlignedIntegers) {
    Drawing d(readDxf(kR2000));
    d.entityByHandle("2A").setColor(3);
    const std::string saved = writeDxf(d.data());
    EXPECT_NE(saved.find(" 62\n     3\n100\nAcDbLine"), std::string::npos);
}

TEST(ChangedEntityEncoding, LayerNamesUseTheFilesCodePage) {
    Drawing d(readDxf(kR2000));  // ANSI_1251
    d.entityByHandle("2A").setLayer("Водопровод");
    const std::string saved = writeDxf(d.data());
    EXPECT_NE(saved.find("  8\n" + encodeText("Водопровод", "ANSI_1251") + "\n"),
              std::string::npos);
    EXPECT_EQ(saved.find("Водопровод"), std::string::npos);  // not as UTF-8
    Drawing back(readDxf(saved));
    EXPECT_EQ(back.entityByHandle("2A").layer(), "Водопровод");
    EXPECT_TRUE(back.hasLayer("Водопровод"));
}

// ---- new entities, layers, blocks ---------------------------------------------------

namespace {

struct Made {
    std::vector<std::string> handles;  // in the order made
};

// One of every kind the engine writes, on a Cyrillic layer.
Made addOneOfEach(Drawing& d, bool hatches) {
    Made m;
    d.setCurrentLayer("Трасса - Kernavisto");
    auto keep = [&](EntityRef r) {
        m.handles.push_back(r.handle());
        return r;
    };
    EntityRef line = keep(d.addLine({500000.125, 6000000.5, 0}, {500100, 6000050.25, 0}));
    line.setLineweight(50);
    line.setColor(3);
    keep(d.addText("154.32 Отм.", {10, 20, 0}, 2.5)).setRotation(30);

    Entity pl;
    pl.dxfType = "LWPOLYLINE";
    PolylineGeom g;
    g.vertices = {{0, 0, 0, 0}, {100, 0, 0, 0.5}, {100, 100, 0, 0}};
    g.closed = true;
    pl.geom = g;
    keep(d.addEntity(pl));

    Entity circle;
    circle.dxfType = "CIRCLE";
    circle.geom = CircleGeom{{5, 5, 0}, 2.5, kWorldZ};
    keep(d.addEntity(circle));
    Entity arc;
    arc.dxfType = "ARC";
    arc.geom = ArcGeom{{5, 5, 0}, 3, 10, 200, kWorldZ};
    keep(d.addEntity(arc));
    Entity point;
    point.dxfType = "POINT";
    point.geom = PointGeom{{7, 8, 9}};
    keep(d.addEntity(point));
    Entity solid;
    solid.dxfType = "SOLID";
    SolidGeom s;
    s.corners[0] = {0, 0, 0};
    s.corners[1] = {1, 0, 0};
    s.corners[2] = {0, 1, 0};
    s.corners[3] = {0, 1, 0};
    solid.geom = s;
    keep(d.addEntity(solid));
    Entity mtext;
    mtext.dxfType = "MTEXT";
    MTextGeom mt;
    mt.text = "Колодец\\PК-1";
    mt.insertion = {1, 2, 0};
    mt.height = 2.5;
    mtext.geom = mt;
    keep(d.addEntity(mtext));

    std::vector<Entity> parts;
    Entity c2 = circle;
    c2.layer = Name();
    parts.push_back(c2);
    if (hatches) {
        Entity h;
        h.dxfType = "HATCH";
        HatchGeom hg;
        hg.solid = true;
        hg.pattern = "SOLID";
        PolylineGeom loop;
        loop.closed = true;
        loop.vertices = {{-1, 0, 0, 1}, {1, 0, 0, 1}};
        hg.loops.push_back(loop);
        h.geom = hg;
        parts.push_back(h);
    }
    d.addBlock("Колодец", {0, 0, 0}, parts);
    keep(d.addInsert("Колодец", {50, 60, 0}, 2.0, 45));
    keep(d.addDimAngular({100, 100, 0}, {90, 105, 0}, {110, 105, 0}, {100, 110, 0}))
        .setTextHeight(3.5);
    d.setCurrentLayer("0");
    return m;
}

Handle largestHandle(const TagStore& tags) {
    Handle top = 0;
    for (std::size_t i = 0; i < tags.size(); ++i) {
        int code = tags.tags[i].code;
        if (code != 5 && code != 105) continue;
        if (i > 0 && tags.tags[i - 1].code == 9) continue;  // $HANDSEED itself
        Handle h = 0;
        if (parseHandle(tags.value(i), h)) top = std::max(top, h);
    }
    return top;
}

}  // namespace

class NewEntities : public ::testing::TestWithParam<const char*> {};

TEST_P(NewEntities, ReadBackByUsAndByEzdxf) {
    const std::string version = GetParam();
    const bool r12 = version == "AC1009";
    auto dir = kvtest::scratchDir();
    auto d = Drawing::create(version);
    Made made = addOneOfEach(*d, !r12);
    const auto file = dir / "new.dxf";
    d->saveAs(file);

    // Our reader: the same entities with the same values.
    auto back = Drawing::open(file);
    EXPECT_EQ(back->data().version, version);
    auto ms = back->modelSpace();
    ASSERT_EQ(ms.size(), made.handles.size());
    for (std::size_t i = 0; i < ms.size(); ++i) EXPECT_EQ(ms[i].handle(), made.handles[i]);
    EXPECT_EQ(ms[0].layer(), "Трасса - Kernavisto");
    EXPECT_EQ(ms[0].startPoint(), (Point3{500000.125, 6000000.5, 0}));
    EXPECT_EQ(ms[0].color(), 3);
    EXPECT_EQ(ms[0].lineweight(), r12 ? -1 : 50);
    EXPECT_EQ(ms[1].textString(), "154.32 Отм.");
    EXPECT_EQ(geomAs<TextGeom>(ms[1].entity().geom).rotation, 30.0);
    const auto& poly = geomAs<PolylineGeom>(ms[2].entity().geom);
    ASSERT_EQ(poly.vertices.size(), 3u);
    EXPECT_EQ(poly.vertices[1].bulge, 0.5);
    EXPECT_TRUE(poly.closed);
    EXPECT_TRUE(back->hasLayer("Трасса - Kernavisto"));
    EXPECT_GT(back->data().handseed, largestHandle(back->data().tags));
    EXPECT_TRUE(back->data().issues.empty()) << back->data().issues.front().message;

    // ezdxf: no audit errors, and the values as we meant them.
    KV_EZDXF_OR_SKIP(j, file);
    EXPECT_TRUE(j["audit_errors"].empty()) << j["audit_errors"].dump();
    EXPECT_TRUE(j["audit_fixes"].empty()) << j["audit_fixes"].dump();
    EXPECT_FALSE(j["recovered"].get<bool>());
    const auto& m = j["modelspace"];
    ASSERT_EQ(m.size(), made.handles.size());
    std::vector<std::string> types;
    for (std::size_t i = 0; i < m.size(); ++i) {
        EXPECT_EQ(m[i]["handle"], made.handles[i]);
        types.push_back(m[i]["type"]);
    }
    const std::vector<std::string> expected = {
        "LINE",  "TEXT",  "LWPOLYLINE",           "CIRCLE", "ARC",
        "POINT", "SOLID", r12 ? "TEXT" : "MTEXT", "INSERT", "DIMENSION"};
    std::vector<std::string> want = expected;
    if (r12) want[2] = "POLYLINE";
    EXPECT_EQ(types, want);
    EXPECT_EQ(m[0]["layer"], "Трасса - Kernavisto");
    EXPECT_EQ(m[0]["start"][0].get<double>(), 500000.125);
    EXPECT_EQ(m[0]["color"], 3);
    EXPECT_EQ(m[1]["text"], "154.32 Отм.");
    EXPECT_EQ(m[1]["rotation"].get<double>(), 30.0);
    EXPECT_EQ(m[2]["points"][1][2].get<double>(), 0.5);
    EXPECT_TRUE(m[2]["closed"].get<bool>());
    EXPECT_EQ(m[4]["end_angle"].get<double>(), 200.0);
    EXPECT_EQ(m[8]["name"], "Колодец");
    EXPECT_EQ(m[8]["rotation"].get<double>(), 45.0);
    EXPECT_EQ(m[9]["dimtype"], 37);
    ASSERT_TRUE(j["blocks"].contains("Колодец"));
    EXPECT_EQ(j["blocks"]["Колодец"].size(), r12 ? 1u : 2u);
    EXPECT_EQ(m[9]["dimtxt"].get<double>(), 3.5);
    ASSERT_TRUE(j["blocks"].contains(m[9]["block"].get<std::string>()));
}

INSTANTIATE_TEST_SUITE_P(Versions, NewEntities,
                         ::testing::Values("AC1009", "AC1015", "AC1018", "AC1021", "AC1024",
                                           "AC1027", "AC1032"));

TEST(NewEntitiesR12, PolylinesGetVertexHandlesBelowTheirOwn) {
    auto d = Drawing::create("AC1009");
    Entity pl;
    pl.dxfType = "LWPOLYLINE";
    PolylineGeom g;
    g.vertices = {{0, 0, 0, 0}, {1, 0, 0, 0}, {1, 1, 0, 0}};
    pl.geom = g;
    EntityRef p = d->addEntity(pl);
    EntityRef after = d->addLine({0, 0, 0}, {1, 1, 0});
    DrawingData back = readDxf(writeDxf(d->data()));
    // Every handle in the file is unique and below the seed.
    std::vector<std::string> handles;
    for (std::size_t i = 0; i < back.tags.size(); ++i) {
        if (back.tags.tags[i].code == 5) handles.emplace_back(back.tags.value(i));
    }
    auto sorted = handles;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    EXPECT_GT(back.handseed, largestHandle(back.tags));
    EXPECT_NE(p.handle(), after.handle());
}

TEST(NewLayers, CarryColourLineweightAndTheFilesPlotStyle) {
    Drawing d(readDxf(kR2000));
    d.addLayer("Теплотрасса - Kernavisto");
    DrawingData& data = d.mutableData();
    Layer& l = data.layers.at(data.findLayer("Теплотрасса - Kernavisto"));
    l.color = 30;
    l.lineweight = 35;
    DrawingData back = readDxf(writeDxf(d.data()));
    ASSERT_NE(back.findLayer("Теплотрасса - Kernavisto"), kNoIndex);
    const Layer& b = back.layers.at(back.findLayer("Теплотрасса - Kernavisto"));
    EXPECT_EQ(b.color, 30);
    EXPECT_EQ(b.lineweight, 35);
    EXPECT_EQ(b.handle, l.handle);
    EXPECT_GT(back.handseed, largestHandle(back.tags));
}

TEST(NewEntitiesErrors, KindsAVersionCannotHoldAreRefused) {
    auto d = Drawing::create("AC1009");
    Entity h;
    h.dxfType = "HATCH";
    HatchGeom g;
    g.solid = true;
    h.geom = g;
    d->addEntity(h);
    EXPECT_THROW(writeDxf(d->data()), Error);
    EXPECT_THROW(Drawing::create("AC1006"), Error);
    EXPECT_THROW(d->addInsert("Нет такого", {}), Error);
    EXPECT_THROW(d->addBlock("", {}, {}), Error);
}

// ---- templates ---------------------------------------------------------------------

class EmptyDrawing : public ::testing::TestWithParam<const char*> {};

TEST_P(EmptyDrawing, IsCleanForUsAndForEzdxf) {
    const std::string version = GetParam();
    auto d = Drawing::create(version);
    const DrawingData& data = d->data();
    EXPECT_EQ(data.version, version);
    EXPECT_EQ(data.codepage, "ANSI_1251");
    EXPECT_TRUE(data.issues.empty()) << data.issues.front().message;
    EXPECT_TRUE(data.modelSpace.empty());
    EXPECT_EQ(d->layerNames(), std::vector<std::string>{"0"});
    EXPECT_NE(data.layout.layerTableEnd, kNoIndex);
    EXPECT_NE(data.layout.entitiesEnd, kNoIndex);
    EXPECT_NE(data.layout.handseedValue, kNoIndex);
    if (version != "AC1009") {
        EXPECT_NE(data.layout.modelSpaceRecord, 0u);
        EXPECT_NE(data.layout.blockRecordTableEnd, kNoIndex);
    }
    // Saved unchanged, the same text comes out.
    EXPECT_EQ(writeDxf(data), emptyDrawingText(version));

    auto dir = kvtest::scratchDir();
    d->saveAs(dir / "empty.dxf");
    KV_EZDXF_OR_SKIP(j, dir / "empty.dxf");
    EXPECT_EQ(j["version"], version);
    EXPECT_TRUE(j["audit_errors"].empty()) << j["audit_errors"].dump();
    EXPECT_TRUE(j["audit_fixes"].empty()) << j["audit_fixes"].dump();
}

INSTANTIATE_TEST_SUITE_P(Versions, EmptyDrawing,
                         ::testing::Values("AC1009", "AC1015", "AC1018", "AC1021", "AC1024",
                                           "AC1027", "AC1032"));

// ---- files of other programs ----------------------------------------------------------

class CorpusEdit : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusEdit, ChangesAndAdditionsBringNoNewAuditErrors) {
    const std::filesystem::path source = std::filesystem::path(KV_CORPUS_DIR) / GetParam();
    if (!std::filesystem::exists(source)) GTEST_SKIP() << source << " is not here";
    auto dir = kvtest::scratchDir();
    auto d = Drawing::open(source);
    // A Cyrillic name where the file's code page holds it; elsewhere it would
    // be written as \U+ escapes, which ezdxf takes for a bad layer name.
    const bool cyrillic = d->data().version >= "AC1021" || d->data().codepage == "ANSI_1251";
    const std::string layer = cyrillic ? "Подводы - Kernavisto" : "Podvody - Kernavisto";
    std::vector<std::size_t> changed;  // positions in model space
    auto ms = d->modelSpace();
    for (std::size_t i = 0; i < ms.size() && changed.size() < 3; ++i) {
        EntityRef e = ms[i];
        if (e.dxfType() != "LINE") continue;
        e.setLayer(layer);
        e.setLineweight(90);
        e.setColor(3);
        e.setVisible(!changed.empty());
        e.setEndPoint({1, 2, 0});
        changed.push_back(i);
    }
    d->addLine({0, 0, 0}, {10, 10, 0});
    d->addText("Новый текст", {1, 1, 0}, 2.5);
    d->addDimAngular({0, 0, 0}, {-10, 4, 0}, {10, 4, 0}, {0, 5, 0}).setTextHeight(1);
    const auto file = dir / "edited.dxf";
    d->saveAs(file);

    KV_EZDXF_OR_SKIP(after, file);
    KV_EZDXF_OR_SKIP(before, source);
    EXPECT_LE(after["audit_errors"].size(), before["audit_errors"].size())
        << after["audit_errors"].dump();
    const auto& m = after["modelspace"];
    ASSERT_EQ(m.size(), before["modelspace"].size() + 3);
    for (std::size_t i : changed) {
        const auto& e = m[i];
        EXPECT_EQ(e["type"], "LINE");
        EXPECT_EQ(e["layer"], layer);
        EXPECT_EQ(e["color"], 3);
        EXPECT_EQ(e["invisible"], i == changed.front() ? 1 : 0);
        EXPECT_EQ(e["end"][1].get<double>(), 2.0);
        if (d->data().version >= "AC1015") {
            EXPECT_EQ(e["lineweight"], 90);
        }
    }
    EXPECT_EQ(m[m.size() - 1]["type"], "DIMENSION");
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusEdit,
                         ::testing::Values("acad2000_example.dxf", "kompas_r2000_cp1251.dxf",
                                           "acad2018_uncommon.dxf", "leica_disto_r12.dxf",
                                           "acadlt2004_ru_ansi1251_template.dxf"));
