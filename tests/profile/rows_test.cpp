// What a run writes into the table rows and draws above the datum line, at
// the places and in the text forms the sheet expects, under both separators.
#include "fixture.hpp"

using namespace profile_test;

namespace {

std::vector<std::string> textsOf(const std::vector<DrawnText>& ts) {
    std::vector<std::string> out;
    for (const DrawnText& t : ts) out.push_back(t.text);
    return out;
}

struct SeparatorCase {
    char sep;
    double value;
    const char* text;
};

void PrintTo(const SeparatorCase& c, std::ostream* os) {
    *os << c.value << " under '" << c.sep << "'";
}

class TableNumber : public testing::TestWithParam<SeparatorCase> {};

TEST_P(TableNumber, PadsOneDecimalOnlyUnderTheComma) {
    EXPECT_EQ(profile::TableNumberText(GetParam().value, GetParam().sep), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TableNumber,
    testing::Values(SeparatorCase{',', 12.5, "12,50"}, SeparatorCase{',', 12.25, "12,25"},
                    SeparatorCase{',', 12, "12"}, SeparatorCase{',', 0.5, "0,50"},
                    SeparatorCase{',', -0.5, "-0,50"}, SeparatorCase{',', 100.4, "100,40"},
                    SeparatorCase{',', 5, "5"}, SeparatorCase{'.', 12.5, "12.5"},
                    SeparatorCase{'.', 100.4, "100.4"}, SeparatorCase{'.', 12.25, "12.25"}));

// The run's texts under each separator.
class Separator : public ProfileFixture, public testing::WithParamInterface<char> {
  protected:
    std::string num(const char* withComma) {
        std::string s = withComma;
        for (char& c : s) {
            if (c == ',') c = GetParam();
        }
        return s;
    }
};

TEST_P(Separator, ElevationRowsShowHundredthsAtEveryPoint) {
    ws.decimalSeparator = GetParam();
    addPoint(0, 0, 100.4, 1.0, kRouteLayer, 110, 0);
    addPoint(10000, 0, 100.456, 1.5, kRouteLayer, 110, 320);
    profile::build(ws);
    ASSERT_TRUE(ui.messages.empty());
    // Datum label: the whole datum and a zero tenth, with the sheet's separator.
    auto datum = textsAtY(83360);
    ASSERT_EQ(datum.size(), 1u);
    EXPECT_EQ(datum[0].text, num("95,0"));
    EXPECT_EQ(datum[0].at.x, 32690);
    EXPECT_EQ(datum[0].rotationDeg, 0.0);

    const std::string padded = GetParam() == ',' ? "100,40" : "100.4";
    EXPECT_EQ(textsOf(textsAtY(72900)), (std::vector<std::string>{padded, num("100,46")}));
    // Trench bottom g - t - D/1000 with D the casing when there is one.
    const std::string bottom0 = GetParam() == ',' ? "99,29" : "99.29";
    EXPECT_EQ(textsOf(textsAtY(67900)), (std::vector<std::string>{bottom0, num("98,64")}));
    const std::string top0 = GetParam() == ',' ? "99,40" : "99.4";
    EXPECT_EQ(textsOf(textsAtY(62900)), (std::vector<std::string>{top0, num("98,96")}));
    const std::string depth0 = GetParam() == ',' ? "1,11" : "1.11";
    const std::string depth1 = GetParam() == ',' ? "1,82" : "1.82";
    EXPECT_EQ(textsOf(textsAtY(57900)), (std::vector<std::string>{depth0, depth1}));
    for (const DrawnText& t : textsAtY(72900)) {
        EXPECT_EQ(t.rotationDeg, 90.0);
        EXPECT_EQ(t.height, 1250.0);
        EXPECT_DOUBLE_EQ(t.widthFactor, 0.7);
    }
    EXPECT_EQ(textsAtY(72900)[1].at.x, 55000 + 10000 + 625);
}

TEST_P(Separator, DistanceRowPadsTheCentimetres) {
    ws.decimalSeparator = GetParam();
    addPoint(0, 0, 100);
    addPoint(12500, 0, 100);
    addPoint(30000, 0, 100);
    profile::build(ws);
    const auto row = textsAtY(32950);
    const std::string first = GetParam() == ',' ? "12,50" : "12.5";
    const std::string second = GetParam() == ',' ? "17,50" : "17.5";
    EXPECT_EQ(textsOf(row), (std::vector<std::string>{"0", first, second}));
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[1].at.x, 55000 + 12500 + 625);
    EXPECT_TRUE(lineFrom(67500, 37500, 67500, 37100));
    EXPECT_TRUE(lineFrom(67500, 32500, 67500, 32900));
}

TEST_P(Separator, PicketLabelsGiveThePicketAndTheMetresPastIt) {
    ws.decimalSeparator = GetParam();
    ws.workPoint = 2;
    addPoint(0, 0, 100);
    addPoint(123456, 0, 100);
    addPoint(200000, 0, 100);
    addPoint(205570, 0, 100);  // 205,57 - 200 must not show its binary tail
    profile::build(ws);
    std::vector<std::string> labels;
    std::vector<std::string> small;
    for (const DrawnText& t : texts()) {
        if (t.at.y == 25450) labels.push_back(t.text);
        if (t.height == 625) small.push_back(t.text);
    }
    EXPECT_EQ(labels,
              (std::vector<std::string>{num("1 +23,46"), "2", num("2 +5,57"), "0", "1", "2"}));
    // Every label carries the current point of the crossing editor.
    EXPECT_EQ(small, std::vector<std::string>(6, "2"));
}

INSTANTIATE_TEST_SUITE_P(BothSeparators, Separator, testing::Values(',', '.'));

class Rows : public ProfileFixture {};

TEST_F(Rows, GroundPipeAndPointLinesStandAboveTheDatum) {
    addPoint(0, 0, 100.4, 1.0);
    addPoint(20000, 0, 101.2, 1.0);
    profile::build(ws);
    ASSERT_EQ(ws.horizonLevel, 95.0);
    // Ground 100.4 at 82500 + 5.4 * 5000, pipe top one metre lower.
    auto ground = lineFrom(55000, 109500, 75000, 113500);
    ASSERT_TRUE(ground);
    EXPECT_EQ(ground->layer, "Kernavisto");
    auto pipe = lineFrom(55000, 104500, 75000, 108500);
    ASSERT_TRUE(pipe);
    EXPECT_EQ(pipe->layer, "Трасса");
    EXPECT_EQ(pipe->lineweight, 50);
    ASSERT_EQ(ws.pointLines.size(), 2u);
    EXPECT_EQ(ws.pointLines[0].startPoint(), (cad::Point3{55000, 82500, 0}));
    EXPECT_NEAR(ws.pointLines[0].endPoint().y, 109500, 1e-6);
    EXPECT_EQ(ws.pointLines[1].startPoint(), (cad::Point3{75000, 82500, 0}));
    EXPECT_NEAR(ws.pointLines[1].endPoint().y, 113500, 1e-6);
    EXPECT_EQ(ws.pointLines[1].layer(), "Vline-Kernavisto");
    // Texts land on the current layer, as every text of the sheet.
    for (const DrawnText& t : texts()) EXPECT_EQ(t.layer, "0");
}

struct SlopeCase {
    double topFrom;
    double topTo;
    cad::Point3 diagonalFrom;
    cad::Point3 diagonalTo;
    const char* slope;
    double slopeX;
    double lengthX;
};

void PrintTo(const SlopeCase& c, std::ostream* os) {
    *os << "pipe top " << c.topFrom << " -> " << c.topTo;
}

class Slope : public ProfileFixture, public testing::WithParamInterface<SlopeCase> {};

TEST_P(Slope, EachCellShowsItsSlopeAndLengthInTheFreeCorners) {
    const SlopeCase& c = GetParam();
    // Pipe tops through the relief height at depth 1.
    addPoint(0, 0, c.topFrom + 1.0, 1.0);
    addPoint(50000, 0, c.topTo + 1.0, 1.0);
    profile::build(ws);
    EXPECT_TRUE(lineFrom(c.diagonalFrom.x, c.diagonalFrom.y, c.diagonalTo.x, c.diagonalTo.y));
    EXPECT_TRUE(lineFrom(55000, 42500, 55000, 37500));
    EXPECT_TRUE(lineFrom(105000, 42500, 105000, 37500));
    auto slope = textsAtY(41200);
    ASSERT_EQ(slope.size(), 1u);
    EXPECT_EQ(slope[0].text, c.slope);
    EXPECT_DOUBLE_EQ(slope[0].at.x, c.slopeX);
    auto length = textsAtY(37950);
    ASSERT_EQ(length.size(), 1u);
    EXPECT_EQ(length[0].text, "50");
    EXPECT_DOUBLE_EQ(length[0].at.x, c.lengthX);
    EXPECT_EQ(length[0].rotationDeg, 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, Slope,
    testing::Values(
        // Rising: length at the right end less two characters, slope from the left.
        SlopeCase{98.0, 98.5, {55000, 37500, 0}, {105000, 42500, 0}, "10", 55000, 105000 - 1400},
        // Falling: length from the left, slope at the right end less its width.
        SlopeCase{98.5, 98.0, {55000, 42500, 0}, {105000, 37500, 0}, "10", 105000 - 1400, 55000},
        // Level: a middle line, both texts from the middle on.
        SlopeCase{98.0, 98.0, {55000, 40000, 0}, {105000, 40000, 0}, "0", 80000, 80000}));

TEST_F(Rows, WholePicketsAreMarkedEveryHundredMetres) {
    addPoint(0, 0, 100, 1.0);
    addPoint(250000, 0, 100, 1.0, kWaterLayer);  // a communication: no picket label
    profile::build(ws);
    std::vector<std::string> labels;
    std::vector<double> xs;
    for (const DrawnText& t : textsAtY(25450)) {
        labels.push_back(t.text);
        xs.push_back(t.at.x);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(xs, (std::vector<double>{55625, 155625, 255625}));
    for (double x : {55000.0, 155000.0, 255000.0}) {
        EXPECT_TRUE(lineFrom(x, 32500, x, 32100)) << x;
        EXPECT_TRUE(lineFrom(x, 25000, x, 25400)) << x;
    }
    EXPECT_FALSE(lineFrom(305000, 32500, 305000, 32100));
}

TEST_F(Rows, AShortPicketHasTheSingleWholePicketZero) {
    addPoint(0, 0, 100);
    addPoint(99990, 0, 100, 1.0, kWaterLayer);
    profile::build(ws);
    EXPECT_EQ(textsOf(textsAtY(25450)), std::vector<std::string>{"0"});
}

TEST_F(Rows, ASecondRunDrawsASecondProfileOverTheFirst) {
    addPoint(0, 0, 100);
    addPoint(10000, 0, 101);
    profile::build(ws);
    const std::size_t first = doc.modelSpace().size();
    const std::size_t drawn = ws.profileObjects.size();
    const auto oldLines = ws.pointLines;
    ws.controls.typeList(model::TypeList::Other)
        .push_back("Новый слой");  // added after the first run
    profile::build(ws);
    EXPECT_EQ(doc.modelSpace().size(), first + drawn);
    EXPECT_EQ(ws.profileObjects.size(), drawn);  // the newest run only
    EXPECT_NE(ws.pointLines[1], oldLines[1]);
    EXPECT_NO_THROW(oldLines[1].layer());      // nothing erased
    EXPECT_FALSE(doc.hasLayer("Новый слой"));  // layers come with the first run only
}

TEST_F(Rows, TheFirstRunAddsTheTypeAndPointLineLayers) {
    addPoint(0, 0, 100);
    addPoint(10000, 0, 101);
    profile::build(ws);
    for (const char* name :
         {"Трасса - Kernavisto", "Подводы - Kernavisto", "Водопровод - Kernavisto",
          "Теплотрасса - Kernavisto", "Асфальт - Kernavisto", "Vline-Kernavisto"}) {
        EXPECT_TRUE(doc.hasLayer(name)) << name;
    }
}

}  // namespace
