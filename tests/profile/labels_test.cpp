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

// A text near a colliding pair but clear of both where they stand keeps its
// place and its size; the pair makes room on its other side.
TEST(SpreadLabels, OnlyTheCollidingTextsMove) {
    const auto slots = spreadLabels({10000.0, 10500.0, 11800.0, 30000.0}, 1250.0);
    EXPECT_EQ(slots[2].x, 11800.0);
    EXPECT_EQ(slots[2].height, 1250.0);
    EXPECT_EQ(slots[0].height, 1250.0);
    EXPECT_LE(slots[1].x + 625.0, 11800.0 - 625.0 + 1e-6);
    EXPECT_LE(slots[0].x + 625.0, slots[1].x - 625.0 + 1e-6);
    EXPECT_NEAR(slots[1].x, 10550.0, 1e-6);  // as far right as the fixed text allows
    EXPECT_EQ(slots[3].x, 30000.0);
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

namespace {

// The box of a text of the slope row along the row: a level text from its
// insertion point on, an upright one (glyphs left of its insertion point)
// one height wide; 0.8 of the height a character at width factor 1.
struct RowBox {
    double left, right, bottom, top;
    std::string text;
};

RowBox boxOf(const profile_test::DrawnText& t) {
    const double length = 0.8 * t.height * t.widthFactor * static_cast<double>(t.text.size());
    if (t.rotationDeg == 0.0) return {t.at.x, t.at.x + length, t.at.y, t.at.y + t.height, t.text};
    return {t.at.x - t.height, t.at.x, t.at.y, t.at.y + length, t.text};
}

}  // namespace

class SlopeRowTexts : public profile_test::ProfileFixture {
  protected:
    // The texts of the slope row, lower half (lengths) or upper half
    // (slopes), in the order along the row.
    std::vector<RowBox> lane(bool lower) const {
        std::vector<RowBox> out;
        for (const auto& t : texts()) {
            RowBox b = boxOf(t);
            if (b.bottom < 37500 || b.top > 42500) continue;
            if ((b.top <= 40000) == lower) out.push_back(b);
        }
        std::sort(out.begin(), out.end(),
                  [](const RowBox& a, const RowBox& b) { return a.left < b.left; });
        return out;
    }
    void expectApart(const std::vector<RowBox>& boxes) const {
        for (std::size_t k = 1; k < boxes.size(); ++k) {
            EXPECT_GE(boxes[k].left, boxes[k - 1].right + 1e-6)
                << boxes[k - 1].text << " | " << boxes[k].text;
        }
    }
};

// A level cell of 2.23 m: its length, made smaller to fit, stands in the
// cell and not from the cell's middle on into the next.
TEST_F(SlopeRowTexts, AThinnedLengthStaysInsideItsCell) {
    addPoint(0, 0, 100.0, 1.0);
    addPoint(33334, 0, 100.0, 1.0);
    addPoint(35564, 0, 100.0, 1.0);  // the cell x 88334 .. 90564
    addPoint(60000, 0, 101.0, 1.0);
    profile::build(ws);
    const auto lower = lane(true);
    ASSERT_EQ(lower.size(), 3u);
    EXPECT_EQ(lower[1].text, "2,23");
    EXPECT_LT(lower[1].right - lower[1].left, 2230.0);
    EXPECT_GE(lower[1].left, 88334.0 - 1e-6);
    EXPECT_LE(lower[1].right, 90564.0 + 1e-6);
}

// A rising cell ends its length at its right end and the falling cell after
// it starts its own there: the two move apart, each within its cell; texts
// that meet nothing keep the places the layout gives them.
TEST_F(SlopeRowTexts, NeighboursThatWouldMeetMoveApartWithinTheirCells) {
    ws.decimalSeparator = '.';
    addPoint(0, 0, 99.0, 1.0);
    addPoint(27900, 0, 99.5, 1.0);  // rising over 27.9 m
    addPoint(30800, 0, 99.0, 1.0);  // falling over 2.9 m
    profile::build(ws);
    const auto lower = lane(true);
    ASSERT_EQ(lower.size(), 2u);
    EXPECT_EQ(lower[0].text, "27.9");
    EXPECT_EQ(lower[1].text, "2.9");
    EXPECT_GE(lower[1].left - lower[0].right, 250.0 - 1e-6);
    EXPECT_LE(lower[0].right, 82900.0);
    EXPECT_GE(lower[1].left, 82900.0);
    EXPECT_LE(lower[1].right, 85800.0);
    // The slopes stand in the other corners, apart from everything.
    const auto upper = lane(false);
    ASSERT_EQ(upper.size(), 2u);
    EXPECT_EQ(upper[0].left, 55000.0);
    EXPECT_DOUBLE_EQ(upper[1].right, 85800.0);
    EXPECT_EQ(lower[0].bottom, 37950.0);
    EXPECT_EQ(upper[0].bottom, 41200.0);
}

// Joints a few centimetres apart: cells of 0.02 to 0.06 m side by side. Their
// values are written across the row beside each other, in the order of the
// cells; none is dropped, none meets another or leaves the row.
TEST_F(SlopeRowTexts, CellsTooShortForAnyTextWriteItAcrossTheRow) {
    const double xs[] = {0, 20000, 20020, 20050, 20090, 20150, 20170, 40000};
    for (std::size_t k = 0; k < std::size(xs); ++k) {
        addPoint(xs[k], 0, 100.0 + 0.01 * static_cast<double>(k % 3), 1.0);
    }
    profile::build(ws);
    for (bool lower : {true, false}) {
        const auto boxes = lane(lower);
        ASSERT_EQ(boxes.size(), std::size(xs) - 1) << lower;
        expectApart(boxes);
        for (const RowBox& b : boxes) {
            EXPECT_GE(b.left, 55000.0 - 1e-6) << b.text;
            EXPECT_GE(b.bottom, lower ? 37500.0 : 40000.0) << b.text;
            EXPECT_LE(b.top, lower ? 40000.0 : 42500.0) << b.text;
        }
    }
    const auto lower = lane(true);
    EXPECT_EQ(lower[1].text, "0,02");
    EXPECT_EQ(lower[4].text, "0,06");
    // The long cells around the short ones keep their texts in their corners.
    EXPECT_LE(lower.front().right, 75000.0);
    EXPECT_GE(lower.back().left, 75170.0);
}
