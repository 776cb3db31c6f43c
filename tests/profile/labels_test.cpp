// Table texts of close points: spread apart without overlapping, made
// smaller only down to the floor, none dropped, untouched where nothing
// collides; and a profile of points 1 m apart.
#include <algorithm>

#include "fixture.hpp"
#include "profile/labels.hpp"

namespace {

using profile::detail::LabelSlot;
using profile::detail::spreadLabels;

// Bands [x - h/2, x + h/2] taken in order of x never overlap.
void expectApart(std::vector<LabelSlot> slots) {
    std::sort(slots.begin(), slots.end(),
              [](const LabelSlot& a, const LabelSlot& b) { return a.x < b.x; });
    for (std::size_t k = 1; k < slots.size(); ++k) {
        EXPECT_GE(slots[k].x - slots[k].height / 2 + 1e-6, slots[k - 1].x + slots[k - 1].height / 2)
            << k;
    }
}

TEST(SpreadLabels, TextsThatFitStayExactlyWhereTheyStand) {
    const std::vector<double> xs = {55000.0, 56250.0, 70000.1, 60000.0};
    const auto slots = spreadLabels(xs, 1250.0);
    ASSERT_EQ(slots.size(), xs.size());
    for (std::size_t k = 0; k < xs.size(); ++k) {
        EXPECT_EQ(slots[k].x, xs[k]);
        EXPECT_EQ(slots[k].height, 1250.0);
    }
}

TEST(SpreadLabels, TwoCloseTextsMoveApartEvenly) {
    const auto slots = spreadLabels({10000.0, 10500.0, 30000.0}, 1250.0);
    EXPECT_DOUBLE_EQ(slots[0].x, 9625.0);
    EXPECT_DOUBLE_EQ(slots[1].x, 10875.0);
    EXPECT_EQ(slots[2].x, 30000.0);
    EXPECT_EQ(slots[0].height, 1250.0);
}

TEST(SpreadLabels, ACrowdGetsSmallerDownToTheFloorButKeepsEveryText) {
    std::vector<double> xs;
    for (int i = 0; i < 40; ++i) xs.push_back(55000.0 + 1000.0 * i);  // 1 m apart
    xs.push_back(55000.0 + 1000.0 * 20);                              // and one twice
    const auto slots = spreadLabels(xs, 1250.0, 750.0);
    ASSERT_EQ(slots.size(), xs.size());
    expectApart(slots);
    for (std::size_t k = 0; k < xs.size(); ++k) {
        EXPECT_GE(slots[k].height, 750.0);
        EXPECT_LT(slots[k].height, 1250.0);
        EXPECT_LE(std::fabs(slots[k].x - xs[k]), 40 * 250.0) << k;
    }
    // The order along the row is the order of the points.
    for (std::size_t k = 1; k < 40; ++k) EXPECT_LT(slots[k - 1].x, slots[k].x);
}

class CloseLabels : public profile_test::ProfileFixture {};

TEST_F(CloseLabels, PointsOneMetreApartKeepEveryTextInItsOwnBand) {
    for (int i = 0; i < 12; ++i) addPoint(1000.0 * i, 0, 100.0 + 0.37 * i, 1.2);
    profile::build(ws);
    for (double y : {72900.0, 67900.0, 62900.0, 57900.0, 32950.0}) {
        const auto row = textsAtY(y);
        ASSERT_EQ(row.size(), 12u) << y;
        std::vector<LabelSlot> bands;
        // An upright text's glyphs lie left of its insertion point, one height wide.
        for (const auto& t : row) bands.push_back({t.at.x - t.height / 2, t.height});
        expectApart(bands);
    }
    // Slope lengths of 1 m cells: small enough to stay in the cell, never below the floor.
    for (const auto& t : textsAtY(37950)) {
        EXPECT_GE(t.height, profile::detail::kMinTableTextHeight);
        EXPECT_LE(0.56 * t.height * static_cast<double>(t.text.size()), 1000.0 + 1e-6) << t.text;
    }
}

}  // namespace
