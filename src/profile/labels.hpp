// Keeping the texts of a table row apart. A row's texts stand one after
// another along it, each in a box of its own; where two boxes would overlap,
// the texts that collide move apart along the row as little as possible and
// only as far as their room allows, and, where the crowd is too dense for its
// room, are made smaller down to a floor. No text is ever dropped, and texts
// that collide with nothing stay exactly where they stood.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

namespace profile::detail {

inline constexpr double kMinTableTextHeight = 750.0;  // 1.5 mm on paper at 1:500

// One text of a row, in the order of the row: where its box starts along the
// row as the layout places it, how wide the box is, and the range the start
// may take.
struct LaneBox {
    double preferred = 0.0;
    double width = 0.0;
    double lo = -std::numeric_limits<double>::infinity();
    double hi = std::numeric_limits<double>::infinity();
};

// The starts of the boxes, in the order given, each within its range and at
// least `gap` after the end of the box before it, moved as little as possible
// (least squares); nothing when the ranges leave no such placement.
std::vector<double> packLane(const std::vector<LaneBox>& boxes, double gap, bool* feasible);

// Which boxes collide at their preferred places: a box that starts less than
// `gap` after the end of an earlier one, and that earlier one.
std::vector<bool> collisions(const std::vector<LaneBox>& boxes, double gap);

// Texts of a set size: only those that collide move, each within its range,
// at least `gap` apart; a crowd that has no such placement between the texts
// beside it takes them in. A row that holds no placement at all keeps the
// order and the gaps and leaves the ranges; then `failed`, when given, is set
// to the first and last text of the crowd that found no room. Returns the starts.
struct LaneRun {
    std::size_t first = 0, last = 0;
};
std::vector<double> placeLane(const std::vector<LaneBox>& boxes, double gap,
                              std::optional<LaneRun>* failed = nullptr);

struct LabelSlot {
    double x = 0.0;       // middle of the text's band
    double height = 0.0;  // its text height
};

// Upright texts, each in a band as wide as its height centred on its point.
// One slot per centre, in the order given. Only texts whose bands overlap
// move; texts of one crowd share their size: the largest of height,
// 0.8 height, ... down to the floor that keeps every text of the crowd within
// one text height of its point, between the texts that stay. A crowd that
// does not fit even so takes its neighbours in; at the floor a crowd with no
// neighbour left to take keeps its band middles within [low, high]; a row
// that cannot keep them there even so keeps the order and the floor size
// only, and then `overflow`, when given, is set.
std::vector<LabelSlot> spreadLabels(const std::vector<double>& centres, double height,
                                    double floor = kMinTableTextHeight,
                                    double low = -std::numeric_limits<double>::infinity(),
                                    double high = std::numeric_limits<double>::infinity(),
                                    bool* overflow = nullptr);

// The groups of a row too short for its texts: runs of consecutive texts
// (in the order along the row) whose points stand closer than `spacing`,
// as ranges [first, last] of that order.
std::vector<LaneRun> closeRuns(const std::vector<double>& along, double spacing);
// The run of more than one text not noted yet that holds the most texts
// (the first of equal ones); runs.size() when there is none.
std::size_t largestOpenRun(const std::vector<LaneRun>& runs, const std::vector<bool>& noted);

// The texts of a row as spreadLabels places them where the row holds them.
// Where it does not, the largest group of texts standing closer than the
// floor size (closeRuns) leaves the row for a note, and one reference takes
// its place on the group's middle; then the next largest, until the row
// holds its texts and the references.
struct RowLabels {
    std::vector<LabelSlot> slots;       // per text as given; meaningless for a noted one
    std::vector<int> group;             // per text as given: -1 in the row, else its group
    std::vector<LabelSlot> references;  // per group, in the order along the row
    std::vector<std::vector<std::size_t>> members;  // per group: its texts along the row
};
RowLabels fitLabels(const std::vector<double>& centres, double height,
                    double floor = kMinTableTextHeight,
                    double low = -std::numeric_limits<double>::infinity(),
                    double high = std::numeric_limits<double>::infinity());

}  // namespace profile::detail
