// The rules' arithmetic on a built picket: where each rule's boundary lies,
// which shell of the new pipe is measured, and which rule a crossing's kind
// takes.
#include "checks/checks.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using model::CrossKind;
using model::Rule;

// A built picket of straight pipe: each point at `along` metres, ground at
// `relief`, pipe top `depth` below it.
struct Built {
    model::Piket piket;
    std::vector<std::optional<CrossKind>> layers;

    Built& point(double along, double relief, double depth, double pipe = 110.0,
                 double casing = 0.0) {
        model::PointRow row{};
        row[model::kRelief] = relief;
        row[model::kDepth] = depth;
        row[model::kPipe] = pipe;
        row[model::kCasing] = casing;
        row[model::kChainage] = along * 1000.0;  // the build's chainages are in mm
        piket.points.push_back(model::pointOf(row));
        piket.pointObjects.emplace_back();
        piket.built.push_back(row);
        layers.emplace_back();
        return *this;
    }
    Built& crossing(std::size_t k, double top, std::optional<double> diameter,
                    std::optional<CrossKind> kind) {
        model::Crossed c;
        c.top = model::CrossedValue{top};
        if (diameter) c.diameter = model::CrossedValue{*diameter};
        c.kind = kind;
        model::setCrossed(piket, k, c);
        return *this;
    }
    std::vector<checks::Finding> run(const model::CheckRules& rules) const {
        return checks::check(rules, piket, layers, ',');
    }
};

// Only the clearance rules in force, so that cover and slope say nothing.
model::CheckRules clearanceOnly(model::PipeKind pipe = model::PipeKind::Water) {
    model::CheckRules r;
    r.pipe = pipe;
    for (Rule rule : {Rule::Cover, Rule::CoverMax, Rule::Frost, Rule::Slope}) {
        r[rule].state = model::RuleSetting::State::Off;
    }
    return r;
}

TEST(Clearance, BoundaryIsMetAndCasingIsTheOuterShell) {
    // Ground 150.30, top 1.20 down: pipe top 149.10, bottom 148.99 (110 mm).
    Built b;
    b.point(0, 150.3, 1.2).point(50, 150.3, 1.2).point(100, 150.3, 1.2, 110, 250);
    b.crossing(0, 148.79, 100, CrossKind::Water);  // exactly 0.20 in the clear
    b.crossing(1, 148.80, 100, CrossKind::Water);  // 0.19
    // Under a 250 mm casing (bottom 148.85) 0.21 below the pipe is 0.07 below the casing.
    b.crossing(2, 148.78, 100, CrossKind::Water);
    const auto f = b.run(clearanceOnly());
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].point, 2);
    EXPECT_EQ(f[0].rule, "clearance");
    EXPECT_DOUBLE_EQ(f[0].required, 0.2);
    EXPECT_DOUBLE_EQ(f[0].actual, 0.19);
    EXPECT_EQ(f[0].text, "Точка 2: до водопровода 0,19 м по вертикали, нужно не менее 0,20 м");
    EXPECT_EQ(f[1].point, 3);
    EXPECT_DOUBLE_EQ(f[1].actual, 0.07);
}

TEST(Clearance, AboveThePipeMeasuresFromTheUtilitysBottom) {
    Built b;
    b.point(0, 150.3, 1.2).point(50, 150.3, 1.2).point(100, 150.3, 1.2);
    // Pipe top 149.10; a 300 mm pipe with its top at 149.55 has its bottom 0.15 above.
    b.crossing(0, 149.55, 300, CrossKind::Gas);
    // Without a diameter the utility is its top line: 0.25 above.
    b.crossing(1, 149.35, std::nullopt, CrossKind::Heating);
    // A clash: the crossed section overlaps the pipe's.
    b.crossing(2, 149.15, 200, CrossKind::Other);
    const auto f = b.run(clearanceOnly());
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].point, 1);
    EXPECT_DOUBLE_EQ(f[0].actual, 0.15);
    EXPECT_EQ(f[0].text, "Точка 1: до газопровода 0,15 м по вертикали, нужно не менее 0,20 м");
    EXPECT_EQ(f[1].point, 3);
    EXPECT_LT(f[1].actual, 0.0);
    EXPECT_EQ(f[1].text,
              "Точка 3: труба заходит на сечение пересекаемой сети на 0,15 м, нужно не менее "
              "0,20 м");
}

TEST(Clearance, WaterMainLiesAboveTheSewer) {
    Built b;
    b.point(0, 150.3, 1.2).point(50, 150.3, 1.2).point(100, 150.3, 1.2);
    b.crossing(0, 148.59, 200, CrossKind::Sewer);  // 0.40 below the bottom: enough
    b.crossing(1, 148.69, 200, CrossKind::Sewer);  // 0.30 below: the pipe-to-pipe 0.2 would pass
    b.crossing(2, 149.80, 200, CrossKind::Sewer);  // the sewer above the water main
    auto f = b.run(clearanceOnly());
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].point, 2);
    EXPECT_DOUBLE_EQ(f[0].required, 0.4);
    EXPECT_DOUBLE_EQ(f[0].actual, 0.3);
    EXPECT_EQ(f[0].text,
              "Точка 2: труба выше канализации на 0,30 м в свету, нужно выше не менее чем на "
              "0,40 м");
    EXPECT_EQ(f[1].point, 3);
    EXPECT_DOUBLE_EQ(f[1].actual, -0.81);  // the water main's bottom below the sewer's top

    // A heating main keeps only the pipe-to-pipe distance; so does a water
    // main with the sewer rule off (the sewer above it is 0.5 clear).
    EXPECT_TRUE(b.run(clearanceOnly(model::PipeKind::Heating)).empty());
    model::CheckRules noSewer = clearanceOnly();
    noSewer[Rule::SewerBelow].state = model::RuleSetting::State::Off;
    EXPECT_TRUE(b.run(noSewer).empty());
}

TEST(Clearance, KindFromThePointOverTheLayerAndRuleByKind) {
    Built b;
    b.point(0, 150.3, 1.2).point(50, 150.3, 1.2).point(100, 150.3, 1.2);
    // 0.30 below the bottom at every point: enough for pipes, not for cables.
    for (std::size_t k = 0; k < 3; ++k) b.crossing(k, 148.69, 50, std::nullopt);
    b.layers[0] = CrossKind::PowerCable;
    b.layers[1] = CrossKind::CommCable;
    b.layers[2] = CrossKind::PowerCable;
    b.crossing(2, 148.69, 50, CrossKind::Water);  // set on the point: a pipe after all
    auto f = b.run(clearanceOnly());
    ASSERT_EQ(f.size(), 2u);
    EXPECT_DOUBLE_EQ(f[0].required, 0.5);
    EXPECT_EQ(f[0].text, "Точка 1: до силового кабеля 0,30 м по вертикали, нужно не менее 0,50 м");
    EXPECT_EQ(f[1].point, 2);
    EXPECT_NE(f[1].text.find("кабеля связи"), std::string::npos);

    model::CheckRules r = clearanceOnly();
    r[Rule::PowerCable] = {model::RuleSetting::State::Set, 0.3};
    r[Rule::CommCable].state = model::RuleSetting::State::Off;
    EXPECT_TRUE(b.run(r).empty());
}

TEST(CoverAndDepth, LeastAndGreatestCoverAndTheBottomBelowFrost) {
    Built b;
    b.point(0, 150.0, 0.5).point(50, 150.0, 0.7).point(100, 150.0, 3.1, 200, 500);
    model::CheckRules r;
    r[Rule::Slope].state = model::RuleSetting::State::Off;
    r[Rule::Cover] = {model::RuleSetting::State::Set, 0.7};
    r[Rule::CoverMax] = {model::RuleSetting::State::Set, 3.0};
    r[Rule::Frost] = {model::RuleSetting::State::Set, 1.4};
    auto f = b.run(r);
    // Point 1: cover 0.5 < 0.7, bottom 0.61 < 1.9; point 2: bottom 0.81 < 1.9;
    // point 3: cover 3.1 > 3.0, its bottom under the casing 3.6 deep.
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0].rule, "cover");
    EXPECT_EQ(f[0].text, "Точка 1: глубина верха трубы 0,50 м, нужно не менее 0,70 м");
    EXPECT_EQ(f[1].rule, "depth");
    EXPECT_DOUBLE_EQ(f[1].required, 1.9);
    EXPECT_DOUBLE_EQ(f[1].actual, 0.61);
    EXPECT_EQ(f[1].text,
              "Точка 1: низ трубы на глубине 0,61 м, нужно не менее 1,90 м (промерзание 1,40 м "
              "и ещё 0,50 м)");
    EXPECT_EQ(f[2].point, 2);
    EXPECT_EQ(f[2].rule, "depth");
    EXPECT_EQ(f[3].point, 3);
    EXPECT_EQ(f[3].text, "Точка 3: глубина верха трубы 3,10 м, нужно не более 3,00 м");

    // The allowance off: the bottom need only reach the frost depth.
    r[Rule::FrostAllowance].state = model::RuleSetting::State::Off;
    r[Rule::Frost] = {model::RuleSetting::State::Set, 0.81};
    f = b.run(r);
    ASSERT_EQ(f.size(), 3u);  // point 2's bottom lies exactly at 0.81
    EXPECT_EQ(f[1].point, 1);
    EXPECT_EQ(f[2].point, 3);

    // A shortfall below the shown hundredths is written with the digits that
    // show it; one under half a millimetre is none.
    Built shallow;
    shallow.point(0, 150.0, 1.999, 300).point(50, 150.0, 1.9996, 300);
    model::CheckRules frost;
    frost[Rule::Frost] = {model::RuleSetting::State::Set, 1.8};
    f = shallow.run(frost);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].text,
              "Точка 1: низ трубы на глубине 2,299 м, нужно не менее 2,300 м (промерзание "
              "1,80 м и ещё 0,50 м)");
}

TEST(Slope, FlatAndTooFlatStretchesButNotOnePlace) {
    Built b;
    // Pipe tops 149.0, 149.0 (flat), 148.9 over 50 m (0.002), 148.89 over
    // 50 m (0.0002), and a point at the same chainage.
    b.point(0, 150.0, 1.0).point(50, 150.0, 1.0).point(100, 150.0, 1.1).point(150, 150.0, 1.11);
    b.point(150, 150.5, 1.61);
    model::CheckRules r;
    r.pipe = model::PipeKind::Heating;
    r[Rule::Cover].state = model::RuleSetting::State::Off;
    auto f = b.run(r);  // a heating main drains: 0.002 by default
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].rule, "slope");
    EXPECT_EQ(f[0].point, 1);
    EXPECT_DOUBLE_EQ(f[0].actual, 0.0);
    EXPECT_EQ(f[0].text, "Точки 1–2: уклон трубы 0,0000, нужно не менее 0,0020");
    EXPECT_EQ(f[1].point, 3);
    EXPECT_DOUBLE_EQ(f[1].actual, 0.0002);
    // A water main by default: no slope rule.
    r.pipe = model::PipeKind::Water;
    EXPECT_TRUE(b.run(r).empty());
}

TEST(Check, NothingBeforeABuildOfTheCurrentPoints) {
    Built b;
    b.point(0, 150.0, 0.1).point(50, 150.0, 0.1);
    EXPECT_EQ(b.run(model::CheckRules{}).size(), 2u);  // cover 0.1 < 0.5 at both
    b.piket.built.clear();
    EXPECT_TRUE(b.run(model::CheckRules{}).empty());
}

}  // namespace
