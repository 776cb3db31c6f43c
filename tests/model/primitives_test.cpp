// Number text under both separators (and as printf wrote it), the four-digit coordinate form, and
// the two drawing primitives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "model/primitives.hpp"
#include "recording_ui.hpp"

using namespace model;

TEST(FixDecimalText, BothSeparatorsBecomeTheOneInForce) {
    EXPECT_EQ(FixDecimalText("12.5", ','), "12,5");
    EXPECT_EQ(FixDecimalText("12,5", ','), "12,5");
    EXPECT_EQ(FixDecimalText("12,5", '.'), "12.5");
    EXPECT_EQ(FixDecimalText("", '.'), "");
    EXPECT_EQ(FixDecimalText("Авто", ','), "Авто");
    EXPECT_EQ(FixDecimalText("1.000,5", ','), "1,000,5");
}

struct ParseCase {
    const char* text;
    char sep;
    bool ok;
    double value;
};

class ParseNumber : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseNumber, ReadsTypedNumbers) {
    const ParseCase& c = GetParam();
    auto v = parseNumber(FixDecimalText(c.text, c.sep), c.sep);
    ASSERT_EQ(v.has_value(), c.ok) << c.text;
    if (c.ok) {
        EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseNumber,
    testing::Values(ParseCase{"12.5", ',', true, 12.5}, ParseCase{"12,5", '.', true, 12.5},
                    ParseCase{" -3 ", ',', true, -3.0}, ParseCase{"+7", '.', true, 7.0},
                    ParseCase{"1e3", '.', true, 1000.0}, ParseCase{"1.000,5", ',', false, 0},
                    ParseCase{"abc", '.', false, 0}, ParseCase{"", ',', false, 0},
                    ParseCase{"-", ',', false, 0}, ParseCase{"1,", ',', true, 1.0},
                    ParseCase{"nan", '.', false, 0}, ParseCase{"inf", '.', false, 0}));

TEST(ReadNumberField, NamesTheFieldWhenTheTextIsNotANumber) {
    EXPECT_DOUBLE_EQ(readNumberField("1,5", '.', "Глубина"), 1.5);
    try {
        readNumberField("полтора", ',', "Глубина верха трубопровода, м");
        FAIL();
    } catch (const cad::Error& e) {
        EXPECT_NE(std::string(e.what()).find("полтора"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("Глубина верха"), std::string::npos);
    }
}

TEST(FormatNumber, GeneralFormWithTheSeparatorInForce) {
    EXPECT_EQ(formatNumber(100.4, ','), "100,4");
    EXPECT_EQ(formatNumber(100.4, '.'), "100.4");
    EXPECT_EQ(formatNumber(110, ','), "110");
    EXPECT_EQ(formatNumber(-1, ','), "-1");
    EXPECT_EQ(formatNumber(0.1 + 0.2, '.'), "0.3");  // 15 digits hide the binary tail
    EXPECT_EQ(formatNumber(205.57 - 200, '.'), "5.56999999999999");
    EXPECT_EQ(formatNumber(512345.67, ','), "512345,67");
    EXPECT_EQ(formatNumber(1e20, '.'), "1E20");
    EXPECT_EQ(formatNumber(-0.0, '.'), "0");
}

namespace {

// The general form as printf writes it in the C locale: "%.14e" gives the
// exponent after rounding to 15 digits, "%.*f" the digits; trailing zeros go.
std::string printfGeneral(double value) {
    if (value == 0.0) return "0";
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    std::string out;
    if (exponent < -5 || exponent >= 15) {
        out.assign(buf, std::strchr(buf, 'e'));
    } else {
        std::snprintf(buf, sizeof buf, "%.*f", std::max(0, 14 - exponent), value);
        out = buf;
    }
    if (out.find('.') != std::string::npos) {
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
    }
    if (out == "-0") out = "0";
    if (exponent < -5 || exponent >= 15) out += "E" + std::to_string(exponent);
    return out;
}

}  // namespace

TEST(FormatNumber, WritesWhatPrintfWritesInTheCLocale) {
    // Magnitudes across both forms and their borders, and values that round
    // up into the next power of ten at the 15th digit.
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-9, 18);
    std::vector<double> values = {
        999999999999999.9, 99999.99999999999, 9.999999999999999e-6, 1e-5, 1e15, 0.1 + 0.2, 2.675,
        1.0 / 3.0,         205.57 - 200};
    for (int i = 0; i < 20000; ++i) {
        const double v = mantissa(random) * std::pow(10.0, exponent(random));
        values.push_back(i % 2 ? v : -v);
        values.push_back(std::round(v * 100.0) / 100.0);  // table values, to the hundredth
    }
    for (double v : values) {
        ASSERT_EQ(formatNumber(v, '.'), printfGeneral(v)) << std::hexfloat << v;
    }
}

TEST(FourDigitRound, KeepsFourLeadingCharacters) {
    struct Row {
        double x;
        std::int64_t expected;
    };
    const Row rows[] = {
        {123456.7, 123500}, {98765.4, 98770},    {-12345.6, -12300},   {9999.4, 9999},
        {0.5, 0},           {1234.5, 1234},      {1235.5, 1236},       {12345.0, 12340},
        {-999.7, -1000},    {512345.67, 512300}, {6000000.4, 6000000}, {5e9, 5000000000}};
    for (const Row& r : rows) EXPECT_EQ(FourDigitRound(r.x), r.expected) << r.x;
    // Beyond 32 bits the result still keeps its four leading digits.
    EXPECT_EQ(FourDigitRound(98765432109.0), 98770000000);
    EXPECT_EQ(FourDigitRound(512345.66), FourDigitRound(512345.68));
}

TEST(Primitives, LinesGoOnTheSheetLayerAndTextsKeepTheirSettings) {
    cad::Application app;
    cad::ScriptedPrompter prompter;
    testutil::RecordingUi ui;
    Workspace ws(app, prompter, ui);
    EXPECT_THROW(AddLineEntity(ws, 0, 0, 1, 1), cad::Error);  // no sheet drawing yet
    cad::Drawing& d = app.add(std::make_unique<cad::Drawing>());
    ws.sheetDoc = &d;
    cad::EntityRef l = AddLineEntity(ws, 10, 20, 30, 40);
    EXPECT_EQ(l.layer(), "Kernavisto");
    EXPECT_EQ(l.startPoint(), (cad::Point3{10, 20, 0}));
    EXPECT_EQ(l.endPoint(), (cad::Point3{30, 40, 0}));
    cad::EntityRef zero = AddLineEntity(ws, 5, 5, 5, 5);
    EXPECT_DOUBLE_EQ(zero.length(), 0.0);

    cad::EntityRef t = AddTextEntity(ws, "Отметки", 1, 2, M_PI / 2, 0.7, 1250);
    const auto& g = cad::geomAs<cad::TextGeom>(t.entity().geom);
    EXPECT_DOUBLE_EQ(g.height, 1250);
    EXPECT_DOUBLE_EQ(g.widthFactor, 0.7);
    EXPECT_DOUBLE_EQ(g.rotation, 90.0);
    EXPECT_EQ(t.layer(), d.currentLayer());
}

// A number past what the value can be is refused where it is read, naming
// the field and the limit, instead of being drawn as nonsense.
TEST(Primitives, NumberPastTheValuesLimitIsRefused) {
    EXPECT_DOUBLE_EQ(readNumberField("0", '.', "Трубы, мм", kDiameterLimit), 0.0);
    EXPECT_DOUBLE_EQ(readNumberField("2,5", ',', "Глубина", kDepthLimit), 2.5);
    try {
        readNumberField("1e30", '.', "Глубина верха трубопровода, м", kDepthLimit);
        FAIL() << "accepted";
    } catch (const cad::Error& e) {
        std::string what = e.what();
        EXPECT_NE(what.find("«1e30» вне допустимых пределов"), std::string::npos) << what;
        EXPECT_NE(what.find("Глубина верха трубопровода, м"), std::string::npos) << what;
        EXPECT_NE(what.find("от -100 до 100"), std::string::npos) << what;
    }
    EXPECT_THROW(readNumberField("-0.5", '.', "Трубы, мм", kDiameterLimit), cad::Error);
    EXPECT_THROW(readNumberField("151500", '.', "Высота рельефа, м", kReliefLimit), cad::Error);
}
