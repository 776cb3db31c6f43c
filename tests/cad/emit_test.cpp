// What the engine writes that was not in the file: numbers and changed
// entities (only the changed tags differ from the original stream). New
// entities and the empty-drawing templates are in emit_new_test.cpp.
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
using kvtest::largestHandle;
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
