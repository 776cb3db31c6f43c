// What a run computes into the picket: chainages, interpolated heights and
// depths, and the datum level.
#include "fixture.hpp"

using namespace profile_test;

namespace {

class Values : public ProfileFixture {};

TEST_F(Values, ChainagesFollowThePointsAndSetThePicketLength) {
    addPoint(0, 0, 100);
    addPoint(3000, 4000, 100);  // 5000 from the first
    addPoint(9000, 12000, 100);
    ws.piketLength = 123;  // what taking into work measured
    profile::build(ws);
    EXPECT_EQ(value(0, model::kChainage), 0.0);
    EXPECT_EQ(value(1, model::kChainage), 5000.0);
    EXPECT_EQ(value(2, model::kChainage), 15000.0);
    EXPECT_EQ(ws.piketLength, 15000.0);
    EXPECT_TRUE(ws.profileBuilt);
}

TEST_F(Values, MissingHeightsAreInterpolatedAlongTheChainage) {
    addPoint(0, 0, 100.4, 1.0);
    addPoint(10000, 0, -1, -1);
    addPoint(20000, 0, -1, -1);
    addPoint(30000, 0, 103.4, 1.6);
    profile::build(ws);
    EXPECT_DOUBLE_EQ(value(1, model::kRelief), 101.4);
    EXPECT_DOUBLE_EQ(value(2, model::kRelief), 102.4);
    EXPECT_DOUBLE_EQ(value(1, model::kDepth), 1.2);
    EXPECT_DOUBLE_EQ(value(2, model::kDepth), 1.4);
}

// The run computes on a copy: what was typed stays typed ("Авто" stays
// automatic), so that a height changed after a build is interpolated anew.
TEST_F(Values, TypedValuesStayTypedAndARebuildInterpolatesAnew) {
    addPoint(0, 0, 100.4, 1.0);
    addPoint(10000, 0, -1, -1);
    addPoint(20000, 0, -1, -1);
    addPoint(30000, 0, 103.4, 1.6);
    profile::build(ws);
    EXPECT_EQ(model::rowOf(piket().points[1])[model::kRelief], model::kAuto);
    EXPECT_EQ(model::rowOf(piket().points[2])[model::kDepth], model::kAuto);
    EXPECT_EQ(model::rowOf(piket().points[3])[model::kChainage], 0.0);
    piket().points[3].relief = model::Relief::typed(106.4);
    profile::build(ws);
    EXPECT_DOUBLE_EQ(value(1, model::kRelief), 102.4);
    EXPECT_DOUBLE_EQ(value(2, model::kRelief), 104.4);
}

TEST_F(Values, TwoPointsAreNeverInterpolated) {
    addPoint(0, 0, 100.0, -1);
    addPoint(1000, 0, -1, 1.0);
    profile::build(ws);
    EXPECT_EQ(value(1, model::kRelief), -1.0);
    EXPECT_EQ(value(0, model::kDepth), -1.0);
}

TEST_F(Values, KnownValuesAtOneChainageGiveThePointsBetweenTheEarlierValue) {
    addPoint(0, 0, 100.0);
    addPoint(5000, 0, 100.0);
    addPoint(5000, 0, -1);
    addPoint(5000, 0, 102.0);
    addPoint(6000, 0, 104.0);
    profile::build(ws);
    ASSERT_TRUE(std::isfinite(value(2, model::kRelief)));
    EXPECT_EQ(value(2, model::kRelief), 100.0);
    EXPECT_TRUE(ui.messages.empty());
}

// Ground below sea level is real ground: a height of -1 m or -2 m picked or
// read from the survey is a height, neither "Авто" nor "as the previous point".
TEST_F(Values, HeightsOfMinusOneAndMinusTwoMetresAreKeptAsHeights) {
    addPoint(0, 0, 1.0);
    addPoint(10000, 0, 1.0);
    addPoint(20000, 0, 1.0);
    addPoint(30000, 0, 0.5);
    piket().points[1].relief = model::Relief::typed(-1.0);
    piket().points[2].relief = model::Relief::typed(-2.0);
    profile::build(ws);
    EXPECT_EQ(value(1, model::kRelief), -1.0);
    EXPECT_EQ(value(2, model::kRelief), -2.0);
    EXPECT_EQ(ws.horizonLevel, -7.0);
    ASSERT_TRUE(piket().points[1].relief.isTyped());
    EXPECT_EQ(piket().points[2].relief.height(), -2.0);
}

struct DatumCase {
    std::vector<double> heights;
    double datum;
};

void PrintTo(const DatumCase& c, std::ostream* os) {
    *os << "lowest height -> datum " << c.datum;
}

class Datum : public ProfileFixture, public testing::WithParamInterface<DatumCase> {};

TEST_P(Datum, IsTheLowestKnownHeightLessFiveTruncated) {
    double x = 0;
    for (double h : GetParam().heights) {
        addPoint(x, 0, h);
        x += 1000;
    }
    profile::build(ws);
    EXPECT_EQ(ws.horizonLevel, GetParam().datum);
}

INSTANTIATE_TEST_SUITE_P(Table, Datum,
                         testing::Values(DatumCase{{100.4, 101.2}, 95.0},
                                         DatumCase{{-3.2, 4.0}, -8.0},
                                         // an interpolated height counts too
                                         DatumCase{{100.0, -1.0, 98.3}, 93.0},
                                         DatumCase{{12.9, -1.0, 11.0, 13.0}, 6.0}));

}  // namespace
