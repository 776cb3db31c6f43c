// The distance, slope and picket rows of the profile table.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "cad/check.hpp"
#include "model/primitives.hpp"
#include "model/value_checks.hpp"
#include "profile/labels.hpp"
#include "profile/steps.hpp"

namespace profile::detail {

namespace {

// Drawing units (mm) to metres, to the centimetre.
double toMetres(double units) {
    return model::roundHalfEven(units / 10.0) / 100.0;
}

double sign(double v) {
    return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0);
}

constexpr double kDistanceTextY = sheet::kDistanceRow.bottom + 450;
constexpr double kPiketTextY = sheet::kPiketRow.bottom + 450;

constexpr double kCharWidth = 700.0;  // estimated width of one character of a table text

double widthOf(const std::string& text) {
    return kCharWidth * static_cast<double>(text.size());  // table texts are ASCII
}

// The estimate for a text made smaller than the table's.
double widthOf(const std::string& text, double height) {
    return height == kTextHeight ? widthOf(text) : widthOf(text) * height / kTextHeight;
}

void piketTicks(Run& run, double x) {
    run.line(x, sheet::kPiketRow.top, x, sheet::kPiketRow.top - kTick);
    run.line(x, sheet::kPiketRow.bottom, x, sheet::kPiketRow.bottom + kTick);
}

}  // namespace

void drawDistanceRow(Run& run) {
    auto ticks = [&run](double x) {
        run.line(x, sheet::kDistanceRow.top, x, sheet::kDistanceRow.top - kTick);
        run.line(x, sheet::kDistanceRow.bottom, x, sheet::kDistanceRow.bottom + kTick);
    };
    std::vector<double> xs;
    for (int i = 0; i < run.count(); ++i) xs.push_back(run.x(i));
    const std::vector<LabelSlot> slots =
        spreadLabels(xs, kTextHeight, kMinTableTextHeight, run.x(0), run.x(run.count() - 1));
    const double x0 = run.x(0);
    ticks(x0);
    // A sheet that goes on from the one above has the distance to its first
    // point there.
    if (!run.continues) {
        run.text("0", slots[0].x + slots[0].height / 2, kDistanceTextY, kUpright, slots[0].height);
    }
    for (int i = 0; i + 1 < run.count(); ++i) {
        const double x = run.x(i + 1);
        const LabelSlot& slot = slots[static_cast<std::size_t>(i + 1)];
        ticks(x);
        run.text(run.tableNumber(toMetres(run.chainage(i + 1) - run.chainage(i))),
                 slot.x + slot.height / 2, kDistanceTextY, kUpright, slot.height);
    }
}

namespace {

// The texts of the slope row stand in two lanes, the lengths in the lower
// half of the row and the slopes in the upper, each in the corner of its cell
// that the diagonal leaves free. Neighbouring texts keep this much apart.
constexpr double kLaneGap = 250.0;  // 0.5 mm on paper at 1:500
constexpr double kLaneMargin = 200.0;

// Where a lane's texts may stand: along the row, texts written across it
// stay within the table, from the sheet's first point to its last; `room` is
// the lane's height, which an upright text must not outgrow.
struct Lane {
    double tableLo;
    double tableHi;
    double room;
};

// One text of a lane: its cell, and where and how it is written.
struct LaneText {
    std::string text;
    double a = 0.0, b = 0.0;  // its cell along the row
    double height = kTextHeight;
    bool upright = false;  // written across the row: the cell is too short for it
    LaneBox box;           // along the row
};

// Written across the row, reading upwards, at the floor size (smaller only
// where the lane is not high enough for so many characters), its band on
// the cell's middle; it moves along the row to where there is room.
void writeAcross(LaneText& t, const Lane& lane) {
    t.upright = true;
    t.height = std::min(kMinTableTextHeight, kTextHeight * lane.room / widthOf(t.text));
    const double band = t.height;
    t.box = {(t.a + t.b) / 2 - band / 2, band, lane.tableLo,
             std::max(lane.tableLo, lane.tableHi - band)};
}

// A length or slope text of the cell [a, b] as the layout places it: at
// `place` for a text of width `width` (which depends on the size it gets).
// A text longer than its cell is made smaller to stay in it, and no smaller
// than the floor; placed where the layout says, as far as it stays in the
// cell. A cell too short for the text at the floor size has it written
// across the row.
template <typename Place>
LaneText laneText(std::string text, double a, double b, const Lane& lane, Place place) {
    LaneText t;
    t.text = std::move(text);
    t.a = a;
    t.b = b;
    const double cell = b - a;
    const double full = widthOf(t.text);
    if (full + kLaneGap <= cell) {
        // The layout measures the cell by its length to the centimetre,
        // which may reach up to 5 units past its boundary.
        t.box = {std::clamp(place(full), a, b - full), full, a, b - full};
        return t;
    }
    const double height = kTextHeight * (cell - kLaneGap) / full;
    if (height >= kMinTableTextHeight) {
        const double width = widthOf(t.text, height);
        t.height = height;
        t.box = {std::clamp(place(width), a, b - width), width, a, b - width};
        return t;
    }
    writeAcross(t, lane);
    return t;
}

// Places the lane's texts apart and draws nothing; returns the boxes' starts.
// Texts written across the row take their room from the cells beside them;
// where a crowd of them finds none, the texts of the crowd that still stand
// in their cells are written across the row as well, and then, while it
// does not fit, the nearest such text on either side.
std::vector<double> placeTexts(std::vector<LaneText>& texts, const Lane& lane) {
    for (;;) {
        std::vector<LaneBox> boxes;
        boxes.reserve(texts.size());
        for (const LaneText& t : texts) boxes.push_back(t.box);
        std::optional<LaneRun> failed;
        std::vector<double> starts = placeLane(boxes, kLaneGap, &failed);
        if (!failed) return starts;
        bool turned = false;
        for (std::size_t k = failed->first; k <= failed->last; ++k) {
            if (!texts[k].upright) {
                writeAcross(texts[k], lane);
                turned = true;
            }
        }
        if (turned) continue;
        for (std::size_t k = failed->first; k-- > 0;) {
            if (!texts[k].upright) {
                writeAcross(texts[k], lane);
                turned = true;
                break;
            }
        }
        for (std::size_t k = failed->last + 1; k < texts.size(); ++k) {
            if (!texts[k].upright) {
                writeAcross(texts[k], lane);
                turned = true;
                break;
            }
        }
        if (!turned) return starts;  // the row is too short for its texts
    }
}

void writeLaneText(Run& run, const LaneText& t, double start, double baseline, double uprightBase) {
    if (t.upright) {
        // The glyphs of an upright text lie left of its insertion point.
        run.text(t.text, start + t.height, uprightBase, kUpright, t.height);
    } else {
        run.text(t.text, start, baseline, 0.0, t.height);
    }
}

}  // namespace

void drawSlopeRow(Run& run) {
    using sheet::kSlopeRow;
    // A cell's diagonal rises or falls across the row through its middle; its
    // texts centre on the cell, whose length is in metres.
    constexpr double mid = kSlopeRow.middle();
    constexpr double halfRow = (kSlopeRow.top - kSlopeRow.bottom) / 2.0;
    const double halfMetre = sheet::kUnitsPerMetreAlong / 2.0 * run.along;
    constexpr double lengthBase = kSlopeRow.bottom + 450;
    constexpr double slopeBase = mid + 1200;
    constexpr double lowerLane = kSlopeRow.bottom + kLaneMargin;
    constexpr double upperLane = mid + kLaneMargin;
    constexpr double laneRoom = halfRow - 2 * kLaneMargin;
    // Texts written across the row stay within the table: from the sheet's
    // first point to its last, or to the frame where the picket is shorter.
    const Lane lane{run.x(0), run.x(run.count() - 1), laneRoom};

    struct Cell {
        int point;        // the break point that ends it
        double from;      // chainage of the break point before
        double len;       // metres
        double slope;     // thousandths
        int length = -1;  // its texts in the lanes, -1 for none
        int slopeText = -1;
    };
    std::vector<Cell> cells;
    std::vector<LaneText> lengths, slopes;
    const model::PointRow& p0 = run.point(0);
    double hb = p0[model::kRelief] - p0[model::kDepth];
    double cb = run.chainage(0);
    for (int i = 1; i < run.count(); ++i) {
        const model::PointRow& p = run.point(i);
        // Inside the cell that spans it; so is a ground point from the survey,
        // where the pipe keeps its course.
        if (p[model::kDepth] == model::kAuto || p[model::kPointKind] == model::kGroundPoint) {
            continue;
        }
        const double h = p[model::kRelief] - p[model::kDepth];
        Cell cell{i, cb, toMetres(run.chainage(i) - cb), 0.0};
        // Break points 5 units apart or less make a cell of no length: it keeps
        // its boundary but has no slope to show.
        if (cell.len != 0.0) {
            cell.slope = (h - hb) * 1000.0 / cell.len;
            const double s = sign(cell.slope);
            const double a = run.xAt(cb);
            const double b = run.x(i);
            const double half = halfMetre * cell.len;
            // A rising cell has its length at the right end of the lower half
            // and its slope at the left end of the upper, a falling one the
            // other way round, a level one both from the middle on.
            cell.length = static_cast<int>(lengths.size());
            lengths.push_back(laneText(run.tableNumber(cell.len), a, b, lane, [&](double w) {
                return a + half + half * s - (s > 0.0 ? w : 0.0);
            }));
            cell.slopeText = static_cast<int>(slopes.size());
            slopes.push_back(laneText(
                run.tableNumber(model::roundHalfEven(std::fabs(cell.slope) * 10.0) / 10.0), a, b,
                lane, [&](double w) { return a + half - half * s - (s < 0.0 ? w : 0.0); }));
        }
        cells.push_back(cell);
        hb = h;
        cb = run.chainage(i);
    }
    const std::vector<double> lengthAt = placeTexts(lengths, lane);
    const std::vector<double> slopeAt = placeTexts(slopes, lane);

    run.line(run.x(0), kSlopeRow.top, run.x(0), kSlopeRow.bottom);
    for (const Cell& cell : cells) {
        const double xi = run.x(cell.point);
        run.line(xi, kSlopeRow.top, xi, kSlopeRow.bottom);
        if (cell.length < 0) continue;
        const double s = sign(cell.slope);
        if (s != 0.0) {
            run.line(run.xAt(cell.from), mid - halfRow * s, xi, mid + halfRow * s);
        } else {
            run.line(run.xAt(cell.from), mid, xi, mid);
        }
        const auto l = static_cast<std::size_t>(cell.length);
        writeLaneText(run, lengths[l], lengthAt[l], lengthBase, lowerLane);
        const auto k = static_cast<std::size_t>(cell.slopeText);
        writeLaneText(run, slopes[k], slopeAt[k], slopeBase, upperLane);
    }
}

void drawPiketRow(Run& run) {
    model::Workspace& ws = run.ws;
    const std::string workPointText = run.number(ws.workPoint);
    std::vector<int> marked;
    for (int i = 0; i < run.count(); ++i) {
        if (run.chainage(i) == 0.0) continue;
        const cad::EntityRef& object = run.object(i);
        if (!onLayerList(object, ws.controls.typeList(model::TypeList::Route)) &&
            !onLayerList(object, ws.controls.typeList(model::TypeList::Connections))) {
            continue;
        }
        marked.push_back(i);
    }
    const double last = run.chainage(run.count() - 1);
    const auto wholePikets =
        static_cast<long long>(std::trunc(last / sheet::kUnitsPerMetreAlong / 100.0));
    // A sheet that goes on from the one above starts at its first whole picket
    // after the one where that sheet ended.
    const long long firstPiket =
        run.continues ? static_cast<long long>(std::floor(run.start / sheet::kPiketSpacing)) + 1
                      : 0;
    // The build refuses a picket longer than model::kLongestPiketMm.
    KV_ASSERT(wholePikets - firstPiket <=
              static_cast<long long>(model::kLongestPiketMm / sheet::kUnitsPerMetreAlong / 100.0) +
                  1);
    // The labels of route points and of whole pickets share the row.
    std::vector<double> xs;
    for (int i : marked) xs.push_back(run.x(i));
    for (long long j = firstPiket; j <= wholePikets; ++j) {
        xs.push_back(run.xAt(static_cast<double>(j) * sheet::kPiketSpacing));
    }
    const std::vector<LabelSlot> slots =
        spreadLabels(xs, kTextHeight, kMinTableTextHeight, run.x(0), run.x(run.count() - 1));
    // The small text of the current point stands on the label's picket
    // number, at half its size, in the band of the label.
    auto small = [&](const std::string& wholeText, const LabelSlot& slot) {
        run.text(workPointText, slot.x, kPiketTextY + widthOf(wholeText, slot.height), kUpright,
                 625 * (slot.height / kTextHeight));
    };
    std::size_t k = 0;
    for (int i : marked) {
        const double x = run.x(i);
        piketTicks(run, x);
        const double m = toMetres(run.chainage(i));
        const double whole = std::trunc(m / 100.0);
        std::string label = run.number(whole);
        const std::string wholeText = label;
        // The metres past the picket, to the centimetre: 205,57 - 200 is 5,57.
        const double past = model::roundHalfEven((m - 100.0 * whole) * 100.0) / 100.0;
        if (past != 0.0) label += " +" + run.number(past);
        const LabelSlot& slot = slots[k++];
        small(wholeText, slot);
        run.text(label, slot.x + slot.height / 2, kPiketTextY, kUpright, slot.height);
    }
    for (long long j = firstPiket; j <= wholePikets; ++j) {
        const double x = run.xAt(static_cast<double>(j) * sheet::kPiketSpacing);
        piketTicks(run, x);
        const std::string label = run.number(static_cast<double>(j));
        const LabelSlot& slot = slots[k++];
        run.text(label, slot.x + slot.height / 2, kPiketTextY, kUpright, slot.height);
        small(label, slot);
    }
}

}  // namespace profile::detail
